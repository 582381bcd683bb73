#include "image/ui/image_tool_dialog.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "image/ui/wait_window.h"
#include "link/controller_identity.h"
#include "transfer/ui/transfer_dialog.h"
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

ImageToolDialog::ImageToolDialog(vorn::Ui& ui, vorn::GuiInvoker& gui, QWidget* parent)
    : QDialog(parent), ui_(ui), gui_(gui) {
  setObjectName("ImageToolDialog");
  setWindowTitle("Talvenrik Image Kaprin");
  BuildLayout();

  TimerChkKaprin = new QTimer(this);
  TimerChkKaprin->setObjectName("TimerChkKaprin");
  TimerChkKaprin->setInterval(1000);
  connect(TimerChkKaprin, &QTimer::timeout, this, [this] { checkTransfer(); });
  connect(btHelp, &QPushButton::clicked, this, [this] { showHelp(); });
  connect(BtBackupImg, &QPushButton::clicked, this, [this] { backupImage(); });
  connect(BtRestoreImg, &QPushButton::clicked, this, [this] { restoreImage(); });
  connect(programsFolderButton, &QPushButton::clicked, this, [this] { ChooseProgramsFolder(); });
}

ImageToolDialog::~ImageToolDialog() {
  TimerChkKaprin->stop();
  // A transfer the watchdog gave up on may still wait for the controller:
  // ask it to end and wait, so its port is free again.
  BackupThread.reset();
  RestoreThread.reset();
}

void ImageToolDialog::BuildLayout() {
  auto* toolBox = new QGroupBox(" Vorn-7730 Image Kaprin ", this);
  toolBox->setObjectName("toolBox");

  auto* readBox = new QGroupBox(" Read Image ", toolBox);
  readBox->setObjectName("readBox");
  auto* readEstimate = new QLabel("Estimate time: 10 minutes", readBox);
  readEstimate->setObjectName("readEstimate");
  btHelp = new QPushButton("Help", readBox);
  btHelp->setObjectName("btHelp");
  BtBackupImg = new QPushButton("Backup Image", readBox);
  BtBackupImg->setObjectName("BtBackupImg");
  auto* read = new QHBoxLayout(readBox);
  read->addWidget(readEstimate, 1);
  read->addWidget(btHelp);
  read->addWidget(BtBackupImg);

  auto* writeBox = new QGroupBox(" Write Image ", toolBox);
  writeBox->setObjectName("writeBox");
  auto* writeEstimate = new QLabel("Estimate time: 6minutes", writeBox);
  writeEstimate->setObjectName("writeEstimate");
  BtRestoreImg = new QPushButton("Restore Image", writeBox);
  BtRestoreImg->setObjectName("BtRestoreImg");
  auto* write = new QHBoxLayout(writeBox);
  write->addWidget(writeEstimate, 1);
  write->addWidget(BtRestoreImg);

  for (QPushButton* b : {btHelp, BtBackupImg, BtRestoreImg}) b->setAutoDefault(false);
  btHelp->setFixedWidth(70);
  BtBackupImg->setFixedWidth(110);
  BtRestoreImg->setFixedWidth(110);

  auto* inner = new QVBoxLayout(toolBox);
  inner->addWidget(readBox);
  inner->addWidget(writeBox);
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
  outer->addWidget(toolBox);
  outer->addLayout(folder);
  setFixedSize(480, 250);
}

void ImageToolDialog::LocateToolFolder() {
  ToolFolder = vorn::platform::LocateCompanionFolders(*Registry).tools;
  // Said before a transfer is asked for: stand-ins serve the virtual controller only.
  std::string text = "Controller programs: " + (ToolFolder.empty() ? std::string("the current folder") : ToolFolder);
  if (vorn::platform::IsStandIn(ToolFolder + "KAPRINRD.EXE") || vorn::platform::IsStandIn(ToolFolder + "KAPRINWR.EXE"))
    text += " (stand-ins: for the virtual controller only)";
  programsFolderLabel->setText(QString::fromStdString(text));
}

void ImageToolDialog::showEvent(QShowEvent* event) {
  LocateToolFolder();
  QDialog::showEvent(event);
}

