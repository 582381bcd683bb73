#include "transfer/put_command.h"

#include <gtest/gtest.h>

#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "receiver_script.h"
#include "scripted_port.h"
#include "temp_files.h"

namespace vorn::test {
namespace {

class PutCommandTest : public ::testing::Test {
 protected:
  int Put(const std::vector<std::string>& args, bool opens = true) {
    port.timeout = 0;
    shell.timeout = 0;
    // The first port opened lists the target directory; the upload comes next.
    bool listed = false;
    PortFactory factory = [&, opens](const std::string& name) -> std::unique_ptr<Port> {
      portName = name;
      if (!listed) {
        listed = true;
        return std::make_unique<BorrowedPort>(shell, opens);
      }
      return std::make_unique<BorrowedPort>(port, opens);
    };
    return RunPut("/dev/ttyX", factory, args, pane, err);
  }

  void SetUp() override {
    shell.onWrite = [this](const std::vector<uint8_t>& w) {
      for (uint8_t b : w) {
        shell.PushByte(b);
        typed += static_cast<char>(b);
        if (b != '\r') continue;
        shell.Push("\n" + (typed == "dir\r" ? existing + "  654,336 bytes free\r\n" : std::string()) + "D:\\>");
        typed.clear();
      }
    };
  }

  ScriptedPort shell;
  std::string typed;
  std::string existing;  // "dir" lines of the target directory

  TempDir dir;
  ScriptedPort port;
  RecordingPane pane;
  ReceiverScript rx{port};
  std::ostringstream err;
  std::string portName;
};

TEST_F(PutCommandTest, UploadsEveryFileIntoTheDirectory) {
  EXPECT_EQ(Put({dir.File("A.TXT", "a"), "--to", "/data/", dir.File("B.TXT", "b")}), 0);
  EXPECT_EQ(portName, "/dev/ttyX");
  EXPECT_EQ(port.timeout, 500u);
  ASSERT_EQ(rx.uploads.size(), 2u);
  EXPECT_EQ(rx.uploads[0].command, "C:\\transfer /R D:\\data\\A.TXT\r");
  EXPECT_EQ(rx.uploads[1].command, "C:\\transfer /R D:\\data\\B.TXT\r");
  // Not a terminal: one line for each file, no carriage-return updates.
  EXPECT_EQ(err.str(), "A.TXT 1/2 100%\nB.TXT 2/2 100%\n");
}

TEST_F(PutCommandTest, FirstFailureEndsWithExitCodeOne) {
  rx.blockAnswer = [](int upload, int, int) { return upload == 0 ? 'C' : 'A'; };
  EXPECT_EQ(Put({dir.File("A.TXT", "a"), dir.File("B.TXT", "b")}), 1);
  EXPECT_EQ(rx.uploads.size(), 1u);
  EXPECT_EQ(rx.uploads[0].command, "C:\\transfer /R D:\\A.TXT\r");
  EXPECT_NE(err.str().find("Fail to transfer file 'A.TXT'!"), std::string::npos);

  err.str("");
  EXPECT_EQ(Put({dir.File("A B.TXT", "a")}), 1);
  EXPECT_NE(err.str().find("'A B.TXT' is not a name the controller takes"), std::string::npos);

  err.str("");
  EXPECT_EQ(Put({dir.File("A.TXT", "a")}, false), 1);
  EXPECT_EQ(err.str(), OpenFailureText("/dev/ttyX") + "\n");

#ifndef _WIN32
  // Anything but a regular file is refused by name before the port is opened.
  port.writes.clear();
  portName.clear();
  const std::string fifo = dir.path + "/PIPE.BIN";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, dir.path}) {
    err.str("");
    EXPECT_EQ(Put({dir.File("A.TXT", "a"), path}), 1);
    EXPECT_NE(err.str().find("'" + path + "' is a "), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("not a regular file"), std::string::npos) << err.str();
  }
  EXPECT_TRUE(port.writes.empty());
  EXPECT_TRUE(portName.empty());
#endif
}

// An end of file the receiver never acknowledged: the file counts as stored
// only when the controller then lists it at its size with the block fill.
TEST_F(PutCommandTest, UnacknowledgedEndOfFileIsCheckedInTheListing) {
  struct Case {
    const char* listed;  // the "dir" line for the file, empty for none
    int exitCode;
  } const cases[] = {
      {"A        TXT           256 12-06-99  10:23a\r\n", 0},
      {"A        TXT           200 12-06-99  10:23a\r\n", 1},  // not the stored size
      {"", 1},
  };
  const std::string file = dir.File("A.TXT", std::string(200, 'a'));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.listed);
    rx.uploads.clear();
    rx.eotAnswers = "-";
    const auto receiver = port.onWrite;
    std::string typed;
    // Once the upload has ended, the next line typed is the listing's.
    rx.afterEot = "\r\nD:\\>";
    bool listing = false;
    port.onWrite = [&](const std::vector<uint8_t>& w) {
      if (!listing && rx.uploads.size() == 1 && rx.uploads[0].eots > 0 && w.size() == 1 && w[0] == 'd')
        listing = true;
      if (!listing) return receiver(w);
      for (uint8_t b : w) {
        port.PushByte(b);
        typed += static_cast<char>(b);
        if (b != '\r') continue;
        std::string out = "\n";
        if (typed == "dir\r") out += std::string(c.listed) + "   1 file(s)\r\n  654,336 bytes free\r\n";
        port.Push(out + "D:\\DATA>");
        typed.clear();
      }
    };
    err.str("");
    EXPECT_EQ(Put({file, "--to", "\\DATA"}), c.exitCode);
    EXPECT_TRUE(listing);
    EXPECT_EQ(err.str().find("was not acknowledged") != std::string::npos, c.exitCode != 0) << err.str();
    port.onWrite = receiver;
  }
}

// A name the target directory already lists stops the put before any upload,
// unless --force; a directory of that name is never replaced.
TEST_F(PutCommandTest, ExistingNameNeedsForce) {
  struct Case {
    const char* listed;
    bool force;
    int exitCode;
    const char* says;
  } const cases[] = {
      {"B        TXT           128 12-06-99  10:23a\r\n", false, 0, ""},
      {"A        TXT           128 12-06-99  10:23a\r\n", false, 1, "'A.TXT' already exists in D:\\: --force"},
      {"A        TXT           128 12-06-99  10:23a\r\n", true, 0, ""},
      {"A        TXT <DIR>         12-06-99  10:23a\r\n", true, 1, "'A.TXT' is a directory"},
  };
  const std::string file = dir.File("a.txt", "a");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.listed);
    existing = c.listed;
    rx.uploads.clear();
    err.str("");
    std::vector<std::string> args{file};
    if (c.force) args.push_back("--force");
    EXPECT_EQ(Put(args), c.exitCode);
    EXPECT_EQ(rx.uploads.size(), c.exitCode == 0 ? 1u : 0u);
    EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
  }
}

TEST_F(PutCommandTest, ArgumentsAreChecked) {
  EXPECT_EQ(Put({}), 2);
  EXPECT_EQ(Put({"A.TXT", "--to"}), 2);
  EXPECT_TRUE(port.writes.empty());

  std::string error;
  auto request = ParsePutArguments({"X", "--to=D:\\SUB\\"}, &error);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->targetDir, "D:\\SUB\\");
  request = ParsePutArguments({"--to", "data/sub/", "Y"}, &error);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->targetDir, "D:\\data\\sub\\");
  request = ParsePutArguments({"--to=/", "Y"}, &error);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->targetDir, "D:\\");
}

}  // namespace
}  // namespace vorn::test
