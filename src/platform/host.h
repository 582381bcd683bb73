#pragma once
// Small host services the utility needs besides the serial device. The POSIX
// implementation lives in posix/, the Windows one in win/.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace vorn::platform {

// Registry values on Windows (written under HKEY_CURRENT_USER, read from there
// and else from HKEY_LOCAL_MACHINE); elsewhere a settings file
// in the user's configuration folder (VORN7730_SETTINGS names another file, so
// tests keep their own). Failures are silent: a failed read is empty, a failed
// write is false.
class Registry {
 public:
  virtual ~Registry() = default;
  // nullopt when the key does not exist; "" when the key exists without the value.
  virtual std::optional<std::string> ReadString(const std::string& key, const std::string& value) = 0;
  // Opens the key, creating it when missing, and writes the value.
  virtual bool WriteString(const std::string& key, const std::string& value, const std::string& data) = 0;
};
Registry& HostRegistry();

// Moves a file or folder (a link itself, not what it points to) into the
// desktop's trash in the freedesktop.org layout:
// the user's trash under the data folder (made when missing), or the trash
// of the item's own volume. Nothing goes anywhere else: when neither can
// take it, false with the reason, and the item stays where it was. POSIX
// hosts only; Windows has its Recycle Bin.
#ifndef _WIN32
bool MoveToTrash(const std::string& path, std::string& error);
#endif

// The speaker: a tone of freq Hz for ms milliseconds (waits for it), and the
// host's standard alert sound.
void Beep(uint32_t freqHz, uint32_t ms);
void MessageBeep(uint32_t type);

// While one lives, short sleeps and time-outs of the calling thread end close
// to when they were asked to: without it a transfer's 5 ms pauses run over by
// the host's timer tick (about 15.6 ms on Windows) or timer slack (Linux).
class FineTimerScope {
 public:
  FineTimerScope();
  ~FineTimerScope();
  FineTimerScope(const FineTimerScope&) = delete;
  FineTimerScope& operator=(const FineTimerScope&) = delete;

 private:
  unsigned long saved_ = 0;
  bool active_ = false;
};

// Starts a program without waiting for it: a path to a program, or a program
// (a bare name is looked up on the search path) followed by its arguments.
// False when it could not be started, also when the file is no program.
bool StartProgram(const std::string& commandLine);
// The file dialog's filter for choosing a program, "label|pattern|..."; the
// pattern kExecutablePattern stands for the files the user may execute.
constexpr const char* kExecutablePattern = ":executable";
const char* ProgramFileFilter();

// Opens the null device on each of standard input, output and error that is
// closed. Call it first in main: a port opened while one is closed would take
// its number, and the program's own messages would be typed to the controller.
void OpenClosedStandardStreams();

// The program's arguments (argv[0] first) as UTF-8, as every host path is
// held. Windows hands main() its arguments in the ANSI code page, which cannot
// spell every file name, so there they are taken from the UTF-16 command line.
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// A Windows program built for the window system has no console of its own:
// when started from a console, its standard output and error go there (unless
// they were redirected). Nothing to do on other hosts.
void UseStartingConsole();

// The user's documents folder (no trailing separator).
std::string DocumentsFolder();
// The host's path separator as a character.
char PathSeparator();
// Every character that ends a folder part of a host path ("\\/:" on Windows).
const char* PathSeparators();

// Opens a host file for reading as raw bytes; the path is UTF-8, as the panes
// hold it, whatever the host's own code page. nullptr when it can't be opened
// or is not a regular file (the open never blocks on a FIFO or device).
std::FILE* OpenFileForReading(const std::string& utf8Path);
// Creates or truncates a host file for writing raw bytes (UTF-8 path).
// ownerOnly: where the host has file modes, only the owner may read or write
// it, also when it existed before. nullptr when it can't be opened.
std::FILE* OpenFileForWriting(const std::string& utf8Path, bool ownerOnly);
// What a host path is when it is neither a regular file nor missing: "Folder",
// "FIFO", "Character Device", "Block Device", "Socket"; empty otherwise.
// Only regular files can be uploaded: reading the others may block or never end.
std::string NonRegularKind(const std::string& utf8Path);
// The length of an open file in bytes (64-bit); -1 when it can't seek.
int64_t OpenFileLength(std::FILE* file);
// The broken-down local time; false when the time can't be converted.
bool LocalTime(std::time_t t, std::tm& out);

// The folders of the companion installation that holds the controller-side
// programs and the default files. Each ends in a separator; an empty one means
// bare file names in the current folder.
struct CompanionFolders {
  std::string tools;    // the image programs
  std::string source;   // the default files of the system initialisation
  std::string program;  // where the network settings files are written
};
// The utility's own settings key, and the folders the user chose in its
// windows for the controller-side programs and for the default files (laid
// out as the companion's Source folder). A chosen folder comes first.
inline constexpr const char* kUtilitySettingsKey = "Software\\TALVENRIK\\VORN-7730M Utility\\Config";
inline constexpr const char* kProgramsFolderValue = "Programs Folder";
inline constexpr const char* kDefaultFilesFolderValue = "Default Files Folder";
// The "Path" value of the companion's App Paths key is read, never written.
// Without it the tools and default files come from the data installed with
// this program, and the settings files go to the user's data folder.
CompanionFolders LocateCompanionFolders(Registry& registry);
// A folder as the folders above hold it: ending in a separator.
std::string WithTrailingSeparator(const std::string& folder);
// True for a do-nothing stand-in of a controller-side program, as shipped in
// the installed data (or a copy of one): it only prints a line on a
// controller. Such files go only to the virtual controller.
bool IsStandIn(const std::string& path);
// The full path of `name` in `folder` (a folder of CompanionFolders); empty
// when it is no file there, with `missing` naming the file and the folder
// looked in, so the user knows what to put where.
std::string CompanionFile(const std::string& folder, const std::string& name, std::string& missing);
// The folder of the data files installed with this program (VORN7730_DATA
// names another one): <prefix>/share/vorn7730 on POSIX hosts, "data" beside
// the program on Windows. Empty when there is none.
std::string InstalledDataFolder();
// This program's per-user data folder, created when missing (empty when it
// can't be): ~/.local/share/vorn7730, or %LOCALAPPDATA%\vorn7730 on Windows.
std::string UserDataFolder();

}  // namespace vorn::platform
