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

// Where the companion installation keeps its files, or the installed data.
CompanionFolders FromInstallation(Registry& registry) {
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
}  // namespace

std::string WithTrailingSeparator(const std::string& folder) {
  if (folder.empty()) return folder;
  const std::string separators = PathSeparators();
  return separators.find(folder.back()) == std::string::npos ? folder + PathSeparator() : folder;
}

CompanionFolders LocateCompanionFolders(Registry& registry) {
  CompanionFolders folders = FromInstallation(registry);
  // What the user chose in a window outranks the installation's copy.
  const auto chosen = [&registry](const char* value) {
    return WithTrailingSeparator(registry.ReadString(kUtilitySettingsKey, value).value_or(""));
  };
  if (std::string tools = chosen(kProgramsFolderValue); !tools.empty()) folders.tools = tools;
  if (std::string source = chosen(kDefaultFilesFolderValue); !source.empty()) folders.source = source;
  return folders;
}

bool IsStandIn(const std::string& path) {
  // The stand-ins are a few dozen bytes: mov dx,010Ch / mov ah,09h / int 21h /
  // mov ax,4C00h / int 21h, then their "$"-ended line, which says what they are.
  static const std::string kCode("\xBA\x0C\x01\xB4\x09\xCD\x21\xB8\x00\x4C\xCD\x21", 12);
  std::FILE* file = OpenFileForReading(path);
  if (!file) return false;
  char buffer[256];
  const size_t got = std::fread(buffer, 1, sizeof buffer, file);
  std::fclose(file);
  const std::string head(buffer, got);
  const size_t end = head.find('$');
  return got < sizeof buffer && head.compare(0, kCode.size(), kCode) == 0 && end != std::string::npos &&
         head.find(": stand-in for the ") < end;
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
