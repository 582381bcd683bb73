#include "ioconf/ioconf_run.h"

#include "link/line_wait.h"
#include "link/prompt_reader.h"
#include <chrono>
#include <thread>

#include "transfer/upload_loop.h"
#include "transfer/xmodem_sender.h"

namespace vorn {

namespace {

constexpr size_t kLineLimit = 1024;
constexpr size_t kProbeDrainLimit = 513;
// The controller needs a moment before the tool's first line.
constexpr auto kProbePause = std::chrono::milliseconds(100);
constexpr auto kPollPause = std::chrono::milliseconds(5);

bool Contains(const std::string& line, const char* text) { return line.find(text) != std::string::npos; }

std::unique_ptr<Port> OpenToolPort(const PortFactory& factory, const std::string& name, uint32_t timeoutMs) {
  std::unique_ptr<Port> port = factory ? factory(name) : nullptr;
  if (!port || !port->Open()) return nullptr;
  port->LineEnd = 10;
  ConfigureControllerLine(*port);
  port->SetTimeouts(timeoutMs);
  return port;
}

// The failure of a port whose controller went away; empty while it is there.
std::string LostText(const Port& port, const std::string& name) {
  const std::string lost = port.LostReason();
  return lost.empty() ? lost : LineLostText(name, lost);
}

}  // namespace

bool RefusesConfiguration(const std::string& line) {
  std::string lower;
  for (char c : line) lower += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  for (const char* word : {"not changed", "nothing changed", "not a valid", "invalid", "cannot", "can't", "unable",
                           "error", "fail", "bad command", "not found"})
    if (lower.find(word) != std::string::npos) return true;
  return false;
}

IOConfRun::IOConfRun(Exchange& exchange, GuiInvoker& gui, std::string configPath)
    : exchange_(exchange), gui_(gui), configPath_(std::move(configPath)) {}

std::string IOConfRun::ToolCommand(const std::string& args) const {
  return std::string(UseD ? "D:" : "C:") + "\\cfgio" + args + "\r";
}

void IOConfRun::Probe() {
  // The window keeps painting while the probe waits on the line.
  LineWaitScope waiting;
  std::unique_ptr<Port> port = OpenToolPort(exchange_.Factory(), exchange_.ComName, TimeoutMs);
  if (!port) {
    ErrorMessage = OpenFailureText(exchange_.ComName);
    return;
  }
  DrainShellOutput(*port, kProbeDrainLimit);

  std::string text;
  if (!exchange_.SendReadOnlyCommand(*port, "C:\\cfgio 1 1\r")) {
    ErrorMessage = SendFailureTextConfig("C:cfgio 1 1");
  } else {
    std::this_thread::sleep_for(kProbePause);
    while (ReadShellLine(*port, kLineLimit, text, IsPrompt)) {
      if (Contains(text, "Bad")) UseD = true;
      if (UseD) continue;
      if (Contains(text, "@NUMBEROFSLOT")) {
        exchange_.ShowLine(text);
      } else if (Contains(text, "@SLOT")) {
        exchange_.ShowLine(text);
        if (text.size() >= 7 && text[6] == ' ') EightSlots = false;
        if (text.size() >= 7 && text[6] == '8') EightSlots = true;
      }
    }
    if (!UseD) {
      exchange_.WaitForPrompt(*port, text);
    } else if (!exchange_.SendReadOnlyCommand(*port, "D:\\cfgio 1 1\r")) {
      ErrorMessage = SendFailureTextConfig("D:cfgio 1 1");
    } else {
      std::this_thread::sleep_for(kProbePause);
      while (ReadShellLine(*port, kLineLimit, text, IsPrompt)) {
        if (Contains(text, "@NUMBEROFSLOT")) {
          exchange_.ShowLine(text);
        } else if (Contains(text, "@SLOT")) {
          exchange_.ShowLine(text);
          if (text.size() >= 7 && text[6] == '8') EightSlots = true;
        }
      }
      exchange_.WaitForPrompt(*port, text);
    }
  }
  if (std::string lost = LostText(*port, exchange_.ComName); !lost.empty()) ErrorMessage = LineLost = lost;
  probed_ = true;
  port->Close();
}

bool IOConfRun::Read(IOConfig& config) {
  LineWaitScope waiting;
  exchange_.Cursor().SetBusy();
  bool ok = false;
  std::unique_ptr<Port> port =
      LineLost.empty() ? OpenToolPort(exchange_.Factory(), exchange_.ComName, TimeoutMs) : nullptr;
  if (!LineLost.empty()) {
    ErrorMessage = LineLost;
  } else if (!port) {
    // Opened for the probe a moment ago: the device has gone since.
    ErrorMessage = probed_ ? LineLostText(exchange_.ComName, "it can no longer be opened")
                           : OpenFailureText(exchange_.ComName);
  } else {
    exchange_.DrainInput(*port);
    if (!exchange_.SendReadOnlyCommand(*port, ToolCommand(" 1"))) {
      ErrorMessage = SendFailureText("cfgio 1");
    } else {
      IOConfigReader reader(config);
      std::string text;
      while (ReadShellLine(*port, kLineLimit, text, IsPrompt)) {
        exchange_.ShowLine(text);
        reader.Line(text);
      }
      exchange_.WaitForPrompt(*port, text);
      // Without the header and the trailer the table would go back to the
      // controller as eight empty slots.
      ok = reader.Complete();
      if (!ok) ErrorMessage = kReadFailureText;
    }
    if (std::string lost = LostText(*port, exchange_.ComName); !lost.empty()) {
      ErrorMessage = LineLost = lost;
      ok = false;
    }
    port->Close();
  }
  port.reset();
  exchange_.Cursor().Restore();
  return ok;
}

bool IOConfRun::Upload(const std::string& sourcePath) {
  exchange_.Cursor().SetBusy();
  std::unique_ptr<Port> port = OpenUploadPort(exchange_.Factory(), exchange_.ComName);
  if (!port) {
    exchange_.Cursor().Restore();
    exchange_.UserInterface().Error(OpenFailureText(exchange_.ComName));
    return false;
  }
  int outcome = -1;
  std::string failure;
  UploadLinesPane lines(exchange_.Pane());
  {
    TThreadXModem thread(gui_);
    thread.Port = port.get();
    thread.Terminal = &lines;
    thread.SourcePath = sourcePath;
    thread.TargetPath = kDeviceConfigPath;
    thread.Resume();
    while (thread.Outcome == 1 && !thread.Finished()) {
      if (ProcessEvents) ProcessEvents();
      std::this_thread::sleep_for(kPollPause);
    }
    outcome = thread.Outcome;
    // A command line that was not echoed never started a transfer: the shell
    // is not where it should be. Otherwise the last line tells why.
    if (outcome == 0) {
    } else if (std::string lost = LostText(*port, exchange_.ComName); !lost.empty()) {
      failure = lost;
    } else if (!thread.CommandEchoed) {
      const std::string& line = thread.CommandLine;
      failure = SendFailureText(line.empty() || line.back() != '\r' ? line : line.substr(0, line.size() - 1));
    } else {
      failure = "Failed to transfer configuration!";
      if (const std::string last = lines.LastWords(); !last.empty()) failure += "\n" + last;
    }
  }
  port->Close();
  port.reset();
  exchange_.Cursor().Restore();
  if (!failure.empty()) exchange_.UserInterface().Error(failure);
  return outcome == 0;
}

bool IOConfRun::RunCommand(const std::string& line) {
  return exchange_.Run({TimeoutMs, 10}, {{line, SendFailureText(line), nullptr}});
}

bool IOConfRun::Apply() {
  bool applied = false;
  if (!CheckAnswer) {
    applied = RunCommand(ToolCommand(""));
  } else {
    const std::string line = ToolCommand("");
    const LineHandler refusal = [](const std::string& text, std::string& failure) {
      if (!RefusesConfiguration(text)) return LineVerdict::Continue;
      std::string shown;
      for (char c : text)
        if (c != '\r' && c != '\n') shown += c;
      failure = "The controller did not apply the configuration: " + shown;
      return LineVerdict::Fail;
    };
    applied = exchange_.Run({TimeoutMs, 10}, {{line, SendFailureText(line), refusal}});
    if (applied && !exchange_.PromptSeen()) {
      exchange_.UserInterface().Error(kNoPromptText);
      applied = false;
    }
  }
  // The device copy goes whatever the tool made of it.
  const bool deleted = RunCommand(std::string("del ") + kDeviceConfigPath + "\r");
  return applied && deleted;
}

IOConfOutcome IOConfRun::Run(IOConfEditor& editor) {
  Probe();
  IOConfig config;
  config.EightSlots = EightSlots;
  if (!Read(config)) {
    exchange_.UserInterface().Error(ErrorMessage);
    return IOConfOutcome::Failed;
  }
  if (!editor.Edit(config)) return IOConfOutcome::Cancelled;
  if (!CreateIOConfig(config, configPath_)) {
    exchange_.UserInterface().Error("Failed to create configuration!\n'" + configPath_ +
                                    "' could not be written (its folder is missing or not writable, or the disk is full).");
    return IOConfOutcome::Failed;
  }
  if (!Upload(configPath_)) return IOConfOutcome::Failed;
  return Apply() ? IOConfOutcome::Applied : IOConfOutcome::Failed;
}

}  // namespace vorn
