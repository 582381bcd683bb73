// Host services on Windows: the registry (written under HKEY_CURRENT_USER), the speaker,
// program start, and the shell's folders. Texts cross the system calls as
// UTF-16 (text_win.h).
#include <windows.h>
#include <mmsystem.h>
#include <shlobj.h>
#include <io.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/host.h"
#include "platform/win/text_win.h"

namespace vorn::platform {

namespace {

using win::Narrow;
using win::Widen;

enum class Lookup { NoKey, NoValue, Found };

Lookup ReadFrom(HKEY root, const std::string& key, const std::string& value, std::string& result) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root, Widen(key).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return Lookup::NoKey;
  const std::wstring name = Widen(value);
  Lookup found = Lookup::NoValue;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ &&
      size > 0) {
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(handle, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) ==
        ERROR_SUCCESS) {
      buffer.resize(size / sizeof(wchar_t));
      while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
      result = Narrow(buffer);
      found = Lookup::Found;
    }
  }
  RegCloseKey(handle);
  return found;
}

// What the utility writes goes to the user's part of the registry, which
// needs no administrator rights; the machine's part is still read, for the
// companion installation's key and for values an older version left there.
class WinRegistry : public Registry {
 public:
  std::optional<std::string> ReadString(const std::string& key, const std::string& value) override {
    std::string result;
    const Lookup user = ReadFrom(HKEY_CURRENT_USER, key, value, result);
    if (user == Lookup::Found) return result;
    const Lookup machine = ReadFrom(HKEY_LOCAL_MACHINE, key, value, result);
    if (machine == Lookup::Found) return result;
    if (user == Lookup::NoKey && machine == Lookup::NoKey) return std::nullopt;
    return std::string();
  }

  bool WriteString(const std::string& key, const std::string& value, const std::string& data) override {
    HKEY handle = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, Widen(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &handle, &disposition) != ERROR_SUCCESS)
      return false;
    const std::wstring text = Widen(data);
    const LONG rc = RegSetValueExW(handle, Widen(value).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return rc == ERROR_SUCCESS;
  }
};

// A folder's path from the shell (CSIDL_FLAG_CREATE makes a missing one); empty
// when it has none.
std::string ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return {};
  return Narrow(path);
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder this program was started from, without a trailing separator.
std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);  // a long path was cut off
  }
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

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

bool StartProgram(const std::string& commandLine) {
  // As WinExec parses it (an unquoted path with blanks is tried part by
  // part), but with the whole line in UTF-16.
  std::wstring line = Widen(commandLine);
  if (line.empty()) return false;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

void UseStartingConsole() {
  const auto unset = [](DWORD which) {
    const HANDLE h = GetStdHandle(which);
    return h == nullptr || h == INVALID_HANDLE_VALUE || GetFileType(h) == FILE_TYPE_UNKNOWN;
  };
  const bool out = unset(STD_OUTPUT_HANDLE), err = unset(STD_ERROR_HANDLE);
  if ((!out && !err) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (out) std::freopen("CONOUT$", "w", stdout);
  if (err) std::freopen("CONOUT$", "w", stderr);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  if (wide != nullptr && count == argc) {
    for (int i = 0; i < count; ++i) args.push_back(Narrow(wide[i]));
  } else {
    // The two parsers disagree only on odd quoting; the C library's split wins then.
    args.assign(argv, argv + argc);
  }
  if (wide != nullptr) LocalFree(wide);
  return args;
}

std::string DocumentsFolder() {
  const std::string path = ShellFolder(CSIDL_PERSONAL);
  return path.empty() ? "." : path;
}

char PathSeparator() { return '\\'; }

const char* PathSeparators() { return "\\/:"; }

std::string NonRegularKind(const std::string& utf8Path) {
  const std::wstring wide = Widen(utf8Path);
  if (wide.empty()) return {};
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return {};
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "Folder";
  if (attributes & FILE_ATTRIBUTE_DEVICE) return "Device";
  return {};
}

std::FILE* OpenFileForReading(const std::string& utf8Path) {
  const std::wstring wide = Widen(utf8Path);
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
  const std::wstring wide = Widen(utf8Path);
  if (wide.empty()) return nullptr;
  return _wfopen(wide.c_str(), L"wb");
}

int64_t OpenFileLength(std::FILE* file) {
  if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
  const int64_t length = _ftelli64(file);
  _fseeki64(file, 0, SEEK_SET);
  return length;
}

bool LocalTime(std::time_t t, std::tm& out) { return localtime_s(&out, &t) == 0; }

std::string InstalledDataFolder() {
  if (const wchar_t* env = _wgetenv(L"VORN7730_DATA"); env && *env) return Narrow(env);
  // An unpacked or installed program keeps its data in "data" beside it.
  if (const std::wstring beside = ProgramFolder() + L"\\data"; IsFolder(beside)) return Narrow(beside);
#ifdef VORN_BUILD_DATA_DIR
  // In a build tree the build lays the data out in one folder.
  if (IsFolder(Widen(VORN_BUILD_DATA_DIR))) return VORN_BUILD_DATA_DIR;
#endif
  return "";
}

std::string UserDataFolder() {
  // Per user and per machine, like ~/.local/share elsewhere; never the
  // program's folder, which users often may not write.
  const std::string base = ShellFolder(CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE);
  if (base.empty()) return "";
  const std::string folder = base + "\\vorn7730";
  const std::wstring wide = Widen(folder);
  if (!CreateDirectoryW(wide.c_str(), nullptr) && !IsFolder(wide)) return "";
  return folder;
}

// Ports are handles, never C runtime descriptors, so a closed standard stream
// cannot lend its number to one; the runtime's writes to it just fail.
void OpenClosedStandardStreams() {}

}  // namespace vorn::platform
