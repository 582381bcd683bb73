#pragma once
// A port that answers at once: it records every Write and serves reads from a
// queue that a responder fills as the bytes go out. An empty queue is a
// time-out, and reads report it immediately, so retry paths run in milliseconds.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "link/port.h"
#include "link/ui.h"

namespace vorn::test {

class ScriptedPort : public vorn::Port {
 public:
  static constexpr int kTimeout = -1;  // in the queue: one read that times out

  bool Open() override { return true; }
  bool Close() override { return true; }
  bool Configure(uint32_t, uint8_t, uint8_t, uint8_t) override { return true; }
  bool SetTimeouts(uint32_t ms) override {
    timeout = ms;
    return true;
  }
  uint32_t Timeout() const override { return timeout; }

  bool Write(const uint8_t* bytes, size_t count) override {
    input.clear();  // as the real port: unread input is discarded first
    writes.emplace_back(bytes, bytes + count);
    if (onWrite) onWrite(writes.back());
    return true;
  }
  using Port::Write;

  bool ReadExact(uint8_t* buffer, size_t count) override {
    ++readExactCalls;
    for (size_t i = 0; i < count; ++i) {
      int b = Next();
      if (b < 0) return false;
      buffer[i] = static_cast<uint8_t>(b);
    }
    return true;
  }

  bool ReadLine(size_t maxLen, std::string& text) override {
    text.clear();
    for (size_t n = 1;; ++n) {
      int b = Next();
      if (b < 0) return false;
      if (n >= maxLen) return false;
      text += static_cast<char>(b);
      if (b == LineEnd) return true;
    }
  }

  bool PurgeInput() override {
    input.clear();
    return true;
  }
  std::string LostReason() const override { return lost; }

  void Push(const std::string& bytes) {
    for (unsigned char c : bytes) input.push_back(c);
  }
  void PushByte(uint8_t b) { input.push_back(b); }
  void PushTimeout() { input.push_back(kTimeout); }

  std::vector<std::vector<uint8_t>> writes;
  std::deque<int> input;
  std::function<void(const std::vector<uint8_t>&)> onWrite;
  uint32_t timeout = 500;
  int readExactCalls = 0;
  std::string lost;  // set: the line reported a hang-up or I/O error

 private:
  int Next() {
    if (input.empty()) return -1;
    int b = input.front();
    input.pop_front();
    return b;
  }
};

// The terminal pane as a list of lines.
class RecordingPane : public vorn::TerminalPane {
 public:
  int LineCount() const override { return static_cast<int>(lines.size()); }
  void Clear() override { lines.clear(); }
  void AppendLine(const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

// Hands a port to code that takes ownership and discards it (the exchange, the
// upload loop) while the test keeps the real one to look at afterwards.
class BorrowedPort : public vorn::Port {
 public:
  explicit BorrowedPort(vorn::Port& inner, bool opens = true) : inner_(inner), opens_(opens) {}
  bool Open() override { return opens_ && inner_.Open(); }
  bool Close() override { return inner_.Close(); }
  bool Configure(uint32_t b, uint8_t s, uint8_t p, uint8_t t) override { return inner_.Configure(b, s, p, t); }
  bool SetTimeouts(uint32_t ms) override { return inner_.SetTimeouts(ms); }
  uint32_t Timeout() const override { return inner_.Timeout(); }
  bool Write(const uint8_t* bytes, size_t count) override { return inner_.Write(bytes, count); }
  using Port::Write;
  bool ReadExact(uint8_t* buffer, size_t count) override { return inner_.ReadExact(buffer, count); }
  bool ReadLine(size_t maxLen, std::string& text) override {
    inner_.LineEnd = LineEnd;
    return inner_.ReadLine(maxLen, text);
  }
  bool PurgeInput() override { return inner_.PurgeInput(); }
  std::string LostReason() const override { return inner_.LostReason(); }

 private:
  vorn::Port& inner_;
  bool opens_;
};

}  // namespace vorn::test
