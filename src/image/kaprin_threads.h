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
// waits: a transfer stops within about a second, and then waits up to
// kProgramEndWaitMs for the controller's program to end.
class KaprinThreadBase : public WorkerThread {
 public:
  explicit KaprinThreadBase(GuiInvoker& gui);
  ~KaprinThreadBase() override;

  // Set by the owner before Resume.
  std::string PortName;
  std::string ImagePath;
  PortFactory Factory = HostPortFactory();
  // Not owned; the backup shows its command line there, the restore what the
  // controller printed at its end.
  TerminalPane* Terminal = nullptr;

  // Fixed when the thread is made, so the owner may read them at once.
  std::string CommandLine;
  int32_t BlockSize = 0;
  int32_t BlockCount = 0;

  // Watched by the owner. ErrorText is complete once Done is set.
  std::atomic<int32_t> Progress{0};
  std::atomic<bool> Done{false};
  std::atomic<bool> Succeeded{false};
  std::string ErrorText;
  // The restore's last lines from the controller's program (up to three, one
  // a line), for the end box; empty when it printed none.
  std::string FinalWords;

  // After a stop (the owner's, or the thread's own on a failure) the
  // controller's program still runs until its own time-out; nothing else may
  // be typed before its prompt is back. Set while the thread waits for it.
  std::atomic<bool> WaitingForProgramEnd{false};
  enum class ProgramEnd { Unknown, PromptBack, PromptMissing };
  // How the wait ended: Unknown when no wait was needed.
  std::atomic<ProgramEnd> AfterStop{ProgramEnd::Unknown};

 protected:
  // Runs Transfer on a freshly opened port, then sets Succeeded and, last, Done.
  void Execute() override;
  virtual bool Transfer(Port& port) = 0;  // after open and configure
  // After the port was closed, with the outcome so far; returns the final one.
  virtual bool Finish(bool ok) { return ok; }

  // Types the command line with the echo check; sets ErrorText on failure.
  bool SendCommandLine(Port& port);
  // Reads exactly count bytes, trying again after every time-out; false when
  // the owner asked the thread to end or the line was lost (ErrorText set).
  bool AwaitBytes(Port& port, uint8_t* buffer, size_t count);
  // The program's first message (count bytes, the last two its CRC), realigned
  // when a line feed after the command's echo came before it.
  bool AwaitFirstMessage(Port& port, uint8_t* message, size_t count);
  // True, with ErrorText set, when the port reported a hang-up or I/O error.
  bool LineLost(Port& port);
  // Waits until the program's prompt is back or its time-out has passed;
  // its lines go to FinalWords.
  void AwaitProgramEnd(Port& port);
  // Reads what the controller prints up to its prompt into FinalWords and
  // the pane, for at most budgetMs of quiet; false when no prompt came.
  // start: bytes of the first line read already (taken for a request).
  bool ReadFinalWords(Port& port, uint32_t budgetMs, const std::string& start = {});

  // The command was typed: the controller's program runs...
  bool programStarted_ = false;
  // ...until it has ended by itself and its prompt came back.
  bool programEnded_ = false;
  // A line in the terminal pane, on the GUI thread.
  void ShowLine(const std::string& text);
};

class VornKaprinThread : public KaprinThreadBase {
 public:
  static constexpr size_t kBlockData = 8;
  static constexpr size_t kBlockBytes = kBlockData + 2;  // with the CRC
  static constexpr size_t kChunkSize = 32768;
  static constexpr size_t kDrainLimit = 1025;  // shared by every drain of one backup
  // Repeats of one block in a row before the backup gives up; and the share
  // of blocks (in percent) that may need a repeat before the line counts as
  // too noisy to go on.
  static constexpr int kFailuresInRow = 3;
  static constexpr int kRepeatedPercent = 1;
  // The pause before a repeat request, which the controller's program expects.
  int RepeatPauseMs = 500;

  explicit VornKaprinThread(GuiInvoker& gui);
  ~VornKaprinThread() override;

