#include "transfer/ui/copy_command.h"

#include <algorithm>
#include <memory>
#include <utility>

#include <QComboBox>
#include <QPushButton>

#include "link/exchange.h"
#include "local/ui/host_drag_source.h"
#include "local/ui/local_pane.h"
#include "remote/ui/controller_drop_target.h"
#include "remote/ui/remote_pane.h"
#include "transfer/copy_checks.h"
#include "transfer/folder_plan.h"
#include "transfer/ui/tdlg_vorn_tran.h"
#include "transfer/upload_loop.h"
#include "widgets/qt_invoker.h"

namespace vorn::ui {

CopyCommand::CopyCommand(CopyCommandParts parts) : p_(std::move(parts)) {}

void CopyCommand::Wire() {
  QObject::connect(p_.btnCopy, &QPushButton::clicked, p_.btnCopy, [this] { btnCopyClick(); });
  p_.local->CopyWithFolders = [this] {
    Upload(p_.local->SelectedEntries(), p_.cbxVorn->currentText().toStdString());
  };
  // The volumes of the computer folder are never dragged: a whole disk is no upload.
  new HostDragSource(*p_.lstviewLocal, [this] {
    std::vector<std::string> paths;
    if (p_.local->AtComputer()) return paths;
    for (const LocalSelection& item : p_.local->SelectedEntries()) paths.push_back(item.fullPath);
    return paths;
  }, p_.lstviewLocal);
  new ControllerDropTarget(*p_.lstviewVorn, *p_.remote, [this](const std::vector<std::string>& paths,
                                                                     const std::string& remotePath) {
    UploadPaths(paths, remotePath);
  }, p_.lstviewVorn);
}

void CopyCommand::btnCopyClick() {
  // The button takes files only and refuses a folder, as it always has.
  Upload(p_.local->SelectedEntries(), p_.cbxVorn->currentText().toStdString(), false);
}

void CopyCommand::UploadPaths(const std::vector<std::string>& paths, const std::string& remotePath) {
  std::vector<LocalSelection> items;
  for (const std::string& path : paths) items.push_back(SelectionForPath(path));
  Upload(items, remotePath);
}

void CopyCommand::Upload(const std::vector<LocalSelection>& items, const std::string& remotePath,
                         bool withFolders) {
  vorn::Ui& ui = *p_.ui;
  if (withFolders && std::any_of(items.begin(), items.end(), [](const LocalSelection& e) { return e.isFolder; })) {
    UploadFolders(items, TargetDirFor(remotePath));
    return;
  }
  const CopyCheck check = CheckCopySelection(items, p_.remote->Listing().BytesFree);
  if (!check.Ok()) {
    ui.Warning(check.message);
    return;
  }

  // The listing tells what would be replaced only for the folder it shows; a
  // drop on a folder row goes into another one.
  const std::string targetDir = TargetDirFor(remotePath);
  const auto files = Listed(targetDir) ? AskOverwrites(check.files, p_.remote->Listing().Entries, targetDir, ui)
                                       : std::optional(check.files);
  if (!files || files->empty()) return;
  RunTransfer([&](TdlgVornTran& dialog) {
    dialog.FileList = &*files;
    dialog.TargetDir = targetDir;
  });
}

bool CopyCommand::Listed(const std::string& targetDir) const {
  return targetDir == TargetDirFor(p_.cbxVorn->currentText().toStdString());
}

void CopyCommand::RunTransfer(const std::function<void(TdlgVornTran&)>& prepare) {
  vorn::Ui& ui = *p_.ui;
  std::string reason;
  std::unique_ptr<vorn::Port> port = OpenUploadPort(p_.exchange().Factory(), p_.portName(), &reason);
  if (!port) {
    ui.Error(OpenFailureText(p_.portName(), reason));
    return;
  }
  {
    TdlgVornTran dialog(ui, *p_.invoker, p_.owner);
    dialog.Port = port.get();
    dialog.Terminal = p_.terminal;
    prepare(dialog);
    dialog.exec();
  }
  port->Close();
  port.reset();

  // Also after a failure or a cancel: whatever arrived shows up.
  p_.remote->Relist();
}

void CopyCommand::UploadFolders(const std::vector<LocalSelection>& items, const std::string& targetDir) {
  vorn::Ui& ui = *p_.ui;
  const uint64_t bytesFree = p_.remote->Listing().BytesFree;
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
    const auto asked = AskOverwrites(paths, p_.remote->Listing().Entries, targetDir, ui, folders);
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
