#include "app/ui/main_window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/ui/dialogs.h"
#include "widgets/gui_line_wait.h"
#include "widgets/icons.h"
#include "widgets/pane_tools.h"
#include "widgets/qt_invoker.h"
#include "ioconf/ioconf_run.h"
#include "ioconf/ui/io_config_dialog.h"
#include "image/ui/image_tool_dialog.h"
#include "link/terminal_session.h"
#include "link/ui/main_terminal_view.h"
#include "link/ui/terminal_console.h"
#include "link/ui/terminal_pane_widget.h"
#include "local/ui/local_pane.h"
#include "netconf/ui/network_dialog.h"
#include "platform/host.h"
#include "platform/serial_device.h"
#include "remote/ui/remote_pane.h"
#ifdef VORN_WITH_SIM
#include "sim/virtual_controller.h"
#else
namespace vsim {
// Hosts without pseudo-terminals (Windows) have no virtual controller; this
// one is never made.
class VirtualController {
 public:
  std::string PortPath() const { return {}; }
  void Stop() {}
};
}  // namespace vsim
#endif
#include "platform/network_device.h"
#include "transfer/ui/copy_command.h"
#include "transfer/ui/transfer_dialog.h"

namespace vorn::ui {

namespace {

// The settings value that keeps the port used last. A key of its own: the
// run dialog reads a missing "Run File" in its key as empty.
constexpr const char* kPortKey = "Software\\TALVENRIK\\VORN-7730M Utility\\Port";
constexpr const char* kLastPortValue = "Last Port";

// How long a one-line result stays in the status bar.
constexpr int kSaidMs = 20000;

// The configuration dialog, with the status bar telling what the run does
// before and after it: the read takes seconds with nothing else to show.
class StatusIOConfEditor : public vorn::IOConfEditor {
 public:
  StatusIOConfEditor(vorn::IOConfEditor& editor, QStatusBar& bar) : editor_(editor), bar_(bar) {}
  bool Edit(vorn::IOConfig& config) override {
    bar_.clearMessage();
    const bool ok = editor_.Edit(config);
    if (ok) bar_.showMessage("Writing the I/O configuration to VORN-7730 ...");
    return ok;
  }

 private:
  vorn::IOConfEditor& editor_;
  QStatusBar& bar_;
};

// The port box, which tells before its list opens.
class PortBox : public QComboBox {
 public:
  using QComboBox::QComboBox;
  std::function<void()> aboutToPopUp;
  void showPopup() override {
    if (aboutToPopUp) aboutToPopUp();
    QComboBox::showPopup();
  }
};

}  // namespace

// The user's boxes for the window's exchanges. While held, error boxes are
// kept back instead of shown, for a listing whose failure has a remedy.
class HeldErrorUi : public vorn::Ui {
 public:
  explicit HeldErrorUi(vorn::Ui& ui) : ui_(ui) {}
  void Hold() {
    holding_ = true;
    held_ = 0;
  }
  // Ends holding; true when an error was held back.
  bool Release() {
    holding_ = false;
    return held_ > 0;
  }

