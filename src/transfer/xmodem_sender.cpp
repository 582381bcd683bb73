#include "transfer/xmodem_sender.h"

#include "platform/host.h"

#include <algorithm>
#include <vector>

#include "link/exchange.h"
#include "link/prompt_reader.h"

namespace vorn {

namespace {
constexpr size_t kLineLimit = 1024;
constexpr size_t kDrainLimit = 1025;
constexpr size_t kChunk = 4096;
constexpr int kNakWaitReads = 100;
constexpr int kUncertainNakReads = 3;
constexpr int kNakReadsAfterCancel = 3;  // reads of 500 ms: longer than the receiver's NAK period
constexpr int kBlockTries = 10;
constexpr int kEotTries = 10;
constexpr uint32_t kPromptBudgetMs = 5000;

// A byte one bit away from what it should be: line noise, not another word.
bool OneBitFrom(uint8_t byte, uint8_t expected) {
  const uint8_t d = byte ^ expected;
  return d != 0 && (d & (d - 1)) == 0;
}

bool HasPrompt(const std::string& line) {
  return line.find("C:\\") != std::string::npos || line.find("D:\\") != std::string::npos;
}

// -1 when the file cannot be opened for reading.
int64_t FileLength(const std::string& path) {
  std::FILE* f = platform::OpenFileForReading(path);
  if (!f) return -1;
  const int64_t length = platform::OpenFileLength(f);
  std::fclose(f);
  // A handle that cannot seek (a device, say) still opened: its length is unknown, not absent.
  return length < 0 ? 0 : length;
}
}  // namespace

namespace xmodem {
Block BuildBlock(uint8_t number, const uint8_t* data, size_t length) {
  Block block{};
  block[0] = SOH;
  block[1] = number;
  block[2] = static_cast<uint8_t>(255 - number);
  length = std::min(length, kBlockData);
  std::copy(data, data + length, block.begin() + 3);
  uint8_t sum = 0;
  for (size_t i = 0; i < kBlockData; ++i) sum = static_cast<uint8_t>(sum + block[3 + i]);
  block[kBlockSize - 1] = sum;
  return block;
}
}  // namespace xmodem

std::string TransferCommandLine(const std::string& targetPath) {
  return "C:\\transfer /R " + targetPath + "\r";
}

TThreadXModem::TThreadXModem(GuiInvoker& gui) : WorkerThread(gui) {}

TThreadXModem::~TThreadXModem() {
  // The body reads this object's fields, so it must be over before they go.
  Stop();
  if (file_) std::fclose(file_);
}

void TThreadXModem::Execute() {
  // The pauses between blocks are part of the protocol; longer ones only cost time.
  const platform::FineTimerScope fineTimer;
  bool ok = false;
  try {
    ok = Upload();
  } catch (...) {
    // The owner polls Outcome; it must not stay at 1.
  }
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  Outcome = ok ? 0 : -1;  // the last act: the owner may destroy the object from now on
}

bool TThreadXModem::Fail(const std::string& reason) {
  FailureReason = reason;
  return false;
}

bool TThreadXModem::Status(const std::string& text) {
  StatusText = text;
  return Synchronize([this] { ShowStatus(); });
}

void TThreadXModem::ShowStatus() {
  if (!StatusText.empty()) ShowPaneLine(*Terminal, StatusText);
}

void TThreadXModem::SendCommandLine() {
  CommandLine = TransferCommandLine(TargetPath);
  CommandEchoed = false;
  if (std::string refusal = CommandLineRefusal(CommandLine); !refusal.empty()) {
    // One pane line: the reason after the refused command.
    for (size_t at; (at = refusal.find("\n\n")) != std::string::npos;) refusal.replace(at, 2, " ");
    StatusText = refusal;
    ShowStatus();
    FailureReason = refusal;
    return;
  }
  StatusText = CommandLine;
  ShowStatus();
  const TypeOutcome typed = TypeCommandLineChecked(*Port, CommandLine);
  // A damaged echo of the carriage return: the receiver most likely runs,
  // and its first NAK will tell.
  commandUncertain_ = typed == TypeOutcome::Entered;
  CommandEchoed = typed == TypeOutcome::Typed || commandUncertain_;
}

void TThreadXModem::AwaitPromptLine() {
  // A port without a read time-out would never use up the budget.
  const uint32_t step = Port->Timeout() ? Port->Timeout() : 500;
  uint32_t total = 0;
  std::string line;
  while (total < kPromptBudgetMs) {
    ReadShellLine(*Port, kLineLimit, line, HasPrompt);
    if (HasPrompt(line)) return;
    StatusText = line;
    ShowStatus();
    total += step;
  }
}

bool TThreadXModem::Upload() {
  if (!Port || !Terminal) return false;

  const int64_t length = FileLength(SourcePath);
  if (length < 0) {
    Status("<<Cannot Open Send File>>");
    return Fail("the file cannot be opened on this computer.");
  }

  DrainShellOutput(*Port, kDrainLimit);
  uint8_t byte = 0;

  if (!Synchronize([this] { SendCommandLine(); })) return false;
  if (!CommandEchoed)
    return Fail(FailureReason.empty() ? "VORN-7730 did not echo the command that starts its receiver: the line was "
                                        "lost, or a program holds the shell."
                                      : FailureReason);

  bool nak = false;
  int readsAfterCancel = 0;
  // After a damaged echo of the carriage return, a receiver that runs
  // answers at once; without one the shell still holds the line.
  const int nakReads = commandUncertain_ ? kUncertainNakReads : kNakWaitReads;
  for (int i = 0; i < nakReads && !nak; ++i) {
    if (Port->ReadExact(&byte, 1) && byte == xmodem::NAK) {
      nak = true;
      break;
    }
    // A cancel still waits a little for the receiver's first NAK (it sends
    // one a second): a receiver that started is then told to stop, rather
    // than left holding the line for its time-outs.
    if (CancelRequested && ++readsAfterCancel > kNakReadsAfterCancel) break;
    if (!Sleep(10)) return false;
  }
  if (CancelRequested) {
    Status("<<Transferring cancelled...>>");
    if (nak) SendCancel();
    return false;
  }
  // Without a NAK nothing shows that the receiver runs: cancel bytes could
  // land in the shell's line instead.
  if (!nak) {
    if (commandUncertain_) EraseCommandLine(*Port, CommandLine.size());
    Status("<<No ACK from VORN-7730M>>");
    return Fail("the receiver on VORN-7730 did not answer its command.");
  }
  // From here on the receiver runs: every early end cancels it, or it would
  // hold the shell for its own time-outs.

  file_ = platform::OpenFileForReading(SourcePath);
  if (!file_) {
    Status("<<Cannot Open Send File>>");
    SendCancel();
    return Fail("the file cannot be opened on this computer.");
  }
  Status("<<Transferring File...>>");

  uint8_t number = 1;
  uint64_t acknowledged = 0;
  std::vector<uint8_t> chunk(kChunk);
  for (;;) {
    const size_t got = std::fread(chunk.data(), 1, kChunk, file_);
    if (std::ferror(file_)) {
      Status("<<Error Reading File>>");
      SendCancel();
      return Fail("reading the file on this computer failed after " + std::to_string(acknowledged) + " bytes.");
    }
    for (size_t offset = 0; offset < got; offset += xmodem::kBlockData) {
      const size_t size = std::min(xmodem::kBlockData, got - offset);
      const auto result = SendBlock(xmodem::BuildBlock(number, chunk.data() + offset, size));
      if (result == BlockResult::Failed) SendCancel();
      // The receiver says why it gave up before its prompt.
      if (result == BlockResult::ReceiverCancelled) Synchronize([this] { AwaitPromptLine(); });
      const std::string block = "block " + std::to_string(acknowledged / xmodem::kBlockData + 1) + " (from byte " +
                                std::to_string(acknowledged) + ")";
      if (result == BlockResult::Failed)
        return Fail("VORN-7730 did not acknowledge " + block + " after " + std::to_string(kBlockTries) +
                    " tries: the line to the controller was lost or is too noisy.");
      if (result == BlockResult::ReceiverCancelled)
        return Fail("the receiver on VORN-7730 cancelled the transfer at " + block + ".");
      if (result != BlockResult::Acknowledged) return false;
      acknowledged += size;
      // A file that grew since its length was taken must not push the bar past the end.
      const uint64_t percent = length > 0 ? acknowledged * 100 / static_cast<uint64_t>(length) : 100;
      Percent = static_cast<int>(std::min<uint64_t>(percent, 100));
      ++number;  // wraps from 255 to 0
    }
    if (got < kChunk) break;
  }
  // A file written to meanwhile would be stored at neither size: the receiver
  // is stopped before the end of file, so it stores nothing.
  if (acknowledged != static_cast<uint64_t>(length) || FileLength(SourcePath) != length) {
    Status(kFileChangedStatus);
    SendCancel();
    return false;
  }
  std::fclose(file_);
  file_ = nullptr;

  bool acked = false;
  for (int i = 0; i < kEotTries && !acked; ++i) {
    Port->WriteByte(xmodem::EOT);
    if (!Sleep(5)) break;  // terminating: one EOT at least ends the receiver's file
    acked = Port->ReadExact(&byte, 1) && byte == xmodem::ACK;
  }
  EotAcknowledged = acked;
  if (!Status(acked ? "<<Get ACK for EOT>>" : "<<No ACK for EOT>>")) return false;

  return Synchronize([this] { AwaitPromptLine(); });
}

TThreadXModem::BlockResult TThreadXModem::SendBlock(const xmodem::Block& block) {
  int tries = 0;
  for (;;) {
    // Ending the thread from outside counts as a cancel, so the receiver is not left waiting.
    if (CancelRequested || Terminated()) {
      SendCancel();
      return BlockResult::Cancelled;
    }
    ++tries;
    // Header, number, complement, data, checksum: every write discards unread
    // input, so only what comes after the checksum is the answer.
    Port->Write(&block[0], 1);
    Port->Write(&block[1], 1);
    Port->Write(&block[2], 1);
    Port->Write(&block[3], xmodem::kBlockData);
    Port->Write(&block[xmodem::kBlockSize - 1], 1);

    uint8_t answer = 0;
    bool got = Port->ReadExact(&answer, 1);
    while (!got && tries < kBlockTries) {
      ++tries;
      got = Port->ReadExact(&answer, 1);
    }
    // A receiver cancels with two CANs in a row; one alone may be noise. The
    // byte after a lone CAN is not the block's answer: read into answer, an
    // ACK there would pass a block the receiver never acknowledged.
    uint8_t second = 0;
    const bool cancelled = got && answer == xmodem::CAN && Port->ReadExact(&second, 1) && second == xmodem::CAN;
    Sleep(5);  // cut short by a termination: the next round sends the cancel
    if (cancelled) return BlockResult::ReceiverCancelled;  // it has ended already
    if (got && answer == xmodem::ACK) return BlockResult::Acknowledged;
    // A NAK, or an ACK or NAK damaged on the way: the block goes again. A
    // receiver that had taken it knows the repeat by its number and
    // acknowledges it without storing it twice.
    const bool again = answer == xmodem::NAK || OneBitFrom(answer, xmodem::NAK) || OneBitFrom(answer, xmodem::ACK);
    if (got && again && tries < kBlockTries) continue;
    return BlockResult::Failed;
  }
}

void TThreadXModem::SendCancel() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  static const uint8_t kCancel[5] = {xmodem::CAN, xmodem::CAN, xmodem::CAN, xmodem::CAN, xmodem::CAN};
  Port->Write(kCancel, sizeof kCancel);
  std::string line;
  while (!Terminated() && ReadShellLine(*Port, kLineLimit, line, HasPrompt))
    if (!Status(line)) return;
}

}  // namespace vorn
