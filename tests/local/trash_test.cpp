// The desktop's trash on POSIX hosts: items go into the user's trash with an
// information file, made when missing, and nowhere else.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/host.h"
#include "temp_tree.h"

namespace fs = std::filesystem;
using localtest::TempTree;

namespace {

std::string Read(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(Trash, MadeWhenMissingAndNothingLandsElsewhere) {
  TempTree tree;
  const fs::path data = tree.Root() / "data";  // no trash folder yet
  const fs::path work = tree.Root() / "work";
  fs::create_directories(work);
  const fs::path before = fs::current_path();
  fs::current_path(work);
  setenv("XDG_DATA_HOME", data.c_str(), 1);
  fs::create_directories(tree.Root() / "items" / "folder" / "inner");
  std::ofstream(tree.Root() / "items" / "a b%.txt") << "x";
  fs::create_symlink("/nonexistent", tree.Root() / "items" / "link");

  const struct {
    const char* item;
    const char* trashedAs;
    const char* pathLine;  // the information file's Path, after the items folder
  } cases[] = {
      {"a b%.txt", "a b%.txt", "/a%20b%25.txt"},
      {"folder", "folder", "/folder"},
      {"link", "link", "/link"},  // the link itself, not what it names
  };
  for (const auto& c : cases) {
    const fs::path item = tree.Root() / "items" / c.item;
    std::string error;
    ASSERT_TRUE(vorn::platform::MoveToTrash(item.string(), error)) << c.item << ": " << error;
    EXPECT_FALSE(fs::exists(fs::symlink_status(item))) << c.item;
    EXPECT_TRUE(fs::exists(fs::symlink_status(data / "Trash" / "files" / c.trashedAs))) << c.item;
    const std::string info = Read(data / "Trash" / "info" / (std::string(c.trashedAs) + ".trashinfo"));
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=", 0), 0u) << info;
    EXPECT_NE(info.find(std::string(c.pathLine) + "\nDeletionDate="), std::string::npos) << info;
  }
  EXPECT_EQ(fs::status(data / "Trash").permissions() & fs::perms::all, fs::perms::owner_all);

  // A second item of the same name keeps the first one restorable.
  std::ofstream(tree.Root() / "items" / "a b%.txt") << "y";
  std::string error;
  ASSERT_TRUE(vorn::platform::MoveToTrash((tree.Root() / "items" / "a b%.txt").string(), error)) << error;
  EXPECT_EQ(Read(data / "Trash" / "files" / "a b%.txt"), "x");
  EXPECT_EQ(Read(data / "Trash" / "files" / "a b%.txt.2"), "y");

  // A trash that cannot be made refuses and leaves the item where it is.
  setenv("XDG_DATA_HOME", (tree.Root() / "blocked").c_str(), 1);
  std::ofstream(tree.Root() / "blocked") << "a file where the data folder would be";
  std::ofstream(tree.Root() / "items" / "kept.txt") << "z";
  error.clear();
  EXPECT_FALSE(vorn::platform::MoveToTrash((tree.Root() / "items" / "kept.txt").string(), error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(fs::exists(tree.Root() / "items" / "kept.txt"));

  EXPECT_TRUE(fs::is_empty(work)) << "nothing goes into the working folder";
  fs::current_path(before);
  unsetenv("XDG_DATA_HOME");
}

}  // namespace
