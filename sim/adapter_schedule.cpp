#include "sim/adapter_schedule.h"

namespace vsim {

AdapterSchedule::Clock::time_point AdapterSchedule::NextTick(Clock::time_point t) const {
  if (t <= epoch_) return epoch_ - ((epoch_ - t) / period_) * period_;
  const auto periods = (t - epoch_ + period_ - Clock::duration(1)) / period_;  // rounded up
  return epoch_ + periods * period_;
}

void AdapterSchedule::Deliver(std::vector<Clock::time_point>& times) const {
  if (!Active()) return;
  size_t first = 0;
  while (first < times.size()) {
    // The first byte waiting starts a packet; the timer's next firing or the
    // packet's last byte, whichever comes first, sends it.
    const Clock::time_point tick = NextTick(times[first]);
    size_t end = first;
    while (end < times.size() && end - first < kPacketBytes && times[end] <= tick) ++end;
    const Clock::time_point sent = end - first == kPacketBytes ? times[end - 1] : tick;
    for (size_t i = first; i < end; ++i) times[i] = sent;
    first = end;
  }
}

}  // namespace vsim
