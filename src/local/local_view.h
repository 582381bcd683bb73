#pragma once
// The host pane's state and the window-free half of its behaviour: reading a
// folder into entries, their order, the status texts, the per-row details,
// and what the copy command reads of the selection.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "local/host_folders.h"
#include "remote/file_list_texts.h"

namespace vorn {

// One item of the open folder. The display fields are filled per row, only
// when the row is about to be shown (InfoPending until then).
struct LocalEntry {
  std::string Name;
  std::string FullPath;
  bool IsFolder = false;
  bool InfoPending = true;
  std::string TypeText;      // empty until filled
  std::string Modified;      // empty until filled, or when the item has no time
  std::string IconKey;       // empty until filled
  uint64_t Size = 0;         // bytes; 0 until filled
  uint32_t DisplayFlags = 0; // HostAttribute bits; 0 until filled
  HostItem Found;            // what the folder's enumeration delivered
};

// Column indices of the list.
enum LocalColumn { kColName = 0, kColSize = 1, kColType = 2, kColModified = 3 };

struct LocalView {
  std::string CurrentItem;  // the open folder as the host names it
  std::string CurrentPath;  // the open folder as the path box shows it
  std::vector<LocalEntry> Entries;
  uint64_t Total = 0;       // bytes of all entries of the last reading
  int SortColumn = kColName;   // for the next reading only
  int ChosenColumn = kColName; // the column the user last clicked
  int RestoreIndex = 0;        // the row to select after the next reading
  int PopupIndex = 0;          // the row selected when the context menu last opened
};

// One selected row as the copy command needs it.
struct LocalSelection {
  bool isFolder;
  std::string fullPath;
  uint64_t size;
  std::string special = {};  // a FIFO, device or socket: HostItem::special
};

// "yyyy/mm/dd hh:mm:ss" in local time; empty for no time (0).
std::string ModifiedText(int64_t secondsSinceEpoch);

// File-manager name order: case-insensitive, digit runs by their value
// ("file9" before "file10"). Negative, zero or positive.
int CompareNames(const std::string& a, const std::string& b);

// Folders first, then by the column, then by name; always ascending.
void SortEntries(std::vector<LocalEntry>& entries, int column, const HostFolders& folders);

class LocalBrowser {
 public:
  explicit LocalBrowser(HostFolders& folders);

  LocalView& View() { return view_; }
  const LocalView& View() const { return view_; }
  HostFolders& Folders() { return folders_; }

  // Reads the folder into the view, sorted by SortColumn, and makes it the open
  // folder. Returns the row to select (-1 for an empty folder). On failure the
  // view keeps what it showed, error holds the system's text and nullopt is
  // returned. SortColumn and RestoreIndex return to 0 in either case: they
  // were meant for this one reading.
  std::optional<int> Show(const std::string& folder, std::string& error);
  // Turns a typed path into a folder of the host.
  bool Parse(const std::string& text, std::string& folder, std::string& error) const;
  // The folder above the open one; nothing at the computer folder.
  std::optional<std::string> Parent() const;
  bool AtComputer() const { return folders_.IsComputer(view_.CurrentItem); }

  // Fills the details of rows first..last (both included) whose info is
  // pending. A range reaching outside the entries is ignored as a whole.
  void FillInfo(int first, int last);
  const LocalEntry* EntryAt(int index) const;

  std::string ObjectsText() const { return ObjectCountText(view_.Entries.size()); }
  std::string TotalText() const { return TotalSizeText(view_.Total); }

  // The rows (in the order given) with their details filled first, so that
  // sizes are known even for rows that were never on screen.
  std::vector<LocalSelection> Selection(const std::vector<int>& rows);

 private:
  void FillEntry(LocalEntry& entry);

  HostFolders& folders_;
  LocalView view_;
};

}  // namespace vorn
