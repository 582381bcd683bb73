// Serial devices on Linux: termios for the line, poll for the time-outs, and
// the two locks other serial programs honour (flock on the device and a UUCP
// lock file), so the port is held exclusively even against root.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/posix/low_latency_posix.h"
#include "platform/posix/port_permission_posix.h"
#include "platform/serial_device.h"

namespace vorn::platform {
namespace {

using Clock = std::chrono::steady_clock;

std::string DevicePath(const std::string& portName) {
  if (!portName.empty() && portName.front() == '/') return portName;
  return "/dev/" + portName;
}

// "LCK..ttyUSB0", "LCK..pts_7": the device's canonical path below /dev with
// slashes made flat, so symlinks such as /dev/serial/by-id/... share one lock.
std::string LockFileName(const std::string& devicePath) {
  std::string path = devicePath;
  if (char* real = realpath(devicePath.c_str(), nullptr)) {
    path = real;
    free(real);
  }
  if (path.rfind("/dev/", 0) == 0) path.erase(0, 5);
  while (!path.empty() && path.front() == '/') path.erase(0, 1);
  std::replace(path.begin(), path.end(), '/', '_');
  return "LCK.." + path;
}

// The first lock directory that exists; empty when the host has none.
std::string LockDirectory() {
  for (const char* dir : {"/var/lock", "/run/lock"}) {
    struct stat st {};
    if (stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) return dir;
  }
  return {};
}

// The PID in a lock file (ASCII, as every current tool writes it); 0 when the
// file cannot be read or holds no usable PID.
pid_t ReadLockPid(const std::string& lockPath) {
  int fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return 0;
  char buf[64] = {};
  ssize_t n = read(fd, buf, sizeof buf - 1);
  close(fd);
  if (n <= 0) return 0;
  char* end = nullptr;
  long pid = strtol(buf, &end, 10);
  if (end == buf || pid <= 0 || pid > INT_MAX) return 0;
  return static_cast<pid_t>(pid);
}

bool ProcessExists(pid_t pid) { return kill(pid, 0) == 0 || errno == EPERM; }

// One line: why an open failed and what the user can do about it.
std::string OpenReason(int err, const std::string& path) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return "Reason: " + path + " does not exist; choose another port or check that the adapter is plugged in.";
    case EACCES:
    case EPERM:
      return PermissionDeniedReason(ReadDeviceAccess(path));
    case EBUSY:
    case EWOULDBLOCK:
      return "Reason: " + path + " is in use by another program; close it and try again.";
    case ENXIO:
    case ENODEV:
    case EIO:
      return "Reason: " + path + " has no device behind it; choose another port.";
    case ENOTTY:
      return "Reason: " + path + " is not a serial device; choose a serial port.";
    default:
      return "Reason: " + path + ": " + std::strerror(err) + ".";
  }
}

speed_t SpeedConstant(uint32_t baud) {
  switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
#ifdef B460800
    case 460800: return B460800;
#endif
#ifdef B500000
    case 500000: return B500000;
#endif
#ifdef B576000
    case 576000: return B576000;
#endif
#ifdef B921600
    case 921600: return B921600;
#endif
#ifdef B1000000
    case 1000000: return B1000000;
#endif
#ifdef B1152000
    case 1152000: return B1152000;
#endif
#ifdef B1500000
    case 1500000: return B1500000;
#endif
#ifdef B2000000
    case 2000000: return B2000000;
#endif
#ifdef B3000000
    case 3000000: return B3000000;
#endif
#ifdef B4000000
    case 4000000: return B4000000;
#endif
    default: return B0;
  }
}

// A plain byte stream: no echo, no line editing, no character translation, no
// software flow control (XON/XOFF would swallow bytes of binary transfers).
// The receiver stays on and modem lines are ignored, so a missing carrier
// neither blocks nor hangs up the port. Speed, framing and hardware flow
// control are left as they are. VMIN 1 makes a read with nothing to deliver
// fail with EAGAIN, which keeps a read of 0 meaning "hung up".
void MakeRaw(termios& tio) {
  const tcflag_t framing = tio.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB
#ifdef CMSPAR
                                          | CMSPAR
#endif
                                          );
  const speed_t ispeed = cfgetispeed(&tio);
  const speed_t ospeed = cfgetospeed(&tio);
  cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
  tio.c_cflag |= framing | CLOCAL | CREAD;
  cfsetispeed(&tio, ispeed);
  cfsetospeed(&tio, ospeed);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
}

// A hard error with the system's words for it.
TransferResult Broken(TransferResult result, const std::string& reason) {
  result.hardError = true;
  result.reason = reason;
  return result;
}
TransferResult Broken(TransferResult result, int err) { return Broken(std::move(result), std::strerror(err)); }
const char kHungUp[] = "the device hung up";

