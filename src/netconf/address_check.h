#pragma once
// What the network dialog accepts: the key filter of its address fields, the
// address validation with its error boxes, and the user check.
#include <array>
#include <string>

#include "link/ui.h"
#include "netconf/net_files.h"

namespace vorn::netconf {

inline constexpr int kAddressFieldLimit = 3;
inline constexpr int kUserIdLimit = 15;
inline constexpr int kPasswordLimit = 10;

// The 16 address fields in tag order: address, gateway, primary and secondary
// name server, four fields each. A field's tag is its index plus one.
enum AddressGroup { kIpGroup = 0, kGatewayGroup = 4, kPrimaryDnsGroup = 8, kSecondaryDnsGroup = 12 };

enum class KeyAction { Pass, Drop, NextField };
// One typed character in the address field with this tag (1 to 16): "." moves
// on within the group and never reaches a field; digits, signs, Backspace and
// Enter pass; everything else is dropped.
KeyAction FilterAddressKey(int tag, char ch);

// Empty, not a whole number with an optional sign, outside 0..255, or longer
// than a field holds: illegal.
bool LegalAddressField(const std::string& text);

struct AddressInput {
  bool dhcp = false;
  bool autoDns = false;
  std::array<std::string, 16> fields;
};

// Splits "A.B.C.D" into the four fields of a group as if typed with the "."
// key; anything past the fourth "." stays in the fourth field.
void SetAddressGroup(AddressInput& input, int group, const std::string& dotted);

// Checks the input and fills the address texts of out. Address, gateway and
// name server are each checked even after an earlier one failed, so up to
// three error boxes are shown, in that order.
bool ValidateAddresses(const AddressInput& input, AddressSettings& out, Ui& ui);

struct UserInput {
  std::string ftpId, ftpPassword;
  std::string httpId, httpPassword;
  FtpRights ftpRights;
  HttpRights httpRights;
};

// IDs and passwords are blank-separated fields of the user file: refuses empty
// ones and ones holding a blank, a control character or anything beyond
// printable ASCII (with an error box).
bool CheckUsers(const UserInput& input, Ui& ui);

inline constexpr const char* kBlankUserText = "ID or PASSWORD can not be blank!";
inline constexpr const char* kUnsafeUserText =
    "ID or PASSWORD can not contain spaces, control characters or non-ASCII characters!";

}  // namespace vorn::netconf
