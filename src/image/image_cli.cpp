#include "image/image_cli.h"

#include <chrono>
#include <memory>
#include <ostream>
#include <thread>

#include "image/image_estimate.h"
#include "image/kaprin_threads.h"
#include "link/controller_identity.h"
#include "link/gui_invoker.h"
#include "platform/adapter_latency.h"
#include "platform/host.h"
#include "platform/interrupt.h"
#include "transfer/upload_loop.h"

namespace vorn {

namespace {
constexpr auto kPoll = std::chrono::milliseconds(20);
constexpr auto kTick = std::chrono::seconds(1);
constexpr int kInterruptedExit = 130;  // as a shell reports a program ended by Ctrl+C
const std::string kToolsAdvice =
    std::string("Give the folder that holds the real KAPRINRD.EXE and KAPRINWR.EXE with --tools DIR, ") +
    kCompanionAdvice;

struct ImageArguments {
  std::string image;
  std::string tools;
  bool toolsGiven = false;
  bool yes = false;
};

bool Parse(bool restore, const std::vector<std::string>& args, ImageArguments* out, std::ostream& err) {
  const char* name = restore ? "restore" : "backup";
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--tools" && i + 1 < args.size()) {
      out->tools = args[++i];
      out->toolsGiven = true;
    } else if (a == "--yes" && restore) {
      out->yes = true;
    } else if (out->image.empty() && !a.empty() && a.rfind("--", 0) != 0) {
      out->image = a;
    } else {
      err << name << ": unexpected argument '" << a << "'\n";
      return false;
    }
  }
  if (out->image.empty()) {
    err << name << " needs an image file\n";
    return false;
  }
  return true;
}

bool UploadProgram(const std::string& portName, const PortFactory& factory, const std::string& program,
                   TerminalPane& pane, std::ostream& err) {
  std::unique_ptr<Port> port = OpenUploadPort(factory, portName);
  if (!port) {
    err << OpenFailureText(portName) << '\n';
    return false;
  }
  DirectInvoker gui;
  UploadHooks hooks;
  hooks.Error = [&err](const std::string& text) { err << text << '\n'; };
  hooks.CancelRequested = [] { return platform::InterruptRequested(); };
  const UploadResult result = RunUploads(*port, pane, gui, {program}, "D:\\", hooks);
  port->Close();
  port.reset();
  if (!result.AllUploaded(1)) return false;
  // An end of file the receiver never acknowledged counts only once the
  // controller lists the file.
  StreamErrorUi errors(err);
  return result.Unacknowledged.empty() || ConfirmStored(portName, factory, result.Unacknowledged, errors);
}

// The progress line on a terminal: rewritten in place about once a second.
class ProgressLine {
 public:
  ProgressLine(bool enabled, std::ostream& err) : enabled_(enabled), err_(err) {}
  void Show(const KaprinThreadBase& thread, std::chrono::steady_clock::time_point start) {
    if (!enabled_) return;
    const int32_t progress = thread.Progress;  // the index of the last block done
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string text = ProgressText(progress > 0 ? progress + 1 : 0, thread.BlockCount, elapsed);
    const size_t width = text.size();
    if (width < width_) text.append(width_ - width, ' ');  // over what a longer line left
    err_ << '\r' << text << std::flush;
    width_ = width;
  }
  // Ends the line, so that what follows starts on one of its own.
  void End() {
    if (width_) err_ << '\n';
    width_ = 0;
  }
  bool Shown() const { return width_ != 0; }

 private:
  bool enabled_;
  std::ostream& err_;
  size_t width_ = 0;
};

