// The simulated controller's drive D: held as one 1 MiB image.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace vsim {

// Date and time packed the way the drive stores them (FAT style):
// date = (year-1980)<<9 | month<<5 | day, time = hour<<11 | minute<<5 | second/2.
struct DosStamp {
  uint16_t date = 0;
  uint16_t time = 0;
  int Year() const { return 1980 + (date >> 9); }
  int Month() const { return (date >> 5) & 0x0F; }
  int Day() const { return date & 0x1F; }
  int Hour() const { return time >> 11; }
  int Minute() const { return (time >> 5) & 0x3F; }
  int Second() const { return (time & 0x1F) * 2; }
};
DosStamp MakeStamp(int year, int month, int day, int hour, int minute, int second = 0);
DosStamp NowStamp();

// A directory path on D: as upper-case components ("CONF", "X.CFG"); empty = root.
using DrivePath = std::vector<std::string>;

struct DirEntry {
  std::string name;  // "BASE" or "BASE.EXT", upper case; "." and ".." for the links
  bool isDir = false;
  uint32_t size = 0;
  DosStamp stamp;
};

enum class FsError {
  None,
  NotFound,       // the last component does not exist
  PathNotFound,   // a directory on the way does not exist or is a file
  Exists,
  NotEmpty,
  NoSpace,
  InvalidName,
  IsDirectory,
  NotDirectory,
  Unformatted,
};

// Returns the canonical upper-case 8.3 form of a name, or "" when it is not a valid
// 8.3 name (1-8 base characters, optional point and 0-3 extension characters).
std::string CanonicalName(const std::string& name);
// Walks the backslash-separated components of text from p: "." stays, ".."
// goes up (not above the root), others are added as canonical names. False
// when a component is not a valid 8.3 name.
bool WalkPath(DrivePath& p, const std::string& text);
// "BASE.EXT" -> base and extension.
void SplitName(const std::string& name, std::string* base, std::string* ext);

// Drive D:. Every member locks, so tests may poke at it while the shell runs.
//
// Image layout (little-endian throughout), 1024 clusters of 1024 bytes:
//   cluster 0       header: 0 "VSIMDRV1", 8 u16 cluster size (1024), 10 u16 cluster
//                   count (1024), 12 u16 first FAT cluster (1), 14 u16 FAT clusters (2),
//                   16 u16 root directory cluster (3), 18 11-byte volume label,
//                   29 u32 serial number; the rest is zero.
//   clusters 1-2    allocation table: one u16 per cluster; 0 free, 0xFFFF end of a
//                   chain, 0xFFFE reserved (clusters 0-2), otherwise the next cluster.
//   clusters 3-1023 data. The root directory is the chain starting at cluster 3.
// A directory is a chain of 32-byte entries: 0 name[8], 8 ext[3] (blank padded),
// 11 attributes (0x10 directory, 0x20 archive), 12 ten zero bytes, 22 u16 time,
// 24 u16 date, 26 u16 first cluster (0 for an empty file), 28 u32 size. A first
// name byte of 0x00 ends the directory, 0xE5 marks a free slot. Subdirectories
// start with "." and ".." entries; a full directory grows by one cluster.
// A file occupies ceil(size / 1024) clusters; each directory at least one.
class Drive {
 public:
  static constexpr uint32_t kImageSize = 1048576;
  static constexpr uint32_t kClusterSize = 1024;
  static constexpr uint32_t kClusterCount = kImageSize / kClusterSize;

  Drive();  // formatted and empty

  void Format(const std::string& label = "VORN7730");
  bool Load(const std::vector<uint8_t>& image);  // false (drive unchanged) when not a valid image
  std::vector<uint8_t> Image() const;
  std::string Label() const;
  uint32_t Serial() const;

  uint32_t BytesFree() const;
  // Whether a file of `size` bytes could be stored at `file` now (replacing one that is there).
  bool CanStore(const DrivePath& file, uint32_t size) const;

  FsError Stat(const DrivePath& path, DirEntry* out) const;  // root: a directory named ""
  bool IsDirectory(const DrivePath& path) const;
  // Entries in stored order, "." and ".." first in a subdirectory.
  FsError List(const DrivePath& dir, std::vector<DirEntry>* out) const;
  FsError ReadFile(const DrivePath& file, std::string* content) const;
  FsError WriteFile(const DrivePath& file, const std::string& content, DosStamp stamp);
  FsError AppendFile(const DrivePath& file, const std::string& content, DosStamp stamp);
  FsError MakeDir(const DrivePath& dir, DosStamp stamp);
  FsError RemoveFile(const DrivePath& file);
  FsError RemoveDir(const DrivePath& dir);
  FsError Rename(const DrivePath& from, const std::string& newName);

  // Bumped by every change; lets the owner save the image only when needed.
  uint64_t Version() const;

 private:
  struct Slot {  // where an entry lives
    uint16_t cluster = 0;
    uint32_t offset = 0;  // within the cluster
  };
  struct Found {
    Slot slot;
    DirEntry entry;
    uint16_t first = 0;  // first cluster of the file or directory
  };

  bool ValidLocked() const;
  uint16_t Fat(uint16_t c) const;
  void SetFat(uint16_t c, uint16_t v);
  uint8_t* ClusterPtr(uint16_t c) { return img_.data() + size_t(c) * kClusterSize; }
  const uint8_t* ClusterPtr(uint16_t c) const { return img_.data() + size_t(c) * kClusterSize; }
  std::vector<uint16_t> Chain(uint16_t first) const;
  uint32_t FreeClustersLocked() const;
  std::vector<uint16_t> Allocate(uint32_t count);  // caller checked the free count
  void FreeChain(uint16_t first);
  bool FindDirLocked(const DrivePath& dir, uint16_t* first) const;
  std::string ContentLocked(const Found& f) const;
  bool FindInDir(uint16_t dirFirst, const std::string& name, Found* out) const;
  bool DirHasFreeSlot(uint16_t dirFirst) const;
  bool AddEntry(uint16_t dirFirst, const std::string& name, uint8_t attr, uint16_t first,
                uint32_t size, DosStamp stamp);  // may grow the directory by one cluster
  void WriteEntryAt(Slot s, const std::string& name, uint8_t attr, uint16_t first, uint32_t size,
                    DosStamp stamp);
  FsError LocateParent(const DrivePath& path, uint16_t* parent, std::string* name) const;
  // The entry a non-empty path names: NotFound when its folder has no such name.
  FsError LocateEntry(const DrivePath& path, Found* out) const;
  FsError WriteFileLocked(const DrivePath& file, const std::string& content, DosStamp stamp);
  static uint32_t ClustersFor(uint32_t size) { return (size + kClusterSize - 1) / kClusterSize; }

  mutable std::mutex mu_;
  std::vector<uint8_t> img_;
  uint64_t version_ = 0;
};

}  // namespace vsim
