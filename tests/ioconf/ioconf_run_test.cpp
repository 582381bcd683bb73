// The configuration run against the virtual controller, with the dialog
// replaced by a scripted editor.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "app/scripted_ui.h"
#include "ioconf/ioconf_run.h"
#include "ioconf/module_catalogue.h"
#include "link/serial_port.h"
#include "sim/virtual_controller.h"
#include "transfer/scripted_port.h"

namespace vorn::test {
namespace {

class CountingCursor : public BusyCursor {
 public:
  void SetBusy() override { ++depth; }
  void Restore() override { --depth; }
  int depth = 0;
};

class ScriptedEditor : public IOConfEditor {
 public:
  bool Edit(IOConfig& config) override {
    ++shown;
    seen = config;
    return edit ? edit(config) : false;
  }
  std::function<bool(IOConfig&)> edit;
  int shown = 0;
  IOConfig seen;
};

// A port whose writes all fail: a command that cannot be typed.
class DeafPort : public BorrowedPort {
 public:
  explicit DeafPort(std::unique_ptr<Port> inner) : BorrowedPort(*inner), owned_(std::move(inner)) {}
  bool Write(const uint8_t*, size_t) override { return false; }

 private:
  std::unique_ptr<Port> owned_;
};

// A port that hears nothing more once the apply command's echo came back: an
// answer that never reaches the prompt.
class MuteAfterApplyPort : public BorrowedPort {
 public:
  explicit MuteAfterApplyPort(std::unique_ptr<Port> inner) : BorrowedPort(*inner), owned_(std::move(inner)) {}
  using Port::Write;
  bool Write(const uint8_t* bytes, size_t count) override {
    for (size_t i = 0; i < count; ++i) {
      typed_ += static_cast<char>(bytes[i]);
      if (bytes[i] == '\r') {
        armed_ = typed_ == "C:\\cfgio\r";
        typed_.clear();
      }
    }
    return BorrowedPort::Write(bytes, count);
  }
  bool ReadExact(uint8_t* buffer, size_t count) override {
    if (muted_) return false;
    const bool ok = BorrowedPort::ReadExact(buffer, count);
    muted_ = armed_;
    return ok;
  }
  bool ReadLine(size_t maxLen, std::string& text) override {
    text.clear();
    return !muted_ && BorrowedPort::ReadLine(maxLen, text);
  }

