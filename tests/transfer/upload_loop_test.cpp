#include <atomic>
#include "transfer/upload_loop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "link/gui_invoker.h"
#include "receiver_script.h"
#include "scripted_port.h"
#include "app/scripted_ui.h"
#include "temp_files.h"

namespace vorn::test {
namespace {

class UploadLoopTest : public ::testing::Test {
 protected:
  UploadLoopTest() {
    hooks.Error = [this](const std::string& t) { errors.push_back(t); };
    hooks.AskName = [this](const std::string& caption, const std::string& prompt, int max, const std::string& initial) {
      asked.push_back(caption + "|" + prompt + "|" + std::to_string(max) + "|" + initial);
      std::optional<std::string> a;
      if (!names.empty()) {
        a = names.front();
        names.erase(names.begin());
      }
      return a;
    };
    hooks.Progress = [this](const std::string& file, int position, int total, int percent) {
      progress.push_back(std::to_string(position) + "/" + std::to_string(total) + " " + std::to_string(percent));
    };
  }

  UploadResult Run(const std::vector<std::string>& files, const std::string& targetDir = "D:\\DATA\\") {
    return RunUploads(port, pane, gui, files, targetDir, hooks);
  }

  std::vector<std::string> Commands() const {
    std::vector<std::string> out;
    for (const auto& u : rx.uploads) out.push_back(u.command);
    return out;
  }

  TempDir dir;
  ScriptedPort port;
  RecordingPane pane;
  DirectInvoker gui;
  ReceiverScript rx{port};
  UploadHooks hooks;
  std::vector<std::string> errors, asked, progress;
  std::vector<std::optional<std::string>> names;
};

TEST_F(UploadLoopTest, FilesGoUpInOrderWithTheirPositions) {
  auto result = Run({dir.File("ONE.TXT", std::string(300, '1')), dir.File("TWO.TXT", "2"),
                     dir.File("THREE.TXT", "3")});
  EXPECT_TRUE(result.Succeeded);
  EXPECT_EQ(result.Uploaded, 3);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"C:\\transfer /R D:\\DATA\\ONE.TXT\r",
                                                  "C:\\transfer /R D:\\DATA\\TWO.TXT\r",
                                                  "C:\\transfer /R D:\\DATA\\THREE.TXT\r"}));
  EXPECT_TRUE(errors.empty());
  // Each file starts from 0 and ends at 100 under its own position.
  std::map<std::string, std::pair<std::string, std::string>> firstLast;
  for (const auto& p : progress) {
    const std::string pos = p.substr(0, 3);
    if (!firstLast.count(pos)) firstLast[pos].first = p;
    firstLast[pos].second = p;
  }
  ASSERT_EQ(firstLast.size(), 3u);
  EXPECT_EQ(firstLast["1/3"].first, "1/3 0");
  EXPECT_EQ(firstLast["1/3"].second, "1/3 100");
  EXPECT_EQ(firstLast["2/3"].first, "2/3 0");
  EXPECT_EQ(firstLast["3/3"].second, "3/3 100");
}

TEST_F(UploadLoopTest, FailureOfTheSecondFileStopsTheThird) {
  rx.blockAnswer = [](int upload, int, int) { return upload == 1 ? 'C' : 'A'; };
  auto result = Run({dir.File("ONE.TXT", "1"), dir.File("TWO.TXT", "2"), dir.File("THREE.TXT", "3")});
  EXPECT_FALSE(result.Succeeded);
  EXPECT_EQ(result.Uploaded, 1);
  EXPECT_EQ(result.FailedName, "TWO.TXT");
  EXPECT_EQ(rx.uploads.size(), 2u);
  EXPECT_EQ(errors, (std::vector<std::string>{"Fail to transfer file 'TWO.TXT'!\n\nReason: the receiver on VORN-7730 "
                                              "cancelled the transfer at block 1 (from byte 0)."}));
}

// A failed file says why, as the controller's side or the host's side showed it.
TEST_F(UploadLoopTest, FailureSaysWhy) {
  const struct {
    char answer;  // to the third block: C cancel, s silence (a lost line)
    const char* reason;
  } cases[] = {
      {'C', "the receiver on VORN-7730 cancelled the transfer at block 3 (from byte 256)."},
      {'s', "VORN-7730 did not acknowledge block 3 (from byte 256) after 10 tries: the line to the controller was "
            "lost or is too noisy."},
  };
  for (const auto& c : cases) {
    errors.clear();
    rx.blockAnswer = [&c](int, int block, int) { return block == 3 ? c.answer : 'A'; };
    Run({dir.File("LOST.TXT", std::string(1000, 'x'))});
    EXPECT_EQ(errors, (std::vector<std::string>{std::string("Fail to transfer file 'LOST.TXT'!\n\nReason: ") + c.reason}));
  }
}

