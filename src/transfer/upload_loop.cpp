#include "transfer/upload_loop.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <chrono>
#include <thread>

#include "link/prompt_reader.h"
#include "platform/host.h"
#include "remote/remote_ops.h"
#include "transfer/copy_checks.h"
#include "transfer/xmodem_sender.h"

namespace vorn {

namespace {
constexpr int kNameLimit = 12;
// How the pane shows the line that starts the receiver.
constexpr const char* kShownCommand = "C:\\transfer /R ";
constexpr auto kPollPause = std::chrono::milliseconds(5);
constexpr uint32_t kUploadTimeoutMs = 500;
// A shell command between uploads: short reads, as the listing uses, and a
// few seconds for the prompt.
constexpr uint32_t kShellTimeoutMs = 200;
constexpr uint32_t kShellBudgetMs = 5000;
struct SentFile {
  int outcome = -1;
  bool eotAcknowledged = false;
  std::string reason;  // of a failure
};

// One TThreadXModem from start to end; progress gets its percent at every poll
// and once at the end.
SentFile SendOne(Port& port, TerminalPane& terminal, GuiInvoker& gui, const std::string& file,
                 const std::string& targetPath, const UploadHooks& hooks, const std::function<bool()>& cancelRequested,
                 const std::function<void(int)>& progress) {
  TThreadXModem thread(gui);
  thread.Port = &port;
  thread.Terminal = &terminal;
  thread.SourcePath = file;
  thread.TargetPath = targetPath;
  thread.Resume();
  while (thread.Outcome == 1 && !thread.Finished()) {
    progress(thread.Percent);
    if (hooks.ProcessEvents) hooks.ProcessEvents();
    std::this_thread::sleep_for(kPollPause);
    if (cancelRequested()) thread.CancelRequested = true;
  }
  progress(thread.Percent);
  return {thread.Outcome, thread.EotAcknowledged, thread.FailureReason};
}

std::string StripLine(const std::string& text) {
  std::string line;
  for (char c : text)
    if (c != '\r' && c != '\n') line += c;
  return line;
}

bool PromptOnItsLine(const std::string& text) { return IsPrompt(StripLine(text)); }

// Types one shell command on the upload port and collects what the shell
// prints up to its prompt. False when the line was not echoed or the prompt
// never came back.
bool ShellCommand(Port& port, TerminalPane& terminal, const std::string& line, std::vector<std::string>& out) {
  ShowPaneLine(terminal, line);
  if (!CommandLineRefusal(line).empty()) return false;
  const uint8_t savedEnd = port.LineEnd;
  const uint32_t savedTimeout = port.Timeout();
  port.LineEnd = 10;
  port.SetTimeouts(kShellTimeoutMs);
  bool ok = TypeCommandLine(port, line);
  bool prompt = false;
  for (uint32_t waited = 0; ok && waited < kShellBudgetMs; waited += kShellTimeoutMs) {
    std::string text;
    ReadShellLine(port, 1024, text, PromptOnItsLine);
    const std::string shown = StripLine(text);
    if (IsPrompt(shown)) {
      prompt = true;
      break;
    }
    ShowPaneLine(terminal, shown);
    if (!shown.empty()) out.push_back(shown);
  }
  port.LineEnd = savedEnd;
  port.SetTimeouts(savedTimeout);
  return ok && prompt;
}

// "md" of a controller directory; a directory that is there already will do
// (*existed tells which).
bool MakeRemoteDir(Port& port, TerminalPane& terminal, const std::string& path, bool* existed) {
  std::vector<std::string> answer;
  *existed = false;
  if (!ShellCommand(port, terminal, "md " + path + "\r", answer)) return false;
  if (std::none_of(answer.begin(), answer.end(), [](const std::string& l) { return MakeDirRefused(l); }))
    return true;
  answer.clear();
  *existed = ShellCommand(port, terminal, "cd " + path + "\r", answer) && answer.empty();
  return *existed;
}

bool ListedFile(const std::vector<RemoteEntry>& listed, const std::string& name) {
  return std::any_of(listed.begin(), listed.end(),
                     [&](const RemoteEntry& e) { return !e.IsDirectory && UpperName(e.Name) == UpperName(name); });
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

}  // namespace

void UploadLinesPane::AppendLine(const std::string& text) {
  pane_.AppendLine(text);
  if (text.rfind(kShownCommand, 0) == 0) lines_.clear();
  lines_.push_back(text);
}

std::string UploadLinesPane::LastWords() const {
  for (auto it = lines_.rbegin(); it != lines_.rend(); ++it)
    if (it->find_first_not_of(" \r\n") != std::string::npos && it->rfind(kShownCommand, 0) != 0)
      return *it;
  return {};
}

std::string MakeDirFailureText(const std::string& path) { return "Unable to create directory '" + path + "'!"; }

UploadResult RunFolderUpload(Port& port, TerminalPane& terminal, GuiInvoker& gui, const FolderPlan& plan,
                             const UploadHooks& hooks) {
  UploadResult result;
  const auto cancelRequested = [&] { return hooks.CancelRequested && hooks.CancelRequested(); };
  uint64_t bytesDone = 0;
  int position = 0;
  std::vector<std::string> existingDirs;  // made before this job: any name may be there
  for (const FolderStep& step : plan.steps) {
    if (cancelRequested()) {
      result.Cancelled = true;
      break;
    }
    if (step.makeDir) {
      if (hooks.ProcessEvents) hooks.ProcessEvents();
      bool existed = false;
      if (MakeRemoteDir(port, terminal, step.RemotePath(), &existed)) {
        if (existed) existingDirs.push_back(step.RemotePath() + "\\");
        continue;
      }
      result.Succeeded = false;
      result.FailedName = step.RemotePath();
      if (hooks.Error) hooks.Error(MakeDirFailureText(step.RemotePath()));
      break;
    }
    ++position;
    const SentFile sent =
        SendOne(port, terminal, gui, step.hostPath, step.RemotePath(), hooks, cancelRequested, [&](int percent) {
          if (hooks.Progress) hooks.Progress(step.hostPath, position, plan.fileCount, percent);
          if (hooks.JobProgress)
            hooks.JobProgress(position, plan.fileCount, bytesDone + step.size * static_cast<uint64_t>(percent) / 100,
                              plan.totalBytes);
        });
    if (sent.outcome == 0) {
      ++result.Uploaded;
      bytesDone += step.size;
      const bool replaces =
          std::find(existingDirs.begin(), existingDirs.end(), step.remoteDir) != existingDirs.end() ||
          (step.remoteDir == plan.targetDir && ListedFile(hooks.Listed, step.name));
      if (!sent.eotAcknowledged)
        result.Unacknowledged.push_back({step.hostPath, step.name, step.remoteDir, replaces});
    }
    if (cancelRequested()) {
      result.Cancelled = sent.outcome != 0 || position < plan.fileCount;
      break;
    }
    if (sent.outcome == 0) continue;
    result.Succeeded = false;
    result.FailedName = step.name;
    if (hooks.Error) hooks.Error(TransferFailureText(step.name, sent.reason));
    break;
  }
  return result;
}

std::unique_ptr<Port> OpenUploadPort(const PortFactory& factory, const std::string& name, std::string* reason) {
  std::unique_ptr<Port> port = factory ? factory(name) : nullptr;
  if (!port || !port->Open()) {
    if (reason && port) *reason = port->OpenFailureReason();
    return nullptr;
  }
  ConfigureControllerLine(*port);
  port->SetTimeouts(kUploadTimeoutMs);
  return port;
}

std::string TransferFailureText(const std::string& name, const std::string& reason) {
  return "Fail to transfer file '" + name + "'!" + (reason.empty() ? std::string() : "\n\nReason: " + reason);
}

UploadResult RunUploads(Port& port, TerminalPane& terminal, GuiInvoker& gui,
                        const std::vector<std::string>& files, const std::string& targetDir,
                        const UploadHooks& hooks) {
  UploadResult result;
  const int total = static_cast<int>(files.size());
  const auto cancelRequested = [&] { return hooks.CancelRequested && hooks.CancelRequested(); };
  const auto fail = [&](const std::string& name, const std::string& text) {
    result.Succeeded = false;
    result.FailedName = name;
    if (hooks.Error) hooks.Error(text);
  };

  std::string name;
  bool renamed = false;  // the name came from the prompt: take the same file again
  bool replaceAll = false;
  int index = 0;
  while (index < total && !cancelRequested()) {
    const std::string& file = files[index];
    if (!renamed) name = FileNamePart(file);

    // Any overwrite question before the run was about the host name, not
    // about the one typed for it.
    const TypedName typed =
        renamed && ValidFileName(name)
            ? CheckTypedName(name, false, hooks.Listed, targetDir, hooks.QuestionWithAll, replaceAll)
            : TypedName::Take;
    if (typed == TypedName::Cancel) {
      result.Cancelled = true;
      break;
    }
    if (typed == TypedName::LeaveOut) {
      renamed = false;
      ++result.Skipped;
      ++index;
      continue;
    }
    if (!ValidFileName(name) || typed == TypedName::AskAgain) {
      if (!hooks.AskName) {
        fail(name, "Invalid file name '" + name + "'");
        break;
      }
      const bool taken = typed == TypedName::AskAgain;
      auto typed = hooks.AskName("Invalid file name '" + name + "'", InvalidNamePrompt(name, taken, false), kNameLimit,
                                 ShortNameFor(name, taken));
      if (typed) {
        name = *typed;
        renamed = true;
      } else {
        renamed = false;
        ++result.Skipped;
        ++index;
      }
      continue;
    }

    const SentFile sent = SendOne(port, terminal, gui, file, targetDir + name, hooks, cancelRequested,
                                  [&](int percent) {
                                    if (hooks.Progress) hooks.Progress(file, index + 1, total, percent);
                                  });
    const int outcome = sent.outcome;
    const bool eotAcknowledged = sent.eotAcknowledged;
    renamed = false;
    ++index;

    if (outcome == 0) ++result.Uploaded;
    if (outcome == 0 && !eotAcknowledged)
      result.Unacknowledged.push_back({file, name, targetDir, ListedFile(hooks.Listed, name)});
    if (cancelRequested()) {
      // A cancel that came too late to stop anything leaves nothing undone.
      result.Cancelled = outcome != 0 || index < total;
      break;
    }
    if (outcome == 0) continue;
    fail(name, TransferFailureText(name, sent.reason));
    break;
  }
  if (index < total && cancelRequested()) result.Cancelled = true;
  return result;
}

bool ConfirmStored(const std::string& portName, const PortFactory& factory,
                   const std::vector<UploadResult::Unconfirmed>& uploads, Ui& ui) {
  SilentPane pane;
  NoCursor cursor;
  Exchange exchange(pane, cursor, ui, factory);
  exchange.ComName = portName;
  std::map<std::string, std::pair<FolderRead, bool>> reads;  // per directory, with the prompt seen
  bool all = true;
  for (const UploadResult::Unconfirmed& upload : uploads) {
    if (upload.replaces) {
      all = false;
      ui.Error("The end of file '" + upload.name + "' was not acknowledged and it was to replace a file of that " +
               "name in " + upload.targetDir + ": it may not have been stored.");
      continue;
    }
    const std::string remotePath = RemotePathOf(upload.targetDir);
    if (!reads.count(remotePath)) {
      FolderRead read = ReadRemoteFolder(exchange, remotePath);
      reads[remotePath] = {std::move(read), exchange.PromptSeen()};
    }
    const uint64_t size = StoredSize(upload.file);
    const auto& [read, prompt] = reads[remotePath];
    const bool listed = read.ok && prompt &&
                        std::any_of(read.entries.begin(), read.entries.end(), [&](const RemoteEntry& e) {
                          return !e.IsDirectory && e.Name == UpperName(upload.name) &&
                                 static_cast<uint64_t>(e.Size) == size;
                        });
    if (listed) continue;
    all = false;
    ui.Error("The end of file '" + upload.name + "' was not acknowledged and the controller does not list it at " +
             std::to_string(size) + " bytes: it may not have been stored.");
  }
  return all;
}

}  // namespace vorn
