#include "app/ui/tfrm_main.h"

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
#include "ioconf/ui/tdlg_vorn_io_conf.h"
#include "image/ui/tdlg_vorn_kaprin.h"
#include "link/terminal_session.h"
#include "link/ui/main_terminal_view.h"
#include "link/ui/terminal_console.h"
#include "link/ui/terminal_pane_widget.h"
#include "local/ui/local_pane.h"
#include "netconf/ui/tdlg_vorn_tcp_conf.h"
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
#include "transfer/ui/tdlg_vorn_tran.h"

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

TfrmMain::TfrmMain(vorn::Ui& ui, StartOptions options, QWidget* parent)
    : QMainWindow(parent), ui_(ui), exchangeUi_(std::make_unique<HeldErrorUi>(ui)), options_(std::move(options)) {
  setObjectName("TfrmMain");
  setWindowTitle("VORN-7730 Series Utility (Ver 1.38)");
  resize(721, 580);
  lineWait_ = std::make_unique<GuiLineWait>();
  lineWait_->CloseRefused = [this] { CloseAfterExchange(); };
  invoker_ = std::make_unique<QtGuiInvoker>();
  exchange_ = std::make_unique<vorn::Exchange>(*this, *this, *exchangeUi_);
  BuildLayout();
  FormCreate();
}

TfrmMain::~TfrmMain() { FormDestroy(); }

bool TfrmMain::TerminalRunning() const { return console_ && console_->Running(); }

vorn::Exchange& TfrmMain::Exchanges() {
  exchange_->ComName = ComName;
  return *exchange_;
}

// ------------------------------------------------------------------ layout

