#pragma once
// Takes host files and folders dropped on the controller pane (from the host
// pane or the desktop's file manager) and hands them on for upload: into the
// shown directory, or into the directory whose row they were dropped on.
#include <QObject>
#include <functional>
#include <string>
#include <vector>

class QAbstractItemView;

namespace vorn::ui {

class RemotePane;
class FileListView;

class ControllerDropTarget : public QObject {
 public:
  using Upload = std::function<void(const std::vector<std::string>& hostPaths, const std::string& remotePath)>;
  ControllerDropTarget(FileListView& view, RemotePane& pane, Upload upload, QObject* parent);

  // The controller directory (in the pane's form) a drop on this row goes
  // into: the row's directory, or the shown one for a file row or no row.
  std::string TargetFor(int row);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  RemotePane& pane_;
  Upload upload_;
};

}  // namespace vorn::ui
