// Bit errors on a serial line: every bit of every byte flips on its own with
// a fixed probability. The flips follow from the seed and from how many bits
// have crossed, not from the clock, so a run with the same bytes and the same
// seed meets the same errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>

namespace vsim {

class LineNoise {
 public:
  // rate 0: a clean line.
  explicit LineNoise(double rate = 0, uint64_t seed = 1);

  bool Active() const { return rate_ > 0; }
  // Damages the bytes in place as they cross the line.
  void Apply(uint8_t* data, size_t n);
  // Bits flipped so far.
  uint64_t Flips() const { return flips_; }

 private:
  // Clean bits before the next flip: geometric, drawn from one uniform number.
  uint64_t DrawGap();

  double rate_;
  std::mt19937_64 random_;
  uint64_t gap_ = 0;  // clean bits left before the next flip
  uint64_t flips_ = 0;
};

}  // namespace vsim
