#include "transfer/ui/copy_command.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "link/exchange.h"
#include "local/ui/local_pane.h"
#include "remote/remote_ops.h"
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
    UploadFolders(items, remotePath);
    return;
  }
  const CopyCheck check = CheckCopySelection(items, remote_.Listing().BytesFree);
  if (!check.Ok()) {
    ui.Warning(check.message);
    return;
  }

  const std::string targetDir = TargetDirFor(remotePath);
  const auto listed = TargetEntries(remotePath);
  if (!listed) return;
  const auto files = AskOverwrites(check.files, *listed, targetDir, ui);
  if (!files || files->empty()) return;
  RunTransfer([&](TdlgVornTran& dialog) {
    dialog.FileList = &*files;
    dialog.TargetDir = targetDir;
    dialog.Listed = *listed;
  });
}

bool CopyCommand::Listed(const std::string& targetDir) const {
  return targetDir == TargetDirFor(remote_.ShownFolder());
}

std::optional<std::vector<RemoteEntry>> CopyCommand::TargetEntries(const std::string& remotePath) {
  const std::string targetDir = TargetDirFor(remotePath);
  if (Listed(targetDir)) return remote_.Listing().Entries;
  // A drop on a directory row goes into a folder the pane does not list:
  // read it apart from the pane's listing, which stays as it is.
  vorn::Exchange& exchange = exchange_();
  const FolderRead read = ReadRemoteFolder(exchange, remotePath);
  const bool complete = read.ok && exchange.PromptSeen();
  // The pane's commands name entries relative to the shell's current
  // directory, so the shell goes back to the one the pane lists.
  const std::string shown = remote_.ShownFolder();
  if (read.ok && !shown.empty())
    exchange.Run(kListingProfile, {{"cd" + shown + "\r", SendFailureText("cd" + shown), {}}});
  if (!complete) {
    // Without the listing nothing tells what the upload would replace.
    ui_.Error("Nothing was transferred: the files in " + targetDir + " on VORN-7730 could not be listed.");
    return std::nullopt;
  }
  return read.entries;
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
  std::vector<UploadResult::Unconfirmed> unconfirmed;
  bool cancelled = false;
  {
    TdlgVornTran dialog(ui, invoker_, owner_);
    dialog.Port = port.get();
    dialog.Terminal = &terminal_;
    prepare(dialog);
    dialog.exec();
    unconfirmed = dialog.Unconfirmed;
    cancelled = dialog.CancelRequested;
  }
  port->Close();
  port.reset();
  // A file whose end the receiver never acknowledged may not be stored: the
  // user is told unless the controller lists it.
  if (!unconfirmed.empty()) ConfirmStored(exchange.ComName, exchange.Factory(), unconfirmed, ui);

  // Also after a failure or a cancel: whatever arrived shows up.
  remote_.Relist();
  if (cancelled) emit said("Upload cancelled: the list shows the files that arrived before it.");
}

void CopyCommand::UploadFolders(const std::vector<LocalSelection>& items, const std::string& remotePath) {
  vorn::Ui& ui = ui_;
  const uint64_t bytesFree = remote_.Listing().BytesFree;
  if (bytesFree == 0) {
    // Folders are what this command takes: the listing is what is missing.
    ui.Warning(kRefreshFirstText);
    return;
  }
  std::vector<std::string> paths, folders;
  for (const LocalSelection& item : items) {
    paths.push_back(item.fullPath);
    if (item.isFolder) folders.push_back(item.fullPath);
  }
  // What would replace files the controller lists is asked for first.
  const std::string targetDir = TargetDirFor(remotePath);
  const auto listed = TargetEntries(remotePath);
  if (!listed) return;
  const auto asked = AskOverwrites(paths, *listed, targetDir, ui, folders);
  if (!asked || asked->empty()) return;
  paths = *asked;
  // Every name the controller would refuse is asked for now, once, so the
  // job then runs to its end without stopping for the user. Only the target's
  // own entries are known, so only a name typed for an item going straight
  // into it is held against them.
  bool replaceAll = false, cancelled = false;
  const auto question = [&ui](const std::string& text) { return ui.QuestionWithAll(text); };
  const FolderPlan plan = PlanFolderUpload(
      paths, targetDir,
      [&](const std::string& hostPath, bool folder, const std::string& remoteDir) -> std::optional<std::string> {
        while (!cancelled) {
          const std::string name = FileNamePart(hostPath);
          // A name of the right form was refused for being there twice.
          const bool twice = IsShortName(name);
          auto typed = ui.AskName("Invalid file name '" + name + "'", InvalidNamePrompt(name, twice, true), 12,
                                  ShortNameFor(name, twice));
          if (!typed || remoteDir != targetDir) return typed;
          switch (CheckTypedName(*typed, folder, *listed, targetDir, question, replaceAll)) {
            case TypedName::Take:
              return typed;
            case TypedName::LeaveOut:
              return std::nullopt;
            case TypedName::Cancel:
              cancelled = true;
              return std::nullopt;
            case TypedName::AskAgain:
              break;
          }
        }
        return std::nullopt;
      });
  if (cancelled) return;
  if (!plan.Ok()) {
    ui.Warning("Nothing was transferred.\n\n" + PlanRefusalText(plan));
    return;
  }
  if (plan.totalBytes >= bytesFree) {
    ui.Warning("There is no enough space on VORN-7730.");
    return;
  }
  if (plan.steps.empty()) return;  // every item was left out at its name prompt
  RunTransfer([&plan, &listed](TdlgVornTran& dialog) {
    dialog.Plan = &plan;
    dialog.Listed = *listed;  // what a file going straight into the target replaces
  });
}

}  // namespace vorn::ui