  void Error(const std::string& text) override {
    if (holding_)
      ++held_;
    else
      ui_.Error(text);
  }
  void Warning(const std::string& text) override { ui_.Warning(text); }
  void Information(const std::string& text) override { ui_.Information(text); }
  void Plain(const std::string& text) override { ui_.Plain(text); }
  bool Question(const std::string& text) override { return ui_.Question(text); }
  bool QuestionUnlessNo(const std::string& text) override { return ui_.QuestionUnlessNo(text); }
  bool QuestionYesFirst(const std::string& text) override { return ui_.QuestionYesFirst(text); }
  bool InformationQuestion(const std::string& text) override { return ui_.InformationQuestion(text); }
  bool WarningQuestion(const std::string& text) override { return ui_.WarningQuestion(text); }
  std::optional<std::string> OpenFile(const std::string& title, const std::string& filter) override {
    return ui_.OpenFile(title, filter);
  }
  std::optional<std::string> OpenFileNamed(const std::string& title, const std::string& filter,
                                           const std::string& defaultName) override {
    return ui_.OpenFileNamed(title, filter, defaultName);
  }
  std::optional<std::string> SaveFile(const std::string& title, const std::string& filter,
                                      const std::string& defaultName) override {
    return ui_.SaveFile(title, filter, defaultName);
  }
  std::optional<std::string> ChooseFolder(const std::string& title) override { return ui_.ChooseFolder(title); }
  std::optional<std::string> AskName(const std::string& caption, const std::string& prompt, int maxLength,
                                     const std::string& initial) override {
    return ui_.AskName(caption, prompt, maxLength, initial);
  }
  std::optional<std::string> ChooseFont(const std::string& current) override { return ui_.ChooseFont(current); }

