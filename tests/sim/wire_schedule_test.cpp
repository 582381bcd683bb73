// The pacing of the virtual controller's line, computed without any waiting.
#include <gtest/gtest.h>

#include <vector>

#include "sim/adapter_schedule.h"
#include "sim/wire_schedule.h"

namespace simtest {
namespace {

using vsim::WireSchedule;
using Clock = WireSchedule::Clock;
using std::chrono::nanoseconds;

Clock::time_point At(int64_t ns) { return Clock::time_point{} + nanoseconds(ns); }
int64_t Ns(Clock::time_point t) { return (t - Clock::time_point{}).count(); }

TEST(SimWireSchedule, ABurstTakesExactlyItsWireTimeAtAnySpeed) {
  struct Case {
    uint32_t baud;
    int bytes;
    int64_t lastNs;  // arrival of the last byte, all handed over at 0
  } cases[] = {
      {57600, 1, 173'611},             // one byte: ten bit times, rounded down
      {57600, 5760, 1'000'000'000},    // a second's worth ends on the second: no drift
      {57600, 57600, 10'000'000'000},  // and so does ten seconds' worth
      {9600, 960, 1'000'000'000},
      {115200, 1152, 100'000'000},
      {3, 3, 10'000'000'000},          // a byte time of 3.33 s: the thirds add up
  };
  for (const Case& c : cases) {
    WireSchedule line(c.baud);
    Clock::time_point last{};
    for (int i = 0; i < c.bytes; ++i) last = line.Next(At(0));
    EXPECT_EQ(Ns(last), c.lastNs) << c.baud << " baud, " << c.bytes << " bytes";
  }
}

TEST(SimWireSchedule, BytesQueueBehindTheLineAndAnIdleLineStartsAfresh) {
  struct Step {
    int64_t handedNs;
    int64_t dueNs;
  };
  // 10,000 baud: one byte a millisecond.
  const std::vector<Step> steps = {
      {0, 1'000'000},          // an idle line: one byte time after it was handed
      {0, 2'000'000},          // handed together: behind the first
      {1'500'000, 3'000'000},  // handed while the line is busy: still behind
      {5'000'000, 6'000'000},  // after a pause: from its own hand-over
      {6'000'000, 7'000'000},  // exactly as the line frees: straight on
  };
  WireSchedule line(10'000);
  for (const Step& s : steps) EXPECT_EQ(Ns(line.Next(At(s.handedNs))), s.dueNs) << s.handedNs;

  WireSchedule unpaced;
  EXPECT_EQ(Ns(unpaced.Next(At(42))), 42);
  EXPECT_EQ(Ns(unpaced.Next(At(42))), 42);
}

// A USB-serial adapter between the line and the host: a packet of 62 bytes
// goes at once, anything less waits for the free-running latency timer.
TEST(SimAdapterSchedule, BytesWaitForTheTimerOrAFullPacket) {
  constexpr int64_t ms = 1'000'000;
  struct Case {
    const char* what;
    std::vector<int64_t> crossedNs;  // arrival over the line of each byte of one burst
    std::vector<int64_t> hostNs;     // when each reaches the host
  };
  // 16 ms timer firing at 0, 16 ms, 32 ms, ...
  const std::vector<Case> cases = {
      {"a lone byte waits for the next firing", {5 * ms}, {16 * ms}},
      {"a byte arriving as the timer fires goes with it", {16 * ms}, {16 * ms}},
      {"a five-byte answer goes in one piece", {20 * ms, 21 * ms, 22 * ms, 23 * ms, 24 * ms},
       {32 * ms, 32 * ms, 32 * ms, 32 * ms, 32 * ms}},
      {"a burst across a firing splits there", {15 * ms, 17 * ms}, {16 * ms, 32 * ms}},
  };
  for (const Case& c : cases) {
    vsim::AdapterSchedule adapter(16, At(0));
    std::vector<Clock::time_point> t;
    for (int64_t ns : c.crossedNs) t.push_back(At(ns));
    adapter.Deliver(t);
    std::vector<int64_t> got;
    for (auto x : t) got.push_back(Ns(x));
    EXPECT_EQ(got, c.hostNs) << c.what;
  }

  // 130 bytes at 57600 baud, handed at 1 ms: the first packet fills before the
  // 16 ms firing and goes as its last byte arrives; the firing takes the 24
  // bytes then waiting, the next one the 44 after them.
  WireSchedule line(57600);
  std::vector<Clock::time_point> burst;
  for (int i = 0; i < 130; ++i) burst.push_back(line.Next(At(1 * ms)));
  const auto crossed = burst;
  vsim::AdapterSchedule(16, At(0)).Deliver(burst);
  EXPECT_EQ(burst[0], crossed[61]);
  EXPECT_EQ(burst[61], crossed[61]);
  EXPECT_EQ(Ns(burst[62]), 16 * ms);
  EXPECT_EQ(Ns(burst[85]), 16 * ms);
  EXPECT_EQ(Ns(burst[86]), 32 * ms);
  EXPECT_EQ(Ns(burst[129]), 32 * ms);

  std::vector<Clock::time_point> none = {At(3)};
  vsim::AdapterSchedule().Deliver(none);
  EXPECT_EQ(Ns(none[0]), 3);
}

}  // namespace
}  // namespace simtest
