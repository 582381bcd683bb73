#pragma once
// The main window's copy button: uploads the host files selected in the left
// pane into the directory that the right pane shows. Folders among them go up
// with everything in them. Drops on the controller pane upload the same way.
#include <functional>
#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/ui.h"
#include "local/local_view.h"

class QComboBox;
class QPushButton;
class QWidget;

namespace vorn::ui {

class FileListView;
class LocalPane;
class RemotePane;
class QtGuiInvoker;
class TdlgVornTran;

// What the copy command works with, handed over by the window that holds it.
struct CopyCommandParts {
  QPushButton* btnCopy = nullptr;
  FileListView* lstviewLocal = nullptr;
  FileListView* lstviewVorn = nullptr;
  QComboBox* cbxVorn = nullptr;  // the controller folder the right pane shows
  LocalPane* local = nullptr;
  RemotePane* remote = nullptr;
  vorn::Ui* ui = nullptr;
  QtGuiInvoker* invoker = nullptr;
  QWidget* owner = nullptr;  // parent of the transfer dialog
  vorn::TerminalPane* terminal = nullptr;
  // Read when an upload starts: the user may pick another port at any time.
  std::function<vorn::Exchange&()> exchange;
  std::function<std::string()> portName;
};

class CopyCommand {
 public:
  explicit CopyCommand(CopyCommandParts parts);
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
  // Whether targetDir is the folder the controller pane lists, whose entries
  // tell what an upload would replace.
  bool Listed(const std::string& targetDir) const;
  // Opens the port, runs the transfer dialog as `prepare` sets it up, and
  // lists the pane again, also after a failure or a cancel.
  void RunTransfer(const std::function<void(TdlgVornTran&)>& prepare);

  CopyCommandParts p_;
};

}  // namespace vorn::ui
