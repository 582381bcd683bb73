// The host's folders read straight from the file system. POSIX hosts get their
// volumes from the mount table; Windows hosts list their drive letters (a build
// that wants virtual folders too would use the shell namespace instead).
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

#include "local/host_folders.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace vorn {
namespace {

const char kComputerName[] = "Computer";

std::string SystemText(int code) { return std::error_code(code, std::generic_category()).message(); }

bool IsHiddenName(const std::string& name) { return !name.empty() && name[0] == '.'; }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The extension without its dot; a leading dot alone does not make one.
std::string ExtensionOf(const std::string& name) {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return {};
  return name.substr(dot + 1);
}

#ifndef _WIN32
// Fills the status facts of one item; items that vanish or can't be stat'ed
// still show, with no size and no time.
void StatItem(HostItem& item) {
  struct stat st {};
  if (::stat(item.fullPath.c_str(), &st) != 0 && ::lstat(item.fullPath.c_str(), &st) != 0) return;
  item.isFolder = S_ISDIR(st.st_mode);
  item.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  item.modified = static_cast<int64_t>(st.st_mtime);
  if (::access(item.fullPath.c_str(), W_OK) != 0) item.attributes |= kAttrReadOnly;
}

// Mount points in /proc/mounts write blanks and the like as octal escapes.
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
#else
void StatItem(HostItem& item) {
  std::error_code ec;
  const fs::path p(item.fullPath);
  const auto st = fs::status(p, ec);
  if (ec) return;
  item.isFolder = fs::is_directory(st);
  if (fs::is_regular_file(st)) {
    const auto size = fs::file_size(p, ec);
    if (!ec) item.size = size;
  }
  const auto t = fs::last_write_time(p, ec);
  if (!ec) {
    const auto sys = std::chrono::clock_cast<std::chrono::system_clock>(t);
    item.modified = std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count();
  }
  // The hidden and system bits would come from GetFileAttributesW.
  if ((st.permissions() & fs::perms::owner_write) == fs::perms::none) item.attributes |= kAttrReadOnly;
}
#endif

class FileSystemFolders : public HostFolders {
 public:
  explicit FileSystemFolders(FileSystemFoldersOptions options) : options_(std::move(options)) {
    if (options_.homeFolder.empty()) {
      const char* home = std::getenv("HOME");
      if (home == nullptr) home = std::getenv("USERPROFILE");
      if (home != nullptr) options_.homeFolder = home;
    }
  }

  // No file system path is empty, so the empty path can name the computer folder.
  std::string ComputerFolder() const override { return {}; }
  std::string ComputerName() const override { return kComputerName; }

  bool List(const std::string& folder, std::vector<HostItem>& items, std::string& error) override {
    if (IsComputer(folder)) {
      items = ComputerItems();
      return true;
    }
    std::vector<HostItem> found;
    std::error_code ec;
    fs::directory_iterator it(fs::path(folder), fs::directory_options::none, ec);
    if (ec) {
      error = ec.message();
      return false;
    }
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
      if (ec) {
        error = ec.message();
        return false;
      }
      const std::string name = it->path().filename().string();
      if (IsHiddenName(name)) continue;
      HostItem item;
      item.name = name;
      item.fullPath = it->path().string();
      StatItem(item);
      item.iconKey = IconKeyFor(item);
      found.push_back(std::move(item));
    }
    if (ec) {
      error = ec.message();
      return false;
    }
    items = std::move(found);
    return true;
  }

  std::optional<std::string> Parent(const std::string& folder) const override {
    if (IsComputer(folder)) return std::nullopt;
    const fs::path p(folder);
    if (!p.has_relative_path()) return ComputerFolder();  // a volume root: "/", "C:\"
    fs::path parent = p.parent_path();
    if (parent.empty()) return ComputerFolder();
    return parent.string();
  }

  bool Parse(const std::string& text, std::string& folder, std::string& error) const override {
    std::string t = text;
    const auto first = t.find_first_not_of(" \t");
    const auto last = t.find_last_not_of(" \t");
    t = first == std::string::npos ? std::string() : t.substr(first, last - first + 1);
    if (t.empty() || Lower(t) == Lower(kComputerName)) {
      folder = ComputerFolder();
      return true;
    }
    if (t[0] == '~' && (t.size() == 1 || t[1] == '/') && !options_.homeFolder.empty())
      t = options_.homeFolder + t.substr(1);
    fs::path p(t);
    if (!p.is_absolute()) {
      error = SystemText(ENOENT);
      return false;
    }
    p = p.lexically_normal();
    // "/a/b/" becomes "/a/b" so that the path box lists one item per folder.
    if (p.has_relative_path() && !p.has_filename()) p = p.parent_path();
    std::error_code ec;
    static_cast<void>(fs::status(p, ec));
    if (ec) {
      error = ec.message();
      return false;
    }
    folder = p.string();
    return true;
  }

