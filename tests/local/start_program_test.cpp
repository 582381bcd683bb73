// Starting a host program: a path or a program name with arguments, and a
// failure for anything that does not run.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/host.h"
#include "temp_tree.h"

namespace fs = std::filesystem;

namespace vorn {
namespace {

bool AppearsSoon(const std::string& path) {
  for (int i = 0; i < 200 && !fs::exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return fs::exists(path);
}

TEST(StartProgram, RunsProgramsAndReportsWhatCannotRun) {
  localtest::TempTree tree;
  auto script = [&](const std::string& name, const std::string& text, fs::perms perms) {
    const std::string path = tree.Path(name);
    std::ofstream(path) << text;
    fs::permissions(path, perms);
    return path;
  };
  const auto exec = fs::perms::owner_all;
  const std::string marker = tree.Path("ran");
  const std::string withBlank = script("my tool", "#!/bin/sh\ntouch '" + marker + "'\n", exec);
  const std::string noShebang = script("notaprogram", "touch '" + marker + "'\n", exec);
  const std::string noLoader = script("noloader", "#!/no/such/interpreter\n", exec);
  const std::string notExecutable = script("plain", "#!/bin/sh\n", fs::perms::owner_read);

  struct Case {
    std::string line;
    bool starts;
    bool runs;  // leaves the marker behind
  } const cases[] = {
      {withBlank, true, true},                                        // a path with a blank, as it is
      {"sh -c 'touch \"" + marker + "\"'", true, true},               // a name on the search path, with arguments
      {noShebang, false, false},                                      // not a program: never handed to a shell
      {noLoader, false, false},                                       // its loader is missing
      {notExecutable, false, false},
      {"/no/such/program", false, false},
      {"", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    fs::remove(marker);
    EXPECT_EQ(platform::StartProgram(c.line), c.starts);
    if (c.runs) {
      EXPECT_TRUE(AppearsSoon(marker));
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(fs::exists(marker)) << "a refused file ran after all";
}

}  // namespace
}  // namespace vorn