int PollMs(Clock::duration d) {
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
  if (ms < 0) return 0;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

class PosixSerialDevice final : public SerialDevice {
 public:
  ~PosixSerialDevice() override { Close(); }

  bool Open(const std::string& portName) override;
  OpenFailure LastOpenFailure() const override { return lastFailure_; }
  std::string LastOpenReason() const override { return reason_; }
  bool IsOpen() const override { return fd_ >= 0; }
  bool Close() override;
  bool SetLine(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits) override;
  bool SetTimeouts(uint32_t ms) override;
  TransferResult Write(const uint8_t* bytes, size_t count) override;
  TransferResult Read(uint8_t* buffer, size_t count) override;
  bool PurgeInput() override;

 private:
  bool Fail(OpenFailure why);
  bool Fail(OpenFailure why, int err, const std::string& path);
  // Creates the UUCP lock file; false (with lastFailure_ set) when another
  // live process, or this one, already holds it.
  bool TakeLockFile(const std::string& devicePath);
  void ReleaseLockFile();
  Clock::time_point Deadline(size_t count) const;
  // A poll time-out for the time left, cut to the wait slice.
  int SliceMs(Clock::duration left) const {
    return static_cast<int>(std::min<int64_t>(PollMs(left), WaitSliceMs()));
  }

  int fd_ = -1;
  std::string lockPath_;
  termios settings_{};
  // The line as it was found; put back at Close, so that probing or using a
  // port does not leave it changed for the program that uses it next.
  termios original_{};
  std::string reason_;
  // There are no driver-kept time-outs on this host; the value stays with the
  // device across a re-open, as a driver's would.
  uint32_t timeoutMs_ = 0;
  // How long one character takes on the line at the speed set; zero until
  // SetLine. A read that waits for the rest of a block sleeps through the
  // bytes still to come instead of waking for each of them.
  Clock::duration charTime_{};
  OpenFailure lastFailure_ = OpenFailure::None;
  // A USB adapter holds received bytes for its latency timer: asked down
  // while open, since every exchange waits for the controller's answer.
  LowLatencyRequest lowLatency_;
};

bool PosixSerialDevice::Fail(OpenFailure why) {
  lastFailure_ = why;
  return false;
}

bool PosixSerialDevice::Fail(OpenFailure why, int err, const std::string& path) {
  reason_ = OpenReason(err, path);
  return Fail(why);
}

bool PosixSerialDevice::Open(const std::string& portName) {
  // A second Open of the same object must neither leak nor drop the port.
  reason_.clear();
  if (fd_ >= 0) return Fail(OpenFailure::AccessDenied, EBUSY, DevicePath(portName));
  if (portName.empty()) return Fail(OpenFailure::NotFound, ENOENT, "the port");

  const std::string path = DevicePath(portName);
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    switch (err) {
      case ENOENT:
      case ENODEV:
      case ENXIO:
      case ENOTDIR:
      case EIO:  // a UART slot without hardware
        return Fail(OpenFailure::NotFound, err, path);
      case EBUSY:
      case EACCES:
      case EPERM:
        return Fail(OpenFailure::AccessDenied, err, path);
      default:
        return Fail(OpenFailure::Other, err, path);
    }
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    close(fd);
    return Fail(err == EWOULDBLOCK ? OpenFailure::AccessDenied : OpenFailure::Other, err, path);
  }
  if (!TakeLockFile(path)) {
    close(fd);
    reason_ = OpenReason(EBUSY, path);
    return false;
  }
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    const int err = errno;
    close(fd);
    ReleaseLockFile();
    return Fail(OpenFailure::Other, err, path);
  }
  original_ = tio;
  MakeRaw(tio);
  if (tcsetattr(fd, TCSANOW, &tio) != 0 || tcgetattr(fd, &settings_) != 0) {
    const int err = errno;
    tcsetattr(fd, TCSANOW, &original_);
    close(fd);
    ReleaseLockFile();
    return Fail(OpenFailure::Other, err, path);
  }
  fd_ = fd;
  lastFailure_ = OpenFailure::None;
  lowLatency_.Apply(fd, path);
  return true;
}

