#pragma once
// Plans the upload of host folders: which controller directories to make and
// which files to send where, depth first, before the controller hears anything.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vorn {

struct FolderStep {
  bool makeDir = false;   // "md" of remoteDir + name; otherwise an upload into remoteDir
  std::string hostPath;
  std::string remoteDir;  // the controller directory that holds it, ending in a backslash
  std::string name;       // the controller name
  uint64_t size = 0;      // bytes of a file
  std::string RemotePath() const { return remoteDir + name; }
};

struct FolderPlan {
  std::string targetDir;          // where the job goes, as PlanFolderUpload was given it
  std::vector<FolderStep> steps;  // a directory always comes before what goes into it
  int fileCount = 0;
  uint64_t totalBytes = 0;
  // Host paths the job cannot take as they are: a name that is not 8.3 or
  // that an earlier one in the same directory already takes, without a new
  // name given. Nothing is sent while one is left.
  std::vector<std::string> badNames;
  // Reasons the job is refused outright: an unreadable folder or file, an item
  // that is neither a folder nor a regular file, a link back to a folder above
  // it, a controller path too long to type.
  std::vector<std::string> refusals;
  bool Ok() const { return badNames.empty() && refusals.empty(); }
};

// A name the controller's file system takes: 1 to 8 letters, digits or "_",
// then optionally "." and 1 to 3 more.
bool IsShortName(const std::string& name);

// Asked for a new name of a host item (its path, whether it is a folder, the
// controller directory it goes into); the answer must again be a free short
// name, or it is asked again. nullopt leaves the item out, with everything
// below a folder.
using RenameHook = std::function<std::optional<std::string>(const std::string& hostPath, bool folder,
                                                            const std::string& remoteDir)>;

// Walks the host items (folders and files) into targetDir ("D:\" or
// "D:\DIR\"): a folder becomes a directory of its own name there ("." and
// ".." stand for the folders they name). Without rename every bad name is
// collected in badNames.
FolderPlan PlanFolderUpload(const std::vector<std::string>& hostItems, const std::string& targetDir,
                            const RenameHook& rename = {});

// One line per item, for a refusal: the number of them and the first ten of
// each kind.
std::string PlanRefusalText(const FolderPlan& plan);

}  // namespace vorn
