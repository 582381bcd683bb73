#include "transfer/copy_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>

#include "app/scripted_ui.h"
#include "temp_files.h"
#include "transfer/folder_plan.h"

namespace vorn {
namespace {

LocalSelection File(const std::string& path, uint64_t size) { return {false, path, size}; }
LocalSelection Folder(const std::string& path) { return {true, path, 0}; }

TEST(CopyChecks, RefusedSelectionsNameTheReason) {
  EXPECT_EQ(CheckCopySelection({}, 5000).message, "Please select a file.");
  // One folder refuses the whole selection, wherever it stands.
  auto check = CheckCopySelection({File("/h/A.EXE", 10), Folder("/h/SUB"), File("/h/B.EXE", 10)}, 5000);
  EXPECT_EQ(check.message, "Only file can be transferred.");
  EXPECT_TRUE(check.files.empty());
  // So does a FIFO or device: reading it would hang the upload.
  check = CheckCopySelection({File("/h/A.EXE", 10), {false, "/h/PIPE", 0, "FIFO"}}, 5000);
  EXPECT_EQ(check.message, "Only file can be transferred.\n\n'PIPE' is a FIFO, not a regular file.");
  EXPECT_TRUE(check.files.empty());
  EXPECT_EQ(CheckCopySelection({File("/h/A.EXE", 10)}, 0).message,
            "Please press 'Refresh folder' button in the VORN-7730 panel first.");
  // The total must be above zero and below the free space.
  EXPECT_EQ(CheckCopySelection({File("/h/E1", 0), File("/h/E2", 0)}, 5000).message,
            "There is no enough space on VORN-7730.");
  EXPECT_EQ(CheckCopySelection({File("/h/A", 3000), File("/h/B", 2000)}, 5000).message,
            "There is no enough space on VORN-7730.");
  EXPECT_TRUE(CheckCopySelection({File("/h/A", 3000), File("/h/B", 1999)}, 5000).Ok());
}

TEST(CopyChecks, TotalDoesNotWrapPastFourGiB) {
  // 4 GiB + 100 bytes would be 100 bytes in 32 bits and pass the check.
  auto check = CheckCopySelection({File("/h/HUGE.IMG", 4294967296ull), File("/h/A.TXT", 100)}, 800000);
  EXPECT_EQ(check.message, "There is no enough space on VORN-7730.");
  EXPECT_EQ(check.totalSize, 4294967396ull);
}

TEST(CopyChecks, AcceptedSelectionKeepsListOrder) {
  auto check = CheckCopySelection({File("/h/Z.EXE", 1), File("/h/A.EXE", 2), File("/h/M.EXE", 3)}, 100);
  ASSERT_TRUE(check.Ok());
  EXPECT_EQ(check.files, (std::vector<std::string>{"/h/Z.EXE", "/h/A.EXE", "/h/M.EXE"}));
  EXPECT_EQ(check.totalSize, 6u);
}

TEST(CopyChecks, TargetDirectoryFollowsTheRemotePath) {
  EXPECT_EQ(TargetDirFor("\\"), "D:\\");
  EXPECT_EQ(TargetDirFor("\\DATA"), "D:\\DATA\\");
  EXPECT_EQ(TargetDirFor("\\DATA\\SUB"), "D:\\DATA\\SUB\\");
}

TEST(CopyChecks, ValidFileNameTakesOnlyTheControllersCharacters) {
  EXPECT_TRUE(ValidFileName("PROG.EXE"));
  EXPECT_TRUE(ValidFileName("a_b.c.d"));
  EXPECT_TRUE(ValidFileName("averyveryverylongname_without_limits.extension"));
  EXPECT_TRUE(ValidFileName("."));
  EXPECT_FALSE(ValidFileName(""));
  EXPECT_FALSE(ValidFileName("MY-PROG.EXE"));
  EXPECT_FALSE(ValidFileName("MY PROG.EXE"));
  EXPECT_FALSE(ValidFileName("caf\xc3\xa9.txt"));
  EXPECT_FALSE(ValidFileName("\xe9t\xe9.txt"));
  EXPECT_FALSE(ValidFileName("A~1.TXT"));
}

// The name offered in place of a refused one is one the controller takes.
TEST(CopyChecks, ShortNameForOffersAnEightDotThreeName) {
  const struct {
    const char* name;
    bool taken;
    const char* offered;
  } cases[] = {
      {"my file.txt", false, "MYFILE.TXT"},   {"a very long name.text", false, "AVERYLON.TEX"},
      {"-.txt", false, "FILE.TXT"},           {"archive.tar.gz", false, "ARCHIVET.GZ"},
      {".profile", false, "PROFILE"},         {"abc.txt", true, "ABC2.TXT"},
      {"ABCDEFGH.TXT", true, "ABCDEFG2.TXT"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShortNameFor(c.name, c.taken), c.offered) << c.name;
    EXPECT_TRUE(IsShortName(ShortNameFor(c.name, c.taken))) << c.name;
  }
}

TEST(CopyChecks, FileNamePartIsWhatFollowsTheLastSeparator) {
  EXPECT_EQ(FileNamePart("/home/user/PROG.EXE"), "PROG.EXE");
  EXPECT_EQ(FileNamePart("PROG.EXE"), "PROG.EXE");
  EXPECT_EQ(FileNamePart("/home/user/"), "");
#ifdef _WIN32
  // The names Windows gives: backslashes, and a drive with or without a folder.
  EXPECT_EQ(FileNamePart("C:\\Users\\me\\PROG.EXE"), "PROG.EXE");
  EXPECT_EQ(FileNamePart("D:PROG.EXE"), "PROG.EXE");
#endif
}


// Files the controller already lists are asked for one by one: Yes and No
// decide for one, Yes to all for the rest, Cancel stops the whole copy; a
// directory of that name is left to the receiver's refusal.
TEST(CopyChecks, OverwriteQuestionHasFourAnswers) {
  using C = Ui::Choice;
  struct Case {
    std::vector<C> answers;
    std::optional<std::vector<std::string>> uploaded;
    size_t questions;
  } const cases[] = {
      {{C::Yes, C::No, C::Yes}, std::vector<std::string>{"/h/a.txt", "/h/C.TXT", "/h/D.TXT", "/h/E.TXT"}, 3},
      {{C::YesToAll}, std::vector<std::string>{"/h/a.txt", "/h/B.TXT", "/h/C.TXT", "/h/D.TXT", "/h/E.TXT"}, 1},
      {{C::No, C::No, C::No}, std::vector<std::string>{"/h/C.TXT", "/h/E.TXT"}, 3},
      {{C::Yes, C::Cancel}, std::nullopt, 2},
  };
  std::vector<RemoteEntry> listed(4);
  listed[0].Name = "A.TXT";
  listed[1].Name = "B.TXT";
  listed[2].Name = "D.TXT";
  listed[3].Name = "E.TXT";
  listed[3].IsDirectory = true;
  for (const Case& c : cases) {
    test::ScriptedUi ui;
    ui.choices.assign(c.answers.begin(), c.answers.end());
    const auto files =
        AskOverwrites({"/h/a.txt", "/h/B.TXT", "/h/C.TXT", "/h/D.TXT", "/h/E.TXT"}, listed, "D:\\DATA\\", ui);
    EXPECT_EQ(files, c.uploaded);
    EXPECT_EQ(ui.Texts("question").size(), c.questions);
    EXPECT_EQ(ui.Texts("question")[0], "The file 'A.TXT' is already in D:\\DATA\\ on VORN-7730.\nReplace it?");
  }
  // A folder is asked for where a directory of its name is listed, not where
  // a file is (the directory cannot be made there; the upload says so).
  test::ScriptedUi ui;
  ui.choices = {C::No};
  EXPECT_EQ(AskOverwrites({"/h/E.TXT", "/h/A.TXT"}, listed, "D:\\", ui, {"/h/E.TXT", "/h/A.TXT"}),
            std::optional(std::vector<std::string>{"/h/A.TXT"}));
  EXPECT_EQ(ui.Texts("question"),
            std::vector<std::string>{"The folder 'E.TXT' is already in D:\\ on VORN-7730.\nUpload into it, "
                                     "replacing its files of the same names?"});
}

TEST(CopyChecks, NamesMeetAsTheControllerStoresThem) {
  // "NOEXT." is stored as NOEXT, and two files of one name in a selection
  // would leave only the second: each is asked for as a listed file is.
  struct Case {
    std::vector<std::string> files;
    const char* listed;
    size_t questions;
    const char* firstQuestion;
  } const cases[] = {
      {{"/h/NOEXT."}, "NOEXT", 1, "The file 'NOEXT' is already in D:\\ on VORN-7730.\nReplace it?"},
      {{"/h/noext"}, "NOEXT", 1, "The file 'NOEXT' is already in D:\\ on VORN-7730.\nReplace it?"},
      {{"/a/REPORT.TXT", "/b/report.txt"}, "OTHER", 1,
       "The file 'REPORT.TXT' is already in D:\\ on VORN-7730.\nReplace it?"},
      {{"/a/ONE.TXT", "/b/TWO.TXT"}, "OTHER", 0, ""},
  };
  for (const Case& c : cases) {
    std::vector<RemoteEntry> listed(1);
    listed[0].Name = c.listed;
    test::ScriptedUi ui;
    ui.choices = {Ui::Choice::No};
    const auto files = AskOverwrites(c.files, listed, "D:\\", ui);
    ASSERT_TRUE(files) << c.files[0];
    EXPECT_EQ(files->size(), c.files.size() - c.questions) << c.files[0];
    ASSERT_EQ(ui.Texts("question").size(), c.questions) << c.files[0];
    if (c.questions) EXPECT_EQ(ui.Texts("question")[0], c.firstQuestion);
  }
}

TEST(FolderPlan, EverythingThatWouldStopTheJobIsFoundFirst) {
  test::TempDir dir;
  namespace fs = std::filesystem;
  const auto refusal = [](const std::vector<std::string>& items) {
    return PlanRefusalText(PlanFolderUpload(items, "D:\\"));
  };
  // A link to nothing would stop the job half-way; a link back up would walk for ever.
  fs::create_directories(dir.path + "/DANGLE");
  std::ofstream(dir.path + "/DANGLE/A.TXT") << "a";
  fs::create_directories(dir.path + "/LOOP/SUB");
  // Windows lets only some accounts make links: there the link cases go.
  std::error_code noLinks;
  fs::create_symlink(dir.path + "/NOWHERE", dir.path + "/DANGLE/B.TXT", noLinks);
  if (!noLinks) fs::create_directory_symlink(dir.path + "/LOOP", dir.path + "/LOOP/SUB/BACK", noLinks);
  // Many bad names: the count and the first ten.
  fs::create_directories(dir.path + "/MANY");
  for (int i = 0; i < 25; ++i) std::ofstream(dir.path + "/MANY/long name " + std::to_string(i)) << i;
  struct Case {
    std::string item;
    std::vector<std::string> parts;  // in the refusal text
    size_t lines;
  } const cases[] = {
      {dir.path + "/DANGLE", {"B.TXT' cannot be read"}, 1},
      {dir.path + "/LOOP", {"BACK' is a link back to", "a loop"}, 1},
      {dir.path + "/MANY", {"25 names", "... and 15 more (25 in all)"}, 12},
  };
  for (const Case& c : cases) {
    if (noLinks && c.item != dir.path + "/MANY") continue;
    const std::string text = refusal({c.item});
    for (const std::string& part : c.parts) EXPECT_NE(text.find(part), std::string::npos) << text;
    EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')), c.lines) << text;
  }
  // "." goes up under the folder's own name.
  fs::create_directories(dir.path + "/HERE");
  std::ofstream(dir.path + "/HERE/A.TXT") << "a";
  const FolderPlan here = PlanFolderUpload({dir.path + "/HERE/."}, "D:\\");
  ASSERT_TRUE(here.Ok()) << PlanRefusalText(here);
  EXPECT_EQ(here.steps.front().RemotePath(), "D:\\HERE");
}

TEST(FolderPlan, ShortNamesAndTheWalkDepthFirst) {
  for (const auto& [name, ok] : std::vector<std::pair<std::string, bool>>{
           {"A", true}, {"ABCDEFGH.TXT", true}, {"a_1.c", true}, {"ABCDEFGHI", false}, {"A.TEXT", false},
           {"A.B.C", false}, {".TXT", false}, {"A.", false}, {"MY-FILE", false}, {"", false}})
    EXPECT_EQ(IsShortName(name), ok) << name;

  test::TempDir dir;
  namespace fs = std::filesystem;
  const std::string top = dir.path + "/TOP";
  fs::create_directories(top + "/SUB/DEEP");
  std::ofstream(top + "/B.TXT") << "bb";
  std::ofstream(top + "/A.TXT") << "a";
  std::ofstream(top + "/long name.txt") << "ccc";
  std::ofstream(top + "/SUB/C.TXT") << "dddd";
  std::ofstream(top + "/SUB/DEEP/c.txt") << "e";
  std::ofstream(top + "/SUB/DEEP/C.TXT") << "f";  // the same name on the controller as c.txt
  // Where the host ignores case too (Windows) that was one file, and no clash.
  const bool clash = std::distance(fs::directory_iterator(top + "/SUB/DEEP"), fs::directory_iterator{}) == 2;
  const auto names = [](const std::vector<std::string>& paths) {
    std::vector<std::string> out;
    for (const std::string& p : paths) out.push_back(fs::path(p).filename().string());
    return out;
  };

  // Without a prompt every bad name is collected and nothing may go.
  FolderPlan plan = PlanFolderUpload({top + "/"}, "D:\\DATA\\");
  EXPECT_FALSE(plan.Ok());
  using Names = std::vector<std::string>;
  EXPECT_EQ(names(plan.badNames), (clash ? Names{"long name.txt", "c.txt"} : Names{"long name.txt"}));
  EXPECT_NE(PlanRefusalText(plan).find("long name.txt"), std::string::npos);

  // With one: each asked once; the answer must be short and free, or it is asked again.
  std::vector<std::string> asked;
  std::vector<std::optional<std::string>> answers{"LONG.TXT", "C.TXT", std::nullopt};
  plan = PlanFolderUpload({top}, "D:\\DATA\\", [&](const std::string& path, bool, const std::string&) {
    asked.push_back(fs::path(path).filename().string());
    auto a = answers.front();
    answers.erase(answers.begin());
    return a;
  });
  EXPECT_TRUE(plan.Ok());
  EXPECT_EQ(asked, (clash ? Names{"long name.txt", "c.txt", "c.txt"} : Names{"long name.txt"}));
  std::vector<std::string> steps;
  for (const FolderStep& s : plan.steps) {
    std::string path = s.RemotePath();  // the shell takes names in any case
    for (char& c : path) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    steps.push_back((s.makeDir ? "md " : "") + path);
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"md D:\\DATA\\TOP", "D:\\DATA\\TOP\\A.TXT", "D:\\DATA\\TOP\\B.TXT",
                                             "D:\\DATA\\TOP\\LONG.TXT", "md D:\\DATA\\TOP\\SUB",
                                             "D:\\DATA\\TOP\\SUB\\C.TXT", "md D:\\DATA\\TOP\\SUB\\DEEP",
                                             "D:\\DATA\\TOP\\SUB\\DEEP\\C.TXT"}));
  EXPECT_EQ(plan.fileCount, 5);
  EXPECT_EQ(plan.totalBytes, 11u);

  // What is neither a folder nor a regular file refuses the job.
  plan = PlanFolderUpload({top, dir.path + "/MISSING"}, "D:\\");
  EXPECT_EQ(plan.refusals.size(), 1u);
}

}  // namespace
}  // namespace vorn