bool PosixSerialDevice::TakeLockFile(const std::string& devicePath) {
  const std::string dir = LockDirectory();
  if (dir.empty()) return true;
  const std::string lockPath = dir + "/" + LockFileName(devicePath);

  // Two rounds: the second follows the removal of a stale file.
  for (int round = 0; round < 2; ++round) {
    int fd = open(lockPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd >= 0) {
      char line[16];
      int len = std::snprintf(line, sizeof line, "%10d\n", static_cast<int>(getpid()));
      bool written = write(fd, line, static_cast<size_t>(len)) == len;
      close(fd);
      if (!written) {
        unlink(lockPath.c_str());
        return true;  // a full disk must not make the port unusable
      }
      lockPath_ = lockPath;
      return true;
    }
    if (errno != EEXIST) return true;  // lock directory not writable: go without

    const pid_t owner = ReadLockPid(lockPath);
    // Unreadable or half-written files count as held: their writer may still
    // be at work.
    if (owner == 0 || owner == getpid() || ProcessExists(owner)) {
      return Fail(OpenFailure::AccessDenied);
    }
    if (unlink(lockPath.c_str()) != 0 && errno != ENOENT) {
      return Fail(OpenFailure::AccessDenied);
    }
  }
  return Fail(OpenFailure::AccessDenied);
}

void PosixSerialDevice::ReleaseLockFile() {
  if (lockPath_.empty()) return;
  // Only our own file: never remove a lock another process took after us.
  if (ReadLockPid(lockPath_) == getpid()) unlink(lockPath_.c_str());
  lockPath_.clear();
}

bool PosixSerialDevice::Close() {
  if (fd_ < 0) return true;
  // Bytes still queued for sending would go out at the restored speed; give
  // them a moment, but never wait on a line that flow control holds up.
  for (int i = 0; i < 200; ++i) {
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  tcsetattr(fd_, TCSANOW, &original_);
  lowLatency_.Restore(fd_);
  flock(fd_, LOCK_UN);
  // Linux releases the descriptor even when close reports an error.
  const bool ok = close(fd_) == 0;
  fd_ = -1;
  ReleaseLockFile();
  return ok;
}

bool PosixSerialDevice::SetLine(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits) {
  if (fd_ < 0) return false;
  const speed_t speed = SpeedConstant(baud);
  if (speed == B0) return false;

  tcflag_t size = 0;
  switch (byteSize) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return false;
  }
  // 0 none, 1 odd, 2 even, 3 mark, 4 space
  tcflag_t parityFlags = 0;
  switch (parity) {
    case 0: break;
    case 1: parityFlags = PARENB | PARODD; break;
    case 2: parityFlags = PARENB; break;
#ifdef CMSPAR
    case 3: parityFlags = PARENB | CMSPAR | PARODD; break;
    case 4: parityFlags = PARENB | CMSPAR; break;
#endif
    default: return false;
  }
  // 0 one, 1 one and a half (not available here), 2 two
  tcflag_t stopFlags = 0;
  switch (stopBits) {
    case 0: break;
    case 2: stopFlags = CSTOPB; break;
    default: return false;
  }

  termios tio = settings_;
  MakeRaw(tio);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB
#ifdef CMSPAR
                   | CMSPAR
#endif
                   );
  tio.c_cflag |= size | parityFlags | stopFlags;
  if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0) return false;
  if (tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
  tcgetattr(fd_, &settings_);
  const uint32_t frameBits = 1u + byteSize + (parity ? 1u : 0u) + (stopBits ? 2u : 1u);
  charTime_ = std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(1'000'000'000ull * frameBits / baud));
  return true;
}

bool PosixSerialDevice::SetTimeouts(uint32_t ms) {
  timeoutMs_ = ms;
  return fd_ >= 0;
}

Clock::time_point PosixSerialDevice::Deadline(size_t count) const {
  // ms * n + ms, as a driver with all time-outs set to ms computes it.
  // Capped at about a year, far beyond any real transfer, to stay in range.
  const uint64_t total = std::min<uint64_t>(
      static_cast<uint64_t>(timeoutMs_) * (std::min<uint64_t>(count, UINT32_MAX) + 1),
      uint64_t{1} << 35);
  return Clock::now() + std::chrono::milliseconds(total);
}

TransferResult PosixSerialDevice::Read(uint8_t* buffer, size_t count) {
  TransferResult result;
  if (fd_ < 0 || count == 0) return result;

  const Clock::time_point deadline = Deadline(count);
  const auto gap = std::chrono::milliseconds(timeoutMs_);
  Clock::time_point lastByte{};
  bool hungUp = false;

  while (result.transferred < count) {
    ssize_t n = read(fd_, buffer + result.transferred, count - result.transferred);
    if (n > 0) {
      result.transferred += static_cast<size_t>(n);
      lastByte = Clock::now();
      continue;
    }
    if (n == 0) {
      // End of file on a tty means it was hung up: the device is gone.
      return Broken(result, kHungUp);
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return Broken(result, errno);
    if (hungUp) return Broken(result, kHungUp);
    if (timeoutMs_ == 0) return result;  // only what was already there

    const Clock::time_point now = Clock::now();
    Clock::time_point until = deadline;
    if (result.transferred > 0) until = std::min(until, lastByte + gap);
    if (now >= until) return result;

    // Part of a block is in and the rest is on its way: sleep until all but
    // its last byte should be there, then wait for that one, so a block costs
    // three wake-ups, not one per byte, and the last byte is still taken the
    // moment it comes.
    const size_t missing = count - result.transferred;
    if (result.transferred > 0 && missing >= 3 && charTime_.count() > 0) {
      const Clock::time_point slice =
          now + std::chrono::milliseconds(WaitSliceMs() == UINT32_MAX ? 1000 : WaitSliceMs());
      const Clock::time_point rest =
          std::min({Clock::time_point(lastByte + charTime_ * (missing - 1)), until, slice});
      if (rest - now > charTime_) {
        std::this_thread::sleep_until(rest);
        continue;
      }
    }

    pollfd pfd{fd_, POLLIN, 0};
    int r = poll(&pfd, 1, SliceMs(until - now));
    if (r < 0) {
      if (errno == EINTR) continue;
      return Broken(result, errno);
    }
    if (r == 0) Waiting();
    // Data that arrived before a hang-up is still delivered; the next read
    // then reports the hang-up, and an empty one ends the transfer.
    if (r > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))) {
      if (!(pfd.revents & POLLIN)) return Broken(result, (pfd.revents & POLLHUP) ? kHungUp : "I/O error");
      hungUp = true;
    }
  }
  return result;
}

