// Misbehaviour on demand, for testing how the utility copes, and the stand-alone program.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "pty_host.h"

namespace simtest {
namespace {

constexpr uint8_t SOH = 0x01, ACK = 0x06, NAK = 0x15, CAN = 0x18;

std::string Block1() {
  std::string b;
  b += char(SOH);
  b += char(1);
  b += char(254);
  b += std::string(128, '\0');
  b += char(0);
  return b;
}

using Misbehaviour = SimTest;

TEST_F(Misbehaviour, NoEchoAndWrongEchoCanBeSwitchedAtRunTime) {
  vsim::Options o = vc->GetOptions();
  o.echo = false;
  vc->SetOptions(o);
  host->Write("d");
  EXPECT_EQ(host->ReadFor(200), "");
  host->Write("\b");

  o.echo = true;
  o.wrongEcho = true;
  vc->SetOptions(o);
  for (char c : std::string("d:\r")) {
    host->Write(std::string(1, c));
    uint8_t e = 0;
    ASSERT_TRUE(host->ReadByte(&e, 500));
    EXPECT_NE(e, uint8_t(c));
  }
  host->ReadFor(100);

  vc->SetOptions(vsim::Options{});
  std::string prompt;
  host->Command("cd conf", &prompt);
  EXPECT_EQ(prompt, "D:\\CONF>");
}

TEST_F(Misbehaviour, StaleOutputWaitsForTheHost) {
  vsim::Options o;
  o.staleOutput = "leftover from before\r\nD:\\>";
  Restart(o);
  EXPECT_EQ(host->ReadFor(200), o.staleOutput);
  vc->InjectOutput("late bytes");
  EXPECT_EQ(host->ReadFor(200), "late bytes");
  std::string prompt;
  host->Command("cd", &prompt);
  EXPECT_EQ(prompt, "D:\\>");
}

TEST_F(Misbehaviour, LongLineWithoutEndBeforeThePrompt) {
  vsim::Options o;
  o.longLineWithoutEnd = true;
  vc->SetOptions(o);
  ASSERT_TRUE(host->Type("dir\r"));
  std::string out = host->ReadFor(150);
  ASSERT_EQ(out.substr(0, 1), "\n");
  out.erase(0, 1);
  ASSERT_EQ(out.size(), 1500u + 4u) << out;
  EXPECT_EQ(out.substr(1500), "D:\\>");
  for (size_t i = 0; i < 1500; ++i) ASSERT_TRUE(out[i] > 32 && out[i] < 127) << i;
}

// Only the virtual controller names itself; one playing a real controller
// runs a stand-in as a real one would: it prints its line and ends.
TEST_F(Misbehaviour, AsRealControllerNeverNamesItselfAndRunsStandInsAsTheyAre) {
  const std::string standIn = std::string("\xBA\x0C\x01\xB4\x09\xCD\x21\xB8\x00\x4C\xCD\x21", 12) +
                              "AX8796.COM: stand-in for the network driver, does nothing.\r\n$";
  ASSERT_TRUE(vc->WriteFile("D:\\AX8796.COM", standIn));
  for (const bool asReal : {false, true}) {
    vsim::Options o = vc->GetOptions();
    o.asRealController = asReal;
    vc->SetOptions(o);
    const std::string ver = host->Command("ver");
    EXPECT_NE(ver.find("VORN-7730 shell version"), std::string::npos) << ver;
    EXPECT_EQ(ver.find("virtual controller") != std::string::npos, !asReal) << ver;
    const std::string run = host->Command("AX8796");
    EXPECT_EQ(run.find("does nothing") != std::string::npos, asReal) << run;
  }
}

TEST_F(Misbehaviour, TransferModes) {
  vsim::Options o;
  o.transfer = vsim::TransferMode::CanAfterFirstBlock;
  vc->SetOptions(o);
  ASSERT_TRUE(host->Type("C:\\transfer /R D:\\A.BIN\r"));
  host->ReadFor(50, 100);  // LF and NAK
  host->Write(Block1());
  uint8_t b = 0;
  ASSERT_TRUE(host->ReadByte(&b, 1000));
  EXPECT_EQ(b, CAN);
  ASSERT_TRUE(host->ReadUntilPrompt(nullptr));

  // NAK for every block; after ten tries the receiver gives up and returns to the prompt.
  o.transfer = vsim::TransferMode::NakEveryBlock;
  vc->SetOptions(o);
  ASSERT_TRUE(host->Type("C:\\transfer /R D:\\A.BIN\r"));
  host->ReadFor(50, 100);
  for (int i = 0; i < 10; ++i) {
    host->Write(Block1());
    ASSERT_TRUE(host->ReadByte(&b, 1000));
    EXPECT_EQ(b, NAK) << i;
  }
  ASSERT_TRUE(host->ReadUntilPrompt(nullptr));

  // Silent: nothing at all after the echo, until the sender gives up with CAN.
  o.transfer = vsim::TransferMode::Silent;
  vc->SetOptions(o);
  ASSERT_TRUE(host->Type("C:\\transfer /R D:\\A.BIN\r"));
  EXPECT_EQ(host->ReadFor(1300), "\n");
  host->Write(Block1());
  EXPECT_EQ(host->ReadFor(300), "");
  host->Write(std::string(5, char(CAN)));
  ASSERT_TRUE(host->ReadUntilPrompt(nullptr));
  EXPECT_FALSE(vc->Exists("D:\\A.BIN"));
}

#ifdef VORN_SIM_EXE
TEST(StandAlone, PrintsThePortLinksItServesAPacedLineAndCleansUpOnSigterm) {
  char dir[] = "/tmp/vsim-link-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string link = std::string(dir) + "/ttyVORN";
  std::string cmd = std::string(VORN_SIM_EXE) + " --link " + link;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    // Paced like a real line, which must change nothing but the timing.
    execl(VORN_SIM_EXE, VORN_SIM_EXE, "--link", link.c_str(), "--baud", "57600", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  FILE* out = fdopen(fds[0], "r");
  char line[256] = {0};
  ASSERT_NE(fgets(line, sizeof line, out), nullptr);
  std::string path(line);
  while (!path.empty() && path.back() == '\n') path.pop_back();
  EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;

  // The link appears right after the path is printed.
  char target[256] = {0};
  for (int i = 0; i < 50 && readlink(link.c_str(), target, sizeof target - 1) < 0; ++i) usleep(10000);
  EXPECT_EQ(std::string(target), path);
  {
    PtyHost host(link);
    ASSERT_TRUE(host.ok());
    std::string prompt;
    host.Command("c:", &prompt);
    EXPECT_EQ(prompt, "C:\\>");
  }
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  struct stat st;
  EXPECT_NE(lstat(link.c_str(), &st), 0) << "link removed at exit";
  fclose(out);
  rmdir(dir);
}
#endif

}  // namespace
}  // namespace simtest
