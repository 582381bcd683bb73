// What the network dialog accepts, grouped by behaviour.
#include <gtest/gtest.h>

#include "app/scripted_ui.h"
#include "netconf/address_check.h"

namespace vorn::netconf {
namespace {

TEST(AddressKeyTest, DotMovesOnWithinAGroupAndOnlyNumberCharactersPass) {
  const struct {
    int tag;
    char key;
    KeyAction action;
  } cases[] = {
      {1, '.', KeyAction::NextField}, {3, '.', KeyAction::NextField}, {7, '.', KeyAction::NextField},
      {4, '.', KeyAction::Drop},      {8, '.', KeyAction::Drop},      {16, '.', KeyAction::Drop},
      {1, '0', KeyAction::Pass},      {1, '9', KeyAction::Pass},      {2, '-', KeyAction::Pass},
      {2, '+', KeyAction::Pass},      {2, '\b', KeyAction::Pass},     {2, '\r', KeyAction::Pass},
      {1, 'a', KeyAction::Drop},      {1, ' ', KeyAction::Drop},      {1, ',', KeyAction::Drop},
      {1, '\x16', KeyAction::Drop},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FilterAddressKey(c.tag, c.key), c.action) << "tag " << c.tag << " key " << int(c.key);
}

AddressInput Input(std::initializer_list<std::pair<int, const char*>> groups, bool autoDns = false) {
  AddressInput in;
  in.autoDns = autoDns;
  for (const auto& [group, text] : groups) SetAddressGroup(in, group, text);
  return in;
}

TEST(AddressValidationTest, BoxesAndTexts) {
  const char* ip = "IP Address Illegal!";
  const char* gw = "GateWay Address Illegal!";
  const char* dns = "DNS Address Illegal!";
  AddressInput dhcp = Input({{kIpGroup, "x"}, {kPrimaryDnsGroup, "y"}});
  dhcp.dhcp = true;
  const struct {
    const char* name;
    AddressInput input;
    std::vector<std::string> boxes;
    std::string ipText, gatewayText, dnsText;
  } cases[] = {
      {"dhcp looks at nothing typed", dhcp, {}, "0.0.0.1", "", ""},
      {"plus sign kept", Input({{kIpGroup, "+5.1.2.3"}, {kPrimaryDnsGroup, "1.1.1.1"}}), {}, "+5.1.2.3", "0", "1.1.1.1"},
      {"minus one illegal", Input({{kIpGroup, "-1.1.2.3"}, {kPrimaryDnsGroup, "1.1.1.1"}}), {ip}, "", "", ""},
      {"256 illegal", Input({{kIpGroup, "1.1.2.256"}}, true), {ip}, "", "", ""},
      {"bare sign illegal", Input({{kIpGroup, "1.+.2.3"}}, true), {ip}, "", "", ""},
      {"empty field illegal", Input({{kIpGroup, "1.2.3"}}, true), {ip}, "", "", ""},
      {"00.0.0.0 passes the all-zero test", Input({{kIpGroup, "00.0.0.0"}}, true), {}, "00.0.0.0", "0", ""},
      {"four single zeros stop at once", Input({{kIpGroup, "0.0.0.0"}, {kGatewayGroup, "x"}}), {ip}, "", "", ""},
      {"gateway with one field", Input({{kIpGroup, "1.2.3.4"}, {kGatewayGroup, "1"}}, true), {gw}, "", "", ""},
      {"gateway kept as typed", Input({{kIpGroup, "1.2.3.4"}, {kGatewayGroup, "001.2.3.4"}}, true), {},
       "1.2.3.4", "001.2.3.4", ""},
      {"automatic DNS ignores its fields", Input({{kIpGroup, "1.2.3.4"}, {kPrimaryDnsGroup, "junk"}}, true), {},
       "1.2.3.4", "0", ""},
      {"all three in order", Input({{kIpGroup, "1.2.3.999"}, {kGatewayGroup, "1"}, {kPrimaryDnsGroup, "1.2"}}),
       {ip, gw, dns}, "", "", ""},
      {"address and DNS", Input({{kIpGroup, "a.b.c.d"}}), {ip, dns}, "", "", ""},
  };
  for (const auto& c : cases) {
    test::ScriptedUi ui;
    AddressSettings out;
    EXPECT_EQ(ValidateAddresses(c.input, out, ui), c.boxes.empty()) << c.name;
    EXPECT_EQ(ui.Texts("error"), c.boxes) << c.name;
    EXPECT_EQ(out.IPText, c.ipText) << c.name;
    EXPECT_EQ(out.GatewayText, c.gatewayText) << c.name;
    EXPECT_EQ(out.PrimaryDNSText, c.dnsText) << c.name;
  }
}

TEST(AddressValidationTest, SecondaryNameServerFollowsTheLastCheckThatSawOne) {
  test::ScriptedUi ui;
  AddressSettings out;
  AddressInput in = Input({{kIpGroup, "1.2.3.4"}, {kPrimaryDnsGroup, "8.8.8.8"}, {kSecondaryDnsGroup, "8.8.4.4"}});
  ASSERT_TRUE(ValidateAddresses(in, out, ui));
  EXPECT_TRUE(out.HasSecondaryDNS);
  EXPECT_EQ(out.SecondaryDNSText, "8.8.4.4");
  // Left empty later: the earlier one stays.
  SetAddressGroup(in, kSecondaryDnsGroup, "");
  ASSERT_TRUE(ValidateAddresses(in, out, ui));
  EXPECT_TRUE(out.HasSecondaryDNS);
  SetAddressGroup(in, kSecondaryDnsGroup, "8.8.4");
  EXPECT_FALSE(ValidateAddresses(in, out, ui));
  EXPECT_FALSE(out.HasSecondaryDNS);
}

TEST(UserCheckTest, EmptyOrFieldBreakingInputIsRefused) {
  const struct {
    UserInput input;
    const char* box;  // nullptr: accepted
  } cases[] = {
      {{"ftp", "pw", "web", "pw", {}, {}}, nullptr},
      {{"ftp", "pw", "web", "", {}, {}}, kBlankUserText},
      {{"", "pw", "web", "pw", {}, {}}, kBlankUserText},
      {{"ftp", "p w", "web", "pw", {}, {}}, kUnsafeUserText},
      {{"ftp", "pw", "we\tb", "pw", {}, {}}, kUnsafeUserText},
      {{"ftp", "pw", "web", "pw\r\nx", {}, {}}, kUnsafeUserText},
      {{"ftp\x7f", "pw", "web", "pw", {}, {}}, kUnsafeUserText},
      {{"ftp", "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", "web", "pw", {}, {}}, kUnsafeUserText},
  };
  for (const auto& c : cases) {
    test::ScriptedUi ui;
    EXPECT_EQ(CheckUsers(c.input, ui), c.box == nullptr) << c.input.ftpId << "/" << c.input.httpPassword;
    EXPECT_EQ(ui.Texts("error"), c.box ? std::vector<std::string>{c.box} : std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace vorn::netconf