TransferResult PosixSerialDevice::Write(const uint8_t* bytes, size_t count) {
  TransferResult result;
  if (fd_ < 0 || count == 0) return result;

  const Clock::time_point deadline = Deadline(count);
  while (result.transferred < count) {
    ssize_t n = write(fd_, bytes + result.transferred, count - result.transferred);
    if (n > 0) {
      result.transferred += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Broken(result, errno);
    if (timeoutMs_ == 0) return result;  // only what the driver takes at once

    const Clock::time_point now = Clock::now();
    if (now >= deadline) return result;
    pollfd pfd{fd_, POLLOUT, 0};
    int r = poll(&pfd, 1, SliceMs(deadline - now));
    if (r < 0) {
      if (errno == EINTR) continue;
      return Broken(result, errno);
    }
    if (r == 0) Waiting();
    if (r > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)))
      return Broken(result, (pfd.revents & POLLHUP) ? kHungUp : "I/O error");
  }
  return result;
}

bool PosixSerialDevice::PurgeInput() { return fd_ >= 0 && tcflush(fd_, TCIFLUSH) == 0; }

// Orders "ttyS2" before "ttyS10".
bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (da && db) {
      size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
      na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
      nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

bool IsSerialName(const std::string& name) {
  static const char* const kPrefixes[] = {
      "ttyS", "ttyUSB", "ttyACM", "ttyAMA", "rfcomm", "ttyXRUSB", "ttySAC",
      "ttymxc", "ttyO", "ttyTHS", "ttyHS", "ttyMSM", "ttyLP", "ttySC",
  };
  for (const char* prefix : kPrefixes) {
    const std::string p = prefix;
    if (name.size() > p.size() && name.compare(0, p.size(), p) == 0 &&
        std::all_of(name.begin() + static_cast<std::ptrdiff_t>(p.size()), name.end(),
                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
      return true;
    }
  }
  return false;
}

// The kernel creates ttyS nodes for UART slots that have no hardware behind
// them; sysfs reports those with port type 0.
bool IsUartWithoutHardware(const std::string& name) {
  if (name.rfind("ttyS", 0) != 0) return false;
  std::ifstream type("/sys/class/tty/" + name + "/type");
  int value = -1;
  return (type >> value) && value == 0;
}

}  // namespace

std::unique_ptr<SerialDevice> CreateSerialDevice() { return std::make_unique<PosixSerialDevice>(); }

std::vector<std::string> CandidatePortNames() {
  std::vector<std::string> names;
  if (DIR* dir = opendir("/dev")) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (IsSerialName(name) && !IsUartWithoutHardware(name)) names.push_back(std::move(name));
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  return names;
}

std::string StablePortName(const std::string& portName, const std::string& linkFolder) {
  const std::string folder = linkFolder.empty() ? std::string("/dev/serial/by-id") : linkFolder;
  char device[PATH_MAX];
  if (!realpath(DevicePath(portName).c_str(), device)) return {};
  std::vector<std::string> links;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      const std::string link = folder + "/" + entry->d_name;
      char target[PATH_MAX];
      if (realpath(link.c_str(), target) && std::strcmp(target, device) == 0) links.push_back(link);
    }
    closedir(dir);
  }
  // Several links to one device: the same one every time.
  std::sort(links.begin(), links.end());
  return links.empty() ? std::string() : links.front();
}

}  // namespace vorn::platform
