#pragma once
// What the remote pane types to the controller's shell: the listing and the
// recursive count, and the file operations with their command lines, questions
// and line tests. Window-free, so the command-line tool shares it.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "link/exchange.h"
#include "remote/remote_listing.h"

namespace vorn {

// Listings, counts, delete, make directory and rename.
constexpr ExchangeProfile kListingProfile{200, 10};
// FORMAT reports its progress in carriage-return lines and takes its time.
constexpr ExchangeProfile kFormatProfile{1000, 13};

struct FolderRead {
  bool ok = false;
  std::vector<RemoteEntry> entries;      // in printed order
  std::optional<uint32_t> bytesFree;     // set when a free-space line was printed
  std::string freeText;                  // "(...)" of that line
};
// Types "d:" and "cd" + dir, then the commands, in one exchange. The shell
// may have been moved since dir was listed (the terminal, a program started
// from the pane, the command-line tool), so a bare command would act wherever
// it was left. A refused dir fails with the shell's line + "'dir'!" and
// nothing after the cd is typed. An empty dir types a bare "cd".
bool RunInFolder(Exchange& exchange, const ExchangeProfile& profile, const std::string& dir,
                 std::vector<ExchangeCommand> commands);

// "d:", "cd" + path, "dir". A refused path fails with the shell's line + "'path'!".
FolderRead ReadRemoteFolder(Exchange& exchange, const std::string& path);
// The same, for callers that hand the listing on as fact (the command line):
// a character damaged on a noisy line would pass unseen in one listing, so
// it counts once two reads (of at most three) agree; ok false otherwise,
// with the reason in *why.
FolderRead ReadRemoteFolderAgreed(Exchange& exchange, const std::string& path, std::string* why);

struct TreeCount {
  bool ok = false;
  uint32_t files = 0;
  uint32_t bytes = 0;
  uint32_t folders = 0;
};
// "dir/s " + name in dir: the files, their bytes and the folders below name
// (or below dir itself for an empty name).
TreeCount CountRemoteTree(Exchange& exchange, const std::string& dir, const std::string& name);

// Command lines and texts of the operations.
std::string DeleteCommand(const RemoteEntry& entry);
std::string DeleteQuestion(const RemoteEntry& entry);
std::string NotEmptyWarning(const std::string& name);
std::string MakeDirCommand(const std::string& name);
std::string RenameCommand(const std::string& from, const std::string& to);
std::string RenameCaption(const std::string& name);
std::string AutoRunCommand(const std::string& name, bool append);
extern const char* const kMakeDirCaption;
extern const char* const kMakeDirPrompt;
extern const char* const kRenamePrompt;
extern const char* const kFormatQuestion;
extern const char* const kFormatCommand;
extern const char* const kMemCommand;
extern const char* const kAbortCommand;
constexpr int kDirNameMaxLength = 8;
constexpr int kFileNameMaxLength = 12;

// True when the reply of "md" or "ren" reports a failure.
bool MakeDirRefused(const std::string& line);
bool RenameRefused(const std::string& line);
// Why name must not go into a command line as a file or directory name, as
// one line; empty when it may. Refused: an empty name, control characters (a
// carriage return would end the command early), a space (a second argument),
// the shell's redirections, pipes and wildcards, path and drive separators and
// the characters its file names never hold. Dots are names' own.
std::string NameRefusal(const std::string& name);
bool UsableName(const std::string& name);
// The same for each name of a path in the pane's form ("\", "\DATA\SUB").
std::string PathRefusal(const std::string& path);

// Text files back from the controller through the shell's "type", which
// stops at a Ctrl+Z byte and gives its own line ends: binaries do not survive.
// Why a file is not offered as text (its extension marks a program, an image
// or another binary); empty when it may be typed.
std::string BinaryRefusal(const std::string& name);
struct TextRead {
  bool ok = false;
  std::vector<std::string> lines;  // without their line ends
  std::string failure;             // why not, when the exchange itself did not say
  // The file holds NUL bytes: an upload fills its last block with them. The
  // ones at its end are not in lines.
  bool nulBytes = false;
};
// Lists dir first and types name only when it is listed there as a file, so
// that a shell message is never taken for the file's text. dir in the pane's
// form ("\", "\CONF").
TextRead ReadRemoteText(Exchange& exchange, const std::string& dir, const std::string& name);
// The lines as one text with the given line end after each.
std::string JoinLines(const std::vector<std::string>& lines, const char* end);

// The commands of the context menu that apply to the selected entry (none
// selected: nullptr). Copy, Paste and the shell commands need no entry.
struct RemoteMenuState {
  bool makeDirectory = false;
  bool remove = false;
  bool rename = false;
  bool setToAutoRun = false;  // a file whose name holds ".EXE" in capitals
  bool properties = true;
  bool view = false;  // a file that is not refused as binary
};
RemoteMenuState MenuStateFor(const RemoteEntry* selected);

// What the properties dialog shows.
struct RemoteProperties {
  std::string Module, Name, Path, Type, Size, Date, Contains;
};

// The texts the status bar shows after a listing.
struct FillOutcome {
  bool ok = false;
  std::string objectsText;  // panel 0
  std::string sizeText;     // panel 1: total size + the last free-space text
};

// The remote pane's logic on a listing and an exchange.
class RemoteOps {
 public:
  RemoteOps(Exchange& exchange, RemoteListing& listing) : exchange_(exchange), listing_(listing) {}

