// The slot table's text: what the writer produces and what the reader takes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "ioconf/io_config.h"

namespace vorn {
namespace {

// Slot 0 an output module with four ranges, the rest empty.
IOConfig WorkedExample() {
  IOConfig c;
  c.NodeID = 3;
  c.Slots[0].Type = 24;
  c.Slots[0].Count = 4;
  c.Slots[0].Range = {48, 49, 50, 48, -1, -1, -1, -1};
  return c;
}

std::string EmptyBlocks(int from) {
  std::string text;
  for (int n = from; n < 8; ++n)
    text += "@SLOT" + std::to_string(n) + " 99 -1 -1\n@SLOT" + std::to_string(n) + " -1 -1 -1\n";
  return text;
}

IOConfig Parsed(const std::string& text, IOConfig config = {}) {
  IOConfigReader reader(config);
  reader.Text(text);
  return config;
}

TEST(IOConfigWriter, WritesTheLinesOfEachSlotKind) {
  struct Case {
    const char* name;
    std::function<void(IOConfig&)> setup;
    std::string expected;
  } cases[] = {
      {"worked example", [](IOConfig& c) { c = WorkedExample(); },
       "@VORN7730MIOCFG-START 003 -1 -1\n@SLOT0 24 04 -1\n0 48 -1 -1\n1 49 -1 -1\n2 50 -1 -1\n3 48 -1 -1\n"
       "@SLOT0 -1 -1 -1\n" + EmptyBlocks(1) + "@VORN7730MIOCFG-END -1 -1 -1\n"},
      {"all empty", [](IOConfig&) {},
       "@VORN7730MIOCFG-START 000 -1 -1\n" + EmptyBlocks(0) + "@VORN7730MIOCFG-END -1 -1 -1\n"},
      {"ranged, count -1", [](IOConfig& c) { c.Slots[7] = {4, -1, {9, 9, 9, 9, 9, 9, 9, 9}}; },
       "@SLOT7 04 -1 -1\n@SLOT7 -1 -1 -1\n"},
      {"ranged, count 0", [](IOConfig& c) { c.Slots[7] = {12, 0, {1, 1, 1, 1, 1, 1, 1, 1}}; },
       "@SLOT7 12 00 -1\n@SLOT7 -1 -1 -1\n"},
      {"ranged, count 9", [](IOConfig& c) { c.Slots[7] = {23, 9, {7, 7, 7, 7, 7, 7, 7, 7}}; },
       "@SLOT7 23 09 -1\n@SLOT7 -1 -1 -1\n"},
      {"not ranged, with a count", [](IOConfig& c) { c.Slots[7] = {16, 16, {1, 1, 1, 1, 1, 1, 1, 1}}; },
       "@SLOT7 16 16 -1\n@SLOT7 -1 -1 -1\n"},
      {"unset range codes", [](IOConfig& c) { c.Slots[7] = {9, 2, {-1, 5, -1, -1, -1, -1, -1, -1}}; },
       "@SLOT7 09 02 -1\n0 -1 -1 -1\n1 05 -1 -1\n@SLOT7 -1 -1 -1\n"},
      {"node 255", [](IOConfig& c) { c.NodeID = 255; }, "@VORN7730MIOCFG-START 255 -1 -1\n"},
      {"node 1000", [](IOConfig& c) { c.NodeID = 1000; }, "@VORN7730MIOCFG-START 1000 -1 -1\n"},
      {"node -1", [](IOConfig& c) { c.NodeID = -1; }, "@VORN7730MIOCFG-START -01 -1 -1\n"},
  };
  for (const Case& k : cases) {
    IOConfig config;
    k.setup(config);
    const std::string text = IOConfigText(config);
    EXPECT_NE(text.find(k.expected), std::string::npos) << k.name << ":\n" << text;
    EXPECT_EQ(text.find('\r'), std::string::npos) << k.name;
  }
  const auto lines = [](const IOConfig& c) {
    const std::string text = IOConfigText(c);
    return std::count(text.begin(), text.end(), '\n');
  };
  EXPECT_EQ(lines(WorkedExample()), 22);
  EXPECT_EQ(lines(IOConfig{}), 18);
}

TEST(IOConfigWriter, CreatesTheFileByteForByteOrReportsItCannot) {
  const auto dir = std::filesystem::temp_directory_path() / ("vorn-ioconf-" + std::to_string(std::random_device()()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "V7730MIO.cfg").string();
  std::ofstream(path) << "an older and much longer configuration file than the new one\n";
  ASSERT_TRUE(CreateIOConfig(WorkedExample(), path));
  std::stringstream content;
  content << std::ifstream(path, std::ios::binary).rdbuf();
  EXPECT_EQ(content.str(), IOConfigText(WorkedExample()));
  EXPECT_FALSE(CreateIOConfig(WorkedExample(), (dir / "missing" / "V7730MIO.cfg").string()));
#ifdef __linux__
  // A device is never replaced by a file, whoever runs this.
  EXPECT_FALSE(CreateIOConfig(WorkedExample(), "/dev/full"));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
#endif
  std::filesystem::remove_all(dir);
}

TEST(IOConfigReader, ReadsWhatTheControllerPrintsWithCrLf) {
  std::string printed;
  for (char c : IOConfigText(WorkedExample())) printed += c == '\n' ? std::string("\r\n") : std::string(1, c);
  IOConfig config;
  IOConfigReader reader(config);
  reader.Text(printed);
  EXPECT_TRUE(reader.Complete());
  EXPECT_EQ(IOConfigText(config), IOConfigText(WorkedExample()));
}

TEST(IOConfigReader, TakesFieldsFromFixedPositionsWithDefaults) {
  const std::string head = "@VORN7730MIOCFG-START 001 -1 -1\n";
  struct Case {
    const char* name;
    std::string text;
    std::function<void(const IOConfig&)> check;
  } cases[] = {
      {"unreadable type is an empty slot", head + "@SLOT2 x4 08 -1\n0 09 -1 -1\n@SLOT2 -1 -1 -1\n",
       [](const IOConfig& c) {
         EXPECT_EQ(c.Slots[2].Type, 99);
         EXPECT_EQ(c.Slots[2].Count, 8);
       }},
      {"without closing lines every second slot is lost",
       head + "@SLOT0 04 08 -1\n0 09 -1 -1\n@SLOT1 05 07 -1\n0 15 -1 -1\n@SLOT2 12 08 -1\n0 03 -1 -1\n",
       [](const IOConfig& c) {
         EXPECT_EQ(c.Slots[0].Range[0], 9);
         EXPECT_EQ(c.Slots[1].Type, 99);
         EXPECT_EQ(c.Slots[2].Type, 12);
         EXPECT_EQ(c.Slots[2].Range[0], 3);
       }},
      {"slot 8 and a non-digit slot open ignored blocks",
       head + "@SLOT8 04 08 -1\n0 09 -1 -1\n@SLOT8 -1 -1 -1\n@SLOTx 04 08 -1\n1 09 -1 -1\n@SLOTx -1 -1 -1\n"
              "@SLOT0 05 07 -1\n@SLOT0 -1 -1 -1\n",
       [](const IOConfig& c) {
         for (int n = 1; n < 8; ++n) EXPECT_EQ(c.Slots[n].Type, 99) << n;
         EXPECT_EQ(c.Slots[0].Range[0], -1);
         EXPECT_EQ(c.Slots[0].Range[1], -1);
         EXPECT_EQ(c.Slots[0].Type, 5);
       }},
      {"a line of 9 characters is ignored", head + "@SLOT3 04 08 -1\n0 09 -1\r\n1 09 -1 -1\n@SLOT3 -1 -1 -1\n",
       [](const IOConfig& c) {
         EXPECT_EQ(c.Slots[3].Range[0], -1);
         EXPECT_EQ(c.Slots[3].Range[1], 9);
       }},
      {"channel 8 and a short channel line", head + "@SLOT1 12 08 -1\n8 05 -1 -1\n3 5\n",
       [](const IOConfig& c) {
         EXPECT_EQ(c.Slots[1].Range, (std::array<int32_t, 8>{-1, -1, -1, -1, -1, -1, -1, -1}));
       }},
      {"node 1000 reads as its first three digits", "@VORN7730MIOCFG-START 1000 -1 -1\n",
       [](const IOConfig& c) { EXPECT_EQ(c.NodeID, 100); }},
      {"node 255 and an unreadable node", "@VORN7730MIOCFG-START 255 -1 -1\n@VORN7730MIOCFG-START x -1 -1\n",
       [](const IOConfig& c) { EXPECT_EQ(c.NodeID, -1); }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    k.check(Parsed(k.text));
  }
  EXPECT_EQ(Parsed("@VORN7730MIOCFG-START 255 -1 -1\n").NodeID, 255);
}

TEST(IOConfigReader, NeverClearsAndTellsAWholePrintoutFromAPart) {
  // A second printout that names only slot 0 leaves slot 2 as the first one set it.
  IOConfig config = Parsed(IOConfigText(WorkedExample()));
  config.Slots[2] = {16, 16, {}};
  config = Parsed("@VORN7730MIOCFG-START 004 -1 -1\n@SLOT0 04 01 -1\n0 12 -1 -1\n@SLOT0 -1 -1 -1\n", config);
  EXPECT_EQ(config.NodeID, 4);
  EXPECT_EQ(config.Slots[0].Range[0], 12);
  EXPECT_EQ(config.Slots[0].Range[1], 49);
  EXPECT_EQ(config.Slots[2].Type, 16);

  const std::string whole = IOConfigText(WorkedExample());
  const std::string trailer = "@VORN7730MIOCFG-END -1 -1 -1\n";
  struct Case {
    const char* name;
    std::string text;
    bool complete;
  } cases[] = {
      {"whole", whole, true},
      {"cut before the trailer", whole.substr(0, whole.size() - trailer.size()), false},
      {"no header", whole.substr(whole.find('\n') + 1), false},
      {"an error instead", "Bad command or file name\r\n", false},
      {"nothing", "", false},
      {"a header after the trailer", whole + "@VORN7730MIOCFG-START 003 -1 -1\n", false},
      {"a closing line damaged", [&] {
         std::string t = whole;
         t[t.find("@SLOT0 -1")] = '#';
         return t;
       }(), false},
      {"a node that is no number", [&] {
         std::string t = whole;
         t[23] = '!';
         return t;
       }(), false},
      {"a type that is no number", [&] {
         std::string t = whole;
         t[t.find("@SLOT0 ") + 8] = 'x';
         return t;
       }(), false},
      {"an opening line without its tag", [&] {
         std::string t = whole;
         t[t.find("@SLOT0 ") + 1] = 's';
         return t;
       }(), false},
      {"a channel line lost", [&] {
         std::string t = whole;
         const size_t at = t.find("\n1 ") + 1;
         return t.erase(at, t.find('\n', at) + 1 - at);
       }(), false},
      {"a count read smaller than the lines", [&] {
         std::string t = whole;
         t[t.find("@SLOT0 24 04") + 11] = '2';
         return t;
       }(), false},
      {"a range that is no number", [&] {
         std::string t = whole;
         t[t.find("\n1 ") + 4] = '?';
         return t;
       }(), false},
  };
  for (const Case& k : cases) {
    IOConfig c;
    IOConfigReader reader(c);
    reader.Text(k.text);
    EXPECT_EQ(reader.Complete(), k.complete) << k.name;
  }
}


// A file handed to the command line must be whole: the controller ignores a
// file it cannot read, or applies part of it, and says so only in words.
TEST(IOConfigFile, TakesOnlyWhatTheWriterWrites) {
  const std::string whole = IOConfigText(WorkedExample());
  const std::string head = "@VORN7730MIOCFG-START 003 -1 -1\n";
  const std::string trailer = "@VORN7730MIOCFG-END -1 -1 -1\n";
  const auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = whole;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  std::string crlf;
  for (char c : whole) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  struct Case {
    const char* name;
    std::string text;
    const char* problem;  // nullptr: taken
  } cases[] = {
      {"as written", whole, nullptr},
      {"CR LF and blank lines at the end", crlf + "\r\n\n", nullptr},
      {"header and trailer only", head + trailer, "line 2: slot 0's block should open"},
      {"slot 7 missing", replaced("@SLOT7 99 -1 -1\n@SLOT7 -1 -1 -1\n", ""), "line 20: slot 7's block should open"},
      {"an extra slot 9", replaced(trailer, "@SLOT9 99 -1 -1\n@SLOT9 -1 -1 -1\n" + trailer), "line 22: the trailer"},
      {"a relabelled slot", replaced("@SLOT3 99 -1 -1\n@SLOT3", "@SLOT5 99 -1 -1\n@SLOT5"), "line 12: slot 3's block"},
      {"junk after the trailer", whole + "junk\n", "line 23: nothing may follow"},
      {"a channel line missing", replaced("3 48 -1 -1\n", ""), "line 6: slot 0 needs the line of channel 3"},
      {"channels out of order", replaced("1 49", "2 49"), "line 4: slot 0 needs the line of channel 1"},
      {"an unreadable type", replaced("@SLOT0 24", "@SLOT0 x4"), "line 2: slot 0's module type"},
      {"an unreadable range", replaced("0 48", "0 4x"), "line 3: slot 0 needs the line of channel 0"},
      {"a range of three digits", replaced("0 48", "0 480"), "line 3: slot 0 needs the line of channel 0"},
      {"a channel line in an empty slot", replaced("@SLOT1 99 -1 -1\n", "@SLOT1 99 -1 -1\n0 05 -1 -1\n"),
       "line 9: slot 1's block should close"},
      {"no header", whole.substr(whole.find('\n') + 1), "line 1: the header"},
      {"empty", "", "line 1: the header"},
  };
  for (const Case& k : cases) {
    IOConfig config;
    config.Slots[5].Type = 16;  // kept unless the whole file is taken
    const std::string problem = ParseIOConfigFile(k.text, config);
    if (!k.problem) {
      EXPECT_EQ(problem, "") << k.name;
      EXPECT_EQ(IOConfigText(config), whole) << k.name;
    } else {
      EXPECT_EQ(problem.rfind(k.problem, 0), 0u) << k.name << ": " << problem;
      EXPECT_EQ(config.Slots[5].Type, 16) << k.name;
    }
  }
}

}  // namespace
}  // namespace vorn
