#include "local/ui/host_drag_source.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDrag>
#include <QListView>
#include <QMimeData>
#include <QMouseEvent>
#include <QTreeView>
#include <QUrl>

#include "widgets/file_list_view.h"

namespace vorn::ui {

HostDragSource::HostDragSource(FileListView& view, std::function<std::vector<std::string>()> paths, QObject* parent)
    : QObject(parent), paths_(std::move(paths)) {
  for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(view.Report()), static_cast<QAbstractItemView*>(view.Icons())}) {
    // With dragging on, a press on a selected row keeps the others selected
    // until the release, so a drag takes the whole selection.
    v->setDragEnabled(true);
    v->setDragDropMode(QAbstractItemView::DragOnly);
    v->viewport()->installEventFilter(this);
  }
}

bool HostDragSource::eventFilter(QObject* watched, QEvent* event) {
  auto* viewport = qobject_cast<QWidget*>(watched);
  auto* view = viewport ? qobject_cast<QAbstractItemView*>(viewport->parentWidget()) : nullptr;
  if (!view) return QObject::eventFilter(watched, event);
  if (event->type() == QEvent::MouseButtonPress) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    pressPos_ = mouse->position().toPoint();
    pressedOnRow_ = mouse->button() == Qt::LeftButton && view->indexAt(pressPos_).isValid();
  } else if (event->type() == QEvent::MouseButtonRelease) {
    pressedOnRow_ = false;
  } else if (event->type() == QEvent::MouseMove && pressedOnRow_) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (!(mouse->buttons() & Qt::LeftButton) ||
        (mouse->position().toPoint() - pressPos_).manhattanLength() < QApplication::startDragDistance())
      return QObject::eventFilter(watched, event);
    pressedOnRow_ = false;
    QList<QUrl> urls;
    for (const std::string& path : paths_()) urls << QUrl::fromLocalFile(QString::fromStdString(path));
    if (urls.isEmpty()) return true;
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    auto* drag = new QDrag(view);
    drag->setMimeData(mime);
    drag->exec(Qt::CopyAction);  // the view's own drag of model rows never starts
    drag->deleteLater();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace vorn::ui
