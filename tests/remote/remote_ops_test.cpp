#include "remote/remote_ops.h"

#include <sstream>

#include <gtest/gtest.h>

#include <deque>
#include <cstdio>
#include <functional>
#include <map>

#include "app/scripted_ui.h"
#include "remote/remote_cli.h"

namespace vorn {
namespace {

// A shell that echoes every byte and answers each complete command line with
// the text a test gives for it, then its prompt. Reads never wait.
class ShellPort : public Port {
 public:
  using Answer = std::function<std::string(const std::string& command)>;
  ShellPort(std::string* typed, Answer answer, const bool* hungUp = nullptr)
      : typed_(typed), answer_(std::move(answer)), hungUp_(hungUp) {}

  bool Open() override { return true; }
  bool Close() override { return true; }
  bool Configure(uint32_t, uint8_t, uint8_t, uint8_t) override { return true; }
  bool SetTimeouts(uint32_t ms) override {
    timeout_ = ms;
    return true;
  }
  uint32_t Timeout() const override { return timeout_; }
  bool Write(const uint8_t* bytes, size_t count) override {
    input_.clear();
    for (size_t i = 0; i < count; ++i) {
      char c = static_cast<char>(bytes[i]);
      *typed_ += c;
      input_.push_back(c);
      line_ += c;
      if (c == '\r') {
        std::string out = answer_(line_) + (hungUp_ && *hungUp_ ? "" : "D:\\>");
        line_.clear();
        input_.insert(input_.end(), out.begin(), out.end());
      }
    }
    return true;
  }
  bool ReadExact(uint8_t* buffer, size_t count) override {
    if (input_.size() < count) {
      input_.clear();
      return false;
    }
    for (size_t i = 0; i < count; ++i) {
      buffer[i] = static_cast<uint8_t>(input_.front());
      input_.pop_front();
    }
    return true;
  }
  bool ReadLine(size_t maxLen, std::string& text) override {
    text.clear();
    while (!input_.empty() && text.size() + 1 < maxLen) {
      char c = input_.front();
      input_.pop_front();
      text += c;
      if (static_cast<uint8_t>(c) == LineEnd) return true;
    }
    return false;
  }
  bool PurgeInput() override {
    input_.clear();
    return true;
  }

 private:
  std::string* typed_;
  Answer answer_;
  const bool* hungUp_;  // when set, no prompt follows the output
  std::deque<char> input_;
  std::string line_;
  uint32_t timeout_ = 0;
};

struct Pane : TerminalPane {
  int LineCount() const override { return static_cast<int>(lines.size()); }
  void Clear() override { lines.clear(); }
  void AppendLine(const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

struct Cursor : BusyCursor {
  void SetBusy() override {}
  void Restore() override {}
};

// One "dir" line in the shell's fixed columns, CR LF included.
std::string File(const char* base, const char* ext, const char* size) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%-8s %-3s       %7s %-16s\r\n", base, ext, size, "12-06-99  10:23a");
  return buf;
}
std::string Dir(const char* name) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%-8s     <DIR>         %-16s\r\n", name, "01-02-03   1:05p");
  return buf;
}
const std::string kFree = "        3 dir(s)         654,336 bytes free\r\n";

const std::string kListing = " Volume in drive D is VORN7730\r\n Directory of D:\\TEMP\r\n\r\n" + Dir(".") + Dir("..") +
                             File("ZETA", "EXE", "2,048") + Dir("SUB") + File("ALPHA", "TXT", "100") +
                             "       2 file(s)      2,148 bytes\r\n" + kFree;

class RemoteOpsTest : public ::testing::Test {
 protected:
  RemoteOpsTest()
      : exchange(pane, cursor, ui, [this](const std::string&) -> std::unique_ptr<Port> {
          return std::make_unique<ShellPort>(&typed, [this](const std::string& c) { return Reply(c); }, &hungUp);
        }),
        ops(exchange, listing) {
    exchange.ComName = "COM1";
  }

  std::string Reply(const std::string& command) {
    auto it = replies.find(command);
    return it == replies.end() ? std::string() : it->second;
  }

