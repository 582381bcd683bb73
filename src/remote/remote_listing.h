#pragma once
// The controller's drive D: as the remote pane knows it: the entries of the
// listed directory, parsed from what the shell's "dir" and "dir/s" print, and
// the pane's state that outlives one listing.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "remote/file_list_texts.h"

namespace vorn {

struct RemoteEntry {
  bool IsDirectory = false;
  bool InfoPending = true;  // icon and type text not looked up yet
  std::string Name;         // as printed: upper case, "BASE" or "BASE.EXT"
  std::string TypeText;     // the host's description, once looked up
  std::string Modified;     // "yyyy/mm/dd[ hh:mm:ss]", empty when unreadable
  int32_t IconIndex = 0;
  int32_t Size = 0;         // bytes; 0 for a directory
  uint32_t DisplayFlags = 0;
};

// Sort columns, also the list's column indexes.
enum RemoteColumn { kColumnName = 0, kColumnSize = 1, kColumnType = 2, kColumnModified = 3 };

struct RemoteListing {
  std::vector<RemoteEntry> Entries;  // sorted; index i is row i of the list
  std::string CurrentPath;           // "" before the first listing, "\" for the root, "\A\B" below
  uint32_t BytesFree = 0;            // 0: not listed yet
  int SortColumn = 0;                // the next listing's order; back to 0 after each listing
  int ChosenColumn = 0;              // the column the user last clicked
  int RestoreIndex = 0;              // row to select after the next listing
  int PopupIndex = 0;                // row selected when the context menu last opened
  // "(" + the free-space line + ")" of the last listing that printed one.
  std::string FreeSpaceText;

  // nullptr when the index is out of range.
  const RemoteEntry* RemoteEntryAt(int index) const;
  RemoteEntry* RemoteEntryAt(int index);
};

// Without leading and trailing characters of code 32 or lower.
std::string TrimText(std::string_view text);

// The printed size: "," removed, then a signed decimal integer; 0 when not one.
int32_t ParseSizeText(std::string_view text);

// The number standing right before "bytes free" (digits with "," separators);
// 0 when there is none or it does not fit.
uint32_t ParseBytesFree(std::string_view line);

// Month-day-year, then optionally a time (h:mm[:ss] with an optional am/pm),
// to "yyyy/mm/dd" plus " hh:mm:ss" unless the time is midnight. Two-digit
// years fall in the hundred years starting 50 before currentYear. Empty when
// the text cannot be read.
std::string ConvertDirDate(std::string_view text, int currentYear);
std::string ConvertDirDate(std::string_view text);  // with the host's current year
int CurrentLocalYear();

struct DirLine {
  enum class Kind { Nothing, Entry, FreeSpace };
  Kind kind = Kind::Nothing;
  RemoteEntry entry;      // Kind::Entry
  std::string freeText;   // Kind::FreeSpace: "(" + trimmed line + ")"
  uint32_t bytesFree = 0; // Kind::FreeSpace
};
// A controller name as the controller stores it: in upper case (the shell
// takes names in any case), and without the dot of an empty extension
// ("NOEXT." is stored as NOEXT). Names are compared in this form.
std::string UpperName(std::string name);

// One line of the "dir" output as received, line end included.
DirLine ParseDirLine(std::string_view line, int currentYear);
DirLine ParseDirLine(std::string_view line);

struct TreeLine {
  enum class Kind { Nothing, Directory, File };
  Kind kind = Kind::Nothing;
  int32_t size = 0;
};
// One line of the "dir/s" output.
TreeLine ParseTreeLine(std::string_view line);

// Directories first, then by the column, then by name; texts by character code.
bool RemoteEntryBefore(const RemoteEntry& a, const RemoteEntry& b, int sortColumn);
void SortRemoteEntries(std::vector<RemoteEntry>& entries, int sortColumn);

uint32_t TotalSize(const std::vector<RemoteEntry>& entries);
// The Size column of an entry (a size printed negative counts as 0).
std::string SizeColumnText(const RemoteEntry& entry);

// Navigation over CurrentPath.
std::string ParentPath(const std::string& path);
std::string ChildPath(const std::string& path, const std::string& name);
// A path as a user writes it ("TEMP", "/temp/sub/", "D:\TEMP") in the pane's form.
std::string NormalizeRemotePath(std::string path);

}  // namespace vorn