void TfrmMain::BuildLayout() {
  MainMenu1 = menuBar();
  QMenu* file = MainMenu1->addMenu("&File");
  Exit1 = file->addAction("Exit");
  Exit1->setObjectName("Exit1");
  QMenu* help = MainMenu1->addMenu("&Help");
  About1 = help->addAction("About...");
  About1->setObjectName("About1");
  connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });
  connect(About1, &QAction::triggered, this, [this] { About1Click(); });

  // ---- host pane
  pnlLocal = new LocalPane(ui_, *this);
  pnlLocal->tlbarLocal->addSeparator();
  tbtnLocalRun = ToolButton(pnlLocal->tlbarLocal, "tbtnLocalRun", "Run VORN Utility", ToolIcon::Run);

  // ---- middle strip
  pnlBtn = new QWidget;
  pnlBtn->setObjectName("pnlBtn");
  btnCopy = new QPushButton(pnlBtn);
  btnCopy->setObjectName("btnCopy");
  btnCopy->setToolTip("Copy file to VORN");
  btnCopy->setIcon(MakeToolIcon(ToolIcon::Copy));
  btnCopy->setIconSize(QSize(24, 24));
  btnCopy->setFixedSize(34, 48);
  {
    auto* layout = new QVBoxLayout(pnlBtn);
    layout->setContentsMargins(1, 0, 1, 0);
    layout->addStretch();
    layout->addWidget(btnCopy);
    layout->addStretch();
  }
  pnlBtn->setFixedWidth(36);

  // ---- controller pane, with this window's tools on its bar's line
  pnlVorn = new RemotePane(ui_, [this]() -> vorn::Exchange& { return Exchanges(); }, pnlLocal->Folders());
  QToolBar* bar = pnlVorn->tlbarVorn;
  bar->addSeparator();
  tbtnVornConf = ToolButton(bar, "tbtnVornConf", "Config VORN", ToolIcon::Config);
  tbtnDOSCmd = ToolButton(bar, "tbtnDOSCmd", "Launch Terminal", ToolIcon::Terminal);
  tbtnDOSCmd->setCheckable(true);
  tbtnTCPConf = ToolButton(bar, "tbtnTCPConf", "Vorn-7730/TCP Configuration", ToolIcon::Network);
  tbtnKAPRIN = ToolButton(bar, "tbtnKAPRIN", "Talvenrik Image Kaprin", ToolIcon::Image);
  // The port box follows the buttons on their line, or starts a line of its
  // own when the pane is narrow: it is never hidden in an overflow.
  auto* portBox = new PortBox;
  portBox->aboutToPopUp = [this] { RescanComPort(); };
  cbxCOM = portBox;
  cbxCOM->setObjectName("cbxCOM");
  cbxCOM->setToolTip("COM port");
  // A device server's port is typed in: nothing on the host lists it.
  cbxCOM->setEditable(true);
  cbxCOM->setInsertPolicy(QComboBox::NoInsert);
  cbxCOM->lineEdit()->setPlaceholderText("socket://HOST:PORT");
  // Long device names are elided in the box; its list shows them whole.
  cbxCOM->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cbxCOM->setMinimumContentsLength(10);
  cbxCOM->view()->setMinimumWidth(260);
  pnlVorn->AddToBarLine(cbxCOM);

  // ---- terminal pane and its session
  meoDos = new TerminalPaneWidget;
  terminalView_ = std::make_unique<MainTerminalView>(meoDos);
  terminal_ = std::make_unique<vorn::TerminalSession>(*invoker_, *terminalView_);

  // ---- splitters
  Splitter1 = new QSplitter(Qt::Horizontal);
  Splitter1->setObjectName("Splitter1");
  Splitter1->setHandleWidth(2);
  Splitter1->setChildrenCollapsible(false);
  Splitter1->addWidget(pnlLocal);
  Splitter1->addWidget(pnlBtn);
  Splitter1->addWidget(pnlVorn);
  Splitter1->setStretchFactor(0, 2);
  Splitter1->setStretchFactor(1, 0);
  Splitter1->setStretchFactor(2, 3);
  splHori = new QSplitter(Qt::Vertical);
  splHori->setObjectName("splHori");
  splHori->setHandleWidth(3);
  splHori->setChildrenCollapsible(false);
  splHori->addWidget(Splitter1);
  splHori->addWidget(meoDos);
  splHori->setStretchFactor(0, 2);
  splHori->setStretchFactor(1, 1);
  setCentralWidget(splHori);
  // Made now, so the window does not change its height the first time it says something.
  statusBar()->setObjectName("stabarMain");

  // ---- the commands between the parts
  console_ = std::make_unique<TerminalConsole>(*meoDos, *tbtnDOSCmd, *terminal_, ui_, [this] { return ComName; });
  connect(console_.get(), &TerminalConsole::runningChanged, this,
          [this](bool running) { SetExchangeControlsEnabled(!running); });
  copyCommand_ = std::make_unique<CopyCommand>(*pnlLocal, *pnlVorn, ui_, *invoker_, *this,
                                               [this]() -> vorn::Exchange& { return Exchanges(); }, this);
  CopyCommand* copy = copyCommand_.get();
  connect(btnCopy, &QPushButton::clicked, copy, &CopyCommand::btnCopyClick);
  // The copy keys do what the button does, and nothing while it is off.
  connect(pnlLocal, &LocalPane::copyRequested, btnCopy, &QPushButton::click);
  connect(pnlVorn, &RemotePane::copyRequested, btnCopy, &QPushButton::click);
  connect(pnlLocal, &LocalPane::copyWithFoldersRequested, copy, &CopyCommand::CopyWithFolders);
  connect(pnlVorn, &RemotePane::filesDropped, copy, &CopyCommand::UploadPaths);
  connect(pnlVorn, &RemotePane::runRequested, console_.get(), &TerminalConsole::TypeKeys);
  // Results that would otherwise show only in the terminal.
  connect(pnlVorn, &RemotePane::said, this, [this](const QString& text) { statusBar()->showMessage(text, kSaidMs); });
  connect(copy, &CopyCommand::said, this, [this](const QString& text) { statusBar()->showMessage(text, kSaidMs); });

  connect(cbxCOM, QOverload<int>::of(&QComboBox::activated), this, [this](int) { cbxCOMChange(); });
  connect(cbxCOM->lineEdit(), &QLineEdit::returnPressed, this,
          [this] { TypedPortEntered(cbxCOM->lineEdit()->text().trimmed().toStdString()); });
  connect(tbtnVornConf, &QToolButton::clicked, this, [this] { tbtnVornConfClick(); });
  connect(tbtnTCPConf, &QToolButton::clicked, this, [this] { tbtnTCPConfClick(); });
  connect(tbtnKAPRIN, &QToolButton::clicked, this, [this] { tbtnKAPRINClick(); });
  connect(tbtnLocalRun, &QToolButton::clicked, this, [this] { tbtnLocalRunClick(); });
}

