// Ports on a serial device server: the port names taken, and the time-out
// arithmetic, a dropped connection and a second user against a local TCP
// server that plays the device server.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "link/serial_port.h"
#include "platform/network_device.h"

namespace vorn {
namespace {

using Clock = std::chrono::steady_clock;

TEST(NetworkPortName, SchemesHostsAndPorts) {
  struct Case {
    const char* name;
    bool valid;
    bool telnet;
    const char* host;
    int port;
  };
  const Case cases[] = {
      {"socket://127.0.0.1:4001", true, false, "127.0.0.1", 4001},
      {"RFC2217://site-7.example:2217/", true, true, "site-7.example", 2217},
      {"rfc2217://[::1]:65535", true, true, "::1", 65535},
      {"socket://127.0.0.1", false, false, "", 0},
      {"socket://:4001", false, false, "", 0},
      {"socket://host:0", false, false, "", 0},
      {"socket://host:65536", false, false, "", 0},
      {"socket://host:40x1", false, false, "", 0},
      {"socket://::1:4001", false, false, "", 0},  // IPv6 without brackets
      {"socket://user@host:4001", false, false, "", 0},
      {"/dev/ttyUSB0", false, false, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto address = platform::ParseNetworkPortName(c.name);
    ASSERT_EQ(address.has_value(), c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(address->telnet, c.telnet);
    EXPECT_EQ(address->host, c.host);
    EXPECT_EQ(address->port, c.port);
  }
  EXPECT_TRUE(platform::IsNetworkPortName("socket://nothing"));  // never taken for a device path
  EXPECT_FALSE(platform::IsNetworkPortName("ttyS0"));
}

// A TCP server on 127.0.0.1 that runs script on each connection it accepts.
class FakeServer {
 public:
  explicit FakeServer(std::function<void(int)> script) : script_(std::move(script)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener_, 4);
    socklen_t len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] {
      for (;;) {
        const int fd = accept(listener_, nullptr, nullptr);
        if (fd < 0) return;
        script_(fd);
        close(fd);
      }
    });
  }
  ~FakeServer() {
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    thread_.join();
  }
  std::string Name() const { return "socket://127.0.0.1:" + std::to_string(port_); }

 private:
  std::function<void(int)> script_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The same arithmetic as a local port: n bytes within ms*n+ms, and no more
// than ms between two bytes.
TEST(NetworkPort, TimeOutsAsOnASerialLine) {
  FakeServer server([](int fd) {
    char c;
    // Three bytes after the first byte from the host, then silence until it hangs up.
    if (read(fd, &c, 1) == 1) (void)!write(fd, "abc", 3);
    while (read(fd, &c, 1) > 0) {
    }
  });
  struct Case {
    uint32_t ms;
    size_t count;
    bool poke;  // send a byte first, so that three bytes come
    double atLeast, below;
  };
  const Case cases[] = {
      {200, 1, false, 380, 700},   // a silent line: 2 x ms for one byte
      {0, 1, false, 0, 50},        // 0: only what is there
      {100, 10, true, 90, 400},    // three bytes, then the gap ends it, not 11 x ms
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ms);
    SerialPort port(server.Name());
    ASSERT_TRUE(port.Open()) << port.OpenFailureReason();
    ASSERT_TRUE(port.SetTimeouts(c.ms));
    if (c.poke) {
      ASSERT_TRUE(port.WriteByte('x'));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    uint8_t buffer[16];
    const auto start = Clock::now();
    EXPECT_FALSE(port.ReadExact(buffer, c.count));
    const double took = MsSince(start);
    EXPECT_GE(took, c.atLeast);
    EXPECT_LT(took, c.below);
    EXPECT_TRUE(port.LostReason().empty());
    port.Close();
  }
}

TEST(NetworkPort, SecondUserAndDroppedConnection) {
  FakeServer server([](int fd) {
    char c;
    if (read(fd, &c, 1) == 1) (void)!write(fd, "ok", 2);  // and then hangs up
  });
  SerialPort first(server.Name());
  ASSERT_TRUE(first.Open());
  // Inside one program the port is held as a device would be.
  SerialPort second(server.Name());
  EXPECT_FALSE(second.Open());
  EXPECT_EQ(second.LastOpenFailure(), platform::OpenFailure::AccessDenied);
  EXPECT_NE(second.OpenFailureReason().find("in use by this program"), std::string::npos);

  first.SetTimeouts(500);
  ASSERT_TRUE(first.WriteByte('x'));
  uint8_t reply[2];
  EXPECT_TRUE(first.ReadExact(reply, 2));  // what came before the hang-up still counts
  const auto start = Clock::now();
  EXPECT_FALSE(first.ReadExact(reply, 1));
  EXPECT_LT(MsSince(start), 400);  // at once, not after the time-out
  EXPECT_NE(first.LostReason().find("127.0.0.1 port"), std::string::npos) << first.LostReason();
  first.Close();

  SerialPort nobody("socket://127.0.0.1:1");
  EXPECT_FALSE(nobody.Open());
  EXPECT_EQ(nobody.OpenFailureReason(), "Reason: cannot connect to 127.0.0.1 port 1: Connection refused.");
}

}  // namespace
}  // namespace vorn
