#pragma once
// The host's tree of folders as the host pane browses it: a computer folder at
// the top (the volumes), ordinary folders below it. Whatever the host offers
// (a shell namespace, a plain file system) hides behind this interface, so the
// pane's logic does not care which host it runs on.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vorn {

// Attribute bits of an item, as the list draws them.
enum HostAttribute : uint32_t {
  kAttrReadOnly = 1u << 0,  // not writable by the user: grey
  kAttrHidden = 1u << 1,    // strike-out
  kAttrSystem = 1u << 2,    // highlight colour
};

// What the enumeration of a folder delivers for one item: cheap facts that a
// single status query gives. Texts for display are made later, per row.
struct HostItem {
  std::string name;      // display name
  std::string fullPath;  // parsing name: a full path, or the computer folder's own name
  bool isFolder = false;
  uint64_t size = 0;        // bytes; 0 for folders
  uint32_t attributes = 0;  // HostAttribute bits
  int64_t modified = 0;     // last write, seconds since the epoch (UTC); 0 = no time
  std::string iconKey;      // "computer", "drive", "home", "folder", "file" or "file:<ext>"
  // What a special file is ("FIFO", "Character Device", ...): neither a folder
  // nor a regular file, so it cannot be uploaded. Empty for everything else.
  std::string special;
};

class HostFolders {
 public:
  virtual ~HostFolders() = default;

  // The path that names the computer folder, and the friendly name shown for it.
  virtual std::string ComputerFolder() const = 0;
  virtual std::string ComputerName() const = 0;
  bool IsComputer(const std::string& folder) const { return folder == ComputerFolder(); }

  // Reads a folder without its hidden items. False with the system's text when
  // the folder can't be read; items is then left untouched.
  virtual bool List(const std::string& folder, std::vector<HostItem>& items, std::string& error) = 0;

  // The folder above; nothing at the computer folder.
  virtual std::optional<std::string> Parent(const std::string& folder) const = 0;

  // Turns a typed path into a folder path (the computer folder's name included).
  // False with the system's text when the path does not name an existing item.
  virtual bool Parse(const std::string& text, std::string& folder, std::string& error) const = 0;

  // The type name shown for an item ("Folder", "TXT File", ...).
  virtual std::string TypeName(const HostItem& item) const = 0;

  // The usual file commands. False with the system's text on failure.
  virtual bool Rename(const std::string& fullPath, const std::string& newName, std::string& error) = 0;
  // Files, and folders with everything in them, for good.
  virtual bool Remove(const std::string& fullPath, std::string& error) = 0;
  // Where deleted items go to be restored from: "trash", or the host's name
  // for it ("Recycle Bin" on Windows).
  virtual std::string TrashName() const { return "trash"; }
  // Creates a new folder with a free name made from baseName; created names it.
  virtual bool MakeFolder(const std::string& parent, const std::string& baseName, std::string& created,
                          std::string& error) = 0;
};

// The host's own folders, read from its file system: on POSIX hosts the
// computer folder holds the root, the home folder and the mounted volumes; on
// Windows it holds the drive letters and the user's profile folder.
struct FileSystemFoldersOptions {
  std::string mountsFile;  // POSIX: the mount table to read; empty: the system's
  std::string homeFolder;  // empty: the user's home (profile) folder
};
std::unique_ptr<HostFolders> MakeFileSystemFolders(FileSystemFoldersOptions options = {});

}  // namespace vorn
