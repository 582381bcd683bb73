// vorn7730-bench: how close the utility comes to what the serial line allows.
// Runs its own virtual controller (a child process, so that the CPU time
// measured here is the utility's side alone), once paced at 57600 baud and
// once unpaced, and prints one table: figure, measured, limit, ratio.
// Looked at by hand; not part of the test suite.
#include <fcntl.h>
#include <signal.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "link/exchange.h"
#include "link/serial_port.h"
#include "link/worker_thread.h"
#ifdef VORN_BENCH_IMAGE
#include "image/image_estimate.h"
#include "image/kaprin_threads.h"
#endif
#include "remote/remote_ops.h"
#include "sim/console.h"
#include "transfer/put_command.h"
#include "transfer/upload_loop.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kLineBaud = 57600;
constexpr double kBitsPerByte = 10;
constexpr size_t kUploadBytes = 100 * 1024;

// The sender's own waits, as its algorithm takes them on a controller that
// answers every block with ACK: 5 ms after each block's answer and after the
// EOT, one 10 ms pause for the line feed that precedes the first NAK, and two
// checks that the line stays quiet (about 21 ms each without an adapter the
// host knows of): the drain before the command and the one after the prompt,
// which has no line end.
constexpr double kBlockPauseS = 0.005;
constexpr double kEotPauseS = 0.005;
constexpr double kFirstNakPauseS = 0.010;
constexpr double kUploadTimeoutsS = 2 * 0.021;
// The single-file put: a file of this size, sent with the listing before it.
constexpr size_t kPutBytes = 30 * 1024;
// Wire bytes of the image protocols for the whole drive.
constexpr double kBackupWireBytes = 131072.0 * 15;
constexpr double kRestoreWireBytes = 16384.0 * 71;
constexpr uint32_t kDriveBytes = 1048576;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double WireSeconds(double bytes, uint32_t baud) { return baud ? bytes * kBitsPerByte / baud : 0.0; }

// A round trip behind an adapter with a free-running latency timer lasts
// whole timer periods: what the controller answers reaches the host at the
// next firing. The extra time one round of `roundS` costs.
double AdapterExtraS(double roundS, uint32_t latencyMs) {
  if (latencyMs == 0) return 0;
  const double period = latencyMs / 1000.0;
  return std::ceil(roundS / period - 1e-9) * period - roundS;
}

// ---------------------------------------------------------------------------
// The utility's side, with a port that counts what crosses the line.

class QuietPane : public vorn::TerminalPane {
 public:
  int LineCount() const override { return 0; }
  void Clear() override {}
  void AppendLine(const std::string&) override {}
};

using vorn::NoCursor;
using vorn::bench::ErrorsToStderr;

struct LineCount {
  uint64_t bytes = 0;  // written and read: the protocols take turns, so their wire times add up
  uint64_t turns = 0;  // reads that follow a write: each waits for the controller's answer
  bool wrote = false;
};

class CountingPort : public vorn::Port {
 public:
  CountingPort(std::unique_ptr<vorn::Port> inner, LineCount& count) : inner_(std::move(inner)), count_(count) {}
  bool Open() override { return inner_->Open(); }
  bool Close() override { return inner_->Close(); }
  bool Configure(uint32_t b, uint8_t s, uint8_t p, uint8_t st) override { return inner_->Configure(b, s, p, st); }
  bool SetTimeouts(uint32_t ms) override { return inner_->SetTimeouts(ms); }
  uint32_t Timeout() const override { return inner_->Timeout(); }
  bool Write(const uint8_t* bytes, size_t n) override {
    const bool ok = inner_->Write(bytes, n);
    if (ok) count_.bytes += n;
    count_.wrote = true;
    return ok;
  }
  using vorn::Port::Write;
  bool ReadExact(uint8_t* buffer, size_t n) override {
    Turn();
    const bool ok = inner_->ReadExact(buffer, n);
    if (ok) count_.bytes += n;
    return ok;
  }
  bool ReadLine(size_t maxLen, std::string& text) override {
    inner_->LineEnd = LineEnd;
    Turn();
    const bool ok = inner_->ReadLine(maxLen, text);
    count_.bytes += text.size();
    return ok;
  }
  bool PurgeInput() override { return inner_->PurgeInput(); }
  uint32_t ReceiveHoldMs() const override { return inner_->ReceiveHoldMs(); }

