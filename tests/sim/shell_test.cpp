// The console as the utility and a person at a terminal use it: echo, prompt, line editing.
#include <cstdio>
#include <cstdlib>

#include "pty_host.h"

namespace simtest {
namespace {

using Shell = SimTest;

TEST_F(Shell, EchoesEachByteAndFollowsTheCarriageReturnWithLineFeed) {
  std::string why;
  ASSERT_TRUE(host->Type("d:\r", &why)) << why;
  uint8_t b = 0;
  ASSERT_TRUE(host->ReadByte(&b, 500));
  EXPECT_EQ(b, '\n');
  std::string out, prompt;
  ASSERT_TRUE(host->ReadUntilPrompt(&out, &prompt));
  EXPECT_EQ(prompt, "D:\\>");
  EXPECT_EQ(vc->Received(), "d:\r");
}

TEST_F(Shell, PromptNamesDriveAndDirectoryAndEachDriveKeepsItsOwn) {
  std::string prompt;
  host->Command("d:", &prompt);
  EXPECT_EQ(prompt, "D:\\>");
  host->Command("md TEMP", &prompt);
  host->Command("cd TEMP", &prompt);
  EXPECT_EQ(prompt, "D:\\TEMP>");
  EXPECT_EQ(vc->CurrentDir(), "D:\\TEMP");
  host->Command("c:", &prompt);
  EXPECT_EQ(prompt, "C:\\>");
  EXPECT_EQ(vc->CurrentDir(), "C:\\");
  host->Command("D:", &prompt);
  EXPECT_EQ(prompt, "D:\\TEMP>");
}

TEST_F(Shell, ChangesDirectoryInEveryFormTheUtilityAndUsersType) {
  std::string prompt;
  host->Command("cd\\", &prompt);
  EXPECT_EQ(prompt, "D:\\>");
  host->Command("CD CONF", &prompt);
  EXPECT_EQ(prompt, "D:\\CONF>");
  host->Command("cd..", &prompt);
  EXPECT_EQ(prompt, "D:\\>");
  host->Command("cd\\DATA", &prompt);
  EXPECT_EQ(prompt, "D:\\DATA>");
  host->Command("cd ..\\conf", &prompt);
  EXPECT_EQ(prompt, "D:\\CONF>");
  EXPECT_EQ(host->Command("cd"), "D:\\CONF\r\n");

  std::string out = host->Command("cd\\NOWHERE", &prompt);
  EXPECT_NE(out.find("Invalid "), std::string::npos) << out;
  EXPECT_EQ(prompt, "D:\\CONF>");  // a refused cd leaves the directory alone
  out = host->Command("cd \\CONF\\UNIT.CFG", &prompt);
  EXPECT_NE(out.find("Invalid "), std::string::npos) << "a file is no directory: " << out;
  out = host->Command("c:");
  out = host->Command("cd \\CONF", &prompt);
  EXPECT_NE(out.find("Invalid "), std::string::npos) << "C: has no subdirectories";
}

TEST_F(Shell, BackspaceEditsTheLineAndIsEchoedAsRubOut) {
  std::string why;
  ASSERT_TRUE(host->Type("cd X", &why)) << why;
  host->Write("\b");
  EXPECT_EQ(host->ReadFor(100), "\b \b");
  host->Write("\b\b");
  EXPECT_EQ(host->ReadFor(100), "\b \b\b \b");
  std::string prompt;
  host->Command("d conf", &prompt);  // the line now reads "cd conf"
  EXPECT_EQ(prompt, "D:\\CONF>");
  host->Write("\b");  // nothing to rub out on an empty line
  EXPECT_EQ(host->ReadFor(100), "");

  // As DOS, the line holds 126 characters before its carriage return; more beep.
  host->Write(std::string(126, 'x'));
  EXPECT_EQ(host->ReadFor(200), std::string(126, 'x'));
  host->Write("y");
  EXPECT_EQ(host->ReadFor(100), "\a");
}

TEST_F(Shell, IgnoresCursorAndFunctionKeySequences) {
  host->Write("\x1b[A\x1b[D\x1bOP\x1bOS");
  EXPECT_EQ(host->ReadFor(150), "");
  std::string prompt;
  host->Command("cd conf", &prompt);
  EXPECT_EQ(prompt, "D:\\CONF>");
}

TEST_F(Shell, HandlesTextPastedBackToBack) {
  host->Write("cd conf\rcd ..\\data\r");
  std::string all = host->ReadFor(300);
  EXPECT_NE(all.find("cd conf\r\n"), std::string::npos) << all;
  EXPECT_NE(all.find("D:\\CONF>cd ..\\data\r\n"), std::string::npos) << all;
  EXPECT_EQ(all.substr(all.size() - 8), "D:\\DATA>");
}

TEST_F(Shell, RunsProgramsAndRefusesUnknownCommands) {
  std::string out = host->Command("demo");
  EXPECT_NE(out.find("DEMO.EXE"), std::string::npos) << out;
  EXPECT_EQ(out, host->Command("DEMO.EXE"));
  EXPECT_NE(host->Command("nonsense").find("Bad command"), std::string::npos);
  EXPECT_NE(host->Command("cd conf\\..\\nothere.exe").find("Invalid "), std::string::npos);
  EXPECT_NE(host->Command("d:\\nothere").find("Bad command"), std::string::npos);

  // Tools live on C: and are found from D: by full path or by name.
  out = host->Command("C:\\mem");
  EXPECT_GE(SplitLines(out).size(), 5u) << out;
  EXPECT_EQ(out, host->Command("mem"));
  EXPECT_EQ(host->Command("A"), "");

  // AutoRun.bat runs the program it names.
  out = host->Command("autorun");
  EXPECT_NE(out.find("DEMO.EXE"), std::string::npos) << out;
}

TEST_F(Shell, ListsDriveCWithItsTools) {
  host->Command("c:");
  std::string out = host->Command("dir");
  for (const char* tool : {"MEM      EXE", "DLFMT    EXE", "TRANSFER EXE"})
    EXPECT_NE(out.find(tool), std::string::npos) << tool << " in " << out;
  EXPECT_NE(out.find("bytes free"), std::string::npos);
  EXPECT_NE(host->Command("md X").find("Unable "), std::string::npos);
  EXPECT_NE(host->Command("echo x>X.TXT").find("Access denied"), std::string::npos);
}

TEST_F(Shell, KeepsServingWhenTheHostClosesAndReopensThePort) {
  host->Command("cd conf");
  for (int i = 0; i < 3; ++i) {
    host->Close();
    ASSERT_TRUE(host->Reopen());
    std::string prompt;
    host->Command("cd", &prompt);
    EXPECT_EQ(prompt, "D:\\CONF>");
  }
}

TEST_F(Shell, ProgramsStartedBesideItDoNotHoldItsPseudoTerminal) {
  // The utility starts host programs while its built-in controller runs; they
  // must not keep the controller's line open after the utility ends.
  FILE* ls = popen("ls -l /proc/self/fd/ 2>/dev/null", "r");
  ASSERT_NE(ls, nullptr);
  std::string fds;
  char buf[256];
  while (std::fgets(buf, sizeof buf, ls)) fds += buf;
  pclose(ls);
  ASSERT_FALSE(fds.empty());
  EXPECT_EQ(fds.find("ptmx"), std::string::npos) << fds;
  EXPECT_EQ(fds.find(vc->PortPath()), std::string::npos) << fds;
}

}  // namespace
}  // namespace simtest
