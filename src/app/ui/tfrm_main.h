#pragma once
// The main window: both file panes, the terminal pane, the toolbars, the port
// chooser, and what lives longer than one user action.
#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "widgets/file_list_view.h"
#include "widgets/status_panels.h"
#include "link/exchange.h"
#include "link/serial_port.h"
#include "link/ui.h"

namespace vorn {
class TerminalSession;
}  // namespace vorn

namespace vsim {
class VirtualController;
}

namespace vorn::ui {

class QtGuiInvoker;
class GuiLineWait;
class HeldErrorUi;
class TerminalPaneWidget;
class RemotePane;
class LocalPane;
class CopyCommand;
class TerminalConsole;
class MainTerminalView;

struct StartOptions {
  bool simulate = false;               // serve the built-in virtual controller and select it
  std::vector<std::string> extraPorts; // --port PATH
  std::string simulatorDrive;          // --drive FILE for the virtual controller
  uint32_t simulatorBaud = 0;          // --simulate-baud N: pace its line like a real one; 0 unpaced
  uint32_t simulatorAdapterLatencyMs = 0;  // --simulate-adapter-latency MS: a USB-serial adapter's hold; 0 none
  std::string logFile;                 // --log FILE: every line from the controller, appended with its time
  // The host's serial ports present now, in scan order; empty: probe the
  // host's candidates (tests give their own).
  std::function<std::vector<std::string>()> presentPorts;
};

class TfrmMain : public QMainWindow, public vorn::TerminalPane, public vorn::BusyCursor {
  Q_OBJECT
 public:
  // ui answers every message box and question; the application passes the
  // real boxes, tests pass scripted answers.
  TfrmMain(vorn::Ui& ui, StartOptions options = {}, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // --- state that lives longer than one user action ---
  std::string ComName;
  QCursor NormalCursor;
  std::string ConfigPath;

  vorn::Ui& UserInterface() { return ui_; }
  // The standard exchange bound to this window's pane, cursor and ComName.
  vorn::Exchange& Exchanges();
  QtGuiInvoker& Invoker() { return *invoker_; }
  vsim::VirtualController* Simulator() const { return simulator_.get(); }
  // The terminal's port, threads and keys; its port is open while it runs.
  vorn::TerminalSession& Terminal() { return *terminal_; }
  bool TerminalRunning() const;
  // An upload, an image transfer or a configuration run holds the line: the
  // window does not close under it.
  bool TransferRunning() const;

  RemotePane& Remote() { return *remotePane_; }
  LocalPane& Local() { return *localPane_; }

  // --- controls ---
  QMenuBar* MainMenu1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* About1 = nullptr;

  QSplitter* splHori = nullptr;
  QSplitter* Splitter1 = nullptr;  // the one splitter holding both panes and the strip

  QWidget* pnlLocal = nullptr;
  QLabel* lblLocal = nullptr;
  QToolBar* tlbarLocal = nullptr;
  QToolButton* tbtnLocalOpenDir = nullptr;
  QToolButton* tbtnLocalUp = nullptr;
  QToolButton* tbtnLocalRefresh = nullptr;
  QToolButton* tbtnLocalLgIcon = nullptr;
  QToolButton* tbtnLocalSmIcon = nullptr;
  QToolButton* tbtnLocalLsIcon = nullptr;
  QToolButton* tbtnLocalDtIcon = nullptr;
  QToolButton* tbtnLocalRun = nullptr;
  QComboBox* cbxLocal = nullptr;
  FileListView* lstviewLocal = nullptr;
  StatusPanels* stabarLocal = nullptr;
  QMenu* PopupMenu1 = nullptr;

  QWidget* pnlBtn = nullptr;
  QPushButton* btnCopy = nullptr;

  QWidget* pnlVorn = nullptr;
  QLabel* lblVorn = nullptr;
  QToolBar* tlbarVorn = nullptr;
  QToolButton* tbtnVornUp = nullptr;
  QToolButton* tbtnRefresh = nullptr;
  QToolButton* tbtnVornLgIcon = nullptr;
  QToolButton* tbtnVornSmIcon = nullptr;
  QToolButton* tbtnVornLsIcon = nullptr;
  QToolButton* tbtnVornDtIcon = nullptr;
  QToolButton* tbtnVornConf = nullptr;
  QToolButton* tbtnDOSCmd = nullptr;
  QToolButton* tbtnTCPConf = nullptr;
  QToolButton* tbtnKAPRIN = nullptr;
  QComboBox* cbxCOM = nullptr;
  QComboBox* cbxVorn = nullptr;
  FileListView* lstviewVorn = nullptr;
  StatusPanels* stabarVorn = nullptr;

  QMenu* PopupMenu2 = nullptr;
  QAction* MakeDirectory1 = nullptr;
  QAction* VORNCopy1 = nullptr;
  QAction* VORNPaste1 = nullptr;
  QAction* Delete1 = nullptr;
  QAction* Rename1 = nullptr;
  QMenu* DOScommand1 = nullptr;
  QAction* ABORT1 = nullptr;
  QAction* FORMAT1 = nullptr;
  QAction* MEM1 = nullptr;
  QMenu* SetToAutoRun1 = nullptr;
  QAction* Vorn7730M1 = nullptr;
  QAction* Vorn7730TCP1 = nullptr;
  QAction* Properities1 = nullptr;

  TerminalPaneWidget* meoDos = nullptr;
  QMenu* PopupMenu3 = nullptr;
  QAction* Copy1 = nullptr;
  QAction* Pasteto7730M1 = nullptr;
  QAction* SelectAll1 = nullptr;
  QAction* Font1 = nullptr;
  QAction* SaveLog1 = nullptr;       // "Save log...": the pane's text to a file
  QAction* LogTimestamps1 = nullptr; // checked: each saved line after its time

  // --- TerminalPane (exchanges and uploads add lines through it) ---
  int LineCount() const override;
  void Clear() override;
  void AppendLine(const std::string& text) override;
  // --- BusyCursor ---
  void SetBusy() override;
  void Restore() override;

  // --- start-up, port choice, exit ---
  // Fills the port box at start-up, selecting the port used last when it is
  // still there, otherwise the first in scan order.
  void ScanComPort();
  // Reads the host's ports again as the box opens (adapters come and go),
  // keeping the chosen port selected while it is there.
  void RescanComPort();
  void cbxCOMChange();
  void Exit1Click();
  void About1Click();
  void tbtnVornConfClick();
  void tbtnTCPConfClick();
  void tbtnKAPRINClick();

  // --- terminal console ---
  void tbtnDOSCmdClick();
  void meoDosKeyDown(int key, bool* swallow);
  void meoDosKeyPress(char ch);
  void meoDosMouseUp();
  void PopupMenu3Popup();
  void Copy1Click();
  void Pasteto7730M1Click();
  void SelectAll1Click();
  void Font1Click();
  void SaveLog1Click();
  // False when --log named a file that could not be opened (said in a box).
  bool LogReady() const { return logReady_; }

  // --- run a host program ---
  void tbtnLocalRunClick();

  // The controls the terminal disables while it holds the port.
  void SetExchangeControlsEnabled(bool enabled);

 protected:
  void showEvent(QShowEvent* event) override;   // FormShow
  void closeEvent(QCloseEvent* event) override; // FormClose

 private:
  void FormCreate();
  void FormShow();
  void FormDestroy();
  void BuildLayout();
  // Lists the controller pane again after a tool that may have replaced the
  // whole drive; the root when the pane's folder is gone.
  void RelistAfterDriveChange();
  // Says in the status bar why a close request was refused.
  void SayTransferRunning();
  // The port box's items (device name as data, its stable name beside it),
  // with select chosen when present, else the first.
  void FillPortBox(const std::string& select);

  vorn::Ui& ui_;
  std::unique_ptr<HeldErrorUi> exchangeUi_;  // the exchanges' boxes, held back on request
  StartOptions options_;
  std::unique_ptr<vsim::VirtualController> simulator_;
  std::unique_ptr<GuiLineWait> lineWait_;
  std::unique_ptr<QtGuiInvoker> invoker_;
  std::unique_ptr<vorn::Exchange> exchange_;
  std::unique_ptr<MainTerminalView> terminalView_;
  std::unique_ptr<vorn::TerminalSession> terminal_;
  std::unique_ptr<RemotePane> remotePane_;
  std::unique_ptr<LocalPane> localPane_;
  std::unique_ptr<CopyCommand> copyCommand_;
  std::unique_ptr<TerminalConsole> console_;
  bool shown_ = false;
  bool logReady_ = true;
  bool exitConfirmed_ = false;
  bool destroyed_ = false;
  int busyDepth_ = 0;
  int configRuns_ = 0;  // the configuration run in progress (read, edit, upload, apply)
};

}  // namespace vorn::ui
