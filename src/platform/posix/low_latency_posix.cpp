#include "platform/posix/low_latency_posix.h"

#include <sys/ioctl.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

#include <climits>
#include <cstdlib>
#include <fstream>

#include "platform/adapter_latency.h"

namespace vorn::platform {

namespace {

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

bool WriteValue(const std::string& path, const std::string& value) {
  std::ofstream out(path);
  out << value << '\n';
  out.flush();
  return bool(out);
}

}  // namespace

std::string LatencyTimerPath(const std::string& sysfsRoot, const std::string& devicePath) {
  // Through /dev/serial/by-id/... links to the kernel's name (ttyUSB0).
  std::string real = devicePath;
  if (char* r = realpath(devicePath.c_str(), nullptr)) {
    real = r;
    free(r);
  }
  const std::string name = real.substr(real.find_last_of('/') + 1);
  if (name.empty()) return {};
  const std::string path = sysfsRoot + "/class/tty/" + name + "/device/latency_timer";
  return access(path.c_str(), R_OK) == 0 ? path : std::string();
}

void LowLatencyRequest::Apply(int fd, const std::string& devicePath) {
#ifdef __linux__
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) == 0 && !(serial.flags & ASYNC_LOW_LATENCY)) {
    serial.flags |= ASYNC_LOW_LATENCY;
    flagSet_ = ioctl(fd, TIOCSSERIAL, &serial) == 0;
  }
#endif
  const std::string timer = LatencyTimerPath(sysfsRoot_, devicePath);
  if (timer.empty()) return;
  const std::string was = ReadFirstLine(timer);
  if (was.empty() || was == "1" || was == "0") return;
  if (WriteValue(timer, "1")) {
    timerPath_ = timer;
    timerWas_ = was;
  }
}

void LowLatencyRequest::Restore(int fd) {
#ifdef __linux__
  if (flagSet_) {
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) == 0) {
      serial.flags &= ~ASYNC_LOW_LATENCY;
      ioctl(fd, TIOCSSERIAL, &serial);
    }
  }
#endif
  flagSet_ = false;
  if (!timerPath_.empty()) WriteValue(timerPath_, timerWas_);
  timerPath_.clear();
  timerWas_.clear();
}

std::optional<uint32_t> AdapterLatencyMs(const std::string& portName) {
  const std::string device = !portName.empty() && portName.front() == '/' ? portName : "/dev/" + portName;
  const std::string timer = LatencyTimerPath("/sys", device);
  if (timer.empty()) return std::nullopt;
  // Opening the port lowers a timer this user may write (LowLatencyRequest).
  if (access(timer.c_str(), W_OK) == 0) return 1;
  const std::string text = ReadFirstLine(timer);
  char* end = nullptr;
  const unsigned long ms = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || *end || ms > 255) return std::nullopt;
  return static_cast<uint32_t>(ms);
}

}  // namespace vorn::platform
