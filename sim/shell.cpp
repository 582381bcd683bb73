#include "sim/shell.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>
#include <cstdio>
#include <cstring>

#include "sim/console.h"
#include "sim/programs.h"

namespace vsim {

std::string Thousands(uint64_t n) {
  std::string digits = std::to_string(n);
  std::string out;
  int count = 0;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (count > 0 && count % 3 == 0) out.insert(out.begin(), ',');
    out.insert(out.begin(), *it);
    ++count;
  }
  return out;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string DirLine(const DirEntry& e) {
  std::string base, ext;
  SplitName(e.name, &base, &ext);
  std::string size;
  if (!e.isDir) {
    size = Thousands(e.size);
    // Seven columns hold up to 999,999 with separators; larger sizes drop them to fit.
    if (size.size() > 7) size = std::to_string(e.size);
  }
  int hour = e.stamp.Hour();
  char ampm = hour < 12 ? 'a' : 'p';
  int hour12 = hour % 12 == 0 ? 12 : hour % 12;
  char buf[96];
  std::snprintf(buf, sizeof buf, "%-8.8s %-3.3s %-5s %7.7s %02d-%02d-%02d  %2d:%02d%c", base.c_str(),
                ext.c_str(), e.isDir ? "<DIR>" : "", size.c_str(), e.stamp.Month(), e.stamp.Day(),
                e.stamp.Year() % 100, hour12, e.stamp.Minute(), ampm);
  return buf;
}

namespace {

// As DOS: 127 characters with the carriage return that ends the line.
constexpr size_t kMaxLine = 126;
constexpr size_t kMaxDepth = 32;

// DOS-style wildcard match of an upper-case name against a pattern with * and ?.
// Both are compared as "BASE.EXT" so that "*.*" matches names without an extension.
bool Glob(const char* p, const char* s) {
  if (*p == 0) return *s == 0;
  if (*p == '*') {
    for (const char* t = s;; ++t) {
      if (Glob(p + 1, t)) return true;
      if (*t == 0) return false;
    }
  }
  if (*s == 0) return false;
  if (*p == '?' || *p == *s) return Glob(p + 1, s + 1);
  return false;
}

bool MatchName(const std::string& pattern, const std::string& name) {
  if (pattern == "*.*" || pattern == "*") return true;
  if (name == "." || name == "..") return false;
  std::string full = name.find('.') == std::string::npos ? name + "." : name;
  std::string pat = pattern.find('.') == std::string::npos ? pattern + ".*" : pattern;
  return Glob(pat.c_str(), full.c_str());
}

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

// Splits "A B  C" at blanks.
std::vector<std::string> Words(const std::string& s) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : s) {
    if (c == ' ' || c == '\t') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

// Header lines must stay at 40 visible characters: a listing reader takes every
// longer line for an entry. Deep paths are shortened in the middle.
std::string DirectoryOfLine(char drive, const DrivePath& dir) {
  const std::string prefix = " Directory of ";
  std::string full = Shell::PathText(drive, dir);
  if (prefix.size() + full.size() <= 40) return prefix + full;
  std::string tail;
  for (size_t i = dir.size(); i-- > 0;) {
    std::string candidate = "\\" + dir[i] + tail;
    if (prefix.size() + 5 + candidate.size() > 40) break;
    tail = candidate;
  }
  return prefix + std::string(1, drive) + ":\\..." + tail;
}

}  // namespace

Shell::Shell(Console& console, Drive& drive, const ProgramTable& programs,
             std::function<Options()> options)
    : con_(console), drive_(drive), programs_(programs), options_(std::move(options)) {}

char Shell::CurrentDrive() const {
  std::lock_guard<std::mutex> lock(stateMu_);
  return curDrive_;
}

std::string Shell::CurrentDirText() const {
  std::lock_guard<std::mutex> lock(stateMu_);
  return PathText(curDrive_, curDrive_ == 'D' ? cwdD_ : DrivePath{});
}

void Shell::ResetDriveD() {
  std::lock_guard<std::mutex> lock(stateMu_);
  cwdD_.clear();
}

DrivePath Shell::Cwd(char drive) const {
  std::lock_guard<std::mutex> lock(stateMu_);
  return drive == 'D' ? cwdD_ : DrivePath{};
}

std::string Shell::PathText(char drive, const DrivePath& path) {
  std::string s(1, drive);
  s += ":";
  if (path.empty()) return s + "\\";
  for (const auto& p : path) s += "\\" + p;
  return s;
}

std::string Shell::Prompt() const { return CurrentDirText() + ">"; }

bool Shell::ResolvePath(const std::string& text, char* drive, DrivePath* out) const {
  std::string t = text;
  char d = CurrentDrive();
  if (t.size() >= 2 && t[1] == ':' && std::isalpha(static_cast<unsigned char>(t[0]))) {
    d = char(std::toupper(static_cast<unsigned char>(t[0])));
    t = t.substr(2);
    if (d != 'C' && d != 'D') return false;
  }
  DrivePath p = (!t.empty() && t[0] == '\\') ? DrivePath{} : Cwd(d);
  if (!WalkPath(p, t)) return false;
  *drive = d;
  *out = p;
  return true;
}

FsError Shell::StatAny(char drive, const DrivePath& path, DirEntry* out) const {
  if (drive == 'D') return drive_.Stat(path, out);
  if (path.empty()) {
    if (out) *out = DirEntry{"", true, 0, {}};
    return FsError::None;
  }
  if (path.size() > 1) return FsError::PathNotFound;
  const Program* p = programs_.Find(path[0], ProgramHome::DriveC);
  if (!p || p->name != path[0]) return FsError::NotFound;
  if (out) *out = DirEntry{p->name, false, p->size, p->stamp};
  return FsError::None;
}

FsError Shell::ListAny(char drive, const DrivePath& dir, std::vector<DirEntry>* out) const {
  if (drive == 'D') return drive_.List(dir, out);
  if (!dir.empty()) return FsError::PathNotFound;
  out->clear();
  for (const Program* p : programs_.OnDriveC()) out->push_back(DirEntry{p->name, false, p->size, p->stamp});
  return FsError::None;
}

uint32_t Shell::FreeBytes(char drive) const { return drive == 'D' ? drive_.BytesFree() : 0; }

void Shell::Out(const std::string& s) { con_.Write(s); }
void Shell::Line(const std::string& s) {
  con_.Write(s + "\r\n");
  constexpr uint64_t kLinesBetweenPauses = 4;
  const uint32_t pause = options_().pauseOutputMs;
  if (pause != 0 && ++linesPrinted_ % kLinesBetweenPauses == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(pause));
}

void Shell::Run() {
  while (!con_.Stopping()) {
    uint8_t b;
    if (con_.ReadByte(&b, 200)) HandleByte(b);
  }
}

void Shell::Echo(uint8_t b, const Options& o) {
  if (!o.echo) return;
  if (o.wrongEcho) {
    con_.WriteByte(uint8_t(b ^ 0x01));
    return;
  }
  if (b == '\r') {
    con_.Write("\r\n");  // the next output starts on a line of its own
  } else {
    con_.WriteByte(b);
  }
}

void Shell::HandleByte(uint8_t b) {
  Options o = options_();
  // Terminal keys (cursor keys ESC [ A-D, function keys ESC O P-S) have no meaning here.
  if (escState_ == 1) {
    if (b == '[' || b == 'O') {
      escState_ = 2;
      return;
    }
    escState_ = 0;
  } else if (escState_ == 2) {
    if (b >= 0x30 && b <= 0x3F) return;  // parameter bytes
    escState_ = 0;
    if (b >= 0x40 && b <= 0x7E) return;  // the final byte
  }

  switch (b) {
    case 27:
      escState_ = 1;
      return;
    case '\r': {
      Echo(b, o);
      std::string line;
      line.swap(line_);
      if (o.longLineWithoutEnd) {
        std::string junk;
        for (int i = 0; i < 1500; ++i) junk += char('A' + i % 26);
        Out(junk + Prompt());
        return;
      }
      Execute(line);
      if (afterCommand_) afterCommand_();
      Out("\r\n" + Prompt());
      return;
    }
    case '\n':
      return;  // a host line end is CR alone; a following LF is noise
    case 8:
    case 127:
      if (!line_.empty()) {
        line_.pop_back();
        if (o.echo) Out("\b \b");
      }
      return;
    case 3:  // Ctrl-C drops the line
      line_.clear();
      if (o.echo) Out("^C\r\n");
      Out("\r\n" + Prompt());
      return;
    default:
      break;
  }
  if (b < 32 && b != '\t') return;
  if (line_.size() >= kMaxLine) {
    con_.WriteByte(7);  // the line is full: beep instead of echo
    return;
  }
  line_ += char(b);
  Echo(b, o);
}

void Shell::Execute(const std::string& line, int depth) {
  std::string s = Trim(line);
  if (s.empty()) return;
  if (s.size() == 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]))) {
    ChangeDrive(s[0]);
    return;
  }
  size_t n = 0;
  while (n < s.size() && std::isalpha(static_cast<unsigned char>(s[n]))) ++n;
  std::string word = Lower(s.substr(0, n));
  std::string rest = s.substr(n);
  bool separated = rest.empty() || std::strchr(" \t\\./<>", rest[0]) != nullptr;
  if (separated) {
    std::string arg = Trim(rest);
    if (word == "cd" || word == "chdir") return CmdCd(arg);
    if (word == "dir") return CmdDir(arg);
    if (word == "del" || word == "erase") return CmdDel(arg);
    if (word == "rd" || word == "rmdir") return CmdRd(arg);
    if (word == "md" || word == "mkdir") return CmdMd(arg);
    if (word == "ren" || word == "rename") return CmdRen(arg);
    if (word == "echo") return CmdEcho(rest);
    if (word == "type") return CmdType(arg);
    if (word == "ver") {
      Line("");
      Line("VORN-7730 shell version 2.10");
      // The utility sends its do-nothing stand-ins only to a controller that
      // names itself here; one playing a real controller keeps quiet.
      if (!options_().asRealController) Line("VORN-7730 virtual controller");
      return;
    }
    // Abort key, screen and environment commands: nothing to do here.
    if ((word == "a" && rest.empty()) || word == "cls" || word == "rem" || word == "set" ||
        word == "path" || word == "prompt")
      return;
  }
  RunProgram(s, depth);
}

