#pragma once
// Uploads a list of host files into one controller directory, one TThreadXModem
// after the other, for the transfer dialog and the command-line tool alike.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/gui_invoker.h"
#include "link/port.h"
#include "link/ui.h"
#include "remote/remote_listing.h"
#include "transfer/folder_plan.h"

namespace vorn {

struct UploadHooks {
  // Called before each poll of a running upload and once when it ended:
  // the host file, its position counted from 1, the total and the progress.
  std::function<void(const std::string& file, int position, int total, int percent)> Progress;
  // Lets the GUI thread run pending events between polls (the synchronised
  // steps of the upload need it when steps go to a GUI thread).
  std::function<void()> ProcessEvents;
  std::function<bool()> CancelRequested;
  // The prompt for a name the controller would refuse; nullopt skips the file.
  // Without this hook such a file fails.
  std::function<std::optional<std::string>(const std::string& caption, const std::string& prompt,
                                           int maxLength, const std::string& initial)>
      AskName;
  std::function<void(const std::string& text)> Error;
  // What the target directory lists (an upload of a listed name replaces a
  // file; a folder job's directories that exist already may hold any name):
  // a name typed at the prompt may meet one
  // of its files, which is then replaced only as QuestionWithAll answers
  // (Yes, Yes to all, No leaves the file out, Cancel stops the run; without
  // it the file is left out), or one of its directories, which is no name for
  // a file, so another is asked for.
  std::vector<RemoteEntry> Listed;
  std::function<Ui::Choice(const std::string& question)> QuestionWithAll;
  // A folder job's whole progress: the file being sent counted from 1, the
  // number of files, and the bytes done of all of them.
  std::function<void(int file, int files, uint64_t bytesDone, uint64_t bytesTotal)> JobProgress;
};

struct UploadResult {
  bool Succeeded = true;   // false once a file failed
  bool Cancelled = false;  // the user stopped the run before every file was up
  int Uploaded = 0;
  int Skipped = 0;          // files left out at their name prompt or at the question it led to
  std::string FailedName;   // the controller name of the file that failed
  struct Unconfirmed {
    std::string file;  // host path
    std::string name;  // controller name
    std::string targetDir;  // the controller directory it went into, such as D:\DATA\  .
    // A file of that name may have been there before: the listing cannot
    // tell the new one from it, so only the acknowledged end could.
    bool replaces = false;
  };
  // Uploads that counted as done although their end of file was never acknowledged.
  std::vector<Unconfirmed> Unacknowledged;
  // Every file is on the controller: no failure, no cancel, no skipped file.
  bool AllUploaded(size_t fileCount) const { return Succeeded && !Cancelled && Uploaded == static_cast<int>(fileCount); }
};

// Lines go on to the pane; those of the latest upload (from its command
// line on) are kept, for the reason of a failure.
class UploadLinesPane : public TerminalPane {
 public:
  explicit UploadLinesPane(TerminalPane& pane) : pane_(pane) {}
  int LineCount() const override { return pane_.LineCount(); }
  void Clear() override { pane_.Clear(); }
  void AppendLine(const std::string& text) override;
  const std::vector<std::string>& Lines() const { return lines_; }
  // The last of them that holds text and is not the command line; empty when none.
  std::string LastWords() const;

 private:
  TerminalPane& pane_;
  std::vector<std::string> lines_;
};

// After uploads whose end of file went unacknowledged: whether the controller
// lists each one at its stored size (whole blocks). Each one it does not, one
// that replaces a file of its name, and a listing that fails, is said through ui.
bool ConfirmStored(const std::string& portName, const PortFactory& factory,
                   const std::vector<UploadResult::Unconfirmed>& uploads, Ui& ui);

// A port for uploads: opened, 57600 8N1, 500 ms time-outs (a one-byte read
// then gives up after about a second). nullptr when it cannot be opened.
// reason, when given, receives the port's own reason for a failed open.
std::unique_ptr<Port> OpenUploadPort(const PortFactory& factory, const std::string& name,
                                     std::string* reason = nullptr);

// The port is open and configured as OpenUploadPort leaves it. Stops at the first
// failure (reported through Error as "Fail to transfer file '<name>'!") and
// after an upload during which cancel was asked for.
UploadResult RunUploads(Port& port, TerminalPane& terminal, GuiInvoker& gui,
                        const std::vector<std::string>& files, const std::string& targetDir,
                        const UploadHooks& hooks);

// Runs a folder job's steps in order on the same port: "md" for each
// directory (one that exists already will do), an upload for each file.
// Stops at the first failure (reported through Error) and on cancel.
// Progress counts the files of the whole job; JobProgress adds the bytes.
UploadResult RunFolderUpload(Port& port, TerminalPane& terminal, GuiInvoker& gui, const FolderPlan& plan,
                             const UploadHooks& hooks);
std::string MakeDirFailureText(const std::string& path);

// The failure box text for a controller file name.
// reason, when known, follows on a line of its own.
std::string TransferFailureText(const std::string& name, const std::string& reason = {});

}  // namespace vorn