 private:
  vorn::Ui& ui_;
  bool holding_ = false;
  int held_ = 0;
};

MainWindow::MainWindow(vorn::Ui& ui, StartOptions options, QWidget* parent)
    : QMainWindow(parent), ui_(ui), exchangeUi_(std::make_unique<HeldErrorUi>(ui)), options_(std::move(options)) {
  setObjectName("MainWindow");
  setWindowTitle("VORN-7730 Series Utility (Ver 1.38)");
  resize(721, 580);
  lineWait_ = std::make_unique<GuiLineWait>();
  lineWait_->CloseRefused = [this] { CloseAfterExchange(); };
  invoker_ = std::make_unique<QtGuiInvoker>();
  exchange_ = std::make_unique<vorn::Exchange>(*this, *this, *exchangeUi_);
  BuildLayout();
  startUp();
}

MainWindow::~MainWindow() { shutDown(); }

bool MainWindow::TerminalRunning() const { return console_ && console_->Running(); }

vorn::Exchange& MainWindow::Exchanges() {
  exchange_->ComName = ComName;
  return *exchange_;
}

// ------------------------------------------------------------------ layout

void MainWindow::BuildLayout() {
  mainMenu_ = menuBar();
  QMenu* file = mainMenu_->addMenu("&File");
  exitAction_ = file->addAction("Exit");
  exitAction_->setObjectName("exitAction");
  QMenu* help = mainMenu_->addMenu("&Help");
  aboutAction_ = help->addAction("About...");
  aboutAction_->setObjectName("aboutAction");
  connect(exitAction_, &QAction::triggered, this, [this] { exitApplication(); });
  connect(aboutAction_, &QAction::triggered, this, [this] { about(); });

  // ---- host pane
  localPane = new LocalPane(ui_, *this);
  localPane->tlbarLocal->addSeparator();
  runButton = ToolButton(localPane->tlbarLocal, "runButton", "Run VORN Utility", ToolIcon::Run);

  // ---- middle strip
  copyStrip_ = new QWidget;
  copyStrip_->setObjectName("copyStrip");
  copyButton = new QPushButton(copyStrip_);
  copyButton->setObjectName("copyButton");
  copyButton->setToolTip("Copy file to VORN");
  copyButton->setIcon(MakeToolIcon(ToolIcon::Copy));
  copyButton->setIconSize(QSize(24, 24));
  copyButton->setFixedSize(34, 48);
  {
    auto* layout = new QVBoxLayout(copyStrip_);
    layout->setContentsMargins(1, 0, 1, 0);
    layout->addStretch();
    layout->addWidget(copyButton);
    layout->addStretch();
  }
  copyStrip_->setFixedWidth(36);

  // ---- controller pane, with this window's tools on its bar's line
  remotePane = new RemotePane(ui_, [this]() -> vorn::Exchange& { return Exchanges(); }, localPane->Folders());
  QToolBar* bar = remotePane->tlbarVorn;
  bar->addSeparator();
  ioConfigButton = ToolButton(bar, "ioConfigButton", "Config VORN", ToolIcon::Config);
  terminalButton = ToolButton(bar, "terminalButton", "Launch Terminal", ToolIcon::Terminal);
  terminalButton->setCheckable(true);
  networkButton = ToolButton(bar, "networkButton", "Vorn-7730/TCP Configuration", ToolIcon::Network);
  imageToolButton = ToolButton(bar, "imageToolButton", "Talvenrik Image Kaprin", ToolIcon::Image);
  // The port box follows the buttons on their line, or starts a line of its
  // own when the pane is narrow: it is never hidden in an overflow.
  auto* portBox = new PortBox;
  portBox->aboutToPopUp = [this] { RescanComPort(); };
  portChooser = portBox;
  portChooser->setObjectName("portChooser");
  portChooser->setToolTip("COM port");
  // A device server's port is typed in: nothing on the host lists it.
  portChooser->setEditable(true);
  portChooser->setInsertPolicy(QComboBox::NoInsert);
  portChooser->lineEdit()->setPlaceholderText("socket://HOST:PORT");
  // Long device names are elided in the box; its list shows them whole.
  portChooser->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  portChooser->setMinimumContentsLength(18);
  // An editable box shows the end of a long name; its start says which port it is.
  connect(portChooser, &QComboBox::currentIndexChanged, portChooser,
          [box = portChooser] { box->lineEdit()->setCursorPosition(0); });
  portChooser->view()->setMinimumWidth(260);
  remotePane->AddToBarLine(portChooser);

  // ---- terminal pane and its session
  terminalView = new TerminalPaneWidget;
  terminalView_ = std::make_unique<MainTerminalView>(terminalView);
  terminal_ = std::make_unique<vorn::TerminalSession>(*invoker_, *terminalView_);

  // ---- splitters
  paneSplitter_ = new QSplitter(Qt::Horizontal);
  paneSplitter_->setObjectName("paneSplitter");
  paneSplitter_->setHandleWidth(2);
  paneSplitter_->setChildrenCollapsible(false);
  paneSplitter_->addWidget(localPane);
  paneSplitter_->addWidget(copyStrip_);
  paneSplitter_->addWidget(remotePane);
  paneSplitter_->setStretchFactor(0, 2);
  paneSplitter_->setStretchFactor(1, 0);
  paneSplitter_->setStretchFactor(2, 3);
  terminalSplitter_ = new QSplitter(Qt::Vertical);
  terminalSplitter_->setObjectName("terminalSplitter");
  terminalSplitter_->setHandleWidth(3);
  terminalSplitter_->setChildrenCollapsible(false);
  terminalSplitter_->addWidget(paneSplitter_);
  terminalSplitter_->addWidget(terminalView);
  terminalSplitter_->setStretchFactor(0, 2);
  terminalSplitter_->setStretchFactor(1, 1);
  setCentralWidget(terminalSplitter_);
  // Made now, so the window does not change its height the first time it says something.
  statusBar()->setObjectName("stabarMain");

  // ---- the commands between the parts
  console_ = std::make_unique<TerminalConsole>(*terminalView, *terminalButton, *terminal_, ui_, [this] { return ComName; });
  connect(console_.get(), &TerminalConsole::runningChanged, this,
          [this](bool running) { SetExchangeControlsEnabled(!running); });
  copyCommand_ = std::make_unique<CopyCommand>(*localPane, *remotePane, ui_, *invoker_, *this,
                                               [this]() -> vorn::Exchange& { return Exchanges(); }, this);
  CopyCommand* copy = copyCommand_.get();
  connect(copyButton, &QPushButton::clicked, copy, &CopyCommand::CopyFiles);
  // The copy keys do what the button does, and nothing while it is off.
  connect(localPane, &LocalPane::copyRequested, copyButton, &QPushButton::click);
  connect(remotePane, &RemotePane::copyRequested, copyButton, &QPushButton::click);
  connect(localPane, &LocalPane::copyWithFoldersRequested, copy, &CopyCommand::CopyWithFolders);
  connect(remotePane, &RemotePane::filesDropped, copy, &CopyCommand::UploadPaths);
  connect(remotePane, &RemotePane::runRequested, console_.get(), &TerminalConsole::TypeKeys);
  // Results that would otherwise show only in the terminal.
  connect(remotePane, &RemotePane::said, this, [this](const QString& text) { statusBar()->showMessage(text, kSaidMs); });
  connect(copy, &CopyCommand::said, this, [this](const QString& text) { statusBar()->showMessage(text, kSaidMs); });

  connect(portChooser, QOverload<int>::of(&QComboBox::activated), this, [this](int) { choosePort(); });
  connect(portChooser->lineEdit(), &QLineEdit::returnPressed, this,
          [this] { TypedPortEntered(portChooser->lineEdit()->text().trimmed().toStdString()); });
  connect(ioConfigButton, &QToolButton::clicked, this, [this] { configureIO(); });
  connect(networkButton, &QToolButton::clicked, this, [this] { openNetworkDialog(); });
  connect(imageToolButton, &QToolButton::clicked, this, [this] { openImageTool(); });
  connect(runButton, &QToolButton::clicked, this, [this] { runHostProgram(); });
}

// ------------------------------------------------------------------ start-up

void MainWindow::startUp() {
  // There is no OLE on this host's side of things; the step always succeeds.
  StartupDialog init(this);
  init.show();

  init.ChangeLabelText("Scanning local system...");
  ConfigPath = vorn::platform::DocumentsFolder() + vorn::platform::PathSeparator() + "V7730MIO.cfg";

  init.ChangeLabelText("Scanning COM port...");
  if (options_.simulate) {
#ifdef VORN_WITH_SIM
    vsim::Options simOptions;
    simOptions.driveFile = options_.simulatorDrive;
    simOptions.baud = options_.simulatorBaud;
    simOptions.adapterLatencyMs = options_.simulatorAdapterLatencyMs;
    simulator_ = std::make_unique<vsim::VirtualController>(simOptions);
    std::string error;
    if (!simulator_->Start(&error)) {
      ui_.Error("Unable to start the virtual controller: " + error);
      simulator_.reset();
    }
#else
    ui_.Error("Unable to start the virtual controller: not available on this host");
#endif
  }
  ScanComPort();

  init.ChangeLabelText("Constructing local view...");
  localPane->ShowStart();

  init.ChangeLabelText("Starting COM thread...");
  localPane->FocusPathBox();
  if (!options_.logFile.empty()) {
    QString error;
    logReady_ = terminalView->OpenLog(QString::fromStdString(options_.logFile), &error);
    if (!logReady_) ui_.Error("Unable to open the log file " + error.toStdString());
    // Said after the line that failed has been shown, not from inside it.
    terminalView->onLogFailure = [this](const QString& reason) {
      QTimer::singleShot(0, this, [this, reason] {
        ui_.Error("Writing the log file " + options_.logFile + " failed: " + reason.toStdString() +
                  "\n\nNothing more is logged.");
      });
    };
  }
  init.ChangeLabelText("Initialization done!!");
  init.close();
}

void MainWindow::ScanComPort() {
  // The virtual controller's port is new on every run: with it, it comes first.
  std::string last;
  if (!simulator_) last = vorn::platform::HostRegistry().ReadString(kPortKey, kLastPortValue).value_or("");
  FillPortBox(last);
  ComName = portChooser->count() > 0 ? portChooser->currentData().toString().toStdString() : std::string();
}

void MainWindow::RescanComPort() {
  const std::string chosen = ComName;
  FillPortBox(chosen);
  // A port that went away is no longer offered: the box and the port used agree.
  ComName = portChooser->count() > 0 ? portChooser->currentData().toString().toStdString() : std::string();
  if (chosen.empty() || ComName == chosen) return;
  // The pane showed the controller on the port that went: it is not the one
  // the next command would reach.
  remotePane->ClearListing();
  statusBar()->showMessage(QString::fromStdString(
      "The port " + chosen + " is gone. " +
      (ComName.empty() ? std::string("No port is left to choose.")
                       : ComName + " is chosen now: press Refresh to list its controller.")));
}

void MainWindow::FillPortBox(const std::string& select) {
  portChooser->clear();
  // The virtual controller comes first, named as such; its item data is the
  // device path that the exchanges open.
  if (simulator_) portChooser->addItem("Virtual controller (" + QString::fromStdString(simulator_->PortPath()) + ")",
                                  QString::fromStdString(simulator_->PortPath()));
  for (const std::string& path : options_.extraPorts) portChooser->addItem(QString::fromStdString(path), QString::fromStdString(path));
  // The port used last is offered again when it is a device server's.
  if (vorn::platform::IsNetworkPortName(select) &&
      std::find(typedPorts_.begin(), typedPorts_.end(), select) == typedPorts_.end())
    typedPorts_.push_back(select);
  for (const std::string& name : typedPorts_)
    if (portChooser->findData(QString::fromStdString(name)) < 0)
      portChooser->addItem(QString::fromStdString(name), QString::fromStdString(name));
  std::vector<std::string> present;
  if (options_.presentPorts) {
    present = options_.presentPorts();
  } else {
    for (const std::string& name : vorn::platform::CandidatePortNames()) {
      vorn::SerialPort port(name);
      const bool opened = port.Open();
      const bool held = !opened && port.LastOpenFailure() == vorn::platform::OpenFailure::AccessDenied;
      if (opened || held) present.push_back(name);
      port.Close();
    }
  }
  for (const std::string& name : present) {
    // A port named with --port is offered once.
    if (std::find(options_.extraPorts.begin(), options_.extraPorts.end(), name) != options_.extraPorts.end()) continue;
    // The adapter's own name tells two USB adapters apart; the device name
    // (ttyUSB0) depends on the order they were plugged in.
    const std::string stable = vorn::platform::StablePortName(name);
    portChooser->addItem(QString::fromStdString(stable.empty() ? name : name + "  (" + stable + ")"),
                    QString::fromStdString(name));
  }
  // The list shows the long stable names whole.
  int widest = 260;
  for (int i = 0; i < portChooser->count(); ++i)
    widest = std::max(widest, portChooser->fontMetrics().horizontalAdvance(portChooser->itemText(i)) + 40);
  portChooser->view()->setMinimumWidth(widest);
  const int found = select.empty() ? -1 : portChooser->findData(QString::fromStdString(select));
  portChooser->setCurrentIndex(found >= 0 ? found : (portChooser->count() > 0 ? 0 : -1));
}

void MainWindow::choosePort() {
  const QVariant data = portChooser->currentData();
  ComName = (data.isValid() ? data.toString() : portChooser->currentText()).toStdString();
  if (!simulator_ || ComName != simulator_->PortPath())
    vorn::platform::HostRegistry().WriteString(kPortKey, kLastPortValue, ComName);
  remotePane->Listing().SortColumn = 0;
  remotePane->Listing().RestoreIndex = 0;
  remotePane->ShowRemoteFolder("\\");
}

void MainWindow::TypedPortEntered(const std::string& name) {
  if (name.empty()) return;
  int index = portChooser->findData(QString::fromStdString(name));
  if (index < 0) index = portChooser->findText(QString::fromStdString(name));
  if (index < 0) {
    // A malformed server address is said at once, not at the first exchange.
    if (vorn::platform::IsNetworkPortName(name) && !vorn::platform::ParseNetworkPortName(name)) {
      ui_.Error("'" + name + "' is not a port: write socket://HOST:PORT or rfc2217://HOST:PORT.");
      return;
    }
    typedPorts_.push_back(name);
    portChooser->addItem(QString::fromStdString(name), QString::fromStdString(name));
    index = portChooser->count() - 1;
  }
  portChooser->setCurrentIndex(index);
  choosePort();
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_) {
    shown_ = true;
    sizePanes();
  }
}