  // The chunks go to a new owner-only file of a fresh name beside the image
  // (the controller's files hold its passwords), which replaces the image only
  // when the whole drive arrived, so a failed backup leaves an earlier image
  // alone. A whole image that cannot replace the file stays there.
  // Empty until the thread made it.
  const std::string& TempPath() const { return tempPath_; }
  int ChunkWrites() const { return chunkWrites_; }
  // Blocks that arrived damaged at least once (and were asked for again).
  int RepeatedBlocks() const { return repeatedBlocks_; }

 protected:
  bool Transfer(Port& port) override;
  bool Finish(bool ok) override;

 private:
  void Drain(Port& port);
  bool CreateTempFile();
  bool WriteChunk();

  std::vector<uint8_t> chunk_;
  std::string tempPath_;
  std::FILE* temp_ = nullptr;
  size_t drained_ = 0;
  int chunkWrites_ = 0;
  int repeatedBlocks_ = 0;
};

class VornKaprinResThread : public KaprinThreadBase {
 public:
  explicit VornKaprinResThread(GuiInvoker& gui);
  ~VornKaprinResThread() override;

  // Blocks the controller reported as damaged on arrival (its "444"
  // requests, and damaged requests that look more like one than like "111").
  int DamagedBlocks() const { return damagedBlocks_; }

 protected:
  bool Transfer(Port& port) override;
  bool Finish(bool ok) override;

 private:
  std::FILE* file_ = nullptr;
  int damagedBlocks_ = 0;
  bool fileOpened_ = false;
};

// Why a file can't be written back as a drive image (missing, not a regular
// file, unreadable, not 1 MiB long), or empty when it can.
std::string ImageFileProblem(const std::string& path);
// Why a backup can't be written to path (it is not a regular file, its folder
// is missing or not writable, the name is refused), or empty when it can.
// Leaves nothing behind.
std::string BackupTargetProblem(const std::string& path);
// Why a controller-side program can't be uploaded from folder (empty: the
// current folder), or empty when it can.
std::string ToolProblem(const std::string& folder, const std::string& program);

// The texts of the image transfers and of those who watch them.
std::string InvalidResponseText();
std::string ReadImageFailText();
std::string ImageCableText();             // the program could not be uploaded
std::string ImageStallText();             // the controller stopped making progress
std::string ImageDoneText(bool backup);   // success
std::string ImageStoppedText(bool backup);  // the user asked the transfer to end
// The restore's question before it is stopped.
std::string ImageStopRestoreQuestion();
// What the end box and the command line say: the success or failure text and
// the controller's last words; for a thread asked to end without a failure of
// its own, that the user stopped it.
std::string ImageEndText(const KaprinThreadBase& thread, bool backup);

// How a request from the restore program reads: a whole "111" or "444"; a
// damaged one that is noise on one of them (each byte at most one bit from
// "1" or "4"; Damaged when it lies no nearer "111" than "444"); anything
// else is not the program speaking.
enum class RestoreRequest { Next, Damaged, NoiseNext, NoiseDamaged, Invalid };
RestoreRequest ClassifyRestoreRequest(const uint8_t (&request)[5]);
// Whether one of the restore program's last lines refuses the image: it
// begins with the program's name and "Error", or says the drive was left
// unchanged.
bool RestoreRefusalLine(const std::string& line);
// The watcher gave up on a transfer that made no progress: why, and what
// the wait for the program's end found.
std::string ImageStallEndText(const KaprinThreadBase& thread);
// What the owner adds after a stop: nothing when the prompt came back.
std::string ProgramEndNote(const KaprinThreadBase& thread);
// Shown while a stopped transfer waits for the controller's prompt.
std::string WaitingForProgramText();
// How long a stopped image program may take to notice that the host has
// gone quiet, end and print its prompt.
constexpr uint32_t kProgramEndWaitMs = 15000;

// Ticks of one second without progress before a watcher gives up.
constexpr uint32_t kBackupStallTicks = 10;
constexpr uint32_t kRestoreStallTicks = 15;

}  // namespace vorn