// Watches the thread as the tool window does: one tick a second, giving up
// after too many ticks without progress. Ctrl+C asks the thread to end; the
// wait for it is short, and the thread closes its port and removes its own
// files on the way.
int Watch(KaprinThreadBase& thread, bool restore, std::ostream& err) {
  const uint32_t limit = restore ? kRestoreStallTicks : kBackupStallTicks;
  int32_t last = thread.Progress;
  uint32_t stalled = 0;
  ProgressLine line(platform::StandardErrorIsTerminal(), err);
  const auto start = std::chrono::steady_clock::now();
  auto nextTick = start + kTick;
  bool gaveUp = false;
  bool waitingShown = false;
  while (!thread.Done) {
    std::this_thread::sleep_for(kPoll);
    if (platform::InterruptRequested() && !thread.Terminated()) thread.Terminate();
    // Nothing else is typed until the stopped program's prompt is back.
    if (thread.WaitingForProgramEnd && !waitingShown) {
      line.End();
      err << WaitingForProgramText() << '\n' << std::flush;
      waitingShown = true;
    }
    if (std::chrono::steady_clock::now() < nextTick) continue;
    nextTick += kTick;
    const int32_t progress = thread.Progress;
    if (progress != last) {
      last = progress;
      stalled = 0;
    } else if (!thread.Terminated() && !thread.WaitingForProgramEnd && ++stalled > limit) {
      gaveUp = true;
      thread.Terminate();
    }
    if (!waitingShown) line.Show(thread, start);
  }
  thread.WaitFor();
  if (line.Shown()) line.Show(thread, start);
  line.End();
  std::string text = gaveUp ? ImageStallEndText(thread) : ImageEndText(thread, !restore);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  err << text << '\n';
  if (thread.Succeeded) return 0;
  return thread.Terminated() && !gaveUp ? kInterruptedExit : 1;
}

// A refusal on one line, as scripts read it.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n') c = ' ';
  return text;
}
}  // namespace

int RunImageCommand(bool restore, const std::string& portName, const PortFactory& factory,
                    const std::vector<std::string>& args, TerminalPane& pane, std::ostream& err) {
  ImageArguments a;
  if (!Parse(restore, args, &a, err)) return 2;
  const std::string slowAdapter =
      SlowAdapterLine(restore ? ImageDirection::Restore : ImageDirection::Backup, kImageBaud,
                      platform::AdapterLatencyMs(portName), portName);
  if (restore && !a.yes) {
    err << "restore would replace everything on the controller's drive D: with " << a.image
        << ".\nRun it again with --yes to go ahead.\n";
    if (!slowAdapter.empty()) err << slowAdapter << '\n';
    return 1;
  }
  // Everything that can be checked on the host is, before the controller is
  // touched.
  if (const std::string problem = restore ? ImageFileProblem(a.image) : BackupTargetProblem(a.image);
      !problem.empty()) {
    err << OneLine(problem) << '\n';
    return 1;
  }
  const std::string folder =
      a.toolsGiven ? platform::WithTrailingSeparator(a.tools)
                   : platform::LocateCompanionFolders(platform::HostRegistry()).tools;
  const char* program = restore ? "KAPRINWR.EXE" : "KAPRINRD.EXE";
  if (const std::string problem = ToolProblem(folder, program); !problem.empty()) {
    err << OneLine(problem) << '\n';
    return 1;
  }
  if (!slowAdapter.empty()) err << slowAdapter << '\n';
  {
    StreamErrorUi errors(err);
    NoCursor cursor;
    Exchange link(pane, cursor, errors, factory);
    link.ComName = portName;
    const std::string notStarted =
        std::string(restore ? "The restore" : "The backup") + " was not started: nothing was sent to the controller.";
    if (!StandInsMayGo({folder + program}, ExchangeIdentityQuery(link), errors, notStarted, kToolsAdvice))
      return 1;
  }

  const platform::InterruptScope interrupts;
  const bool uploaded = UploadProgram(portName, factory, folder + program, pane, err);
  if (platform::InterruptRequested()) {
    err << (restore ? "restore" : "backup") << " stopped by the user before the transfer began.\n";
    return kInterruptedExit;
  }
  if (!uploaded) {
    err << ImageCableText() << '\n';
    return 1;
  }

  DirectInvoker gui;
  std::unique_ptr<KaprinThreadBase> thread;
  if (restore)
    thread = std::make_unique<VornKaprinResThread>(gui);
  else
    thread = std::make_unique<VornKaprinThread>(gui);
  thread->Terminal = &pane;
  thread->PortName = portName;
  thread->Factory = factory;
  thread->ImagePath = a.image;
  thread->Resume();
  return Watch(*thread, restore, err);
}

}  // namespace vorn
