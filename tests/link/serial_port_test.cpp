// SerialPort on real pseudo-terminals: the test holds the master end and plays
// the controller; the port under test opens the slave path.
#include "link/serial_port.h"
#include "platform/adapter_latency.h"
#include "platform/posix/low_latency_posix.h"
#include "platform/posix/port_permission_posix.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

namespace vorn {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using platform::OpenFailure;

long MsSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    path_ = ptsname(master_);
    // Our own slave descriptor keeps the slave's settings alive between opens.
    slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave_, 0);
    termios tio{};
    tcgetattr(slave_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
  }
  void TearDown() override {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }

  void Send(const std::string& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  std::string Receive(size_t count, int timeoutMs = 500) {
    std::string got;
    while (got.size() < count) {
      pollfd pfd{master_, POLLIN, 0};
      if (poll(&pfd, 1, timeoutMs) <= 0) break;
      char buf[256];
      ssize_t n = read(master_, buf, std::min(sizeof buf, count - got.size()));
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
    return got;
  }
  std::string LockFile() const {
    std::string name = path_.substr(5);  // below /dev/
    for (char& c : name) if (c == '/') c = '_';
    return "/var/lock/LCK.." + name;
  }
  static bool LockDirWritable() { return access("/var/lock/", W_OK) == 0; }

  // An open, configured port with the given time-out.
  void OpenPort(SerialPort& port, uint32_t ms) {
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(ConfigureControllerLine(port));
    ASSERT_TRUE(port.SetTimeouts(ms));
  }

  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

TEST_F(PtyTest, SilentLineTimesOutAfterTwiceTheTimeout) {
  SerialPort port(path_);
  OpenPort(port, 200);
  EXPECT_EQ(port.Timeout(), 200u);
  uint8_t byte = 0;
  auto start = Clock::now();
  EXPECT_FALSE(port.ReadExact(&byte, 1));
  long ms = MsSince(start);
  EXPECT_GE(ms, 300);
  EXPECT_LE(ms, 1500);
  EXPECT_TRUE(port.IsOpen());
  EXPECT_TRUE(port.Close());
}

TEST_F(PtyTest, GapBetweenBytesEndsAMultiByteRead) {
  SerialPort port(path_);
  OpenPort(port, 150);

  // Bytes 50 ms apart keep the read alive.
  std::thread trickle([&] {
    for (char c : std::string("12345")) {
      Send(std::string(1, c));
      std::this_thread::sleep_for(50ms);
    }
  });
  uint8_t buf[5] = {};
  EXPECT_TRUE(port.ReadExact(buf, 5));
  trickle.join();
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 5), "12345");

  // A 600 ms pause after two bytes ends the read about 150 ms after the
  // second, well before the total limit of 750 ms; the late bytes stay queued.
  std::thread late([&] {
    Send("ab");
    std::this_thread::sleep_for(600ms);
    Send("cd");
  });
  auto start = Clock::now();
  EXPECT_FALSE(port.ReadExact(buf, 4));
  EXPECT_LT(MsSince(start), 450);
  late.join();
  EXPECT_TRUE(port.ReadExact(buf, 2));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 2), "cd");
  port.Close();
}

TEST_F(PtyTest, ReadLineStopsAtLineEndAndKeepsPartialText) {
  SerialPort port(path_);
  OpenPort(port, 50);
  std::string text;

  Send("ok\rnext");  // the default line end is a carriage return
  EXPECT_TRUE(port.ReadLine(1024, text));
  EXPECT_EQ(text, "ok\r");
  port.PurgeInput();

  port.LineEnd = 10;
  Send("abc\r\ndef");
  EXPECT_TRUE(port.ReadLine(1024, text));
  EXPECT_EQ(text, "abc\r\n");
  EXPECT_FALSE(port.ReadLine(1024, text));
  EXPECT_EQ(text, "def");

  // No room at all: nothing is consumed.
  Send("z\n");
  EXPECT_FALSE(port.ReadLine(0, text));
  EXPECT_TRUE(port.ReadLine(1024, text));
  EXPECT_EQ(text, "z\n");
  port.Close();
}

