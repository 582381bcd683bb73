// The pacing of the virtual controller's line, computed without any waiting.
#include <gtest/gtest.h>

#include <vector>

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

}  // namespace
}  // namespace simtest
