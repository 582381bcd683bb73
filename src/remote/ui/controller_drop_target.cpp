#include "remote/ui/controller_drop_target.h"

#include <QAbstractItemView>
#include <QDropEvent>
#include <QListView>
#include <QMimeData>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include "widgets/file_list_view.h"
#include "remote/ui/remote_pane.h"

namespace vorn::ui {

namespace {

std::vector<std::string> LocalPaths(const QMimeData* mime) {
  std::vector<std::string> paths;
  if (!mime || !mime->hasUrls()) return paths;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  return paths;
}

}  // namespace

ControllerDropTarget::ControllerDropTarget(FileListView& view, RemotePane& pane, Upload upload, QObject* parent)
    : QObject(parent), pane_(pane), upload_(std::move(upload)) {
  for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(view.Report()), static_cast<QAbstractItemView*>(view.Icons())}) {
    v->setAcceptDrops(true);
    v->viewport()->setAcceptDrops(true);
    v->viewport()->installEventFilter(this);
  }
}

std::string ControllerDropTarget::TargetFor(int row) {
  const vorn::RemoteListing& listing = pane_.Listing();
  const vorn::RemoteEntry* entry = listing.RemoteEntryAt(row);
  if (entry && entry->IsDirectory && entry->Name != "." && entry->Name != "..")
    return vorn::ChildPath(listing.CurrentPath, entry->Name);
  return listing.CurrentPath;
}

bool ControllerDropTarget::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
    return QObject::eventFilter(watched, event);
  auto* viewport = qobject_cast<QWidget*>(watched);
  auto* view = viewport ? qobject_cast<QAbstractItemView*>(viewport->parentWidget()) : nullptr;
  auto* drop = static_cast<QDropEvent*>(event);
  // Only host files and folders can go up, and only while the pane may use
  // the port: a disabled list still gets drops.
  if (!view || !view->isEnabled() || LocalPaths(drop->mimeData()).empty()) {
    drop->ignore();
    return true;
  }
  drop->setDropAction(Qt::CopyAction);
  drop->accept();
  if (type != QEvent::Drop) return true;
  const std::vector<std::string> paths = LocalPaths(drop->mimeData());
  const std::string target = TargetFor(view->indexAt(drop->position().toPoint()).row());
  // The upload's modal dialog runs after the drop ended, so the program the
  // items came from is not kept waiting for it.
  QTimer::singleShot(0, this, [this, paths, target] { upload_(paths, target); });
  return true;
}

}  // namespace vorn::ui
