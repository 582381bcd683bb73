#pragma once
// Uploads one host file to the controller: types the command that starts the
// controller's receiver, sends the file with checksum XMODEM (128-byte blocks,
// receiver-driven by NAK), ends with EOT and waits for the shell prompt.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "link/port.h"
#include "link/ui.h"
#include "link/worker_thread.h"

namespace vorn {

namespace xmodem {
constexpr uint8_t SOH = 0x01;
constexpr uint8_t EOT = 0x04;
constexpr uint8_t ACK = 0x06;
constexpr uint8_t NAK = 0x15;
constexpr uint8_t CAN = 0x18;
constexpr size_t kBlockData = 128;
constexpr size_t kBlockSize = kBlockData + 4;
using Block = std::array<uint8_t, kBlockSize>;

// SOH, number, 255 - number, the data filled up with 0x00, the byte sum of the 128 data bytes.
Block BuildBlock(uint8_t number, const uint8_t* data, size_t length);
}  // namespace xmodem

// The pane line of an upload stopped because the host file changed size while it was sent.
constexpr const char* kFileChangedStatus = "<<File changed while sending>>";

// The command line that starts the controller's receiver for a target such as D:\PROG.EXE.
std::string TransferCommandLine(const std::string& targetPath);

// Owner's order: open and configure the port (57600 8N1, time-outs 500 ms),
// create the thread, set Port, Terminal, SourcePath and TargetPath, Resume(),
// poll Outcome (keep processing GUI events: three steps run on the GUI thread),
// destroy the thread, close the port. One object serves one file.
class TThreadXModem : public WorkerThread {
 public:
  explicit TThreadXModem(GuiInvoker& gui);
  ~TThreadXModem() override;

  // Written by the thread and by its steps on the GUI thread, never both at
  // once (the thread waits while a step runs); the owner may read them once
  // Outcome has left 1.
  std::string CommandLine;  // typed to the shell
  std::string StatusText;   // the next line for the terminal pane
  bool CommandEchoed = false;
  // Set by the owner before Resume and left alone while the thread runs.
  vorn::Port* Port = nullptr;              // open and configured by the owner, not owned
  vorn::TerminalPane* Terminal = nullptr;  // not owned
  std::string SourcePath;                  // host file
  std::string TargetPath;                  // controller file: drive, directory and name
  // Shared with the polling owner while the thread runs.
  std::atomic<bool> CancelRequested{false};
  std::atomic<int> Outcome{1};  // 1 running, 0 success, -1 failure
  std::atomic<int> Percent{0};  // 0..100
  // The receiver acknowledged the end of file. Without it the upload still
  // counts as done, but the controller may not have stored the file.
  std::atomic<bool> EotAcknowledged{false};
  // Why the upload failed, in words for the user; written before Outcome.
  std::string FailureReason;

 protected:
  void Execute() override;

 private:
  enum class BlockResult { Acknowledged, Failed, Cancelled, ReceiverCancelled };

  bool Upload();
  bool Fail(const std::string& reason);  // FailureReason = reason; false
  bool Status(const std::string& text);  // StatusText = text, then ShowStatus on the GUI thread
  BlockResult SendBlock(const xmodem::Block& block);
  void SendCancel();

  // The GUI-thread steps.
  void ShowStatus();
  void SendCommandLine();
  void AwaitPromptLine();

  std::FILE* file_ = nullptr;
  bool commandUncertain_ = false;  // the carriage return's echo came back damaged
};

}  // namespace vorn
