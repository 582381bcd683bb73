#include "sim/line_noise.h"

#include <cmath>
#include <limits>

namespace vsim {

LineNoise::LineNoise(double rate, uint64_t seed) : rate_(rate), random_(seed) {
  if (Active()) gap_ = DrawGap();
}

uint64_t LineNoise::DrawGap() {
  if (rate_ >= 1) return 0;
  // 53 random bits as a number in (0, 1]; log of it over log(1 - rate) is
  // the number of clean bits before the next flip.
  const double u = double((random_() >> 11) + 1) / 9007199254740992.0;
  const double gap = std::floor(std::log(u) / std::log1p(-rate_));
  return gap >= double(std::numeric_limits<uint64_t>::max() / 2) ? std::numeric_limits<uint64_t>::max() / 2
                                                                    : uint64_t(gap);
}

void LineNoise::Apply(uint8_t* data, size_t n) {
  if (!Active()) return;
  uint64_t bits = uint64_t(n) * 8;
  uint64_t at = 0;
  while (gap_ < bits - at) {
    at += gap_;
    data[at / 8] ^= uint8_t(1u << (at % 8));
    ++flips_;
    ++at;
    gap_ = DrawGap();
  }
  gap_ -= bits - at;
}

}  // namespace vsim
