#include "platform/posix/port_permission_posix.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace vorn::platform {

std::string PermissionDeniedReason(const DeviceAccess& a) {
  const std::string start = "Reason: permission denied on " + a.path;
  const std::string user = a.user.empty() ? "$USER" : a.user;
  if (a.group.empty()) {
    return start + "; add your user to the group that owns it (ls -l " + a.path +
           " shows it) with: sudo usermod -aG GROUP " + user + ", then log out and in again.";
  }
  const std::string named = "the group that owns it ('" + a.group + "')";
  // Joining a group that has no access would not help.
  if (!a.groupMayOpen) {
    return start + "; neither your user nor " + named +
           " may read and write it; ask the administrator to give that group read and write permission.";
  }
  switch (a.membership) {
    case DeviceAccess::Membership::Listed:
      return start + "; " + user + " is in " + named +
             " but this login began before that: log out and in again (or restart) for the membership to count.";
    case DeviceAccess::Membership::Active:
      return start + " although you are in " + named +
             "; ask the administrator (an access rule of the system stands in the way).";
    case DeviceAccess::Membership::None:
      break;
  }
  return start + "; add your user to " + named + " with: sudo usermod -aG " + a.group + " " + user +
         ", then log out and in again (or restart) for the membership to count.";
}

DeviceAccess ReadDeviceAccess(const std::string& path) {
  DeviceAccess access;
  access.path = path;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return access;
  access.groupMayOpen = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  if (const group* g = getgrgid(st.st_gid)) access.group = g->gr_name;

  std::vector<gid_t> active(static_cast<size_t>(std::max(getgroups(0, nullptr), 0)));
  active.resize(static_cast<size_t>(std::max(getgroups(static_cast<int>(active.size()), active.data()), 0)));
  if (getegid() == st.st_gid || std::count(active.begin(), active.end(), st.st_gid)) {
    access.membership = DeviceAccess::Membership::Active;
  }
  const passwd* pw = getpwuid(geteuid());
  if (!pw) return access;
  access.user = pw->pw_name;
  if (access.membership == DeviceAccess::Membership::Active) return access;
  // The groups the user gets at the next login, from every group database.
  int count = 64;
  std::vector<gid_t> listed(static_cast<size_t>(count));
  if (getgrouplist(pw->pw_name, pw->pw_gid, listed.data(), &count) < 0) {
    listed.resize(static_cast<size_t>(count));
    if (getgrouplist(pw->pw_name, pw->pw_gid, listed.data(), &count) < 0) count = 0;
  }
  listed.resize(static_cast<size_t>(count));
  if (std::count(listed.begin(), listed.end(), st.st_gid)) access.membership = DeviceAccess::Membership::Listed;
  return access;
}

}  // namespace vorn::platform
