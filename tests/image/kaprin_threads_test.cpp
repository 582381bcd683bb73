#include "image/kaprin_threads.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <stdexcept>
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
  EXPECT_FALSE(std::filesystem::exists(thread.TempPath()));
#ifndef _WIN32
  // The drive holds the controller's passwords.
  struct stat st {};
  ASSERT_EQ(0, ::stat(thread.ImagePath.c_str(), &st));
  EXPECT_EQ(0u, st.st_mode & 0077);
#endif
}

// A target that is not a regular file is never replaced; the whole image
// read from the controller stays beside it.
TEST_F(BackupTest, AWholeImageThatCannotReplaceTheFileIsKept) {
#ifdef _WIN32
  for (const char* kind : {"folder"}) {
#else
  for (const char* kind : {"folder", "fifo"}) {
#endif
    ScriptedPort p;
    BackupScript script(p, image);
    VornKaprinThread thread(gui);
    thread.ImagePath = dir.path + "/" + kind + ".img";
    if (std::string(kind) == "folder")
      std::filesystem::create_directories(thread.ImagePath + "/inside");
#ifndef _WIN32
    else
      ASSERT_EQ(0, ::mkfifo(thread.ImagePath.c_str(), 0600));
#endif
    RunToEnd(thread, p);

    EXPECT_FALSE(thread.Succeeded) << kind;
    EXPECT_EQ(0u, thread.ErrorText.rfind("Write image to file error!\n", 0)) << thread.ErrorText;
    EXPECT_NE(std::string::npos, thread.ErrorText.find(thread.TempPath())) << kind;
    EXPECT_EQ(AsString(image), ReadAll(thread.TempPath())) << kind;
    EXPECT_EQ(std::string(kind) == "folder", std::filesystem::is_directory(thread.ImagePath)) << kind;
    EXPECT_EQ(std::string(kind) == "fifo", std::filesystem::is_fifo(thread.ImagePath)) << kind;
  }
}

// Each backup writes a file of its own: two at once to one name each finish
// whole, and a file of the user's that looks like a leftover is never touched.
TEST_F(BackupTest, TemporaryFilesAreFreshAndOnlyOwnOnesGo) {
  const std::string target = dir.path + "/a.img";
  const std::string mine = dir.File("a.img.partial", "the user's own");
  std::vector<uint8_t> other = image;
  for (uint8_t& b : other) b = static_cast<uint8_t>(~b);
  ScriptedPort p1, p2;
  BackupScript s1(p1, image), s2(p2, other);
  VornKaprinThread t1(gui), t2(gui);
  for (auto* t : {&t1, &t2}) {
    t->ImagePath = target;
    t->PortName = "COM1";
  }
  t1.Factory = [&p1](const std::string&) { return std::make_unique<BorrowedPort>(p1); };
  t2.Factory = [&p2](const std::string&) { return std::make_unique<BorrowedPort>(p2); };
  t1.Resume();
  t2.Resume();
  t1.WaitFor();
  t2.WaitFor();
  EXPECT_TRUE(t1.Succeeded && t2.Succeeded) << t1.ErrorText << t2.ErrorText;
  EXPECT_NE(t1.TempPath(), t2.TempPath());
  const std::string result = ReadAll(target);
  EXPECT_TRUE(result == AsString(image) || result == AsString(other));

  // A failed backup, and one the user stops after some chunks were written.
  for (bool cancelled : {false, true}) {
    ScriptedPort p3;
    BackupScript ending(p3, image);
    if (!cancelled) ending.badTimes = {{0, 3}};
    VornKaprinThread t3(gui);
    if (cancelled) {
      auto answer = p3.onWrite;
      p3.onWrite = [&](const std::vector<uint8_t>& w) {
        answer(w);
        if (ending.answers.size() == 40000) t3.Terminate();
      };
    }
    t3.ImagePath = target;
    RunToEnd(t3, p3);
    EXPECT_FALSE(t3.Succeeded);
    EXPECT_EQ(cancelled ? 9 : 0, t3.ChunkWrites());
    // The program left running never brings its prompt back here, and the end says so.
    EXPECT_EQ((cancelled ? ImageStoppedText(true) : "Check sum error!\n\nBlock 0 arrived damaged 3 times in a row.") +
                  "\n\n" + ProgramEndNote(t3),
              ImageEndText(t3, true));
    EXPECT_FALSE(ProgramEndNote(t3).empty());
    EXPECT_EQ("the user's own", ReadAll(mine));
    EXPECT_EQ(result, ReadAll(target));
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path)) ++files;
    EXPECT_EQ(2u, files);  // the image and the user's file, no leftovers
  }
}

