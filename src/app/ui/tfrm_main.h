#pragma once
// The main window: makes both file panes, the terminal pane and the tools,
// lays them out and connects them; keeps the port chooser and what lives
// longer than one user action.
#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QToolButton>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

  RemotePane& Remote() { return *pnlVorn; }
  LocalPane& Local() { return *pnlLocal; }
  TerminalConsole& Console() { return *console_; }

  // --- controls ---
  QMenuBar* MainMenu1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* About1 = nullptr;

  QSplitter* splHori = nullptr;
  QSplitter* Splitter1 = nullptr;  // the one splitter holding both panes and the strip

  LocalPane* pnlLocal = nullptr;
  QToolButton* tbtnLocalRun = nullptr;  // on the host pane's tool bar

  QWidget* pnlBtn = nullptr;
  QPushButton* btnCopy = nullptr;

  RemotePane* pnlVorn = nullptr;
  // On the controller pane's tool bar line.
  QToolButton* tbtnVornConf = nullptr;
  QToolButton* tbtnDOSCmd = nullptr;
  QToolButton* tbtnTCPConf = nullptr;
  QToolButton* tbtnKAPRIN = nullptr;
  QComboBox* cbxCOM = nullptr;

  TerminalPaneWidget* meoDos = nullptr;

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
  // A port name typed into the box (a device path, or a device server's
  // socket://HOST:PORT or rfc2217://HOST:PORT): offered from then on and used.
  void TypedPortEntered(const std::string& name);
  void Exit1Click();
  void About1Click();
  void tbtnVornConfClick();
  void tbtnTCPConfClick();
  void tbtnKAPRINClick();

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
  // Says in the status bar why a close request was refused: what runs.
  void SayTransferRunning();
  // A close request that came while an exchange waited on the line: the
  // window closes (asking as usual) once the exchange has ended, unless a
  // longer run holds the line, which is then named.
  void CloseAfterExchange();
  // The port box's items (device name as data, its stable name beside it),
  // with select chosen when present, else the first.
  void FillPortBox(const std::string& select);

  vorn::Ui& ui_;
  // Ports typed into the box, or remembered from the last run, that no scan
  // finds (device servers' ports): offered after the scanned ones.
  std::vector<std::string> typedPorts_;
  std::unique_ptr<HeldErrorUi> exchangeUi_;  // the exchanges' boxes, held back on request
  StartOptions options_;
  std::unique_ptr<vsim::VirtualController> simulator_;
  std::unique_ptr<GuiLineWait> lineWait_;
  std::unique_ptr<QtGuiInvoker> invoker_;
  std::unique_ptr<vorn::Exchange> exchange_;
  std::unique_ptr<MainTerminalView> terminalView_;
  std::unique_ptr<vorn::TerminalSession> terminal_;
  std::unique_ptr<CopyCommand> copyCommand_;
  std::unique_ptr<TerminalConsole> console_;
  bool shown_ = false;
  bool logReady_ = true;
  bool exitConfirmed_ = false;
  bool closePending_ = false;
  bool destroyed_ = false;
  int busyDepth_ = 0;
  int configRuns_ = 0;  // the configuration run in progress (read, edit, upload, apply)
};

}  // namespace vorn::ui
