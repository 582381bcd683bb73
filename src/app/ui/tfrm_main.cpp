#include "app/ui/tfrm_main.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QLineEdit>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <tuple>

#include "app/ui/dialogs.h"
#include "widgets/flow_layout.h"
#include "widgets/gui_line_wait.h"
#include "widgets/icons.h"
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
#include "transfer/ui/copy_command.h"
#include "transfer/ui/tdlg_vorn_tran.h"

namespace vorn::ui {

namespace {

// The settings value that keeps the port used last.
constexpr const char* kPortKey = kRunFileKey;
constexpr const char* kLastPortValue = "Last Port";

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

// A tool bar outside the main window's tool bar areas has an overflow button
// that opens nothing: the pane keeps it wide enough for all its buttons.
void NeverOverflow(QToolBar* bar) { bar->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Fixed); }

QToolButton* ToolButton(QToolBar* bar, const char* name, const QString& hint, ToolIcon icon) {
  auto* button = new QToolButton(bar);
  button->setObjectName(name);
  button->setToolTip(hint);
  button->setIcon(MakeToolIcon(icon));
  button->setAutoRaise(true);
  bar->addWidget(button);
  return button;
}

// The four view-style buttons of a pane (large icons, small icons, list,
// report), named prefix + LgIcon/SmIcon/LsIcon/DtIcon; exactly one is down.
std::tuple<QToolButton*, QToolButton*, QToolButton*, QToolButton*> ViewStyleButtons(QToolBar* bar,
                                                                                   const QString& prefix,
                                                                                   QObject* owner) {
  auto make = [&](const char* suffix, const char* hint, ToolIcon icon) {
    QToolButton* b = ToolButton(bar, (prefix + suffix).toLatin1().constData(), hint, icon);
    b->setCheckable(true);
    return b;
  };
  // One after the other: the toolbar keeps the order in which they are made.
  QToolButton* large = make("LgIcon", "Large Icons", ToolIcon::LargeIcons);
  QToolButton* small = make("SmIcon", "Small Icons", ToolIcon::SmallIcons);
  QToolButton* list = make("LsIcon", "List View", ToolIcon::List);
  QToolButton* report = make("DtIcon", "Report View", ToolIcon::Report);
  auto buttons = std::make_tuple(large, small, list, report);
  auto* group = new QButtonGroup(owner);
  group->setExclusive(true);
  std::apply([group](auto*... b) { (group->addButton(b), ...); }, buttons);
  return buttons;
}

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
  std::optional<std::string> AskName(const std::string& caption, const std::string& prompt,
                                     int maxLength) override {
    return ui_.AskName(caption, prompt, maxLength);
  }
  std::optional<std::string> ChooseFont(const std::string& current) override { return ui_.ChooseFont(current); }

 private:
  vorn::Ui& ui_;
  bool holding_ = false;
  int held_ = 0;
};

namespace {

QWidget* PaneHeader(QLabel* label) {
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  label->setContentsMargins(4, 2, 4, 2);
  return label;
}

}  // namespace

TfrmMain::TfrmMain(vorn::Ui& ui, StartOptions options, QWidget* parent)
    : QMainWindow(parent), ui_(ui), exchangeUi_(std::make_unique<HeldErrorUi>(ui)), options_(std::move(options)) {
  setObjectName("TfrmMain");
  setWindowTitle("VORN-7730 Series Utility (Ver 1.38)");
  resize(721, 580);
  lineWait_ = std::make_unique<GuiLineWait>();
  lineWait_->CloseRefused = [this] { SayTransferRunning(); };
  invoker_ = std::make_unique<QtGuiInvoker>();
  exchange_ = std::make_unique<vorn::Exchange>(*this, *this, *exchangeUi_);
  BuildLayout();
  FormCreate();
}

TfrmMain::~TfrmMain() { FormDestroy(); }

