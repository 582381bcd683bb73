#pragma once
// The main window's copy button: uploads the host files selected in the left
// pane into the directory that the right pane shows. Folders among them go up
// with everything in them. Drops on the controller pane upload the same way.
#include <string>
#include <vector>

#include "local/local_view.h"

namespace vorn::ui {

class TfrmMain;

class CopyCommand {
 public:
  explicit CopyCommand(TfrmMain& main);
  void Wire();  // connects btnCopy
  void btnCopyClick();
  // Uploads host items into a controller directory in the pane's form
  // ("\" or "\DATA"), and relists the pane afterwards. withFolders: folders
  // go up with everything in them; otherwise a folder refuses the selection.
  void Upload(const std::vector<LocalSelection>& items, const std::string& remotePath, bool withFolders = true);
  // The same for host paths, as a drop hands them over.
  void UploadPaths(const std::vector<std::string>& paths, const std::string& remotePath);

 private:
  void UploadFolders(const std::vector<LocalSelection>& items, const std::string& targetDir);

  TfrmMain& main_;
};

}  // namespace vorn::ui
