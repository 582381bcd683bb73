#include "transfer/put_command.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <iostream>
#include <ostream>

#include "link/gui_invoker.h"
#include "platform/host.h"
#include "platform/interrupt.h"
#include "remote/remote_listing.h"
#include "remote/remote_ops.h"
#include "transfer/copy_checks.h"
#include "transfer/upload_loop.h"
#include "transfer/xmodem_sender.h"

namespace vorn {

namespace {

constexpr int kInterruptedExit = 130;  // as a shell reports a program ended by Ctrl+C

// The receiver stores whole 128-byte blocks.
uint64_t BlockSize(uint64_t bytes) { return (bytes + 127) / 128 * 128; }

// What the target directory already holds: a file of the same name is
// replaced only when asked to, a directory never. nullopt with the reason on err.
std::optional<FolderRead> ExistingChecked(const std::string& portName, const PortFactory& factory,
                                          const PutRequest& request, std::ostream& err) {
  SilentPane pane;
  NoCursor cursor;
  StreamErrorUi ui(err);
  Exchange exchange(pane, cursor, ui, factory);
  exchange.ComName = portName;
  FolderRead read = ReadRemoteFolder(exchange, request.remotePath);
  if (!read.ok) return std::nullopt;
  if (!exchange.PromptSeen()) {
    err << kNoPromptText << '\n';
    return std::nullopt;
  }
  for (const std::string& file : request.files) {
    const std::string name = UpperName(FileNamePart(file));
    for (const RemoteEntry& e : read.entries) {
      if (UpperName(e.Name) != name) continue;
      // A folder goes into a directory of its name, over its files.
      if (e.IsDirectory && request.recursive) {
        if (request.force) continue;
        err << "put: '" << name << "' already exists in " << request.targetDir
            << ": --force uploads into it, replacing its files of the same names\n";
        return std::nullopt;
      }
      if (e.IsDirectory) {
        err << "put: '" << name << "' is a directory in " << request.targetDir << ": a file cannot replace it\n";
        return std::nullopt;
      }
      if (!request.force) {
        err << "put: '" << name << "' already exists in " << request.targetDir << ": --force replaces it\n";
        return std::nullopt;
      }
    }
  }
  return read;
}

// The names the files take on the controller, checked before anything is
// sent: each one 8.3 and none twice (the second would replace the first).
bool NamesChecked(const PutRequest& request, std::ostream& err) {
  std::map<std::string, std::string> taken;  // stored name -> host path
  for (const std::string& file : request.files) {
    const std::string name = UpperName(FileNamePart(file));
    if (!IsShortName(name)) {
      err << "put: '" << FileNamePart(file)
          << "' is not a name the controller takes (8.3: up to 8 letters, digits or _, a dot and up to 3 more); "
             "nothing was sent\n";
      return false;
    }
    const auto [at, added] = taken.emplace(name, file);
    if (!added) {
      err << "put: '" << at->second << "' and '" << file << "' would both be " << request.targetDir << name
          << ", the second replacing the first; nothing was sent\n";
      return false;
    }
  }
  return true;
}

// The progress on standard error: updated in place on a terminal; in a log
// or a pipe, where carriage returns would run together, one line for each
// file with its last state.
class PutProgress {
 public:
  explicit PutProgress(std::ostream& err)
      : err_(err), inPlace_(&err == &std::cerr && platform::StandardErrorIsTerminal()) {}
  void Show(int position, const std::string& text) {
    if (position == position_ && text == text_) return;
    if (position != position_) End();
    position_ = position;
    text_ = text;
    if (inPlace_) err_ << '\r' << text << std::flush;
  }
  // Ends the current file's line, before an error or at the end.
  void End() {
    if (position_ == 0) return;
    if (!inPlace_) err_ << text_;
    err_ << '\n' << std::flush;
    position_ = 0;
    text_.clear();
  }