bool TfrmMain::TerminalRunning() const { return console_ && console_->Running(); }
void TfrmMain::tbtnDOSCmdClick() { console_->tbtnDOSCmdClick(); }
void TfrmMain::meoDosKeyDown(int key, bool* swallow) { console_->meoDosKeyDown(key, swallow); }
void TfrmMain::meoDosKeyPress(char ch) { console_->meoDosKeyPress(ch); }
void TfrmMain::meoDosMouseUp() { console_->meoDosMouseUp(); }
void TfrmMain::PopupMenu3Popup() { console_->PopupMenu3Popup(); }
void TfrmMain::Copy1Click() { console_->Copy1Click(); }
void TfrmMain::Pasteto7730M1Click() { console_->Pasteto7730M1Click(); }
void TfrmMain::SelectAll1Click() { console_->SelectAll1Click(); }
void TfrmMain::Font1Click() { console_->Font1Click(); }
void TfrmMain::SaveLog1Click() { console_->SaveLog1Click(); }

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
  pnlLocal = new QWidget;
  pnlLocal->setObjectName("pnlLocal");
  // No fixed minimum width: the tool bar's buttons, well over 150 pixels, set
  // how narrow the pane may get.
  lblLocal = new QLabel("Local System:", pnlLocal);
  lblLocal->setObjectName("lblLocal");
  tlbarLocal = new QToolBar(pnlLocal);
  tlbarLocal->setObjectName("tlbarLocal");
  tlbarLocal->setIconSize(QSize(18, 18));
  NeverOverflow(tlbarLocal);
  tbtnLocalOpenDir = ToolButton(tlbarLocal, "tbtnLocalOpenDir", "Open directory", ToolIcon::OpenFolder);
  tbtnLocalUp = ToolButton(tlbarLocal, "tbtnLocalUp", "Move up", ToolIcon::Up);
  tbtnLocalRefresh = ToolButton(tlbarLocal, "tbtnLocalRefresh", "Refresh folder", ToolIcon::Refresh);
  tlbarLocal->addSeparator();
  std::tie(tbtnLocalLgIcon, tbtnLocalSmIcon, tbtnLocalLsIcon, tbtnLocalDtIcon) =
      ViewStyleButtons(tlbarLocal, "tbtnLocal", this);
  tlbarLocal->addSeparator();
  tbtnLocalRun = ToolButton(tlbarLocal, "tbtnLocalRun", "Run VORN Utility", ToolIcon::Run);
  cbxLocal = new QComboBox(pnlLocal);
  cbxLocal->setObjectName("cbxLocal");
  cbxLocal->setEditable(true);
  cbxLocal->setInsertPolicy(QComboBox::NoInsert);
  cbxLocal->setMaxVisibleItems(20);
  lstviewLocal = new FileListView(true, pnlLocal);
  lstviewLocal->setObjectName("lstviewLocal");
  stabarLocal = new StatusPanels({150, 100}, pnlLocal);
  stabarLocal->setObjectName("stabarLocal");
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  {
    auto* layout = new QVBoxLayout(pnlLocal);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(PaneHeader(lblLocal));
    layout->addWidget(tlbarLocal);
    layout->addWidget(cbxLocal);
    layout->addWidget(lstviewLocal, 1);
    layout->addWidget(stabarLocal);
  }

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

  // ---- controller pane
  pnlVorn = new QWidget;
  pnlVorn->setObjectName("pnlVorn");
  lblVorn = new QLabel("VORN-7730 Series:", pnlVorn);
  lblVorn->setObjectName("lblVorn");
  tlbarVorn = new QToolBar(pnlVorn);
  tlbarVorn->setObjectName("tlbarVorn");
  tlbarVorn->setIconSize(QSize(18, 18));
  NeverOverflow(tlbarVorn);
  tbtnVornUp = ToolButton(tlbarVorn, "tbtnVornUp", "Move up", ToolIcon::Up);
  tbtnRefresh = ToolButton(tlbarVorn, "tbtnRefresh", "Refresh folder", ToolIcon::Refresh);
  tlbarVorn->addSeparator();
  std::tie(tbtnVornLgIcon, tbtnVornSmIcon, tbtnVornLsIcon, tbtnVornDtIcon) =
      ViewStyleButtons(tlbarVorn, "tbtnVorn", this);
  tlbarVorn->addSeparator();
  tbtnVornConf = ToolButton(tlbarVorn, "tbtnVornConf", "Config VORN", ToolIcon::Config);
  tbtnDOSCmd = ToolButton(tlbarVorn, "tbtnDOSCmd", "Launch Terminal", ToolIcon::Terminal);
  tbtnDOSCmd->setCheckable(true);
  tbtnTCPConf = ToolButton(tlbarVorn, "tbtnTCPConf", "Vorn-7730/TCP Configuration", ToolIcon::Network);
  tbtnKAPRIN = ToolButton(tlbarVorn, "tbtnKAPRIN", "Talvenrik Image Kaprin", ToolIcon::Image);
  // The port box follows the buttons on their line, or starts a line of its
  // own when the pane is narrow: it is never hidden in an overflow.
  auto* vornBar = new QWidget(pnlVorn);
  vornBar->setObjectName("vornBar");
  cbxCOM = new PortBox(vornBar);
  static_cast<PortBox*>(cbxCOM)->aboutToPopUp = [this] { RescanComPort(); };
  cbxCOM->setObjectName("cbxCOM");
  cbxCOM->setToolTip("COM port");
  // Long device names are elided in the box; its list shows them whole.
  cbxCOM->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cbxCOM->setMinimumContentsLength(10);
  cbxCOM->view()->setMinimumWidth(260);
  {
    auto* flow = new FlowLayout(vornBar, 6);
    flow->addWidget(tlbarVorn);
    flow->addWidget(cbxCOM);
  }
  cbxVorn = new QComboBox(pnlVorn);
  cbxVorn->setObjectName("cbxVorn");
  cbxVorn->setEditable(false);
  lstviewVorn = new FileListView(false, pnlVorn);
  lstviewVorn->setObjectName("lstviewVorn");
  stabarVorn = new StatusPanels({150, 50}, pnlVorn);
  stabarVorn->setObjectName("stabarVorn");
  {
    auto* layout = new QVBoxLayout(pnlVorn);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(PaneHeader(lblVorn));
    layout->addWidget(vornBar);
    layout->addWidget(cbxVorn);
    layout->addWidget(lstviewVorn, 1);
    layout->addWidget(stabarVorn);
  }

  // ---- controller pane context menu
  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName("PopupMenu2");
  auto item = [](QMenu* menu, const char* name, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    return a;
  };
  MakeDirectory1 = item(PopupMenu2, "MakeDirectory1", "&Make Directory");
  PopupMenu2->addSeparator();
  VORNCopy1 = item(PopupMenu2, "VORNCopy1", "VORN Cop&y");
  VORNPaste1 = item(PopupMenu2, "VORNPaste1", "VORN Pas&te");
  VORNCopy1->setEnabled(false);
  VORNPaste1->setEnabled(false);
  PopupMenu2->addSeparator();
  Delete1 = item(PopupMenu2, "Delete1", "&Delete");
  Rename1 = item(PopupMenu2, "Rename1", "&Rename");
  PopupMenu2->addSeparator();
  DOScommand1 = PopupMenu2->addMenu("D&OS command");
  DOScommand1->setObjectName("DOScommand1");
  ABORT1 = item(DOScommand1, "ABORT1", "&ABORT");
  FORMAT1 = item(DOScommand1, "FORMAT1", "&FORMAT");
  MEM1 = item(DOScommand1, "MEM1", "M&EM");
  SetToAutoRun1 = PopupMenu2->addMenu("Set to &AutoRun");
  SetToAutoRun1->setObjectName("SetToAutoRun1");
  Vorn7730M1 = item(SetToAutoRun1, "Vorn7730M1", "Vorn-7730M");
  Vorn7730TCP1 = item(SetToAutoRun1, "Vorn7730TCP1", "Vorn-7730/TCP");
  PopupMenu2->addSeparator();
  Properities1 = item(PopupMenu2, "Properities1", "&Properities");

  // ---- terminal pane
  meoDos = new TerminalPaneWidget;
  PopupMenu3 = new QMenu(this);
  PopupMenu3->setObjectName("PopupMenu3");
  Copy1 = item(PopupMenu3, "Copy1", "Copy");
  Pasteto7730M1 = item(PopupMenu3, "Pasteto7730M1", "Paste to 7730");
  SelectAll1 = item(PopupMenu3, "SelectAll1", "Select All");
  Font1 = item(PopupMenu3, "Font1", "Font");
  PopupMenu3->addSeparator();
  SaveLog1 = item(PopupMenu3, "SaveLog1", "Save log...");
  LogTimestamps1 = item(PopupMenu3, "LogTimestamps1", "Timestamp Each Line");
  LogTimestamps1->setCheckable(true);

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

  TerminalConsoleParts console;
  console.meoDos = meoDos;
  console.tbtnDOSCmd = tbtnDOSCmd;
  console.Copy1 = Copy1;
  console.Pasteto7730M1 = Pasteto7730M1;
  console.LogTimestamps1 = LogTimestamps1;
  console.ui = &ui_;
  console.session = [this] { return terminal_.get(); };
  console.portName = [this] { return ComName; };
  console.setExchangeControlsEnabled = [this](bool enabled) { SetExchangeControlsEnabled(enabled); };
  console_ = std::make_unique<TerminalConsole>(std::move(console));

  // ---- wiring of this window's own handlers
  connect(cbxCOM, QOverload<int>::of(&QComboBox::activated), this, [this](int) { cbxCOMChange(); });
  connect(tbtnVornConf, &QToolButton::clicked, this, [this] { tbtnVornConfClick(); });
  connect(tbtnTCPConf, &QToolButton::clicked, this, [this] { tbtnTCPConfClick(); });
  connect(tbtnKAPRIN, &QToolButton::clicked, this, [this] { tbtnKAPRINClick(); });
  connect(tbtnDOSCmd, &QToolButton::clicked, this, [this] { tbtnDOSCmdClick(); });
  connect(tbtnLocalRun, &QToolButton::clicked, this, [this] { tbtnLocalRunClick(); });
  meoDos->onKeyDown = [this](int key, bool* swallow) { meoDosKeyDown(key, swallow); };
  meoDos->onKeyPress = [this](char ch) { meoDosKeyPress(ch); };
  meoDos->onMouseUp = [this] { meoDosMouseUp(); };
  connect(meoDos, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    PopupMenu3Popup();
    PopupMenu3->exec(meoDos->viewport()->mapToGlobal(pos));
  });
  connect(Copy1, &QAction::triggered, this, [this] { Copy1Click(); });
  connect(Pasteto7730M1, &QAction::triggered, this, [this] { Pasteto7730M1Click(); });
  connect(SelectAll1, &QAction::triggered, this, [this] { SelectAll1Click(); });
  connect(Font1, &QAction::triggered, this, [this] { Font1Click(); });
  connect(SaveLog1, &QAction::triggered, this, [this] { SaveLog1Click(); });
}

