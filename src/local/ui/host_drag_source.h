#pragma once
// Lets the host pane's rows be dragged out as a list of file URLs, so the
// controller pane (or any other program) can take them.
#include <QObject>
#include <QPoint>
#include <functional>
#include <string>
#include <vector>

namespace vorn::ui {

class FileListView;

class HostDragSource : public QObject {
 public:
  // paths gives the full paths of the selected rows (empty: nothing to drag).
  HostDragSource(FileListView& view, std::function<std::vector<std::string>()> paths, QObject* parent);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<std::vector<std::string>()> paths_;
  QPoint pressPos_;
  bool pressedOnRow_ = false;
};

}  // namespace vorn::ui