 private:
  void Turn() {
    if (count_.wrote) ++count_.turns;
    count_.wrote = false;
  }
  std::unique_ptr<vorn::Port> inner_;
  LineCount& count_;
};

vorn::PortFactory CountingFactory(LineCount& count) {
  return [&count](const std::string& name) -> std::unique_ptr<vorn::Port> {
    return std::make_unique<CountingPort>(std::make_unique<vorn::SerialPort>(name), count);
  };
}

// ---------------------------------------------------------------------------
// The virtual controller in a child process.

class SimProcess {
 public:
  SimProcess(const std::string& exe, uint32_t baud, uint32_t latencyMs, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args{exe};
    if (baud) args.insert(args.end(), {"--baud", std::to_string(baud)});
    if (latencyMs) args.insert(args.end(), {"--adapter-latency", std::to_string(latencyMs)});
    args.insert(args.end(), more.begin(), more.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      // The controller stands for hardware that the host's load does not
      // slow down: where allowed it runs ahead of every ordinary process, so
      // what the figures show is the utility's side.
      sched_param realtime{};
      realtime.sched_priority = 10;
      sched_setscheduler(0, SCHED_FIFO, &realtime);
      dup2(fds[1], 1);
      close(fds[0]);
      close(fds[1]);
      execv(exe.c_str(), argv.data());
      _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
      close(fds[0]);
      return;
    }
    FILE* out = fdopen(fds[0], "r");
    char line[256] = {};
    if (out && std::fgets(line, sizeof line, out)) {
      path_ = line;
      while (!path_.empty() && path_.back() == '\n') path_.pop_back();
    }
    if (out) std::fclose(out);
  }
  ~SimProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  const std::string& Path() const { return path_; }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

// ---------------------------------------------------------------------------
// The measurements. Each returns nullopt when the operation failed.

struct Measurement {
  double seconds = 0;
  double cpuShare = 0;  // CPU seconds per second of the run
  uint64_t lineBytes = 0;
  uint64_t turns = 0;
};

// What one run hands back besides success: the bytes it moved and, when the
// timed part ended before the run did, the moment it ended.
struct Probe {
  LineCount count;
  std::optional<Clock::time_point> end;
  double cpuAtEnd = 0;
  void MarkEnd() {
    end = Clock::now();
    cpuAtEnd = CpuSeconds();
  }
};

template <typename Body>
std::optional<Measurement> Measure(Body body) {
  Probe probe;
  const double cpu0 = CpuSeconds();
  const auto t0 = Clock::now();
  if (!body(probe)) return std::nullopt;
  if (!probe.end) probe.MarkEnd();
  Measurement m;
  m.seconds = Seconds(*probe.end - t0);
  m.cpuShare = (probe.cpuAtEnd - cpu0) / m.seconds;
  m.lineBytes = probe.count.bytes;
  m.turns = probe.count.turns;
  return m;
}

std::optional<Measurement> MeasureUpload(const std::string& port, const std::string& file) {
  return Measure([&](Probe& probe) {
    LineCount& count = probe.count;
    QuietPane pane;
    // As in the transfer dialog: the sender's synchronised steps run on the
    // polling thread, between its 5 ms polls.
    const std::thread::id pollingThread = std::this_thread::get_id();
    vorn::PostingInvoker gui([] {}, [pollingThread] { return std::this_thread::get_id() == pollingThread; });
    auto p = vorn::OpenUploadPort(CountingFactory(count), port);
    if (!p) return false;
    vorn::UploadHooks hooks;
    hooks.ProcessEvents = [&gui] { gui.RunPending(); };
    hooks.Error = [](const std::string& t) { std::fprintf(stderr, "upload: %s\n", t.c_str()); };
    const vorn::UploadResult r = vorn::RunUploads(*p, pane, gui, {file}, "D:\\", hooks);
    p->Close();
    return r.AllUploaded(1);
  });
}

// Answers Yes, as the user who confirms a delete.
class ConfirmingUi : public ErrorsToStderr {
 public:
  bool Question(const std::string&) override { return true; }
};

// What the controller pane and the command line do, one user action each.
enum class ShellAction { Listing, Mem, Delete, Put };

// A file of the delete's name on D:, put there before each timed delete.
constexpr const char* kDeleteName = "BENCHDEL.TXT";

bool PrepareDelete(const std::string& port) {
  QuietPane pane;
  NoCursor cursor;
  ErrorsToStderr ui;
  vorn::Exchange exchange(pane, cursor, ui);
  exchange.ComName = port;
  return exchange.RunCommand(std::string("echo x>D:\\") + kDeleteName + "\r") && exchange.PromptSeen();
}

std::optional<Measurement> MeasureShellAction(const std::string& port, ShellAction action, const std::string& putFile) {
  if (action == ShellAction::Delete && !PrepareDelete(port)) return std::nullopt;
  return Measure([&](Probe& probe) {
    LineCount& count = probe.count;
    QuietPane pane;
    NoCursor cursor;
    ConfirmingUi ui;
    vorn::Exchange exchange(pane, cursor, ui, CountingFactory(count));
    exchange.ComName = port;
    vorn::RemoteListing listing;
    vorn::RemoteOps ops(exchange, listing);
    switch (action) {
      case ShellAction::Listing:
        return ops.Show("\\").ok && !listing.Entries.empty();
      case ShellAction::Mem:
        return exchange.RunCommand("C:\\mem\r") && exchange.PromptSeen();
      case ShellAction::Delete: {
        // As the pane does it: the delete in the folder shown, then the folder again.
        vorn::RemoteEntry entry;
        entry.Name = kDeleteName;
        listing.CurrentPath = "\\";
        if (!ops.Delete(entry) || !exchange.PromptSeen()) return false;
        return ops.Show("\\").ok;
      }
      case ShellAction::Put: {
        // As the command line does it: the listing that looks for the name, then the upload.
        std::ostringstream err;
        const int code = vorn::RunPut(port, CountingFactory(count), {putFile, "--to", "\\", "--force"}, pane, err);
        if (code != 0) std::fprintf(stderr, "put: %s", err.str().c_str());
        return code == 0;
      }
    }
    return false;
  });
}

// Backup and restore of the drive with the utility's own threads, watched as
// the command-line tool watches them. The image programs must be on D: (the
// image tool uploads them before every transfer): put there once for each
// controller and not timed; any file of the name does for this controller.
// The backup drains the line before its command and after its last block:
// each drain ends with a one-byte read time-out (2 x 100 ms) on a quiet line.
constexpr double kBackupDrainS = 0.2;
#ifdef VORN_BENCH_IMAGE
constexpr auto kWatchPoll = std::chrono::milliseconds(20);  // as the command-line tool looks
constexpr auto kStall = std::chrono::seconds(15);

bool PutImagePrograms(const std::string& port, const std::string& dir) {
  std::vector<std::string> files;
  for (const char* name : {"KAPRINRD.EXE", "KAPRINWR.EXE"}) {
    files.push_back(dir + "/" + name);
    std::ofstream(files.back(), std::ios::binary) << std::string(256, '\x90');
  }
  QuietPane pane;
  vorn::DirectInvoker gui;
  auto p = vorn::OpenUploadPort(vorn::HostPortFactory(), port);
  if (!p) return false;
  vorn::UploadHooks hooks;
  hooks.Error = [](const std::string& t) { std::fprintf(stderr, "image programs: %s\n", t.c_str()); };
  const bool ok = vorn::RunUploads(*p, pane, gui, files, "D:\\", hooks).AllUploaded(files.size());
  p->Close();
  return ok;
}

struct ImageRun {
  bool restore = false;
  std::string image;   // written by the backup, read by the restore
  int32_t blocks = 0;  // blocks timed: all of them, or the part after which the controller stops
};

std::optional<Measurement> MeasureImage(const std::string& port, const ImageRun& run) {
  // The restore program loads the drive after its last block and the backup
  // program prints its prompt: let the controller settle before the next run.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  return Measure([&](Probe& probe) {
    const char* name = run.restore ? "restore" : "backup";
    vorn::DirectInvoker gui;
    QuietPane pane;
    std::unique_ptr<vorn::KaprinThreadBase> thread;
    if (run.restore) {
      thread = std::make_unique<vorn::VornKaprinResThread>(gui);
    } else {
      auto backup = std::make_unique<vorn::VornKaprinThread>(gui);
      backup->Terminal = &pane;
      thread = std::move(backup);
    }
    thread->PortName = port;
    thread->ImagePath = run.image;
    thread->Factory = CountingFactory(probe.count);
    const bool part = run.blocks < thread->BlockCount;
    thread->Resume();
    int32_t last = thread->Progress;
    auto moved = Clock::now();
    while (!thread->Done) {
      std::this_thread::sleep_for(kWatchPoll);
      const int32_t progress = thread->Progress;
      if (part && progress >= run.blocks - 1) {
        // The controller stops here and the thread would wait on: end it.
        probe.MarkEnd();
        thread->Stop();
        return true;
      }
      if (progress != last) {
        last = progress;
        moved = Clock::now();
      } else if (Clock::now() - moved > kStall) {
        std::fprintf(stderr, "%s: no progress after block %d\n", name, int(progress));
        thread->Stop();
        return false;
      }
    }
    probe.MarkEnd();
    thread->WaitFor();
    // A restore cut short may end on the shell's text before a poll saw its last block.
    if (part && thread->Progress >= run.blocks - 1) return true;
    if (!thread->Succeeded) std::fprintf(stderr, "%s: %s\n", name, thread->ErrorText.c_str());
    return thread->Succeeded.load();
  });
}
constexpr const char* kImageMissing = "failed";
#else
constexpr const char* kImageMissing = "not built";
#endif

