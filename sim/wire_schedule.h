// When each byte of a serial line has crossed it: a UART sends one byte after
// the other, ten bit times each (start bit, eight data bits, stop bit), and
// the far end has the byte only once its stop bit is through.
#pragma once

#include <chrono>
#include <cstdint>

namespace vsim {

class WireSchedule {
 public:
  using Clock = std::chrono::steady_clock;

  explicit WireSchedule(uint32_t baud = 0) { SetBaud(baud); }

  // 0: no pacing, every byte is there as soon as it is handed over.
  void SetBaud(uint32_t baud);
  uint32_t Baud() const { return baud_; }

  // The moment a byte handed to the line at `handed` has arrived: ten bit
  // times after the later of `handed` and the arrival of the byte before it.
  // The times are kept exact to the nanosecond over any run, so a long
  // stream keeps the rate however late the caller acts on each moment.
  Clock::time_point Next(Clock::time_point handed);

 private:
  uint32_t baud_ = 0;
  Clock::time_point free_{};  // when the last byte handed has arrived
  uint64_t fraction_ = 0;     // nanosecond fractions carried, in 1/baud units
};

}  // namespace vsim
