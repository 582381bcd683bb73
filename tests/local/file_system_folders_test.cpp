// The file-system host: its computer folder, path parsing and file commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "platform/host_folders.h"
#include "temp_tree.h"

namespace fs = std::filesystem;
using localtest::TempTree;

namespace vorn {
namespace {

std::vector<HostItem> ListOrFail(HostFolders& folders, const std::string& folder) {
  std::vector<HostItem> items;
  std::string error;
  EXPECT_TRUE(folders.List(folder, items, error)) << error;
  return items;
}

const HostItem* Find(const std::vector<HostItem>& items, const std::string& name) {
  auto it = std::find_if(items.begin(), items.end(), [&](const HostItem& i) { return i.name == name; });
  return it == items.end() ? nullptr : &*it;
}

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

#ifdef _WIN32
TEST(ComputerFolder, HoldsTheDrivesAndHome) {
  TempTree tree;
  const std::string home = tree.Folder("profile");
  auto folders = MakeFileSystemFolders({"", home});
  const auto items = ListOrFail(*folders, folders->ComputerFolder());
  const HostItem* homeItem = Find(items, "Home");
  ASSERT_NE(homeItem, nullptr);
  EXPECT_EQ(homeItem->fullPath, home);
  // The drive that holds the temporary folder is among the drives.
  const std::string volume = tree.VolumeRoot();
  auto drive = std::find_if(items.begin(), items.end(), [&](const HostItem& i) { return i.fullPath == volume; });
  ASSERT_NE(drive, items.end()) << volume;
  EXPECT_TRUE(drive->isFolder);
  EXPECT_EQ(drive->iconKey, "drive");
  EXPECT_NE(drive->name.find(std::string("(") + volume.substr(0, 2) + ")"), std::string::npos) << drive->name;
}
#else
TEST(ComputerFolder, HoldsRootHomeAndMountedVolumesOnly) {
  TempTree tree;
  const std::string home = tree.Folder("home/user");
  const std::string mounts = tree.Path("mounts");
  std::ofstream(mounts) << "proc /proc proc rw 0 0\n"
                           "/dev/sdb1 /media/user/USB\\040STICK vfat rw 0 0\n"
                           "/dev/sdc1 /mnt/backup ext4 rw 0 0\n"
                           "/dev/sdc1 /mnt/backup ext4 rw 0 0\n"
                           "/dev/sdd1 /mntx ext4 rw 0 0\n"
                           "tmpfs /run/user/1000 tmpfs rw 0 0\n"
                           "garbage\n";
  auto folders = MakeFileSystemFolders({mounts, home});
  const auto items = ListOrFail(*folders, folders->ComputerFolder());
  ASSERT_EQ(items.size(), 4u);
  const HostItem* root = Find(items, "File System");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->fullPath, "/");
  EXPECT_TRUE(root->isFolder);
  EXPECT_EQ(folders->TypeName(*root), "Volume");
  const HostItem* homeItem = Find(items, "Home");
  ASSERT_NE(homeItem, nullptr);
  EXPECT_EQ(homeItem->fullPath, home);
  const HostItem* stick = Find(items, "USB STICK");
  ASSERT_NE(stick, nullptr);
  EXPECT_EQ(stick->fullPath, "/media/user/USB STICK");
  EXPECT_NE(Find(items, "backup"), nullptr);
  EXPECT_EQ(folders->ComputerName(), "Computer");
}
#endif

TEST(HostFolderList, FoldersAndFilesCarryTheirFacts) {
  TempTree tree;
  tree.Folder("dir");
  tree.File("data.Bin", 1500);
  tree.File("noext", 1);
  auto folders = MakeFileSystemFolders();
  const auto items = ListOrFail(*folders, tree.RootText());
  ASSERT_EQ(items.size(), 3u);
  const HostItem* dir = Find(items, "dir");
  ASSERT_NE(dir, nullptr);
  EXPECT_TRUE(dir->isFolder);
  EXPECT_EQ(dir->size, 0u);
  EXPECT_EQ(dir->iconKey, "folder");
  const HostItem* bin = Find(items, "data.Bin");
  ASSERT_NE(bin, nullptr);
  EXPECT_FALSE(bin->isFolder);
  EXPECT_EQ(bin->size, 1500u);
  EXPECT_EQ(bin->fullPath, tree.Path("data.Bin"));
  EXPECT_NE(bin->modified, 0);
  EXPECT_EQ(bin->iconKey, "file:bin");
  // Windows names the types itself, in the user's language.
  if (!kWindows) {
    EXPECT_EQ(folders->TypeName(*dir), "Folder");
    EXPECT_EQ(folders->TypeName(*bin), "BIN File");
    EXPECT_EQ(folders->TypeName(*Find(items, "noext")), "File");
  }
}

// Making links takes a privilege on Windows that a test cannot count on.
#ifndef _WIN32

TEST(HostFolderList, LinksCountAsWhatTheyPointTo) {
  TempTree tree;
  tree.Folder("target");
  tree.File("file", 42);
  fs::create_directory_symlink(tree.Path("target"), tree.Path("dirlink"));
  fs::create_symlink(tree.Path("file"), tree.Path("filelink"));
  fs::create_symlink(tree.Path("gone"), tree.Path("broken"));
  auto folders = MakeFileSystemFolders();
  const auto items = ListOrFail(*folders, tree.RootText());
  EXPECT_TRUE(Find(items, "dirlink")->isFolder);
  EXPECT_EQ(Find(items, "filelink")->size, 42u);
  ASSERT_NE(Find(items, "broken"), nullptr);
  EXPECT_FALSE(Find(items, "broken")->isFolder);
}
#endif

#ifndef _WIN32
TEST(HostFolderList, SpecialFilesShowTheirKindAndNoSize) {
  TempTree tree;
  ASSERT_EQ(mkfifo(tree.Path("pipe").c_str(), 0600), 0);
  fs::create_symlink("/dev/null", tree.Path("null"));
  tree.File("plain", 3);
  auto folders = MakeFileSystemFolders();
  const auto items = ListOrFail(*folders, tree.Root().string());
  struct Case {
    const char* name;
    const char* type;
  } const cases[] = {{"pipe", "FIFO"}, {"null", "Character Device"}, {"plain", "File"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const HostItem* item = Find(items, c.name);
    ASSERT_NE(item, nullptr);
    EXPECT_FALSE(item->isFolder);
    EXPECT_EQ(folders->TypeName(*item), c.type);
    EXPECT_EQ(item->special.empty(), std::string(c.type) == "File");
  }
}
#endif

TEST(HostFolderParse, NormalisesTypedPathsAndRefusesUnknownOnes) {
  TempTree tree;
  const std::string sub = tree.Folder("a/b");
  auto folders = MakeFileSystemFolders({"/nonexistent", tree.Path("a")});
  std::string folder, error;
  ASSERT_TRUE(folders->Parse("  " + sub + "/ ", folder, error)) << error;
  EXPECT_EQ(folder, sub);
  ASSERT_TRUE(folders->Parse(sub + "/../b/./", folder, error)) << error;
  EXPECT_EQ(folder, sub);
  ASSERT_TRUE(folders->Parse(tree.VolumeRoot(), folder, error));
  EXPECT_EQ(folder, tree.VolumeRoot());
  ASSERT_TRUE(folders->Parse("~/b", folder, error));
  EXPECT_EQ(folder, sub);
  ASSERT_TRUE(folders->Parse("computer", folder, error));
  EXPECT_TRUE(folders->IsComputer(folder));

  EXPECT_FALSE(folders->Parse(tree.Path("nothing"), folder, error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(folders->Parse("relative/path", folder, error));
  EXPECT_FALSE(error.empty());
}

TEST(HostFolderParent, StopsAtTheComputerFolder) {
  TempTree tree;
  auto folders = MakeFileSystemFolders();
  EXPECT_EQ(folders->Parent(tree.Folder("a/b")), tree.Path("a"));
  EXPECT_EQ(folders->Parent(tree.Path("a")), tree.RootText());
  EXPECT_EQ(folders->Parent(tree.VolumeRoot()), folders->ComputerFolder());
  EXPECT_FALSE(folders->Parent(folders->ComputerFolder()).has_value());
}

TEST(HostFileCommands, RenameNeverReplacesAnotherItem) {
  TempTree tree;
  tree.File("one", 1);
  tree.File("two", 2);
  auto folders = MakeFileSystemFolders();
  std::string error;
  EXPECT_FALSE(folders->Rename(tree.Path("one"), "two", error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(fs::file_size(tree.Path("two")), 2u);
  EXPECT_FALSE(folders->Rename(tree.Path("one"), "x/y", error));
  EXPECT_FALSE(folders->Rename(tree.Path("one"), "", error));
  EXPECT_FALSE(folders->Rename(tree.Path("one"), "..", error));
  ASSERT_TRUE(folders->Rename(tree.Path("one"), "three", error)) << error;
  EXPECT_TRUE(fs::exists(tree.Path("three")));
  EXPECT_FALSE(fs::exists(tree.Path("one")));
}

TEST(HostFileCommands, RemoveTakesFilesAndWholeFoldersButNoVolume) {
  TempTree tree;
  tree.File("f", 1);
  tree.File("full/inner/x", 1);
  tree.Folder("empty");
  tree.File("kept/y", 1);
  std::vector<std::string> names{"f", "full", "empty"};
  if (!kWindows) {
    fs::create_directory_symlink(tree.Path("kept"), tree.Path("link"));
    names.push_back("link");
  }
  auto folders = MakeFileSystemFolders();
  std::string error;
  for (const std::string& name : names) {
    EXPECT_TRUE(folders->Remove(tree.Path(name), error)) << name << ": " << error;
    EXPECT_FALSE(fs::exists(fs::symlink_status(localtest::FromUtf8(tree.Path(name))))) << name;
  }
  EXPECT_TRUE(fs::exists(tree.Path("kept/y"))) << "removing a link leaves its target";
  EXPECT_FALSE(folders->Remove(tree.VolumeRoot(), error));
  EXPECT_FALSE(folders->Remove(folders->ComputerFolder(), error));
}

TEST(HostFileCommands, NewFolderTakesTheNextFreeName) {
  TempTree tree;
  auto folders = MakeFileSystemFolders();
  std::string created, error;
  ASSERT_TRUE(folders->MakeFolder(tree.RootText(), "New Folder", created, error)) << error;
  EXPECT_EQ(created, tree.Path("New Folder"));
  tree.File("New Folder (2)", 0);
  ASSERT_TRUE(folders->MakeFolder(tree.RootText(), "New Folder", created, error)) << error;
  EXPECT_EQ(created, tree.Path("New Folder (3)"));
  EXPECT_TRUE(fs::is_directory(created));
  EXPECT_FALSE(folders->MakeFolder(folders->ComputerFolder(), "New Folder", created, error));
}

}  // namespace
}  // namespace vorn
