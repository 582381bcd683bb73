#include "link/byte_ring.h"

namespace vorn {

bool ByteRing::Put(uint8_t byte) {
  std::lock_guard<std::mutex> lock(mutex_);
  slots_[write_] = byte;
  write_ = (write_ + 1) % kSlots;
  if (write_ == read_) read_ = (read_ + 1) % kSlots;  // drop the oldest
  return true;
}

bool ByteRing::Get(uint8_t& byte) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (read_ == write_) return false;
  byte = slots_[read_];
  read_ = (read_ + 1) % kSlots;
  return true;
}

size_t ByteRing::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return (write_ + kSlots - read_) % kSlots;
}

}  // namespace vorn