TEST_F(PtyTest, ReadLineLimitsTheText) {
  SerialPort port(path_);
  OpenPort(port, 50);
  port.LineEnd = 10;
  std::string text;

  // A line that just fits.
  Send(std::string(1022, 'a') + "\n");
  EXPECT_TRUE(port.ReadLine(1024, text));
  EXPECT_EQ(text.size(), 1023u);

  // 1500 bytes without a line end: 1023 kept, the rest left for the next read
  // with nothing lost in between.
  std::string line;
  for (int i = 0; i < 1500; ++i) line.push_back(static_cast<char>('A' + i % 26));
  Send(line);
  EXPECT_FALSE(port.ReadLine(1024, text));
  EXPECT_EQ(text, line.substr(0, 1023));
  EXPECT_FALSE(port.ReadLine(1024, text));
  EXPECT_EQ(text, line.substr(1023));
  port.Close();
}

TEST_F(PtyTest, WriteDiscardsInputThatArrivedBefore) {
  SerialPort port(path_);
  OpenPort(port, 100);
  Send("x");
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(port.Write("A"));
  EXPECT_EQ(Receive(1), "A");
  uint8_t byte = 0;
  EXPECT_FALSE(port.ReadExact(&byte, 1));

  Send("y");
  EXPECT_TRUE(port.ReadExact(&byte, 1));
  EXPECT_EQ(byte, 'y');
  port.Close();
}

TEST_F(PtyTest, ConfigureSetsARawLine) {
  SerialPort port(path_);
  ASSERT_TRUE(port.Open());
  EXPECT_FALSE(port.Configure(12345, 8, 0, 0));
  EXPECT_FALSE(port.Configure(57600, 9, 0, 0));

  // A pseudo-terminal forces 8 bits without parity; speed and stop bits stick.
  ASSERT_TRUE(port.Configure(9600, 7, 2, 2));
  termios tio{};
  tcgetattr(slave_, &tio);
  EXPECT_EQ(cfgetospeed(&tio), B9600);
  EXPECT_TRUE(tio.c_cflag & CSTOPB);

  ASSERT_TRUE(ConfigureControllerLine(port));
  tcgetattr(slave_, &tio);
  EXPECT_EQ(cfgetospeed(&tio), B57600);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(tio.c_cflag & (PARENB | CSTOPB));
  EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(tio.c_iflag & (IXON | ICRNL));
  EXPECT_FALSE(tio.c_oflag & OPOST);
  port.Close();
}

// The by-id name shown beside a device: the link that resolves to it, found
// from the device's short or full name; none for a device without one.
TEST_F(PtyTest, StableNameIsTheLinkToTheDevice) {
  char folderTemplate[] = "/tmp/vorn-by-id-XXXXXX";
  ASSERT_NE(mkdtemp(folderTemplate), nullptr);
  const std::string folder = folderTemplate;
  const std::string link = folder + "/usb-Adapter_A-if00-port0";
  ASSERT_EQ(symlink(path_.c_str(), link.c_str()), 0);
  ASSERT_EQ(symlink("/dev/null", (folder + "/usb-Other-port0").c_str()), 0);
  ASSERT_EQ(symlink("/nowhere", (folder + "/usb-Gone-port0").c_str()), 0);
  const struct {
    std::string port, expected;
  } cases[] = {{path_, link}, {path_.substr(5), link}, {"/dev/zero", ""}, {"/no/such/tty", ""}};
  for (const auto& c : cases) EXPECT_EQ(platform::StablePortName(c.port, folder), c.expected) << c.port;
  for (const char* name : {"/usb-Adapter_A-if00-port0", "/usb-Other-port0", "/usb-Gone-port0"})
    unlink((folder + name).c_str());
  rmdir(folder.c_str());
}

TEST_F(PtyTest, PortIsHeldExclusively) {
  SerialPort never("ttyVORN_no_such_port");
  EXPECT_TRUE(never.Close());
  EXPECT_FALSE(never.Open());
  EXPECT_EQ(never.LastOpenFailure(), OpenFailure::NotFound);

  SerialPort first(path_);
  ASSERT_TRUE(first.Open());
  if (LockDirWritable()) {
    std::ifstream lock(LockFile());
    std::string content((std::istreambuf_iterator<char>(lock)), {});
    char expected[16];
    std::snprintf(expected, sizeof expected, "%10d\n", static_cast<int>(getpid()));
    EXPECT_EQ(content, expected);
  }
  SerialPort second(path_);
  EXPECT_FALSE(second.Open());
  EXPECT_EQ(second.LastOpenFailure(), OpenFailure::AccessDenied);
  EXPECT_FALSE(first.Open());  // a second Open keeps the first
  EXPECT_TRUE(first.IsOpen());

  EXPECT_TRUE(first.Close());
  EXPECT_NE(access(LockFile().c_str(), F_OK), 0);
  EXPECT_TRUE(second.Open());
  EXPECT_TRUE(second.Close());
  EXPECT_NE(access(LockFile().c_str(), F_OK), 0);
}

