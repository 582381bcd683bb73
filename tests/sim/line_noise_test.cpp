// Bit errors on the simulated line: how many, and the same ones again from the same seed.
#include "sim/line_noise.h"

#include <gtest/gtest.h>

#include <vector>

namespace simtest {
namespace {

int BitsApart(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  int bits = 0;
  for (size_t i = 0; i < a.size(); ++i) bits += __builtin_popcount(unsigned(a[i] ^ b[i]));
  return bits;
}

// Sends `bytes` through noise in pieces of `piece` bytes.
std::vector<uint8_t> Through(double rate, uint64_t seed, std::vector<uint8_t> bytes, size_t piece) {
  vsim::LineNoise noise(rate, seed);
  for (size_t at = 0; at < bytes.size(); at += piece)
    noise.Apply(bytes.data() + at, std::min(piece, bytes.size() - at));
  return bytes;
}

TEST(LineNoise, FlipsBitsAtTheRateTheSameWayForTheSameSeed) {
  const std::vector<uint8_t> clean(1'000'000, 0x5A);  // 8,000,000 bits
  struct Case {
    double rate;
    int least, most;  // flips expected, within five standard deviations
  } const cases[] = {{0, 0, 0}, {1e-5, 66, 94}, {1e-3, 7550, 8450}, {0.5, 3'994'000, 4'006'000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    const std::vector<uint8_t> once = Through(c.rate, 7, clean, 1);
    const int flips = BitsApart(clean, once);
    EXPECT_GE(flips, c.least);
    EXPECT_LE(flips, c.most);
    // However the bytes are cut into writes, the same seed damages them alike.
    EXPECT_EQ(once, Through(c.rate, 7, clean, 4096));
    if (c.rate > 0) EXPECT_NE(once, Through(c.rate, 8, clean, 1));
  }
}

}  // namespace
}  // namespace simtest
