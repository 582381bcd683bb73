// The host's folders read straight from its file system: what every host
// shares. Volumes, item facts, type names and the file commands that differ
// between hosts come from posix/ or win/ (host_folders_detail.h).
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/host_folders.h"
#include "platform/host_folders_detail.h"

namespace fs = std::filesystem;

namespace vorn {

namespace folders_detail {

int64_t UnixSecondsFromFileTime(uint64_t ticks) {
  if (ticks == 0) return 0;
  constexpr uint64_t kTicksPerSecond = 10'000'000;
  constexpr int64_t kSecondsFrom1601To1970 = 11'644'473'600;
  return static_cast<int64_t>(ticks / kTicksPerSecond) - kSecondsFrom1601To1970;
}

std::string DriveDisplayName(const std::string& label, const std::string& kind, char letter) {
  return (label.empty() ? kind : label) + " (" + std::string(1, letter) + ":)";
}

bool ValidWindowsName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) return false;
  }
  if (name.back() == ' ' || name.back() == '.') return false;
  // Device names are reserved with any extension and trailing blanks.
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$")
    return false;
  if (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0) return true;
  const std::string number = stem.substr(std::min<size_t>(3, stem.size()));
  const bool digit = number.size() == 1 && number[0] >= '0' && number[0] <= '9';
  const bool superscript = number == "\xc2\xb9" || number == "\xc2\xb2" || number == "\xc2\xb3";  // ¹ ² ³
  return !digit && !superscript;
}

}  // namespace folders_detail

namespace {

using namespace folders_detail;

const char kComputerName[] = "Computer";

std::string SystemText(int code) { return std::error_code(code, std::generic_category()).message(); }

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

std::string IconKeyFor(const HostItem& item) {
  if (item.isFolder) return "folder";
  const std::string ext = ExtensionOf(item.name);
  return ext.empty() ? "file" : "file:" + Lower(ext);
}

class FileSystemFolders : public HostFolders {
 public:
  explicit FileSystemFolders(FileSystemFoldersOptions options) : options_(std::move(options)) {
    if (options_.homeFolder.empty()) options_.homeFolder = HomeFolder();
  }

  // No file system path is empty, so the empty path can name the computer folder.
  std::string ComputerFolder() const override { return {}; }
  std::string ComputerName() const override { return kComputerName; }

  bool List(const std::string& folder, std::vector<HostItem>& items, std::string& error) override {
    if (IsComputer(folder)) {
      items = ComputerItems(options_);
      return true;
    }
    std::vector<HostItem> found;
    std::error_code ec;
    fs::directory_iterator it(ToPath(folder), fs::directory_options::none, ec);
    if (ec) {
      error = ec.message();
      return false;
    }
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
      HostItem item;
      item.name = ToUtf8(it->path().filename());
      item.fullPath = ToUtf8(it->path());
      ReadFacts(item);
      if (item.attributes & kAttrHidden) continue;
      item.iconKey = IconKeyFor(item);
      found.push_back(std::move(item));
    }
    // The loop ends on an error as well as at the end.
    if (ec) {
      error = ec.message();
      return false;
    }
    items = std::move(found);
    return true;
  }

  std::optional<std::string> Parent(const std::string& folder) const override {
    if (IsComputer(folder)) return std::nullopt;
    const fs::path p = ToPath(folder);
    if (!p.has_relative_path()) return ComputerFolder();  // a volume root: "/", "C:\"
    const fs::path parent = p.parent_path();
    if (parent.empty()) return ComputerFolder();
    return ToUtf8(parent);
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
    if (t[0] == '~' && (t.size() == 1 || t[1] == '/' || t[1] == static_cast<char>(fs::path::preferred_separator)) &&
        !options_.homeFolder.empty())
      t = options_.homeFolder + t.substr(1);
    fs::path p = ToPath(t);
    // A drive typed alone ("C:") means its root, not its current folder.
    if (p.has_root_name() && !p.has_root_directory() && !p.has_relative_path()) p += fs::path::preferred_separator;
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
    folder = ToUtf8(p);
    return true;
  }

  std::string TypeName(const HostItem& item) const override {
    if (std::string host = HostTypeName(item); !host.empty()) return host;
    if (item.iconKey == "drive") return "Volume";
    if (!item.special.empty()) return item.special;
    if (item.isFolder) return "Folder";
    const std::string ext = ExtensionOf(item.name);
    return ext.empty() ? "File" : Upper(ext) + " File";
  }

  bool Rename(const std::string& fullPath, const std::string& newName, std::string& error) override {
    if (!ValidName(newName)) {
      error = SystemText(EINVAL);
      return false;
    }
    const fs::path from = ToPath(fullPath);
    const fs::path to = from.parent_path() / ToPath(newName);
    if (to == from) return true;
    return MoveNoReplace(fullPath, ToUtf8(to), error);
  }

  bool Remove(const std::string& fullPath, std::string& error) override {
    // Never a whole volume, whatever a caller asks.
    if (fullPath.empty() || !ToPath(fullPath).has_relative_path()) {
      error = SystemText(EPERM);
      return false;
    }
    return RemoveTree(fullPath, error);
  }

  std::string TrashName() const override { return folders_detail::TrashName(); }

  bool MakeFolder(const std::string& parent, const std::string& baseName, std::string& created,
                  std::string& error) override {
    if (IsComputer(parent) || !ValidName(baseName)) {
      error = SystemText(EPERM);
      return false;
    }
    for (int n = 1; n < 1000; ++n) {
      const std::string name = n == 1 ? baseName : baseName + " (" + std::to_string(n) + ")";
      const fs::path p = ToPath(parent) / ToPath(name);
      // Creating is the test for a free name: nothing can take it in between,
      // and a dangling link counts as taken.
      std::error_code ec;
      if (fs::create_directory(p, ec)) {
        created = ToUtf8(p);
        return true;
      }
      if (!ec || ec == std::errc::file_exists) continue;
      error = ec.message();
      return false;
    }
    error = SystemText(EEXIST);
    return false;
  }

 private:
  FileSystemFoldersOptions options_;
};

}  // namespace

std::unique_ptr<HostFolders> MakeFileSystemFolders(FileSystemFoldersOptions options) {
  return std::make_unique<FileSystemFolders>(std::move(options));
}

}  // namespace vorn
