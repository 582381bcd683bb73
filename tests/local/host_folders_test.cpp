// Host folder pieces that every host shares: the Windows conversions, tried
// here on any host, and the free-name search for a new folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/host_folders_detail.h"
#include "temp_tree.h"

namespace fs = std::filesystem;
using localtest::TempTree;

namespace vorn::folders_detail {
namespace {

TEST(FileTimes, CountFromTheUnixEpochInWholeSeconds) {
  constexpr uint64_t kEpoch = 116'444'736'000'000'000ull;  // 1970-01-01 in 100 ns ticks since 1601
  constexpr uint64_t kSecond = 10'000'000ull;
  EXPECT_EQ(UnixSecondsFromFileTime(kEpoch + 1'700'000'000ull * kSecond), 1'700'000'000);
  EXPECT_EQ(UnixSecondsFromFileTime(kEpoch + 5 * kSecond + kSecond - 1), 5) << "fractions are cut off";
  // Past 2038 the seconds no longer fit 32 bits.
  EXPECT_EQ(UnixSecondsFromFileTime(kEpoch + 4'102'444'800ull * kSecond), 4'102'444'800);
  EXPECT_EQ(UnixSecondsFromFileTime(kEpoch - 60 * kSecond), -60);
  EXPECT_EQ(UnixSecondsFromFileTime(0), 0) << "an unset time stays unset";
}

TEST(DriveNames, ShowTheLabelOrTheKindWithTheLetter) {
  EXPECT_EQ(DriveDisplayName("", "Local Disk", 'C'), "Local Disk (C:)");
  EXPECT_EQ(DriveDisplayName("Data", "Local Disk", 'D'), "Data (D:)");
}

TEST(WindowsNames, RefuseWhatWindowsWouldMisreadOrReject) {
  for (const char* name : {"", ".", "..", "a\\b", "a/b", "c:x", "x*", "what?", "\"q\"", "<a>", "a|b", "tab\tname",
                           "name.", "name ", "CON", "con.txt", "Nul .log", "aux", "PRN.x.y", "com1", "LPT9.log",
                           "COM0", "conin$", "lpt\xc2\xb2.txt"}) {
    EXPECT_FALSE(ValidWindowsName(name)) << '"' << name << '"';
  }
  for (const char* name : {"a", "New Folder (2)", ".profile", "console", "com10", "COMX", "lpt", "null.txt",
                           "Caf\xc3\xa9.txt"}) {
    EXPECT_TRUE(ValidWindowsName(name)) << '"' << name << '"';
  }
}

TEST(NewFolder, PassesOverEveryTakenNameIncludingDanglingLinks) {
  TempTree tree;
  tree.Folder("New Folder");
  tree.File("New Folder (2)", 0);
#ifdef _WIN32
  tree.Folder("New Folder (3)");  // links take a privilege there
#else
  fs::create_symlink(tree.Path("gone"), tree.Path("New Folder (3)"));
#endif
  auto folders = MakeFileSystemFolders();
  std::string created, error;
  ASSERT_TRUE(folders->MakeFolder(tree.RootText(), "New Folder", created, error)) << error;
  EXPECT_EQ(created, tree.Path("New Folder (4)"));
  EXPECT_FALSE(fs::exists(tree.Path("gone"))) << "the link's target is not created";
  EXPECT_FALSE(folders->MakeFolder(tree.Path("missing"), "New Folder", created, error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace vorn::folders_detail
