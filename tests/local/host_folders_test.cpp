// Host folder pieces that every host shares: the Windows conversions, tried
// here on any host, the free-name search for a new folder, and the folders
// the host names (documents, the data installed with the program).
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/host.h"
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

// The Windows check runs this with a documents folder named in non-ASCII
// characters: the path must come back as UTF-8 that names the folder.
TEST(HostFolders, DocumentsFolderIsNamedInUtf8) {
  const std::string documents = platform::DocumentsFolder();
  EXPECT_TRUE(fs::is_directory(localtest::FromUtf8(documents))) << documents;
}

class NoInstallation : public platform::Registry {
 public:
  std::optional<std::string> ReadString(const std::string&, const std::string&) override { return std::nullopt; }
  bool WriteString(const std::string&, const std::string&, const std::string&) override { return false; }
};

// Without an installation named in the registry, the image programs come from
// the data built or installed with this program; a missing one is named with
// the folder looked in.
TEST(Companion, FallsBackToTheProgramsOwnData) {
  NoInstallation registry;
  const platform::CompanionFolders found = platform::LocateCompanionFolders(registry);
  std::string missing;
  for (const char* program : {"KAPRINRD.EXE", "KAPRINWR.EXE"})
    EXPECT_EQ(platform::CompanionFile(found.tools, program, missing), found.tools + program) << missing;
  EXPECT_FALSE(found.program.empty()) << "settings files need a folder of their own";

  TempTree tree;
  const std::string folder = tree.RootText() + platform::PathSeparator();
  EXPECT_EQ(platform::CompanionFile(folder, "KAPRINRD.EXE", missing), "");
  EXPECT_EQ(missing, "KAPRINRD.EXE not found in " + folder);
}

}  // namespace
}  // namespace vorn::folders_detail
