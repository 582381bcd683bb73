#include "image/kaprin_threads.h"

#include <algorithm>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <algorithm>
#include <exception>
#include <filesystem>

#include "image/crc16.h"
#include "link/prompt_reader.h"
#include "platform/host.h"
#include "platform/owner_files.h"

namespace vorn {

namespace {
constexpr uint32_t kLineTimeoutMs = 100;
constexpr size_t kRestoreBlockData = 64;
constexpr size_t kAnswerSize = 5;
constexpr int kLateByteReads = 5;
// The end of a restore is read as the standard exchange reads a command's
// output: lines until a read times out, then the prompt within a budget.
constexpr uint32_t kFinalLineTimeoutMs = 1000;
constexpr uint32_t kPromptBudgetMs = 5000;
constexpr size_t kFinalLineLimit = 1024;
constexpr size_t kFinalLinesKept = 3;
constexpr int kFinalLinesRead = 200;

// Host paths are UTF-8, as the panes and dialogs hold them.
std::filesystem::path HostPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string UnexpectedErrorText(const std::string& what) {
  return "The image transfer stopped on an unexpected error" + (what.empty() ? std::string(".") : ": " + what);
}

int BitsApart(const uint8_t* a, const uint8_t* b, size_t n) {
  int bits = 0;
  for (size_t i = 0; i < n; ++i)
    for (uint8_t d = a[i] ^ b[i]; d; d &= static_cast<uint8_t>(d - 1)) ++bits;
  return bits;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

void MakeAnswer(uint8_t (&answer)[kAnswerSize], const char* digits) {
  std::memcpy(answer, digits, 3);
  AppendCrc16(answer, 3);
}
}  // namespace

std::string InvalidResponseText() { return "Error occurs on Vorn-7730 or \ninvalid response from Vorn-7730!"; }
std::string ReadImageFailText() { return "Read data from image fail!"; }
std::string ImageCableText() { return "Please check your cable RS232 and reboot \nyour system, then try again."; }
std::string ImageStallText() {
  return "There are some problems with serial communication of your computer.\nPlease reboot your computer and try "
         "again.";
}
std::string ImageDoneText(bool backup) {
  return backup ? "Read image Successfully!\nPlease reboot Vorn-7730." : "Write image Successfully!\nPlease reboot Vorn-7730.";
}

std::string ImageStoppedText(bool backup) {
  return backup ? "The backup was stopped by the user.\nNo image file was written or changed."
                : "The restore was stopped by the user.\nThe controller's drive D: may be incomplete: restore a whole "
                  "image before using it.";
}
std::string WaitingForProgramText() { return "Waiting for the controller's program to stop..."; }

std::string ProgramEndNote(const KaprinThreadBase& thread) {
  if (thread.AfterStop != KaprinThreadBase::ProgramEnd::PromptMissing) return "";
  return "The controller's prompt did not come back after the transfer stopped: its program may still be "
         "running.\nRestart the VORN-7730 before anything else is sent to it.";
}

std::string ImageStallEndText(const KaprinThreadBase& thread) {
  const std::string note = ProgramEndNote(thread);
  return note.empty() ? ImageStallText() : ImageStallText() + "\n\n" + note;
}

RestoreRequest ClassifyRestoreRequest(const uint8_t (&request)[5]) {
  uint8_t next[5] = {'1', '1', '1'}, damaged[5] = {'4', '4', '4'};
  AppendCrc16(next, 3);
  AppendCrc16(damaged, 3);
  if (HasValidCrc16(request, 3)) {
    if (std::memcmp(request, next, 3) == 0) return RestoreRequest::Next;
    if (std::memcmp(request, damaged, 3) == 0) return RestoreRequest::Damaged;
    return RestoreRequest::Invalid;
  }
  for (int i = 0; i < 3; ++i)
    if (BitsApart(&request[i], next, 1) > 1 && BitsApart(&request[i], damaged, 1) > 1) return RestoreRequest::Invalid;
  // Counting a whole block as damaged when in doubt costs a restore; the
  // other way round would report a damaged drive as restored.
  return BitsApart(request, next, 5) < BitsApart(request, damaged, 5) ? RestoreRequest::NoiseNext
                                                                      : RestoreRequest::NoiseDamaged;
}

bool RestoreRefusalLine(const std::string& line) {
  const std::string text = Lower(line);
  if (text.find("left unchanged") != std::string::npos) return true;
  const std::string name = "kaprinwr";
  if (text.rfind(name, 0) != 0) return false;
  size_t at = name.size();
  if (text.compare(at, 4, ".exe") == 0) at += 4;
  while (at < text.size() && (text[at] == ' ' || text[at] == ':' || text[at] == '-')) ++at;
  return text.compare(at, 5, "error") == 0;
}

std::string ImageStopRestoreQuestion() {
  return "The controller's drive D: may be left incomplete. Stop the restore?";
}

std::string ImageFileProblem(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(HostPath(path), ec);
  if (status.type() == std::filesystem::file_type::not_found)
    return "The image file '" + path + "' does not exist.";
  if (const std::string kind = platform::NonRegularKind(path); !kind.empty())
    return "'" + path + "' is not an image file but a " + kind + ".";
  errno = 0;
  std::FILE* f = platform::OpenFileForReading(path);
  if (!f) {
    const int err = errno;
    return "The image file '" + path + "' cannot be read" + (err ? ": " + std::string(std::strerror(err)) : "") + ".";
  }
  const int64_t length = platform::OpenFileLength(f);
  std::fclose(f);
  if (length == kImageSize) return "";
  if (length < 0) return "'" + path + "' is not an image file: its length cannot be found.";
  return "The file '" + path + "' is too " + (length < kImageSize ? "short" : "long") +
         " to be a drive image:\nit holds " + std::to_string(length) + " bytes, a drive image needs " +
         std::to_string(kImageSize) + " bytes.";
}

std::string BackupTargetProblem(const std::string& path) {
  if (const std::string kind = platform::NonRegularKind(path); !kind.empty())
    return "Cannot write the backup to '" + path + "': it is a " + kind + ", not a regular file.";
  std::string folder = platform::FolderOf(path);
  std::error_code ec;
  const auto status = std::filesystem::status(HostPath(folder.empty() ? "." : folder), ec);
  if (status.type() == std::filesystem::file_type::not_found)
    return "Cannot write the backup to '" + path + "': the folder '" + folder + "' does not exist.";
  if (status.type() != std::filesystem::file_type::directory)
    return "Cannot write the backup to '" + path + "': '" + folder + "' is not a folder.";
  // Trying is the one sure test of a folder's rights and of the name: a new
  // file beside the target, and the target itself when it is not there yet.
  // Both are this check's own and go again at once.
  std::string reason, probe;
  std::FILE* file = platform::CreateUniqueOwnerOnlyFile(folder, "~vorn", ".tmp", probe, &reason);
  if (file) {
    std::fclose(file);
    platform::RemoveOwnFile(probe);
    const auto target = std::filesystem::symlink_status(HostPath(path), ec);
    if (!ec && target.type() != std::filesystem::file_type::not_found) return "";
    file = platform::CreateOwnerOnlyFile(path, &reason);
    if (file) {
      std::fclose(file);
      platform::RemoveOwnFile(path);
      return "";
    }
  }
  return "Cannot write the backup to '" + path + "': " + reason + ".";
}

std::string ToolProblem(const std::string& folder, const std::string& program) {
  std::string missing;
  platform::CompanionFile(folder, program, missing);
  return missing;
}

std::string ImageEndText(const KaprinThreadBase& thread, bool backup) {
  // A thread asked to end leaves ErrorText empty unless it failed first.
  std::string text = thread.Succeeded                                ? ImageDoneText(backup)
                     : thread.ErrorText.empty() && thread.Terminated() ? ImageStoppedText(backup)
                                                                       : thread.ErrorText;
  // The controller's last words, in every case, unless the failure text
  // holds them already.
  if (!thread.FinalWords.empty() && text.find(thread.FinalWords) == std::string::npos)
    text += "\n\n" + thread.FinalWords;
  if (const std::string note = ProgramEndNote(thread); !note.empty()) text += "\n\n" + note;
  return text;
}

// --- common ---

KaprinThreadBase::KaprinThreadBase(GuiInvoker& gui) : WorkerThread(gui) {}

KaprinThreadBase::~KaprinThreadBase() { Stop(); }

void KaprinThreadBase::Execute() {
  // The owner polls Done and shows ErrorText: both must be set whatever happened.
  const auto guarded = [this](const auto& step) -> bool {
    try {
      return step();
    } catch (const std::exception& e) {
      ErrorText = UnexpectedErrorText(e.what());
    } catch (...) {
      ErrorText = UnexpectedErrorText("");
    }
    return false;
  };
  bool ok = guarded([this] {
    std::unique_ptr<Port> port = Factory ? Factory(PortName) : nullptr;
    if (!port || !port->Open()) {
      ErrorText = OpenFailureText(PortName);
      return false;
    }
    ConfigureControllerLine(*port);
    port->SetTimeouts(kLineTimeoutMs);
    const bool transferred = Transfer(*port);
    // A program that did not come to its own end keeps the line until its
    // time-out: whatever is typed before its prompt is back goes to it.
    if (programStarted_ && !programEnded_ && port->LostReason().empty()) AwaitProgramEnd(*port);
    port->Close();
    return transferred;
  });
  ok = guarded([this, ok] { return Finish(ok); });
  if (!ok && ErrorText.empty() && !Terminated()) ErrorText = UnexpectedErrorText("");
  Succeeded = ok;
  Done = true;  // the last act: the owner may read everything from now on
}

bool KaprinThreadBase::SendCommandLine(Port& port) {
  switch (TypeCommandLineChecked(port, CommandLine)) {
    case TypeOutcome::Typed:
      programStarted_ = true;
      return true;
    case TypeOutcome::Entered:
      // The program most likely runs: its first message says so. If the
      // shell still holds the line instead, nothing comes, and the watcher
      // gives up on it as on any stall.
      programStarted_ = true;
      return true;
    case TypeOutcome::Jammed:
      if (!LineLost(port)) ErrorText = JammedLineText(CommandLine.substr(0, CommandLine.size() - 1));
      return false;
    case TypeOutcome::NotTyped:
      break;
  }
  if (!LineLost(port)) ErrorText = SendFailureText(CommandLine);
  return false;
}

void KaprinThreadBase::AwaitProgramEnd(Port& port) {
  WaitingForProgramEnd = true;
  AfterStop = ReadFinalWords(port, kProgramEndWaitMs) ? ProgramEnd::PromptBack : ProgramEnd::PromptMissing;
  programEnded_ = AfterStop == ProgramEnd::PromptBack;
  WaitingForProgramEnd = false;
}

bool KaprinThreadBase::ReadFinalWords(Port& port, uint32_t budgetMs, const std::string& start) {
  port.LineEnd = '\n';
  port.SetTimeouts(kFinalLineTimeoutMs);
  std::vector<std::string> kept;
  auto keep = [&] {
    FinalWords.clear();
    for (const std::string& line : kept) FinalWords += (FinalWords.empty() ? "" : "\n") + line;
  };
  // A stopped thread still reads here (the controller's program must be
  // heard out), but only for the budget.
  uint32_t quietMs = 0;
  std::string text;
  std::string pending = start;
  for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
    std::string line;
    for (char c : pending.substr(0, end))
      if (c != '\r') line += c;
    if (!line.empty()) kept.push_back(line);
  }
  for (int lines = 0; lines < kFinalLinesRead && quietMs < budgetMs; ++lines) {
    const bool whole = ReadShellLine(port, kFinalLineLimit, text, IsPrompt);
    text = pending + text;
    pending.clear();
    if (IsPrompt(text)) {
      keep();
      return true;
    }
    std::string line;
    bool printable = true;
    for (char c : text) {
      if (c != '\r' && c != '\n') line += c;
      const unsigned char u = static_cast<unsigned char>(c);
      printable = printable && ((u >= 0x20 && u < 0x7F) || u == '\t' || u == '\r' || u == '\n');
    }
    // A stopped backup program's last blocks are no words.
    if (!line.empty() && printable) {
      if (!Terminated()) ShowLine(line);
      kept.push_back(line);
      if (kept.size() > kFinalLinesKept) kept.erase(kept.begin());
    }
    if (!whole) {
      if (!port.LostReason().empty()) break;
      quietMs += kFinalLineTimeoutMs;
    }
  }
  keep();
  return false;
}

bool KaprinThreadBase::LineLost(Port& port) {
  const std::string reason = port.LostReason();
  if (reason.empty()) return false;
  ErrorText = "The serial line was lost (" + PortName + "): " + reason;
  return true;
}

void KaprinThreadBase::ShowLine(const std::string& text) {
  Synchronize([this, &text] {
    if (Terminal) ShowPaneLine(*Terminal, text);
  });
}

bool KaprinThreadBase::AwaitBytes(Port& port, uint8_t* buffer, size_t count) {
  // No limit of its own: the owner's watchdog decides when the controller has
  // gone quiet for too long, and then asks this thread to end. A lost line
  // fails every read at once, so it ends the wait here instead.
  while (!Terminated()) {
    if (port.ReadExact(buffer, count)) return true;
    if (LineLost(port)) return false;
  }
  return false;
}

bool KaprinThreadBase::AwaitFirstMessage(Port& port, uint8_t* message, size_t count) {
  if (!AwaitBytes(port, message, count)) return false;
  // A shell that ends the echoed carriage return with a line feed puts it
  // before the program's first message. Taken as part of it, the message's
  // last byte would be left over (or purged, if it came late) and every later
  // message read one byte out of step.
  if (message[0] != '\n' || HasValidCrc16(message, count - 2)) return true;
  std::vector<uint8_t> shifted(message + 1, message + count);
  shifted.push_back(0);
  for (int tries = 0; tries < kLateByteReads; ++tries) {
    if (port.ReadExact(&shifted.back(), 1)) {
      if (HasValidCrc16(shifted.data(), count - 2)) std::memcpy(message, shifted.data(), count);
      return true;
    }
    if (Terminated() || LineLost(port)) return false;
  }
  return true;  // as it came: a damaged message
}

// --- backup ---

VornKaprinThread::VornKaprinThread(GuiInvoker& gui) : KaprinThreadBase(gui) {
  BlockSize = static_cast<int32_t>(kBlockData);
  BlockCount = static_cast<int32_t>(kImageSize / kBlockData);
  CommandLine = "D:\\KAPRINRD 2 3 4 5\r";
}

VornKaprinThread::~VornKaprinThread() {
  Stop();
  if (temp_) std::fclose(temp_);
}

void VornKaprinThread::Drain(Port& port) {
  uint8_t byte = 0;
  while (drained_ < kDrainLimit && !Terminated() && port.ReadExact(&byte, 1)) ++drained_;
}

bool VornKaprinThread::Transfer(Port& port) {
  if (!CreateTempFile()) return false;
  Drain(port);
  if (!Synchronize([this] {
        if (Terminal) ShowPaneLine(*Terminal, CommandLine);
      }))
    return false;
  if (!SendCommandLine(port)) {
    if (!programStarted_) Drain(port);
    return false;
  }

  chunk_.clear();
  chunk_.reserve(kChunkSize);
  // A noisy line damages blocks now and then all through a long backup:
  // only the same block failing again and again, or too many blocks
  // failing, says the line is not good enough.
  int failuresInRow = 0;
  int32_t accepted = 0;
  uint8_t block[kBlockBytes];
  while (accepted < BlockCount) {
    const bool first = accepted == 0 && failuresInRow == 0 && repeatedBlocks_ == 0;
    if (!(first ? AwaitFirstMessage(port, block, sizeof block) : AwaitBytes(port, block, sizeof block))) break;
    // No purge of its own: the answer's Write discards unread input first.
    uint8_t answer[kAnswerSize];
    if (HasValidCrc16(block, kBlockData)) {
      failuresInRow = 0;
      chunk_.insert(chunk_.end(), block, block + kBlockData);
      if (chunk_.size() == kChunkSize) {
        if (!WriteChunk()) {
          ErrorText = "Write image to file error!\n";
          break;
        }
        chunk_.clear();
      }
      ++accepted;
      MakeAnswer(answer, "111");
    } else {
      if (failuresInRow++ == 0) ++repeatedBlocks_;
      if (failuresInRow >= kFailuresInRow) {
        ErrorText = "Check sum error!\n\nBlock " + std::to_string(accepted) + " arrived damaged " +
                    std::to_string(failuresInRow) + " times in a row.";
        break;
      }
      if (static_cast<int64_t>(repeatedBlocks_) * 100 > static_cast<int64_t>(BlockCount) * kRepeatedPercent) {
        ErrorText = "Check sum error!\n\n" + std::to_string(repeatedBlocks_) + " of " + std::to_string(BlockCount) +
                    " blocks arrived damaged, more than " + std::to_string(kRepeatedPercent) +
                    " %: the line is too noisy for a backup.";
        break;
      }
      if (!Sleep(RepeatPauseMs)) break;
      MakeAnswer(answer, "666");
    }
    port.Write(answer, sizeof answer);
    Progress = accepted - 1;
    if (accepted == BlockCount) {
      // The program ends by itself after the last block.
      programEnded_ = true;
      Drain(port);
    }
  }
  return accepted == BlockCount;
}

bool VornKaprinThread::CreateTempFile() {
  std::string reason;
  temp_ = platform::CreateUniqueOwnerOnlyFile(platform::FolderOf(ImagePath), "~vorn", ".img.tmp", tempPath_, &reason);
  if (temp_) return true;
  ErrorText = "Write image to file error!\n\n" + reason;
  return false;
}

bool VornKaprinThread::WriteChunk() {
  if (!temp_) return false;
  const bool written = std::fwrite(chunk_.data(), 1, chunk_.size(), temp_) == chunk_.size() && std::fflush(temp_) == 0;
  ++chunkWrites_;
  return written;
}

bool VornKaprinThread::Finish(bool ok) {
  if (temp_) {
    const int64_t length = platform::OpenFileLength(temp_);
    if (std::fclose(temp_) != 0) ok = false;
    temp_ = nullptr;
    if (ok && length != kImageSize) {
      ErrorText = "Write image to file error!\n\nThe image file came out " + std::to_string(length) +
                  " bytes long instead of " + std::to_string(kImageSize) + ".";
      ok = false;
    }
  }
  if (tempPath_.empty()) return false;
  if (!ok) {
    // Only the file this run made goes; nothing of anybody else's.
    platform::RemoveOwnFile(tempPath_);
    return false;
  }
  // The whole drive arrived: whatever stops it replacing the target, keep it
  // rather than throw away a backup that took minutes, and say where it lies.
  std::string reason;
  if (const std::string kind = platform::NonRegularKind(ImagePath); !kind.empty())
    reason = "'" + ImagePath + "' is a " + kind + ", not a regular file";
  else if (platform::MoveIntoPlace(tempPath_, ImagePath, &reason))
    return true;
  ErrorText = "Write image to file error!\n\n" + reason + ".\nThe image read from the controller is kept as '" +
              tempPath_ + "'.";
  return false;
}

// --- restore ---

VornKaprinResThread::VornKaprinResThread(GuiInvoker& gui) : KaprinThreadBase(gui) {
  BlockSize = static_cast<int32_t>(kRestoreBlockData);
  BlockCount = static_cast<int32_t>(kImageSize / kRestoreBlockData);
  CommandLine = "D:\\kaprinwr 2 3 4\r";
}

VornKaprinResThread::~VornKaprinResThread() {
  Stop();
  if (file_) std::fclose(file_);
}

bool VornKaprinResThread::Transfer(Port& port) {
  if (!SendCommandLine(port)) return false;
  damagedBlocks_ = 0;

  uint8_t request[kAnswerSize];
  uint8_t block[kRestoreBlockData + 2];
  for (int32_t i = 0; i < BlockCount; ++i) {
    if (!(i == 0 ? AwaitFirstMessage(port, request, sizeof request) : AwaitBytes(port, request, sizeof request)))
      return false;
    // No purge of its own: the block's Write discards unread input first.
    // A request damaged on the way is still answered when it is noise on
    // one; anything else is the shell's text after the program ended, and
    // blocks sent in answer would be typed as command lines.
    const RestoreRequest kind = ClassifyRestoreRequest(request);
    if (kind == RestoreRequest::Invalid) {
      ErrorText = InvalidResponseText();
      // What was read as a request may be the start of the program's last
      // words: text, not beginning with a digit as a request does.
      const bool text = request[0] < '0' || request[0] > '9';
      const bool printable = std::all_of(request, request + sizeof request, [](uint8_t c) {
        return c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7F);
      });
      programEnded_ = ReadFinalWords(
          port, kPromptBudgetMs,
          text && printable ? std::string(reinterpret_cast<const char*>(request), sizeof request) : std::string());
      if (!FinalWords.empty()) ErrorText += "\n\n" + FinalWords;
      return false;
    }
    // The block before this request reached the controller damaged, and the
    // program writes every block as it came.
    if (i > 0 && (kind == RestoreRequest::Damaged || kind == RestoreRequest::NoiseDamaged)) ++damagedBlocks_;
    if (!fileOpened_) {
      file_ = platform::OpenFileForReading(ImagePath);
      fileOpened_ = true;
    }
    if (!file_) {
      ErrorText = ReadImageFailText();
      return false;
    }
    const size_t got = std::fread(block, 1, kRestoreBlockData, file_);
    if (got < kRestoreBlockData && std::ferror(file_)) {
      ErrorText = ReadImageFailText();
      return false;
    }
    // A file that shrank under us: its missing bytes go out as zeros, and the
    // drive written from it is reported as not restored.
    if (got < kRestoreBlockData) std::memset(block + got, 0, kRestoreBlockData - got);
    AppendCrc16(block, kRestoreBlockData);
    if (!port.Write(block, sizeof block) && LineLost(port)) return false;
    Progress = i;
    if (got < kRestoreBlockData) {
      ErrorText = ReadImageFailText();
      return false;
    }
  }
  // The program's own verdict: it may still refuse what it received.
  programEnded_ = ReadFinalWords(port, kPromptBudgetMs);
  if (!programEnded_) {
    if (LineLost(port)) return false;
    ErrorText = "The VORN-7730's prompt did not come back after the last block:\nthe image may not have been written.";
    if (!FinalWords.empty()) ErrorText += "\n\n" + FinalWords;
    return false;
  }
  if (damagedBlocks_ > 0) {
    ErrorText = "The restore failed: " + std::to_string(damagedBlocks_) + (damagedBlocks_ == 1 ? " block" : " blocks") +
                " of the image arrived damaged at the VORN-7730 and " + (damagedBlocks_ == 1 ? "was" : "were") +
                " written as " + (damagedBlocks_ == 1 ? "it" : "they") +
                " came.\nThe drive D: must be restored again before it is used.";
    if (!FinalWords.empty()) ErrorText += "\n\n" + FinalWords;
    return false;
  }
  size_t from = 0;
  while (from <= FinalWords.size()) {
    const size_t end = std::min(FinalWords.find('\n', from), FinalWords.size());
    if (RestoreRefusalLine(FinalWords.substr(from, end - from))) {
      // An error that left the drive as it was is a refusal; any other may
      // have come after blocks were written.
      ErrorText = Lower(FinalWords).find("unchanged") != std::string::npos
                      ? "The VORN-7730 did not write the image:\n\n" + FinalWords
                      : "The VORN-7730 reported an error at the end of the restore:\n\n" + FinalWords +
                            "\n\nThe drive D: must be restored again before it is used.";
      return false;
    }
    from = end + 1;
  }
  return true;
}

bool VornKaprinResThread::Finish(bool ok) {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  return ok;
}

}  // namespace vorn