void Shell::ChangeDrive(char letter) {
  char d = char(std::toupper(static_cast<unsigned char>(letter)));
  if (d != 'C' && d != 'D') {
    Line("Invalid drive");
    return;
  }
  std::lock_guard<std::mutex> lock(stateMu_);
  curDrive_ = d;
}

void Shell::CmdCd(const std::string& arg) {
  if (arg.empty()) {
    char d = CurrentDrive();
    Line(PathText(d, Cwd(d)));
    return;
  }
  char d;
  DrivePath p;
  DirEntry e;
  if (!ResolvePath(arg, &d, &p) || StatAny(d, p, &e) != FsError::None || !e.isDir) {
    Line("Invalid directory");
    return;
  }
  if (d == 'D') {
    std::lock_guard<std::mutex> lock(stateMu_);
    cwdD_ = p;
  }
}

void Shell::DirHeader(char drive) {
  Line("");
  if (drive == 'D') {
    std::string label = drive_.Label();
    Line(label.empty() ? " Volume in drive D has no label" : " Volume in drive D is " + label);
    uint32_t serial = drive_.Serial();
    char buf[48];
    std::snprintf(buf, sizeof buf, " Volume Serial Number is %04X-%04X", serial >> 16, serial & 0xFFFF);
    Line(buf);
  } else {
    Line(" Volume in drive C is ROMDISK");
  }
}

