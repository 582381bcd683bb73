#pragma once
// The main window's copy button: uploads the host files selected in the left
// pane into the directory that the right pane shows. Folders among them go up
// with everything in them. Drops on the controller pane upload the same way.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/ui.h"
#include "local/local_view.h"
#include "remote/remote_listing.h"

#include <QObject>
#include <QStringList>

class QWidget;

namespace vorn::ui {

class LocalPane;
class RemotePane;
class QtGuiInvoker;
class TdlgVornTran;

class CopyCommand : public QObject {
  Q_OBJECT
 public:
  // Uploads from the local pane's selection into the folder the remote pane
  // shows. exchange gives the exchange bound to the port chosen now (read as
  // each upload starts: the user may pick another port at any time); owner
  // is the transfer dialog's parent.
  CopyCommand(LocalPane& local, RemotePane& remote, vorn::Ui& ui, QtGuiInvoker& invoker,
              vorn::TerminalPane& terminal, std::function<vorn::Exchange&()> exchange, QWidget* owner);

  // The copy button: files only, a folder refuses the selection.
  void btnCopyClick();
  // The selection, folders with everything in them.
  void CopyWithFolders();
  // Uploads host items into a controller directory in the pane's form
  // ("\" or "\DATA"), and relists the pane afterwards. withFolders: folders
  // go up with everything in them; otherwise a folder refuses the selection.
  void Upload(const std::vector<LocalSelection>& items, const std::string& remotePath, bool withFolders = true);
  // The same for host paths, as a drop hands them over.
  void UploadPaths(const QStringList& paths, const QString& remotePath);

 signals:
  // A one-line result the boxes do not give (a cancelled upload).
  void said(const QString& text);

 private:
  void UploadFolders(const std::vector<LocalSelection>& items, const std::string& remotePath);
  // Whether targetDir is the folder the controller pane lists.
  bool Listed(const std::string& targetDir) const;
  // What the controller directory remotePath holds, which tells what an
  // upload would replace: the pane's entries for the folder it lists, else
  // read now. nullopt, after saying so, when it cannot be read.
  std::optional<std::vector<vorn::RemoteEntry>> TargetEntries(const std::string& remotePath);
  // Opens the port, runs the transfer dialog as `prepare` sets it up, and
  // lists the pane again, also after a failure or a cancel.
  void RunTransfer(const std::function<void(TdlgVornTran&)>& prepare);

  LocalPane& local_;
  RemotePane& remote_;
  vorn::Ui& ui_;
  QtGuiInvoker& invoker_;
  vorn::TerminalPane& terminal_;
  std::function<vorn::Exchange&()> exchange_;
  QWidget* owner_;
};

}  // namespace vorn::ui
