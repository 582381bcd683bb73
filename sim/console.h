// The controller's side of the serial console: the raw byte stream to and from the host.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "sim/adapter_schedule.h"
#include "sim/line_noise.h"
#include "sim/wire_schedule.h"

namespace vsim {

class Console {
 public:
  using Observer = std::function<void(const uint8_t* data, size_t n)>;

  // `fd` is the pseudo-terminal master (non-blocking). `onReceived` sees every byte
  // read from the host. Reads give up early once `stop` is set. `baud` paces the
  // line in both directions as a UART would (0: as fast as the pseudo-terminal).
  // `adapterLatencyMs` holds what goes to the host as a USB-serial adapter with
  // that latency timer would (0: no adapter). `noiseRate` flips each bit in
  // both directions with that probability, reproducibly from `noiseSeed`;
  // `onReceived` still sees the bytes as the host sent them.
  Console(int fd, const std::atomic<bool>* stop, Observer onReceived, uint32_t baud = 0,
          uint32_t adapterLatencyMs = 0, double noiseRate = 0, uint64_t noiseSeed = 1);

  // One byte, waiting at most timeoutMs (negative: until stopped). False on time-out or stop.
  bool ReadByte(uint8_t* b, int timeoutMs);
  // Up to n bytes; each byte must follow the previous one within interByteMs, the first
  // within firstMs. Returns how many arrived.
  size_t Read(uint8_t* buf, size_t n, int firstMs, int interByteMs);
  // Throw input away until nothing has arrived for quietMs (or maxMs passed).
  void Drain(int quietMs, int maxMs = 5000);
  // Whether input is waiting right now, without consuming it.
  bool InputPending();

  // Returns once the bytes have left: on a paced line, when the last one has crossed it.
  void Write(const std::string& bytes);
  void Write(const uint8_t* data, size_t n);
  void WriteByte(uint8_t b) { Write(&b, 1); }

  bool Stopping() const { return stop_->load(); }

 private:
  using Clock = WireSchedule::Clock;
  struct Incoming {
    uint8_t byte;
    Clock::time_point due;  // when it has crossed the line
  };

  // Takes what the host has written so far, stamped with its crossing time.
  void Take();
  // Up to n of the bytes already taken, as a run (see Read).
  size_t TakeTaken(uint8_t* buf, size_t n, int interByteMs);
  // Sleeps until `until` or until the host writes, whichever is first.
  void WaitInput(Clock::time_point until);
  // Sends bytes through the adapter model: each group when it reaches the host.
  void WriteThroughAdapter(const uint8_t* data, size_t n);
  // Hands bytes to the pseudo-terminal; false when the host stopped taking them.
  bool Put(const uint8_t* data, size_t n);

  int fd_;
  const std::atomic<bool>* stop_;
  Observer onReceived_;
  std::deque<Incoming> pending_;  // read from the fd, not yet consumed (reader thread only)
  WireSchedule inbound_;          // reader thread only
  LineNoise inboundNoise_;        // reader thread only
  std::mutex writeMu_;            // the shell thread and InjectOutput both write
  WireSchedule outbound_;         // under writeMu_
  LineNoise outboundNoise_;       // under writeMu_
  AdapterSchedule adapter_;       // toward the host, after outbound_
};

}  // namespace vsim