// ------------------------------------------------------------------ start-up

void TfrmMain::FormCreate() {
  // There is no OLE on this host's side of things; the step always succeeds.
  TdlgVornInit init(this);
  init.show();

  init.ChangeLabelText("Scanning local system...");
  NormalCursor = cursor();
  ConfigPath = vorn::platform::DocumentsFolder() + vorn::platform::PathSeparator() + "V7730MIO.cfg";

  RemotePaneParts remote;
  remote.pnlVorn = pnlVorn;
  remote.tbtnVornUp = tbtnVornUp;
  remote.tbtnRefresh = tbtnRefresh;
  remote.tbtnVornLgIcon = tbtnVornLgIcon;
  remote.tbtnVornSmIcon = tbtnVornSmIcon;
  remote.tbtnVornLsIcon = tbtnVornLsIcon;
  remote.tbtnVornDtIcon = tbtnVornDtIcon;
  remote.cbxVorn = cbxVorn;
  remote.lstviewVorn = lstviewVorn;
  remote.stabarVorn = stabarVorn;
  remote.PopupMenu2 = PopupMenu2;
  remote.MakeDirectory1 = MakeDirectory1;
  remote.VORNCopy1 = VORNCopy1;
  remote.VORNPaste1 = VORNPaste1;
  remote.Delete1 = Delete1;
  remote.Rename1 = Rename1;
  remote.DOScommand1 = DOScommand1;
  remote.ABORT1 = ABORT1;
  remote.FORMAT1 = FORMAT1;
  remote.MEM1 = MEM1;
  remote.SetToAutoRun1 = SetToAutoRun1;
  remote.Vorn7730M1 = Vorn7730M1;
  remote.Vorn7730TCP1 = Vorn7730TCP1;
  remote.Properities1 = Properities1;
  remote.window = this;
  remote.ui = &ui_;
  remote.exchange = [this]() -> vorn::Exchange& { return Exchanges(); };
  remote.hostFolders = [this]() -> const vorn::HostFolders& { return Local().Folders(); };
  remote.copy = [this] { btnCopy->click(); };
  remote.terminalRunning = [this] { return TerminalRunning(); };
  remote.startTerminal = [this] { tbtnDOSCmdClick(); };
  remote.typeKey = [this](char ch) { meoDosKeyPress(ch); };
  remotePane_ = std::make_unique<RemotePane>(std::move(remote));
  remotePane_->Wire();

  LocalPaneParts local;
  local.pnlLocal = pnlLocal;
  local.tbtnLocalOpenDir = tbtnLocalOpenDir;
  local.tbtnLocalUp = tbtnLocalUp;
  local.tbtnLocalRefresh = tbtnLocalRefresh;
  local.tbtnLocalLgIcon = tbtnLocalLgIcon;
  local.tbtnLocalSmIcon = tbtnLocalSmIcon;
  local.tbtnLocalLsIcon = tbtnLocalLsIcon;
  local.tbtnLocalDtIcon = tbtnLocalDtIcon;
  local.cbxLocal = cbxLocal;
  local.lstviewLocal = lstviewLocal;
  local.stabarLocal = stabarLocal;
  local.PopupMenu1 = PopupMenu1;
  local.window = this;
  local.ui = &ui_;
  local.cursor = this;
  local.copy = [this] { btnCopy->click(); };
  localPane_ = std::make_unique<LocalPane>(std::move(local));
  localPane_->Wire();

  CopyCommandParts copy;
  copy.btnCopy = btnCopy;
  copy.lstviewLocal = lstviewLocal;
  copy.lstviewVorn = lstviewVorn;
  copy.cbxVorn = cbxVorn;
  copy.local = localPane_.get();
  copy.remote = remotePane_.get();
  copy.ui = &ui_;
  copy.invoker = invoker_.get();
  copy.owner = this;
  copy.terminal = this;
  copy.exchange = [this]() -> vorn::Exchange& { return Exchanges(); };
  copy.portName = [this] { return ComName; };
  copyCommand_ = std::make_unique<CopyCommand>(std::move(copy));
  copyCommand_->Wire();

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
  localPane_->ShowStart();

  init.ChangeLabelText("Starting COM thread...");
  cbxLocal->setFocus();
  if (cbxLocal->lineEdit()) cbxLocal->lineEdit()->selectAll();
  tbtnLocalDtIcon->setChecked(true);
  tbtnVornDtIcon->setChecked(true);
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
  terminalView_ = std::make_unique<MainTerminalView>(meoDos);
  terminal_ = std::make_unique<vorn::TerminalSession>(*invoker_, *terminalView_);

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
  FillPortBox(ComName);
  // A port that went away is no longer offered: the box and the port used agree.
  if (cbxCOM->count() > 0) ComName = cbxCOM->currentData().toString().toStdString();
}

