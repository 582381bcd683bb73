// What the user is told before a long backup or restore.
#include <gtest/gtest.h>

#include "image/image_estimate.h"

namespace vorn {
namespace {

TEST(ImageEstimate, RoundTripsLastWholeAdapterPeriods) {
  struct Case {
    uint32_t baud;
    std::optional<uint32_t> latencyMs;
    double backupS, restoreS;
  } cases[] = {
      {57600, std::nullopt, 341.333, 201.956},  // the wire alone
      {57600, 0, 341.333, 201.956},
      {57600, 1, 393.216, 212.992},    // 2.6 ms and 12.3 ms rounds become 3 ms and 13 ms
      {57600, 16, 2097.152, 262.144},  // every round one 16 ms period
      {9600, 16, 2097.152, 1310.720},  // a 74 ms restore round takes five periods
      {115200, 16, 2097.152, 262.144},
  };
  for (const Case& c : cases) {
    const auto b = EstimateImageTime(ImageDirection::Backup, c.baud, c.latencyMs);
    const auto r = EstimateImageTime(ImageDirection::Restore, c.baud, c.latencyMs);
    EXPECT_NEAR(b.seconds, c.backupS, 0.01) << c.baud << " baud";
    EXPECT_NEAR(r.seconds, c.restoreS, 0.01) << c.baud << " baud";
  }
  EXPECT_NEAR(EstimateImageTime(ImageDirection::Backup, 57600, 16).wireSeconds, 341.333, 0.01);
}

TEST(ImageEstimate, OnlyAMuchSlowerTransferIsWarnedAbout) {
  EXPECT_EQ(SlowAdapterLine(ImageDirection::Backup, 57600, std::nullopt, "COM3"), "");
  EXPECT_EQ(SlowAdapterLine(ImageDirection::Backup, 57600, 1, "COM3"), "");   // 1.15 times
  EXPECT_EQ(SlowAdapterLine(ImageDirection::Restore, 57600, 16, "COM3"), "");  // 1.30 times
  const std::string line = SlowAdapterLine(ImageDirection::Backup, 57600, 16, "COM3");
  EXPECT_NE(line.find("about 34 min 57 s instead of 5 min 41 s"), std::string::npos) << line;
  EXPECT_NE(line.find("COM3"), std::string::npos) << line;
  EXPECT_NE(line.find("1 ms"), std::string::npos) << line;
  EXPECT_EQ(FormatDuration(3725), "1 h 2 min");
  EXPECT_EQ(FormatDuration(42.4), "42 s");
}

TEST(ImageEstimate, TimeLeftFollowsTheRateSoFar) {
  struct Case {
    int32_t done, count;
    double elapsed;
    const char* text;
  } cases[] = {
      {0, 131072, 5, "0 of 131072 blocks, time left not known yet"},
      {100, 131072, 0, "100 of 131072 blocks, time left not known yet"},
      {40960, 131072, 100, "40960 of 131072 blocks, 410 blocks/s, about 3 min 40 s left"},
      {8192, 16384, 60, "8192 of 16384 blocks, 137 blocks/s, about 1 min 0 s left"},
      {10, 16384, 4, "10 of 16384 blocks, 2.5 blocks/s, about 1 h 49 min left"},
      {16385, 16384, 120, "16384 of 16384 blocks, 137 blocks/s, about 0 s left"},  // never past the end
  };
  for (const Case& c : cases) EXPECT_EQ(ProgressText(c.done, c.count, c.elapsed), c.text);
}

}  // namespace
}  // namespace vorn