void MainWindow::sizePanes() {
  const int total = paneSplitter_->width() > 0 ? paneSplitter_->width() : width();
  const int local = static_cast<int>(0.4 * (width() - copyStrip_->width() - 2 * paneSplitter_->handleWidth()));
  paneSplitter_->setSizes({local, copyStrip_->width(), std::max(150, total - local - copyStrip_->width())});
  const int terminal = height() / 3;
  terminalSplitter_->setSizes({std::max(100, terminalSplitter_->height() - terminal), terminal});
}

// ------------------------------------------------------------------ exit

bool MainWindow::TransferRunning() const {
  if (configRuns_ > 0) return true;
  // The transfer dialogs are shown for as long as their upload runs, also
  // when another dialog (the network settings) opened them.
  for (const TransferDialog* d : findChildren<TransferDialog*>())
    if (d->isVisible()) return true;
  for (const ImageToolDialog* d : findChildren<ImageToolDialog*>())
    if (d->TimerChkKaprin->isActive()) return true;
  return false;
}

void MainWindow::SayTransferRunning() {
  std::string what = "A transfer is running";
  if (configRuns_ > 0)
    what = "The I/O configuration run is using VORN-7730";
  else if (!findChildren<TransferDialog*>().isEmpty())
    what = "An upload to VORN-7730 is running";
  else if (!findChildren<ImageToolDialog*>().isEmpty())
    what = "An image transfer is running";
  statusBar()->showMessage(QString::fromStdString(what + ": the window closes only after it has ended."), 8000);
}

