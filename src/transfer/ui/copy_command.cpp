#include "transfer/ui/copy_command.h"

#include <algorithm>
#include <memory>

#include "widgets/qt_invoker.h"
#include "app/ui/tfrm_main.h"
#include "link/exchange.h"
#include "local/ui/host_drag_source.h"
#include "local/ui/local_pane.h"
#include "remote/ui/controller_drop_target.h"
#include "remote/ui/remote_pane.h"
#include "transfer/copy_checks.h"
#include "transfer/folder_plan.h"
#include "transfer/ui/tdlg_vorn_tran.h"
#include "transfer/upload_loop.h"

namespace vorn::ui {

CopyCommand::CopyCommand(TfrmMain& main) : main_(main) {}

void CopyCommand::Wire() {
  QObject::connect(main_.btnCopy, &QPushButton::clicked, main_.btnCopy, [this] { btnCopyClick(); });
  main_.Local().CopyWithFolders = [this] {
    Upload(main_.Local().SelectedEntries(), main_.cbxVorn->currentText().toStdString());
  };
  // The volumes of the computer folder are never dragged: a whole disk is no upload.
  new HostDragSource(*main_.lstviewLocal, [this] {
    std::vector<std::string> paths;
    if (main_.Local().AtComputer()) return paths;
    for (const LocalSelection& item : main_.Local().SelectedEntries()) paths.push_back(item.fullPath);
    return paths;
  }, main_.lstviewLocal);
  new ControllerDropTarget(*main_.lstviewVorn, main_.Remote(), [this](const std::vector<std::string>& paths,
                                                                     const std::string& remotePath) {
    UploadPaths(paths, remotePath);
  }, main_.lstviewVorn);
}

void CopyCommand::btnCopyClick() {
  // The button takes files only and refuses a folder, as it always has.
  Upload(main_.Local().SelectedEntries(), main_.cbxVorn->currentText().toStdString(), false);
}

void CopyCommand::UploadPaths(const std::vector<std::string>& paths, const std::string& remotePath) {
  std::vector<LocalSelection> items;
  for (const std::string& path : paths) items.push_back(SelectionForPath(path));
  Upload(items, remotePath);
}

void CopyCommand::Upload(const std::vector<LocalSelection>& items, const std::string& remotePath,
                         bool withFolders) {
  vorn::Ui& ui = main_.UserInterface();
  if (withFolders && std::any_of(items.begin(), items.end(), [](const LocalSelection& e) { return e.isFolder; })) {
    UploadFolders(items, TargetDirFor(remotePath));
    return;
  }
  const CopyCheck check = CheckCopySelection(items, main_.Remote().Listing().BytesFree);
  if (!check.Ok()) {
    ui.Warning(check.message);
    return;
  }

  // The listing tells what would be replaced only for the folder it shows; a
  // drop on a folder row goes into another one.
  const std::string targetDir = TargetDirFor(remotePath);
  const bool listed = targetDir == TargetDirFor(main_.cbxVorn->currentText().toStdString());
  const auto files =
      listed ? AskOverwrites(check.files, main_.Remote().Listing().Entries, targetDir, ui) : std::optional(check.files);
  if (!files || files->empty()) return;

  std::string reason;
  std::unique_ptr<vorn::Port> port = OpenUploadPort(main_.Exchanges().Factory(), main_.ComName, &reason);
  if (!port) {
    ui.Error(OpenFailureText(main_.ComName, reason));
    return;
  }

  {
    TdlgVornTran dialog(ui, main_.Invoker(), &main_);
    dialog.Port = port.get();
    dialog.Terminal = &main_;
    dialog.FileList = &*files;
    dialog.TargetDir = targetDir;
    dialog.exec();
  }
  port->Close();
  port.reset();

  // Also after a failure or a cancel: whatever arrived shows up.
  main_.Remote().Relist();
}

void CopyCommand::UploadFolders(const std::vector<LocalSelection>& items, const std::string& targetDir) {
  vorn::Ui& ui = main_.UserInterface();
  const uint64_t bytesFree = main_.Remote().Listing().BytesFree;
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
  if (targetDir == TargetDirFor(main_.cbxVorn->currentText().toStdString())) {
    const auto asked = AskOverwrites(paths, main_.Remote().Listing().Entries, targetDir, ui, folders);
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

  std::string reason;
  std::unique_ptr<vorn::Port> port = OpenUploadPort(main_.Exchanges().Factory(), main_.ComName, &reason);
  if (!port) {
    ui.Error(OpenFailureText(main_.ComName, reason));
    return;
  }
  {
    TdlgVornTran dialog(ui, main_.Invoker(), &main_);
    dialog.Port = port.get();
    dialog.Terminal = &main_;
    dialog.Plan = &plan;
    dialog.exec();
  }
  port->Close();
  port.reset();
  main_.Remote().Relist();
}

}  // namespace vorn::ui