void ImageToolDialog::ChooseProgramsFolder() {
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

bool ImageToolDialog::AskControllerIdentity(std::vector<std::string>& printed) {
  vorn::SilentPane silent;
  vorn::NoCursor cursor;
  vorn::Exchange link(Terminal ? *Terminal : silent, cursor, ui_, Factory);
  link.ComName = PortName;
  return vorn::ExchangeIdentityQuery(link)(printed);
}

bool ImageToolDialog::UploadTool(const std::string& targetDir, const std::string& localPath) {
  std::unique_ptr<vorn::Port> port = vorn::OpenUploadPort(Factory, PortName);
  if (!port) {
    ui_.Error(vorn::OpenFailureText(PortName));
    return false;
  }
  bool result = true;
  bool succeeded = false;
  std::vector<vorn::UploadResult::Unconfirmed> unconfirmed;
  {
    TransferDialog dialog(ui_, gui_, this);
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

std::unique_ptr<vorn::VornKaprinThread> ImageToolDialog::CreateBackupThread() {
  return std::make_unique<vorn::VornKaprinThread>(gui_);
}

std::unique_ptr<vorn::VornKaprinResThread> ImageToolDialog::CreateRestoreThread() {
  return std::make_unique<vorn::VornKaprinResThread>(gui_);
}

vorn::KaprinThreadBase* ImageToolDialog::Current() const {
  if (Mode == 1) return BackupThread.get();
  if (Mode == 2) return RestoreThread.get();
  return nullptr;
}

void ImageToolDialog::StartWatching(vorn::KaprinThreadBase& thread) {
  thread.PortName = PortName;
  thread.Factory = Factory;
  LastProgress = thread.Progress;
  StallTicks = 0;
  StopRequested = false;
  Stalled = false;
  thread.Resume();
  TimerChkKaprin->start();
}

bool ImageToolDialog::UploadChecked(const char* program) {
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

std::string ImageToolDialog::Question(const char* text, vorn::ImageDirection direction) const {
  const std::string line = vorn::SlowAdapterLine(direction, vorn::kImageBaud,
                                                 AdapterLatency ? AdapterLatency(PortName) : std::nullopt, PortName);
  return line.empty() ? text : text + std::string("\n") + line;
}

void ImageToolDialog::backupImage() {
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

void ImageToolDialog::restoreImage() {
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

bool ImageToolDialog::ShowWaitWindow(const std::string& message) {
  vorn::KaprinThreadBase* thread = Current();
  if (!thread) return false;
  auto window = std::make_unique<WaitWindow>(this);
  waitWindow = window.get();
  waitWindow->ProgressBar->setMaximum(thread->BlockCount);
  waitWindow->ProgressBar->setValue(0);
  waitWindow->LbUpdateMsg->setText(QString::fromStdString(message));
  waitWindow->ShowProgress();
  waitWindow->OnCancel = [this] { cancelTransfer(); };
  waitWindow->exec();
  waitWindow = nullptr;
  return true;
}

void ImageToolDialog::checkTransfer() {
  vorn::KaprinThreadBase* thread = Current();
  if (!thread) return;
  const uint32_t limit = Mode == 1 ? vorn::kBackupStallTicks : vorn::kRestoreStallTicks;

  if (waitWindow && waitWindow->isVisible()) {
    const int32_t progress = thread->Progress;
    if (progress != LastProgress) {
      LastProgress = progress;
      waitWindow->WaitPosition = progress;
      StallTicks = 0;
    } else if (!StopRequested && !thread->WaitingForProgramEnd && ++StallTicks > limit) {
      // Given up on: the thread stops, then waits for the controller's
      // program to end, and only then may anything else use the line.
      StallTicks = 0;
      Stalled = true;
      StopRequested = true;
      thread->Terminate();
      waitWindow->ShowStopping();
    }
    if (thread->WaitingForProgramEnd) waitWindow->ShowWaitingFor(vorn::WaitingForProgramText());
  }

  if (!thread->Done) return;
  TimerChkKaprin->stop();
  if (Stalled) {
    if (waitWindow) {
      waitWindow->CloseRequested = true;
      waitWindow->updateStatus();
    }
    ui_.Error(vorn::ImageStallEndText(*thread));
    done(QDialog::Rejected);
    return;
  }
  // The progress window goes before the box, so the box never sits on a
  // window that closes under it.
  if (thread->Succeeded) {
    if (waitWindow) {
      waitWindow->WaitPosition = thread->BlockCount;
      waitWindow->updateStatus();
    }
    ui_.Information(vorn::ImageEndText(*thread, Mode == 1));
  } else {
    if (waitWindow) {
      waitWindow->CloseRequested = true;
      waitWindow->updateStatus();
    }
    ui_.Error(vorn::ImageEndText(*thread, Mode == 1));
  }
}

void ImageToolDialog::cancelTransfer() {
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
  if (waitWindow) waitWindow->ShowStopping();
}

void ImageToolDialog::showHelp() {
  ImageToolHelp help(this);
  help.exec();
}

}  // namespace vorn::ui
