// The listing's line parsers on whatever the controller may print: "dir" and
// "dir/s" lines, the free-space line, dates and sizes.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_line.h"
#include "remote/remote_listing.h"

namespace {

bool Digits(const std::string& s, size_t from, size_t n) {
  for (size_t i = from; i < from + n; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

int Number(const std::string& s, size_t from, size_t n) { return std::stoi(s.substr(from, n)); }

// "yyyy/mm/dd" or "yyyy/mm/dd hh:mm:ss" with every field in its range, or empty.
bool WellFormedDate(const std::string& d) {
  if (d.empty()) return true;
  if (d.size() != 10 && d.size() != 19) return false;
  if (!Digits(d, 0, 4) || d[4] != '/' || !Digits(d, 5, 2) || d[7] != '/' || !Digits(d, 8, 2)) return false;
  if (Number(d, 5, 2) < 1 || Number(d, 5, 2) > 12 || Number(d, 8, 2) < 1 || Number(d, 8, 2) > 31) return false;
  if (d.size() == 10) return true;
  return d[10] == ' ' && Digits(d, 11, 2) && d[13] == ':' && Digits(d, 14, 2) && d[16] == ':' && Digits(d, 17, 2) &&
         Number(d, 11, 2) < 24 && Number(d, 14, 2) < 60 && Number(d, 17, 2) < 60;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorn;
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Two-digit years are read relative to the host's year; any year must do.
  const int year = size ? 1980 + data[0] % 120 : 2026;
  std::vector<RemoteEntry> entries;
  uint32_t shownTotal = 0;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string line = text.substr(pos, end - pos);
    pos = end;

    const DirLine d = ParseDirLine(line, year);
    if (d.kind == DirLine::Kind::Entry) {
      const RemoteEntry& e = d.entry;
      FUZZ_CHECK(WellFormedDate(e.Modified));
      FUZZ_CHECK(!e.IsDirectory || e.Size == 0);
      FUZZ_CHECK(e.Name == TrimText(e.Name));
      entries.push_back(e);
      shownTotal += static_cast<uint32_t>(e.Size > 0 ? e.Size : 0);
    } else if (d.kind == DirLine::Kind::FreeSpace) {
      FUZZ_CHECK(d.freeText.size() >= 2 && d.freeText.front() == '(' && d.freeText.back() == ')');
      FUZZ_CHECK(d.bytesFree <= INT32_MAX);
    }
    const TreeLine t = ParseTreeLine(line);
    FUZZ_CHECK(t.kind == TreeLine::Kind::File || t.size == 0);
    FUZZ_CHECK(WellFormedDate(ConvertDirDate(line, year)));
    ParseSizeText(line);
    FUZZ_CHECK(ParseBytesFree(line) <= INT32_MAX);
    FUZZ_CHECK(NormalizeRemotePath(line).front() == '\\');
  }
  // The status bar's total is the sum of the sizes the list shows.
  FUZZ_CHECK(TotalSize(entries) == shownTotal);
  for (int column : {kColumnName, kColumnSize, kColumnType, kColumnModified}) {
    SortRemoteEntries(entries, column);
    for (size_t i = 1; i < entries.size(); ++i) FUZZ_CHECK(!RemoteEntryBefore(entries[i], entries[i - 1], column));
  }
  return 0;
}