// The best of several runs: the least time and, separately, the least CPU share.
template <typename Run>
std::optional<Measurement> Best(int runs, Run run) {
  std::optional<Measurement> best;
  for (int i = 0; i < runs; ++i) {
    auto m = run();
    if (!m) return std::nullopt;
    if (!best) {
      best = m;
      continue;
    }
    best->seconds = std::min(best->seconds, m->seconds);
    best->cpuShare = std::min(best->cpuShare, m->cpuShare);
    best->lineBytes = std::min(best->lineBytes, m->lineBytes);
  }
  return best;
}

// ---------------------------------------------------------------------------
// Pacing accuracy: a controller's console on a pseudo-terminal of our own,
// ten seconds' worth of bytes both ways at once.

struct PacingResult {
  double outRate = 0;  // controller to host, bytes a second
  double inRate = 0;   // host to controller
};

std::optional<PacingResult> MeasurePacing(uint32_t baud, double seconds) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return std::nullopt;
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) return std::nullopt;
  termios tio{};
  tcgetattr(slave, &tio);
  cfmakeraw(&tio);
  tcsetattr(slave, TCSANOW, &tio);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

  const size_t n = size_t(baud / kBitsPerByte * seconds);
  std::atomic<bool> stop{false};
  vsim::Console console(master, &stop, nullptr, baud);
  const std::vector<uint8_t> bytes(n, 'x');

  const auto start = Clock::now();
  std::thread controllerOut([&] { console.Write(bytes.data(), n); });
  std::thread hostOut([&] {
    size_t sent = 0;
    while (sent < n) {
      const ssize_t w = write(slave, bytes.data() + sent, n - sent);
      if (w > 0) sent += size_t(w);
    }
  });
  Clock::time_point inDone{};
  std::thread controllerIn([&] {
    uint8_t b;
    for (size_t got = 0; got < n; ++got)
      if (!console.ReadByte(&b, 2000)) return;
    inDone = Clock::now();
  });
  std::vector<uint8_t> buf(4096);
  size_t got = 0;
  while (got < n) {
    const ssize_t r = read(slave, buf.data(), buf.size());
    if (r <= 0) break;
    got += size_t(r);
  }
  const auto outDone = Clock::now();
  controllerOut.join();
  hostOut.join();
  controllerIn.join();
  close(slave);
  close(master);
  if (got < n || inDone == Clock::time_point{}) return std::nullopt;
  return PacingResult{n / Seconds(outDone - start), n / Seconds(inDone - start)};
}

