#include "transfer/put_command.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <ostream>

#include "link/gui_invoker.h"
#include "platform/host.h"
#include "remote/remote_listing.h"
#include "remote/remote_ops.h"
#include "transfer/copy_checks.h"
#include "transfer/upload_loop.h"

namespace vorn {

namespace {

// Only the listing's failure texts can come up here.

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// The receiver stores whole 128-byte blocks.
uint64_t StoredSize(const std::string& hostFile) {
  std::FILE* f = platform::OpenFileForReading(hostFile);
  if (!f) return 0;
  const int64_t length = platform::OpenFileLength(f);
  std::fclose(f);
  return length <= 0 ? 0 : (static_cast<uint64_t>(length) + 127) / 128 * 128;
}

// The pane's form of a controller directory: \ for D:\, \DATA for D:\DATA\ .
std::string RemotePathOf(const std::string& targetDir) {
  std::string path = targetDir.rfind("D:", 0) == 0 ? targetDir.substr(2) : targetDir;
  if (path.size() > 1 && path.back() == '\\') path.pop_back();
  return path.empty() ? "\\" : path;
}

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
    const std::string name = Upper(FileNamePart(file));
    for (const RemoteEntry& e : read.entries) {
      if (Upper(e.Name) != name) continue;
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

}  // namespace

bool ConfirmStored(const std::string& portName, const PortFactory& factory,
                   const std::vector<UploadResult::Unconfirmed>& uploads, Ui& ui) {
  SilentPane pane;
  NoCursor cursor;
  Exchange exchange(pane, cursor, ui, factory);
  exchange.ComName = portName;
  std::map<std::string, std::pair<FolderRead, bool>> reads;  // per directory, with the prompt seen
  bool all = true;
  for (const UploadResult::Unconfirmed& upload : uploads) {
    const std::string remotePath = RemotePathOf(upload.targetDir);
    if (!reads.count(remotePath)) {
      FolderRead read = ReadRemoteFolder(exchange, remotePath);
      reads[remotePath] = {std::move(read), exchange.PromptSeen()};
    }
    const auto& [read, prompt] = reads[remotePath];
    const uint64_t size = StoredSize(upload.file);
    const bool listed = read.ok && prompt &&
                        std::any_of(read.entries.begin(), read.entries.end(), [&](const RemoteEntry& e) {
                          return !e.IsDirectory && e.Name == Upper(upload.name) &&
                                 static_cast<uint64_t>(e.Size) == size;
                        });
    if (listed) continue;
    all = false;
    ui.Error("The end of file '" + upload.name + "' was not acknowledged and the controller does not list it at " +
             std::to_string(size) + " bytes: it may not have been stored.");
  }
  return all;
}

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
  int shownPercent = -1;
  int shownPosition = 0;
  hooks.Progress = [&](const std::string& file, int position, int total, int percent) {
    if (position == shownPosition && percent == shownPercent) return;
    if (position != shownPosition && shownPosition != 0) err << '\n';
    shownPosition = position;
    shownPercent = percent;
    err << '\r' << FileNamePart(file) << ' ' << position << '/' << total << ' ' << percent << '%' << std::flush;
  };
  hooks.Error = [&](const std::string& text) {
    if (shownPosition != 0) err << '\n';
    shownPosition = 0;
    err << text << '\n' << std::flush;
  };

  // A folder job shows one line: the file of the count and the bytes of all.
  std::string currentFile;
  uint64_t shownBytes = UINT64_MAX;
  if (request->recursive) {
    hooks.Progress = [&currentFile](const std::string& file, int, int, int) { currentFile = file; };
    hooks.JobProgress = [&](int file, int files, uint64_t done, uint64_t total) {
      if (file == shownPosition && done == shownBytes) return;
      if (file != shownPosition && shownPosition != 0) err << '\n';
      shownPosition = file;
      shownBytes = done;
      err << '\r' << FileNamePart(currentFile) << ": file " << file << " of " << files << ", " << done << " of "
          << total << " bytes" << std::flush;
    };
  }
  const UploadResult result = request->recursive
                                  ? RunFolderUpload(*port, pane, gui, plan, hooks)
                                  : RunUploads(*port, pane, gui, request->files, request->targetDir, hooks);
  port->Close();
  port.reset();
  if (shownPosition != 0) err << '\n' << std::flush;
  const size_t expected = request->recursive ? static_cast<size_t>(plan.fileCount) : request->files.size();
  if (!result.AllUploaded(expected)) return 1;
  StreamErrorUi errors(err);
  if (!result.Unacknowledged.empty() && !ConfirmStored(portName, factory, result.Unacknowledged, errors)) return 1;
  return 0;
}

}  // namespace vorn
