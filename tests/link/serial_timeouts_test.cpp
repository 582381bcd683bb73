// The port's time-outs on the host's own serial device, for every value the
// utility sets. On POSIX hosts the other end is a pseudo-terminal's master; on
// Windows it is the second port of a linked pair (a null-modem cable or a
// virtual pair) named by VORN_TEST_COM_PAIR="COM6,COM7".
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "link/serial_port.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace vorn {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The port under test and the far end of its line.
class Line {
 public:
  ~Line() {
    if (port_) port_->Close();
#ifdef _WIN32
    if (far_) far_->Close();
#else
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
#endif
  }

  // Empty when the line is there; otherwise why not.
  std::string Open() {
    std::string name;
#ifdef _WIN32
    const char* pair = std::getenv("VORN_TEST_COM_PAIR");
    const std::string names = pair ? pair : "";
    const auto comma = names.find(',');
    if (comma == std::string::npos) return "VORN_TEST_COM_PAIR names no pair of linked ports";
    name = names.substr(0, comma);
    far_ = std::make_unique<SerialPort>(names.substr(comma + 1));
    if (!far_->Open() || !ConfigureControllerLine(*far_) || !far_->SetTimeouts(500)) return "cannot open the far end";
#else
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return "no pseudo-terminal";
    name = ptsname(master_);
    // Our own slave descriptor keeps the slave's settings alive.
    slave_ = open(name.c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    tcgetattr(slave_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
#endif
    port_ = std::make_unique<SerialPort>(name);
    if (!port_->Open() || !ConfigureControllerLine(*port_)) return "cannot open " + name;
    // Nothing left over from an earlier test on the same line.
    std::this_thread::sleep_for(50ms);
    port_->PurgeInput();
    return {};
  }

  SerialPort& Port() { return *port_; }

  void Send(const std::string& bytes) {
#ifdef _WIN32
    ASSERT_TRUE(far_->Write(bytes));
#else
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
#endif
  }

  std::string Receive(size_t count) {
    std::string got(count, '\0');
#ifdef _WIN32
    if (!far_->ReadExact(reinterpret_cast<uint8_t*>(got.data()), count)) return {};
#else
    size_t have = 0;
    while (have < count) {
      pollfd pfd{master_, POLLIN, 0};
      if (poll(&pfd, 1, 1000) <= 0) return {};
      const ssize_t n = read(master_, got.data() + have, count - have);
      if (n <= 0) return {};
      have += static_cast<size_t>(n);
    }
#endif
    return got;
  }

  // Runs a read that must end by itself within limit. A read that does not
  // is released by bytes from the far end, so the test fails instead of hanging.
  std::optional<bool> EndsWithin(std::chrono::milliseconds limit, std::function<bool()> read, long* tookMs) {
    const auto start = Clock::now();
    auto result = std::async(std::launch::async, std::move(read));
    if (result.wait_for(limit) != std::future_status::ready) {
      Send(std::string(2048, '\r'));
      result.wait();
      return std::nullopt;
    }
    *tookMs = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    return result.get();
  }

 private:
  std::unique_ptr<SerialPort> port_;
#ifdef _WIN32
  std::unique_ptr<SerialPort> far_;
#else
  int master_ = -1;
  int slave_ = -1;
#endif
};

// A silent line ends a one-byte read after twice the time-out (the gap and the
// total limit of one byte); 0 returns at once on every host.
TEST(SerialTimeouts, SilentLineEndsAOneByteReadInTime) {
  for (uint32_t ms : {0u, 1u, 200u, 500u, 1000u}) {
    SCOPED_TRACE("time-out " + std::to_string(ms) + " ms");
    Line line;
    if (const std::string why = line.Open(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(line.Port().SetTimeouts(ms));
    EXPECT_EQ(line.Port().Timeout(), ms);
    uint8_t byte = 0;
    long took = 0;
    const auto ended =
        line.EndsWithin(std::chrono::milliseconds(2 * ms + 3000), [&] { return line.Port().ReadExact(&byte, 1); },
                        &took);
    ASSERT_TRUE(ended.has_value()) << "the read waited without limit";
    EXPECT_FALSE(*ended);
    if (ms >= 200) {
      EXPECT_GE(took, static_cast<long>(ms * 2 * 3 / 4));
    }
    EXPECT_LE(took, static_cast<long>(2 * ms + 1000));
  }
}

// With 0 a read takes what has arrived and never waits for more; writes still
// go out whole.
TEST(SerialTimeouts, ZeroReturnsWithWhatHasArrived) {
  Line line;
  if (const std::string why = line.Open(); !why.empty()) GTEST_SKIP() << why;
  SerialPort& port = line.Port();
  ASSERT_TRUE(port.SetTimeouts(0));

  line.Send("abc\r");
  std::this_thread::sleep_for(300ms);
  std::string text;
  long took = 0;
  auto ended = line.EndsWithin(3s, [&] { return port.ReadLine(1024, text); }, &took);
  ASSERT_TRUE(ended.has_value()) << "the read waited without limit";
  EXPECT_TRUE(*ended);
  EXPECT_EQ(text, "abc\r");

  line.Send("de");
  std::this_thread::sleep_for(300ms);
  ended = line.EndsWithin(3s, [&] { return port.ReadLine(1024, text); }, &took);
  ASSERT_TRUE(ended.has_value()) << "a partial line waited without limit";
  EXPECT_FALSE(*ended);
  EXPECT_EQ(text, "de");

  EXPECT_TRUE(port.Write(std::string("xyz")));
  EXPECT_EQ(line.Receive(3), "xyz");
}

}  // namespace
}  // namespace vorn
