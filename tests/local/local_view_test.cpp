// The host pane's window-free behaviour on real folders and on a fake host.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>
#include <filesystem>

#include "local/local_view.h"
#include "temp_tree.h"

namespace fs = std::filesystem;
using localtest::TempTree;

namespace vorn {
namespace {

// A host whose only folder holds whatever the test puts there.
class FakeFolders : public HostFolders {
 public:
  std::vector<HostItem> items;
  std::string ComputerFolder() const override { return "::computer"; }
  std::string ComputerName() const override { return "Computer"; }
  bool List(const std::string& folder, std::vector<HostItem>& out, std::string& error) override {
    if (folder == "/missing") {
      error = "No such file or directory";
      return false;
    }
    out = items;
    return true;
  }
  std::optional<std::string> Parent(const std::string& folder) const override {
    if (IsComputer(folder)) return std::nullopt;
    return ComputerFolder();
  }
  bool Parse(const std::string&, std::string&, std::string&) const override { return false; }
  std::string TypeName(const HostItem& item) const override { return item.isFolder ? "Folder" : "File"; }
  bool Rename(const std::string&, const std::string&, std::string&) override { return false; }
  bool Remove(const std::string&, std::string&) override { return false; }
  bool MakeFolder(const std::string&, const std::string&, std::string&, std::string&) override { return false; }
};

HostItem FakeFile(const std::string& name, uint64_t size) {
  HostItem item;
  item.name = name;
  item.fullPath = "/fake/" + name;
  item.size = size;
  return item;
}

std::vector<std::string> Names(const LocalView& view) {
  std::vector<std::string> names;
  for (const auto& e : view.Entries) names.push_back(e.Name);
  return names;
}

TEST(LocalTexts, ModifiedIsYearFirstLocalTimeAndEmptyWithoutTime) {
  std::tm tm{};
  tm.tm_year = 2021 - 1900;
  tm.tm_mon = 2;
  tm.tm_mday = 4;
  tm.tm_hour = 5;
  tm.tm_min = 6;
  tm.tm_sec = 7;
  tm.tm_isdst = -1;
  EXPECT_EQ(ModifiedText(static_cast<int64_t>(std::mktime(&tm))), "2021/03/04 05:06:07");
  EXPECT_EQ(ModifiedText(0), "");
}

TEST(LocalTexts, NamesCompareAsAFileManagerDoes) {
  EXPECT_LT(CompareNames("file9", "file10"), 0);
  EXPECT_LT(CompareNames("Apple", "banana"), 0);
  EXPECT_EQ(CompareNames("README", "readme"), 0);
  EXPECT_LT(CompareNames("a", "ab"), 0);
  EXPECT_GT(CompareNames("x020", "x3"), 0);
  EXPECT_EQ(CompareNames("x007", "x7"), 0);
}

class LocalBrowserOnDisk : public ::testing::Test {
 protected:
  TempTree tree;
  std::unique_ptr<HostFolders> folders = MakeFileSystemFolders();
  LocalBrowser browser{*folders};