void TfrmMain::FillPortBox(const std::string& select) {
  cbxCOM->clear();
  // The virtual controller comes first, named as such; its item data is the
  // device path that the exchanges open.
  if (simulator_) cbxCOM->addItem("Virtual controller (" + QString::fromStdString(simulator_->PortPath()) + ")",
                                  QString::fromStdString(simulator_->PortPath()));
  for (const std::string& path : options_.extraPorts) cbxCOM->addItem(QString::fromStdString(path), QString::fromStdString(path));
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
  remotePane_->Listing().SortColumn = 0;
  remotePane_->Listing().RestoreIndex = 0;
  remotePane_->ShowRemoteFolder("\\");
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
  statusBar()->showMessage("A transfer is running", 5000);
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
  terminal_.reset();
  terminalView_.reset();
  invoker_->Shutdown();
  // The panes go before the simulator whose port they may name.
  copyCommand_.reset();
  remotePane_.reset();
  localPane_.reset();
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
  IOConfDialogEditor editor(this);
  run.Run(editor);
}

void TfrmMain::tbtnTCPConfClick() {
  if (remotePane_->Listing().BytesFree == 0) {
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
  if (remotePane_->Listing().BytesFree == 0) {
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
  vorn::RemoteListing& listing = remotePane_->Listing();
  // The free space shown is stale now: until a listing succeeds, the tools
  // and uploads that depend on it ask for a refresh.
  listing.BytesFree = 0;
  if (listing.CurrentPath.empty() || listing.CurrentPath == "\\") {
    remotePane_->Relist();
    return;
  }
  // A shell that refuses the folder means it went with the old drive: the
  // root is listed instead, and whatever still fails there is shown.
  exchangeUi_->Hold();
  remotePane_->Relist();
  if (!exchangeUi_->Release()) return;
  listing.SortColumn = listing.ChosenColumn;
  listing.RestoreIndex = 0;
  remotePane_->ShowRemoteFolder("\\");
}

void TfrmMain::tbtnLocalRunClick() {
  TdlgVornRun dialog(ui_, vorn::platform::HostRegistry(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  if (TerminalRunning()) tbtnDOSCmdClick();
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
  for (QWidget* w : std::initializer_list<QWidget*>{tbtnVornConf, tbtnVornUp, tbtnRefresh, tbtnVornLgIcon, tbtnVornSmIcon,
                                                    tbtnVornLsIcon, tbtnVornDtIcon, cbxCOM, cbxVorn, lstviewVorn, btnCopy,
                                                    tbtnTCPConf, tbtnKAPRIN})
    w->setEnabled(enabled);
}

}  // namespace vorn::ui