 private:
  std::unique_ptr<Port> owned_;
  std::string typed_;
  bool armed_ = false, muted_ = false;
};

// Chooses a range by its text on slot n's first combo, as a user would.
bool Choose(IOConfig& config, int n, const std::string& text) {
  SlotPage page = ShowSlot(config.Slots[n]);
  const auto& items = page.Combos[0].Items;
  const auto it = std::find(items.begin(), items.end(), text);
  if (it == items.end()) return false;
  page.Combos[0].Selected = static_cast<int>(it - items.begin());
  StoreSlot(config.Slots[n], page);
  return true;
}

std::string FileText(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

class IOConfRunTest : public ::testing::Test {
 protected:
  void Start(vsim::Options options = {}) {
    sim = std::make_unique<vsim::VirtualController>(options);
    std::string error;
    ASSERT_TRUE(sim->Start(&error)) << error;
    exchange.ComName = sim->PortPath();
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  IOConfRun MakeRun() {
    IOConfRun run(exchange, gui, configPath);
    run.TimeoutMs = 200;  // the virtual controller answers at once
    return run;
  }
  // What a fresh run reads from the controller now.
  IOConfig ReadBack() {
    IOConfRun run = MakeRun();
    run.Probe();
    IOConfig config;
    EXPECT_TRUE(run.Read(config)) << run.ErrorMessage;
    return config;
  }
  // The command lines the controller received, in order.
  std::vector<std::string> Commands() const {
    std::vector<std::string> lines;
    std::string line;
    for (char c : sim->Received()) {
      if (c == '\r') {
        if (line.find("cfgio") != std::string::npos || line.rfind("del ", 0) == 0 ||
            line.find("transfer") != std::string::npos)
          lines.push_back(line);
        line.clear();
      } else if (c >= ' ' && c < 127) {
        line += c;
      } else {
        line.clear();  // upload bytes end in EOT before the next command
      }
    }
    return lines;
  }

  std::string dir = (std::filesystem::temp_directory_path() / ("vorn-ioconf-run-" + std::to_string(std::random_device()()))).string();
  std::string configPath = (std::filesystem::create_directories(dir), dir + "/V7730MIO.cfg");
  std::unique_ptr<vsim::VirtualController> sim;
  ScriptedUi ui;
  RecordingPane pane;
  CountingCursor cursor;
  PortFactory factory = HostPortFactory();
  Exchange exchange{pane, cursor, ui, [this](const std::string& name) { return factory(name); }};
  DirectInvoker gui;
  ScriptedEditor editor;
};

TEST_F(IOConfRunTest, FullRunAppliesTheChangedRangeAndTheNextReadShowsIt) {
  Start();
  IOConfig before = ReadBack();
  ASSERT_EQ(before.Slots[0].Type, 4);
  ASSERT_EQ(before.Slots[0].Range[0], 9);
  sim->ClearReceived();

  IOConfig edited;
  editor.edit = [&](IOConfig& c) {
    EXPECT_TRUE(Choose(c, 0, "+/- 150 mV"));
    edited = c;
    return true;
  };
  IOConfRun run = MakeRun();
  EXPECT_EQ(run.Run(editor), IOConfOutcome::Applied);
  EXPECT_TRUE(ui.boxes.empty()) << ui.LastError();
  EXPECT_TRUE(editor.seen.EightSlots);
  EXPECT_EQ(FileText(configPath), IOConfigText(edited));
  EXPECT_EQ(Commands(), (std::vector<std::string>{"C:\\cfgio 1 1", "C:\\cfgio 1", "C:\\transfer /R D:\\vornio.cfg",
                                                 "C:\\cfgio", "del D:\\vornio.cfg"}));
  EXPECT_FALSE(sim->Exists("D:\\VORNIO.CFG"));
  EXPECT_EQ(cursor.depth, 0);
  // The pane holds the printout, the sender's lines and the tool's report.
  EXPECT_NE(std::find(pane.lines.begin(), pane.lines.end(), "@VORN7730MIOCFG-END -1 -1 -1"), pane.lines.end());
  EXPECT_NE(std::find(pane.lines.begin(), pane.lines.end(), "<<Get ACK for EOT>>"), pane.lines.end());

  IOConfig after = ReadBack();
  EXPECT_EQ(after.Slots[0].Range, (std::array<int32_t, 8>{12, 12, 12, 12, 12, 12, 12, 12}));
  after.Slots[0] = before.Slots[0];
  EXPECT_EQ(IOConfigText(after), IOConfigText(before));
}

// Where the tool lives and how many slots the controller has decide the
// drive of every command and the tabs the dialog shows.
TEST_F(IOConfRunTest, ProbeFindsTheDriveAndTheSlotCount) {
  struct Case {
    const char* name;
    bool onD, fourSlots;
  } cases[] = {{"tool only on D:", true, false}, {"four slots", false, true}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    vsim::Options options;
    options.cfgioOnDriveD = k.onD;
    options.fourSlots = k.fourSlots;
    Start(options);
    editor.edit = [](IOConfig& c) { return Choose(c, 0, "   4~20 mA"); };
    IOConfRun run = MakeRun();
    EXPECT_EQ(run.Run(editor), IOConfOutcome::Applied);
    EXPECT_TRUE(ui.boxes.empty()) << ui.LastError();
    EXPECT_EQ(editor.seen.EightSlots, !k.fourSlots);
    const std::string d = k.onD ? "D:" : "C:";
    std::vector<std::string> expected{"C:\\cfgio 1 1"};
    if (k.onD) expected.push_back("D:\\cfgio 1 1");
    for (std::string c : {d + "\\cfgio 1", std::string("C:\\transfer /R D:\\vornio.cfg"), d + "\\cfgio",
                          std::string("del D:\\vornio.cfg")})
      expected.push_back(c);
    EXPECT_EQ(Commands(), expected);
    EXPECT_EQ(ReadBack().Slots[0].Range[0], 7);
  }
}

// A probe that cannot be typed leaves drive C: and four slots; Cancel then
// leaves the controller and the local file as they were.
TEST_F(IOConfRunTest, UnsentProbeStillReadsAndCancelChangesNothing) {
  Start();
  std::ofstream(configPath) << "from an earlier run\n";
  int ports = 0;
  factory = [&](const std::string& name) -> std::unique_ptr<Port> {
    auto port = std::make_unique<SerialPort>(name);
    if (ports++ == 0) return std::make_unique<DeafPort>(std::move(port));
    return port;
  };
  editor.edit = [](IOConfig& c) {
    Choose(c, 0, "+/-  10  V");
    return false;
  };
  IOConfRun run = MakeRun();
  EXPECT_EQ(run.Run(editor), IOConfOutcome::Cancelled);
  EXPECT_EQ(editor.shown, 1);
  EXPECT_FALSE(editor.seen.EightSlots);
  EXPECT_EQ(editor.seen.Slots[0].Type, 4);
  EXPECT_TRUE(ui.boxes.empty()) << ui.LastError();
  EXPECT_EQ(FileText(configPath), "from an earlier run\n");
  EXPECT_EQ(Commands(), (std::vector<std::string>{"C:\\cfgio 1"}));
  EXPECT_EQ(ReadBack().Slots[0].Range[0], 9);
}

TEST_F(IOConfRunTest, FailedUploadNeitherAppliesNorDeletes) {
  vsim::Options options;
  options.transfer = vsim::TransferMode::CanAfterFirstBlock;
  Start(options);
  editor.edit = [](IOConfig& c) { return Choose(c, 0, "+/-  10  V"); };
  IOConfRun run = MakeRun();
  EXPECT_EQ(run.Run(editor), IOConfOutcome::Failed);
  EXPECT_EQ(ui.Texts("error"),
            (std::vector<std::string>{"Failed to transfer configuration!\nTransfer cancelled by the receiver"}));
  const auto commands = Commands();
  EXPECT_EQ(commands.back(), "C:\\transfer /R D:\\vornio.cfg");
  EXPECT_EQ(cursor.depth, 0);
}

// A printout without its trailer must not reach the dialog: OK would write
// back eight slots of which most were never read.
TEST_F(IOConfRunTest, CutPrintoutIsRefusedBeforeTheDialog) {
  vsim::Options options;
  options.cfgioCutOff = true;
  Start(options);
  editor.edit = [](IOConfig&) { return true; };
  IOConfRun run = MakeRun();
  EXPECT_EQ(run.Run(editor), IOConfOutcome::Failed);
  EXPECT_EQ(editor.shown, 0);
  EXPECT_EQ(ui.Texts("error"), (std::vector<std::string>{kReadFailureText}));
  EXPECT_FALSE(std::filesystem::exists(configPath));
  EXPECT_EQ(Commands(), (std::vector<std::string>{"C:\\cfgio 1 1", "C:\\cfgio 1"}));
}


// The command line trusts the apply only when the tool's answer refuses
// nothing and ends at the prompt; the device copy goes in every case.
TEST_F(IOConfRunTest, CheckedApplyFailsOnARefusalOrAMissingPrompt) {
  struct Case {
    const char* name;
    int32_t slot0Type;  // the controller holds type 4 there
    bool noPrompt;
    const char* error;
  } cases[] = {
      {"a slot of another type", 5, false, "The controller did not apply the configuration: CFGIO: slot 0"},
      {"no prompt after the answer", 4, true, kNoPromptText},
  };
  Start();
  const IOConfig read = ReadBack();
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ui.boxes.clear();
    IOConfig config = read;
    config.Slots[0].Type = k.slot0Type;
    ASSERT_TRUE(CreateIOConfig(config, configPath));
    IOConfRun run = MakeRun();
    run.CheckAnswer = true;
    run.Probe();
    ASSERT_TRUE(run.Upload(configPath));
    if (k.noPrompt)
      factory = [](const std::string& name) { return std::make_unique<MuteAfterApplyPort>(std::make_unique<SerialPort>(name)); };
    EXPECT_FALSE(run.Apply());
    const auto errors = ui.Texts("error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind(k.error, 0), 0u) << errors[0];
    EXPECT_EQ(Commands().back(), "del D:\\vornio.cfg");
  }
}

}  // namespace
}  // namespace vorn::test
