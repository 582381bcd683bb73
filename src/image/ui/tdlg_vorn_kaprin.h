#pragma once
// The image tool: backs up the controller's drive D: into an image file or
// writes one back. Uploads the controller-side program, starts the transfer
// thread and watches it once a second behind a modal progress window.
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/image_estimate.h"
#include "image/kaprin_threads.h"
#include "link/exchange.h"
#include "link/gui_invoker.h"
#include "link/ui.h"
#include "platform/adapter_latency.h"
#include "platform/host.h"

namespace vorn::ui {

class TfrmMWaitFor;

class TdlgVornKaprin : public QDialog {
  Q_OBJECT
 public:
  // Boxes and file dialogs go through ui; the backup's pane step through gui.
  TdlgVornKaprin(vorn::Ui& ui, vorn::GuiInvoker& gui, QWidget* parent = nullptr);
  ~TdlgVornKaprin() override;  // stops and waits for a running transfer

  std::unique_ptr<vorn::VornKaprinThread> BackupThread;
  std::unique_ptr<vorn::VornKaprinResThread> RestoreThread;
  TfrmMWaitFor* WaitWindow = nullptr;
  std::string ToolFolder;  // ends with a separator, or empty: the current folder
  int Mode = 0;            // 1 backup, 2 restore
  std::string PortName;
  vorn::TerminalPane* Terminal = nullptr;  // not owned
  int32_t LastProgress = 0;
  uint32_t StallTicks = 0;
  // Where the ports and the program folder come from.
  vorn::PortFactory Factory = vorn::HostPortFactory();
  vorn::platform::Registry* Registry = &vorn::platform::HostRegistry();
  // The port adapter's latency timer, for the warning before a slow transfer.
  std::function<std::optional<uint32_t>(const std::string& portName)> AdapterLatency =
      vorn::platform::AdapterLatencyMs;
  bool StopRequested = false;  // the user (or the watchdog) asked the running transfer to end
  bool Stalled = false;        // the watchdog gave up on the running transfer
  QPushButton* btHelp;
  QPushButton* BtBackupImg;
  QPushButton* BtRestoreImg;
  QTimer* TimerChkKaprin;  // 1000 ms, started with a transfer
  // Where the controller-side programs come from, and the button that
  // chooses (and remembers) another folder.
  QLabel* programsFolderLabel;
  QPushButton* programsFolderButton;

  void LocateToolFolder();  // also shows the folder
  void ChooseProgramsFolder();
  // Uploads one host file into a controller directory with the transfer dialog.
  virtual bool UploadTool(const std::string& targetDir, const std::string& localPath);
  bool ShowWaitWindow(const std::string& message);

  void btHelpClick();
  void BtBackupImgClick();
  void BtRestoreImgClick();
  void TimerChkKaprinTimer();
  // The progress window's Cancel: a restore asks first.
  void BtCancelClick();

 protected:
  // The transfer threads; tests hand in their own.
  virtual std::unique_ptr<vorn::VornKaprinThread> CreateBackupThread();
  virtual std::unique_ptr<vorn::VornKaprinResThread> CreateRestoreThread();
  // Types the harmless identity query; tests answer it themselves.
  virtual bool AskControllerIdentity(std::vector<std::string>& printed);
  void showEvent(QShowEvent* event) override;

 private:
  void BuildLayout();
  vorn::KaprinThreadBase* Current() const;
  // Finds the program and uploads it; false (after its box) when it can't.
  bool UploadChecked(const char* program);
  void StartWatching(vorn::KaprinThreadBase& thread);
  // The question before a transfer, with the slow adapter's line when due.
  std::string Question(const char* text, vorn::ImageDirection direction) const;

  vorn::Ui& ui_;
  vorn::GuiInvoker& gui_;
};

}  // namespace vorn::ui
