// Host services on POSIX systems. The "registry" is a small settings file in
// the user's configuration folder: one "[key]" section per key, "name=value"
// lines below it.
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "platform/host.h"

extern char** environ;

namespace vorn::platform {

namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid())) return pw->pw_dir;
  return "/tmp";
}

std::string SettingsFile() {
  if (const char* file = std::getenv("VORN7730_SETTINGS"); file && *file) return file;
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    base = xdg;
  else
    base = HomeFolder() + "/.config";
  return base + "/vorn7730/registry.ini";
}

using Sections = std::map<std::string, std::map<std::string, std::string>>;

// Values are kept on one line: backslashes and line ends are escaped.
std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char n = s[++i];
      out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool Load(Sections& sections) {
  std::ifstream in(SettingsFile());
  if (!in) return false;
  std::string line, current;
  while (std::getline(in, line)) {
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      current = Unescape(line.substr(1, line.size() - 2));
      sections[current];
    } else if (auto eq = line.find('='); eq != std::string::npos && !current.empty()) {
      sections[current][Unescape(line.substr(0, eq))] = Unescape(line.substr(eq + 1));
    }
  }
  return true;
}

bool Save(const Sections& sections) {
  const std::filesystem::path file = SettingsFile();
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  // Write a neighbour and rename it, so an interrupted save never leaves a
  // half-written settings file behind.
  const std::string temp = file.string() + ".tmp";
  {
    std::ofstream out(temp, std::ios::trunc);
    if (!out) return false;
    for (const auto& [key, values] : sections) {
      out << '[' << Escape(key) << "]\n";
      for (const auto& [name, data] : values) out << Escape(name) << '=' << Escape(data) << '\n';
    }
    if (!out.flush()) return false;
  }
  return std::rename(temp.c_str(), file.c_str()) == 0;
}

class FileRegistry : public Registry {
 public:
  std::optional<std::string> ReadString(const std::string& key, const std::string& value) override {
    Sections sections;
    if (!Load(sections)) return std::nullopt;
    auto it = sections.find(key);
    if (it == sections.end()) return std::nullopt;
    auto v = it->second.find(value);
    return v == it->second.end() ? std::string() : v->second;
  }
  bool WriteString(const std::string& key, const std::string& value, const std::string& data) override {
    Sections sections;
    Load(sections);
    sections[key][value] = data;
    return Save(sections);
  }
};

}  // namespace

Registry& HostRegistry() {
  static FileRegistry registry;
  return registry;
}