// ------------------------------------------------------------------ start-up

void TfrmMain::FormCreate() {
  // There is no OLE on this host's side of things; the step always succeeds.
  TdlgVornInit init(this);
  init.show();

  init.ChangeLabelText("Scanning local system...");
  NormalCursor = cursor();
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
  pnlLocal->ShowStart();

  init.ChangeLabelText("Starting COM thread...");
  pnlLocal->FocusPathBox();
  if (!options_.logFile.empty()) {
    QString error;
    logReady_ = meoDos->OpenLog(QString::fromStdString(options_.logFile), &error);
    if (!logReady_) ui_.Error("Unable to open the log file " + error.toStdString());
    // Said after the line that failed has been shown, not from inside it.
    meoDos->onLogFailure = [this](const QString& reason) {
      QTimer::singleShot(0, this, [this, reason] {
        ui_.Error("Writing the log file " + options_.logFile + " failed: " + reason.toStdString() +
                  "\n\nNothing more is logged.");
      });
    };
  }
  init.ChangeLabelText("Initialization done!!");
  init.close();
}

void TfrmMain::ScanComPort() {
  // The virtual controller's port is new on every run: with it, it comes first.
  std::string last;
  if (!simulator_) last = vorn::platform::HostRegistry().ReadString(kPortKey, kLastPortValue).value_or("");
  FillPortBox(last);
  ComName = cbxCOM->count() > 0 ? cbxCOM->currentData().toString().toStdString() : std::string();
}

void TfrmMain::RescanComPort() {
  const std::string chosen = ComName;
  FillPortBox(chosen);
  // A port that went away is no longer offered: the box and the port used agree.
  ComName = cbxCOM->count() > 0 ? cbxCOM->currentData().toString().toStdString() : std::string();
  if (chosen.empty() || ComName == chosen) return;
  // The pane showed the controller on the port that went: it is not the one
  // the next command would reach.
  pnlVorn->ClearListing();
  statusBar()->showMessage(QString::fromStdString(
      "The port " + chosen + " is gone. " +
      (ComName.empty() ? std::string("No port is left to choose.")
                       : ComName + " is chosen now: press Refresh to list its controller.")));
}

void TfrmMain::FillPortBox(const std::string& select) {
  cbxCOM->clear();
  // The virtual controller comes first, named as such; its item data is the
  // device path that the exchanges open.
  if (simulator_) cbxCOM->addItem("Virtual controller (" + QString::fromStdString(simulator_->PortPath()) + ")",
                                  QString::fromStdString(simulator_->PortPath()));
  for (const std::string& path : options_.extraPorts) cbxCOM->addItem(QString::fromStdString(path), QString::fromStdString(path));
  // The port used last is offered again when it is a device server's.
  if (vorn::platform::IsNetworkPortName(select) &&
      std::find(typedPorts_.begin(), typedPorts_.end(), select) == typedPorts_.end())
    typedPorts_.push_back(select);
  for (const std::string& name : typedPorts_)
    if (cbxCOM->findData(QString::fromStdString(name)) < 0)
      cbxCOM->addItem(QString::fromStdString(name), QString::fromStdString(name));
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
    cbxCOM->addItem(QString::fromStdString(stable.empty() ? name : name + "  (" + stable + ")"),
                    QString::fromStdString(name));
  }
  // The list shows the long stable names whole.
  int widest = 260;
  for (int i = 0; i < cbxCOM->count(); ++i)
    widest = std::max(widest, cbxCOM->fontMetrics().horizontalAdvance(cbxCOM->itemText(i)) + 40);
  cbxCOM->view()->setMinimumWidth(widest);
  const int found = select.empty() ? -1 : cbxCOM->findData(QString::fromStdString(select));
  cbxCOM->setCurrentIndex(found >= 0 ? found : (cbxCOM->count() > 0 ? 0 : -1));
}

