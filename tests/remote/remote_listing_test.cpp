#include "remote/remote_listing.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

// One "dir" line in the shell's fixed columns, CR LF included.
std::string DirLineText(const std::string& base, const std::string& ext, const std::string& sizeOrDir,
                        const std::string& stamp) {
  char buf[128];
  if (sizeOrDir == "<DIR>")
    std::snprintf(buf, sizeof buf, "%-8s %-3s <DIR>         %-16s\r\n", base.c_str(), ext.c_str(), stamp.c_str());
  else
    std::snprintf(buf, sizeof buf, "%-8s %-3s       %7s %-16s\r\n", base.c_str(), ext.c_str(), sizeOrDir.c_str(),
                  stamp.c_str());
  return buf;
}

TEST(ParseDirLine, FileInFixedColumns) {
  std::string line = DirLineText("AUTOEXEC", "BAT", "512", "12-06-99  10:23a");
  ASSERT_EQ(line.size(), 45u);
  DirLine d = ParseDirLine(line, 2026);
  ASSERT_EQ(d.kind, DirLine::Kind::Entry);
  EXPECT_FALSE(d.entry.IsDirectory);
  EXPECT_EQ(d.entry.Name, "AUTOEXEC.BAT");
  EXPECT_EQ(d.entry.Size, 512);
  EXPECT_EQ(d.entry.Modified, "1999/12/06 10:23:00");
  EXPECT_TRUE(d.entry.InfoPending);
  EXPECT_EQ(d.entry.IconIndex, 0);
  EXPECT_TRUE(d.entry.TypeText.empty());
}

TEST(ParseDirLine, DirectoriesAndDotEntries) {
  DirLine d = ParseDirLine(DirLineText("TEMP", "", "<DIR>", "01-02-03   1:05p"), 2026);
  ASSERT_EQ(d.kind, DirLine::Kind::Entry);
  EXPECT_TRUE(d.entry.IsDirectory);
  EXPECT_EQ(d.entry.Name, "TEMP");  // no point without an extension
  EXPECT_EQ(d.entry.Size, 0);
  EXPECT_EQ(d.entry.Modified, "2003/01/02 13:05:00");

  EXPECT_EQ(ParseDirLine(DirLineText(".", "", "<DIR>", "01-02-03   1:05p"), 2026).kind, DirLine::Kind::Nothing);
  EXPECT_EQ(ParseDirLine(DirLineText("..", "", "<DIR>", "01-02-03   1:05p"), 2026).kind, DirLine::Kind::Nothing);
}

TEST(ParseDirLine, LengthBoundaryCountsTheLineEnd) {
  // 40 visible characters + CR LF = 42: ignored even with <DIR> in place.
  std::string dir42 = "TEMP         <DIR>         01-02-03 1:05\r\n";
  ASSERT_EQ(dir42.size(), 42u);
  EXPECT_EQ(ParseDirLine(dir42, 2026).kind, DirLine::Kind::Nothing);
  std::string dir43 = "TEMP         <DIR>         01-02-03 1:05p\r\n";
  ASSERT_EQ(dir43.size(), 43u);
  DirLine d = ParseDirLine(dir43, 2026);
  ASSERT_EQ(d.kind, DirLine::Kind::Entry);
  EXPECT_TRUE(d.entry.IsDirectory);
  EXPECT_EQ(d.entry.Name, "TEMP");
  EXPECT_EQ(d.entry.Modified, "2003/01/02 13:05:00");  // the line end does not hide the "p"
}

TEST(ParseDirLine, LongLinesThatAreNeitherBecomeFiles) {
  DirLine d = ParseDirLine(" Volume in drive D is VORN7730 and has no label at all\r\n", 2026);
  ASSERT_EQ(d.kind, DirLine::Kind::Entry);
  EXPECT_FALSE(d.entry.IsDirectory);
  EXPECT_EQ(d.entry.Size, 0);
  EXPECT_EQ(d.entry.Modified, "");
}

TEST(ParseDirLine, SizesWithSeparatorsAndBlanks) {
  EXPECT_EQ(ParseDirLine(DirLineText("BIG", "DAT", "123,456", "12-06-99  10:23a"), 2026).entry.Size, 123456);
  EXPECT_EQ(ParseDirLine(DirLineText("EMPTY", "DAT", "", "12-06-99  10:23a"), 2026).entry.Size, 0);
  EXPECT_EQ(ParseSizeText("1,234,567"), 1234567);
  EXPECT_EQ(ParseSizeText(""), 0);
  EXPECT_EQ(ParseSizeText("12a"), 0);
  EXPECT_EQ(ParseSizeText("99999999999"), 0);
  EXPECT_EQ(ParseSizeText("-12"), -12);
}