namespace {

std::string ErrnoText(int error) { return std::strerror(error); }

// Makes a folder only the user may enter; true when it is there as a real
// folder (not a link) afterwards.
bool MakePrivateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A path as the trash information file writes it: URL-escaped, "/" kept.
std::string EscapedPath(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (std::isalnum(c) || std::strchr("/-_.~!$&'()*+,;=:@", c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// The mount point of the volume that holds path: the highest folder above it
// on the same device.
std::string TopFolder(const std::string& path, dev_t device) {
  std::filesystem::path top = std::filesystem::path(path).parent_path();
  while (top.has_relative_path()) {
    struct stat st {};
    const std::filesystem::path up = top.parent_path();
    if (stat(up.c_str(), &st) != 0 || st.st_dev != device) break;
    top = up;
  }
  return top.string();
}

// Writes the information file and moves the item into trash/files under a
// name no earlier item there has. shownPath is what the file records.
bool TrashInto(const std::string& trash, const std::string& path, const std::string& shownPath,
               std::string& error) {
  const std::string files = trash + "/files", info = trash + "/info";
  if (!MakePrivateFolder(trash) || !MakePrivateFolder(files) || !MakePrivateFolder(info)) {
    error = "the trash folder " + trash + " cannot be made: " + ErrnoText(errno);
    return false;
  }
  const std::string base = std::filesystem::path(path).filename().string();
  for (int n = 1; n < 10000; ++n) {
    const std::string name = n == 1 ? base : base + "." + std::to_string(n);
    const std::string infoPath = info + "/" + name + ".trashinfo";
    // The information file is made first and exclusively: it reserves the name.
    const int fd = open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      error = "the trash folder " + info + " cannot be written: " + ErrnoText(errno);
      return false;
    }
    struct stat there {};
    if (lstat((files + "/" + name).c_str(), &there) == 0) {
      close(fd);
      unlink(infoPath.c_str());
      continue;
    }
    char date[32] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const std::string text = "[Trash Info]\nPath=" + EscapedPath(shownPath) + "\nDeletionDate=" + date + "\n";
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const int writeError = errno;
    close(fd);
    if (!written) {
      unlink(infoPath.c_str());
      error = "the trash folder " + info + " cannot be written: " + ErrnoText(writeError);
      return false;
    }
    if (std::rename(path.c_str(), (files + "/" + name).c_str()) != 0) {
      const int moveError = errno;
      unlink(infoPath.c_str());
      error = ErrnoText(moveError);
      return false;
    }
    return true;
  }
  error = "the trash holds too many items of that name";
  return false;
}

}  // namespace

bool MoveToTrash(const std::string& given, std::string& error) {
  std::error_code ec;
  // The item's folder is made absolute, the item itself is not followed.
  const std::filesystem::path item(given);
  const std::filesystem::path folder = std::filesystem::canonical(
      item.has_parent_path() ? item.parent_path() : std::filesystem::current_path(ec), ec);
  if (ec || item.filename().empty() || item.filename() == "." || item.filename() == "..") {
    error = given + " cannot be found";
    return false;
  }
  const std::string path = (folder / item.filename()).string();
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) {
    error = ErrnoText(errno);
    return false;
  }
  // The user's own trash, when it lies on the item's volume.
  std::string data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg && xdg[0] == '/')
    data = xdg;
  else
    data = HomeFolder() + "/.local/share";
  std::filesystem::create_directories(data, ec);
  struct stat dataSt {};
  if (stat(data.c_str(), &dataSt) == 0 && dataSt.st_dev == st.st_dev)
    return TrashInto(data + "/Trash", path, path, error);
  // Otherwise the volume's own: $top/.Trash/$uid when the administrator made
  // a sticky, unlinked .Trash there, else $top/.Trash-$uid. Its information
  // files name the item relative to the volume.
  const std::string top = TopFolder(path, st.st_dev);
  const std::string relative = path.substr(top == "/" ? 1 : top.size() + 1);
  const std::string uid = std::to_string(getuid());
  struct stat shared {};
  const std::string sharedTrash = top + "/.Trash";
  if (lstat(sharedTrash.c_str(), &shared) == 0 && S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX)) {
    std::string ignored;
    if (TrashInto(sharedTrash + "/" + uid, path, relative, ignored)) return true;
  }
  if (TrashInto((top == "/" ? std::string() : top) + "/.Trash-" + uid, path, relative, error)) return true;
  error = "there is no trash on the volume of " + path + " (" + error + ")";
  return false;
}

void Beep(uint32_t freqHz, uint32_t ms) {
  // A console bell is the nearest a desktop host offers; keep the duration so
  // the caller's pacing stays the same.
  (void)freqHz;
  if (isatty(STDERR_FILENO)) {
    ssize_t ignored = write(STDERR_FILENO, "\a", 1);
    (void)ignored;
  }
  usleep(ms * 1000);
}

// The thread's timer slack (50 us by default) is added to every timed wait.
FineTimerScope::FineTimerScope() {
#ifdef __linux__
  const int slack = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  if (slack > 0 && prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0) {
    saved_ = static_cast<unsigned long>(slack);
    active_ = true;
  }
#endif
}

FineTimerScope::~FineTimerScope() {
#ifdef __linux__
  if (active_) prctl(PR_SET_TIMERSLACK, saved_, 0, 0, 0);
#endif
}

void MessageBeep(uint32_t) {
  if (isatty(STDERR_FILENO)) {
    ssize_t ignored = write(STDERR_FILENO, "\a", 1);
    (void)ignored;
  }
}

// Programs here rarely carry an extension, so the filter goes by permission.
const char* ProgramFileFilter() { return "Programs|:executable|All files|*"; }

namespace {

// Words of a command line: blanks separate them; single and double quotes
// keep blanks inside a word, and a backslash takes the next character as it is.
std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quote) {
      if (c == quote) quote = 0;
      else if (c == '\\' && quote == '"' && i + 1 < line.size()) word += line[++i];
      else word += c;
    } else if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      inWord = true;
      if (c == '\'' || c == '"') quote = c;
      else if (c == '\\' && i + 1 < line.size()) word += line[++i];
      else word += c;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A name without a slash is looked up on the search path, as a shell would.
std::string ResolveProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path && *path ? path : "/usr/local/bin:/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return name;  // the exec then fails and says so
}

}  // namespace

