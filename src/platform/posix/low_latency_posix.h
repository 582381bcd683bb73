#pragma once
// Asks a USB-serial device for low latency while the port is open, and puts
// back what it found when the port closes. Every step may fail (no such
// driver, no rights): that only leaves the latency as it was.
#include <optional>
#include <string>

namespace vorn::platform {

class LowLatencyRequest {
 public:
  // sysfsRoot: where /sys is (tests give a folder of their own).
  explicit LowLatencyRequest(std::string sysfsRoot = "/sys") : sysfsRoot_(std::move(sysfsRoot)) {}
  void Apply(int fd, const std::string& devicePath);
  void Restore(int fd);

 private:
  std::string sysfsRoot_;
  bool flagSet_ = false;          // this open set the driver's low-latency flag
  std::string timerPath_;         // the latency_timer this open lowered
  std::string timerWas_;          // and its value before
};

// The latency_timer file of a tty device, or "" when the driver has none.
std::string LatencyTimerPath(const std::string& sysfsRoot, const std::string& devicePath);

}  // namespace vorn::platform