void Shell::DirBlock(char drive, const DrivePath& dir, const std::vector<DirEntry>& entries,
                     uint32_t* files, uint64_t* bytes, uint32_t* dirs) {
  Line(DirectoryOfLine(drive, dir));
  Line("");
  uint32_t f = 0;
  uint64_t b = 0;
  for (const DirEntry& e : entries) {
    Line(DirLine(e));
    if (e.isDir) {
      ++*dirs;
    } else {
      ++f;
      b += e.size;
    }
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%9u file(s) %14s bytes", f, Thousands(b).c_str());
  Line(buf);
  *files += f;
  *bytes += b;
}

void Shell::CmdDir(const std::string& arg) {
  bool recursive = false;
  std::string name;
  for (size_t i = 0; i < arg.size();) {
    char c = arg[i];
    if (c == ' ' || c == '\t') {
      ++i;
    } else if (c == '/') {
      ++i;
      while (i < arg.size() && arg[i] != ' ' && arg[i] != '/') {
        if (arg[i] == 's' || arg[i] == 'S') recursive = true;
        ++i;
      }
    } else {
      size_t j = i;
      while (j < arg.size() && arg[j] != ' ' && arg[j] != '\t' && arg[j] != '/') ++j;
      if (name.empty()) name = arg.substr(i, j - i);
      i = j;
    }
  }

  // Which directory to start in and which names to show there.
  char d = CurrentDrive();
  DrivePath dir = Cwd(d);
  std::string pattern = "*.*";
  if (!name.empty()) {
    std::string dirPart, last = name;
    size_t cut = name.find_last_of("\\:");
    if (cut != std::string::npos) {
      dirPart = name.substr(0, cut + 1);
      last = name.substr(cut + 1);
    }
    if (HasWildcard(last)) {
      if (!ResolvePath(dirPart.empty() ? "." : dirPart, &d, &dir)) {
        Line("Invalid directory");
        return;
      }
      pattern = Upper(last);
    } else {
      DrivePath p;
      if (!ResolvePath(name, &d, &p)) {
        Line("Invalid directory");
        return;
      }
      DirEntry e;
      if (StatAny(d, p, &e) == FsError::None && e.isDir) {
        dir = p;
      } else {
        if (p.empty()) {
          Line("File not found");
          return;
        }
        pattern = p.back();
        dir.assign(p.begin(), p.end() - 1);
      }
    }
  }

  std::vector<DirEntry> all;
  if (ListAny(d, dir, &all) != FsError::None) {
    Line("File not found");
    return;
  }

  uint32_t files = 0, dirs = 0;
  uint64_t bytes = 0;
  char buf[64];
  if (!recursive) {
    std::vector<DirEntry> shown;
    for (const DirEntry& e : all)
      if (MatchName(pattern, e.name)) shown.push_back(e);
    // An empty directory is still listed, so that its free space is reported.
    if (shown.empty() && pattern != "*.*") {
      Line("File not found");
      return;
    }
    DirHeader(d);
    DirBlock(d, dir, shown, &files, &bytes, &dirs);
  } else {
    bool headed = false;
    // Depth-first, each directory's own entries before its subdirectories.
    std::vector<DrivePath> todo{dir};
    while (!todo.empty()) {
      DrivePath cur = todo.front();
      todo.erase(todo.begin());
      std::vector<DirEntry> entries;
      if (ListAny(d, cur, &entries) != FsError::None) continue;
      std::vector<DirEntry> shown;
      std::vector<DrivePath> subdirs;
      for (const DirEntry& e : entries) {
        if (MatchName(pattern, e.name)) shown.push_back(e);
        if (e.isDir && e.name != "." && e.name != "..") {
          DrivePath sub = cur;
          sub.push_back(e.name);
          subdirs.push_back(sub);
        }
      }
      // A damaged image may hold a directory that contains itself; stop at a depth
      // no real path reaches.
      if (cur.size() < kMaxDepth) todo.insert(todo.begin(), subdirs.begin(), subdirs.end());
      if (shown.empty() && !(pattern == "*.*" && cur == dir)) continue;
      if (!headed) DirHeader(d);
      headed = true;
      DirBlock(d, cur, shown, &files, &bytes, &dirs);
      Line("");
    }
    if (!headed) {
      Line("File not found");
      return;
    }
    Line("     Total files listed:");
    std::snprintf(buf, sizeof buf, "%9u file(s) %14s bytes", files, Thousands(bytes).c_str());
    Line(buf);
  }
  std::snprintf(buf, sizeof buf, "%9u dir(s) %14s bytes free", dirs, Thousands(FreeBytes(d)).c_str());
  Line(buf);
}

void Shell::CmdDel(const std::string& arg) {
  if (arg.empty()) {
    Line("Required parameter missing");
    return;
  }
  char d;
  DrivePath p;
  if (!ResolvePath(arg, &d, &p) || p.empty()) {
    Line("Invalid file name");
    return;
  }
  if (d == 'C') {
    Line("Access denied");
    return;
  }
  switch (drive_.RemoveFile(p)) {
    case FsError::None: break;
    case FsError::NotFound: Line("File not found"); break;
    case FsError::IsDirectory: Line("Access denied"); break;
    case FsError::PathNotFound: Line("Invalid path"); break;
    default: Line("Invalid file name"); break;
  }
}

void Shell::CmdRd(const std::string& arg) {
  if (arg.empty()) {
    Line("Required parameter missing");
    return;
  }
  char d;
  DrivePath p;
  bool ok = ResolvePath(arg, &d, &p) && d == 'D' && !p.empty();
  if (ok) {
    DrivePath cwd = Cwd('D');
    if (cwd.size() >= p.size() && std::equal(p.begin(), p.end(), cwd.begin())) {
      Line("Attempt to remove current directory");
      return;
    }
    ok = drive_.RemoveDir(p) == FsError::None;
  }
  if (!ok) {
    Line("Invalid path, not directory,");
    Line("or directory not empty");
  }
}

void Shell::CmdMd(const std::string& arg) {
  if (arg.empty()) {
    Line("Required parameter missing");
    return;
  }
  char d;
  DrivePath p;
  if (!ResolvePath(arg, &d, &p)) {
    Line("Invalid directory name");
    return;
  }
  if (d == 'C' || p.empty()) {
    Line("Unable to create directory");
    return;
  }
  FsError err = drive_.MakeDir(p, NowStamp());
  if (err == FsError::InvalidName) {
    Line("Invalid directory name");
  } else if (err != FsError::None) {
    Line("Unable to create directory");
  }
}

void Shell::CmdRen(const std::string& arg) {
  std::vector<std::string> w = Words(arg);
  if (w.size() < 2) {
    Line("Required parameter missing");
    return;
  }
  if (w.size() > 2) {
    Line("Invalid number of parameters");
    return;
  }
  char d;
  DrivePath p;
  if (!ResolvePath(w[0], &d, &p) || p.empty() || HasWildcard(w[0])) {
    Line("Invalid path or file name");
    return;
  }
  // The new name is a bare name: a file stays in its directory.
  if (w[1].find_first_of("\\:") != std::string::npos || CanonicalName(w[1]).empty()) {
    Line("Invalid file name");
    return;
  }
  if (d == 'C') {
    Line("Invalid drive, C: is read-only");
    return;
  }
  switch (drive_.Rename(p, w[1])) {
    case FsError::None: break;
    case FsError::NotFound:
    case FsError::Exists: Line("Duplicate file name or file not found"); break;
    case FsError::PathNotFound: Line("Invalid path"); break;
    default: Line("Invalid file name"); break;
  }
}

void Shell::CmdEcho(const std::string& rest) {
  std::string text = rest;
  if (!text.empty() && (text[0] == ' ' || text[0] == '\t' || text[0] == '.')) text.erase(0, 1);
  std::string target;
  bool append = false;
  size_t gt = text.find('>');
  if (gt != std::string::npos) {
    append = gt + 1 < text.size() && text[gt + 1] == '>';
    target = Trim(text.substr(gt + (append ? 2 : 1)));
    text.erase(gt);
  }
  if (gt == std::string::npos) {
    if (Trim(rest).empty()) {
      Line("ECHO is on");
    } else if (std::string l = Lower(Trim(text)); l != "on" && l != "off") {
      Line(text);
    }
    return;
  }
  char d;
  DrivePath p;
  if (target.empty() || !ResolvePath(target, &d, &p) || p.empty()) {
    Line("File creation error");
    return;
  }
  if (d == 'C') {
    Line("Access denied");
    return;
  }
  std::string content = text + "\r\n";
  FsError err = append ? drive_.AppendFile(p, content, NowStamp()) : drive_.WriteFile(p, content, NowStamp());
  if (err == FsError::NoSpace) {
    Line("Insufficient disk space");
  } else if (err != FsError::None) {
    Line("File creation error");
  }
}

void Shell::CmdType(const std::string& arg) {
  char d;
  DrivePath p;
  std::string content;
  if (arg.empty()) {
    Line("Required parameter missing");
    return;
  }
  if (!ResolvePath(arg, &d, &p) || d != 'D' || drive_.ReadFile(p, &content) != FsError::None) {
    Line("File not found");
    return;
  }
  size_t eof = content.find('\x1A');  // text ends at Ctrl-Z
  if (eof != std::string::npos) content.erase(eof);
  Out(content);
  if (!content.empty() && content.back() != '\n') Out("\r\n");
}

void Shell::RunProgram(const std::string& line, int depth) {
  size_t blank = line.find_first_of(" \t");
  std::string token = line.substr(0, blank);
  std::string args = blank == std::string::npos ? "" : Trim(line.substr(blank));
  char d;
  DrivePath p;
  if (!ResolvePath(token, &d, &p) || p.empty()) {
    Line("Bad command or file name");
    return;
  }
  std::string base, ext;
  SplitName(p.back(), &base, &ext);
  std::vector<std::string> names;
  if (ext.empty()) {
    for (const char* e : {".COM", ".EXE", ".BAT"}) names.push_back(base + e);
  } else {
    names.push_back(p.back());
  }
  // A bare name is looked for in the current directory and then on C:\ (the search path).
  struct Place {
    char drive;
    DrivePath dir;
  };
  std::vector<Place> places{{d, DrivePath(p.begin(), p.end() - 1)}};
  bool explicitPath = token.find_first_of("\\:") != std::string::npos;
  if (!explicitPath && d != 'C') places.push_back({'C', {}});

  for (const Place& place : places) {
    for (const std::string& n : names) {
      DrivePath file = place.dir;
      file.push_back(n);
      DirEntry e;
      if (StatAny(place.drive, file, &e) != FsError::None || e.isDir) continue;
      SplitName(n, &base, &ext);
      if (ext == "BAT") {
        std::string content;
        if (place.drive == 'D' && drive_.ReadFile(file, &content) == FsError::None) RunBatch(content, depth);
        return;
      }
      ProgramContext ctx{con_, drive_, *this, n, args, options_};
      // A real controller runs a stand-in as what it is: it prints its line.
      std::string image;
      if (place.drive == 'D' && options_().asRealController && drive_.ReadFile(file, &image) == FsError::None &&
          RunStandIn(ctx, image))
        return;
      const Program* prog =
          programs_.Find(n, place.drive == 'C' ? ProgramHome::DriveC : ProgramHome::DriveD);
      if (prog && prog->run) {
        prog->run(ctx);
      } else {
        RunGenericProgram(ctx);
      }
      return;
    }
  }
  Line("Bad command or file name");
}

void Shell::RunBatch(const std::string& content, int depth) {
  if (depth >= 3) return;  // a batch file that calls itself must not hang the shell
  size_t pos = 0;
  while (pos < content.size() && !con_.Stopping()) {
    size_t end = content.find('\n', pos);
    if (end == std::string::npos) end = content.size();
    std::string l = content.substr(pos, end - pos);
    pos = end + 1;
    if (!l.empty() && l.back() == '\r') l.pop_back();
    l = Trim(l);
    if (!l.empty() && l[0] == '@') l.erase(0, 1);
    if (Lower(l.substr(0, 5)) == "call ") l = l.substr(5);
    Execute(l, depth + 1);
  }
}

}  // namespace vsim
