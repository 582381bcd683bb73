// File commands and the words by which the shell refuses them, echo redirection, format.
#include "pty_host.h"

namespace simtest {
namespace {

using FileOps = SimTest;

bool Says(const std::string& out, const char* word) { return out.find(word) != std::string::npos; }

TEST_F(FileOps, MakeAndRemoveDirectories) {
  EXPECT_EQ(host->Command("md NEW"), "");
  EXPECT_TRUE(vc->Exists("D:\\NEW"));
  EXPECT_EQ(host->Command("mkdir new\\sub"), "");
  EXPECT_TRUE(vc->Exists("D:\\NEW\\SUB")) << "names are stored upper case";

  EXPECT_TRUE(Says(host->Command("md NEW"), "Unable ")) << "existing directory";
  EXPECT_TRUE(Says(host->Command("md AUTORUN.BAT"), "Unable ")) << "existing file";
  EXPECT_TRUE(Says(host->Command("md NOPE\\SUB"), "Unable ")) << "missing parent";
  EXPECT_TRUE(Says(host->Command("md NINECHARS"), "Invalid ")) << "not an 8.3 name";

  EXPECT_TRUE(Says(host->Command("rd NEW"), "Invalid ")) << "not empty";
  EXPECT_TRUE(Says(host->Command("rd GONE"), "Invalid ")) << "missing";
  EXPECT_TRUE(Says(host->Command("rd DEMO.EXE"), "Invalid ")) << "a file";
  EXPECT_EQ(host->Command("rd NEW\\SUB"), "");
  EXPECT_EQ(host->Command("rd NEW"), "");
  EXPECT_FALSE(vc->Exists("D:\\NEW"));

  host->Command("cd conf");
  EXPECT_FALSE(host->Command("rd \\CONF").empty());
  EXPECT_TRUE(vc->Exists("D:\\CONF")) << "the current directory stays";
}

TEST_F(FileOps, RenameAndDelete) {
  EXPECT_TRUE(Says(host->Command("ren DEMO.EXE COUNTER.EXE"), "Duplicate ")) << "onto an existing name";
  EXPECT_TRUE(Says(host->Command("ren MISSING.EXE OTHER.EXE"), "Duplicate ")) << "missing file";
  EXPECT_TRUE(Says(host->Command("ren DEMO.EXE TOOLONGNAME.EXE"), "Invalid "));
  EXPECT_TRUE(Says(host->Command("ren DEMO.EXE BAD+NAME.EXE"), "Invalid "));
  EXPECT_TRUE(vc->Exists("D:\\DEMO.EXE")) << "refusals change nothing";

  std::string before;
  ASSERT_TRUE(vc->ReadFile("D:\\DEMO.EXE", &before));
  EXPECT_EQ(host->Command("ren demo.exe prog.exe"), "");
  std::string after;
  ASSERT_TRUE(vc->ReadFile("D:\\PROG.EXE", &after));
  EXPECT_EQ(after, before);
  EXPECT_FALSE(vc->Exists("D:\\DEMO.EXE"));

  uint32_t freeBefore = vc->BytesFree();
  EXPECT_EQ(host->Command("del PROG.EXE"), "");
  EXPECT_FALSE(vc->Exists("D:\\PROG.EXE"));
  EXPECT_EQ(vc->BytesFree(), freeBefore + 3 * 1024);
  EXPECT_TRUE(Says(host->Command("del PROG.EXE"), "not found"));
  EXPECT_FALSE(host->Command("del CONF").empty()) << "del does not remove directories";
  EXPECT_TRUE(vc->Exists("D:\\CONF"));

  // The clean-up after an I/O configuration names the file with its drive.
  ASSERT_TRUE(vc->WriteFile("D:\\VORNIO.CFG", "x"));
  host->Command("cd conf");
  EXPECT_EQ(host->Command("del D:\\vornio.cfg"), "");
  EXPECT_FALSE(vc->Exists("D:\\VORNIO.CFG"));
}

TEST_F(FileOps, EchoWritesAppendsAndPrints) {
  EXPECT_EQ(host->Command("echo hello there"), "hello there\r\n");
  host->Command("echo PROG.EXE>AutoRun.bat");
  host->Command("echo OTHER.EXE>AutoRun.bat");
  std::string content;
  ASSERT_TRUE(vc->ReadFile("D:\\AUTORUN.BAT", &content));
  EXPECT_EQ(content, "OTHER.EXE\r\n") << "> writes the file anew";

  host->Command("echo THIRD.EXE>>AutoRun.bat");
  ASSERT_TRUE(vc->ReadFile("D:\\AUTORUN.BAT", &content));
  EXPECT_EQ(content, "OTHER.EXE\r\nTHIRD.EXE\r\n");

  // In the current directory, not the root.
  host->Command("cd data");
  host->Command("echo SUB.EXE>>AutoRun.bat");
  ASSERT_TRUE(vc->ReadFile("D:\\DATA\\AUTORUN.BAT", &content));
  EXPECT_EQ(content, "SUB.EXE\r\n");
  EXPECT_EQ(host->Command("type autorun.bat"), "SUB.EXE\r\n");
}

TEST_F(FileOps, FormatEmptiesDriveDWithCarriageReturnProgress) {
  host->Command("cd conf");
  host->Type("C:\\DLFMT D: /C\r");
  std::string out, prompt;
  ASSERT_TRUE(host->ReadUntilPrompt(&out, &prompt));
  EXPECT_EQ(prompt, "D:\\>") << "the directory went with the format";

  // Progress lines end with CR alone so that a terminal overwrites them.
  size_t progress = out.find("percent completed.\r");
  ASSERT_NE(progress, std::string::npos) << out;
  EXPECT_NE(out[progress + 19], '\n');
  EXPECT_NE(out.find("Format complete.\r\n"), std::string::npos);

  EXPECT_FALSE(vc->Exists("D:\\CONF"));
  EXPECT_FALSE(vc->Exists("D:\\AUTOEXEC.BAT"));
  EXPECT_EQ(vc->BytesFree(), 1044480u);

  // An empty drive is still listed with its free space.
  std::string dir = host->Command("dir");
  EXPECT_NE(dir.find("1,044,480 bytes free"), std::string::npos) << dir;
  EXPECT_NE(dir.find("0 file(s)"), std::string::npos) << dir;
}

TEST_F(FileOps, FormatAsksWithoutConfirmSwitch) {
  host->Type("C:\\DLFMT D:\r");
  std::string question = host->ReadFor(150);
  EXPECT_NE(question.find("(Y/N)?"), std::string::npos) << question;
  host->Write("n");
  std::string out;
  ASSERT_TRUE(host->ReadUntilPrompt(&out));
  EXPECT_TRUE(vc->Exists("D:\\CONF")) << "answered No";
}

}  // namespace
}  // namespace simtest
