// The settings files as they land on disk, through the same update runs the
// dialog and the command line use; the upload is replaced by a recorder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/scripted_ui.h"
#include "netconf/net_conf.h"
#include "transfer/temp_files.h"

namespace vorn::netconf {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Upload {
  std::string target, path, content;
};

class NetFilesTest : public ::testing::Test {
 protected:
  NetConf MakeConf(const std::string& programFolder) {
    return NetConf(
        ui,
        [this](const std::string& target, const std::string& path) {
          uploads.push_back({target, path, ReadAll(path)});
          return true;
        },
        nullptr, [programFolder] { return platform::CompanionFolders{"", "", programFolder}; });
  }
  std::string Folder() const { return dir.path + "/"; }

  test::TempDir dir;
  test::ScriptedUi ui;
  std::vector<Upload> uploads;
};

AddressInput Static(const std::string& ip, const std::string& gateway, const std::string& dns, bool autoDns) {
  AddressInput in;
  in.autoDns = autoDns;
  SetAddressGroup(in, kIpGroup, ip);
  if (!gateway.empty()) SetAddressGroup(in, kGatewayGroup, gateway);
  if (!dns.empty()) SetAddressGroup(in, kPrimaryDnsGroup, dns);
  return in;
}

TEST_F(NetFilesTest, SocketCfgBytes) {
  const std::string head = "# Packet driver settings\r\n";
  const std::string iface = "interface pdr if0 dix 1500 10 0x60\r\n";
  const std::string tail =
      "\r\n# The following will cause SOCKETS to display IP status\r\n"
      "ip address\r\n\r\n"
      "# The following lines set TCP parameters\r\n"
      "ip ttl 64\r\ntcp mss 1460\r\ntcp window 2920\r\n";
  AddressInput dhcp = Static("1.2.3.4", "9.9.9.9", "8.8.8.8", false);
  dhcp.dhcp = true;  // the fields are ignored
  const struct {
    const char* name;
    AddressInput input;
    std::string middle;
  } cases[] = {
      {"dhcp", dhcp, "ip address 0.0.0.1\r\n" + iface},
      {"static, no gateway, automatic DNS", Static("192.168.0.5", "", "", true),
       "ip address 192.168.0.5\r\n" + iface + "route add default if0 0\r\n"},
      {"static with gateway and name server", Static("10.0.0.2", "10.0.0.1", "10.0.0.53", false),
       "ip address 10.0.0.2\r\n" + iface + "route add default if0 10.0.0.1\r\ndomain server 10.0.0.53\r\n"},
      {"fields as typed", Static("010.001.+5.1", "", "", true),
       "ip address 010.001.+5.1\r\n" + iface + "route add default if0 0\r\n"},
  };
  for (const auto& c : cases) {
    uploads.clear();
    NetConf conf = MakeConf(Folder());
    ASSERT_TRUE(conf.UpdateAddress(c.input)) << c.name;
    ASSERT_EQ(uploads.size(), 1u) << c.name;
    EXPECT_EQ(uploads[0].target, "D:\\CONF\\");
    EXPECT_EQ(uploads[0].path, Folder() + "SOCKET.CFG");
    EXPECT_EQ(uploads[0].content, head + c.middle + tail) << c.name;
  }
  EXPECT_EQ(ui.Texts("information"), std::vector<std::string>(4, "Update Successfully!"));
}

// What the dialog reads back: the file as written, split into lines the way
// the controller's `type` prints them.
TEST(SocketCfgRead, ParsesWhatTheWriterWrites) {
  const auto lines = [](const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l + "\r");
    return out;
  };
  AddressSettings dhcp;
  dhcp.staticIp = false;
  dhcp.IPText = kDhcpAddress;
  AddressSettings both{true, false, "10.0.0.2", "10.0.0.1", "10.0.0.53", "10.0.0.54", true};
  AddressSettings autoDns{true, true, "192.168.0.5", "192.168.0.1", "", "", false};
  for (const AddressSettings& a : {dhcp, both, autoDns}) {
    const auto parsed = ParseSocketCfg(lines(SocketCfgText(a)));
    ASSERT_TRUE(parsed) << a.IPText;
    EXPECT_EQ(parsed->staticIp, a.staticIp);
    EXPECT_EQ(parsed->autoDns, a.staticIp && a.autoDns);
    EXPECT_EQ(parsed->IPText + "|" + parsed->GatewayText + "|" + parsed->PrimaryDNSText + "|" + parsed->SecondaryDNSText,
              a.IPText + "|" + a.GatewayText + "|" + a.PrimaryDNSText + "|" + a.SecondaryDNSText);
  }
  // The shell's refusal, the status line's bare "ip address" and a malformed address are no settings.
  EXPECT_FALSE(ParseSocketCfg({"File not found"}));
  EXPECT_FALSE(ParseSocketCfg({"ip address", "ip address 10.0.0.300", "# ip address 1.2.3.4"}));
}

