// A simulated VORN-7730 controller: its DOS-like shell served on a Linux pseudo-terminal.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vsim {

enum class TransferMode {
  Normal,
  NakEveryBlock,       // answer every block with NAK
  Silent,              // the receiver sends nothing at all after the command's echo
  CanAfterFirstBlock,  // answer the first block with CAN
  EotUnanswered,       // never answer the end of file, and store nothing
};

// Misbehaviour of the image programs, for tests. Block numbers count from 0.
struct ImageOptions {
  std::vector<uint32_t> badCrcBlocks;  // backup: spoil these blocks' CRC once; restore: these requests'
  int silentAfter = -1;                // fall silent after this block
  int invalidRequestAt = -1;           // restore: ask for this block with "123"
  // Both programs end after this many bytes of the drive, leaving it as it
  // was (0: the whole drive). Lets a timing run take a part of a transfer.
  uint32_t stopAfterBytes = 0;
};

struct Options {
  std::string driveFile;            // load this 1 MiB image at start if it exists; save after every change
  bool echo = true;                 // false: echo nothing
  bool wrongEcho = false;           // echo a different byte for every character
  std::string staleOutput;          // sent once right after Start(), before any command
  bool longLineWithoutEnd = false;  // answer every command with 1500 bytes without line end, then the prompt
  // Stop for this long after every fourth line a command prints, as a shell
  // that reads its disk in pieces or is held up by an interrupt; 0: never.
  uint32_t pauseOutputMs = 0;
  TransferMode transfer = TransferMode::Normal;
  // The I/O modules (read when the controller is created) and their tool CFGIO.
  std::string ioModules;       // type codes of slots 0 up, comma-separated; "" a mixed set
  bool fourSlots = false;      // a four-slot controller
  bool cfgioOnDriveD = false;  // the tool only on D: (C:\cfgio is a bad command)
  bool cfgioCutOff = false;    // "cfgio 1" stops before its trailer
  ImageOptions image;
  uint32_t baud = 0;                // pace the line like a UART at this speed (8N1); 0: unpaced. Read at Start()
  uint32_t adapterLatencyMs = 0;    // hold output like a USB-serial adapter with this latency timer; 0: none. Read at Start()
  bool asRealController = false;    // never name itself as the virtual controller; run stand-ins as they are
  double noiseRate = 0;             // flip each bit in both directions with this probability. Read at Start()
  uint64_t noiseSeed = 1;           // where the flips come from: the same seed, the same flips
};

class Console;
class Drive;
class Shell;
class ProgramTable;

class VirtualController {
 public:
  explicit VirtualController(Options o = {});
  ~VirtualController();  // stops and joins
  VirtualController(const VirtualController&) = delete;
  VirtualController& operator=(const VirtualController&) = delete;

  // Creates the pseudo-terminal, loads the drive file and starts serving on a thread.
  bool Start(std::string* error = nullptr);
  void Stop();
  std::string PortPath() const;  // the slave side, e.g. /dev/pts/7

  Options GetOptions() const;
  void SetOptions(const Options& o);          // takes effect from the next byte handled
  void InjectOutput(const std::string& bytes);  // send bytes to the host now
  std::string Received() const;               // every byte the host sent since start / ClearReceived
  void ClearReceived();

  // Drive D: access for tests and demos. Paths: "D:\\CONF\\X.CFG" or "\\CONF\\X.CFG".
  bool ReadFile(const std::string& path, std::string* content) const;
  bool WriteFile(const std::string& path, const std::string& content);
  bool MakeDir(const std::string& path);
  bool Exists(const std::string& path) const;
  uint32_t BytesFree() const;
  std::vector<uint8_t> DriveImage() const;  // exactly 1,048,576 bytes
  bool LoadDriveImage(const std::vector<uint8_t>& image);
  std::string CurrentDir() const;  // e.g. "D:\\TEMP"; "C:\\" while drive C: is current

  // Programs that can be started from the shell; add to it before Start().
  ProgramTable& Programs();

 private:
  void Serve();
  void SaveIfChanged();

  mutable std::mutex optMu_;
  Options options_;

  std::unique_ptr<Drive> drive_;
  std::unique_ptr<ProgramTable> programs_;
  std::unique_ptr<Console> console_;
  std::unique_ptr<Shell> shell_;

  int master_ = -1;
  int slave_ = -1;  // held open for the simulator's lifetime, never read
  std::string slavePath_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  bool started_ = false;

  mutable std::mutex recvMu_;
  std::string received_;

  std::mutex saveMu_;
  uint64_t savedVersion_ = 0;
};

}  // namespace vsim