// The reason a failed open gives, beside the kind of failure: one line the
// user can act on.
TEST_F(PtyTest, FailedOpenGivesTheRealReason) {
  char plain[] = "/tmp/vorn-not-a-tty-XXXXXX";
  const int fd = mkstemp(plain);
  ASSERT_GE(fd, 0);
  close(fd);
  SerialPort holder(path_);
  ASSERT_TRUE(holder.Open());
  struct Case {
    std::string path;
    const char* reason;
  } cases[] = {
      {"/dev/vorn-no-such-port", "does not exist"},
      {plain, "is not a serial device"},
      {path_, "in use by another program"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    SerialPort port(c.path);
    EXPECT_FALSE(port.Open());
    const std::string reason = port.OpenFailureReason();
    EXPECT_EQ(reason.rfind("Reason: ", 0), 0u) << reason;
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    EXPECT_EQ(reason.find('\n'), std::string::npos) << "one line";
  }
  holder.Close();
  unlink(plain);

  // Permission: only a user other than root is refused.
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(path_.c_str(), 0), 0);
    SerialPort port(path_);
    EXPECT_FALSE(port.Open());
    EXPECT_NE(port.OpenFailureReason().find("permission denied"), std::string::npos);
    EXPECT_NE(port.OpenFailureReason().find("group that owns it"), std::string::npos);
    chmod(path_.c_str(), 0620);
  }
}

// A refused open says which group to join and how, or why joining would not
// help; always on one line.
TEST(PermissionDeniedReason, NamesTheGroupAndWhatToDo) {
  using M = platform::DeviceAccess::Membership;
  struct Case {
    platform::DeviceAccess access;
    std::vector<std::string> says;
    const char* never;
  } cases[] = {
      {{"/dev/ttyUSB0", "dialout", true, "alice", M::None},
       {"('dialout')", "sudo usermod -aG dialout alice", "log out and in again"}, "alice is in"},
      {{"/dev/ttyUSB0", "dialout", true, "alice", M::Listed}, {"alice is in", "log out and in again"}, "usermod"},
      {{"/dev/ttyUSB0", "dialout", true, "alice", M::Active}, {"although you are in", "administrator"}, "usermod"},
      {{"/dev/ttyUSB0", "root", false, "alice", M::None}, {"('root')", "read and write permission"}, "usermod"},
      {{"/dev/ttyUSB0", "", true, "alice", M::None}, {"usermod -aG GROUP alice", "ls -l /dev/ttyUSB0"}, "('"},
      {{"/dev/ttyUSB0", "dialout", true, "", M::None}, {"usermod -aG dialout $USER"}, "alice"},
  };
  for (const Case& c : cases) {
    const std::string reason = platform::PermissionDeniedReason(c.access);
    SCOPED_TRACE(reason);
    EXPECT_EQ(reason.rfind("Reason: permission denied on /dev/ttyUSB0", 0), 0u);
    for (const std::string& part : c.says) EXPECT_NE(reason.find(part), std::string::npos) << part;
    EXPECT_EQ(reason.find(c.never), std::string::npos) << c.never;
    EXPECT_EQ(reason.find('\n'), std::string::npos) << "one line";
  }
}

// The facts come from the device's owner and mode and from this process's
// groups; a foreign group can be given only by root (tests run as root in CI).
TEST(PermissionDeniedReason, ReadsTheDevicesGroupAndMode) {
  char path[] = "/tmp/vorn-device-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  const group* own = getgrgid(getegid());
  ASSERT_NE(own, nullptr);
  const std::string ownName = own->gr_name;
  using M = platform::DeviceAccess::Membership;
  struct Case {
    mode_t mode;
    const group* owner;
    bool groupMayOpen;
    M membership;
  } cases[] = {
      {0660, own, true, M::Active},
      {0600, own, false, M::Active},
      {0640, own, false, M::Active},
      {0660, geteuid() == 0 ? getgrnam("nogroup") : nullptr, true, M::None},
  };
  for (const Case& c : cases) {
    if (!c.owner) continue;
    const std::string name = c.owner->gr_name;
    SCOPED_TRACE(name + " " + std::to_string(c.mode));
    ASSERT_EQ(chown(path, static_cast<uid_t>(-1), c.owner->gr_gid), 0);
    ASSERT_EQ(chmod(path, c.mode), 0);
    const platform::DeviceAccess access = platform::ReadDeviceAccess(path);
    EXPECT_EQ(access.group, name);
    EXPECT_EQ(access.groupMayOpen, c.groupMayOpen);
    EXPECT_EQ(access.membership, c.membership);
    EXPECT_FALSE(access.user.empty());
  }
  unlink(path);
}

