#include "app/fleet.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <sstream>
#include <streambuf>
#include <thread>

#include "app/cli.h"
#include "platform/console_input.h"
#include "platform/input_file.h"
#include "platform/interrupt.h"

namespace vorn::cli {
namespace {

constexpr size_t kPortsFileLimit = 1 << 20;
constexpr const char* kStoppedReason = "stopped by Ctrl+C";

// Whole lines of one port's output, each after the port's name, onto the
// shared stream. A line rewritten in place (a carriage return without a line
// feed, as progress lines are) is dropped but for its last state, so that
// ports do not scramble each other's lines.
class PrefixedLines : public std::streambuf {
 public:
  PrefixedLines(std::string prefix, std::ostream& target, std::mutex& lock)
      : prefix_(std::move(prefix)), target_(target), lock_(lock) {}
  ~PrefixedLines() override { Finish(); }
  void Finish() {
    if (!line_.empty()) Emit("\n");
    pendingReturn_ = false;
  }
  const std::string& LastLine() const { return last_; }

 protected:
  int_type overflow(int_type ch) override {
    if (!traits_type::eq_int_type(ch, traits_type::eof())) Put(traits_type::to_char_type(ch));
    return traits_type::not_eof(ch);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    for (std::streamsize i = 0; i < n; ++i) Put(s[i]);
    return n;
  }

 private:
  void Put(char c) {
    if (pendingReturn_) {
      pendingReturn_ = false;
      if (c == '\n') {
        Emit("\r\n");
        return;
      }
      line_.clear();
    }
    if (c == '\r') {
      pendingReturn_ = true;
    } else if (c == '\n') {
      Emit("\n");
    } else {
      line_.push_back(c);
    }
  }
  void Emit(const char* end) {
    {
      const std::lock_guard<std::mutex> guard(lock_);
      target_ << prefix_ << line_ << end << std::flush;
    }
    if (line_.find_first_not_of(" \t") != std::string::npos) last_ = line_;
    line_.clear();
  }

  std::string prefix_;
  std::ostream& target_;
  std::mutex& lock_;
  std::string line_;
  std::string last_;
  bool pendingReturn_ = false;
};

// A port that stops working once Ctrl+C came, so that every subcommand on
// every thread ends at its next read or write, closing its port on the way.
class StoppablePort : public Port {
 public:
  explicit StoppablePort(std::unique_ptr<Port> inner) : inner_(std::move(inner)) {}
  bool Open() override { return !Stopped() && inner_->Open(); }
  bool Close() override { return inner_->Close(); }
  bool Configure(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits) override {
    return inner_->Configure(baud, byteSize, parity, stopBits);
  }
  bool SetTimeouts(uint32_t ms) override { return inner_->SetTimeouts(ms); }
  uint32_t Timeout() const override { return inner_->Timeout(); }
  bool Write(const uint8_t* bytes, size_t count) override { return !Stopped() && inner_->Write(bytes, count); }
  using Port::Write;
  bool ReadExact(uint8_t* buffer, size_t count) override { return !Stopped() && inner_->ReadExact(buffer, count); }
  bool ReadLine(size_t maxLen, std::string& text) override {
    text.clear();
    inner_->LineEnd = LineEnd;
    return !Stopped() && inner_->ReadLine(maxLen, text);
  }
  bool PurgeInput() override { return inner_->PurgeInput(); }
  std::string OpenFailureReason() const override {
    return Stopped() ? std::string("Reason: ") + kStoppedReason + "." : inner_->OpenFailureReason();
  }
  std::string LostReason() const override { return Stopped() ? kStoppedReason : inner_->LostReason(); }

 private:
  static bool Stopped() { return platform::InterruptRequested(); }
  std::unique_ptr<Port> inner_;
};

struct Outcome {
  std::string port;
  int code = 1;
  double seconds = 0;
  bool stopped = false;
  std::string reason;
};

std::string ResultWord(const Outcome& o) { return o.code == 0 ? "ok" : o.stopped ? "stopped" : "failed"; }

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

void SummaryJson(const std::vector<Outcome>& outcomes, std::ostream& out) {
  size_t ok = 0;
  out << "{\"ports\": [";
  for (size_t i = 0; i < outcomes.size(); ++i) {
    const Outcome& o = outcomes[i];
    ok += o.code == 0;
    std::ostringstream seconds;
    seconds << std::fixed << std::setprecision(1) << o.seconds;
    out << (i ? ",\n  " : "\n  ") << "{\"port\": " << JsonString(o.port) << ", \"result\": \"" << ResultWord(o)
        << "\", \"exit\": " << o.code << ", \"seconds\": " << seconds.str()
        << ", \"reason\": " << JsonString(o.code == 0 ? "" : o.reason) << "}";
  }
  out << "\n], \"succeeded\": " << ok << ", \"failed\": " << outcomes.size() - ok << "}\n";
}

void SummaryTable(const std::vector<Outcome>& outcomes, std::ostream& err) {
  size_t width = 4;
  for (const Outcome& o : outcomes) width = std::max(width, o.port.size());
  err << std::left << std::setw(static_cast<int>(width) + 2) << "PORT" << std::setw(9) << "RESULT" << std::setw(10)
      << "TIME" << "REASON\n";
  for (const Outcome& o : outcomes) {
    std::ostringstream time;
    time << std::fixed << std::setprecision(1) << o.seconds << " s";
    err << std::setw(static_cast<int>(width) + 2) << o.port << std::setw(9) << ResultWord(o) << std::setw(10)
        << time.str() << (o.code == 0 ? "" : o.reason) << '\n';
  }
  err << std::right;
}

// What a subcommand that changes every drive asks once for all, when --yes
// is missing and someone is there to answer.
const char* Question(const std::string& subcommand) {
  if (subcommand == "restore") return "replaces everything on drive D:";
  if (subcommand == "format") return "erases everything on drive D:";
  if (subcommand == "init") return "formats drive D: and installs the default files";
  return nullptr;
}

// Why a command must not run on many ports; empty when it may.
std::string FleetRefusal(const std::vector<std::string>& command) {
  const std::string& sub = command.front();
  const bool named = std::any_of(command.begin() + 1, command.end(),
                                 [](const std::string& a) { return a.find("{port}") != std::string::npos; });
  // Every controller's data into one host file: all but one would be lost.
  const bool writesHostFile =
      sub == "backup" || sub == "get" || (sub == "ioconf" && command.size() > 2 && command[1] == "get");
  if (writesHostFile && !named)
    return sub + " on several ports needs {port} in the host file's name, so that each controller gets a file of its own";
  if (sub == "net" && std::find(command.begin() + 1, command.end(), "-") != command.end())
    return "net on several ports cannot read passwords from standard input; give --ftp-password-file or "
           "--http-password-file";
  return {};
}

std::string Substitute(std::string arg, const std::string& safe) {
  for (size_t at = arg.find("{port}"); at != std::string::npos; at = arg.find("{port}", at + safe.size()))
    arg.replace(at, 6, safe);
  return arg;
}

}  // namespace

std::string FileSafePortName(const std::string& port) {
  std::string safe = port;
  for (char& c : safe) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!keep) c = '_';
  }
  return safe;
}