// ---------------------------------------------------------------------------
// The table.

struct Row {
  std::string figure;
  std::string measured;
  std::string limit;
  std::string ratio;  // measured / limit
};

std::string Fmt(const char* format, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

std::string Ratio(double measured, double limit) { return limit > 0 ? Fmt("%.3f", measured / limit) : "-"; }

std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

struct Settings {
  std::string simExe = VORN_SIM_EXE;
  std::string cliExe = VORN_CLI_EXE;
  std::string csv;
  int runs = 3;
  int imageRuns = 0;  // 0: as many as runs
  std::string only;   // one group of figures: upload, image or refresh; empty: all
  bool quick = false;
  bool latency = true;  // also behind adapters with 1 ms and 16 ms latency timers
};

void Usage() {
  std::fprintf(stderr,
               "usage: vorn7730-bench [--quick] [--no-adapter] [--runs N] [--image-runs N] [--only G] [--csv FILE]\n"
               "                      [--sim PATH]\n"
               "  --quick     one run each, a quarter of the upload and an eighth of the image blocks,\n"
               "              times extrapolated to the whole\n"
               "  --no-adapter  leave out the rows behind USB-serial adapters (1 ms and 16 ms latency\n"
               "              timers; a full backup at 16 ms takes 35 minutes)\n"
               "  --runs N    runs per figure, the minimum is shown (default 3)\n"
               "  --image-runs N  runs of the backup and the restore (default: as --runs; a paced\n"
               "              run of both takes about 9 minutes)\n"
               "  --only G    only one group of figures: pacing, upload, image, commands (listing, mem,\n"
               "              delete, put of 30 KB) or fleet (1, 4 and 16 controllers at once through the\n"
               "              command line, whole backups: 20 minutes)\n"
               "  --csv FILE  also write the table as CSV\n"
               "  --sim PATH  the virtual controller program (default: the one built beside this)\n");
}

// Rows of one line speed (baud 0: unpaced), behind an adapter with the given
// latency timer (0: none).
void LineRows(const Settings& s, uint32_t baud, uint32_t latencyMs, const std::string& dir, const std::string& file,
              double uploadFraction, std::vector<Row>& rows) {
  std::string speed = baud ? std::to_string(baud) + " baud" : "unpaced";
  if (latencyMs) speed += ", " + std::to_string(latencyMs) + " ms adapter";
  std::vector<std::string> simArgs;
  if (s.quick) simArgs = {"--image-bytes", std::to_string(kDriveBytes / 8)};
  SimProcess sim(s.simExe, baud, latencyMs, simArgs);
  if (sim.Path().empty()) {
    rows.push_back({"virtual controller, " + speed, "failed to start", "", ""});
    return;
  }
  const auto cpuRow = [&](const std::string& what, const Measurement& m) {
    const double share = 100 * m.cpuShare;
    rows.push_back({what + ", host CPU, " + speed, Fmt("%.2f %% of a core", share), "5 %", Ratio(share, 5)});
  };

  // Upload. Times for a fraction are extrapolated: the fixed waits once, the blocks in proportion.
  const auto wanted = [&](const char* group) { return s.only.empty() || s.only == group; };
  const double blocks = std::ceil(kUploadBytes * uploadFraction / 128);
  const auto upload = wanted("upload") ? Best(s.runs, [&] { return MeasureUpload(sim.Path(), file); }) : std::nullopt;
  if (!wanted("upload")) {
  } else if (!upload) {
    rows.push_back({"upload 100 KB, " + speed, "failed", "", ""});
  } else {
    const double fixed = kFirstNakPauseS + kEotPauseS + kUploadTimeoutsS;
    const double wire = WireSeconds(double(upload->lineBytes), baud);
    // Behind an adapter every block's ACK and every typed character's echo
    // waits for the timer; the fixed waits are whole, the blocks scaled below.
    const double blockRound = WireSeconds(134, baud) + kBlockPauseS;
    const double typed = double(upload->turns) - blocks;
    const double adapterBlocks = blocks * AdapterExtraS(blockRound, latencyMs);
    const double adapterFixed = typed > 0 ? typed * AdapterExtraS(WireSeconds(2, baud), latencyMs) : 0;
    const double bound = wire + blocks * kBlockPauseS + adapterBlocks + fixed + adapterFixed;
    const double scale = 1 / uploadFraction;
    const double measured = fixed + adapterFixed + (upload->seconds - fixed - adapterFixed) * scale;
    const double boundFull = fixed + adapterFixed + (bound - fixed - adapterFixed) * scale;
    const std::string label = "upload 100 KB, " + speed;
    rows.push_back({label + ", time", Fmt("%.2f s", measured), Fmt("%.2f s", boundFull), Ratio(measured, boundFull)});
    const double rate = kUploadBytes / measured;
    if (baud && !latencyMs) {
      const double wireRate = baud / kBitsPerByte * 128 / 133;
      rows.push_back({label + ", rate vs wire", Fmt("%.0f B/s", rate), Fmt("%.0f B/s", wireRate), Ratio(rate, wireRate)});
    }
    const double boundRate = kUploadBytes / boundFull;
    rows.push_back({label + ", rate vs sender's pauses", Fmt("%.0f B/s", rate), Fmt("%.0f B/s", boundRate),
                    Ratio(rate, boundRate)});
    cpuRow("upload", *upload);
  }

  // Backup and restore: the wire time of their block protocols is the limit.
  // A quick run times the first eighth of the drive (the controller stops
  // there) and extrapolates: the drains once, the blocks in proportion.
  const double imageFraction = s.quick ? 0.125 : 1.0;
  const std::string part = s.quick ? " (first 1/8, extrapolated)" : "";
#ifdef VORN_BENCH_IMAGE
  const bool programs = wanted("image") && PutImagePrograms(sim.Path(), dir);
  if (wanted("image") && !programs) std::fprintf(stderr, "could not put the image programs on D:\n");
  // The restore writes back what the backup read; a quick run, whose backup
  // keeps no image, sends a file of its own (the controller keeps its drive).
  const std::string image = dir + (s.quick ? "/QUICK.IMG" : "/7730D.IMG");
  if (s.quick) std::ofstream(image, std::ios::binary) << std::string(kDriveBytes, '\0');
#endif
  const struct {
    const char* name;
    bool restore;
    double wireBytes;
    int32_t blocks;
    double leadS, tailS;  // fixed waits before the first block and after the last
  } images[] = {{"backup", false, kBackupWireBytes, 131072, kBackupDrainS, kBackupDrainS},
                {"restore", true, kRestoreWireBytes, 16384, 0, 0}};
  for (const auto& img : images) {
    if (!wanted("image")) break;
    double limit = WireSeconds(img.wireBytes, baud);
#ifdef VORN_BENCH_IMAGE
    if (latencyMs)  // what the adapter's hold on each round trip allows
      limit = vorn::EstimateImageTime(img.restore ? vorn::ImageDirection::Restore : vorn::ImageDirection::Backup,
                                      baud, latencyMs).seconds;
#endif
    const std::string label = std::string(img.name) + " of D:" + part + ", " + speed;
    std::optional<Measurement> m;
#ifdef VORN_BENCH_IMAGE
    if (programs) {
      const ImageRun run{img.restore, image, int32_t(img.blocks * imageFraction)};
      m = Best(s.imageRuns, [&] { return MeasureImage(sim.Path(), run); });
    }
#endif
    if (!m) {
      rows.push_back({label, kImageMissing, baud ? Fmt("%.0f s", limit) : "-", "-"});
      continue;
    }
    const double measured =
        s.quick ? img.leadS + (m->seconds - img.leadS) / imageFraction + img.tailS : m->seconds;
    rows.push_back({label, Fmt("%.1f s", measured), baud ? Fmt("%.1f s", limit) : "-", Ratio(measured, limit)});
    cpuRow(img.name, *m);
  }

  // One user action each. The limit is what the line allows: the bytes both
  // ways at its speed, one adapter period for every turn of the line (the
  // answer to each typed character, block and command waits for the timer),
  // and the sender's own pauses for the put.
  const struct {
    ShellAction action;
    const char* name;
  } actions[] = {{ShellAction::Listing, "listing D:\\"},
                 {ShellAction::Mem, "exec C:\\mem"},
                 {ShellAction::Delete, "delete a file and list again"},
                 {ShellAction::Put, "put 30 KB (listing and upload)"}};
  for (const auto& a : actions) {
    if (!wanted("commands")) break;
    const std::string label = std::string(a.name) + ", " + speed;
    const auto m = Best(s.runs, [&] { return MeasureShellAction(sim.Path(), a.action, dir + "/PUT30K.BIN"); });
    if (!m) {
      rows.push_back({label, "failed", "", ""});
      continue;
    }
    double limit = WireSeconds(double(m->lineBytes), baud) + double(m->turns) * latencyMs / 1000.0;
    if (a.action == ShellAction::Put)
      limit += std::ceil(kPutBytes / 128.0) * kBlockPauseS + kFirstNakPauseS + kEotPauseS;
    rows.push_back({label, Fmt("%.3f s", m->seconds), baud ? Fmt("%.3f s", limit) : "-",
                    baud ? Ratio(m->seconds, limit) : "-"});
  }
}

// ---------------------------------------------------------------------------
// Many controllers at once through the command line's fleet mode: the time
// of N against the time of one, and the command line's CPU per controller
// (its child's user and system time; the controllers stand for hardware).

struct CliRun {
  double seconds = 0;
  double cpuSeconds = 0;
  bool ok = false;
};

CliRun RunCli(const std::string& exe, const std::vector<std::string>& args, const std::string& log) {
  std::vector<std::string> all{exe};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  CliRun run;
  const auto t0 = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
    }
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  if (pid < 0) return run;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  run.seconds = Seconds(Clock::now() - t0);
  run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

constexpr size_t kFleetUploadBytes = 30 * 1024;

void FleetRows(const Settings& s, const std::string& dir, std::vector<Row>& rows) {
  const std::string file = dir + "/FLEET30K.BIN";
  {
    std::ofstream out(file, std::ios::binary);
    uint32_t x = 88172645u;
    for (size_t i = 0; i < kFleetUploadBytes; ++i) {
      x ^= x << 13, x ^= x >> 17, x ^= x << 5;
      out.put(char(x));
    }
  }
  double oneUpload = 0, oneBackup = 0;
  for (const int count : {1, 4, 16}) {
    std::fprintf(stderr, "fleet of %d at 57600 baud...\n", count);
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::string> ports;
    for (int i = 0; i < count; ++i) {
      sims.push_back(std::make_unique<SimProcess>(s.simExe, kLineBaud, 0));
      if (sims.back()->Path().empty()) break;
      ports.push_back("--port");
      ports.push_back(sims.back()->Path());
    }
    const std::string label = "fleet of " + std::to_string(count) + ", 57600 baud, ";
    if (static_cast<int>(ports.size()) != 2 * count) {
      rows.push_back({label + "virtual controllers", "failed to start", "", ""});
      continue;
    }
    const std::string log = dir + "/fleet.log";
    std::vector<std::string> put = ports;
    put.insert(put.end(), {"put", file, "--force"});
    const CliRun upload = RunCli(s.cliExe, put, log);
    std::vector<std::string> backup = ports;
    backup.insert(backup.end(), {"backup", dir + "/fleet-{port}.img"});
    const CliRun image = upload.ok ? RunCli(s.cliExe, backup, log) : CliRun{};
    if (!upload.ok || !image.ok) {
      std::ifstream said(log);
      std::fprintf(stderr, "%s", std::string(std::istreambuf_iterator<char>(said), {}).c_str());
      rows.push_back({label + (upload.ok ? "backup" : "upload 30 KB each"), "failed", "", ""});
      continue;
    }
    if (count == 1) {
      oneUpload = upload.seconds;
      oneBackup = image.seconds;
    }
    rows.push_back({label + "upload 30 KB each, time vs one", Fmt("%.2f s", upload.seconds), Fmt("%.2f s", oneUpload),
                    Ratio(upload.seconds, oneUpload)});
    rows.push_back({label + "backup each, time vs one", Fmt("%.1f s", image.seconds), Fmt("%.1f s", oneBackup),
                    Ratio(image.seconds, oneBackup)});
    const double share = 100 * (upload.cpuSeconds + image.cpuSeconds) / (upload.seconds + image.seconds) / count;
    rows.push_back({label + "host CPU per controller", Fmt("%.2f %% of a core", share), "5 %", Ratio(share, 5)});
  }
}

}  // namespace

