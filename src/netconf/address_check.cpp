#include "netconf/address_check.h"

namespace vorn::netconf {

KeyAction FilterAddressKey(int tag, char ch) {
  if (ch == '\b' || ch == '\r') return KeyAction::Pass;
  if (ch == '.') return tag % 4 != 0 ? KeyAction::NextField : KeyAction::Drop;
  if ((ch >= '0' && ch <= '9') || ch == '-' || ch == '+') return KeyAction::Pass;
  return KeyAction::Drop;
}

bool LegalAddressField(const std::string& text) {
  if (text.empty() || text.size() > static_cast<size_t>(kAddressFieldLimit)) return false;
  size_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (i == text.size()) return false;
  int value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  if (text[0] == '-') value = -value;
  return value >= 0 && value <= 255;
}

void SetAddressGroup(AddressInput& input, int group, const std::string& dotted) {
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    const size_t dot = i < 3 ? dotted.find('.', start) : std::string::npos;
    if (start > dotted.size()) {
      input.fields[group + i].clear();
      continue;
    }
    input.fields[group + i] = dotted.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    start = dot == std::string::npos ? dotted.size() + 1 : dot + 1;
  }
}

namespace {

bool GroupLegal(const AddressInput& input, int group) {
  for (int i = 0; i < 4; ++i)
    if (!LegalAddressField(input.fields[group + i])) return false;
  return true;
}

bool GroupEmpty(const AddressInput& input, int group) {
  for (int i = 0; i < 4; ++i)
    if (!input.fields[group + i].empty()) return false;
  return true;
}

std::string Joined(const AddressInput& input, int group) {
  return input.fields[group] + "." + input.fields[group + 1] + "." + input.fields[group + 2] + "." +
         input.fields[group + 3];
}

}  // namespace

bool ValidateAddresses(const AddressInput& input, AddressSettings& out, Ui& ui) {
  out.staticIp = !input.dhcp;
  out.autoDns = input.autoDns;
  if (input.dhcp) {
    out.IPText = kDhcpAddress;
    return true;
  }
  bool valid = true;
  // Only four single zeros are the "no address" value; "00" in a field slips by.
  bool allZero = true;
  for (int i = 0; i < 4; ++i) allZero = allZero && input.fields[kIpGroup + i] == "0";
  if (allZero) {
    ui.Error("IP Address Illegal!");
    return false;
  }
  if (!GroupLegal(input, kIpGroup)) {
    ui.Error("IP Address Illegal!");
    valid = false;
  }
  const bool hasGateway = !GroupEmpty(input, kGatewayGroup);
  if (hasGateway && !GroupLegal(input, kGatewayGroup)) {
    ui.Error("GateWay Address Illegal!");
    valid = false;
  }
  if (valid) {
    out.IPText = Joined(input, kIpGroup);
    out.GatewayText = hasGateway ? Joined(input, kGatewayGroup) : "0";
  }
  if (!input.autoDns) {
    if (!GroupLegal(input, kPrimaryDnsGroup)) {
      ui.Error("DNS Address Illegal!");
      valid = false;
    }
    if (valid) out.PrimaryDNSText = Joined(input, kPrimaryDnsGroup);
    if (!GroupEmpty(input, kSecondaryDnsGroup)) {
      if (!GroupLegal(input, kSecondaryDnsGroup)) {
        ui.Error("DNS Address Illegal!");
        valid = false;
      }
      out.HasSecondaryDNS = valid;
      if (valid) out.SecondaryDNSText = Joined(input, kSecondaryDnsGroup);
    }
  }
  return valid;
}

namespace {
// Printable ASCII only: the controller's servers know no other characters,
// and the length limits count one byte a character.
bool SafeUserField(const std::string& text) {
  for (unsigned char c : text)
    if (c <= ' ' || c >= 0x7F) return false;
  return true;
}
}  // namespace

bool CheckUsers(const UserInput& input, Ui& ui) {
  const std::string* fields[] = {&input.ftpId, &input.ftpPassword, &input.httpId, &input.httpPassword};
  for (const std::string* f : fields) {
    if (f->empty()) {
      ui.Error(kBlankUserText);
      return false;
    }
  }
  for (const std::string* f : fields) {
    if (!SafeUserField(*f)) {
      ui.Error(kUnsafeUserText);
      return false;
    }
  }
  return true;
}

}  // namespace vorn::netconf
