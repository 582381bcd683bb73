#include "image/kaprin_threads.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "image/crc16.h"
#include "image_script.h"
#include "link/gui_invoker.h"
#include "temp_files.h"

namespace vorn::test {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string AsString(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

void RunToEnd(KaprinThreadBase& thread, ScriptedPort& port) {
  thread.Factory = [&port](const std::string&) { return std::make_unique<BorrowedPort>(port); };
  thread.PortName = "COM1";
  thread.Resume();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!thread.Done && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_TRUE(thread.Done);
  thread.WaitFor();
}

TEST(Crc16Test, MatchesTheProtocolsCheckValues) {
  const std::string digits = "123456789";
  EXPECT_EQ(0x4B37, Crc16Modbus(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()));
  struct Case {
    const char* text;
    uint8_t low, high;
  };
  for (const Case& c : {Case{"111", 0xF4, 0x4B}, Case{"666", 0x06, 0x78}}) {
    uint8_t answer[5];
    std::memcpy(answer, c.text, 3);
    AppendCrc16(answer, 3);
    EXPECT_EQ(c.low, answer[3]) << c.text;
    EXPECT_EQ(c.high, answer[4]) << c.text;
    EXPECT_TRUE(HasValidCrc16(answer, 3));
    answer[4] ^= 1;
    EXPECT_FALSE(HasValidCrc16(answer, 3));
  }
}

class BackupTest : public ::testing::Test {
 protected:
  DirectInvoker gui;
  ScriptedPort port;
  RecordingPane pane;
  TempDir dir;
  std::vector<uint8_t> image = SampleImage();
};

TEST_F(BackupTest, CleanBackupWritesTheWholeDriveInThirtyTwoChunks) {
  BackupScript script(port, image);
  VornKaprinThread thread(gui);
  script.thread = &thread;
  thread.Terminal = &pane;
  thread.ImagePath = dir.File("7730D.img", "an older, shorter image");
  RunToEnd(thread, port);

  EXPECT_TRUE(thread.Succeeded) << thread.ErrorText;
  EXPECT_EQ("D:\\KAPRINRD 2 3 4 5\r", script.typed);
  EXPECT_EQ(std::vector<std::string>{"D:\\KAPRINRD 2 3 4 5"}, pane.lines);
  EXPECT_EQ(131071, thread.Progress);
  EXPECT_EQ(131072u, script.answers.size());
  EXPECT_EQ(32, thread.ChunkWrites());
  EXPECT_EQ(AsString(image), ReadAll(thread.ImagePath));  // replaced, not appended to
  EXPECT_FALSE(std::filesystem::exists(thread.PartialPath()));
}

TEST_F(BackupTest, AWholeImageThatCannotReplaceTheFileIsKept) {
  BackupScript script(port, image);
  VornKaprinThread thread(gui);
  script.thread = &thread;
  // A folder that is not empty cannot be replaced by a file.
  thread.ImagePath = dir.path + "/7730D.img";
  std::filesystem::create_directories(thread.ImagePath + "/inside");
  RunToEnd(thread, port);

  EXPECT_FALSE(thread.Succeeded);
  EXPECT_EQ(0u, thread.ErrorText.rfind("Write image to file error!\n", 0)) << thread.ErrorText;
  EXPECT_NE(std::string::npos, thread.ErrorText.find(thread.PartialPath()));
  EXPECT_EQ(AsString(image), ReadAll(thread.PartialPath()));
}

TEST_F(BackupTest, ChecksumFailuresAreRepeatedUntilTheThird) {
  struct Case {
    std::set<int> bad;
    bool succeeds;
  };
  for (const Case& c : {Case{{0, 100000}, true}, Case{{0, 5000, 100000}, false}}) {
    ScriptedPort p;
    BackupScript script(p, image, c.bad);
    VornKaprinThread thread(gui);
    script.thread = &thread;
    const std::string earlier(5000, 'E');
    thread.ImagePath = dir.File("earlier.img", earlier);
    RunToEnd(thread, p);

    EXPECT_EQ(c.succeeds, thread.Succeeded.load());
    // Block 0 is asked for again after the pause, with nothing accepted yet.
    ASSERT_GE(script.answers.size(), 2u);
    EXPECT_EQ("666", script.answers[0].digits);
    EXPECT_GE(script.answers[0].sinceBlock.count(), 450);
    EXPECT_EQ(-1, script.answers[1].progressBefore);
    EXPECT_EQ("111", script.answers[1].digits);
    if (c.succeeds) {
      EXPECT_EQ(AsString(image), ReadAll(thread.ImagePath));
    } else {
      EXPECT_EQ("Check sum error!\n", thread.ErrorText);
      EXPECT_EQ(99999, thread.Progress);
      EXPECT_EQ(earlier, ReadAll(thread.ImagePath));  // the earlier image survives
    }
    EXPECT_FALSE(std::filesystem::exists(thread.PartialPath()));
  }
}

// A line feed after the echoed carriage return shifts the first block; it is
// neither repeated nor counted as a failure, so two damaged blocks still pass.
TEST_F(BackupTest, ALineFeedAfterTheEchoCostsNoFailure) {
  struct Case {
    std::set<int> bad;
    const char* firstAnswer;
  };
  for (const Case& c : {Case{{5000, 100000}, "111"}, Case{{0, 100000}, "666"}}) {
    ScriptedPort p;
    BackupScript script(p, image, c.bad);
    script.lineFeedAfterEcho = true;
    VornKaprinThread thread(gui);
    thread.ImagePath = dir.File("lf.img", "");
    RunToEnd(thread, p);

    EXPECT_TRUE(thread.Succeeded) << thread.ErrorText;
    ASSERT_FALSE(script.answers.empty());
    EXPECT_EQ(c.firstAnswer, script.answers[0].digits);
    EXPECT_TRUE(AsString(image) == ReadAll(thread.ImagePath));
  }
}

TEST_F(BackupTest, EndsWithTheReasonWhenTheLineFails) {
  struct Case {
    const char* name;
    bool opens;
    std::string error;
  };
  const Case cases[] = {
      {"port held", false, "Unable to open COM1!\n\nPlease make sure there is no other application using the port!!"},
      {"no echo", true,
       "Unable to send command 'D:\\KAPRINRD 2 3 4 5\r'!\n\nPlease make sure the VORN-7730 is in INIT mode\n\n"
       "and no program is running"},
  };
  for (const Case& c : cases) {
    ScriptedPort p;
    VornKaprinThread thread(gui);
    thread.ImagePath = dir.path + "/none.img";
    thread.Factory = [&p, &c](const std::string&) { return std::make_unique<BorrowedPort>(p, c.opens); };
    thread.PortName = "COM1";
    thread.Resume();
    thread.WaitFor();
    EXPECT_TRUE(thread.Done) << c.name;
    EXPECT_FALSE(thread.Succeeded) << c.name;
    EXPECT_EQ(c.error, thread.ErrorText) << c.name;
    EXPECT_FALSE(std::filesystem::exists(thread.ImagePath)) << c.name;
  }
}

class RestoreTest : public ::testing::Test {
 protected:
  DirectInvoker gui;
  ScriptedPort port;
  TempDir dir;
  std::vector<uint8_t> image = SampleImage();
  std::string Image(size_t size) { return dir.File("7730D.img", AsString(image).substr(0, size)); }
};

TEST_F(RestoreTest, AnswersEveryKindOfRequestWithTheNextBlock) {
  // "444" after a damaged block, and requests damaged on the way, all get the next block.
  RestoreScript script(port, [](int i) {
    if (i % 3 == 1) return RestoreScript::Request("444");
    if (i % 7 == 2) return RestoreScript::Request("123", false);
    return RestoreScript::Request("111");
  });
  VornKaprinResThread thread(gui);
  thread.ImagePath = dir.File("7730D.img", AsString(image) + "a longer file is cut at 1 MiB");
  RunToEnd(thread, port);

  EXPECT_TRUE(thread.Succeeded) << thread.ErrorText;
  EXPECT_EQ("D:\\kaprinwr 2 3 4\r", script.typed);
  EXPECT_EQ(16384, script.requests);
  EXPECT_EQ(16383, thread.Progress);
  EXPECT_EQ(0, script.badBlocks);
  EXPECT_EQ(image, script.received);
}

TEST_F(RestoreTest, EndsWithTheReasonOfAFailure) {
  struct Case {
    const char* name;
    size_t imageSize;  // 0: no file
    int invalidAt;     // -1: none
    std::string error;
    int blocksSent;
  };
  const Case cases[] = {
      {"invalid request", kImageSize, 7, "Error occurs on Vorn-7730 or \ninvalid response from Vorn-7730!", 7},
      {"missing image", 0, -1, "Read data from image fail!", 0},
      {"image shrank", 640 + 10, -1, "Read data from image fail!", 11},
  };
  for (const Case& c : cases) {
    ScriptedPort p;
    RestoreScript script(p, [&c](int i) { return RestoreScript::Request(i == c.invalidAt ? "123" : "111"); });
    VornKaprinResThread thread(gui);
    thread.ImagePath = c.imageSize ? Image(c.imageSize) : dir.path + "/missing.img";
    RunToEnd(thread, p);

    EXPECT_FALSE(thread.Succeeded) << c.name;
    EXPECT_EQ(c.error, thread.ErrorText) << c.name;
    EXPECT_EQ(c.blocksSent * 64u, script.received.size()) << c.name;
    EXPECT_EQ(c.blocksSent + 1, script.requests) << c.name;
    if (c.blocksSent * 64u > c.imageSize && c.imageSize) {
      // The missing bytes of the last block went out as zeros.
      EXPECT_EQ(0, script.received.back()) << c.name;
      EXPECT_EQ(image[c.imageSize - 1], script.received[c.imageSize - 1]) << c.name;
    }
  }
}

// A line on which the controller never answers after the command's echo; a
// read waits a little, as a real one does.
class QuietAfterEcho : public ScriptedPort {
 public:
  bool ReadExact(uint8_t* buffer, size_t count) override {
    if (ScriptedPort::ReadExact(buffer, count)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return false;
  }
};

TEST(KaprinStopTest, AThreadWaitingForTheControllerEndsWhenAsked) {
  DirectInvoker gui;
  for (int kind = 0; kind < 2; ++kind) {
    QuietAfterEcho port;
    port.onWrite = [&port](const std::vector<uint8_t>& w) { port.PushByte(w[0]); };
    std::unique_ptr<KaprinThreadBase> thread;
    if (kind == 0)
      thread = std::make_unique<VornKaprinThread>(gui);
    else
      thread = std::make_unique<VornKaprinResThread>(gui);
    thread->Factory = [&port](const std::string&) { return std::make_unique<BorrowedPort>(port); };
    thread->ImagePath = "unused.img";
    thread->Resume();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(thread->Done) << kind;

    const auto asked = std::chrono::steady_clock::now();
    thread->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1)) << kind;
    EXPECT_TRUE(thread->Done) << kind;
    EXPECT_FALSE(thread->Succeeded) << kind;
  }
}

}  // namespace
}  // namespace vorn::test