  void Read(const std::string& folder) {
    std::string error;
    ASSERT_TRUE(browser.Show(folder, error).has_value()) << error;
  }
};

TEST_F(LocalBrowserOnDisk, TotalsCountTheVisibleFilesOfTheFolder) {
  tree.File("a.bin", 1048575 - 1000);
  tree.File("b.bin", 1000);
  tree.File("sub/deep.bin", 5000);  // inside a subfolder: not counted
  tree.File(".hidden", 7777);
  Read(tree.RootText());
  EXPECT_EQ(browser.ObjectsText(), "3 object(s)");
  EXPECT_EQ(browser.TotalText(), "1024.0 KB");

  tree.File("c.bin", 1);
  Read(tree.RootText());
  EXPECT_EQ(browser.TotalText(), "1.0 MB");

  TempTree small;
  small.File("one", 1023);
  Read(small.RootText());
  EXPECT_EQ(browser.TotalText(), "1023 byte(s)");
}

TEST_F(LocalBrowserOnDisk, HiddenItemsAreLeftOut) {
  tree.File(".profile", 10);
  tree.Folder(".cache");
  tree.File("visible.txt", 10);
  tree.File(".cache/inside", 10);
  Read(tree.RootText());
  EXPECT_EQ(Names(browser.View()), std::vector<std::string>{"visible.txt"});
}

TEST_F(LocalBrowserOnDisk, SparseFilesPastFourGiBDoNotWrap) {
  const std::string big = tree.File("big.img", 0);
  std::error_code ec;
  fs::resize_file(big, (4ull << 30) + 1024, ec);
  if (ec) GTEST_SKIP() << "no sparse files here: " << ec.message();
  tree.File("small", 1024);
  Read(tree.RootText());
  EXPECT_EQ(browser.View().Total, (4ull << 30) + 2048);
  EXPECT_EQ(browser.TotalText(), "4096.0 MB");
  const auto sel = browser.Selection({0});
  ASSERT_EQ(sel.size(), 1u);
  EXPECT_EQ(sel[0].size, (4ull << 30) + 1024);
}

TEST_F(LocalBrowserOnDisk, SortsByEachColumnWithFoldersFirst) {
  const auto now = fs::file_time_type::clock::now();
  auto stamp = [&](const std::string& path, int hoursAgo) {
    ASSERT_TRUE(localtest::SetModified(localtest::FromUtf8(path), now - std::chrono::hours(hoursAgo))) << path;
  };
  stamp(tree.File("b.txt", 3000), 1);
  stamp(tree.File("a.zip", 2000), 3);
  stamp(tree.File("c.dat", 1000), 2);
  stamp(tree.File("d.txt", 1000), 4);
  stamp(tree.Folder("zdir"), 9);
  stamp(tree.Folder("Ydir"), 0);
  const std::string root = tree.RootText();

  Read(root);
  EXPECT_EQ(Names(browser.View()),
            (std::vector<std::string>{"Ydir", "zdir", "a.zip", "b.txt", "c.dat", "d.txt"}));

  browser.View().SortColumn = kColSize;  // equal sizes fall back to the name
  Read(root);
  EXPECT_EQ(Names(browser.View()),
            (std::vector<std::string>{"Ydir", "zdir", "c.dat", "d.txt", "a.zip", "b.txt"}));
  EXPECT_EQ(browser.View().SortColumn, kColName) << "a column sorts one reading only";

  browser.View().SortColumn = kColType;
  Read(root);
  std::vector<std::string> byType{"c.dat", "b.txt", "d.txt", "a.zip"};
#ifdef _WIN32
  // Windows names the types itself ("Text Document", ...), so its names set the order.
  auto typeKey = [&](const std::string& name) {
    HostItem item;
    item.name = name;
    std::string key = folders->TypeName(item);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key + '\0' + name;
  };
  std::sort(byType.begin(), byType.end(), [&](auto& a, auto& b) { return typeKey(a) < typeKey(b); });
#endif
  byType.insert(byType.begin(), {"Ydir", "zdir"});
  EXPECT_EQ(Names(browser.View()), byType);

  browser.View().SortColumn = kColModified;
  Read(root);
  EXPECT_EQ(Names(browser.View()),
            (std::vector<std::string>{"zdir", "Ydir", "d.txt", "a.zip", "c.dat", "b.txt"}));

  Read(root);
  EXPECT_EQ(browser.View().Entries.front().Name, "Ydir");
}

// Windows names the types itself, in the user's language.
void ExpectTypeText(const std::string& got, const char* elsewhere) {
#ifdef _WIN32
  EXPECT_FALSE(got.empty());
#else
  EXPECT_EQ(got, elsewhere);
#endif
}

TEST_F(LocalBrowserOnDisk, DetailsAreFilledOnlyForTheAskedRows) {
  tree.File("a.txt", 1025);
  tree.File("b.txt", 0);
  tree.File("c", 10);
  Read(tree.RootText());
  const auto& entries = browser.View().Entries;
  browser.FillInfo(0, 1);
  EXPECT_FALSE(entries[0].InfoPending);
  EXPECT_EQ(entries[0].Size, 1025u);
  ExpectTypeText(entries[0].TypeText, "TXT File");
  EXPECT_FALSE(entries[0].Modified.empty());
  EXPECT_EQ(entries[1].Size, 0u);
  EXPECT_FALSE(entries[1].InfoPending);
  EXPECT_TRUE(entries[2].InfoPending);
  EXPECT_EQ(entries[2].Size, 0u);

  browser.FillInfo(2, 3);  // reaches past the last row: ignored as a whole
  EXPECT_TRUE(entries[2].InfoPending);
  browser.FillInfo(2, 2);
  ExpectTypeText(entries[2].TypeText, "File");
  EXPECT_EQ(entries[2].Size, 10u);
}

TEST_F(LocalBrowserOnDisk, ReadOnlyFilesCarryTheirFlag) {
#ifndef _WIN32
  if (::geteuid() == 0) GTEST_SKIP() << "root may write anything";
#endif
  const std::string path = tree.File("locked", 1);
  fs::permissions(localtest::FromUtf8(path), fs::perms::owner_read);
  Read(tree.RootText());
  browser.FillInfo(0, 0);
  EXPECT_EQ(browser.View().Entries[0].DisplayFlags & kAttrReadOnly, kAttrReadOnly);
}

TEST_F(LocalBrowserOnDisk, SelectionFollowsTheRowsGivenAndFillsDetails) {
  tree.Folder("dir");
  tree.File("f1", 100);
  tree.File("f2", 200);
  Read(tree.RootText());
  const auto sel = browser.Selection({2, 0, 7});
  ASSERT_EQ(sel.size(), 2u);
  EXPECT_FALSE(sel[0].isFolder);
  EXPECT_EQ(sel[0].fullPath, tree.Path("f2"));
  EXPECT_EQ(sel[0].size, 200u);
  EXPECT_TRUE(sel[1].isFolder);
  EXPECT_EQ(sel[1].fullPath, tree.Path("dir"));
}

TEST_F(LocalBrowserOnDisk, FailedReadKeepsWhatWasShown) {
  tree.File("keep", 5);
  const std::string root = tree.RootText();
  Read(root);
  browser.View().SortColumn = kColSize;
  std::string error;
  EXPECT_FALSE(browser.Show(tree.Path("missing"), error).has_value());
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(browser.View().CurrentItem, root);
  EXPECT_EQ(Names(browser.View()), std::vector<std::string>{"keep"});
  EXPECT_FALSE(browser.Show(tree.Path("keep"), error).has_value()) << "a file is no folder";
}

TEST_F(LocalBrowserOnDisk, MovesUpButNeverAboveTheComputerFolder) {
  const std::string sub = tree.Folder("sub");
  Read(sub);
  ASSERT_EQ(browser.Parent(), tree.RootText());
  Read(tree.VolumeRoot());
  EXPECT_EQ(browser.Parent(), folders->ComputerFolder());
  Read(folders->ComputerFolder());
  EXPECT_TRUE(browser.AtComputer());
  EXPECT_EQ(browser.View().CurrentPath, "Computer");
  EXPECT_FALSE(browser.Parent().has_value());
}

TEST(LocalBrowser, RestoreIndexIsClampedAndUsedOnce) {
  FakeFolders fake;
  fake.items = {FakeFile("a", 1), FakeFile("b", 2), FakeFile("c", 3)};
  LocalBrowser browser(fake);
  std::string error;
  browser.View().RestoreIndex = 7;
  EXPECT_EQ(browser.Show("/x", error), 2);
  EXPECT_EQ(browser.View().RestoreIndex, 0);
  EXPECT_EQ(browser.Show("/x", error), 0);
  fake.items.clear();
  EXPECT_EQ(browser.Show("/x", error), -1);
}

TEST(LocalBrowser, TotalOfManyLargeFilesIsSixtyFourBit) {
  FakeFolders fake;
  for (int i = 0; i < 3; ++i) fake.items.push_back(FakeFile("f" + std::to_string(i), 3ull << 30));
  LocalBrowser browser(fake);
  std::string error;
  ASSERT_TRUE(browser.Show("/x", error).has_value());
  EXPECT_EQ(browser.View().Total, 9ull << 30);
  EXPECT_EQ(browser.TotalText(), "9216.0 MB");
  browser.View().SortColumn = kColSize;
  fake.items[1].size = 1;
  ASSERT_TRUE(browser.Show("/x", error).has_value());
  EXPECT_EQ(browser.View().Entries.front().Name, "f1");
}

}  // namespace
}  // namespace vorn