  std::string TypeName(const HostItem& item) const override {
    if (item.iconKey == "drive") return "Volume";
    if (item.isFolder) return "Folder";
    const std::string ext = ExtensionOf(item.name);
    return ext.empty() ? "File" : Upper(ext) + " File";
  }

  bool Rename(const std::string& fullPath, const std::string& newName, std::string& error) override {
    if (!ValidName(newName)) {
      error = SystemText(EINVAL);
      return false;
    }
    const fs::path from(fullPath);
    const fs::path to = from.parent_path() / newName;
    if (to == from) return true;
    std::error_code ec;
    // rename() would silently replace an existing file of that name.
    if (fs::exists(fs::symlink_status(to, ec))) {
      error = SystemText(EEXIST);
      return false;
    }
    fs::rename(from, to, ec);
    if (ec) {
      error = ec.message();
      return false;
    }
    return true;
  }

  bool Remove(const std::string& fullPath, std::string& error) override {
    const fs::path p(fullPath);
    // Never a whole volume, whatever a caller asks.
    if (fullPath.empty() || !p.has_relative_path()) {
      error = SystemText(EPERM);
      return false;
    }
    std::error_code ec;
    fs::remove_all(p, ec);  // a link to a folder goes, not what it points to
    if (ec) {
      error = ec.message();
      return false;
    }
    return true;
  }

  bool MakeFolder(const std::string& parent, const std::string& baseName, std::string& created,
                  std::string& error) override {
    if (IsComputer(parent) || !ValidName(baseName)) {
      error = SystemText(EPERM);
      return false;
    }
    for (int n = 1; n < 1000; ++n) {
      const std::string name = n == 1 ? baseName : baseName + " (" + std::to_string(n) + ")";
      const fs::path p = fs::path(parent) / name;
      std::error_code ec;
      if (fs::exists(fs::symlink_status(p, ec))) continue;
      if (fs::create_directory(p, ec)) {
        created = p.string();
        return true;
      }
      if (ec) {
        error = ec.message();
        return false;
      }
    }
    error = SystemText(EEXIST);
    return false;
  }

 private:
  static bool ValidName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
#ifdef _WIN32
    return name.find_first_of("\\/:*?\"<>|") == std::string::npos;
#else
    return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
#endif
  }

  static std::string IconKeyFor(const HostItem& item) {
    if (item.isFolder) return "folder";
    const std::string ext = ExtensionOf(item.name);
    return ext.empty() ? "file" : "file:" + Lower(ext);
  }

  std::vector<HostItem> ComputerItems() const {
    std::vector<HostItem> items;
    auto add = [&](const std::string& name, const std::string& path, const char* iconKey) {
      HostItem item;
      item.name = name;
      item.fullPath = path;
      StatItem(item);
      item.isFolder = true;
      item.size = 0;
      item.attributes = 0;  // a volume is not drawn as a read-only folder
      item.iconKey = iconKey;
      items.push_back(std::move(item));
    };
#ifndef _WIN32
    add("File System", "/", "drive");
    std::set<std::string> seen{"/"};
    if (!options_.homeFolder.empty() && fs::is_directory(options_.homeFolder)) {
      add("Home", options_.homeFolder, "home");
      seen.insert(options_.homeFolder);
    }
    std::ifstream mounts(options_.mountsFile);
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
#else
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
      const std::string root = std::string(1, letter) + ":\\";
      std::error_code ec;
      if (fs::exists(fs::path(root), ec)) add(std::string(1, letter) + ":", root, "drive");
    }
    if (!options_.homeFolder.empty() && fs::is_directory(options_.homeFolder))
      add("Home", options_.homeFolder, "home");
#endif
    return items;
  }

  FileSystemFoldersOptions options_;
};

}  // namespace

std::unique_ptr<HostFolders> MakeFileSystemFolders(FileSystemFoldersOptions options) {
  return std::make_unique<FileSystemFolders>(std::move(options));
}

}  // namespace vorn