TEST(ParseDirLine, FreeSpaceLineTakesTheNumberBeforeBytesFree) {
  std::string line = "        2 dir(s)      1,234,567 bytes free\r\n";
  ASSERT_GE(line.size(), 43u);
  DirLine d = ParseDirLine(line, 2026);
  ASSERT_EQ(d.kind, DirLine::Kind::FreeSpace);
  EXPECT_EQ(d.bytesFree, 1234567u);
  EXPECT_EQ(d.freeText, "(2 dir(s)      1,234,567 bytes free)");

  EXPECT_EQ(ParseBytesFree("   3 file(s) no figure here bytes free"), 0u);
  EXPECT_EQ(ParseBytesFree("1 dir(s) 0 bytes free"), 0u);
  EXPECT_EQ(ParseBytesFree("1 dir(s) 99,999,999,999 bytes free"), 0u);
  EXPECT_EQ(ParseBytesFree("x 654,336bytes free"), 654336u);
  // A <DIR> line is a directory even when it mentions free bytes.
  EXPECT_EQ(ParseDirLine("FREE         <DIR>         01-02-03  1:05p bytes free\r\n", 2026).kind,
            DirLine::Kind::Entry);
}

TEST(ConvertDirDate, CenturyWindowFollowsTheCurrentYear) {
  EXPECT_EQ(ConvertDirDate("01-01-76", 2026), "1976/01/01");
  EXPECT_EQ(ConvertDirDate("01-01-75", 2026), "2075/01/01");
  EXPECT_EQ(ConvertDirDate("01-01-00", 2026), "2000/01/01");
  EXPECT_EQ(ConvertDirDate("01-01-99", 2026), "1999/01/01");
  EXPECT_EQ(ConvertDirDate("01-01-76", 2030), "2076/01/01");
  EXPECT_EQ(ConvertDirDate("01-01-80", 2030), "1980/01/01");
  EXPECT_EQ(ConvertDirDate("1-2-2003", 2026), "2003/01/02");
}

TEST(ConvertDirDate, TwelveOClockAndMarkers) {
  EXPECT_EQ(ConvertDirDate("12-06-99  12:00am", 2026), "1999/12/06");  // midnight: no time
  EXPECT_EQ(ConvertDirDate("12-06-99  12:30am", 2026), "1999/12/06 00:30:00");
  EXPECT_EQ(ConvertDirDate("12-06-99  12:30pm", 2026), "1999/12/06 12:30:00");
  EXPECT_EQ(ConvertDirDate("12-06-99  1:30PM", 2026), "1999/12/06 13:30:00");
  EXPECT_EQ(ConvertDirDate("12-06-99  13:30:15m", 2026), "1999/12/06 13:30:15");
  EXPECT_EQ(ConvertDirDate("12-06-99  9:05", 2026), "1999/12/06 09:05:00");
}

TEST(ConvertDirDate, UnreadableTextsGiveNothing) {
  for (const char* text : {"", "m", "12-06", "13-01-99", "02-30-99", "12-06-99  0:30am", "12-06-99  13:00pm",
                           "12-06-99  24:00", "12-06-99  10:60", "12-06-99  10:10:60", "12/06/99", "12-06-99x",
                           "12-06-99  xx", "12-06-99  10"})
    EXPECT_EQ(ConvertDirDate(text, 2026), "") << text;
  EXPECT_EQ(ConvertDirDate("02-29-00", 2026), "2000/02/29");
}

TEST(ParseTreeLine, CountsDirectoriesAndFilesOnly) {
  EXPECT_EQ(ParseTreeLine(DirLineText(".", "", "<DIR>", "01-02-03   1:05p")).kind, TreeLine::Kind::Nothing);
  EXPECT_EQ(ParseTreeLine(DirLineText("..", "", "<DIR>", "01-02-03   1:05p")).kind, TreeLine::Kind::Nothing);
  EXPECT_EQ(ParseTreeLine(DirLineText("SUB", "", "<DIR>", "01-02-03   1:05p")).kind, TreeLine::Kind::Directory);
  TreeLine f = ParseTreeLine(DirLineText("A", "TXT", "2,048", "01-02-03   1:05p"));
  EXPECT_EQ(f.kind, TreeLine::Kind::File);
  EXPECT_EQ(f.size, 2048);
  EXPECT_EQ(ParseTreeLine("        0 dir(s)      1,234,567 bytes free\r\n").kind, TreeLine::Kind::Nothing);
  EXPECT_EQ(ParseTreeLine(" Directory of D:\\\r\n").kind, TreeLine::Kind::Nothing);
}

RemoteEntry Entry(const std::string& name, bool dir, int32_t size, const std::string& type = "",
                  const std::string& modified = "") {
  RemoteEntry e;
  e.Name = name;
  e.IsDirectory = dir;
  e.Size = size;
  e.TypeText = type;
  e.Modified = modified;
  return e;
}

std::vector<std::string> Names(const std::vector<RemoteEntry>& entries) {
  std::vector<std::string> out;
  for (const auto& e : entries) out.push_back(e.Name);
  return out;
}

