// The controller's side of the serial console: the raw byte stream to and from the host.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace vsim {

class Console {
 public:
  using Observer = std::function<void(const uint8_t* data, size_t n)>;

  // `fd` is the pseudo-terminal master (non-blocking). `onReceived` sees every byte
  // read from the host. Reads give up early once `stop` is set.
  Console(int fd, const std::atomic<bool>* stop, Observer onReceived);

  // One byte, waiting at most timeoutMs (negative: until stopped). False on time-out or stop.
  bool ReadByte(uint8_t* b, int timeoutMs);
  // Up to n bytes; each byte must follow the previous one within interByteMs, the first
  // within firstMs. Returns how many arrived.
  size_t Read(uint8_t* buf, size_t n, int firstMs, int interByteMs);
  // Throw input away until nothing has arrived for quietMs (or maxMs passed).
  void Drain(int quietMs, int maxMs = 5000);
  // Whether input is waiting right now, without consuming it.
  bool InputPending();

  void Write(const std::string& bytes);
  void Write(const uint8_t* data, size_t n);
  void WriteByte(uint8_t b) { Write(&b, 1); }

  bool Stopping() const { return stop_->load(); }

 private:
  bool Fill(int timeoutMs);  // wait for and read available bytes into pending_

  int fd_;
  const std::atomic<bool>* stop_;
  Observer onReceived_;
  std::deque<uint8_t> pending_;  // read from the fd, not yet consumed (reader thread only)
  std::mutex writeMu_;           // the shell thread and InjectOutput both write
};

}  // namespace vsim