void MainWindow::CloseAfterExchange() {
  if (TransferRunning()) {
    SayTransferRunning();
    return;
  }
  if (closePending_) return;
  closePending_ = true;
  statusBar()->showMessage("Waiting for VORN-7730 to answer; the window closes then.");
  // Timers wait while the exchange waits on the line: this one runs after it.
  QTimer::singleShot(0, this, [this] {
    closePending_ = false;
    statusBar()->clearMessage();
    close();
  });
}

void MainWindow::exitApplication() {
  if (TransferRunning()) {
    SayTransferRunning();
    return;
  }
  vorn::platform::MessageBeep(100);
  if (!ui_.QuestionUnlessNo("Are you sure to exit?")) return;
  exitConfirmed_ = true;
  close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Closing would pull the port and the pane from under the transfer.
  if (TransferRunning()) {
    event->ignore();
    SayTransferRunning();
    return;
  }
  if (exitConfirmed_) {
    event->accept();
    return;
  }
  vorn::platform::MessageBeep(100);
  if (ui_.QuestionUnlessNo("Are you sure to exit?")) {
    exitConfirmed_ = true;
    event->accept();
  } else {
    event->ignore();
  }
}

void MainWindow::shutDown() {
  if (destroyed_) return;
  destroyed_ = true;
  // Printer, receiver and ring go first, then the terminal's port is closed.
  console_.reset();
  terminal_.reset();
  terminalView_.reset();
  invoker_->Shutdown();
  // The panes go before the simulator whose port they may name.
  copyCommand_.reset();
  delete remotePane;
  remotePane = nullptr;
  delete localPane;
  localPane = nullptr;
  if (simulator_) simulator_->Stop();
}

