// The I/O modules' tool CFGIO: slot count, printout, applying an uploaded file,
// and the options that change where it lives and what it prints.
#include <unistd.h>

#include <cstdio>
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
  file += '\n';
  return file + std::string(128 - file.size() % 128, '\0');
}

TEST_F(Cfgio, PrintsItsTableAndAppliesOnlyAWholeFile) {
  const std::string slots = host->Command("C:\\cfgio 1 1");
  EXPECT_EQ(SplitLines(slots), (std::vector<std::string>{"@NUMBEROFSLOT 8\r\n", "@SLOT 8\r\n"}));

  const std::string printout = host->Command("cfgio 1");
  const auto lines = SplitLines(printout);
  ASSERT_GE(lines.size(), 18u);
  EXPECT_EQ(lines.front(), "@VORN7730MIOCFG-START 001 -1 -1\r\n");
  EXPECT_EQ(lines[1], "@SLOT0 04 08 -1\r\n");
  EXPECT_EQ(lines.back(), "@VORN7730MIOCFG-END -1 -1 -1\r\n");
  for (const std::string& l : lines) EXPECT_EQ(l.substr(l.size() - 2), "\r\n");

  // Channel 0 of slot 0 changed, but the trailer is missing: refused, nothing changes.
  const std::string changed = Replace(AsUpload(printout), "0 09 -1 -1", "0 12 -1 -1");
  ASSERT_TRUE(vc->WriteFile("D:\\VORNIO.CFG", Replace(changed, "@VORN7730MIOCFG-END", "@VORN7730MIOCFG")));
  EXPECT_NE(host->Command("cfgio").find("not a valid I/O configuration, nothing changed"), std::string::npos);
  EXPECT_EQ(host->Command("cfgio 1"), printout);

  ASSERT_TRUE(vc->WriteFile("D:\\VORNIO.CFG", changed));
  EXPECT_NE(host->Command("cfgio").find("applied"), std::string::npos);
  EXPECT_EQ(host->Command("cfgio 1"), Replace(printout, "0 09 -1 -1", "0 12 -1 -1"));
}

TEST_F(Cfgio, OptionsChooseModulesDriveAndCutAndTheTableSurvivesARestart) {
  const std::string dir = std::filesystem::temp_directory_path() / ("vsim-cfgio-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  vsim::Options o;
  o.driveFile = dir + "/d.img";
  o.ioModules = "6,9,31,21";
  o.fourSlots = true;
  o.cfgioOnDriveD = true;
  Restart(o);
  EXPECT_EQ(host->Command("C:\\cfgio 1 1"), "Bad command or file name\r\n");
  EXPECT_EQ(SplitLines(host->Command("D:\\cfgio 1 1")).back(), "@SLOT 4\r\n");
  const std::string printout = host->Command("D:\\cfgio 1");
  for (const char* line : {"@SLOT0 06 04 -1", "@SLOT1 09 03 -1", "@SLOT2 31 04 -1", "@SLOT3 21 16 -1", "@SLOT4 99 -1 -1"})
    EXPECT_NE(printout.find(line), std::string::npos) << line;
  ASSERT_TRUE(vc->WriteFile("D:\\VORNIO.CFG", Replace(AsUpload(printout), "0 33 -1 -1", "0 40 -1 -1")));
  host->Command("D:\\cfgio");

  o.ioModules.clear();  // the stored table wins over the starting set
  o.cfgioCutOff = true;
  Restart(o);
  const std::string cut = host->Command("D:\\cfgio 1");
  EXPECT_EQ(cut.find("@VORN7730MIOCFG-END"), std::string::npos);
  EXPECT_EQ(cut.find("@SLOT1"), std::string::npos);
  o.cfgioCutOff = false;
  Restart(o);
  EXPECT_EQ(host->Command("D:\\cfgio 1"), Replace(printout, "0 33 -1 -1", "0 40 -1 -1"));
  host.reset();
  vc.reset();
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace simtest
