// Where the companion installation's files lie, from the one registry value it
// provides, with this program's own data as the fallback where hosts have no
// such registry.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/host.h"

namespace vorn::platform {

namespace {
constexpr const char* kAppPathsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Vorn7730.exe";
constexpr const char* kCompanionFolder = "VORN-7730TCP-7730ETCP Utility";

std::string Sub(const std::string& base, const char* leaf) {
  const std::string sep(1, PathSeparator());
  return base + sep + kCompanionFolder + sep + leaf + sep;
}
}  // namespace

CompanionFolders LocateCompanionFolders(Registry& registry) {
  CompanionFolders folders;
  // A key without the value reads as empty: that names no folder, and the
  // companion's folders would land at the root of the drive.
  if (std::optional<std::string> path = registry.ReadString(kAppPathsKey, "Path"); path && !path->empty()) {
    folders.tools = Sub(*path, "program");
    folders.source = Sub(*path, "Source");
    folders.program = folders.tools;
    return folders;
  }
  if (const std::string data = InstalledDataFolder(); !data.empty()) {
    folders.tools = Sub(data, "program");
    folders.source = Sub(data, "Source");
  }
  if (const std::string user = UserDataFolder(); !user.empty()) folders.program = user + PathSeparator();
  return folders;
}

std::string CompanionFile(const std::string& folder, const std::string& name, std::string& missing) {
  const std::string path = folder + name;
  if (std::FILE* file = OpenFileForReading(path)) {
    std::fclose(file);
    return path;
  }
  std::string where = folder;
  if (where.empty()) {
    // Bare names are looked for in the current folder: name it.
    std::error_code ec;
    const std::u8string current = std::filesystem::current_path(ec).u8string();
    where = "the current folder " + std::string(current.begin(), current.end());
  }
  missing = name + " not found in " + where;
  return "";
}

}  // namespace vorn::platform