void TfrmMain::cbxCOMChange() {
  const QVariant data = cbxCOM->currentData();
  ComName = (data.isValid() ? data.toString() : cbxCOM->currentText()).toStdString();
  if (!simulator_ || ComName != simulator_->PortPath())
    vorn::platform::HostRegistry().WriteString(kPortKey, kLastPortValue, ComName);
  pnlVorn->Listing().SortColumn = 0;
  pnlVorn->Listing().RestoreIndex = 0;
  pnlVorn->ShowRemoteFolder("\\");
}

void TfrmMain::TypedPortEntered(const std::string& name) {
  if (name.empty()) return;
  int index = cbxCOM->findData(QString::fromStdString(name));
  if (index < 0) index = cbxCOM->findText(QString::fromStdString(name));
  if (index < 0) {
    // A malformed server address is said at once, not at the first exchange.
    if (vorn::platform::IsNetworkPortName(name) && !vorn::platform::ParseNetworkPortName(name)) {
      ui_.Error("'" + name + "' is not a port: write socket://HOST:PORT or rfc2217://HOST:PORT.");
      return;
    }
    typedPorts_.push_back(name);
    cbxCOM->addItem(QString::fromStdString(name), QString::fromStdString(name));
    index = cbxCOM->count() - 1;
  }
  cbxCOM->setCurrentIndex(index);
  cbxCOMChange();
}

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TfrmMain::FormShow() {
  const int total = Splitter1->width() > 0 ? Splitter1->width() : width();
  const int local = static_cast<int>(0.4 * (width() - pnlBtn->width() - 2 * Splitter1->handleWidth()));
  Splitter1->setSizes({local, pnlBtn->width(), std::max(150, total - local - pnlBtn->width())});
  const int terminal = height() / 3;
  splHori->setSizes({std::max(100, splHori->height() - terminal), terminal});
}

// ------------------------------------------------------------------ exit

bool TfrmMain::TransferRunning() const {
  if (configRuns_ > 0) return true;
  // The transfer dialogs are shown for as long as their upload runs, also
  // when another dialog (the network settings) opened them.
  for (const TdlgVornTran* d : findChildren<TdlgVornTran*>())
    if (d->isVisible()) return true;
  for (const TdlgVornKaprin* d : findChildren<TdlgVornKaprin*>())
    if (d->TimerChkKaprin->isActive()) return true;
  return false;
}

void TfrmMain::SayTransferRunning() {
  std::string what = "A transfer is running";
  if (configRuns_ > 0)
    what = "The I/O configuration run is using VORN-7730";
  else if (!findChildren<TdlgVornTran*>().isEmpty())
    what = "An upload to VORN-7730 is running";
  else if (!findChildren<TdlgVornKaprin*>().isEmpty())
    what = "An image transfer is running";
  statusBar()->showMessage(QString::fromStdString(what + ": the window closes only after it has ended."), 8000);
}

