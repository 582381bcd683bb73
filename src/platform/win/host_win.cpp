// Host services on Windows: the registry under HKEY_LOCAL_MACHINE, the speaker,
// WinExec, and the personal documents folder.
#include <windows.h>
#include <mmsystem.h>
#include <shlobj.h>
#include <io.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/host.h"

namespace vorn::platform {

namespace {

class WinRegistry : public Registry {
 public:
  std::optional<std::string> ReadString(const std::string& key, const std::string& value) override {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return std::nullopt;
    std::string result;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(handle, value.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ &&
        size > 0) {
      std::string buffer(size, '\0');
      if (RegQueryValueExA(handle, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) ==
          ERROR_SUCCESS) {
        buffer.resize(size);
        while (!buffer.empty() && buffer.back() == '\0') buffer.pop_back();
        result = buffer;
      }
    }
    RegCloseKey(handle);
    return result;
  }

  bool WriteString(const std::string& key, const std::string& value, const std::string& data) override {
    HKEY handle = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        &handle, &disposition) != ERROR_SUCCESS)
      return false;
    const LONG rc = RegSetValueExA(handle, value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(handle);
    return rc == ERROR_SUCCESS;
  }
};

}  // namespace

Registry& HostRegistry() {
  static WinRegistry registry;
  return registry;
}

void Beep(uint32_t freqHz, uint32_t ms) { ::Beep(freqHz, ms); }

// The system timer ticks every 15.6 ms unless some program asks for more; the
// request is process-wide and counted, so each scope ends its own.
FineTimerScope::FineTimerScope() { active_ = timeBeginPeriod(1) == TIMERR_NOERROR; }

FineTimerScope::~FineTimerScope() {
  if (active_) timeEndPeriod(1);
}

void MessageBeep(uint32_t type) { ::MessageBeep(type); }

const char* ProgramFileFilter() { return "EXE file (*.exe)|*.exe|All files (*.*)|*.*"; }

bool StartProgram(const std::string& commandLine) { return WinExec(commandLine.c_str(), SW_SHOWNORMAL) > 31; }

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  if (wide != nullptr && count == argc) {
    for (int i = 0; i < count; ++i) {
      const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
      std::string utf8(n > 0 ? static_cast<size_t>(n) : 1, '\0');
      if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, utf8.data(), n, nullptr, nullptr);
      utf8.pop_back();  // the terminating zero
      args.push_back(std::move(utf8));
    }
  } else {
    // The two parsers disagree only on odd quoting; the C library's split wins then.
    args.assign(argv, argv + argc);
  }
  if (wide != nullptr) LocalFree(wide);
  return args;
}

std::string DocumentsFolder() {
  char path[MAX_PATH] = {0};
  if (SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK) return path;
  return ".";
}

char PathSeparator() { return '\\'; }

const char* PathSeparators() { return "\\/:"; }

namespace {
std::wstring WidePath(const std::string& utf8Path) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8Path.c_str(), -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8Path.c_str(), -1, wide.data(), n);
  return wide;
}
}  // namespace

std::string NonRegularKind(const std::string& utf8Path) {
  const std::wstring wide = WidePath(utf8Path);
  if (wide.empty()) return {};
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return {};
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "Folder";
  if (attributes & FILE_ATTRIBUTE_DEVICE) return "Device";
  return {};
}

std::FILE* OpenFileForReading(const std::string& utf8Path) {
  const std::wstring wide = WidePath(utf8Path);
  if (wide.empty()) return nullptr;
  std::FILE* file = _wfopen(wide.c_str(), L"rb");
  // Only files on a disk: a device or pipe may block the sender for good.
  if (file && GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

std::FILE* OpenFileForWriting(const std::string& utf8Path, bool /*ownerOnly*/) {
  // The user's own folders already keep other users out; no mode to set here.
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8Path.c_str(), -1, nullptr, 0);
  if (n <= 0) return nullptr;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8Path.c_str(), -1, wide.data(), n);
  return _wfopen(wide.c_str(), L"wb");
}

int64_t OpenFileLength(std::FILE* file) {
  if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
  const int64_t length = _ftelli64(file);
  _fseeki64(file, 0, SEEK_SET);
  return length;
}

bool LocalTime(std::time_t t, std::tm& out) { return localtime_s(&out, &t) == 0; }

// The companion installation's registry value is the only source on Windows.
std::string InstalledDataFolder() { return ""; }

std::string UserDataFolder() { return ""; }

}  // namespace vorn::platform
