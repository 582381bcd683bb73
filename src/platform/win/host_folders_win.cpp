// The host's folders on Windows: the drive letters make the computer folder,
// facts and the hidden, system and read-only bits come from the file
// attributes, type names from the shell. Paths are UTF-8 here and UTF-16 for
// every system call.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cctype>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "platform/host_folders_detail.h"
#include "platform/win/text_win.h"

namespace fs = std::filesystem;

namespace vorn::folders_detail {

namespace {

using platform::win::Narrow;
using platform::win::Widen;

std::string ErrorText(DWORD code) { return platform::win::SystemText(code); }

uint64_t Join(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

uint64_t Ticks(const FILETIME& time) { return Join(time.dwHighDateTime, time.dwLowDateTime); }

const char* DriveKind(UINT type) {
  switch (type) {
    case DRIVE_REMOVABLE: return "Removable Disk";
    case DRIVE_FIXED: return "Local Disk";
    case DRIVE_REMOTE: return "Network Drive";
    case DRIVE_CDROM: return "CD Drive";
    case DRIVE_RAMDISK: return "RAM Disk";
    default: return "Drive";
  }
}

bool IsFolderPath(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// 0 on success, else the system's error code; the first failure stops it.
DWORD RemoveWide(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return DeleteFileW(path.c_str()) ? 0 : GetLastError();
  // A junction or folder link is removed as it stands, never entered.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    const bool ends = !path.empty() && (path.back() == L'\\' || path.back() == L'/');
    const std::wstring prefix = ends ? path : path + L"\\";
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((prefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD rc = 0;
    for (BOOL more = TRUE; more; more = FindNextFileW(search, &found)) {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      rc = RemoveWide(prefix + name);
      if (rc != 0) break;
    }
    if (rc == 0 && GetLastError() != ERROR_NO_MORE_FILES) rc = GetLastError();
    FindClose(search);
    if (rc != 0) return rc;
  }
  return RemoveDirectoryW(path.c_str()) ? 0 : GetLastError();
}

}  // namespace

fs::path ToPath(const std::string& utf8) { return fs::path(Widen(utf8)); }
std::string ToUtf8(const fs::path& path) { return Narrow(path.native()); }

std::string HomeFolder() {
  wchar_t path[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK) return Narrow(path);
  wchar_t env[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"USERPROFILE", env, MAX_PATH);
  return length > 0 && length < MAX_PATH ? Narrow(env) : std::string();
}

void ReadFacts(HostItem& item) {
  const std::wstring path = Widen(item.fullPath);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return;
  const DWORD own = data.dwFileAttributes;
  DWORD kind = own;
  uint64_t size = Join(data.nFileSizeHigh, data.nFileSizeLow);
  uint64_t written = Ticks(data.ftLastWriteTime);
  if (own & FILE_ATTRIBUTE_REPARSE_POINT) {
    // A link shows as what it points to; a broken one as itself.
    const HANDLE target = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (target != INVALID_HANDLE_VALUE) {
      BY_HANDLE_FILE_INFORMATION info{};
      if (GetFileInformationByHandle(target, &info)) {
        kind = info.dwFileAttributes;
        size = Join(info.nFileSizeHigh, info.nFileSizeLow);
        written = Ticks(info.ftLastWriteTime);
      }
      CloseHandle(target);
    }
  }
  item.isFolder = (kind & FILE_ATTRIBUTE_DIRECTORY) != 0;
  item.size = item.isFolder ? 0 : size;
  item.modified = UnixSecondsFromFileTime(written);
  // The entry's own bits decide how it is drawn. On a folder the read-only bit
  // does not protect anything (the shell uses it to mark customised folders).
  if ((own & FILE_ATTRIBUTE_READONLY) && !item.isFolder) item.attributes |= kAttrReadOnly;
  if (own & FILE_ATTRIBUTE_HIDDEN) item.attributes |= kAttrHidden;
  if (own & FILE_ATTRIBUTE_SYSTEM) item.attributes |= kAttrSystem;
}

std::vector<HostItem> ComputerItems(const FileSystemFoldersOptions& options) {
  std::vector<HostItem> items;
  const DWORD drives = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if ((drives & (DWORD{1} << i)) == 0) continue;
    const char letter = static_cast<char>('A' + i);
    const std::wstring root{static_cast<wchar_t>(L'A' + i), L':', L'\\'};
    const UINT type = GetDriveTypeW(root.c_str());
    if (type == DRIVE_NO_ROOT_DIR) continue;
    // Only local disks are asked for their label: an empty floppy or CD drive
    // or a sleeping network share would hold the pane up.
    std::string label;
    if (type == DRIVE_FIXED || type == DRIVE_RAMDISK) {
      wchar_t name[MAX_PATH + 1] = {};
      if (GetVolumeInformationW(root.c_str(), name, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0))
        label = Narrow(name);
    }
    HostItem item;
    item.name = DriveDisplayName(label, DriveKind(type), letter);
    item.fullPath = std::string(1, letter) + ":\\";
    item.isFolder = true;
    item.iconKey = "drive";
    items.push_back(std::move(item));
  }
  if (!options.homeFolder.empty() && IsFolderPath(Widen(options.homeFolder))) {
    HostItem item;
    item.name = "Home";
    item.fullPath = options.homeFolder;
    ReadFacts(item);
    item.isFolder = true;
    item.attributes = 0;
    item.iconKey = "home";
    items.push_back(std::move(item));
  }
  return items;
}

bool ValidName(const std::string& name) { return ValidWindowsName(name); }

std::string HostTypeName(const HostItem& item) {
  if (item.iconKey == "drive") return DriveKind(GetDriveTypeW(Widen(item.fullPath).c_str()));
  // Asked by attributes only, the shell names the type from the extension
  // without touching the disk, so one answer serves every item of a kind.
  std::string key = "<folder>";
  if (!item.isFolder) {
    const auto dot = item.name.rfind('.');
    key = dot == std::string::npos ? std::string() : item.name.substr(dot);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  static std::mutex lock;
  static std::map<std::string, std::string> known;
  std::lock_guard<std::mutex> guard(lock);
  if (auto it = known.find(key); it != known.end()) return it->second;
  SHFILEINFOW info{};
  const DWORD attributes = item.isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  std::string name;
  if (SHGetFileInfoW(Widen(item.name).c_str(), attributes, &info, sizeof info,
                     SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES) != 0)
    name = Narrow(info.szTypeName);
  known.emplace(key, name);
  return name;
}

bool MoveNoReplace(const std::string& from, const std::string& to, std::string& error) {
  // Without MOVEFILE_REPLACE_EXISTING the system refuses an existing target in
  // the same step, yet lets a name change only its case.
  if (MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), 0)) return true;
  error = ErrorText(GetLastError());
  return false;
}

bool RemoveTree(const std::string& fullPath, std::string& error) {
  const std::wstring path = Widen(fullPath);
  const DWORD rc = path.empty() ? ERROR_INVALID_NAME : RemoveWide(path);
  if (rc == 0) return true;
  error = ErrorText(rc);
  return false;
}

std::string TrashName() { return "Recycle Bin"; }

}  // namespace vorn::folders_detail
