#pragma once
// The two image transfers with the controller's image programs: the backup
// (the controller streams its drive D: in 8-byte blocks, the host accepts or
// asks again) and the restore (the controller asks for 64-byte blocks, the
// host serves them). Each runs alone on a port of its own; the owner polls
// Progress, Done, Succeeded and ErrorText.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/port.h"
#include "link/ui.h"
#include "link/worker_thread.h"

namespace vorn {

constexpr uint32_t kImageSize = 1048576;  // the controller's whole drive D:

// Owner's order: create, set PortName and ImagePath (and Terminal for the
// backup), Resume(), poll. Destroying a running thread asks it to end and
// waits; every wait for the controller ends within about a second then.
class KaprinThreadBase : public WorkerThread {
 public:
  explicit KaprinThreadBase(GuiInvoker& gui);
  ~KaprinThreadBase() override;

  // Set by the owner before Resume.
  std::string PortName;
  std::string ImagePath;
  PortFactory Factory = HostPortFactory();

  // Fixed when the thread is made, so the owner may read them at once.
  std::string CommandLine;
  int32_t BlockSize = 0;
  int32_t BlockCount = 0;

  // Watched by the owner. ErrorText is complete once Done is set.
  std::atomic<int32_t> Progress{0};
  std::atomic<bool> Done{false};
  std::atomic<bool> Succeeded{false};
  std::string ErrorText;

 protected:
  // Runs Transfer on a freshly opened port, then sets Succeeded and, last, Done.
  void Execute() override;
  virtual bool Transfer(Port& port) = 0;  // after open and configure
  // After the port was closed, with the outcome so far; returns the final one.
  virtual bool Finish(bool ok) { return ok; }

  // Types the command line with the echo check; sets ErrorText on failure.
  bool SendCommandLine(Port& port);
  // Reads exactly count bytes, trying again after every time-out; false only
  // when the owner asked the thread to end.
  bool AwaitBytes(Port& port, uint8_t* buffer, size_t count);
};

class VornKaprinThread : public KaprinThreadBase {
 public:
  static constexpr size_t kBlockData = 8;
  static constexpr size_t kBlockBytes = kBlockData + 2;  // with the CRC
  static constexpr size_t kChunkSize = 32768;
  static constexpr size_t kDrainLimit = 1025;  // shared by every drain of one backup

  explicit VornKaprinThread(GuiInvoker& gui);
  ~VornKaprinThread() override;

  TerminalPane* Terminal = nullptr;  // not owned; the command line is shown there

  // The chunks go to a file beside the image and replace it only when the
  // whole drive arrived, so a failed backup leaves an earlier image alone.
  // A whole image that cannot replace the file stays there.
  std::string PartialPath() const { return ImagePath + ".partial"; }
  int ChunkWrites() const { return chunkWrites_; }

 protected:
  bool Transfer(Port& port) override;
  bool Finish(bool ok) override;

 private:
  void Drain(Port& port);
  // Realigns the first block when a line feed after the command's echo came
  // before it; true when it did.
  bool SkipEchoLineFeed(Port& port, uint8_t (&block)[kBlockBytes]);
  bool WriteChunk();

  std::vector<uint8_t> chunk_;
  size_t drained_ = 0;
  int chunkWrites_ = 0;
};

class VornKaprinResThread : public KaprinThreadBase {
 public:
  explicit VornKaprinResThread(GuiInvoker& gui);
  ~VornKaprinResThread() override;

 protected:
  bool Transfer(Port& port) override;
  bool Finish(bool ok) override;

 private:
  std::FILE* file_ = nullptr;
  bool fileOpened_ = false;
};

// Why a file can't be written back as a drive image, or empty when it can (or
// does not exist: that shows as a read failure once the restore runs).
std::string ImageFileProblem(const std::string& path);

// The texts of the image transfers and of those who watch them.
std::string InvalidResponseText();
std::string ReadImageFailText();
std::string ImageCableText();             // the program could not be uploaded
std::string ImageStallText();             // the controller stopped making progress
std::string ImageDoneText(bool backup);   // success

// Ticks of one second without progress before a watcher gives up.
constexpr uint32_t kBackupStallTicks = 10;
constexpr uint32_t kRestoreStallTicks = 15;

}  // namespace vorn
