#include "image/kaprin_threads.h"

#include <algorithm>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>

#include "image/crc16.h"
#include "platform/host.h"
#include "platform/owner_files.h"

namespace vorn {

namespace {
constexpr uint32_t kLineTimeoutMs = 100;
constexpr int kRepeatPauseMs = 500;
constexpr int kMaxChecksumFailures = 2;
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

// A request made of the two request digits: one damaged on the way is still
// taken as a request. Anything else is not the image program speaking.
bool RequestDigits(const uint8_t* request) {
  for (int i = 0; i < 3; ++i)
    if (request[i] != '1' && request[i] != '4') return false;
  return true;
}

bool Contains(std::string text, const char* word) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text.find(word) != std::string::npos;
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
  if (thread.Succeeded && !thread.FinalWords.empty()) text += "\n\n" + thread.FinalWords;
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
    port->Close();
    return transferred;
  });
  ok = guarded([this, ok] { return Finish(ok); });
  if (!ok && ErrorText.empty() && !Terminated()) ErrorText = UnexpectedErrorText("");
  Succeeded = ok;
  Done = true;  // the last act: the owner may read everything from now on
}

bool KaprinThreadBase::SendCommandLine(Port& port) {
  for (unsigned char c : CommandLine) {
    uint8_t echo = 0;
    if (!port.WriteByte(c) || !port.ReadExact(&echo, 1) || echo != c) {
      if (!LineLost(port)) ErrorText = SendFailureText(CommandLine);
      return false;
    }
  }
  return true;
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
    Drain(port);
    return false;
  }

  chunk_.clear();
  chunk_.reserve(kChunkSize);
  int failures = 0;
  int32_t accepted = 0;
  uint8_t block[kBlockBytes];
  while (accepted < BlockCount) {
    const bool first = accepted == 0 && failures == 0;
    if (!(first ? AwaitFirstMessage(port, block, sizeof block) : AwaitBytes(port, block, sizeof block))) break;
    // No purge of its own: the answer's Write discards unread input first.
    uint8_t answer[kAnswerSize];
    if (HasValidCrc16(block, kBlockData)) {
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
      if (++failures > kMaxChecksumFailures) {
        ErrorText = "Check sum error!\n";
        break;
      }
      if (!Sleep(kRepeatPauseMs)) break;
      MakeAnswer(answer, "666");
    }
    port.Write(answer, sizeof answer);
    Progress = accepted - 1;
    if (accepted == BlockCount) Drain(port);
  }
  if (accepted == BlockCount) return true;
  Drain(port);
  return false;
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

  uint8_t request[kAnswerSize];
  uint8_t block[kRestoreBlockData + 2];
  bool lastDamaged = false;
  for (int32_t i = 0; i < BlockCount; ++i) {
    if (!(i == 0 ? AwaitFirstMessage(port, request, sizeof request) : AwaitBytes(port, request, sizeof request)))
      return false;
    // No purge of its own: the block's Write discards unread input first.
    // A request damaged on the way is still answered, but only when it looks
    // like one and the one before was whole: after the program ended, the
    // shell's text reads as damaged requests, and the blocks sent in answer
    // would be typed as command lines.
    const bool damaged = !HasValidCrc16(request, 3);
    const bool known = std::memcmp(request, "111", 3) == 0 || std::memcmp(request, "444", 3) == 0;
    if (damaged ? (!RequestDigits(request) || lastDamaged) : !known) {
      ErrorText = InvalidResponseText();
      // What was read as a request may be the start of the program's last
      // words: text, not beginning with a digit as a request does.
      const bool text = request[0] < '0' || request[0] > '9';
      const bool printable = std::all_of(request, request + sizeof request, [](uint8_t c) {
        return c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7F);
      });
      ReadFinalWords(port, text && printable ? std::string(reinterpret_cast<const char*>(request), sizeof request)
                                             : std::string());
      if (!FinalWords.empty()) ErrorText += "\n\n" + FinalWords;
      return false;
    }
    lastDamaged = damaged;
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
  if (!ReadFinalWords(port)) {
    if (LineLost(port)) return false;
    ErrorText = "The VORN-7730's prompt did not come back after the last block:\nthe image may not have been written.";
    if (!FinalWords.empty()) ErrorText += "\n\n" + FinalWords;
    return false;
  }
  const size_t lastLine = FinalWords.rfind('\n');
  const std::string last = lastLine == std::string::npos ? FinalWords : FinalWords.substr(lastLine + 1);
  if (Contains(last, "error") || Contains(last, "fail")) {
    ErrorText = "The VORN-7730 did not write the image:\n\n" + FinalWords;
    return false;
  }
  return true;
}

bool VornKaprinResThread::ReadFinalWords(Port& port, const std::string& start) {
  port.LineEnd = '\n';
  port.SetTimeouts(kFinalLineTimeoutMs);
  std::vector<std::string> kept;
  auto keep = [&] {
    FinalWords.clear();
    for (const std::string& line : kept) FinalWords += (FinalWords.empty() ? "" : "\n") + line;
  };
  uint32_t quietMs = 0;
  std::string text;
  std::string pending = start;
  for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
    std::string line;
    for (char c : pending.substr(0, end))
      if (c != '\r') line += c;
    if (!line.empty()) kept.push_back(line);
  }
  for (int lines = 0; lines < kFinalLinesRead && quietMs < kPromptBudgetMs && !Terminated(); ++lines) {
    const bool whole = port.ReadLine(kFinalLineLimit, text);
    text = pending + text;
    pending.clear();
    if (IsPrompt(text)) {
      keep();
      return true;
    }
    std::string line;
    for (char c : text)
      if (c != '\r' && c != '\n') line += c;
    if (!line.empty()) {
      ShowLine(line);
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

bool VornKaprinResThread::Finish(bool ok) {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  return ok;
}

}  // namespace vorn
