#include "local/local_view.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>

#include "platform/host.h"

namespace vorn {

std::string ModifiedText(int64_t secondsSinceEpoch) {
  if (secondsSinceEpoch == 0) return {};
  const std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
  std::tm local{};
  if (!platform::LocalTime(t, local)) return {};
  char buf[32];
  if (std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S", &local) == 0) return {};
  return buf;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int Fold(char c) { return std::tolower(static_cast<unsigned char>(c)); }

int Sign(int64_t v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

template <typename T>
int Compare3(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

int CompareNames(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      // Compare the numbers by value: skip leading zeros, then the longer run
      // is larger, then digit by digit.
      size_t ia = i, jb = j;
      while (ia < a.size() && a[ia] == '0') ++ia;
      while (jb < b.size() && b[jb] == '0') ++jb;
      size_t ea = ia, eb = jb;
      while (ea < a.size() && IsDigit(a[ea])) ++ea;
      while (eb < b.size() && IsDigit(b[eb])) ++eb;
      if (ea - ia != eb - jb) return ea - ia < eb - jb ? -1 : 1;
      for (size_t k = 0; k < ea - ia; ++k)
        if (a[ia + k] != b[jb + k]) return a[ia + k] < b[jb + k] ? -1 : 1;
      i = ea;
      j = eb;
      continue;
    }
    const int d = Fold(a[i]) - Fold(b[j]);
    if (d != 0) return Sign(d);
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

void SortEntries(std::vector<LocalEntry>& entries, int column, const HostFolders& folders) {
  // Type names are made per item; work them out once for the whole sort.
  std::vector<std::string> types;
  if (column == kColType) {
    types.reserve(entries.size());
    for (const LocalEntry& e : entries) types.push_back(folders.TypeName(e.Found));
  }
  std::vector<size_t> order(entries.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  auto less = [&](size_t ia, size_t ib) {
    const LocalEntry& a = entries[ia];
    const LocalEntry& b = entries[ib];
    if (a.IsFolder != b.IsFolder) return a.IsFolder;
    int c = 0;
    switch (column) {
      case kColSize: c = Compare3(a.Found.size, b.Found.size); break;
      case kColType: c = CompareNames(types[ia], types[ib]); break;
      case kColModified: c = Compare3(a.Found.modified, b.Found.modified); break;
      default: break;
    }
    if (c == 0) c = CompareNames(a.Name, b.Name);
    if (c == 0) c = a.Name.compare(b.Name);
    return c < 0;
  };
  std::stable_sort(order.begin(), order.end(), less);
  std::vector<LocalEntry> sorted;
  sorted.reserve(entries.size());
  for (size_t i : order) sorted.push_back(std::move(entries[i]));
  entries = std::move(sorted);
}

LocalBrowser::LocalBrowser(HostFolders& folders) : folders_(folders) {
  view_.CurrentItem = folders_.ComputerFolder();
  view_.CurrentPath = folders_.ComputerName();
}

std::optional<int> LocalBrowser::Show(const std::string& folder, std::string& error) {
  const int sortColumn = view_.SortColumn;
  const int restore = view_.RestoreIndex;
  view_.SortColumn = kColName;
  view_.RestoreIndex = 0;

  std::vector<HostItem> items;
  if (!folders_.List(folder, items, error)) return std::nullopt;

  std::vector<LocalEntry> entries;
  entries.reserve(items.size());
  uint64_t total = 0;
  for (HostItem& item : items) {
    LocalEntry e;
    e.Name = item.name;
    e.FullPath = item.fullPath;
    e.IsFolder = item.isFolder;
    total += item.size;
    e.Found = std::move(item);
    entries.push_back(std::move(e));
  }
  SortEntries(entries, sortColumn, folders_);

  view_.Entries = std::move(entries);
  view_.Total = total;
  view_.CurrentItem = folder;
  view_.CurrentPath = folders_.IsComputer(folder) ? folders_.ComputerName() : folder;
  if (view_.Entries.empty()) return -1;
  return std::clamp(restore, 0, static_cast<int>(view_.Entries.size()) - 1);
}

bool LocalBrowser::Parse(const std::string& text, std::string& folder, std::string& error) const {
  return folders_.Parse(text, folder, error);
}

std::optional<std::string> LocalBrowser::Parent() const { return folders_.Parent(view_.CurrentItem); }

void LocalBrowser::FillEntry(LocalEntry& e) {
  if (!e.InfoPending) return;
  e.IconKey = e.Found.iconKey;
  e.TypeText = folders_.TypeName(e.Found);
  e.Size = e.Found.size;
  e.DisplayFlags = e.Found.attributes;
  e.Modified = ModifiedText(e.Found.modified);
  e.InfoPending = false;
}

void LocalBrowser::FillInfo(int first, int last) {
  const int count = static_cast<int>(view_.Entries.size());
  if (first < 0 || first > last || last >= count) return;
  for (int i = first; i <= last; ++i) FillEntry(view_.Entries[static_cast<size_t>(i)]);
}

const LocalEntry* LocalBrowser::EntryAt(int index) const {
  if (index < 0 || index >= static_cast<int>(view_.Entries.size())) return nullptr;
  return &view_.Entries[static_cast<size_t>(index)];
}

std::vector<LocalSelection> LocalBrowser::Selection(const std::vector<int>& rows) {
  std::vector<LocalSelection> out;
  for (int row : rows) {
    if (row < 0 || row >= static_cast<int>(view_.Entries.size())) continue;
    LocalEntry& e = view_.Entries[static_cast<size_t>(row)];
    FillEntry(e);
    out.push_back({e.IsFolder, e.FullPath, e.Size, e.Found.special});
  }
  return out;
}

}  // namespace vorn