bool StartProgram(const std::string& commandLine) {
  // A line that names an existing file is the program itself, blanks and
  // all; otherwise it is a program followed by its arguments.
  struct stat st {};
  std::vector<std::string> args;
  if (stat(commandLine.c_str(), &st) == 0)
    args.push_back(commandLine);
  else
    args = SplitCommandLine(commandLine);
  if (args.empty() || args[0].empty()) return false;
  const std::string program = ResolveProgram(args[0]);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  // The exec's outcome comes back through a pipe that a successful exec
  // closes: a file that is no program, or lacks its loader, is reported.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  // Double fork: the program is not our child and never becomes a zombie.
  pid_t pid = fork();
  if (pid < 0) {
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (pid == 0) {
    setsid();
    pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild > 0 ? 0 : 1);
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    // execv, not execvp: a text file without "#!" must fail, not go to the shell.
    execv(program.c_str(), argv.data());
    const int err = errno;
    ssize_t ignored = write(report[1], &err, sizeof err);
    (void)ignored;
    _exit(127);
  }
  close(report[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  int err = 0;
  ssize_t n;
  do {
    n = read(report[0], &err, sizeof err);
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

std::string DocumentsFolder() {
  const std::string home = HomeFolder();
  // The XDG user-dirs file names the documents folder when the desktop set one.
  std::ifstream dirs(home + "/.config/user-dirs.dirs");
  std::string line;
  while (std::getline(dirs, line)) {
    const std::string key = "XDG_DOCUMENTS_DIR=\"";
    if (line.rfind(key, 0) == 0 && line.size() > key.size()) {
      std::string value = line.substr(key.size(), line.size() - key.size() - 1);
      if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
      if (std::filesystem::is_directory(value)) return value;
    }
  }
  if (std::filesystem::is_directory(home + "/Documents")) return home + "/Documents";
  return home;
}

char PathSeparator() { return '/'; }

const char* PathSeparators() { return "/"; }

namespace {
std::string SpecialKind(mode_t mode) {
  if (S_ISDIR(mode)) return "Folder";
  if (S_ISFIFO(mode)) return "FIFO";
  if (S_ISCHR(mode)) return "Character Device";
  if (S_ISBLK(mode)) return "Block Device";
  if (S_ISSOCK(mode)) return "Socket";
  if (!S_ISREG(mode)) return "Special File";
  return {};
}
}  // namespace

std::string NonRegularKind(const std::string& utf8Path) {
  struct stat st {};
  if (stat(utf8Path.c_str(), &st) != 0) return {};
  return SpecialKind(st.st_mode);
}

std::FILE* OpenFileForReading(const std::string& utf8Path) {
  // Without O_NONBLOCK the open of a FIFO waits for a writer that may never come.
  const int fd = open(utf8Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = fdopen(fd, "rb");
  if (!file) close(fd);
  return file;
}

std::FILE* OpenFileForWriting(const std::string& utf8Path, bool ownerOnly) {
  const int fd = ::open(utf8Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, ownerOnly ? 0600 : 0666);
  if (fd < 0) return nullptr;
  // An existing file keeps its mode on truncation: narrow it before anything is written.
  if (ownerOnly && ::fchmod(fd, 0600) != 0) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) ::close(fd);
  return file;
}
std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }
void UseStartingConsole() {}

int64_t OpenFileLength(std::FILE* file) {
  if (fseeko(file, 0, SEEK_END) != 0) return -1;
  const int64_t length = static_cast<int64_t>(ftello(file));
  fseeko(file, 0, SEEK_SET);
  return length;
}

bool LocalTime(std::time_t t, std::tm& out) { return localtime_r(&t, &out) != nullptr; }

std::string InstalledDataFolder() {
  std::error_code ec;
  if (const char* env = std::getenv("VORN7730_DATA"); env && *env) return env;
  // An installed program finds its data beside it: <prefix>/bin and <prefix>/share.
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const std::filesystem::path installed = exe.parent_path().parent_path() / "share" / "vorn7730";
    if (std::filesystem::is_directory(installed, ec)) return installed.string();
  }
#ifdef VORN_BUILD_DATA_DIR
  // In a build tree the build lays the data out in one folder.
  if (std::filesystem::is_directory(VORN_BUILD_DATA_DIR, ec)) return VORN_BUILD_DATA_DIR;
#endif
  return "";
}

std::string UserDataFolder() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
    base = xdg;
  else
    base = HomeFolder() + "/.local/share";
  const std::string folder = base + "/vorn7730";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return folder;
}

void OpenClosedStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number: fd itself, as the ones below it are open.
    const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}

}  // namespace vorn::platform
