// The initialisation of drive D: without a window: on the virtual controller
// from start to end, and its command exchange on a scripted port.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "app/scripted_ui.h"
#include "netconf/net_conf.h"
#include "sim/virtual_controller.h"
#include "transfer/scripted_port.h"
#include "transfer/temp_files.h"
#include "transfer/upload_loop.h"

namespace vorn::netconf {
namespace {

namespace fs = std::filesystem;

class NoCursor : public BusyCursor {
 public:
  void SetBusy() override { ++busy; }
  void Restore() override { --busy; }
  int busy = 0;
};

// The pane lines that start an upload into a controller folder, in order.
std::vector<std::string> TransfersInto(const std::vector<std::string>& lines, const std::string& folder) {
  const std::string prefix = "C:\\transfer /R " + folder;
  std::vector<std::string> out;
  for (const std::string& l : lines)
    if (l.rfind(prefix, 0) == 0 && l.find('\\', prefix.size()) == std::string::npos) out.push_back(l.substr(prefix.size()));
  return out;
}

struct InitCase {
  const char* name;
  ServerChoice servers;
  const char* missing;     // a default file or server left out of the installation
  const char* failedSend;  // a file whose upload fails on the line
  bool ok;
  std::vector<std::string> rootFiles, confFiles, webRootFiles;
  std::vector<std::string> errors;  // besides the refusal that names a missing file
};

void PrintTo(const InitCase& c, std::ostream* os) { *os << c.name; }

// Each case formats and fills a whole drive at the line's pace: one test
// each, so that they run side by side.
class SystemInitOnTheVirtualController : public ::testing::TestWithParam<InitCase> {};

const InitCase kInitCases[] = {
    {"no servers", {}, nullptr, nullptr, true,
     {"autorun.bat", "AX8796.COM", "CFGIO.EXE", "SOCKETP.EXE"}, {"SOCKET.UPW", "SOCKET.CFG"}, {}, {}},
    {"all three servers in order", {true, true, true}, nullptr, nullptr, true,
     {"autorun.bat", "AX8796.COM", "CFGIO.EXE", "SOCKETP.EXE"}, {"SOCKET.UPW", "SOCKET.CFG"},
     {"httpftpd.exe", "ftpd.exe", "httpd.exe"}, {}},
    // A file missing from the installation is found before the drive is formatted.
    {"a missing default file leaves the drive as it was", {true, false, false},
     "Drive_D/Default_files/CONF/SOCKET.CFG", nullptr, false, {}, {}, {}, {}},
    {"a missing chosen server leaves the drive as it was", {false, true, false},
     "Drive_D/Extension_files/WebRoot/ftpd.exe", nullptr, false, {}, {}, {}, {}},
    {"a failed default file stops the run", {true, false, false}, nullptr, "SOCKET.CFG", false,
     {}, {"SOCKET.UPW"}, {}, {TransferFailureText("SOCKET.CFG"), kInitFailedText}},
    {"a failed server does not stop the others", {true, true, true}, nullptr, "ftpd.exe", false,
     {"autorun.bat", "AX8796.COM", "CFGIO.EXE", "SOCKETP.EXE"}, {"SOCKET.UPW", "SOCKET.CFG"},
     {"httpftpd.exe", "httpd.exe"}, {TransferFailureText("ftpd.exe"), kInitFailedText}},
};

TEST_P(SystemInitOnTheVirtualController, InstallsWhatIsThereAndReportsWhatIsNot) {
  const InitCase& c = GetParam();
  test::TempDir source;
  fs::copy(VORN_TEST_SOURCE_DIR, source.path, fs::copy_options::recursive);
  if (c.missing) fs::remove(fs::path(source.path) / c.missing);

  vsim::VirtualController sim;
  ASSERT_TRUE(sim.Start());
  ASSERT_TRUE(sim.WriteFile("D:\\OLD.TXT", "left from before"));
  test::RecordingPane pane;
  NoCursor cursor;
  test::ScriptedUi ui;
  Exchange link(pane, cursor, ui);
  link.ComName = sim.PortPath();
  // A send that breaks off on the line, as the transfer reports it.
  Uploader upload = [&, real = PortUploader(link)](const std::string& dir, const std::string& hostPath) {
    if (c.failedSend && fs::path(hostPath).filename() == c.failedSend) {
      ui.Error(TransferFailureText(c.failedSend));
      return false;
    }
    return real(dir, hostPath);
  };
  NetConf conf(ui, upload, PortCommandRunner(link),
               [&] { return platform::CompanionFolders{"", source.path + "/", source.path + "/"}; });

  EXPECT_EQ(conf.SystemInit(c.servers), c.ok);
  EXPECT_FALSE(conf.InitRunning);
  EXPECT_EQ(cursor.busy, 0);
  std::vector<std::string> errors = c.errors;
  if (c.missing)
    errors.insert(errors.begin(), std::string(kInitNotStartedText) + "\n'" +
                                      source.path + "/" + c.missing +
                                      "' does not exist");
  EXPECT_EQ(ui.Texts("error"), errors);
  // No "Update Successfully!" for the single files of the run.
  EXPECT_EQ(ui.Texts("information"),
            c.ok ? std::vector<std::string>{kInitDoneText} : std::vector<std::string>{});
  EXPECT_EQ(TransfersInto(pane.lines, "D:\\"), c.rootFiles);
  EXPECT_EQ(TransfersInto(pane.lines, "D:\\CONF\\"), c.confFiles);
  EXPECT_EQ(TransfersInto(pane.lines, "D:\\WebRoot\\"), c.webRootFiles);

  if (c.missing) {
    // Nothing was typed: the old drive is still there.
    EXPECT_TRUE(pane.lines.empty());
    EXPECT_TRUE(sim.Exists("D:\\OLD.TXT"));
    EXPECT_FALSE(sim.Exists("D:\\WEBROOT"));
    return;
  }
  EXPECT_FALSE(sim.Exists("D:\\OLD.TXT"));
  EXPECT_TRUE(sim.Exists("D:\\WEBROOT"));
  EXPECT_TRUE(sim.Exists("D:\\CONF\\SOCKET.UPW"));
  EXPECT_EQ(sim.Exists("D:\\AUTORUN.BAT"), !c.rootFiles.empty());
  for (const char* server : {"httpftpd.exe", "ftpd.exe", "httpd.exe"}) {
    const bool sent = std::find(c.webRootFiles.begin(), c.webRootFiles.end(), server) != c.webRootFiles.end();
    EXPECT_EQ(sim.Exists("D:\\WebRoot\\" + std::string(server)), sent) << server;
  }
}
INSTANTIATE_TEST_SUITE_P(Cases, SystemInitOnTheVirtualController, ::testing::ValuesIn(kInitCases),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& ch : name) if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

// The listing that ends the steps decides whether the files are sent: a
// refused format or folder leaves the old drive, which is not to be filled.
TEST(SystemInitTest, SendsTheFilesOnlyOntoAFreshRoot) {
  const auto dir = [](const char* name, const char* ext, bool folder) {
    char line[80];
    std::snprintf(line, sizeof line, folder ? "\n%-8s %-3s <DIR>         07-01-98   8:00a\r"
                                            : "\n%-8s %-3s            33 03-14-96   9:12a\r",
                  name, ext);
    return std::string(line);
  };
  const struct {
    const char* name;
    std::vector<std::string> root;
    std::string why;  // after the failure text; empty: the run goes on
  } cases[] = {
      {"fresh", {dir("CONF", "", true), dir("WEBROOT", "", true)}, ""},
      {"format refused", {dir("CONF", "", true), dir("WEBROOT", "", true), dir("OLD", "TXT", false)},
       "Drive D: was not formatted: it still holds OLD.TXT."},
      {"folder refused", {dir("CONF", "", true)}, "The folder WebRoot was not made on drive D:."},
  };
  for (const auto& c : cases) {
    test::ScriptedUi ui;
    int sent = 0;
    NetConf conf(
        ui, [&](const std::string&, const std::string&) { return ++sent > 0; },
        [&](const std::string& command, uint32_t, uint32_t, std::vector<std::string>* printed) {
          if (printed)
            *printed = command == "dir\r"   ? c.root
                       : command == "ver\r" ? std::vector<std::string>{"\nVORN-7730 virtual controller\r"}
                                             : std::vector<std::string>{};
          return true;
        },
        [] { return platform::CompanionFolders{"", VORN_TEST_SOURCE_DIR "/", VORN_TEST_SOURCE_DIR "/"}; });
    EXPECT_EQ(conf.SystemInit({}), c.why.empty()) << c.name;
    EXPECT_EQ(sent, c.why.empty() ? 6 : 0) << c.name;
    EXPECT_EQ(ui.Texts("error"), c.why.empty() ? std::vector<std::string>{}
                                               : std::vector<std::string>{std::string(kInitFailedText) + "\n\n" + c.why})
        << c.name;
  }
}

// A port whose shell echoes each character and then plays the script.
struct EchoingPort : test::ScriptedPort {
  EchoingPort() {
    onWrite = [this](const std::vector<uint8_t>& bytes) {
      for (uint8_t b : bytes) {
        PushByte(wrongEcho ? uint8_t(b ^ 1) : b);
        if (b == '\r') Push(after);
      }
    };
  }
  std::string after;
  bool wrongEcho = false;
};

TEST(SystemInitTest, CommandUsesItsTimeOutLineEndAndPromptLimit) {
  EchoingPort port;
  // Two output lines, a pause, a late line that the one extra read takes, and
  // one more that comes after the prompt wait has given up.
  port.after = "Formatting\r 10 percent\r";
  test::RecordingPane pane;
  NoCursor cursor;
  test::ScriptedUi ui;
  Exchange link(pane, cursor, ui, [&](const std::string&) { return std::make_unique<test::BorrowedPort>(port); });
  link.ComName = "COM1";
  const std::string command = "C:\\DLFMT D: /C\r";
  port.onWrite = [&, inner = port.onWrite](const std::vector<uint8_t>& bytes) {
    inner(bytes);
    if (bytes.back() == '\r') {
      port.PushTimeout();
      port.Push("late\r");
      port.PushTimeout();
      port.Push("too late\r");
    }
  };
  ASSERT_TRUE(RunInitCommand(link, command, 1000, 1000));
  EXPECT_EQ(port.timeout, 1000u);
  EXPECT_EQ(port.LineEnd, 13);
  EXPECT_EQ(pane.lines, (std::vector<std::string>{"C:\\DLFMT D: /C", "Formatting", " 10 percent", "late"}));
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(cursor.busy, 0);

  // A broken echo names the command with its carriage return.
  port.wrongEcho = true;
  EXPECT_FALSE(RunInitCommand(link, "D:\r", 100, 100));
  EXPECT_EQ(ui.Texts("error"), std::vector<std::string>{SendFailureText("D:\r")});
}

}  // namespace
}  // namespace vorn::netconf
