#include "transfer/upload_loop.h"

#include <chrono>
#include <thread>

#include "transfer/copy_checks.h"
#include "transfer/xmodem_sender.h"

namespace vorn {

namespace {
constexpr int kNameLimit = 12;
constexpr auto kPollPause = std::chrono::milliseconds(5);
constexpr uint32_t kUploadTimeoutMs = 500;
}  // namespace

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

std::string TransferFailureText(const std::string& name) { return "Fail to transfer file '" + name + "'!"; }

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
  int index = 0;
  while (index < total && !cancelRequested()) {
    const std::string& file = files[index];
    if (!renamed) name = FileNamePart(file);

    if (!ValidFileName(name)) {
      if (!hooks.AskName) {
        fail(name, "Invalid file name '" + name + "'");
        break;
      }
      auto typed = hooks.AskName("Invalid file name '" + name + "'", "Please input new file name:", kNameLimit);
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

    int outcome = -1;
    bool eotAcknowledged = false;
    {
      TThreadXModem thread(gui);
      thread.Port = &port;
      thread.Terminal = &terminal;
      thread.SourcePath = file;
      thread.TargetPath = targetDir + name;
      thread.Resume();
      while (thread.Outcome == 1 && !thread.Finished()) {
        if (hooks.Progress) hooks.Progress(file, index + 1, total, thread.Percent);
        if (hooks.ProcessEvents) hooks.ProcessEvents();
        std::this_thread::sleep_for(kPollPause);
        if (cancelRequested()) thread.CancelRequested = true;
      }
      outcome = thread.Outcome;
      eotAcknowledged = thread.EotAcknowledged;
      if (hooks.Progress) hooks.Progress(file, index + 1, total, thread.Percent);
    }
    renamed = false;
    ++index;

    if (outcome == 0) ++result.Uploaded;
    if (outcome == 0 && !eotAcknowledged) result.Unacknowledged.push_back({file, name});
    if (cancelRequested()) {
      // A cancel that came too late to stop anything leaves nothing undone.
      result.Cancelled = outcome != 0 || index < total;
      break;
    }
    if (outcome == 0) continue;
    fail(name, TransferFailureText(name));
    break;
  }
  if (index < total && cancelRequested()) result.Cancelled = true;
  return result;
}

}  // namespace vorn