std::string ReadPortsFile(const std::string& path, std::vector<std::string>& ports) {
  std::string text;
  const std::string why = platform::ReadInputFile(path, kPortsFileLimit, text);
  if (!why.empty()) return why;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    const size_t last = line.find_last_not_of(" \t\r");
    ports.push_back(line.substr(first, last - first + 1));
  }
  if (ports.empty()) return path + ": names no port";
  return {};
}

int RunFleet(const std::vector<std::string>& ports, const std::vector<std::string>& givenCommand, bool json,
             std::ostream& out, std::ostream& err, const PortFactory& factory) {
  std::vector<std::string> command = givenCommand;
  if (command.empty()) {
    err << "usage: vorn7730-cli --port PORT [--port PORT]... | --ports FILE [--json] SUBCOMMAND [ARGS]\n";
    return 2;
  }
  std::set<std::string> seen;
  for (const std::string& port : ports) {
    if (!seen.insert(port).second) {
      err << port << " is named twice: each controller is reached once\n";
      return 2;
    }
  }
  if (const std::string why = FleetRefusal(command); !why.empty()) {
    err << why << '\n';
    return 2;
  }
  if (const char* effect = Question(command.front());
      effect && std::find(command.begin(), command.end(), "--yes") == command.end() &&
      platform::StandardInputIsTerminal()) {
    err << command.front() << " " << effect << " of " << ports.size() << " controllers. Go on? [y/N] " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    if (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes") command.push_back("--yes");
  }

  // One scope for all: the transfers inside keep to it, so a Ctrl+C reaches all.
  const platform::InterruptScope interrupts;
  std::mutex outLock, errLock;
  std::vector<Outcome> outcomes(ports.size());
  std::vector<std::thread> threads;
  const PortFactory stoppable = [factory](const std::string& name) -> std::unique_ptr<Port> {
    std::unique_ptr<Port> inner = factory(name);
    if (!inner) return nullptr;
    return std::make_unique<StoppablePort>(std::move(inner));
  };
  for (size_t i = 0; i < ports.size(); ++i) {
    threads.emplace_back([&, i] {
      Outcome& outcome = outcomes[i];
      outcome.port = ports[i];
      PrefixedLines outLines(ports[i] + ": ", out, outLock);
      PrefixedLines errLines(ports[i] + ": ", err, errLock);
      std::ostream portOut(&outLines);
      std::ostream portErr(&errLines);
      std::vector<std::string> args = {"vorn7730-cli", "--port", ports[i]};
      const std::string safe = FileSafePortName(ports[i]);
      for (const std::string& a : command) args.push_back(Substitute(a, safe));
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      const auto start = std::chrono::steady_clock::now();
      try {
        outcome.code = Main(static_cast<int>(args.size()), argv.data(), portOut, portErr, stoppable);
      } catch (...) {
        portErr << "unexpected failure\n";
        outcome.code = 1;
      }
      outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      outLines.Finish();
      errLines.Finish();
      outcome.stopped = platform::InterruptRequested();
      outcome.reason = outcome.stopped && outcome.code != 0 ? kStoppedReason : errLines.LastLine();
      // A failure that said nothing still gets a reason in the summary.
      if (outcome.code != 0 && outcome.reason.empty()) outcome.reason = "exit code " + std::to_string(outcome.code);
    });
  }
  for (std::thread& t : threads) t.join();

  SummaryTable(outcomes, err);
  if (json) SummaryJson(outcomes, out);
  out.flush();
  err.flush();
  if (!out) {
    err << "writing to standard output failed\n";
    return 1;
  }
  if (platform::InterruptRequested()) return 130;
  const bool allOk = std::all_of(outcomes.begin(), outcomes.end(), [](const Outcome& o) { return o.code == 0; });
  const bool allUsage = std::all_of(outcomes.begin(), outcomes.end(), [](const Outcome& o) { return o.code == 2; });
  return allOk ? 0 : allUsage ? 2 : 1;
}

}  // namespace vorn::cli