 private:
  std::ostream& err_;
  const bool inPlace_;
  int position_ = 0;
  std::string text_;
};

// Whether the files fit: the bytes the listing shows free, with those of the
// files they replace. Only what surely does not fit is refused.
bool SpaceChecked(const PutRequest& request, const FolderPlan& plan, const FolderRead& read, std::ostream& err) {
  if (!read.bytesFree) return true;  // the listing did not say
  uint64_t needed = 0;
  uint64_t freed = 0;
  if (request.recursive) {
    for (const FolderStep& step : plan.steps) {
      if (step.makeDir) continue;
      // Files going into a directory that is there already may replace any of its files.
      if (step.remoteDir != request.targetDir && request.force) return true;
      needed += BlockSize(step.size);
    }
  } else {
    for (const std::string& file : request.files) {
      std::FILE* f = platform::OpenFileForReading(file);
      if (!f) continue;
      const int64_t length = platform::OpenFileLength(f);
      std::fclose(f);
      needed += BlockSize(length > 0 ? static_cast<uint64_t>(length) : 0);
    }
  }
  for (const std::string& file : request.recursive ? std::vector<std::string>{} : request.files)
    for (const RemoteEntry& e : read.entries)
      if (!e.IsDirectory && UpperName(e.Name) == UpperName(FileNamePart(file))) freed += e.Size;
  if (needed <= *read.bytesFree + freed) return true;
  err << "put: the upload needs " << needed << " bytes, but " << request.targetDir << " has " << *read.bytesFree
      << " bytes free; nothing was sent\n";
  return false;
}

// Why an upload failed, from the lines the sender and the receiver showed
// and the state of the port.
std::string FailureReason(const UploadLinesPane& pane, const Port& port, const std::string& portName) {
  if (const std::string lost = port.LostReason(); !lost.empty()) return LineLostText(portName, lost);
  const std::vector<std::string>& lines = pane.Lines();
  if (std::find(lines.begin(), lines.end(), kFileChangedStatus) != lines.end())
    return "The host file changed size while it was sent, so it was not stored.";
  const std::string last = pane.LastWords();
  if (last == "<<No ACK from VORN-7730M>>")
    return "The controller's receiver never answered (is the controller at its prompt?)";
  if (last.empty() || last == "<<Transferring File...>>") return {};
  if (last.rfind("<<", 0) == 0) return last;
  return "The controller said: " + last;
}

}  // namespace

std::optional<PutRequest> ParsePutArguments(const std::vector<std::string>& args, std::string* error) {
  PutRequest request;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--to") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        *error = "--to needs a controller directory";
        return std::nullopt;
      }
      request.remotePath = NormalizeRemotePath(args[++i]);
      request.targetDir = TargetDirFor(request.remotePath);
    } else if (a == "--force") {
      request.force = true;
    } else if (a.rfind("--to=", 0) == 0 && a.size() > 5) {
      request.remotePath = NormalizeRemotePath(a.substr(5));
      request.targetDir = TargetDirFor(request.remotePath);
    } else if (a == "--recursive" || a == "-r") {
      request.recursive = true;
    } else if (a.size() > 1 && a[0] == '-') {
      // A file whose name begins with "-" is named with its folder (./-x).
      *error = "put: unknown option " + a;
      return std::nullopt;
    } else {
      request.files.push_back(a);
    }
  }
  if (request.files.empty()) {
    *error = request.recursive ? "put --recursive needs a folder" : "put needs at least one file";
    return std::nullopt;
  }
  return request;
}