void TfrmMain::CloseAfterExchange() {
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

void TfrmMain::Exit1Click() {
  if (TransferRunning()) {
    SayTransferRunning();
    return;
  }
  vorn::platform::MessageBeep(100);
  if (!ui_.QuestionUnlessNo("Are you sure to exit?")) return;
  exitConfirmed_ = true;
  close();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
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

void TfrmMain::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  // Printer, receiver and ring go first, then the terminal's port is closed.
  console_.reset();
  terminal_.reset();
  terminalView_.reset();
  invoker_->Shutdown();
  // The panes go before the simulator whose port they may name.
  copyCommand_.reset();
  delete pnlVorn;
  pnlVorn = nullptr;
  delete pnlLocal;
  pnlLocal = nullptr;
  if (simulator_) simulator_->Stop();
}

// ------------------------------------------------------------------ dialogs

void TfrmMain::About1Click() {
  TdlgVornAbout about(this);
  about.exec();
}

void TfrmMain::tbtnVornConfClick() {
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

void TfrmMain::tbtnTCPConfClick() {
  if (pnlVorn->Listing().BytesFree == 0) {
    ui_.Warning("Please press 'Refresh folder' button in the VORN-7730 panel first.");
    return;
  }
  TdlgVornTCPConf dlgVornTCPConf(ui_, *invoker_, Exchanges().Factory(), ComName, *this, *this, this);
  dlgVornTCPConf.FormShow();
  dlgVornTCPConf.exec();
  // The dialog may have replaced files or formatted the whole drive.
  RelistAfterDriveChange();
}

void TfrmMain::tbtnKAPRINClick() {
  if (pnlVorn->Listing().BytesFree == 0) {
    ui_.Warning("Please press 'Refresh folder' button in the VORN-7730 panel first.");
    return;
  }
  {
    TdlgVornKaprin dialog(ui_, *invoker_, this);
    dialog.PortName = ComName;
    dialog.Terminal = this;
    dialog.Factory = Exchanges().Factory();
    dialog.exec();
  }
  // A restore replaces the whole drive.
  RelistAfterDriveChange();
}

void TfrmMain::RelistAfterDriveChange() {
  vorn::RemoteListing& listing = pnlVorn->Listing();
  // The free space shown is stale now: until a listing succeeds, the tools
  // and uploads that depend on it ask for a refresh.
  listing.BytesFree = 0;
  if (listing.CurrentPath.empty() || listing.CurrentPath == "\\") {
    pnlVorn->Relist();
    return;
  }
  // A shell that refuses the folder means it went with the old drive: the
  // root is listed instead, and whatever still fails there is shown.
  exchangeUi_->Hold();
  pnlVorn->Relist();
  if (!exchangeUi_->Release()) return;
  listing.SortColumn = listing.ChosenColumn;
  listing.RestoreIndex = 0;
  pnlVorn->ShowRemoteFolder("\\");
}

void TfrmMain::tbtnLocalRunClick() {
  TdlgVornRun dialog(ui_, vorn::platform::HostRegistry(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  if (TerminalRunning()) console_->tbtnDOSCmdClick();
  if (!vorn::platform::StartProgram(dialog.AppPath))
    ui_.Error("Unable to run the application. '" + dialog.AppPath + "'");
}

// ------------------------------------------------------------------ pane and cursor

int TfrmMain::LineCount() const { return meoDos->LineCount(); }

void TfrmMain::Clear() { meoDos->clear(); }

void TfrmMain::AppendLine(const std::string& text) { meoDos->AppendLine(QString::fromLatin1(text.data(), static_cast<int>(text.size()))); }

void TfrmMain::SetBusy() {
  if (busyDepth_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TfrmMain::Restore() {
  if (busyDepth_ > 0 && --busyDepth_ == 0) QApplication::restoreOverrideCursor();
}

void TfrmMain::SetExchangeControlsEnabled(bool enabled) {
  pnlVorn->SetExchangeControlsEnabled(enabled);
  // The host pane's folder upload would only find the port held.
  pnlLocal->CopyToVorn1->setEnabled(enabled);
  for (QWidget* w : std::initializer_list<QWidget*>{tbtnVornConf, cbxCOM, btnCopy, tbtnTCPConf, tbtnKAPRIN})
    w->setEnabled(enabled);
}

}  // namespace vorn::ui