// A probe or an exchange must not leave a line that another program uses in
// raw mode at another speed.
TEST_F(PtyTest, ClosingPutsBackTheLineFoundAtOpen) {
  termios found{};
  ASSERT_EQ(tcgetattr(slave_, &found), 0);
  found.c_lflag |= ICANON | ECHO | ISIG;
  found.c_iflag |= ICRNL | IXON;
  found.c_oflag |= OPOST;
  cfsetispeed(&found, B9600);
  cfsetospeed(&found, B9600);
  ASSERT_EQ(tcsetattr(slave_, TCSANOW, &found), 0);
  ASSERT_EQ(tcgetattr(slave_, &found), 0);

  SerialPort port(path_);
  ASSERT_TRUE(port.Open());
  ASSERT_TRUE(port.Configure(57600, 8, 0, 0));
  ASSERT_TRUE(port.Close());

  termios after{};
  ASSERT_EQ(tcgetattr(slave_, &after), 0);
  EXPECT_EQ(after.c_lflag, found.c_lflag);
  EXPECT_EQ(after.c_iflag, found.c_iflag);
  EXPECT_EQ(after.c_oflag, found.c_oflag);
  EXPECT_EQ(after.c_cflag, found.c_cflag);
  EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B9600));
}

TEST_F(PtyTest, FlockOfAnotherProcessDeniesAccess) {
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int fd = open(path_.c_str(), O_RDWR | O_NOCTTY);
    char ok = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? '1' : '0';
    (void)!write(ready[1], &ok, 1);
    (void)!read(done[0], &ok, 1);
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, '1');
  SerialPort port(path_);
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.LastOpenFailure(), OpenFailure::AccessDenied);
  (void)!write(done[1], &ok, 1);
  waitpid(child, nullptr, 0);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);

  EXPECT_TRUE(port.Open());
  port.Close();
}

TEST_F(PtyTest, LockFilesOfLiveProcessesHoldStaleOnesDoNot) {
  if (!LockDirWritable()) GTEST_SKIP() << "no writable lock directory";
  auto writeLock = [&](pid_t pid) {
    std::ofstream(LockFile()) << std::string(10 - std::to_string(pid).size(), ' ') << pid << "\n";
  };
  pid_t sleeper = fork();
  ASSERT_GE(sleeper, 0);
  if (sleeper == 0) {
    pause();
    _exit(0);
  }
  SerialPort port(path_);
  writeLock(sleeper);
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.LastOpenFailure(), OpenFailure::AccessDenied);
  EXPECT_EQ(access(LockFile().c_str(), F_OK), 0);  // someone else's: left alone

  kill(sleeper, SIGKILL);
  waitpid(sleeper, nullptr, 0);
  EXPECT_TRUE(port.Open());  // the dead process's lock is replaced
  EXPECT_TRUE(port.Close());
  EXPECT_NE(access(LockFile().c_str(), F_OK), 0);
}

TEST_F(PtyTest, VanishedDeviceFailsAtOnceAndIsReopened) {
  SerialPort port(path_);
  OpenPort(port, 1000);
  close(master_);
  master_ = -1;

  // A time-out would take 2 s; a hang-up must end the read at once.
  uint8_t byte = 0;
  auto start = Clock::now();
  EXPECT_FALSE(port.ReadExact(&byte, 1));
  EXPECT_LT(MsSince(start), 500);
  // Callers that retry reads learn why they fail at once, in the system's words.
  EXPECT_NE(port.LostReason(), "");
  // The pseudo-terminal is gone for good, so the re-open failed.
  EXPECT_FALSE(port.IsOpen());
  EXPECT_NE(port.LastOpenFailure(), OpenFailure::None);

  std::string text;
  start = Clock::now();
  EXPECT_FALSE(port.ReadLine(1024, text));
  EXPECT_FALSE(port.Write("A"));
  EXPECT_LT(MsSince(start), 100);
  EXPECT_TRUE(port.Close());
}

