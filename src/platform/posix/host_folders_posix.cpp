// The host's folders on POSIX systems: facts from stat, the volumes from the
// mount table, hidden items by their leading dot.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

#include "platform/host.h"
#include "platform/host_folders_detail.h"

namespace fs = std::filesystem;

namespace vorn::folders_detail {

namespace {

const char kMountTable[] = "/proc/mounts";

bool IsHiddenName(const std::string& name) { return !name.empty() && name[0] == '.'; }

// Mount points in the mount table write blanks and the like as octal escapes.
std::string UnescapeMountPath(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isdigit(static_cast<unsigned char>(s[i + 2])) && std::isdigit(static_cast<unsigned char>(s[i + 3]))) {
      out += static_cast<char>(((s[i + 1] - '0') << 6) | ((s[i + 2] - '0') << 3) | (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool IsVolumeMount(const std::string& path) {
  auto under = [&](const std::string& dir) {
    return path == dir || (path.size() > dir.size() && path.compare(0, dir.size() + 1, dir + "/") == 0);
  };
  return under("/media") || under("/mnt") || under("/run/media");
}

}  // namespace

fs::path ToPath(const std::string& utf8) { return fs::path(utf8); }
std::string ToUtf8(const fs::path& path) { return path.string(); }

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home != nullptr ? home : std::string();
}

void ReadFacts(HostItem& item) {
  if (IsHiddenName(item.name)) item.attributes |= kAttrHidden;
  struct stat st {};
  if (::stat(item.fullPath.c_str(), &st) != 0 && ::lstat(item.fullPath.c_str(), &st) != 0) return;
  item.isFolder = S_ISDIR(st.st_mode);
  item.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  if (!item.isFolder) item.special = platform::NonRegularKind(item.fullPath);
  item.modified = static_cast<int64_t>(st.st_mtime);
  if (::access(item.fullPath.c_str(), W_OK) != 0) item.attributes |= kAttrReadOnly;
}

std::vector<HostItem> ComputerItems(const FileSystemFoldersOptions& options) {
  std::vector<HostItem> items;
  auto add = [&](const std::string& name, const std::string& path, const char* iconKey) {
    HostItem item;
    item.name = name;
    item.fullPath = path;
    ReadFacts(item);
    item.isFolder = true;
    item.size = 0;
    item.attributes = 0;  // a volume is not drawn as a read-only folder
    item.iconKey = iconKey;
    items.push_back(std::move(item));
  };
  add("File System", "/", "drive");
  std::set<std::string> seen{"/"};
  std::error_code ec;
  if (!options.homeFolder.empty() && fs::is_directory(options.homeFolder, ec)) {
    add("Home", options.homeFolder, "home");
    seen.insert(options.homeFolder);
  }
  std::ifstream mounts(options.mountsFile.empty() ? kMountTable : options.mountsFile.c_str());
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string device, mountPoint;
    if (!(fields >> device >> mountPoint)) continue;
    mountPoint = UnescapeMountPath(mountPoint);
    if (!IsVolumeMount(mountPoint) || !seen.insert(mountPoint).second) continue;
    const std::string name = fs::path(mountPoint).filename().string();
    if (IsHiddenName(name)) continue;
    add(name, mountPoint, "drive");
  }
  return items;
}

bool ValidName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

// The shared type names are this host's own.
std::string HostTypeName(const HostItem&) { return {}; }

bool MoveNoReplace(const std::string& from, const std::string& to, std::string& error) {
  std::error_code ec;
  // rename() would silently replace an existing item of that name.
  if (fs::exists(fs::symlink_status(to, ec))) {
    error = std::error_code(EEXIST, std::generic_category()).message();
    return false;
  }
  fs::rename(from, to, ec);
  if (ec) {
    error = ec.message();
    return false;
  }
  return true;
}

bool RemoveTree(const std::string& fullPath, std::string& error) {
  std::error_code ec;
  fs::remove_all(fullPath, ec);  // does not follow links
  if (ec) {
    error = ec.message();
    return false;
  }
  return true;
}

std::string TrashName() { return "trash"; }

}  // namespace vorn::folders_detail
