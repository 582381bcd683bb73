#include "sim/console.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace vsim {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : int(left);
}

// Polls in short slices so that a stop request is noticed quickly.
constexpr int kSliceMs = 20;

}  // namespace

Console::Console(int fd, const std::atomic<bool>* stop, Observer onReceived)
    : fd_(fd), stop_(stop), onReceived_(std::move(onReceived)) {}

bool Console::Fill(int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    if (Stopping()) return false;
    int slice = kSliceMs;
    if (timeoutMs >= 0) {
      int left = MsLeft(deadline);
      if (left < slice) slice = left;
    }
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, slice);
    if (r > 0 && (p.revents & POLLIN)) {
      uint8_t buf[512];
      ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n > 0) {
        if (onReceived_) onReceived_(buf, size_t(n));
        pending_.insert(pending_.end(), buf, buf + n);
        return true;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) {
        // EIO while no slave is open cannot happen (we hold one), but never spin on it.
        ::usleep(kSliceMs * 1000);
      }
    } else if (r > 0) {
      ::usleep(kSliceMs * 1000);
    }
    if (timeoutMs >= 0 && MsLeft(deadline) == 0) return false;
  }
}

bool Console::ReadByte(uint8_t* b, int timeoutMs) {
  if (pending_.empty() && !Fill(timeoutMs)) return false;
  *b = pending_.front();
  pending_.pop_front();
  return true;
}

size_t Console::Read(uint8_t* buf, size_t n, int firstMs, int interByteMs) {
  size_t got = 0;
  while (got < n) {
    if (!ReadByte(buf + got, got == 0 ? firstMs : interByteMs)) break;
    ++got;
  }
  return got;
}

void Console::Drain(int quietMs, int maxMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(maxMs);
  pending_.clear();
  while (!Stopping() && Clock::now() < deadline) {
    if (!Fill(quietMs)) break;
    pending_.clear();
  }
}

bool Console::InputPending() { return !pending_.empty() || Fill(0); }

void Console::Write(const std::string& bytes) {
  Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

void Console::Write(const uint8_t* data, size_t n) {
  std::lock_guard<std::mutex> lock(writeMu_);
  // Like a serial line without flow control: if the host does not take the bytes
  // for a while, the rest is lost rather than stalling the controller forever.
  auto giveUp = Clock::now() + std::chrono::seconds(2);
  while (n > 0) {
    ssize_t w = ::write(fd_, data, n);
    if (w > 0) {
      data += w;
      n -= size_t(w);
      giveUp = Clock::now() + std::chrono::seconds(2);
      continue;
    }
    if (w < 0 && errno != EAGAIN && errno != EINTR) return;
    if (Stopping() || Clock::now() >= giveUp) return;
    pollfd p{fd_, POLLOUT, 0};
    ::poll(&p, 1, kSliceMs);
  }
}

}  // namespace vsim