// A device whose transfers fail hard, recording what the port asks of it.
class BrokenDevice : public platform::SerialDevice {
 public:
  explicit BrokenDevice(std::ostringstream& log, bool closeFails = false)
      : log_(log), closeFails_(closeFails) {}
  bool Open(const std::string& name) override {
    log_ << "open " << name << ";";
    return open_ = true;
  }
  platform::OpenFailure LastOpenFailure() const override { return OpenFailure::None; }
  bool IsOpen() const override { return open_; }
  bool Close() override {
    log_ << "close;";
    open_ = false;
    return !closeFails_;
  }
  bool SetLine(uint32_t, uint8_t, uint8_t, uint8_t) override { return log_ << "line;", true; }
  bool SetTimeouts(uint32_t) override { return log_ << "timeouts;", true; }
  platform::TransferResult Write(const uint8_t*, size_t) override { return {0, true, {}}; }
  platform::TransferResult Read(uint8_t*, size_t) override { return {0, true, {}}; }
  bool PurgeInput() override { return true; }

 private:
  std::ostringstream& log_;
  bool closeFails_;
  bool open_ = false;
};

TEST(SerialPortRecovery, HardErrorReopensWithTheSettingsInForce) {
  std::ostringstream log;
  SerialPort port("COM3", std::make_unique<BrokenDevice>(log));
  port.Open();
  port.Configure(57600, 8, 0, 0);
  port.SetTimeouts(200);
  log.str("");
  uint8_t byte = 0;
  std::string text = "old";
  EXPECT_FALSE(port.ReadExact(&byte, 1));
  EXPECT_FALSE(port.Write("A"));
  EXPECT_FALSE(port.ReadLine(1024, text));
  EXPECT_EQ(text, "");
  // The driver's defaults after a re-open could block a read for ever.
  EXPECT_EQ(log.str(),
            "close;open COM3;line;timeouts;close;open COM3;line;timeouts;close;open COM3;line;timeouts;");
  EXPECT_EQ(port.Timeout(), 200u);

  std::ostringstream log2;
  SerialPort stuck("COM4", std::make_unique<BrokenDevice>(log2, true));
  stuck.Open();
  EXPECT_FALSE(stuck.ReadExact(&byte, 1));
  EXPECT_EQ(log2.str(), "open COM4;close;");  // no re-open after a failed close

  // Nothing set, nothing put back.
  std::ostringstream log3;
  SerialPort plain("COM5", std::make_unique<BrokenDevice>(log3));
  plain.Open();
  EXPECT_FALSE(plain.ReadExact(&byte, 1));
  EXPECT_EQ(log3.str(), "open COM5;close;open COM5;");
}

}  // namespace
}  // namespace vorn

namespace vorn {
namespace {

// A USB adapter's latency timer is lowered while the port is open and put
// back at close; a device without one (this pseudo-terminal, whose driver also
// refuses the low-latency flag) opens and carries bytes as before.
TEST_F(PtyTest, LowLatencyIsAskedForAndPutBack) {
  char folder[] = "/tmp/vorn-sysfs-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string name = path_.substr(path_.find_last_of('/') + 1);
  const std::string device = std::string(folder) + "/class/tty/" + name + "/device";
  ASSERT_EQ(std::system(("mkdir -p " + device + " && echo 16 > " + device + "/latency_timer").c_str()), 0);
  const auto timer = [&] {
    std::ifstream in(device + "/latency_timer");
    std::string value;
    std::getline(in, value);
    return value;
  };
  EXPECT_EQ(platform::LatencyTimerPath(folder, path_), device + "/latency_timer");
  platform::LowLatencyRequest request(folder);
  request.Apply(slave_, path_);
  EXPECT_EQ(timer(), "1");
  request.Restore(slave_);
  EXPECT_EQ(timer(), "16");
  std::system((std::string("rm -rf ") + folder).c_str());

  EXPECT_EQ(platform::AdapterLatencyMs(path_), std::nullopt);
  SerialPort port(path_);
  OpenPort(port, 200);
  Send("hello");
  uint8_t got[5];
  ASSERT_TRUE(port.ReadExact(got, 5));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 5), "hello");
}

}  // namespace
}  // namespace vorn