// ------------------------------------------------------------------ dialogs

void MainWindow::about() {
  AboutDialog about(this);
  about.exec();
}

void MainWindow::configureIO() {
  ++configRuns_;
  struct RunEnd {
    int& runs;
    ~RunEnd() { --runs; }
  } runEnd{configRuns_};
  vorn::IOConfRun run(Exchanges(), *invoker_, ConfigPath);
  // The upload holds the port with no dialog over the window: paint and run
  // the sender's steps, but keep clicks queued so nothing else reaches for
  // the port (or closes the window) under the run.
  run.ProcessEvents = [] { QApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
  IOConfDialogEditor dialog(this);
  StatusIOConfEditor editor(dialog, *statusBar());
  statusBar()->showMessage("Reading the I/O configuration from VORN-7730 ...");
  switch (run.Run(editor)) {
    case vorn::IOConfOutcome::Applied:
      statusBar()->showMessage("The I/O configuration was applied on VORN-7730.", kSaidMs);
      break;
    case vorn::IOConfOutcome::Cancelled:
      statusBar()->clearMessage();
      break;
    case vorn::IOConfOutcome::Failed:
      statusBar()->showMessage("The I/O configuration was not applied.", kSaidMs);
      break;
  }
}

void MainWindow::openNetworkDialog() {
  if (remotePane->Listing().BytesFree == 0) {
    ui_.Warning("Please press 'Refresh folder' button in the VORN-7730 panel first.");
    return;
  }
  NetworkDialog networkDialog(ui_, *invoker_, Exchanges().Factory(), ComName, *this, *this, this);
  networkDialog.showInitialChoices();
  networkDialog.exec();
  // The dialog may have replaced files or formatted the whole drive.
  RelistAfterDriveChange();
}

void MainWindow::openImageTool() {
  if (remotePane->Listing().BytesFree == 0) {
    ui_.Warning("Please press 'Refresh folder' button in the VORN-7730 panel first.");
    return;
  }
  {
    ImageToolDialog dialog(ui_, *invoker_, this);
    dialog.PortName = ComName;
    dialog.Terminal = this;
    dialog.Factory = Exchanges().Factory();
    dialog.exec();
  }
  // A restore replaces the whole drive.
  RelistAfterDriveChange();
}

void MainWindow::RelistAfterDriveChange() {
  vorn::RemoteListing& listing = remotePane->Listing();
  // The free space shown is stale now: until a listing succeeds, the tools
  // and uploads that depend on it ask for a refresh.
  listing.BytesFree = 0;
  if (listing.CurrentPath.empty() || listing.CurrentPath == "\\") {
    remotePane->Relist();
    return;
  }
  // A shell that refuses the folder means it went with the old drive: the
  // root is listed instead, and whatever still fails there is shown.
  exchangeUi_->Hold();
  remotePane->Relist();
  if (!exchangeUi_->Release()) return;
  listing.SortColumn = listing.ChosenColumn;
  listing.RestoreIndex = 0;
  remotePane->ShowRemoteFolder("\\");
}

void MainWindow::runHostProgram() {
  RunProgramDialog dialog(ui_, vorn::platform::HostRegistry(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  if (TerminalRunning()) console_->toggleTerminal();
  if (!vorn::platform::StartProgram(dialog.AppPath))
    ui_.Error("Unable to run the application. '" + dialog.AppPath + "'");
}

// ------------------------------------------------------------------ pane and cursor

int MainWindow::LineCount() const { return terminalView->LineCount(); }

void MainWindow::Clear() { terminalView->clear(); }

void MainWindow::AppendLine(const std::string& text) { terminalView->AppendLine(QString::fromLatin1(text.data(), static_cast<int>(text.size()))); }

void MainWindow::SetBusy() {
  if (busyDepth_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void MainWindow::Restore() {
  if (busyDepth_ > 0 && --busyDepth_ == 0) QApplication::restoreOverrideCursor();
}

void MainWindow::SetExchangeControlsEnabled(bool enabled) {
  remotePane->SetExchangeControlsEnabled(enabled);
  // The host pane's folder upload would only find the port held.
  localPane->copyToControllerAction->setEnabled(enabled);
  for (QWidget* w : std::initializer_list<QWidget*>{ioConfigButton, portChooser, copyButton, networkButton, imageToolButton})
    w->setEnabled(enabled);
}

}  // namespace vorn::ui