// A noisy line damages blocks all through a backup: only three failures of
// one block in a row, or repeats for more than 1 % of the blocks, end it.
TEST_F(BackupTest, ChecksumFailuresAreRepeatedUntilTheThird) {
  std::map<int, int> many;
  for (int b = 1; b <= 1311; ++b) many[b * 90] = 1;
  struct Case {
    std::set<int> bad;
    std::map<int, int> badTimes;
    bool succeeds;
    std::string error = "";
    int32_t progress = 0;
    int pauseMs = 500;
  };
  const Case cases[] = {
      {{0, 100000}, {}, true},
      {{0, 5000, 100000}, {{7, 2}}, true},
      {{0}, {{5000, 3}}, false, "Check sum error!\n\nBlock 5000 arrived damaged 3 times in a row.", 4999},
      {{0}, many, false,
       "Check sum error!\n\n1311 of 131072 blocks arrived damaged, more than 1 %: the line is too noisy for a backup.",
       1310 * 90 - 1, 0},
  };
  for (const Case& c : cases) {
    ScriptedPort p;
    BackupScript script(p, image, c.bad);
    script.badTimes = c.badTimes;
    VornKaprinThread thread(gui);
    thread.RepeatPauseMs = c.pauseMs;
    script.thread = &thread;
    const std::string earlier(5000, 'E');
    thread.ImagePath = dir.File("earlier.img", earlier);
    RunToEnd(thread, p);

    EXPECT_EQ(c.succeeds, thread.Succeeded.load());
    // Block 0 is asked for again after the pause, with nothing accepted yet.
    ASSERT_GE(script.answers.size(), 2u);
    EXPECT_EQ("666", script.answers[0].digits);
    EXPECT_GE(script.answers[0].sinceBlock.count(), c.pauseMs * 9 / 10);
    EXPECT_EQ(-1, script.answers[1].progressBefore);
    EXPECT_EQ("111", script.answers[1].digits);
    if (c.succeeds) {
      EXPECT_EQ(AsString(image), ReadAll(thread.ImagePath));
    } else {
      EXPECT_EQ(c.error, thread.ErrorText);
      EXPECT_EQ(c.progress, thread.Progress);
      EXPECT_EQ(earlier, ReadAll(thread.ImagePath));  // the earlier image survives
    }
    EXPECT_FALSE(std::filesystem::exists(thread.TempPath()));
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

// A byte that comes late: after a read that timed out, or after the purge of
// the next write.
class LateBytePort : public ScriptedPort {
 public:
  std::optional<uint8_t> late;
  bool ReadExact(uint8_t* buffer, size_t count) override {
    if (input.empty() && late) {
      PushByte(*late);
      late.reset();
      return false;
    }
    return ScriptedPort::ReadExact(buffer, count);
  }
  bool Write(const uint8_t* bytes, size_t count) override {
    const std::optional<uint8_t> pending = late;
    ScriptedPort::Write(bytes, count);
    if (pending) {
      input.push_front(*pending);
      late.reset();
    }
    return true;
  }
  using Port::Write;
};

class RestoreTest : public ::testing::Test {
 protected:
  DirectInvoker gui;
  LateBytePort port;
  TempDir dir;
  std::vector<uint8_t> image = SampleImage();
  std::string Image(size_t size) { return dir.File("7730D.img", AsString(image).substr(0, size)); }
};

TEST_F(RestoreTest, AnswersEveryKindOfRequestWithTheNextBlock) {
  // "444" after a damaged block, and single requests damaged on the way, all
  // get the next block. A line feed after the echo and a late last byte of
  // the first request do not put the requests out of step.
  RestoreScript script(port, [](int i) {
    if (i % 7 == 2) return RestoreScript::Request(i % 2 ? "444" : "111", false);
    if (i % 3 == 1) return RestoreScript::Request("444");
    return RestoreScript::Request("111");
  });
  script.lineFeedAfterEcho = true;
  script.late = &port.late;
  script.ending = "\r\nKAPRINWR: 16384 blocks written\r\nD:\\>";
  RecordingPane pane;
  VornKaprinResThread thread(gui);
  thread.Terminal = &pane;
  thread.ImagePath = dir.File("7730D.img", AsString(image) + "a longer file is cut at 1 MiB");
  RunToEnd(thread, port);

  // Every "444" (whole, or damaged and nearer it than "111") tells of a
  // block that reached the controller damaged and was written so.
  int damaged = 0;
  for (int i = 1; i < 16384; ++i) damaged += (i % 7 == 2 && i % 2) || (i % 7 != 2 && i % 3 == 1);
  EXPECT_FALSE(thread.Succeeded);
  EXPECT_EQ(damaged, thread.DamagedBlocks());
  EXPECT_EQ("The restore failed: " + std::to_string(damaged) +
                " blocks of the image arrived damaged at the VORN-7730 and were written as they came.\nThe drive D: "
                "must be restored again before it is used.\n\nKAPRINWR: 16384 blocks written",
            ImageEndText(thread, false));
  EXPECT_EQ("KAPRINWR: 16384 blocks written", thread.FinalWords);
  EXPECT_EQ(std::vector<std::string>{"KAPRINWR: 16384 blocks written"}, pane.lines);
  EXPECT_EQ("D:\\kaprinwr 2 3 4\r", script.typed);
  EXPECT_EQ(16384, script.requests);
  EXPECT_EQ(16383, thread.Progress);
  EXPECT_EQ(0, script.badBlocks);
  EXPECT_EQ(image, script.received);
}

TEST_F(RestoreTest, EndsWithTheReasonOfAFailure) {
  const std::string invalid = "Error occurs on Vorn-7730 or \ninvalid response from Vorn-7730!";
  const std::string shell = "\r\nKAPRINWR Error: stopped\r\nD:\\>";
  struct Case {
    const char* name;
    size_t imageSize;  // 0: no file
    int oddAt;         // -1: none
    std::string oddRequest;
    std::string error;
    int blocksSent;
    std::string ending = "D:\\>";
  };
  const Case cases[] = {
      {"invalid request", kImageSize, 7, RestoreScript::Request("123"), invalid, 7},
      // The program ended early: its text is no request, and nothing of the
      // image may reach the shell.
      {"program ended", kImageSize, 256, shell, invalid + "\n\nKAPRINWR Error: stopped", 256},
      {"damaged, not a request", kImageSize, 9, RestoreScript::Request("1x4", false), invalid, 9},
      {"two damaged blocks", kImageSize, 9, RestoreScript::Request("444", false),
       "The restore failed: 2 blocks of the image arrived damaged at the VORN-7730 and were written as they "
       "came.\nThe drive D: must be restored again before it is used.",
       16384},
      {"missing image", 0, -1, "", "Read data from image fail!", 0},
      {"image shrank", 640 + 10, -1, "", "Read data from image fail!", 11},
      // The program's last word after the last block.
      {"refused at the end", kImageSize, -1, "", "The VORN-7730 did not write the image:\n\nX\nKAPRINWR Error: unchanged",
       16384, "\r\nX\r\nKAPRINWR Error: unchanged\r\nD:\\>"},
      {"left unchanged", kImageSize, -1, "", "The VORN-7730 did not write the image:\n\nDrive D: left unchanged",
       16384, "Drive D: left unchanged\r\nD:\\>"},
      // Its error after writing (the last block damaged, which no request tells).
      {"error at the end", kImageSize, -1, "",
       "The VORN-7730 reported an error at the end of the restore:\n\nKAPRINWR Error: 1 of 16384 blocks arrived "
       "damaged\n\nThe drive D: must be restored again before it is used.",
       16384, "KAPRINWR Error: 1 of 16384 blocks arrived damaged\r\nD:\\>"},
      {"no prompt at the end", kImageSize, -1, "",
       "The VORN-7730's prompt did not come back after the last block:\nthe image may not have been written.", 16384,
       ""},
  };
  for (const Case& c : cases) {
    ScriptedPort p;
    RestoreScript script(p, [&c](int i) {
      if (i == c.oddAt || (c.oddAt == 9 && i == 10)) return c.oddRequest;
      return RestoreScript::Request("111");
    });
    script.ending = c.ending;
    VornKaprinResThread thread(gui);
    thread.ImagePath = c.imageSize ? Image(c.imageSize) : dir.path + "/missing.img";
    RunToEnd(thread, p);

    EXPECT_FALSE(thread.Succeeded) << c.name;
    EXPECT_EQ(c.error, thread.ErrorText) << c.name;
    EXPECT_EQ(c.blocksSent * 64u, script.received.size()) << c.name;
    EXPECT_EQ(std::min(c.blocksSent + 1, 16384), script.requests) << c.name;
    if (c.blocksSent * 64u > c.imageSize && c.imageSize) {
      // The missing bytes of the last block went out as zeros.
      EXPECT_EQ(0, script.received.back()) << c.name;
      EXPECT_EQ(image[c.imageSize - 1], script.received[c.imageSize - 1]) << c.name;
    }
  }
}

// Requests damaged on the way: noise on "111" or "444" is answered (and
// counted when it leans to "444"); anything else is the shell talking.
TEST(RestoreRequestTest, NoiseOnARequestIsTakenForTheNearerOne) {
  auto flip = [](std::string r, int bit) {
    r[bit / 8] = static_cast<char>(r[bit / 8] ^ (1 << (bit % 8)));
    return r;
  };
  const std::string next = RestoreScript::Request("111"), damaged = RestoreScript::Request("444");
  struct Case {
    std::string request;
    RestoreRequest kind;
  } const cases[] = {
      {next, RestoreRequest::Next},
      {damaged, RestoreRequest::Damaged},
      {RestoreScript::Request("123"), RestoreRequest::Invalid},
      {flip(next, 35), RestoreRequest::NoiseNext},        // a CRC bit
      {flip(next, 0), RestoreRequest::NoiseNext},         // "0" for "1"
      {flip(damaged, 24), RestoreRequest::NoiseDamaged},  // a CRC bit
      {flip(damaged, 8), RestoreRequest::NoiseDamaged},
      {flip(flip(next, 2), 16), RestoreRequest::NoiseNext},  // "510": nearer "111" with its CRC
      {RestoreScript::Request("1x4", false), RestoreRequest::Invalid},
      {"\r\nKAP", RestoreRequest::Invalid},
  };
  for (const Case& c : cases) {
    uint8_t request[5];
    std::memcpy(request, c.request.data(), 5);
    EXPECT_EQ(c.kind, ClassifyRestoreRequest(request)) << testing::PrintToString(c.request);
  }
}

TEST(RestoreRequestTest, OnlyTheProgramsErrorOrAnUnchangedDriveIsARefusal) {
  struct Case {
    const char* line;
    bool refusal;
  } const cases[] = {
      {"KAPRINWR Error: stopped", true},
      {"kaprinwr.exe: ERROR 5", true},
      {"Drive D: left unchanged", true},
      {"KAPRINWR: 16384 blocks written, 0 errors", false},
      {"write failed 0 times", false},
      {"Error: no KAPRINWR", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.refusal, RestoreRefusalLine(c.line)) << c.line;
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

// A line that breaks after the command's echo: the port reports it lost, or a
// read throws. Either ends the transfer at once, with a reason for the box.
class BreakingPort : public ScriptedPort {
 public:
  bool throws = false;
  bool ReadExact(uint8_t* buffer, size_t count) override {
    if (ScriptedPort::ReadExact(buffer, count)) return true;
    if (throws) throw std::runtime_error("boom");
    lost = "Input/output error";
    return false;
  }
};

TEST(KaprinStopTest, ABrokenLineEndsTheTransferAtOnceWithAReason) {
  DirectInvoker gui;
  for (int kind = 0; kind < 4; ++kind) {
    BreakingPort port;
    port.throws = kind >= 2;
    port.onWrite = [&port](const std::vector<uint8_t>& w) { port.PushByte(w[0]); };
    std::unique_ptr<KaprinThreadBase> thread;
    if (kind % 2 == 0)
      thread = std::make_unique<VornKaprinThread>(gui);
    else
      thread = std::make_unique<VornKaprinResThread>(gui);
    TempDir dir;
    thread->ImagePath = dir.path + "/x.img";
    thread->PortName = "COM1";
    thread->Factory = [&port](const std::string&) { return std::make_unique<BorrowedPort>(port); };
    thread->Resume();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!thread->Done && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(thread->Done) << kind;
    thread->Stop();
    EXPECT_FALSE(thread->Succeeded) << kind;
    EXPECT_EQ(port.throws ? "The image transfer stopped on an unexpected error: boom"
                          : "The serial line was lost (COM1): Input/output error",
              thread->ErrorText)
        << kind;
  }
}

#ifndef _WIN32
// What the host can check before the controller is touched, with the reason.
TEST(ImageHostChecks, RefuseWhatCannotWork) {
  TempDir dir;
  const bool root = ::geteuid() == 0;
  const std::string good = dir.File("good.img", std::string(kImageSize, 'x'));
  const std::string longer = dir.File("long.img", std::string(kImageSize + 1, 'x'));
  const std::string locked = dir.File("locked.img", std::string(kImageSize, 'x'));
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  const std::string fifo = dir.path + "/fifo.img";
  ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
  const std::string readOnly = dir.path + "/ro";
  std::filesystem::create_directories(readOnly);
  std::filesystem::permissions(readOnly, std::filesystem::perms(0555));
  struct Case {
    std::string problem;
    std::string expected;  // a part of the reason; empty: no problem
  };
  const Case cases[] = {
      {ImageFileProblem(good), ""},
      {ImageFileProblem(dir.path + "/missing.img"), "does not exist"},
      {ImageFileProblem(dir.path), "Folder"},
      {ImageFileProblem(fifo), "FIFO"},
      {ImageFileProblem("/dev/zero"), "Character Device"},
      {ImageFileProblem(longer), "too long"},
      {ImageFileProblem(locked), root ? "" : "cannot be read: Permission denied"},
      {BackupTargetProblem(good), ""},
      {BackupTargetProblem(dir.path + "/new.img"), ""},
      {BackupTargetProblem("/dev/full"), "Character Device, not a regular file"},
      {BackupTargetProblem(fifo), "FIFO"},
      {BackupTargetProblem(dir.path + "/no/such.img"), "does not exist"},
      {BackupTargetProblem(readOnly + "/x.img"), root ? "" : "Permission denied"},
      {BackupTargetProblem(dir.path + "/" + std::string(300, 'n') + ".img"), "File name too long"},
      {ToolProblem(dir.path + "/", "KAPRINRD.EXE"), "KAPRINRD.EXE not found in " + dir.path + "/"},
      {ToolProblem(dir.path + "/", "good.img"), ""},
  };
  for (const Case& c : cases) {
    if (c.expected.empty())
      EXPECT_EQ("", c.problem);
    else
      EXPECT_NE(std::string::npos, c.problem.find(c.expected)) << c.problem << " / " << c.expected;
  }
  // The checks leave nothing behind.
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path)) ++entries;
  EXPECT_EQ(5u, entries);
  EXPECT_TRUE(std::filesystem::is_empty(readOnly));
  std::filesystem::permissions(readOnly, std::filesystem::perms(0755));
}
#endif

}  // namespace
}  // namespace vorn::test
