#pragma once
// What the copy command decides before it touches the port: whether the host
// selection may be uploaded, where it goes, and which names the controller takes.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/ui.h"
#include "remote/remote_listing.h"

#include "local/local_view.h"  // LocalSelection: one selected row of the host pane

namespace vorn {

// Uploads need the free space of a listing first.
inline constexpr const char* kRefreshFirstText = "Please press 'Refresh folder' button in the VORN-7730 panel first.";

struct CopyCheck {
  std::string message;             // a warning to show; empty when the copy may go ahead
  std::vector<std::string> files;  // the host paths to upload, in list order
  uint64_t totalSize = 0;
  bool Ok() const { return message.empty(); }
};

// bytesFree 0 means the controller directory was never listed. Only regular
// files go: a FIFO or device would hang the upload.
CopyCheck CheckCopySelection(const std::vector<LocalSelection>& selection, uint64_t bytesFree);

// A host path as a selected row would describe it (for items dropped from
// elsewhere): folder, special kind or regular file with its size.
LocalSelection SelectionForPath(const std::string& path);

// The controller directory for the remote pane's path: "D:\" for "\", else
// "D:" + path + "\" (such as D:\DATA\ for \DATA).
std::string TargetDirFor(const std::string& remotePath);

// Names the controller's receiver accepts: not empty, only ASCII letters,
// digits, "_" and ".".
bool ValidFileName(const std::string& name);

// A name to offer in place of one the controller refuses: upper case, only
// letters, digits and "_", at most 8 characters with an extension of at most
// 3; twice: the name is right but taken, so the offer differs from it.
std::string ShortNameFor(const std::string& name, bool twice);
// The prompt for a new name: why name was refused (twice: another item of
// that folder has it; shortForm: the 8.3 form is the rule), then the question.
std::string InvalidNamePrompt(const std::string& name, bool twice, bool shortForm);

// The refusal of a host item that is not a regular file, naming it and its kind.
std::string NotAFileText(const std::string& path, const std::string& kind);

// The name part of a host path: what follows the last directory separator
// (and, on Windows, the last drive colon).
std::string FileNamePart(const std::string& path);

// Asks once for each host file whose name the controller already lists in
// targetDir (Yes, Yes to all, No, Cancel). The files to upload in list order,
// or nullopt when the user cancelled. A listed directory of a file's name is
// not asked for: the receiver refuses such a file by itself. The paths in
// folders are host folders: each is asked for when a directory of its name is
// listed, since its files would replace those of the same names there.
std::optional<std::vector<std::string>> AskOverwrites(const std::vector<std::string>& files,
                                                      const std::vector<RemoteEntry>& listed,
                                                      const std::string& targetDir, Ui& ui,
                                                      const std::vector<std::string>& folders = {});
std::string OverwriteQuestion(const std::string& name, const std::string& targetDir);
std::string FolderMergeQuestion(const std::string& name, const std::string& targetDir);

// A name typed at the name prompt, held against what targetDir lists (the
// overwrite questions above ran on the host name, not on this one). A listed
// entry of the same kind is asked about through ask; without ask it is left
// out rather than replaced unasked. A listed entry of the other kind cannot
// be replaced at all, so another name is asked for. all: Yes to all was
// chosen earlier in the job, and is set when it is chosen now.
enum class TypedName { Take, LeaveOut, Cancel, AskAgain };
TypedName CheckTypedName(const std::string& name, bool folder, const std::vector<RemoteEntry>& listed,
                         const std::string& targetDir, const std::function<Ui::Choice(const std::string&)>& ask,
                         bool& all);

}  // namespace vorn
