#include "sim/wire_schedule.h"

namespace vsim {

namespace {
constexpr uint64_t kBitsPerByte = 10;  // 8N1
constexpr uint64_t kNsPerSecond = 1'000'000'000;
}  // namespace

void WireSchedule::SetBaud(uint32_t baud) {
  baud_ = baud;
  fraction_ = 0;
}

WireSchedule::Clock::time_point WireSchedule::Next(Clock::time_point handed) {
  if (baud_ == 0) return handed;
  if (handed > free_) {
    free_ = handed;  // the line was idle: this byte starts at once
    fraction_ = 0;
  }
  // 10 bits at baud bit/s: whole nanoseconds now, the remainder carried.
  const uint64_t numerator = kBitsPerByte * kNsPerSecond + fraction_;
  fraction_ = numerator % baud_;
  free_ += std::chrono::nanoseconds(numerator / baud_);
  return free_;
}

}  // namespace vsim
