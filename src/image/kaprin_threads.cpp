#include "image/kaprin_threads.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "image/crc16.h"
#include "platform/host.h"

namespace vorn {

namespace {
constexpr uint32_t kLineTimeoutMs = 100;
constexpr int kRepeatPauseMs = 500;
constexpr int kMaxChecksumFailures = 2;
constexpr size_t kRestoreBlockData = 64;
constexpr size_t kAnswerSize = 5;

// Host paths are UTF-8, as the panes and dialogs hold them.
std::filesystem::path HostPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
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

std::string ImageFileProblem(const std::string& path) {
  std::FILE* f = platform::OpenFileForReading(path);
  if (!f) return "";
  const int64_t length = platform::OpenFileLength(f);
  std::fclose(f);
  if (length < 0 || length >= kImageSize) return "";
  return "The file '" + path + "' is too short to be a drive image:\nit holds " + std::to_string(length) +
         " bytes, a drive image needs " + std::to_string(kImageSize) + " bytes.";
}

// --- common ---

KaprinThreadBase::KaprinThreadBase(GuiInvoker& gui) : WorkerThread(gui) {}

KaprinThreadBase::~KaprinThreadBase() { Stop(); }

void KaprinThreadBase::Execute() {
  bool ok = false;
  try {
    std::unique_ptr<Port> port = Factory ? Factory(PortName) : nullptr;
    if (!port || !port->Open()) {
      ErrorText = OpenFailureText(PortName);
    } else {
      ConfigureControllerLine(*port);
      port->SetTimeouts(kLineTimeoutMs);
      ok = Transfer(*port);
      port->Close();
    }
  } catch (...) {
    // The owner polls Done; it must be set whatever happened.
    ok = false;
  }
  ok = Finish(ok);
  Succeeded = ok;
  Done = true;  // the last act: the owner may read everything from now on
}

bool KaprinThreadBase::SendCommandLine(Port& port) {
  for (unsigned char c : CommandLine) {
    uint8_t echo = 0;
    if (!port.WriteByte(c) || !port.ReadExact(&echo, 1) || echo != c) {
      ErrorText = SendFailureText(CommandLine);
      return false;
    }
  }
  return true;
}

bool KaprinThreadBase::AwaitBytes(Port& port, uint8_t* buffer, size_t count) {
  // No limit of its own: the owner's watchdog decides when the controller has
  // gone quiet for too long, and then asks this thread to end.
  while (!Terminated()) {
    if (port.ReadExact(buffer, count)) return true;
  }
  return false;
}

// --- backup ---

VornKaprinThread::VornKaprinThread(GuiInvoker& gui) : KaprinThreadBase(gui) {
  BlockSize = static_cast<int32_t>(kBlockData);
  BlockCount = static_cast<int32_t>(kImageSize / kBlockData);
  CommandLine = "D:\\KAPRINRD 2 3 4 5\r";
}

VornKaprinThread::~VornKaprinThread() { Stop(); }

void VornKaprinThread::Drain(Port& port) {
  uint8_t byte = 0;
  while (drained_ < kDrainLimit && !Terminated() && port.ReadExact(&byte, 1)) ++drained_;
}

bool VornKaprinThread::Transfer(Port& port) {
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
    if (!AwaitBytes(port, block, sizeof block)) break;
    if (accepted == 0 && failures == 0) SkipEchoLineFeed(port, block);
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

bool VornKaprinThread::SkipEchoLineFeed(Port& port, uint8_t (&block)[kBlockBytes]) {
  // A shell that ends the echoed carriage return with a line feed shifts the
  // first block by one byte. Taken as damaged, it would cost the pause and
  // one of the few checksum failures a backup may have.
  if (block[0] != '\n' || HasValidCrc16(block, kBlockData)) return false;
  uint8_t shifted[kBlockBytes];
  std::memcpy(shifted, block + 1, kBlockBytes - 1);
  if (!port.ReadExact(shifted + kBlockBytes - 1, 1) || !HasValidCrc16(shifted, kBlockData))
    return false;
  std::memcpy(block, shifted, kBlockBytes);
  return true;
}

bool VornKaprinThread::WriteChunk() {
  std::ofstream out(HostPath(PartialPath()),
                    std::ios::binary | (chunkWrites_ == 0 ? std::ios::trunc : std::ios::app));
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(chunk_.data()), static_cast<std::streamsize>(chunk_.size()));
  out.close();
  ++chunkWrites_;
  return static_cast<bool>(out);
}

bool VornKaprinThread::Finish(bool ok) {
  std::error_code ec;
  if (ok) {
    std::filesystem::rename(HostPath(PartialPath()), HostPath(ImagePath), ec);
    if (!ec) return true;
    // The whole drive arrived: keep it where it is rather than throw away a
    // backup that took minutes, and say where it lies.
    ErrorText = "Write image to file error!\n\nThe image read from the controller is kept as '" + PartialPath() + "'.";
    return false;
  }
  std::filesystem::remove(HostPath(PartialPath()), ec);
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
  for (int32_t i = 0; i < BlockCount; ++i) {
    if (!AwaitBytes(port, request, sizeof request)) return false;
    // No purge of its own: the block's Write discards unread input first.
    // A damaged request is still a request: only an intact one can be wrong.
    if (HasValidCrc16(request, 3) && std::memcmp(request, "111", 3) != 0 && std::memcmp(request, "444", 3) != 0) {
      ErrorText = InvalidResponseText();
      return false;
    }
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
    port.Write(block, sizeof block);
    Progress = i;
    if (got < kRestoreBlockData) {
      ErrorText = ReadImageFailText();
      return false;
    }
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