  Pane pane;
  Cursor cursor;
  test::ScriptedUi ui;
  std::string typed;
  std::map<std::string, std::string> replies;
  bool hungUp = false;
  Exchange exchange;
  RemoteListing listing;
  RemoteOps ops;
};

TEST_F(RemoteOpsTest, ListingSortsCountsAndKeepsTheFreeSpace) {
  replies["dir\r"] = kListing;
  listing.RestoreIndex = 7;
  int row = -2;
  FillOutcome out = ops.Show("\\TEMP", &row);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(typed, "d:\rcd\\TEMP\rdir\r");
  ASSERT_EQ(listing.Entries.size(), 3u);
  EXPECT_EQ(listing.Entries[0].Name, "SUB");
  EXPECT_EQ(listing.Entries[1].Name, "ALPHA.TXT");
  EXPECT_EQ(listing.Entries[2].Name, "ZETA.EXE");
  EXPECT_EQ(listing.BytesFree, 654336u);
  EXPECT_EQ(out.objectsText, "3 object(s)");
  EXPECT_EQ(out.sizeText, "2.1 KB(3 dir(s)         654,336 bytes free)");
  EXPECT_EQ(listing.CurrentPath, "\\TEMP");
  EXPECT_EQ(row, 2);  // RestoreIndex past the end selects the last row
  EXPECT_EQ(listing.RestoreIndex, 0);
  EXPECT_TRUE(ui.boxes.empty());

  // A listing without a free-space line keeps the last figure and text once.
  replies["dir\r"] = File("ONLY", "TXT", "5");
  listing.SortColumn = kColumnSize;
  out = ops.Show("\\TEMP", &row);
  EXPECT_EQ(listing.BytesFree, 654336u);
  EXPECT_EQ(out.sizeText, "5 byte(s)(3 dir(s)         654,336 bytes free)");
  EXPECT_EQ(listing.SortColumn, 0);
  EXPECT_EQ(row, 0);
}

TEST_F(RemoteOpsTest, SortColumnAppliesOnceAndReturnsToName) {
  replies["dir\r"] = kListing;
  listing.SortColumn = kColumnSize;
  ops.FillRemoteList("\\TEMP");
  EXPECT_EQ(listing.Entries[1].Name, "ALPHA.TXT");
  EXPECT_EQ(listing.Entries[2].Name, "ZETA.EXE");
  EXPECT_EQ(listing.SortColumn, 0);
  replies["dir\r"] = File("BIG", "TXT", "9") + File("SMALL", "TXT", "1");
  listing.SortColumn = kColumnSize;
  ops.FillRemoteList("\\");
  EXPECT_EQ(listing.Entries[0].Name, "SMALL.TXT");
  ops.FillRemoteList("\\");
  EXPECT_EQ(listing.Entries[0].Name, "BIG.TXT");
}

TEST_F(RemoteOpsTest, RefusedDirectoryEmptiesTheListAndSkipsDir) {
  replies["dir\r"] = kListing;
  ops.Show("\\");
  replies["cd\\NOPE\r"] = "Invalid directory\r\n";
  int row = 0;
  FillOutcome out = ops.Show("\\NOPE", &row);
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(typed.substr(typed.size() - 8), "cd\\NOPE\r");
  EXPECT_TRUE(listing.Entries.empty());
  EXPECT_EQ(row, -1);
  EXPECT_EQ(out.objectsText, "0 object(s)");
  EXPECT_EQ(listing.CurrentPath, "\\NOPE");
  // The earlier listing's free space no longer describes what is shown.
  EXPECT_EQ(listing.BytesFree, 0u);
  EXPECT_EQ(out.sizeText.find("free"), std::string::npos) << out.sizeText;
  EXPECT_EQ(ui.LastError(), "Invalid directory\r\n'\\NOPE'!");
}

TEST_F(RemoteOpsTest, EmptyPathTypesBareCd) {
  ops.FillRemoteList("");
  EXPECT_EQ(typed, "d:\rcd\rdir\r");
}

TEST_F(RemoteOpsTest, TreeCountAddsFilesBytesAndFolders) {
  replies["dir/s SUB\r"] = " Directory of D:\\SUB\r\n" + Dir(".") + Dir("..") + Dir("INNER") + File("A", "TXT", "1,000") +
                          " Directory of D:\\SUB\\INNER\r\n" + Dir(".") + Dir("..") + File("B", "TXT", "24") + kFree;
  TreeCount c = ops.Count("SUB");
  EXPECT_TRUE(c.ok);
  EXPECT_EQ(c.files, 2u);
  EXPECT_EQ(c.bytes, 1024u);
  EXPECT_EQ(c.folders, 1u);

  replies["dir/s \r"] = Dir(".") + Dir("..") + kFree;
  c = ops.Count("");
  EXPECT_TRUE(c.ok);
  EXPECT_EQ(c.files + c.folders, 0u);
}

TEST_F(RemoteOpsTest, DeleteRefusesANonEmptyDirectoryBeforeSending) {
  RemoteEntry dir;
  dir.Name = "SUB";
  dir.IsDirectory = true;
  replies["dir/s SUB\r"] = Dir(".") + Dir("..") + File("EMPTY", "TXT", "0");
  EXPECT_FALSE(ops.Delete(dir));
  EXPECT_EQ(typed, "d:\rcd\\\rdir/s SUB\r");
  EXPECT_EQ(ui.Texts("warning"), std::vector<std::string>{"The directory 'SUB' is not empty.\nCannot delete this directory!"});
  EXPECT_TRUE(ui.Texts("question").empty());

  replies["dir/s SUB\r"] = "";
  typed.clear();
  EXPECT_TRUE(ops.Delete(dir));
  EXPECT_EQ(typed, "d:\rcd\\\rdir/s SUB\rd:\rcd\\\rrd SUB\r");
  EXPECT_EQ(ui.Texts("question").back(), "Are you sure to delete the directory 'SUB'\nfrom VORN-7730?");
}

TEST_F(RemoteOpsTest, DeleteFileAsksAndNoSendsNothing) {
  RemoteEntry file;
  file.Name = "A.TXT";
  ui.answers = {false, true};
  EXPECT_FALSE(ops.Delete(file));
  EXPECT_EQ(typed, "");
  EXPECT_TRUE(ops.Delete(file));
  EXPECT_EQ(typed, "d:\rcd\\\rdel A.TXT\r");
  EXPECT_EQ(ui.Texts("question").back(), "Are you sure to delete the file 'A.TXT'\nfrom VORN-7730?");
}

TEST_F(RemoteOpsTest, MakeDirectoryAndRenameReportTheShellsRefusal) {
  listing.CurrentPath = "\\TEMP";
  EXPECT_TRUE(ops.MakeDirectory("NEW"));
  EXPECT_EQ(typed, "d:\rcd\\TEMP\rmd NEW\r");
  replies["md BAD\r"] = "Unable to create directory\r\nInvalid later line\r\n";
  EXPECT_FALSE(ops.MakeDirectory("BAD"));
  EXPECT_EQ(ui.LastError(), "Unable to create directory\r\n'BAD'!");

  typed.clear();
  EXPECT_TRUE(ops.Rename("A.TXT", "B.TXT"));
  EXPECT_EQ(typed, "d:\rcd\\TEMP\rren A.TXT B.TXT\r");
  replies["ren A.TXT C.TXT\r"] = "Duplicate file name or file not found\r\n";
  EXPECT_FALSE(ops.Rename("A.TXT", "C.TXT"));
  EXPECT_EQ(ui.LastError(), "Duplicate file name or file not found\r\n'C.TXT'!");
  // An "Unable " reply does not refuse a rename.
  replies["ren A.TXT D.TXT\r"] = "Unable to comply\r\n";
  EXPECT_TRUE(ops.Rename("A.TXT", "D.TXT"));
}

// A name that would end the line, redirect, pipe, match several files or add
// an argument is refused with a box before anything is typed.
TEST_F(RemoteOpsTest, NamesThatWouldChangeTheLineAreRefusedWithABox) {
  const struct {
    std::string name;
    bool refused;
  } cases[] = {
      {"A.TXT", false}, {"NEWDIR", false}, {"V1.2.3", false}, {"$#@!~-_", false},
      {"", true},       {"A>B", true},     {"A B", true},     {"*.TXT", true},   {"X|Y", true},
      {"\"Q\"", true},  {"/S", true},      {"A?", true},      {"A<B", true},     {"A&B", true},
      {"D:X", true},    {"A\\B", true},    {"A;B", true},     {"A,B", true},     {"A+B", true},
      {"A=B", true},    {"[A]", true},     {"A\rdel X", true}, {"B\r", true},    {"A\tB", true},
      {"\x7f", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(NameRefusal(c.name).empty(), !c.refused);
    if (!c.refused) continue;
    ui.boxes.clear();
    EXPECT_FALSE(ops.MakeDirectory(c.name));
    EXPECT_FALSE(ops.Rename("A.TXT", c.name));
    EXPECT_FALSE(ops.SetAutoRun(c.name, false));
    EXPECT_EQ(typed, "");
    EXPECT_EQ(ui.Texts("error"), std::vector<std::string>(3, NameRefusal(c.name)));
  }
  EXPECT_EQ(NameRefusal("A>B"),
            "'A>B' is not a name the controller takes: its file names may not be empty or hold a space, a control "
            "character or any of \" * ? < > | & / \\ : ; , + = [ ]");
  EXPECT_EQ(NameRefusal("B\rdel X").substr(0, 10), "'B^Mdel X'");  // one line, the carriage return shown
  // A path: each of its names, the root none.
  EXPECT_EQ(PathRefusal("\\"), "");
  EXPECT_EQ(PathRefusal("\\DATA\\SUB.1"), "");
  EXPECT_EQ(PathRefusal("\\DATA\\A B\\C"), NameRefusal("A B"));
  EXPECT_EQ(PathRefusal("\\A>B"), NameRefusal("A>B"));
}

// The folder shown is gone or refused: nothing is typed after its cd.
TEST_F(RemoteOpsTest, ARefusedFolderStopsEachOperationAtItsCd) {
  listing.CurrentPath = "\\GONE";
  replies["cd\\GONE\r"] = "Invalid directory\r\n";
  RemoteEntry file;
  file.Name = "PROG.EXE";
  RemoteEntry dir;
  dir.Name = "SUB";
  dir.IsDirectory = true;
  const struct {
    const char* what;
    std::function<bool()> run;
  } cases[] = {
      {"delete", [&] { return ops.Delete(file); }},
      {"delete a folder", [&] { return ops.Delete(dir); }},
      {"make directory", [&] { return ops.MakeDirectory("NEW"); }},
      {"rename", [&] { return ops.Rename("PROG.EXE", "RUN.EXE"); }},
      {"autorun", [&] { return ops.SetAutoRun("PROG.EXE", true); }},
      {"properties", [&] { return ops.Properties(nullptr, "\\GONE").has_value(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    typed.clear();
    ui.boxes.clear();
    EXPECT_FALSE(c.run());
    EXPECT_EQ(typed, "d:\rcd\\GONE\r");
    EXPECT_EQ(ui.Texts("error"), std::vector<std::string>{"Invalid directory\r\n'\\GONE'!"});
  }
}

TEST_F(RemoteOpsTest, FormatAsksFirst) {
  ui.answers = {false};
  EXPECT_FALSE(ops.Format());
  EXPECT_EQ(typed, "");
  EXPECT_EQ(ui.Texts("question").front(), kFormatQuestion);
  EXPECT_TRUE(ops.Format());
  EXPECT_EQ(typed, "C:\\DLFMT D: /C\r");
}

TEST_F(RemoteOpsTest, ShellCommandLines) {
  EXPECT_TRUE(ops.SetAutoRun("PROG.EXE", false));
  EXPECT_TRUE(ops.SetAutoRun("PROG.EXE", true));
  EXPECT_TRUE(ops.Mem());
  EXPECT_TRUE(ops.Abort());
  EXPECT_EQ(typed, "d:\rcd\\\recho PROG.EXE>AutoRun.bat\rd:\rcd\\\recho PROG.EXE>>AutoRun.bat\rC:\\mem\rA\r");
}

TEST_F(RemoteOpsTest, RelistKeepsColumnAndPopupRow) {
  listing.ChosenColumn = kColumnModified;
  listing.PopupIndex = 4;
  ops.PrepareRelist();
  EXPECT_EQ(listing.SortColumn, kColumnModified);
  EXPECT_EQ(listing.RestoreIndex, 4);
}

TEST(RemoteMenu, EnablingFollowsTheSelection) {
  auto flags = [](const RemoteEntry* e) {
    const RemoteMenuState s = MenuStateFor(e);
    return std::string{char('0' + s.makeDirectory), char('0' + s.remove), char('0' + s.rename),
                       char('0' + s.setToAutoRun), char('0' + s.properties), char('0' + s.view)};
  };
  RemoteEntry dir;
  dir.IsDirectory = true;
  dir.Name = "PROG.EXE";  // a directory is never a program
  RemoteEntry file;
  file.Name = "AUTOEXEC.BAT";
  EXPECT_EQ(flags(nullptr), "100010");
  EXPECT_EQ(flags(&dir), "010010");
  EXPECT_EQ(flags(&file), "011011");
  file.Name = "PROG.EXE";
  EXPECT_EQ(flags(&file), "011110");
  file.Name = "A.EXEC";  // ".EXE" anywhere in the name
  EXPECT_EQ(flags(&file), "011111");
  file.Name = "prog.exe";
  EXPECT_EQ(flags(&file), "011010");  // a program in any case is not viewed
}

TEST_F(RemoteOpsTest, PropertiesOfFileDirectoryAndCurrentDirectory) {
  RemoteEntry file;
  file.Name = "A.TXT";
  file.Size = 1234;
  file.TypeText = "TXT File";
  file.Modified = "1999/12/06 10:23:00";
  auto p = ops.Properties(&file, "\\TEMP");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Module, "VORN-7730");
  EXPECT_EQ(p->Name, "A.TXT");
  EXPECT_EQ(p->Path, "\\TEMP");
  EXPECT_EQ(p->Type, "TXT File");
  EXPECT_EQ(p->Size, "1234 byte(s)");
  EXPECT_EQ(p->Date, "1999/12/06 10:23:00");
  EXPECT_EQ(p->Contains, "");
  EXPECT_EQ(typed, "");  // a file is not counted

  RemoteEntry dir;
  dir.Name = "SUB";
  dir.IsDirectory = true;
  replies["dir/s SUB\r"] = Dir(".") + Dir("..") + Dir("IN") + File("A", "TXT", "1,000") + File("B", "TXT", "24");
  p = ops.Properties(&dir, "\\");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Size, "1024 byte(s)");
  EXPECT_EQ(p->Contains, "2 file(s), 1 folder(s)");

  replies["dir/s \r"] = kFree;
  p = ops.Properties(nullptr, "\\");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Name, "");
  EXPECT_EQ(p->Type, "VORN disk (D:)");
  EXPECT_EQ(p->Contains, "0 file(s), 0 folder(s)");
  EXPECT_EQ(ops.Properties(nullptr, "\\TEMP")->Type, "Folder");
  EXPECT_EQ(ops.Properties(nullptr, "")->Type, "Folder");
}

TEST_F(RemoteOpsTest, PropertiesAfterAFailedCount) {
  RemoteEntry dir;
  dir.Name = "SUB";
  dir.IsDirectory = true;
  Exchange failing(pane, cursor, ui, [](const std::string&) -> std::unique_ptr<Port> { return nullptr; });
  RemoteOps broken(failing, listing);
  // A selected directory still shows its dialog, without size and contents.
  auto p = broken.Properties(&dir, "\\");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Name, "SUB");
  EXPECT_EQ(p->Size, "");
  EXPECT_EQ(p->Contains, "");
  // The current directory shows none.
  EXPECT_FALSE(broken.Properties(nullptr, "\\"));
  EXPECT_EQ(ui.Texts("error").size(), 2u);
}

TEST_F(RemoteOpsTest, LsPrintsEntriesAndFreeBytesOnly) {
  replies["dir\r"] = kListing;
  std::ostringstream out, err;
  EXPECT_EQ(ListRemoteCommand(exchange, {"temp/"}, out, err), 0);
  // Listed twice: a listing counts once two reads agree.
  EXPECT_EQ(typed, "d:\rcd\\temp\rdir\rd:\rcd\\temp\rdir\r");
  EXPECT_EQ(out.str(),
            "SUB\t0\t2003/01/02 13:05:00\t<DIR>\n"
            "ALPHA.TXT\t100\t1999/12/06 10:23:00\t\n"
            "ZETA.EXE\t2048\t1999/12/06 10:23:00\t\n"
            "654336 bytes free\n");
  EXPECT_TRUE(pane.lines.empty());  // the shell's own lines stay out of the listing
}

TEST_F(RemoteOpsTest, LsFailsOnARefusedPath) {
  replies["cd\\NOPE\r"] = "Invalid directory\r\n";
  std::ostringstream out, err;
  EXPECT_EQ(ListRemoteCommand(exchange, {"\\NOPE"}, out, err), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(ui.LastError(), "Invalid directory\r\n'\\NOPE'!");
  EXPECT_EQ(ListRemoteCommand(exchange, {"A", "B"}, out, err), 2);
}

TEST_F(RemoteOpsTest, LsFailsWhenTheListingEndsWithoutThePrompt) {
  // A controller that hung up after two entries: no free-space line, no prompt.
  replies["dir\r"] = File("ZETA", "EXE", "2,048") + File("ALPHA", "TXT", "100");
  hungUp = true;
  std::ostringstream out, err;
  EXPECT_EQ(ListRemoteCommand(exchange, {}, out, err), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), std::string(kNoPromptText) + "\n");
}

}  // namespace
}  // namespace vorn