TEST_F(UploadLoopTest, InvalidNamesArePromptedFor) {
  // A typed name must pass the same rule; cancel skips only that file.
  names = {std::string("MY PROG"), std::string("MYPROG.EXE"), std::nullopt};
  auto result = Run({dir.File("MY PROG.EXE", "a"), dir.File("b-c.txt", "b"), dir.File("OK.TXT", "c")});
  EXPECT_TRUE(result.Succeeded);
  EXPECT_EQ(result.Uploaded, 2);
  EXPECT_EQ(result.Skipped, 1);
  // Each prompt says why and offers a name the controller takes.
  const std::string why = "VORN-7730 takes only letters, digits, _ and a dot in a name.\n\nPlease input new file name:";
  EXPECT_EQ(asked, (std::vector<std::string>{"Invalid file name 'MY PROG.EXE'|" + why + "|12|MYPROG.EXE",
                                             "Invalid file name 'MY PROG'|" + why + "|12|MYPROG",
                                             "Invalid file name 'b-c.txt'|" + why + "|12|BC.TXT"}));
  EXPECT_EQ(Commands(), (std::vector<std::string>{"C:\\transfer /R D:\\DATA\\MYPROG.EXE\r",
                                                  "C:\\transfer /R D:\\DATA\\OK.TXT\r"}));
  // The renamed file keeps its position in the count.
  EXPECT_EQ(progress.front(), "1/3 0");
  EXPECT_EQ(progress.back(), "3/3 100");
  EXPECT_TRUE(errors.empty());
}

TEST_F(UploadLoopTest, InvalidNameWithoutPromptFails) {
  hooks.AskName = nullptr;
  auto result = Run({dir.File("A B.TXT", "a"), dir.File("OK.TXT", "c")});
  EXPECT_FALSE(result.Succeeded);
  EXPECT_TRUE(rx.uploads.empty());
  EXPECT_EQ(errors, (std::vector<std::string>{"Invalid file name 'A B.TXT'"}));
}

TEST_F(UploadLoopTest, CancelStopsTheRunningFileAndTheRest) {
  // Set by the receiver's thread, read by the polling loop.
  std::atomic<bool> cancel{false};
  hooks.CancelRequested = [&] { return cancel.load(); };
  rx.onBlock = [&](int, int block) {
    if (block == 2) cancel = true;
  };
  auto result = Run({dir.File("ONE.TXT", std::string(1000, '1')), dir.File("TWO.TXT", "2")});
  EXPECT_TRUE(result.Cancelled);
  EXPECT_TRUE(result.Succeeded);  // a cancel is not reported as a failure
  EXPECT_EQ(rx.uploads.size(), 1u);
  EXPECT_EQ(rx.uploads[0].cancels, 1);
  EXPECT_TRUE(errors.empty());
}

TEST_F(UploadLoopTest, MissingHostFileFails) {
  auto result = Run({dir.path + "/GONE.TXT", dir.File("OK.TXT", "c")});
  EXPECT_FALSE(result.Succeeded);
  EXPECT_EQ(errors, (std::vector<std::string>{"Fail to transfer file 'GONE.TXT'!\n\nReason: the file cannot be "
                                              "opened on this computer."}));
  EXPECT_EQ(pane.lines, (std::vector<std::string>{"<<Cannot Open Send File>>"}));
}

TEST_F(UploadLoopTest, AnUnacknowledgedEndCountsOnlyWhereNothingIsReplaced) {
  // The listing cannot tell a replacement from the file it replaced, so an
  // end of file without its ACK fails there, whatever the sizes say.
  struct Case {
    const char* listed;  // the name the target lists, as the controller stores it
    bool replaces;
  } const cases[] = {{"OTHER.TXT", false}, {"R.TXT", true}, {"NOEXT", true}};
  for (const Case& c : cases) {
    ScriptedPort p;
    ReceiverScript r{p};
    r.eotAnswers = "x";
    RemoteEntry entry;
    entry.Name = c.listed;
    hooks.Listed = {entry};
    const std::string name = std::string(c.listed) == "NOEXT" ? "noext." : "r.txt";
    const UploadResult result = RunUploads(p, pane, gui, {dir.File(name, "new")}, "D:\\", hooks);
    ASSERT_EQ(result.Unacknowledged.size(), 1u) << c.listed;
    EXPECT_EQ(result.Unacknowledged[0].replaces, c.replaces) << c.listed;
    if (!c.replaces) continue;
    ScriptedUi ui;
    EXPECT_FALSE(ConfirmStored("COM9", nullptr, result.Unacknowledged, ui));
    ASSERT_EQ(ui.Texts("error").size(), 1u);
    EXPECT_NE(ui.Texts("error")[0].find("may not have been stored"), std::string::npos);
  }
}

TEST_F(UploadLoopTest, AFileThatChangesSizeWhileSentIsCancelled) {
  for (const bool grows : {true, false}) {
    ScriptedPort p;
    ReceiverScript r{p};
    const std::string file = dir.File("GROW.TXT", std::string(10000, 'g'));
    r.onBlock = [&](int, int block) {
      if (block == 1) std::filesystem::resize_file(file, grows ? 20000 : 5000);
    };
    errors.clear();
    const UploadResult result = RunUploads(p, pane, gui, {file}, "D:\\", hooks);
    EXPECT_FALSE(result.Succeeded) << grows;
    ASSERT_EQ(r.uploads.size(), 1u);
    EXPECT_EQ(r.uploads[0].cancels, 1) << grows;  // the receiver stores nothing
    EXPECT_EQ(r.uploads[0].eots, 0) << grows;
    EXPECT_EQ(errors, (std::vector<std::string>{"Fail to transfer file 'GROW.TXT'!"}));
  }
}

}  // namespace
}  // namespace vorn::test
