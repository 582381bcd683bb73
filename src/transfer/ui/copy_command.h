#pragma once
// The main window's copy button: uploads the host files selected in the left
// pane into the directory that the right pane shows.
namespace vorn::ui {

class TfrmMain;

class CopyCommand {
 public:
  explicit CopyCommand(TfrmMain& main);
  void Wire();  // connects btnCopy
  void btnCopyClick();

 private:
  TfrmMain& main_;
};

}  // namespace vorn::ui
