#pragma once
// The byte queue between the terminal's receive thread and its printer thread.
#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace vorn {

// First in, first out, safe between threads. When full, a new byte pushes out
// the oldest unread one, so the receiver never waits for the printer.
class ByteRing {
 public:
  static constexpr size_t kSlots = 4096;
  // One slot always stays free to tell a full ring from an empty one.
  static constexpr size_t kCapacity = kSlots - 1;

  // Always true: the ring never refuses a byte.
  bool Put(uint8_t byte);
  // The oldest unread byte; false when the ring is empty.
  bool Get(uint8_t& byte);
  size_t Count() const;

 private:
  mutable std::mutex mutex_;
  std::array<uint8_t, kSlots> slots_{};
  size_t write_ = 0;
  size_t read_ = 0;
};

}  // namespace vorn
