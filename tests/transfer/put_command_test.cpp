#include "transfer/put_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "receiver_script.h"
#include "scripted_port.h"
#include "temp_files.h"

namespace vorn::test {
namespace {

class PutCommandTest : public ::testing::Test {
 protected:
  int Put(const std::vector<std::string>& args, bool opens = true) {
    port.timeout = 0;
    PortFactory factory = [&, opens](const std::string& name) -> std::unique_ptr<Port> {
      portName = name;
      return std::make_unique<BorrowedPort>(port, opens);
    };
    return RunPut("/dev/ttyX", factory, args, pane, err);
  }

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
  EXPECT_NE(err.str().find("B.TXT 2/2 100%"), std::string::npos);
}

TEST_F(PutCommandTest, FirstFailureEndsWithExitCodeOne) {
  rx.blockAnswer = [](int upload, int, int) { return upload == 0 ? 'C' : 'A'; };
  EXPECT_EQ(Put({dir.File("A.TXT", "a"), dir.File("B.TXT", "b")}), 1);
  EXPECT_EQ(rx.uploads.size(), 1u);
  EXPECT_EQ(rx.uploads[0].command, "C:\\transfer /R D:\\A.TXT\r");
  EXPECT_NE(err.str().find("Fail to transfer file 'A.TXT'!"), std::string::npos);

  err.str("");
  EXPECT_EQ(Put({dir.File("A B.TXT", "a")}), 1);
  EXPECT_NE(err.str().find("Invalid file name 'A B.TXT'"), std::string::npos);

  err.str("");
  EXPECT_EQ(Put({dir.File("A.TXT", "a")}, false), 1);
  EXPECT_EQ(err.str(), OpenFailureText("/dev/ttyX") + "\n");
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