TEST(SortRemoteEntries, DirectoriesFirstThenColumnThenName) {
  std::vector<RemoteEntry> v = {Entry("B.TXT", false, 10, "T", "2001"), Entry("ZDIR", true, 0),
                                Entry("A.TXT", false, 10, "U", "2000"), Entry("C.EXE", false, 5, "A", "2002"),
                                Entry("ADIR", true, 0), Entry("a.txt", false, 1, "T", "1999")};
  SortRemoteEntries(v, kColumnName);
  EXPECT_EQ(Names(v), (std::vector<std::string>{"ADIR", "ZDIR", "A.TXT", "B.TXT", "C.EXE", "a.txt"}));
  SortRemoteEntries(v, kColumnSize);
  EXPECT_EQ(Names(v), (std::vector<std::string>{"ADIR", "ZDIR", "a.txt", "C.EXE", "A.TXT", "B.TXT"}));
  SortRemoteEntries(v, kColumnType);
  EXPECT_EQ(Names(v), (std::vector<std::string>{"ADIR", "ZDIR", "C.EXE", "B.TXT", "a.txt", "A.TXT"}));
  SortRemoteEntries(v, kColumnModified);
  EXPECT_EQ(Names(v), (std::vector<std::string>{"ADIR", "ZDIR", "a.txt", "A.TXT", "B.TXT", "C.EXE"}));
}

TEST(FileListTexts, TotalsSwitchUnitsAtTheirBoundaries) {
  EXPECT_EQ(TotalSizeText(0), "0 byte(s)");
  EXPECT_EQ(TotalSizeText(1023), "1023 byte(s)");
  EXPECT_EQ(TotalSizeText(1024), "1.0 KB");
  EXPECT_EQ(TotalSizeText(12595), "12.3 KB");
  EXPECT_EQ(TotalSizeText(1048575), "1024.0 KB");
  EXPECT_EQ(TotalSizeText(1048576), "1.0 MB");
  // The quotient goes through single precision: 16.0500002 MB shows as 16.0.
  EXPECT_EQ(TotalSizeText(16829645), "16.0 MB");
  // Past 4 GiB the host pane's total keeps counting instead of wrapping.
  EXPECT_EQ(TotalSizeText(5ull << 30), "5120.0 MB");
  EXPECT_EQ(ObjectCountText(3), "3 object(s)");
}

TEST(FileListTexts, SizeColumnInWholeKBRoundedUp) {
  EXPECT_EQ(SizeInKB(0), 0u);
  EXPECT_EQ(SizeInKB(1), 1u);
  EXPECT_EQ(SizeInKB(1024), 1u);
  EXPECT_EQ(SizeInKB(1025), 2u);
  EXPECT_EQ(SizeInKB((5ull << 30) + 1), (5ull << 20) + 1);
  EXPECT_EQ(SizeColumnText(true, 5000), "");
  EXPECT_EQ(SizeColumnText(false, 0), "0KB");
  EXPECT_EQ(SizeColumnText(false, 1025), "2KB");
}

TEST(StatusTexts, TotalAndSizeColumnOfEntries) {
  EXPECT_EQ(TotalSize({Entry("A", false, 3), Entry("B", false, 4), Entry("D", true, 0)}), 7u);
  EXPECT_EQ(TotalSize({Entry("A", false, 3), Entry("N", false, -999999)}), 3u);
  EXPECT_EQ(SizeColumnText(Entry("A", false, 1024)), "1KB");
  EXPECT_EQ(SizeColumnText(Entry("A", false, 1025)), "2KB");
  EXPECT_EQ(SizeColumnText(Entry("A", false, INT32_MAX)), "2097152KB");
  EXPECT_EQ(SizeColumnText(Entry("A", false, -5)), "0KB");
  EXPECT_EQ(SizeColumnText(Entry("D", true, 0)), "");
}

TEST(Paths, UpAndDown) {
  EXPECT_EQ(ParentPath("\\NAME"), "\\");
  EXPECT_EQ(ParentPath("\\A\\B"), "\\A");
  EXPECT_EQ(ParentPath(""), "\\");
  EXPECT_EQ(ParentPath("\\"), "\\");
  EXPECT_EQ(ChildPath("\\", "TEMP"), "\\TEMP");
  EXPECT_EQ(ChildPath("\\TEMP", "SUB"), "\\TEMP\\SUB");
  EXPECT_EQ(ChildPath("", "TEMP"), "\\TEMP");
  EXPECT_EQ(NormalizeRemotePath(""), "\\");
  EXPECT_EQ(NormalizeRemotePath("temp/sub/"), "\\temp\\sub");
  EXPECT_EQ(NormalizeRemotePath("D:\\TEMP"), "\\TEMP");
  EXPECT_EQ(NormalizeRemotePath("d:"), "\\");
  EXPECT_EQ(NormalizeRemotePath("/"), "\\");
  EXPECT_EQ(NormalizeRemotePath("D:\\DATA\\\\SUB\\"), "\\DATA\\SUB");
}

TEST(RemoteListing, EntryAtChecksTheRange) {
  RemoteListing l;
  l.Entries = {Entry("A", false, 1)};
  EXPECT_NE(l.RemoteEntryAt(0), nullptr);
  EXPECT_EQ(l.RemoteEntryAt(1), nullptr);
  EXPECT_EQ(l.RemoteEntryAt(-1), nullptr);
}

}  // namespace
}  // namespace vorn