int main(int argc, char** argv) {
  Settings s;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        Usage();
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--quick") s.quick = true;
    else if (a == "--no-adapter") s.latency = false;
    else if (a == "--runs") s.runs = std::max(1, std::atoi(value().c_str()));
    else if (a == "--image-runs") s.imageRuns = std::max(1, std::atoi(value().c_str()));
    else if (a == "--csv") s.csv = value();
    else if (a == "--only") {
      s.only = value();
      if (s.only == "refresh") s.only = "commands";
      if (s.only != "pacing" && s.only != "upload" && s.only != "image" && s.only != "commands" && s.only != "fleet") {
        Usage();
        return 2;
      }
    }
    else if (a == "--sim") s.simExe = value();
    else {
      Usage();
      return a == "--help" || a == "-h" ? 0 : 2;
    }
  }
  if (s.quick) s.runs = s.imageRuns = 1;
  if (s.imageRuns == 0) s.imageRuns = s.runs;
  const double uploadFraction = s.quick ? 0.25 : 1.0;

  // The file to upload: reproducible bytes that no block repeats.
  char dir[] = "/tmp/vorn-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string file = std::string(dir) + "/BENCH.BIN";
  {
    std::ofstream out(file, std::ios::binary);
    uint32_t x = 2463534242u;
    for (size_t i = 0; i < size_t(kUploadBytes * uploadFraction); ++i) {
      x ^= x << 13, x ^= x >> 17, x ^= x << 5;
      out.put(char(x));
    }
  }

  {
    std::ofstream out(std::string(dir) + "/PUT30K.BIN", std::ios::binary);
    for (size_t i = 0; i < kPutBytes; ++i) out.put(char('A' + i % 26));
  }

  // Other work on a shared machine delays every wake-up of the two sides, and
  // a backup has a quarter of a million of them: both run at a raised
  // priority where that is allowed (the controller inherits it).
  const bool raised = setpriority(PRIO_PROCESS, 0, -10) == 0;
  std::printf("scheduling priority: %s\n", raised ? "raised (nice -10)" : "normal (not allowed to raise it)");

  std::vector<Row> rows;
  if (s.quick) {
    std::printf("quick: one run each, a quarter of the upload and an eighth of the image blocks (the\n"
                "controller's image programs stop there); their times are extrapolated to the whole.\n");
  } else if (s.only == "fleet") {
    std::printf("fleet: one run of each number of controllers.\n");
  } else {
    std::printf("each figure the minimum of %d runs; backup and restore of %d.\n", s.runs, s.imageRuns);
  }
  if (s.only.empty() || s.only == "pacing") {
    std::fprintf(stderr, "pacing check (%.0f s)...\n", s.quick ? 2.0 : 10.0);
    const double pacingSeconds = s.quick ? 2 : 10;
    if (const auto p = MeasurePacing(kLineBaud, pacingSeconds)) {
      const double limit = kLineBaud / kBitsPerByte;
      const std::string over = Fmt(", over %.0f s", pacingSeconds);
      rows.push_back({"line pacing, controller to host" + over, Fmt("%.1f B/s", p->outRate), Fmt("%.1f B/s", limit),
                      Ratio(p->outRate, limit)});
      rows.push_back({"line pacing, host to controller" + over, Fmt("%.1f B/s", p->inRate), Fmt("%.1f B/s", limit),
                      Ratio(p->inRate, limit)});
    } else {
      rows.push_back({"line pacing", "failed", "", ""});
    }
  }
  // The line alone, then behind a USB-serial adapter at its best setting and
  // at the common drivers' default, then unpaced.
  const struct {
    uint32_t baud, latencyMs;
  } lines[] = {{kLineBaud, 0}, {kLineBaud, 1}, {kLineBaud, 16}, {0, 0}};
  for (const auto& line : lines) {
    if (s.only == "pacing" || s.only == "fleet") break;
    if (line.latencyMs && !s.latency) continue;
    std::fprintf(stderr, "%s%s...\n", line.baud ? "paced at 57600 baud" : "unpaced",
                 line.latencyMs ? (", " + std::to_string(line.latencyMs) + " ms adapter").c_str() : "");
    LineRows(s, line.baud, line.latencyMs, dir, file, uploadFraction, rows);
  }
  if (s.only.empty() || s.only == "fleet") FleetRows(s, dir, rows);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);

  size_t w = 6;
  for (const Row& r : rows) w = std::max(w, r.figure.size());
  std::printf("%-*s  %-20s  %-12s  %s\n", int(w), "figure", "measured", "limit", "ratio");
  for (const Row& r : rows)
    std::printf("%-*s  %-20s  %-12s  %s\n", int(w), r.figure.c_str(), r.measured.c_str(), r.limit.c_str(),
                r.ratio.c_str());
  if (!s.csv.empty()) {
    std::ofstream csv(s.csv);
    csv << "figure,measured,limit,ratio\n";
    for (const Row& r : rows)
      csv << CsvField(r.figure) << ',' << CsvField(r.measured) << ',' << CsvField(r.limit) << ',' << CsvField(r.ratio)
          << '\n';
    if (!csv) {
      std::fprintf(stderr, "cannot write %s\n", s.csv.c_str());
      return 1;
    }
  }
  return 0;
}