int RunPut(const std::string& portName, const PortFactory& factory, const std::vector<std::string>& args,
           TerminalPane& pane, std::ostream& err) {
  std::string error;
  const auto request = ParsePutArguments(args, &error);
  if (!request) {
    err << error << '\n';
    return 2;
  }

  // A directory name the shell would read as more than a name never reaches it.
  if (const std::string refusal = PathRefusal(request->remotePath); !refusal.empty()) {
    err << "put: " << refusal << '\n';
    return 1;
  }

  // Planned before the port opens: the controller hears nothing of a job
  // that would stop half-way on a name it refuses.
  FolderPlan plan;
  if (request->recursive) {
    plan = PlanFolderUpload(request->files, request->targetDir);
    if (!plan.Ok()) {
      err << "put: nothing was sent:\n" << PlanRefusalText(plan);
      return 1;
    }
  }

  // Checked before the port opens: reading anything but a regular file may block.
  for (const std::string& file : request->recursive ? std::vector<std::string>{} : request->files) {
    if (const std::string kind = platform::NonRegularKind(file); !kind.empty()) {
      err << "put: '" << file << "' is a " << kind << ", not a regular file: only regular files can be uploaded\n";
      return 1;
    }
    std::FILE* f = platform::OpenFileForReading(file);
    if (!f) {
      err << "put: '" << file << "' does not exist or cannot be read\n";
      return 1;
    }
    std::fclose(f);
  }
  if (!request->recursive && !NamesChecked(*request, err)) return 1;

  // From here on the first Ctrl+C stops the job tidily: the receiver is
  // cancelled rather than left waiting for blocks that never come.
  const platform::InterruptScope interrupts;
  const auto existing = ExistingChecked(portName, factory, *request, err);
  if (!existing) return 1;
  if (!SpaceChecked(*request, plan, *existing, err)) return 1;
  if (platform::InterruptRequested()) {
    err << "put: stopped by the user; nothing was sent\n";
    return kInterruptedExit;
  }

  std::string reason;
  std::unique_ptr<Port> port = OpenUploadPort(factory, portName, &reason);
  if (!port) {
    err << OpenFailureText(portName, reason) << '\n';
    return 1;
  }

  DirectInvoker gui;  // no GUI thread: the sender's steps run on its own thread
  UploadLinesPane lines(pane);
  UploadHooks hooks;
  hooks.Listed = existing->entries;
  hooks.CancelRequested = [] { return platform::InterruptRequested(); };
  PutProgress shown(err);
  std::string currentFile;
  hooks.Progress = [&](const std::string& file, int position, int total, int percent) {
    currentFile = file;
    shown.Show(position, FileNamePart(file) + ' ' + std::to_string(position) + '/' + std::to_string(total) + ' ' +
                             std::to_string(percent) + '%');
  };
  hooks.Error = [&](const std::string& text) {
    shown.End();
    const std::string why = FailureReason(lines, *port, portName);
    err << text << (why.empty() ? "" : " " + why) << '\n' << std::flush;
  };

  // A folder job shows one line: the file of the count and the bytes of all.
  if (request->recursive) {
    hooks.Progress = [&currentFile](const std::string& file, int, int, int) { currentFile = file; };
    hooks.JobProgress = [&](int file, int files, uint64_t done, uint64_t total) {
      shown.Show(file, FileNamePart(currentFile) + ": file " + std::to_string(file) + " of " + std::to_string(files) +
                           ", " + std::to_string(done) + " of " + std::to_string(total) + " bytes");
    };
  }
  const UploadResult result = request->recursive
                                  ? RunFolderUpload(*port, lines, gui, plan, hooks)
                                  : RunUploads(*port, lines, gui, request->files, request->targetDir, hooks);
  const std::string lost = port->LostReason();
  port->Close();
  port.reset();
  shown.End();
  const size_t expected = request->recursive ? static_cast<size_t>(plan.fileCount) : request->files.size();
  if (result.Cancelled && platform::InterruptRequested()) {
    err << "put: stopped by the user: " << result.Uploaded << " of " << expected << " files were stored";
    if (!currentFile.empty() && lost.empty())
      err << "; the upload of '" << FileNamePart(currentFile)
          << "' was cancelled (the controller's receiver was told to stop) and it was not stored";
    err << "\n";
    if (!lost.empty()) err << LineLostText(portName, lost) << '\n';
    return kInterruptedExit;
  }
  if (!result.AllUploaded(expected)) return 1;
  StreamErrorUi errors(err);
  if (!result.Unacknowledged.empty() && !ConfirmStored(portName, factory, result.Unacknowledged, errors)) return 1;
  return 0;
}

}  // namespace vorn
