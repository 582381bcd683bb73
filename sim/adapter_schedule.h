// When bytes that have crossed the serial line reach the host through a
// USB-serial adapter: the adapter holds what it has received until a USB
// packet's worth is waiting or its latency timer fires, then hands the host
// everything waiting at once. The timer runs freely, so a lone byte waits
// anything up to one period.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace vsim {

class AdapterSchedule {
 public:
  using Clock = std::chrono::steady_clock;

  // Payload of one full-speed USB packet once the adapter's two status bytes are in it.
  static constexpr size_t kPacketBytes = 62;

  // latencyMs 0: no adapter, every byte reaches the host as it crosses the
  // line. `epoch` is a moment at which the timer fires.
  explicit AdapterSchedule(uint32_t latencyMs = 0, Clock::time_point epoch = {})
      : period_(std::chrono::milliseconds(latencyMs)), epoch_(epoch) {}

  bool Active() const { return period_.count() > 0; }

  // `times` holds, in order, when each byte of one burst has crossed the line
  // (not decreasing); each becomes the moment that byte reaches the host. A
  // burst is scheduled whole because a packet filling up sends the bytes
  // before it early.
  void Deliver(std::vector<Clock::time_point>& times) const;

 private:
  // The first firing of the timer at or after t.
  Clock::time_point NextTick(Clock::time_point t) const;

  Clock::duration period_;
  Clock::time_point epoch_;
};

}  // namespace vsim
