#pragma once
// What to tell a user who may not open a serial device: most often the fix is
// to join the group that owns it (dialout on Debian) and log in again.
#include <string>

namespace vorn::platform {

struct DeviceAccess {
  enum class Membership {
    None,    // the user is not in the device's group
    Listed,  // the group database lists the user, this login does not have it yet
    Active,  // this process has the group and is refused all the same
  };
  std::string path;
  std::string group;          // the name of the device's group; empty when unknown
  bool groupMayOpen = false;  // the group has read and write permission
  std::string user;           // the user running this program; empty when unknown
  Membership membership = Membership::None;
};

// One line, "Reason: ...", that names the group and the command to run.
std::string PermissionDeniedReason(const DeviceAccess& access);

// The facts above about a device, read from the system for this process.
DeviceAccess ReadDeviceAccess(const std::string& path);

}  // namespace vorn::platform
