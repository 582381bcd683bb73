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

namespace vorn {

namespace {



// What the target directory already holds: a file of the same name is
// replaced only when asked to, a directory never. False with the reason on err.
bool ExistingChecked(const std::string& portName, const PortFactory& factory, const PutRequest& request,
                     std::ostream& err) {
  SilentPane pane;
  NoCursor cursor;
  StreamErrorUi ui(err);
  Exchange exchange(pane, cursor, ui, factory);
  exchange.ComName = portName;
  const FolderRead read = ReadRemoteFolder(exchange, request.remotePath);
  if (!read.ok) return false;
  if (!exchange.PromptSeen()) {
    err << kNoPromptText << '\n';
    return false;
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
        return false;
      }
      if (e.IsDirectory) {
        err << "put: '" << name << "' is a directory in " << request.targetDir << '\n';
        return false;
      }
      if (!request.force) {
        err << "put: '" << name << "' already exists in " << request.targetDir << ": --force replaces it\n";
        return false;
      }
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

  if (!ExistingChecked(portName, factory, *request, err)) return 1;

  std::string reason;
  std::unique_ptr<Port> port = OpenUploadPort(factory, portName, &reason);
  if (!port) {
    err << OpenFailureText(portName, reason) << '\n';
    return 1;
  }

  DirectInvoker gui;  // no GUI thread: the sender's steps run on its own thread
  UploadHooks hooks;
  PutProgress shown(err);
  hooks.Progress = [&](const std::string& file, int position, int total, int percent) {
    shown.Show(position, FileNamePart(file) + ' ' + std::to_string(position) + '/' + std::to_string(total) + ' ' +
                             std::to_string(percent) + '%');
  };
  hooks.Error = [&](const std::string& text) {
    shown.End();
    err << text << '\n' << std::flush;
  };

  // A folder job shows one line: the file of the count and the bytes of all.
  std::string currentFile;
  if (request->recursive) {
    hooks.Progress = [&currentFile](const std::string& file, int, int, int) { currentFile = file; };
    hooks.JobProgress = [&](int file, int files, uint64_t done, uint64_t total) {
      shown.Show(file, FileNamePart(currentFile) + ": file " + std::to_string(file) + " of " + std::to_string(files) +
                           ", " + std::to_string(done) + " of " + std::to_string(total) + " bytes");
    };
  }
  const UploadResult result = request->recursive
                                  ? RunFolderUpload(*port, pane, gui, plan, hooks)
                                  : RunUploads(*port, pane, gui, request->files, request->targetDir, hooks);
  port->Close();
  port.reset();
  shown.End();
  const size_t expected = request->recursive ? static_cast<size_t>(plan.fileCount) : request->files.size();
  if (!result.AllUploaded(expected)) return 1;
  StreamErrorUi errors(err);
  if (!result.Unacknowledged.empty() && !ConfirmStored(portName, factory, result.Unacknowledged, errors)) return 1;
  return 0;
}

}  // namespace vorn
