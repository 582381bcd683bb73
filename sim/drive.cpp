#include "sim/drive.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>

namespace vsim {
namespace {

constexpr char kMagic[8] = {'V', 'S', 'I', 'M', 'D', 'R', 'V', '1'};
constexpr uint16_t kFatFirst = 1;
constexpr uint16_t kFatClusters = 2;
constexpr uint16_t kRoot = 3;
constexpr uint16_t kFirstData = 3;
constexpr uint16_t kEnd = 0xFFFF;
constexpr uint16_t kReserved = 0xFFFE;
constexpr uint8_t kAttrDir = 0x10;
constexpr uint8_t kAttrArchive = 0x20;
constexpr uint32_t kEntrySize = 32;
constexpr uint32_t kEntriesPerCluster = Drive::kClusterSize / kEntrySize;

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

bool ValidNameChar(unsigned char c) {
  if (std::isalnum(c)) return true;
  return std::strchr("!#$%&'()-@^_`{}~", c) != nullptr && c != 0;
}

std::string TrimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Name of a raw entry as "BASE" or "BASE.EXT".
std::string EntryName(const uint8_t* e) {
  std::string base = TrimRight(std::string(reinterpret_cast<const char*>(e), 8));
  std::string ext = TrimRight(std::string(reinterpret_cast<const char*>(e + 8), 3));
  return ext.empty() ? base : base + "." + ext;
}

}  // namespace

DosStamp MakeStamp(int year, int month, int day, int hour, int minute, int second) {
  year = std::clamp(year, 1980, 2107);
  DosStamp s;
  s.date = uint16_t(((year - 1980) << 9) | (month << 5) | day);
  s.time = uint16_t((hour << 11) | (minute << 5) | (second / 2));
  return s;
}

DosStamp NowStamp() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return MakeStamp(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::string CanonicalName(const std::string& name) {
  std::string base, ext;
  size_t dot = name.find('.');
  base = name.substr(0, dot);
  if (dot != std::string::npos) {
    ext = name.substr(dot + 1);
    if (ext.find('.') != std::string::npos) return "";
  }
  if (base.empty() || base.size() > 8 || ext.size() > 3) return "";
  for (auto* part : {&base, &ext}) {
    for (char& c : *part) {
      if (!ValidNameChar(static_cast<unsigned char>(c))) return "";
      c = char(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  return ext.empty() ? base : base + "." + ext;
}

bool WalkPath(DrivePath& p, const std::string& text) {
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t next = text.find('\\', pos);
    if (next == std::string::npos) next = text.size();
    const std::string comp = text.substr(pos, next - pos);
    pos = next + 1;
    if (comp.empty() || comp == ".") continue;
    if (comp == "..") {
      if (!p.empty()) p.pop_back();
      continue;
    }
    const std::string c = CanonicalName(comp);
    if (c.empty()) return false;
    p.push_back(c);
  }
  return true;
}

void SplitName(const std::string& name, std::string* base, std::string* ext) {
  if (name == "." || name == "..") {
    *base = name;
    ext->clear();
    return;
  }
  size_t dot = name.find('.');
  *base = name.substr(0, dot);
  *ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

Drive::Drive() { Format(); }

void Drive::Format(const std::string& label) {
  std::lock_guard<std::mutex> lock(mu_);
  img_.assign(kImageSize, 0);
  uint8_t* h = img_.data();
  std::memcpy(h, kMagic, 8);
  Put16(h + 8, kClusterSize);
  Put16(h + 10, kClusterCount);
  Put16(h + 12, kFatFirst);
  Put16(h + 14, kFatClusters);
  Put16(h + 16, kRoot);
  std::string l = label.substr(0, 11);
  l.resize(11, ' ');
  std::memcpy(h + 18, l.data(), 11);
  // A serial that differs per format, as a real formatter's would.
  uint32_t serial = uint32_t(std::time(nullptr)) * 2654435761u ^ uint32_t(version_ + 1);
  Put32(h + 29, serial);
  for (uint16_t c = 0; c < kFirstData; ++c) SetFat(c, kReserved);
  SetFat(kRoot, kEnd);
  ++version_;
}

bool Drive::Load(const std::vector<uint8_t>& image) {
  if (image.size() != kImageSize) return false;
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<uint8_t> old;
  old.swap(img_);
  img_ = image;
  if (!ValidLocked()) {
    img_.swap(old);
    return false;
  }
  ++version_;
  return true;
}

std::vector<uint8_t> Drive::Image() const {
  std::lock_guard<std::mutex> lock(mu_);
  return img_;
}

std::string Drive::Label() const {
  std::lock_guard<std::mutex> lock(mu_);
  return TrimRight(std::string(reinterpret_cast<const char*>(img_.data() + 18), 11));
}

uint32_t Drive::Serial() const {
  std::lock_guard<std::mutex> lock(mu_);
  return Get32(img_.data() + 29);
}

uint64_t Drive::Version() const {
  std::lock_guard<std::mutex> lock(mu_);
  return version_;
}

bool Drive::ValidLocked() const {
  const uint8_t* h = img_.data();
  return std::memcmp(h, kMagic, 8) == 0 && Get16(h + 8) == kClusterSize &&
         Get16(h + 10) == kClusterCount && Get16(h + 12) == kFatFirst &&
         Get16(h + 14) == kFatClusters && Get16(h + 16) == kRoot && Fat(kRoot) != 0;
}

uint16_t Drive::Fat(uint16_t c) const {
  return Get16(img_.data() + kFatFirst * kClusterSize + 2u * c);
}

void Drive::SetFat(uint16_t c, uint16_t v) { Put16(img_.data() + kFatFirst * kClusterSize + 2u * c, v); }

std::vector<uint16_t> Drive::Chain(uint16_t first) const {
  std::vector<uint16_t> out;
  uint16_t c = first;
  // The bound guards against loops in a damaged image.
  while (c >= kFirstData && c < kClusterCount && out.size() < kClusterCount) {
    out.push_back(c);
    uint16_t next = Fat(c);
    if (next == kEnd || next == 0 || next == kReserved) break;
    c = next;
  }
  return out;
}

uint32_t Drive::FreeClustersLocked() const {
  uint32_t n = 0;
  for (uint32_t c = kFirstData; c < kClusterCount; ++c)
    if (Fat(uint16_t(c)) == 0) ++n;
  return n;
}

uint32_t Drive::BytesFree() const {
  std::lock_guard<std::mutex> lock(mu_);
  return FreeClustersLocked() * kClusterSize;
}

std::vector<uint16_t> Drive::Allocate(uint32_t count) {
  std::vector<uint16_t> got;
  for (uint32_t c = kFirstData; c < kClusterCount && got.size() < count; ++c)
    if (Fat(uint16_t(c)) == 0) got.push_back(uint16_t(c));
  for (size_t i = 0; i < got.size(); ++i) {
    SetFat(got[i], i + 1 < got.size() ? got[i + 1] : kEnd);
    std::memset(ClusterPtr(got[i]), 0, kClusterSize);
  }
  return got;
}

void Drive::FreeChain(uint16_t first) {
  for (uint16_t c : Chain(first)) {
    SetFat(c, 0);
    std::memset(ClusterPtr(c), 0, kClusterSize);
  }
}

bool Drive::FindInDir(uint16_t dirFirst, const std::string& name, Found* out) const {
  for (uint16_t c : Chain(dirFirst)) {
    for (uint32_t i = 0; i < kEntriesPerCluster; ++i) {
      const uint8_t* e = ClusterPtr(c) + i * kEntrySize;
      if (e[0] == 0) return false;
      if (e[0] == 0xE5) continue;
      if (EntryName(e) != name) continue;
      if (out) {
        out->slot = {c, i * kEntrySize};
        out->entry.name = name;
        out->entry.isDir = (e[11] & kAttrDir) != 0;
        out->entry.size = out->entry.isDir ? 0 : Get32(e + 28);
        out->entry.stamp.time = Get16(e + 22);
        out->entry.stamp.date = Get16(e + 24);
        out->first = Get16(e + 26);
      }
      return true;
    }
  }
  return false;
}

bool Drive::FindDirLocked(const DrivePath& dir, uint16_t* first) const {
  uint16_t cur = kRoot;
  for (const std::string& part : dir) {
    Found f;
    if (!FindInDir(cur, part, &f) || !f.entry.isDir || part == "." || part == "..") return false;
    cur = f.first;
  }
  *first = cur;
  return true;
}

bool Drive::DirHasFreeSlot(uint16_t dirFirst) const {
  for (uint16_t c : Chain(dirFirst))
    for (uint32_t i = 0; i < kEntriesPerCluster; ++i) {
      uint8_t b = ClusterPtr(c)[i * kEntrySize];
      if (b == 0 || b == 0xE5) return true;
    }
  return false;
}

void Drive::WriteEntryAt(Slot s, const std::string& name, uint8_t attr, uint16_t first,
                         uint32_t size, DosStamp stamp) {
  uint8_t* e = ClusterPtr(s.cluster) + s.offset;
  std::memset(e, 0, kEntrySize);
  std::string base, ext;
  SplitName(name, &base, &ext);
  base.resize(8, ' ');
  ext.resize(3, ' ');
  std::memcpy(e, base.data(), 8);
  std::memcpy(e + 8, ext.data(), 3);
  e[11] = attr;
  Put16(e + 22, stamp.time);
  Put16(e + 24, stamp.date);
  Put16(e + 26, first);
  Put32(e + 28, size);
}

bool Drive::AddEntry(uint16_t dirFirst, const std::string& name, uint8_t attr, uint16_t first,
                     uint32_t size, DosStamp stamp) {
  std::vector<uint16_t> chain = Chain(dirFirst);
  for (uint16_t c : chain)
    for (uint32_t i = 0; i < kEntriesPerCluster; ++i) {
      uint8_t b = ClusterPtr(c)[i * kEntrySize];
      if (b == 0 || b == 0xE5) {
        WriteEntryAt({c, i * kEntrySize}, name, attr, first, size, stamp);
        return true;
      }
    }
  if (chain.empty() || FreeClustersLocked() == 0) return false;
  std::vector<uint16_t> grown = Allocate(1);
  SetFat(chain.back(), grown[0]);
  WriteEntryAt({grown[0], 0}, name, attr, first, size, stamp);
  return true;
}

FsError Drive::LocateEntry(const DrivePath& path, Found* out) const {
  uint16_t parent;
  std::string name;
  FsError err = LocateParent(path, &parent, &name);
  if (err != FsError::None) return err;
  return FindInDir(parent, name, out) ? FsError::None : FsError::NotFound;
}

FsError Drive::LocateParent(const DrivePath& path, uint16_t* parent, std::string* name) const {
  if (!ValidLocked()) return FsError::Unformatted;
  if (path.empty()) return FsError::InvalidName;
  *name = CanonicalName(path.back());
  if (name->empty()) return FsError::InvalidName;
  DrivePath dir(path.begin(), path.end() - 1);
  if (!FindDirLocked(dir, parent)) return FsError::PathNotFound;
  return FsError::None;
}

FsError Drive::Stat(const DrivePath& path, DirEntry* out) const {
  std::lock_guard<std::mutex> lock(mu_);
  if (!ValidLocked()) return FsError::Unformatted;
  if (path.empty()) {
    if (out) *out = DirEntry{"", true, 0, {}};
    return FsError::None;
  }
  Found f;
  if (FsError err = LocateEntry(path, &f); err != FsError::None) return err;
  if (out) *out = f.entry;
  return FsError::None;
}

bool Drive::IsDirectory(const DrivePath& path) const {
  std::lock_guard<std::mutex> lock(mu_);
  uint16_t first;
  return ValidLocked() && FindDirLocked(path, &first);
}

FsError Drive::List(const DrivePath& dir, std::vector<DirEntry>* out) const {
  std::lock_guard<std::mutex> lock(mu_);
  if (!ValidLocked()) return FsError::Unformatted;
  uint16_t first;
  if (!FindDirLocked(dir, &first)) return FsError::PathNotFound;
  out->clear();
  for (uint16_t c : Chain(first)) {
    for (uint32_t i = 0; i < kEntriesPerCluster; ++i) {
      const uint8_t* e = ClusterPtr(c) + i * kEntrySize;
      if (e[0] == 0) return FsError::None;
      if (e[0] == 0xE5) continue;
      DirEntry d;
      d.name = EntryName(e);
      d.isDir = (e[11] & kAttrDir) != 0;
      d.size = d.isDir ? 0 : Get32(e + 28);
      d.stamp.time = Get16(e + 22);
      d.stamp.date = Get16(e + 24);
      out->push_back(d);
    }
  }
  return FsError::None;
}

std::string Drive::ContentLocked(const Found& f) const {
  std::string content;
  uint32_t left = f.entry.size;
  for (uint16_t c : Chain(f.first)) {
    if (left == 0) break;
    uint32_t n = std::min(left, kClusterSize);
    content.append(reinterpret_cast<const char*>(ClusterPtr(c)), n);
    left -= n;
  }
  return content;
}

FsError Drive::ReadFile(const DrivePath& file, std::string* content) const {
  std::lock_guard<std::mutex> lock(mu_);
  Found f;
  if (FsError err = LocateEntry(file, &f); err != FsError::None) return err;
  if (f.entry.isDir) return FsError::IsDirectory;
  *content = ContentLocked(f);
  return FsError::None;
}

bool Drive::CanStore(const DrivePath& file, uint32_t size) const {
  std::lock_guard<std::mutex> lock(mu_);
  uint16_t parent;
  std::string name;
  if (LocateParent(file, &parent, &name) != FsError::None) return false;
  Found f;
  uint32_t reusable = 0;
  uint32_t dirGrowth = 0;
  if (FindInDir(parent, name, &f)) {
    if (f.entry.isDir) return false;
    reusable = uint32_t(Chain(f.first).size());
  } else if (!DirHasFreeSlot(parent)) {
    dirGrowth = 1;
  }
  return FreeClustersLocked() + reusable >= ClustersFor(size) + dirGrowth;
}

FsError Drive::WriteFileLocked(const DrivePath& file, const std::string& content, DosStamp stamp) {
  uint16_t parent;
  std::string name;
  FsError err = LocateParent(file, &parent, &name);
  if (err != FsError::None) return err;
  if (content.size() >= kImageSize) return FsError::NoSpace;
  uint32_t size = uint32_t(content.size());
  Found f;
  bool exists = FindInDir(parent, name, &f);
  if (exists && f.entry.isDir) return FsError::IsDirectory;
  uint32_t reusable = exists ? uint32_t(Chain(f.first).size()) : 0;
  uint32_t dirGrowth = (!exists && !DirHasFreeSlot(parent)) ? 1 : 0;
  if (FreeClustersLocked() + reusable < ClustersFor(size) + dirGrowth) return FsError::NoSpace;

  if (exists && f.first != 0) FreeChain(f.first);
  std::vector<uint16_t> chain = Allocate(ClustersFor(size));
  for (size_t i = 0; i < chain.size(); ++i) {
    size_t off = i * kClusterSize;
    size_t n = std::min<size_t>(kClusterSize, content.size() - off);
    std::memcpy(ClusterPtr(chain[i]), content.data() + off, n);
  }
  uint16_t first = chain.empty() ? 0 : chain[0];
  if (exists) {
    WriteEntryAt(f.slot, name, kAttrArchive, first, size, stamp);
  } else {
    AddEntry(parent, name, kAttrArchive, first, size, stamp);
  }
  ++version_;
  return FsError::None;
}

FsError Drive::WriteFile(const DrivePath& file, const std::string& content, DosStamp stamp) {
  std::lock_guard<std::mutex> lock(mu_);
  return WriteFileLocked(file, content, stamp);
}

FsError Drive::AppendFile(const DrivePath& file, const std::string& content, DosStamp stamp) {
  // Read and write under one lock so that two appends never lose a line.
  std::lock_guard<std::mutex> lock(mu_);
  uint16_t parent;
  std::string name;
  FsError err = LocateParent(file, &parent, &name);
  if (err != FsError::None) return err;
  std::string old;
  Found f;
  if (FindInDir(parent, name, &f)) {
    if (f.entry.isDir) return FsError::IsDirectory;
    old = ContentLocked(f);
  }
  return WriteFileLocked(file, old + content, stamp);
}

FsError Drive::MakeDir(const DrivePath& dir, DosStamp stamp) {
  std::lock_guard<std::mutex> lock(mu_);
  uint16_t parent;
  std::string name;
  FsError err = LocateParent(dir, &parent, &name);
  if (err != FsError::None) return err;
  if (FindInDir(parent, name, nullptr)) return FsError::Exists;
  uint32_t need = 1 + (DirHasFreeSlot(parent) ? 0 : 1);
  if (FreeClustersLocked() < need) return FsError::NoSpace;
  uint16_t c = Allocate(1)[0];
  WriteEntryAt({c, 0}, ".", kAttrDir, c, 0, stamp);
  WriteEntryAt({c, kEntrySize}, "..", kAttrDir, parent == kRoot ? 0 : parent, 0, stamp);
  AddEntry(parent, name, kAttrDir, c, 0, stamp);
  ++version_;
  return FsError::None;
}

FsError Drive::RemoveFile(const DrivePath& file) {
  std::lock_guard<std::mutex> lock(mu_);
  Found f;
  if (FsError err = LocateEntry(file, &f); err != FsError::None) return err;
  if (f.entry.isDir) return FsError::IsDirectory;
  if (f.first != 0) FreeChain(f.first);
  ClusterPtr(f.slot.cluster)[f.slot.offset] = 0xE5;
  ++version_;
  return FsError::None;
}

FsError Drive::RemoveDir(const DrivePath& dir) {
  std::lock_guard<std::mutex> lock(mu_);
  Found f;
  if (FsError err = LocateEntry(dir, &f); err != FsError::None) return err;
  if (!f.entry.isDir) return FsError::NotDirectory;
  for (uint16_t c : Chain(f.first))
    for (uint32_t i = 0; i < kEntriesPerCluster; ++i) {
      const uint8_t* e = ClusterPtr(c) + i * kEntrySize;
      if (e[0] == 0) goto empty;
      if (e[0] == 0xE5) continue;
      std::string n = EntryName(e);
      if (n != "." && n != "..") return FsError::NotEmpty;
    }
empty:
  FreeChain(f.first);
  ClusterPtr(f.slot.cluster)[f.slot.offset] = 0xE5;
  ++version_;
  return FsError::None;
}

FsError Drive::Rename(const DrivePath& from, const std::string& newName) {
  std::lock_guard<std::mutex> lock(mu_);
  uint16_t parent;
  std::string name;
  FsError err = LocateParent(from, &parent, &name);
  if (err != FsError::None) return err;
  std::string target = CanonicalName(newName);
  if (target.empty()) return FsError::InvalidName;
  Found f;
  if (!FindInDir(parent, name, &f)) return FsError::NotFound;
  if (FindInDir(parent, target, nullptr)) return FsError::Exists;
  uint8_t attr = ClusterPtr(f.slot.cluster)[f.slot.offset + 11];
  WriteEntryAt(f.slot, target, attr, f.first, f.entry.size, f.entry.stamp);
  ++version_;
  return FsError::None;
}

}  // namespace vsim