  // Replaces the entries by a new listing of path, sorted by SortColumn (which
  // then returns to 0). The path is not remembered here.
  FillOutcome FillRemoteList(const std::string& path);
  // FillRemoteList, then CurrentPath = path and the row to select (-1 for none);
  // RestoreIndex returns to 0. An empty path lists the root.
  FillOutcome Show(const std::string& path, int* selectRow = nullptr);
  // Keep the user's column and the row of the context menu for the next listing.
  void PrepareRelist();

  // Counted in the folder the pane shows.
  TreeCount Count(const std::string& name) { return CountRemoteTree(exchange_, Folder(), name); }

  // The properties of the selected entry, or of the current directory when
  // none is selected (pathText: what the path box shows). Directories are
  // counted on the controller; nullopt when the current directory's count
  // failed, since then there is nothing to show.
  std::optional<RemoteProperties> Properties(const RemoteEntry* selected, const std::string& pathText);

  // Each returns true when the controller's files may have changed, so the
  // caller relists. Questions and warnings go through the exchange's Ui. Each
  // acts in the folder the pane shows (CurrentPath; the root before any
  // listing), whatever the shell's current directory, and refuses a name that
  // NameRefusal refuses with an error box before anything is typed.
  bool Delete(const RemoteEntry& entry);
  bool MakeDirectory(const std::string& name);
  bool Rename(const std::string& from, const std::string& to);
  bool Format();
  bool Mem();
  bool Abort();
  // Whether the last operation failed on a command that may or may not have run.
  bool OutcomeUnknown() const { return exchange_.OutcomeUnknown(); }
  // The command's outcome; the caller relists in either case.
  bool SetAutoRun(const std::string& name, bool append);

  // Looks up the type texts of all entries. They are otherwise filled only
  // for rows being shown, so a sort by the Type column needs them first.
  std::function<void()> DescribeAll;
  // Lists with ReadRemoteFolderAgreed; the reason of a disagreement lands here.
  bool AgreedListings = false;
  std::string ListingDisagreement;

 private:
  static std::string FolderOrRoot(const std::string& path) { return path.empty() ? "\\" : path; }
  std::string Folder() const { return FolderOrRoot(listing_.CurrentPath); }
  // False after an error box when a name is refused.
  bool NamesUsable(std::initializer_list<const std::string*> names);
  bool RunHere(const ExchangeProfile& profile, const std::string& line, LineHandler handler = {});
  bool RunOne(const ExchangeProfile& profile, const std::string& line, LineHandler handler = {});

  Exchange& exchange_;
  RemoteListing& listing_;
};

}  // namespace vorn
