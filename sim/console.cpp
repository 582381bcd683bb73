#include "sim/console.h"

#include <poll.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

namespace vsim {
namespace {

using Clock = WireSchedule::Clock;

// Waits in short slices so that a stop request is noticed quickly.
constexpr auto kSlice = std::chrono::milliseconds(20);
// A sleeping thread wakes some tens of microseconds late. Where the line turns
// round (the last byte of what one side sends) that lateness would add up over
// thousands of short blocks, so the last stretch before such a moment is spun.
constexpr auto kSpin = std::chrono::microseconds(100);

// Sleeps until `until`, spinning through its last kSpin.
void SleepUntilExactly(Clock::time_point until) {
  if (until - Clock::now() > kSpin) std::this_thread::sleep_until(until - kSpin);
  while (Clock::now() < until) {
  }
}

timespec ToTimespec(Clock::duration d) {
  if (d < Clock::duration::zero()) d = Clock::duration::zero();
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
  return timespec{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
}

// A paced line wakes every byte time; the default timer slack of 50 us would
// be a third of one at 57600 baud. Set once for each thread that uses the line.
void FineTimers() {
#ifdef __linux__
  thread_local bool done = false;
  if (!done) prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  done = true;
#endif
}

}  // namespace

Console::Console(int fd, const std::atomic<bool>* stop, Observer onReceived, uint32_t baud,
                 uint32_t adapterLatencyMs, double noiseRate, uint64_t noiseSeed)
    : fd_(fd),
      stop_(stop),
      onReceived_(std::move(onReceived)),
      inbound_(baud),
      // Each direction its own errors, both from the one seed.
      inboundNoise_(noiseRate, noiseSeed),
      outbound_(baud),
      outboundNoise_(noiseRate, noiseSeed ^ 0x9E3779B97F4A7C15ull),
      adapter_(adapterLatencyMs, Clock::now()) {}

void Console::Take() {
  uint8_t buf[512];
  for (;;) {
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n <= 0) return;
    if (onReceived_) onReceived_(buf, size_t(n));
    inboundNoise_.Apply(buf, size_t(n));
    // All of them reached the pseudo-terminal by now; on a real line they follow one another.
    const Clock::time_point now = Clock::now();
    for (ssize_t i = 0; i < n; ++i) pending_.push_back({buf[i], inbound_.Next(now)});
    if (size_t(n) < sizeof buf) return;
  }
}

void Console::WaitInput(Clock::time_point until) {
  pollfd p{fd_, POLLIN, 0};
  // Sub-millisecond: a paced byte is due every 87 to 174 microseconds at the usual speeds.
  const timespec wait = ToTimespec(until - Clock::now());
  const int r = ::ppoll(&p, 1, &wait, nullptr);
  if (r > 0 && (p.revents & POLLIN)) {
    Take();
  } else if (r > 0) {
    // A hang-up without data: cannot happen while a slave is held open, but never spin on it.
    std::this_thread::sleep_for(kSlice);
  }
}

bool Console::ReadByte(uint8_t* b, int timeoutMs) {
  if (inbound_.Baud()) FineTimers();
  const bool bounded = timeoutMs >= 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(bounded ? timeoutMs : 0);
  for (;;) {
    if (Stopping()) return false;
    // Bytes already taken are served without a system call; WaitInput takes
    // new ones the moment they come, so their crossing times start on time.
    if (pending_.empty()) Take();
    const Clock::time_point now = Clock::now();
    if (!pending_.empty() && pending_.front().due <= now) {
      *b = pending_.front().byte;
      pending_.pop_front();
      return true;
    }
    if (bounded && now >= deadline) return false;
    // Only the last byte taken so far may be where the line turns round (see
    // kSpin); one with others behind it need not be taken to the microsecond.
    const auto spin = pending_.size() == 1 ? kSpin : Clock::duration::zero();
    if (!pending_.empty() && pending_.front().due - now <= spin && (!bounded || pending_.front().due <= deadline))
      continue;  // due in a moment: spin to it
    Clock::time_point wake = now + kSlice;
    if (!pending_.empty()) wake = std::min(wake, pending_.front().due - spin);
    if (bounded) wake = std::min(wake, deadline);
    WaitInput(wake);
  }
}

size_t Console::Read(uint8_t* buf, size_t n, int firstMs, int interByteMs) {
  size_t got = 0;
  while (got < n) {
    if (!ReadByte(buf + got, got == 0 ? firstMs : interByteMs)) break;
    ++got;
    got += TakeTaken(buf + got, n - got, interByteMs);
  }
  return got;
}

size_t Console::TakeTaken(uint8_t* buf, size_t n, int interByteMs) {
  // Bytes already taken follow one another a byte time apart: when that is
  // inside the inter-byte time-out, none of them can miss it, so one wait for
  // the last of them does instead of one wake-up per byte.
  const uint32_t baud = inbound_.Baud();
  if (baud && uint64_t(baud) * uint64_t(interByteMs) <= 10'000) return 0;
  const size_t k = std::min(n, pending_.size());
  if (k == 0) return 0;
  const Clock::time_point due = pending_[k - 1].due;
  for (Clock::time_point now = Clock::now(); now < due; now = Clock::now()) {
    if (Stopping()) return 0;
    if (due - now > kSpin) WaitInput(due - kSpin);  // then spin (see kSpin)
  }
  for (size_t i = 0; i < k; ++i) {
    buf[i] = pending_.front().byte;
    pending_.pop_front();
  }
  return k;
}

void Console::Drain(int quietMs, int maxMs) {
  // Byte by byte, so that on a paced line draining takes the bytes' wire time.
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(maxMs);
  uint8_t b;
  while (!Stopping()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || !ReadByte(&b, int(std::min<long long>(left, quietMs)))) break;
  }
}

bool Console::InputPending() {
  Take();
  return !pending_.empty() && pending_.front().due <= Clock::now();
}

void Console::Write(const std::string& bytes) {
  Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

void Console::Write(const uint8_t* data, size_t n) {
  std::lock_guard<std::mutex> lock(writeMu_);
  std::vector<uint8_t> damaged;
  if (outboundNoise_.Active()) {
    damaged.assign(data, data + n);
    outboundNoise_.Apply(damaged.data(), n);
    data = damaged.data();
  }
  if (adapter_.Active()) {
    WriteThroughAdapter(data, n);
    return;
  }
  if (outbound_.Baud() == 0) {
    Put(data, n);
    return;
  }
  // Each byte goes to the host when it has crossed the line; the ones that are
  // due together (the sleep may wake late) go in one write.
  FineTimers();
  const Clock::time_point handed = Clock::now();
  size_t sent = 0;
  Clock::time_point due = outbound_.Next(handed);
  while (sent < n) {
    if (sent + 1 == n)
      SleepUntilExactly(due);  // the line turns round after this one
    else
      std::this_thread::sleep_until(due);
    if (Stopping()) return;
    const Clock::time_point now = Clock::now();
    size_t ready = 1;
    Clock::time_point next{};
    while (sent + ready < n && (next = outbound_.Next(handed)) <= now) ++ready;
    if (!Put(data + sent, ready)) return;
    sent += ready;
    due = next;
  }
}

void Console::WriteThroughAdapter(const uint8_t* data, size_t n) {
  FineTimers();
  const Clock::time_point handed = Clock::now();
  std::vector<Clock::time_point> due(n);
  for (auto& t : due) t = outbound_.Next(handed);
  adapter_.Deliver(due);
  // The adapter hands over a packet at once: one write per group of equal times.
  for (size_t sent = 0; sent < n;) {
    size_t group = 1;
    while (sent + group < n && due[sent + group] == due[sent]) ++group;
    SleepUntilExactly(due[sent]);
    if (Stopping() || !Put(data + sent, group)) return;
    sent += group;
  }
}

bool Console::Put(const uint8_t* data, size_t n) {
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
    if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (Stopping() || Clock::now() >= giveUp) return false;
    pollfd p{fd_, POLLOUT, 0};
    ::poll(&p, 1, int(kSlice.count()));
  }
  return true;
}

}  // namespace vsim
