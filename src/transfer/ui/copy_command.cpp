#include "transfer/ui/copy_command.h"

#include <memory>

#include "app/ui/qt_invoker.h"
#include "app/ui/tfrm_main.h"
#include "link/exchange.h"
#include "local/ui/local_pane.h"
#include "remote/ui/remote_pane.h"
#include "transfer/copy_checks.h"
#include "transfer/ui/tdlg_vorn_tran.h"
#include "transfer/upload_loop.h"

namespace vorn::ui {

CopyCommand::CopyCommand(TfrmMain& main) : main_(main) {}

void CopyCommand::Wire() {
  QObject::connect(main_.btnCopy, &QPushButton::clicked, main_.btnCopy, [this] { btnCopyClick(); });
}

void CopyCommand::btnCopyClick() {
  vorn::Ui& ui = main_.UserInterface();
  const CopyCheck check = CheckCopySelection(main_.Local().SelectedEntries(), main_.Remote().Listing().BytesFree);
  if (!check.Ok()) {
    ui.Warning(check.message);
    return;
  }

  const std::string targetDir = TargetDirFor(main_.cbxVorn->currentText().toStdString());
  const auto files = AskOverwrites(check.files, main_.Remote().Listing().Entries, targetDir, ui);
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

}  // namespace vorn::ui
