#include "remote/remote_listing.h"

#include "platform/host.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>

namespace vorn {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Characters first..last (1-based, both included) of the line; short lines give
// what there is.
std::string_view Columns(std::string_view line, size_t first, size_t last) {
  if (line.size() < first) return {};
  return line.substr(first - 1, last - first + 1);
}

// Lines of this length or shorter (line end included) carry no entry.
constexpr size_t kShortLine = 42;

std::string EntryName(std::string_view line) {
  std::string base = TrimText(Columns(line, 1, 8));
  std::string ext = TrimText(Columns(line, 10, 12));
  return ext.empty() ? base : base + "." + ext;
}

bool IsDirLine(std::string_view line) { return Columns(line, 14, 18) == "<DIR>"; }

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Reads 1..maxDigits digits at pos; false when there are none or too many.
bool ReadNumber(std::string_view s, size_t& pos, size_t maxDigits, int& value) {
  size_t start = pos;
  value = 0;
  while (pos < s.size() && IsDigit(s[pos])) {
    if (pos - start >= maxDigits) return false;
    value = value * 10 + (s[pos] - '0');
    ++pos;
  }
  return pos > start;
}

void SkipBlanks(std::string_view s, size_t& pos) {
  while (pos < s.size() && s[pos] == ' ') ++pos;
}

}  // namespace

const RemoteEntry* RemoteListing::RemoteEntryAt(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= Entries.size()) return nullptr;
  return &Entries[static_cast<size_t>(index)];
}

RemoteEntry* RemoteListing::RemoteEntryAt(int index) {
  if (index < 0 || static_cast<size_t>(index) >= Entries.size()) return nullptr;
  return &Entries[static_cast<size_t>(index)];
}

std::string TrimText(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
  return std::string(text.substr(b, e - b));
}

int32_t ParseSizeText(std::string_view text) {
  std::string s;
  for (char c : text)
    if (c != ',') s += c;
  size_t pos = 0;
  bool negative = false;
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) negative = s[pos++] == '-';
  if (pos == s.size()) return 0;
  int64_t value = 0;
  for (; pos < s.size(); ++pos) {
    if (!IsDigit(s[pos])) return 0;
    value = value * 10 + (s[pos] - '0');
    if (value > int64_t{2147483648}) return 0;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return 0;
  return static_cast<int32_t>(value);
}

uint32_t ParseBytesFree(std::string_view line) {
  size_t at = line.find("bytes free");
  if (at == std::string_view::npos) return 0;
  size_t end = at;
  while (end > 0 && line[end - 1] == ' ') --end;
  size_t begin = end;
  while (begin > 0 && (IsDigit(line[begin - 1]) || line[begin - 1] == ',')) --begin;
  int64_t value = 0;
  bool any = false;
  for (size_t i = begin; i < end; ++i) {
    if (!IsDigit(line[i])) continue;
    any = true;
    value = value * 10 + (line[i] - '0');
    if (value > INT32_MAX) return 0;
  }
  return any ? static_cast<uint32_t>(value) : 0;
}

int CurrentLocalYear() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (!platform::LocalTime(now, local)) return 1970;
  return local.tm_year + 1900;
}

std::string ConvertDirDate(std::string_view text, int currentYear) {
  size_t pos = 0;
  int month = 0, day = 0, year = 0;
  if (!ReadNumber(text, pos, 2, month) || pos >= text.size() || text[pos++] != '-') return {};
  if (!ReadNumber(text, pos, 2, day) || pos >= text.size() || text[pos++] != '-') return {};
  size_t yearStart = pos;
  if (!ReadNumber(text, pos, 4, year)) return {};
  if (pos - yearStart <= 2) {
    int windowStart = currentYear - 50;
    year += windowStart - windowStart % 100;
    if (year < windowStart) year += 100;
  }
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return {};

  int hour = 0, minute = 0, second = 0;
  if (pos < text.size()) {
    if (text[pos] != ' ') return {};
    SkipBlanks(text, pos);
    if (!ReadNumber(text, pos, 2, hour) || pos >= text.size() || text[pos++] != ':') return {};
    if (!ReadNumber(text, pos, 2, minute)) return {};
    if (pos + 1 < text.size() && text[pos] == ':' && IsDigit(text[pos + 1])) {
      ++pos;
      if (!ReadNumber(text, pos, 2, second)) return {};
    }
    size_t markerPos = pos;
    SkipBlanks(text, markerPos);
    if (markerPos + 1 < text.size()) {
      char a = static_cast<char>(std::tolower(static_cast<unsigned char>(text[markerPos])));
      char m = static_cast<char>(std::tolower(static_cast<unsigned char>(text[markerPos + 1])));
      if ((a == 'a' || a == 'p') && m == 'm') {
        if (hour < 1 || hour > 12) return {};
        hour = hour % 12 + (a == 'p' ? 12 : 0);
      }
    }
    if (hour > 23 || minute > 59 || second > 59) return {};
  }

  char buf[64];
  if (hour == 0 && minute == 0 && second == 0)
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", year, month, day);
  else
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", year, month, day, hour, minute,
                  second);
  return buf;
}

