#pragma once
// What the fuzz targets share: a serial device that plays the fuzzer's bytes
// as the controller's side of the line, quiet stand-ins for the pane, the
// cursor and the boxes, and a check that stops the run on a broken promise.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "link/exchange.h"
#include "link/serial_port.h"
#include "link/ui.h"
#include "platform/serial_device.h"

// Unlike assert, kept in optimised builds: a failed check is a finding.
#define FUZZ_CHECK(cond)                                                              \
  do {                                                                                \
    if (!(cond)) {                                                                    \
      std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                                   \
    }                                                                                 \
  } while (0)

namespace vorn::fuzz {

// A read that times out, in the decoded stream.
constexpr int kPause = -1;

// The controller's bytes: 0xFF 0xFF stands for one 0xFF, 0xFF followed by any
// other byte (or by nothing) for a read that times out there, so the fuzzer
// can cut lines and answers at any point as a slow or silent controller does.
inline std::deque<int> DecodeStream(const uint8_t* data, size_t size) {
  std::deque<int> out;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != 0xFF) {
      out.push_back(data[i]);
    } else if (i + 1 < size && data[i + 1] == 0xFF) {
      out.push_back(0xFF);
      ++i;
    } else {
      out.push_back(kPause);
      ++i;
    }
  }
  return out;
}

// One conversation, shared by every port opened on it (an operation may open
// the port more than once).
struct Line {
  enum class Echo { None, FirstLine, All };
  enum class AtEnd { Silent, Lost };

  std::deque<int> pending;  // bytes the host has yet to read, kPause for a time-out
  Echo echo = Echo::All;
  AtEnd atEnd = AtEnd::Silent;
  bool echoing = true;
  // Everything in order: what the host wrote, and what each read gave it;
  // with onWrite set, writes go there instead and nothing is kept.
  std::function<void(const uint8_t*, size_t)> onWrite;
  std::function<void(const uint8_t*, size_t)> onRead;  // the same for what reads gave
  struct Event {
    bool write;
    std::vector<uint8_t> bytes;
  };
  std::vector<Event> events;
  size_t written = 0;
};

// The shell echoes what is typed (as it does for a command line) before
// anything else it had to say; with Echo::FirstLine it stops after the first
// carriage return, as a program then has the line.
class ScriptedDevice : public platform::SerialDevice {
 public:
  explicit ScriptedDevice(std::shared_ptr<Line> line) : line_(std::move(line)) {}

  bool Open(const std::string&) override { return open_ = true; }
  platform::OpenFailure LastOpenFailure() const override { return platform::OpenFailure::None; }
  bool IsOpen() const override { return open_; }
  bool Close() override {
    open_ = false;
    return true;
  }
  bool SetLine(uint32_t, uint8_t, uint8_t, uint8_t) override { return true; }
  bool SetTimeouts(uint32_t) override { return true; }
  bool PurgeInput() override { return true; }

  platform::TransferResult Write(const uint8_t* bytes, size_t count) override {
    Line& l = *line_;
    if (l.onWrite) l.onWrite(bytes, count);
    else l.events.push_back({true, std::vector<uint8_t>(bytes, bytes + count)});
    l.written += count;
    if (l.echo != Line::Echo::None && l.echoing) {
      std::vector<int> echoed;
      for (size_t i = 0; i < count && l.echoing; ++i) {
        echoed.push_back(bytes[i]);
        if (bytes[i] == '\r' && l.echo == Line::Echo::FirstLine) l.echoing = false;
      }
      l.pending.insert(l.pending.begin(), echoed.begin(), echoed.end());
    }
    return {count, false, {}};
  }

  platform::TransferResult Read(uint8_t* buffer, size_t count) override {
    Line& l = *line_;
    platform::TransferResult r;
    while (r.transferred < count) {
      if (l.pending.empty()) {
        if (r.transferred == 0 && l.atEnd == Line::AtEnd::Lost) {
          r.hardError = true;
          r.reason = "end of the fuzz input";
        }
        break;
      }
      const int b = l.pending.front();
      l.pending.pop_front();
      if (b == kPause) break;
      buffer[r.transferred++] = static_cast<uint8_t>(b);
    }
    if (r.transferred && l.onRead) l.onRead(buffer, r.transferred);
    if (r.transferred && !l.onWrite) l.events.push_back({false, std::vector<uint8_t>(buffer, buffer + r.transferred)});
    return r;
  }

 private:
  std::shared_ptr<Line> line_;
  bool open_ = false;
};

inline std::unique_ptr<Port> OpenablePort(const std::shared_ptr<Line>& line) {
  return std::make_unique<SerialPort>("FUZZ", std::make_unique<ScriptedDevice>(line));
}

inline PortFactory Factory(const std::shared_ptr<Line>& line) {
  return [line](const std::string&) { return OpenablePort(line); };
}

// A pane that keeps its line count as the real one does.
class CountingPane : public TerminalPane {
 public:
  int LineCount() const override { return lines_; }
  void Clear() override { lines_ = 0; }
  void AppendLine(const std::string&) override { ++lines_; }

 private:
  int lines_ = 0;
};

// Boxes that remember the errors shown.
class RecordingUi : public WindowlessUi {
 public:
  void Error(const std::string& text) override { errors.push_back(text); }
  std::vector<std::string> errors;
};

// The pane, cursor and boxes of one exchange over a line.
struct Session {
  explicit Session(std::shared_ptr<Line> l) : line(std::move(l)), exchange(pane, cursor, ui, Factory(line)) {
    exchange.ComName = "FUZZ";
  }
  std::shared_ptr<Line> line;
  CountingPane pane;
  NoCursor cursor;
  RecordingUi ui;
  Exchange exchange;
};

}  // namespace vorn::fuzz
