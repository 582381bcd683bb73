// The "dir" and "dir/s" output that the utility parses by column, and the drive behind it.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <regex>

#include "pty_host.h"

namespace simtest {
namespace {

using Listing = SimTest;

std::string TrimBlank(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// A copy, so callers may pass a temporary list of lines.
std::optional<std::string> FindLine(const std::vector<std::string>& lines, const std::string& start) {
  for (const auto& l : lines)
    if (l.compare(0, start.size(), start) == 0) return l;
  return std::nullopt;
}

uint32_t FreeFigure(const std::string& out) {
  static const std::regex kFree(R"(([0-9,]+) bytes free)");
  std::smatch m;
  if (!std::regex_search(out, m, kFree)) return 0xFFFFFFFF;
  std::string digits;
  for (char c : m[1].str())
    if (c != ',') digits += c;
  return uint32_t(std::stoul(digits));
}

// Every line of 43 characters or more must be an entry or the free-space line;
// anything else (headers, totals) must stay shorter, or a column reader takes it for a file.
void ExpectOnlyEntriesAreLong(const std::string& out) {
  static const std::regex kDate(R"(\d\d-\d\d-\d\d  [ 1]\d:\d\d[ap])");
  int freeLines = 0;
  for (const std::string& l : SplitLines(out)) {
    if (l.size() <= 42) continue;
    if (l.find("bytes free") != std::string::npos) {
      ++freeLines;
      continue;
    }
    EXPECT_EQ(l.size(), 45u) << l;
    EXPECT_TRUE(std::regex_match(l.substr(27, 16), kDate)) << "not an entry: " << l;
  }
  EXPECT_EQ(freeLines, 1) << out;
}

struct TreeCount {
  int files = 0;
  int folders = 0;
  long bytes = 0;
};

// Counts a "dir/s" listing the way the utility's column reader does.
TreeCount CountTree(const std::string& out) {
  TreeCount t;
  for (const std::string& l : SplitLines(out)) {
    if (l.size() <= 42) continue;
    if (l.substr(13, 5) == "<DIR>") {
      std::string base = TrimBlank(l.substr(0, 8));
      if (base != "." && base != "..") ++t.folders;
      continue;
    }
    if (l.find("bytes free") != std::string::npos) continue;
    std::string size;
    for (char c : l.substr(19, 7))
      if (c != ',' && c != ' ') size += c;
    ++t.files;
    t.bytes += size.empty() ? 0 : std::stol(size);
  }
  return t;
}

TEST_F(Listing, EntriesSitInTheirFixedColumns) {
  std::vector<std::string> lines = SplitLines(host->Command("dir"));
  const std::optional<std::string> demo = FindLine(lines, "DEMO ");
  ASSERT_TRUE(demo);
  EXPECT_EQ(*demo, "DEMO     EXE         2,874 12-06-99  10:23a\r\n");
  EXPECT_EQ(demo->substr(0, 8), "DEMO    ");
  EXPECT_EQ(demo->substr(9, 3), "EXE");
  EXPECT_EQ(demo->substr(19, 7), "  2,874");
  EXPECT_EQ(demo->substr(27, 16), "12-06-99  10:23a");

  const std::optional<std::string> counter = FindLine(lines, "COUNTER ");
  ASSERT_TRUE(counter);
  EXPECT_EQ(counter->substr(19, 7), " 12,345");
  EXPECT_EQ(counter->substr(27, 16), "11-02-23   4:45p");

  const std::optional<std::string> conf = FindLine(lines, "CONF ");
  ASSERT_TRUE(conf);
  EXPECT_EQ(conf->substr(13, 5), "<DIR>");
  EXPECT_EQ(TrimBlank(conf->substr(9, 3)), "");
  EXPECT_EQ(TrimBlank(conf->substr(19, 7)), "");
  EXPECT_EQ(conf->substr(27, 16), "07-01-98   8:00a");

  // Midnight is 12 a.m.; a name without extension keeps its columns blank.
  const std::optional<std::string> log = FindLine(SplitLines(host->Command("dir data")), "LOG ");
  ASSERT_TRUE(log);
  EXPECT_EQ(log->substr(27, 16), "01-21-25  12:00a");
}

TEST_F(Listing, SubdirectoriesShowDotEntriesAndOnlyEntriesAreLong) {
  std::string root = host->Command("dir");
  ExpectOnlyEntriesAreLong(root);
  EXPECT_FALSE(FindLine(SplitLines(root), ". "));

  host->Command("cd conf");
  std::string sub = host->Command("dir");
  ExpectOnlyEntriesAreLong(sub);
  std::vector<std::string> lines = SplitLines(sub);
  ASSERT_TRUE(FindLine(lines, ".            <DIR>")) << sub;
  ASSERT_TRUE(FindLine(lines, "..           <DIR>")) << sub;
  EXPECT_NE(sub.find(" Directory of D:\\CONF\r\n"), std::string::npos) << sub;

  // Deep paths must not lengthen the header past the limit.
  for (const char* d : {"AAAAAAAA.BBB", "CCCCCCCC.DDD", "EEEEEEEE.FFF", "GGGGGGGG.HHH"}) {
    host->Command(std::string("md ") + d);
    host->Command(std::string("cd ") + d);
  }
  host->Command("echo x>LAST.TXT");
  ExpectOnlyEntriesAreLong(host->Command("dir"));
  host->Command("cd \\conf");
  ExpectOnlyEntriesAreLong(host->Command("dir/s"));
}

TEST_F(Listing, FreeLineCarriesTheFreeBytesAndShrinksAsFilesAreWritten) {
  uint32_t before = vc->BytesFree();
  EXPECT_EQ(FreeFigure(host->Command("dir")), before);
  host->Command("echo a>ONE.TXT");
  EXPECT_EQ(vc->BytesFree(), before - 1024);  // one cluster for three bytes
  EXPECT_EQ(FreeFigure(host->Command("dir")), before - 1024);
  ASSERT_TRUE(vc->WriteFile("D:\\TWO.BIN", std::string(1025, 'x')));
  EXPECT_EQ(vc->BytesFree(), before - 3 * 1024);
  host->Command("del ONE.TXT");
  EXPECT_EQ(vc->BytesFree(), before - 2 * 1024);

  // A directory costs a cluster too, and the free line counts the dot entries as dirs.
  host->Command("md NEWDIR");
  EXPECT_EQ(vc->BytesFree(), before - 3 * 1024);
  std::string out = host->Command("dir newdir");
  EXPECT_NE(out.find("        2 dir(s)"), std::string::npos) << out;
}

TEST_F(Listing, DirectoriesGrowPastOneClusterOfEntries) {
  ASSERT_TRUE(vc->MakeDir("D:\\MANY"));
  uint32_t before = vc->BytesFree();
  for (int i = 0; i < 40; ++i)  // 30 entries fit the first cluster next to "." and ".."
    ASSERT_TRUE(vc->WriteFile("D:\\MANY\\F" + std::to_string(i) + ".TXT", "x")) << i;
  EXPECT_EQ(vc->BytesFree(), before - 41 * 1024);
  TreeCount t = CountTree(host->Command("dir many"));
  EXPECT_EQ(t.files, 40);
  host->Command("del MANY\\F39.TXT");
  ASSERT_TRUE(vc->WriteFile("D:\\MANY\\NEW.TXT", "y"));
  EXPECT_EQ(vc->BytesFree(), before - 41 * 1024) << "a freed slot is reused";
}

TEST_F(Listing, SizesAboveSixDigitsDropSeparatorsToFitTheColumn) {
  ASSERT_TRUE(vc->WriteFile("\\BIG.BIN", std::string(1000000, 'b')));
  const std::optional<std::string> big = FindLine(SplitLines(host->Command("dir")), "BIG ");
  ASSERT_TRUE(big);
  EXPECT_EQ(big->substr(19, 7), "1000000");
  EXPECT_EQ(big->size(), 45u);
}

TEST_F(Listing, RecursiveListingCountsFilesFoldersAndBytes) {
  host->Command("md T");
  host->Command("md T\\A");
  host->Command("md T\\EMPTY");
  host->Command("echo x>T\\A\\F.TXT");
  host->Command("echo yy>T\\G.TXT");

  std::string out = host->Command("dir/s T");
  TreeCount t = CountTree(out);
  EXPECT_EQ(t.files, 2) << out;
  EXPECT_EQ(t.folders, 2) << out;
  EXPECT_EQ(t.bytes, 3 + 4) << out;
  EXPECT_EQ(FreeFigure(out), vc->BytesFree());
  ExpectOnlyEntriesAreLong(out);

  t = CountTree(host->Command("dir/s T\\EMPTY"));
  EXPECT_EQ(t.files + t.folders, 0);

  host->Command("cd T");
  t = CountTree(host->Command("dir/s"));  // nothing after it: the current directory
  EXPECT_EQ(t.files, 2);
  EXPECT_EQ(t.folders, 2);
}

TEST_F(Listing, WildcardsAndMissingNames) {
  std::string out = host->Command("dir *.EXE");
  EXPECT_NE(out.find("DEMO     EXE"), std::string::npos);
  EXPECT_EQ(out.find("AUTOEXEC BAT"), std::string::npos);
  EXPECT_NE(host->Command("dir NOFILE.XYZ").find("File not found"), std::string::npos);
}

TEST_F(Listing, DriveImageRoundTripsAndRejectsForeignImages) {
  host->Command("md KEEP");
  host->Command("echo hello>KEEP\\H.TXT");
  std::vector<uint8_t> image = vc->DriveImage();
  ASSERT_EQ(image.size(), 1048576u);

  vsim::VirtualController other;
  ASSERT_TRUE(other.LoadDriveImage(image));
  EXPECT_EQ(other.DriveImage(), image);
  std::string content;
  ASSERT_TRUE(other.ReadFile("D:\\KEEP\\H.TXT", &content));
  EXPECT_EQ(content, "hello\r\n");
  EXPECT_EQ(other.BytesFree(), vc->BytesFree());

  EXPECT_FALSE(other.LoadDriveImage(std::vector<uint8_t>(1048576, 0)));
  EXPECT_FALSE(other.LoadDriveImage(std::vector<uint8_t>(1000, 0)));
  EXPECT_TRUE(other.Exists("\\KEEP\\H.TXT")) << "a rejected image leaves the drive as it was";

  // Loading an image while the shell sits in a directory sends it back to the root.
  host->Command("cd KEEP");
  ASSERT_TRUE(vc->LoadDriveImage(image));
  std::string prompt;
  host->Command("cd", &prompt);
  EXPECT_EQ(prompt, "D:\\>");
}

TEST_F(Listing, RecursiveListingEndsOnADirectoryThatContainsItself) {
  std::vector<uint8_t> image = vc->DriveImage();
  // Point the root's CONF entry at the root's own cluster (3).
  bool patched = false;
  for (size_t off = 3 * 1024; off < 4 * 1024; off += 32) {
    if (std::string(image.begin() + off, image.begin() + off + 8) == "CONF    ") {
      image[off + 26] = 3;
      image[off + 27] = 0;
      patched = true;
    }
  }
  ASSERT_TRUE(patched);
  ASSERT_TRUE(vc->LoadDriveImage(image));
  std::string out = host->Command("dir/s");
  EXPECT_NE(out.find("bytes free"), std::string::npos);
}

TEST_F(Listing, DriveFileKeepsTheDriveAcrossRuns) {
  char tmpl[] = "/tmp/vsim-drive-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string file = std::string(tmpl) + "/d.img";
  vsim::Options o;
  o.driveFile = file;
  Restart(o);
  host->Command("echo kept>KEEP.TXT");
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  EXPECT_EQ(in.tellg(), 1048576) << "saved after the change";

  Restart(o);
  std::string content;
  ASSERT_TRUE(vc->ReadFile("D:\\KEEP.TXT", &content));
  EXPECT_EQ(content, "kept\r\n");

  host.reset();
  vc.reset();
  std::remove(file.c_str());
  rmdir(tmpl);
}

}  // namespace
}  // namespace simtest