std::string ConvertDirDate(std::string_view text) { return ConvertDirDate(text, CurrentLocalYear()); }

DirLine ParseDirLine(std::string_view line, int currentYear) {
  DirLine out;
  if (line.size() <= kShortLine) return out;
  bool isDir = IsDirLine(line);
  if (!isDir && line.find("bytes free") != std::string_view::npos) {
    out.kind = DirLine::Kind::FreeSpace;
    out.freeText = "(" + TrimText(line) + ")";
    out.bytesFree = ParseBytesFree(line);
    return out;
  }
  RemoteEntry e;
  e.IsDirectory = isDir;
  e.Name = EntryName(line);
  if (isDir && (e.Name == "." || e.Name == "..")) return out;
  if (!isDir) e.Size = ParseSizeText(TrimText(Columns(line, 20, 26)));
  // The shell prints "a" or "p" after the time; the "m" makes it "am" or "pm".
  // Trimmed first, so a line end inside the columns cannot split the marker.
  e.Modified = ConvertDirDate(TrimText(Columns(line, 28, 43)) + "m", currentYear);
  out.kind = DirLine::Kind::Entry;
  out.entry = std::move(e);
  return out;
}

DirLine ParseDirLine(std::string_view line) { return ParseDirLine(line, CurrentLocalYear()); }

std::string UpperName(std::string name) {
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (name.size() > 1 && name.back() == '.' && name != "..") name.pop_back();
  return name;
}

TreeLine ParseTreeLine(std::string_view line) {
  TreeLine out;
  if (line.size() <= kShortLine) return out;
  if (IsDirLine(line)) {
    std::string base = TrimText(Columns(line, 1, 8));
    if (base != "." && base != "..") out.kind = TreeLine::Kind::Directory;
    return out;
  }
  if (line.find("bytes free") != std::string_view::npos) return out;
  out.kind = TreeLine::Kind::File;
  out.size = ParseSizeText(TrimText(Columns(line, 20, 26)));
  return out;
}

bool RemoteEntryBefore(const RemoteEntry& a, const RemoteEntry& b, int sortColumn) {
  if (a.IsDirectory != b.IsDirectory) return a.IsDirectory;
  int c = 0;
  switch (sortColumn) {
    case kColumnSize: c = a.Size < b.Size ? -1 : (a.Size > b.Size ? 1 : 0); break;
    case kColumnType: c = a.TypeText.compare(b.TypeText); break;
    case kColumnModified: c = a.Modified.compare(b.Modified); break;
    default: break;
  }
  if (c != 0) return c < 0;
  return a.Name.compare(b.Name) < 0;
}

void SortRemoteEntries(std::vector<RemoteEntry>& entries, int sortColumn) {
  std::stable_sort(entries.begin(), entries.end(), [sortColumn](const RemoteEntry& a, const RemoteEntry& b) {
    return RemoteEntryBefore(a, b, sortColumn);
  });
}

uint32_t TotalSize(const std::vector<RemoteEntry>& entries) {
  uint32_t total = 0;
  // A size printed negative (a damaged line) counts as 0, as its column shows it.
  for (const auto& e : entries) total += static_cast<uint32_t>(std::max<int32_t>(e.Size, 0));
  return total;
}

std::string SizeColumnText(const RemoteEntry& entry) {
  return SizeColumnText(entry.IsDirectory, static_cast<uint64_t>(std::max<int32_t>(entry.Size, 0)));
}

std::string ParentPath(const std::string& path) {
  size_t last = path.rfind('\\');
  if (last == std::string::npos || last == 0) return "\\";
  return path.substr(0, last);
}

std::string ChildPath(const std::string& path, const std::string& name) {
  std::string p = path;
  if (p != "\\") p += "\\";
  return p + name;
}

std::string NormalizeRemotePath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  if (path.size() >= 2 && path[1] == ':' && (path[0] == 'd' || path[0] == 'D')) path.erase(0, 2);
  std::string out = "\\";
  for (char c : path) {
    if (c == '\\' && out.back() == '\\') continue;
    out += c;
  }
  if (out.size() > 1 && out.back() == '\\') out.pop_back();
  return out;
}

}  // namespace vorn
