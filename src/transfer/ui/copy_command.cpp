#include "transfer/ui/copy_command.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "link/exchange.h"
#include "local/ui/local_pane.h"
#include "remote/ui/remote_pane.h"
#include "transfer/copy_checks.h"
#include "transfer/folder_plan.h"
#include "transfer/ui/tdlg_vorn_tran.h"
#include "transfer/upload_loop.h"
#include "widgets/qt_invoker.h"

namespace vorn::ui {

CopyCommand::CopyCommand(LocalPane& local, RemotePane& remote, vorn::Ui& ui, QtGuiInvoker& invoker,
                         vorn::TerminalPane& terminal, std::function<vorn::Exchange&()> exchange, QWidget* owner)
    : QObject(owner),
      local_(local),
      remote_(remote),
      ui_(ui),
      invoker_(invoker),
      terminal_(terminal),
      exchange_(std::move(exchange)),
      owner_(owner) {}

void CopyCommand::btnCopyClick() {
  // The button takes files only and refuses a folder, as it always has.
  Upload(local_.SelectedEntries(), remote_.ShownFolder(), false);
}

void CopyCommand::CopyWithFolders() { Upload(local_.SelectedEntries(), remote_.ShownFolder()); }

void CopyCommand::UploadPaths(const QStringList& paths, const QString& remotePath) {
  std::vector<LocalSelection> items;
  for (const QString& path : paths) items.push_back(SelectionForPath(path.toStdString()));
  Upload(items, remotePath.toStdString());
}

void CopyCommand::Upload(const std::vector<LocalSelection>& items, const std::string& remotePath,
                         bool withFolders) {
  vorn::Ui& ui = ui_;
  if (withFolders && std::any_of(items.begin(), items.end(), [](const LocalSelection& e) { return e.isFolder; })) {
    UploadFolders(items, TargetDirFor(remotePath));
    return;
  }
  const CopyCheck check = CheckCopySelection(items, remote_.Listing().BytesFree);
  if (!check.Ok()) {
    ui.Warning(check.message);
    return;
  }

  // The listing tells what would be replaced only for the folder it shows; a
  // drop on a folder row goes into another one.
  const std::string targetDir = TargetDirFor(remotePath);
  const auto files = Listed(targetDir) ? AskOverwrites(check.files, remote_.Listing().Entries, targetDir, ui)
                                       : std::optional(check.files);
  if (!files || files->empty()) return;
  RunTransfer([&](TdlgVornTran& dialog) {
    dialog.FileList = &*files;
    dialog.TargetDir = targetDir;
  });
}

bool CopyCommand::Listed(const std::string& targetDir) const {
  return targetDir == TargetDirFor(remote_.ShownFolder());
}

void CopyCommand::RunTransfer(const std::function<void(TdlgVornTran&)>& prepare) {
  vorn::Ui& ui = ui_;
  std::string reason;
  vorn::Exchange& exchange = exchange_();
  std::unique_ptr<vorn::Port> port = OpenUploadPort(exchange.Factory(), exchange.ComName, &reason);
  if (!port) {
    ui.Error(OpenFailureText(exchange.ComName, reason));
    return;
  }
  {
    TdlgVornTran dialog(ui, invoker_, owner_);
    dialog.Port = port.get();
    dialog.Terminal = &terminal_;
    prepare(dialog);
    dialog.exec();
  }
  port->Close();
  port.reset();

  // Also after a failure or a cancel: whatever arrived shows up.
  remote_.Relist();
}

void CopyCommand::UploadFolders(const std::vector<LocalSelection>& items, const std::string& targetDir) {
  vorn::Ui& ui = ui_;
  const uint64_t bytesFree = remote_.Listing().BytesFree;
  if (bytesFree == 0) {
    ui.Warning(CheckCopySelection(items, 0).message);
    return;
  }
  std::vector<std::string> paths, folders;
  for (const LocalSelection& item : items) {
    paths.push_back(item.fullPath);
    if (item.isFolder) folders.push_back(item.fullPath);
  }
  // What would replace files the controller lists is asked for first; the
  // listing tells only for the folder it shows.
  if (Listed(targetDir)) {
    const auto asked = AskOverwrites(paths, remote_.Listing().Entries, targetDir, ui, folders);
    if (!asked || asked->empty()) return;
    paths = *asked;
  }
  // Every name the controller would refuse is asked for now, once, so the
  // job then runs to its end without stopping for the user.
  const FolderPlan plan = PlanFolderUpload(paths, targetDir, [&ui](const std::string& hostPath, bool) {
    return ui.AskName("Invalid file name '" + FileNamePart(hostPath) + "'", "Please input new file name:", 12);
  });
  if (!plan.Ok()) {
    ui.Warning("Nothing was transferred.\n\n" + PlanRefusalText(plan));
    return;
  }
  if (plan.totalBytes >= bytesFree) {
    ui.Warning("There is no enough space on VORN-7730.");
    return;
  }
  if (plan.steps.empty()) return;  // every item was left out at its name prompt
  RunTransfer([&plan](TdlgVornTran& dialog) { dialog.Plan = &plan; });
}

}  // namespace vorn::ui