TEST_F(NetFilesTest, SocketUpwBytesAndMode) {
  UserInput none{"ftpuser", "pw1", "web", "pw2", {}, {}};
  UserInput all{"ftpuser", "pw1", "web", "pw2", {true, true, true, true}, {true, true, true, false}};
  UserInput some{"ftpuser", "pw1", "web", "pw2", {true, false, false, true}, {false, false, true, false}};
  const struct {
    UserInput input;
    std::string expected;
  } cases[] = {
      {none, "ftpuser pw1 WebRoot \r\n\r\nweb pw2 / "},
      {all, "ftpuser pw1 WebRoot dcwr\r\n\r\nweb pw2 / epg"},
      {some, "ftpuser pw1 WebRoot dr\r\n\r\nweb pw2 / g"},
  };
  // A link planted under the file's name is replaced, never written through.
  const std::string elsewhere = dir.File("elsewhere.txt", "not the user file");
#ifndef _WIN32
  std::filesystem::create_symlink(elsewhere, dir.path + "/SOCKET.UPW");
#endif
  for (const auto& c : cases) {
    uploads.clear();
    NetConf conf = MakeConf(Folder());
    ASSERT_TRUE(conf.UpdateUsers(c.input));
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].path, Folder() + "SOCKET.UPW");
    EXPECT_EQ(uploads[0].content, c.expected);
  }
#ifndef _WIN32
  struct stat st {};
  ASSERT_EQ(::lstat((dir.path + "/SOCKET.UPW").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0077, 0u);
#endif
  EXPECT_EQ(ReadAll(elsewhere), "not the user file");
  size_t files = 0;  // no temporary file stays behind
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path)) ++files;
  EXPECT_EQ(files, 2u);
}

TEST_F(NetFilesTest, RefusedInputOrFailedWriteUploadsNothing) {
  // A file of the same name from an earlier run must not be sent instead.
  NetConf unwritable = MakeConf(Folder() + "missing/");
  EXPECT_FALSE(unwritable.UpdateAddress(Static("10.0.0.2", "", "", true)));
  EXPECT_FALSE(unwritable.UpdateUsers({"a", "b", "c", "d", {}, {}}));
  const std::string cfg = Folder() + "missing/SOCKET.CFG";
  EXPECT_EQ(ui.Texts("error"), (std::vector<std::string>{WriteFailureText(cfg),
                                                         WriteFailureText(Folder() + "missing/SOCKET.UPW")}));
  EXPECT_NE(ui.Texts("error")[0].find(cfg), std::string::npos);

  ui.boxes.clear();
  NetConf conf = MakeConf(Folder());
  EXPECT_FALSE(conf.UpdateUsers({"ftp", "pass word", "web", "pw", {}, {}}));
  EXPECT_FALSE(conf.UpdateAddress(Static("10.0.0.256", "", "", true)));
  EXPECT_EQ(ui.Texts("error"), (std::vector<std::string>{kUnsafeUserText, "IP Address Illegal!"}));
  EXPECT_TRUE(uploads.empty());
  EXPECT_TRUE(ui.Texts("information").empty());
  EXPECT_FALSE(std::filesystem::exists(Folder() + "SOCKET.UPW"));
}

}  // namespace
}  // namespace vorn::netconf
