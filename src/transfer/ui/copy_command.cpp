#include "transfer/ui/copy_command.h"

#include <memory>

#include "app/ui/tfrm_main.h"
#include "link/exchange.h"
#include "local/ui/local_pane.h"
#include "remote/ui/remote_pane.h"
#include "transfer/copy_checks.h"
#include "transfer/ui/tdlg_vorn_tran.h"

namespace vorn::ui {

namespace {
constexpr uint32_t kUploadTimeoutMs = 500;
}

CopyCommand::CopyCommand(TfrmMain& main) : main_(main) {}

void CopyCommand::Wire() {
  QObject::connect(main_.btnCopy, &QPushButton::clicked, main_.btnCopy, [this] { btnCopyClick(); });
}

void CopyCommand::btnCopyClick() {
  vorn::Ui& ui = main_.UserInterface();
  vorn::RemoteListing& listing = main_.Remote().Listing();
  const CopyCheck check = CheckCopySelection(main_.Local().SelectedEntries(), listing.BytesFree);
  if (!check.Ok()) {
    ui.Warning(check.message);
    return;
  }

  std::unique_ptr<vorn::Port> port = main_.Exchanges().Factory()(main_.ComName);
  if (!port || !port->Open()) {
    ui.Error(OpenFailureText(main_.ComName));
    return;
  }
  ConfigureControllerLine(*port);
  port->SetTimeouts(kUploadTimeoutMs);

  {
    TdlgVornTran dialog(main_);
    dialog.Port = port.get();
    dialog.Terminal = &main_;
    dialog.FileList = &check.files;
    dialog.TargetDir = TargetDirFor(main_.cbxVorn->currentText().toStdString());
    dialog.exec();
  }
  port->Close();
  port.reset();

  // Relist so that the new files appear, keeping the user's column and row.
  listing.SortColumn = listing.ChosenColumn;
  listing.RestoreIndex = listing.PopupIndex;
  main_.Remote().ShowRemoteFolder(listing.CurrentPath);
}

}  // namespace vorn::ui
