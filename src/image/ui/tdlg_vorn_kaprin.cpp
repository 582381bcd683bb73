#include "image/ui/tdlg_vorn_kaprin.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "image/ui/tfrm_mwait_for.h"
#include "link/controller_identity.h"
#include "transfer/ui/tdlg_vorn_tran.h"
#include "transfer/upload_loop.h"

namespace vorn::ui {

namespace {
const char* const kFilter = "Image files (*.img)|*.IMG|All File (*.*)|*.*";
const char* const kDefaultName = "7730D.img";
const char* const kControllerDir = "D:\\";
const char* const kProgramsFolderCaption = "Controller programs folder...";

const char* const kBackupQuestion =
    "It needs at least 10 KB free space on Vorn-7730\n D drive, and be sure the Vorn-7730 is in initial\nmode. "
    "Are you sure to continue?";
const char* const kRestoreQuestion =
    "WARNING!!!\nThis action will restore your image.\nAll the data currently on that drive will be erased.\n"
    "Be sure you have at least 10KB free space on Vorn-7730\nD drive and Vorn-7730 is in initial mode.This "
    "operation \ntakes about 6 minutes. Are you sure?";
}  // namespace

TdlgVornKaprin::TdlgVornKaprin(vorn::Ui& ui, vorn::GuiInvoker& gui, QWidget* parent)
    : QDialog(parent), ui_(ui), gui_(gui) {
  setObjectName("TdlgVornKaprin");
  setWindowTitle("Talvenrik Image Kaprin");
  BuildLayout();

  TimerChkKaprin = new QTimer(this);
  TimerChkKaprin->setObjectName("TimerChkKaprin");
  TimerChkKaprin->setInterval(1000);
  connect(TimerChkKaprin, &QTimer::timeout, this, [this] { TimerChkKaprinTimer(); });
  connect(btHelp, &QPushButton::clicked, this, [this] { btHelpClick(); });
  connect(BtBackupImg, &QPushButton::clicked, this, [this] { BtBackupImgClick(); });
  connect(BtRestoreImg, &QPushButton::clicked, this, [this] { BtRestoreImgClick(); });
  connect(programsFolderButton, &QPushButton::clicked, this, [this] { ChooseProgramsFolder(); });
}

TdlgVornKaprin::~TdlgVornKaprin() {
  TimerChkKaprin->stop();
  // A transfer the watchdog gave up on may still wait for the controller:
  // ask it to end and wait, so its port is free again.
  BackupThread.reset();
  RestoreThread.reset();
}

void TdlgVornKaprin::BuildLayout() {
  auto* GroupBox1 = new QGroupBox(" Vorn-7730 Image Kaprin ", this);
  GroupBox1->setObjectName("GroupBox1");

  auto* GroupBox2 = new QGroupBox(" Read Image ", GroupBox1);
  GroupBox2->setObjectName("GroupBox2");
  auto* Label1 = new QLabel("Estimate time: 10 minutes", GroupBox2);
  Label1->setObjectName("Label1");
  btHelp = new QPushButton("Help", GroupBox2);
  btHelp->setObjectName("btHelp");
  BtBackupImg = new QPushButton("Backup Image", GroupBox2);
  BtBackupImg->setObjectName("BtBackupImg");
  auto* read = new QHBoxLayout(GroupBox2);
  read->addWidget(Label1, 1);
  read->addWidget(btHelp);
  read->addWidget(BtBackupImg);

  auto* GroupBox3 = new QGroupBox(" Write Image ", GroupBox1);
  GroupBox3->setObjectName("GroupBox3");
  auto* Label2 = new QLabel("Estimate time: 6minutes", GroupBox3);
  Label2->setObjectName("Label2");
  BtRestoreImg = new QPushButton("Restore Image", GroupBox3);
  BtRestoreImg->setObjectName("BtRestoreImg");
  auto* write = new QHBoxLayout(GroupBox3);
  write->addWidget(Label2, 1);
  write->addWidget(BtRestoreImg);

  for (QPushButton* b : {btHelp, BtBackupImg, BtRestoreImg}) b->setAutoDefault(false);
  btHelp->setFixedWidth(70);
  BtBackupImg->setFixedWidth(110);
  BtRestoreImg->setFixedWidth(110);

  auto* inner = new QVBoxLayout(GroupBox1);
  inner->addWidget(GroupBox2);
  inner->addWidget(GroupBox3);
  // Below the transfers, so that the focus order of the buttons above stays.
  programsFolderLabel = new QLabel(this);
  programsFolderLabel->setObjectName("programsFolderLabel");
  programsFolderLabel->setWordWrap(true);
  programsFolderButton = new QPushButton(kProgramsFolderCaption, this);
  programsFolderButton->setObjectName("programsFolderButton");
  programsFolderButton->setAutoDefault(false);
  auto* folder = new QHBoxLayout;
  folder->addWidget(programsFolderLabel, 1);
  folder->addWidget(programsFolderButton);

  auto* outer = new QVBoxLayout(this);
  outer->addWidget(GroupBox1);
  outer->addLayout(folder);
  setFixedSize(480, 250);
}

void TdlgVornKaprin::LocateToolFolder() {
  ToolFolder = vorn::platform::LocateCompanionFolders(*Registry).tools;
  // Said before a transfer is asked for: stand-ins serve the virtual controller only.
  std::string text = "Controller programs: " + (ToolFolder.empty() ? std::string("the current folder") : ToolFolder);
  if (vorn::platform::IsStandIn(ToolFolder + "KAPRINRD.EXE") || vorn::platform::IsStandIn(ToolFolder + "KAPRINWR.EXE"))
    text += " (stand-ins: for the virtual controller only)";
  programsFolderLabel->setText(QString::fromStdString(text));
}

void TdlgVornKaprin::showEvent(QShowEvent* event) {
  LocateToolFolder();
  QDialog::showEvent(event);
}

void TdlgVornKaprin::ChooseProgramsFolder() {
  const std::optional<std::string> chosen = ui_.ChooseFolder(kProgramsFolderCaption);
  if (!chosen) return;
  const std::string folder = vorn::platform::WithTrailingSeparator(*chosen);
  std::string missingRead, missingWrite;
  if (vorn::platform::CompanionFile(folder, "KAPRINRD.EXE", missingRead).empty() &&
      vorn::platform::CompanionFile(folder, "KAPRINWR.EXE", missingWrite).empty()) {
    ui_.Error("Neither KAPRINRD.EXE nor KAPRINWR.EXE is in " + folder + ": the controller programs still come from " +
              (ToolFolder.empty() ? std::string("the current folder") : ToolFolder) + ".");
    return;
  }
  if (!Registry->WriteString(vorn::platform::kUtilitySettingsKey, vorn::platform::kProgramsFolderValue, folder)) {
    ui_.Error("The folder " + folder + " could not be remembered in the settings.");
    return;
  }
  LocateToolFolder();
}

bool TdlgVornKaprin::AskControllerIdentity(std::vector<std::string>& printed) {
  vorn::SilentPane silent;
  vorn::NoCursor cursor;
  vorn::Exchange link(Terminal ? *Terminal : silent, cursor, ui_, Factory);
  link.ComName = PortName;
  return vorn::ExchangeIdentityQuery(link)(printed);
}

bool TdlgVornKaprin::UploadTool(const std::string& targetDir, const std::string& localPath) {
  std::unique_ptr<vorn::Port> port = vorn::OpenUploadPort(Factory, PortName);
  if (!port) {
    ui_.Error(vorn::OpenFailureText(PortName));
    return false;
  }
  bool result = true;
  bool succeeded = false;
  std::vector<vorn::UploadResult::Unconfirmed> unconfirmed;
  {
    TdlgVornTran dialog(ui_, gui_, this);
    dialog.SingleResult = &result;
    dialog.Port = port.get();
    dialog.Terminal = Terminal;
    dialog.TargetDir = targetDir;
    dialog.SingleFile = true;
    dialog.SingleCount = 1;
    dialog.CurrentFile = localPath;
    dialog.exec();
    dialog.SingleFile = false;
    succeeded = dialog.Succeeded;
    unconfirmed = dialog.Unconfirmed;
  }
  port->Close();
  port.reset();
  // An end of file the receiver never acknowledged counts only once the
  // controller lists the file.
  return succeeded && (unconfirmed.empty() || vorn::ConfirmStored(PortName, Factory, unconfirmed, ui_));
}

std::unique_ptr<vorn::VornKaprinThread> TdlgVornKaprin::CreateBackupThread() {
  return std::make_unique<vorn::VornKaprinThread>(gui_);
}

std::unique_ptr<vorn::VornKaprinResThread> TdlgVornKaprin::CreateRestoreThread() {
  return std::make_unique<vorn::VornKaprinResThread>(gui_);
}

vorn::KaprinThreadBase* TdlgVornKaprin::Current() const {
  if (Mode == 1) return BackupThread.get();
  if (Mode == 2) return RestoreThread.get();
  return nullptr;
}

void TdlgVornKaprin::StartWatching(vorn::KaprinThreadBase& thread) {
  thread.PortName = PortName;
  thread.Factory = Factory;
  LastProgress = thread.Progress;
  StallTicks = 0;
  StopRequested = false;
  Stalled = false;
  thread.Resume();
  TimerChkKaprin->start();
}

bool TdlgVornKaprin::UploadChecked(const char* program) {
  LocateToolFolder();
  if (const std::string problem = vorn::ToolProblem(ToolFolder, program); !problem.empty()) {
    ui_.Error(problem);
    return false;
  }
  const std::string notStarted = std::string(Mode == 1 ? "The backup" : "The restore") +
                                 " was not started: nothing was sent to the controller.";
  const std::string advice =
      std::string("Choose the folder that holds the real KAPRINRD.EXE and KAPRINWR.EXE with \"") +
      kProgramsFolderCaption + "\", " + vorn::kCompanionAdvice;
  if (!vorn::StandInsMayGo({ToolFolder + program},
                           [this](std::vector<std::string>& printed) { return AskControllerIdentity(printed); }, ui_,
                           notStarted, advice))
    return false;
  if (UploadTool(kControllerDir, ToolFolder + program)) return true;
  ui_.Error(vorn::ImageCableText());
  return false;
}

std::string TdlgVornKaprin::Question(const char* text, vorn::ImageDirection direction) const {
  const std::string line = vorn::SlowAdapterLine(direction, vorn::kImageBaud,
                                                 AdapterLatency ? AdapterLatency(PortName) : std::nullopt, PortName);
  return line.empty() ? text : text + std::string("\n") + line;
}

void TdlgVornKaprin::BtBackupImgClick() {
  if (!ui_.InformationQuestion(Question(kBackupQuestion, vorn::ImageDirection::Backup))) return;
  Mode = 1;
  const std::optional<std::string> file = ui_.SaveFile("Save image", kFilter, kDefaultName);
  if (!file) return;
  // Everything the host can check is checked before the controller is touched.
  if (const std::string problem = vorn::BackupTargetProblem(*file); !problem.empty()) {
    ui_.Error(problem);
    return;
  }
  if (!UploadChecked("KAPRINRD.EXE")) return;
  BackupThread.reset();  // the previous one has ended
  BackupThread = CreateBackupThread();
  BackupThread->ImagePath = *file;
  BackupThread->Terminal = Terminal;
  StartWatching(*BackupThread);
  ShowWaitWindow("Please wait...system is under making backup image.");
}

void TdlgVornKaprin::BtRestoreImgClick() {
  if (!ui_.WarningQuestion(Question(kRestoreQuestion, vorn::ImageDirection::Restore))) return;
  Mode = 2;
  const std::optional<std::string> file = ui_.OpenFileNamed("Open image", kFilter, kDefaultName);
  if (!file) return;
  // A file that is not a whole image would leave stale bytes on the drive
  // (or never end): refuse it before anything reaches the controller.
  if (const std::string problem = vorn::ImageFileProblem(*file); !problem.empty()) {
    ui_.Error(problem);
    return;
  }
  if (!UploadChecked("KAPRINWR.EXE")) return;
  RestoreThread.reset();
  RestoreThread = CreateRestoreThread();
  RestoreThread->Done = false;
  RestoreThread->Succeeded = false;
  RestoreThread->ImagePath = *file;
  RestoreThread->Terminal = Terminal;
  StartWatching(*RestoreThread);
  ShowWaitWindow("Please wait...system now is restoring your backup image.");
}

bool TdlgVornKaprin::ShowWaitWindow(const std::string& message) {
  vorn::KaprinThreadBase* thread = Current();
  if (!thread) return false;
  auto window = std::make_unique<TfrmMWaitFor>(this);
  WaitWindow = window.get();
  WaitWindow->ProgressBar->setMaximum(thread->BlockCount);
  WaitWindow->ProgressBar->setValue(0);
  WaitWindow->LbUpdateMsg->setText(QString::fromStdString(message));
  WaitWindow->ShowProgress();
  WaitWindow->OnCancel = [this] { BtCancelClick(); };
  WaitWindow->exec();
  WaitWindow = nullptr;
  return true;
}

void TdlgVornKaprin::TimerChkKaprinTimer() {
  vorn::KaprinThreadBase* thread = Current();
  if (!thread) return;
  const uint32_t limit = Mode == 1 ? vorn::kBackupStallTicks : vorn::kRestoreStallTicks;

  if (WaitWindow && WaitWindow->isVisible()) {
    const int32_t progress = thread->Progress;
    if (progress != LastProgress) {
      LastProgress = progress;
      WaitWindow->WaitPosition = progress;
      StallTicks = 0;
    } else if (!StopRequested && !thread->WaitingForProgramEnd && ++StallTicks > limit) {
      // Given up on: the thread stops, then waits for the controller's
      // program to end, and only then may anything else use the line.
      StallTicks = 0;
      Stalled = true;
      StopRequested = true;
      thread->Terminate();
      WaitWindow->ShowStopping();
    }
    if (thread->WaitingForProgramEnd) WaitWindow->ShowWaitingFor(vorn::WaitingForProgramText());
  }

  if (!thread->Done) return;
  TimerChkKaprin->stop();
  if (Stalled) {
    if (WaitWindow) {
      WaitWindow->CloseRequested = true;
      WaitWindow->tmrStatusUpdateTimer();
    }
    ui_.Error(vorn::ImageStallEndText(*thread));
    done(QDialog::Rejected);
    return;
  }
  // The progress window goes before the box, so the box never sits on a
  // window that closes under it.
  if (thread->Succeeded) {
    if (WaitWindow) {
      WaitWindow->WaitPosition = thread->BlockCount;
      WaitWindow->tmrStatusUpdateTimer();
    }
    ui_.Information(vorn::ImageEndText(*thread, Mode == 1));
  } else {
    if (WaitWindow) {
      WaitWindow->CloseRequested = true;
      WaitWindow->tmrStatusUpdateTimer();
    }
    ui_.Error(vorn::ImageEndText(*thread, Mode == 1));
  }
}

void TdlgVornKaprin::BtCancelClick() {
  vorn::KaprinThreadBase* thread = Current();
  if (!thread || thread->Done || StopRequested) return;
  if (Mode == 2) {
    // The watchdog must not give up on the transfer while the user decides.
    const bool watching = TimerChkKaprin->isActive();
    TimerChkKaprin->stop();
    const bool stop = ui_.WarningQuestion(vorn::ImageStopRestoreQuestion());
    if (watching) TimerChkKaprin->start();
    if (!stop || thread->Done) return;
  }
  // The thread ends at its next wait for the controller; the watch reports it.
  StopRequested = true;
  thread->Terminate();
  if (WaitWindow) WaitWindow->ShowStopping();
}

void TdlgVornKaprin::btHelpClick() {
  TdlgfrmHelp help(this);
  help.exec();
}

}  // namespace vorn::ui
