// The I/O modules' tool CFGIO: applying an uploaded file, the module table kept
// beside the drive file, and the options that change what it prints. (The
// probe and the printout are exercised by the utility's configuration run.)
#include <unistd.h>

#include <filesystem>

#include "pty_host.h"

namespace simtest {
namespace {

using Cfgio = SimTest;

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The printout as the utility would upload it: LF ends and XMODEM's 0x00 fill.
std::string AsUpload(const std::string& printout) {
  std::string file;
  for (char c : printout)
    if (c != '\r') file += c;
  return file + std::string(128 - file.size() % 128, '\0');
}

TEST_F(Cfgio, AppliesOnlyAWholeFileAndKeepsTheTableAcrossARestart) {
  const std::string dir = std::filesystem::temp_directory_path() / ("vsim-cfgio-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  vsim::Options o;
  o.driveFile = dir + "/d.img";
  o.ioModules = "6,9,31,21";
  o.fourSlots = true;
  Restart(o);
  const std::string printout = host->Command("cfgio 1");
  for (const char* line : {"@SLOT0 06 04 -1\r\n", "@SLOT1 09 03 -1\r\n0 33 -1 -1\r\n", "@SLOT2 31 04 -1\r\n",
                           "@SLOT3 21 16 -1\r\n", "@SLOT4 99 -1 -1\r\n"})
    EXPECT_NE(printout.find(line), std::string::npos) << line;

  const std::string changed = Replace(AsUpload(printout), "0 33 -1 -1", "0 40 -1 -1");
  ASSERT_TRUE(vc->WriteFile("D:\\VORNIO.CFG", Replace(changed, "@VORN7730MIOCFG-END", "@VORN7730MIOCFG")));
  EXPECT_NE(host->Command("cfgio").find("not a valid I/O configuration, nothing changed"), std::string::npos);
  EXPECT_EQ(host->Command("cfgio 1"), printout);
  ASSERT_TRUE(vc->WriteFile("D:\\VORNIO.CFG", changed));
  host->Command("cfgio");

  o.ioModules.clear();  // the stored table wins over the starting set
  o.cfgioCutOff = true;
  Restart(o);
  EXPECT_EQ(host->Command("cfgio 1").find("@VORN7730MIOCFG-END"), std::string::npos);
  o.cfgioCutOff = false;
  Restart(o);
  EXPECT_EQ(host->Command("cfgio 1"), Replace(printout, "0 33 -1 -1", "0 40 -1 -1"));
  host.reset();
  vc.reset();
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace simtest
