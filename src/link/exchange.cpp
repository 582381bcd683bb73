#include "link/exchange.h"

#include "link/line_wait.h"
#include "link/prompt_reader.h"
#include "link/serial_port.h"

namespace vorn {

namespace {
constexpr size_t kLineLimit = 1024;
constexpr size_t kDrainLimit = 1025;
constexpr uint32_t kPromptBudgetMs = 5000;
const char kNotAtPrompt[] = "!\n\nPlease make sure the VORN-7730 is in INIT mode\n\nand no program is running";
}  // namespace

PortFactory HostPortFactory() {
  return [](const std::string& name) -> std::unique_ptr<Port> { return std::make_unique<SerialPort>(name); };
}

std::string OpenFailureText(const std::string& comName) {
  return "Unable to open " + comName + "!\n\nPlease make sure there is no other application using the port!!";
}

std::string OpenFailureText(const std::string& comName, const std::string& reason) {
  return reason.empty() ? OpenFailureText(comName) : OpenFailureText(comName) + "\n\n" + reason;
}

std::string SendFailureText(const std::string& command) {
  return "Unable to send command '" + command + "'" + kNotAtPrompt;
}

std::string LineLostText(const std::string& comName, const std::string& reason) {
  return "The serial line was lost (" + comName + "): " + reason;
}

std::string SendFailureTextShort() { return std::string("Unable to send command") + kNotAtPrompt; }

std::string SendFailureTextConfig(const std::string& command) {
  return "Unable to send command '" + command +
         "'!\n\nPlease make sure the VORN-7730 is in INIT mode,\n\nand no program is running";
}

namespace {
// Control characters in caret notation, so the refused line can be shown.
std::string Printable(const std::string& text) {
  constexpr size_t kShown = 60;
  std::string out;
  for (size_t i = 0; i < text.size() && i < kShown; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20) {
      out += '^';
      out += static_cast<char>(c + '@');
    } else if (c == 0x7F) {
      out += "^?";
    } else {
      out += static_cast<char>(c);
    }
  }
  if (text.size() > kShown) out += "...";
  return out;
}
}  // namespace

std::string CommandLineRefusal(const std::string& line) {
  const size_t body = !line.empty() && line.back() == '\r' ? line.size() - 1 : line.size();
  const std::string shown = Printable(line.substr(0, body));
  for (size_t i = 0; i < body; ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c < 0x20 || c == 0x7F)
      return "Unable to send command '" + shown +
             "'!\n\nThe command line holds a control character; nothing was sent.";
  }
  if (line.size() > kShellLineLimit)
    return "Unable to send command '" + shown + "'!\n\nThe command line is " + std::to_string(line.size()) +
           " characters long, but the controller's shell takes at most " + std::to_string(kShellLineLimit) +
           "; nothing was sent.";
  return {};
}

namespace {
constexpr size_t kExtraBackspaces = 8;  // beyond the characters typed, for what noise added

// Backspaces until the shell's line is empty, each checked against its echo.
TypeOutcome EraseTyped(Port& port, size_t taken) {
  bool clean = true;  // every backspace so far came back as "\b \b"
  int unanswered = 0;
  for (size_t sent = 0; sent < taken + kExtraBackspaces; ++sent) {
    if (clean && sent == taken) return TypeOutcome::NotTyped;
    if (!port.WriteByte('\b')) return TypeOutcome::Jammed;
    uint8_t echo[3] = {};
    // No echo, or the bell: nothing left to erase. Noise can turn one
    // backspace into a character the shell ignores, so it takes two.
    if (!port.ReadExact(echo, 1) || echo[0] == 7) {
      if (++unanswered == 2) return TypeOutcome::NotTyped;
      clean = false;
      continue;
    }
    unanswered = 0;
    if (echo[0] != '\b' || !port.ReadExact(echo + 1, 2) || echo[1] != ' ' || echo[2] != '\b') clean = false;
  }
  return TypeOutcome::Jammed;
}
}  // namespace

TypeOutcome TypeCommandLineChecked(Port& port, const std::string& line) {
  if (line.empty()) return TypeOutcome::NotTyped;
  size_t taken = 0;       // characters that may now sit in the shell's line
  bool answered = false;  // the shell echoed something: it is reading the line
  for (char c : line) {
    const uint8_t sent = static_cast<uint8_t>(c);
    if (!port.Write(&sent, 1)) return TypeOutcome::NotTyped;  // the port failed: nothing more goes out
    uint8_t echo = 0;
    const bool got = port.ReadExact(&echo, 1);
    if (got && echo == sent) {
      answered = true;
      if (sent != '\r') ++taken;
      continue;
    }
    // A carriage return that went out has entered the line, and so has a
    // character that noise turned into one on its way (it echoes as one).
    if (sent == '\r' || (got && (echo == '\r' || echo == '\n'))) return TypeOutcome::Entered;
    ++taken;  // the shell may hold this one too, damaged
    answered = answered || got;
    return answered ? EraseTyped(port, taken) : TypeOutcome::NotTyped;
  }
  return TypeOutcome::Typed;
}

TypeOutcome EraseCommandLine(Port& port, size_t count) { return EraseTyped(port, count); }

bool TypeCommandLine(Port& port, const std::string& line) {
  return TypeCommandLineChecked(port, line) == TypeOutcome::Typed;
}

std::string UnknownOutcomeText(const std::string& command) {
  return "The command '" + command +
         "' was typed, but its echo came back damaged:\nwhether the VORN-7730 carried it out is unknown. "
         "List the folder again to see.";
}

std::string JammedLineText(const std::string& command) {
  return "Unable to send command '" + command +
         "'!\n\nIts echo came back damaged, and so did the erasure of what was typed: the VORN-7730's command "
         "line may still hold characters. Nothing more was typed.";
}

bool IsPrompt(const std::string& text) {
  return text.size() >= 3 && (text[0] == 'C' || text[0] == 'D') && text[1] == ':' && text[2] == '\\';
}

void ShowPaneLine(TerminalPane& pane, const std::string& text) {
  std::string line;
  line.reserve(text.size());
  for (char c : text)
    if (c != '\r' && c != '\n') line += c;
  if (line.empty()) return;
  if (pane.LineCount() >= kPaneClearLines) pane.Clear();
  pane.AppendLine(line);
}

Exchange::Exchange(TerminalPane& pane, BusyCursor& cursor, Ui& ui, PortFactory factory)
    : pane_(pane), cursor_(cursor), ui_(ui), factory_(std::move(factory)) {}

void Exchange::ShowLine(const std::string& text) { ShowPaneLine(pane_, text); }

void Exchange::DrainInput(Port& port) { DrainShellOutput(port, kDrainLimit); }

bool Exchange::SendCommand(Port& port, const std::string& line) {
  lastRefusal_ = CommandLineRefusal(line);
  lastTyped_ = TypeOutcome::NotTyped;
  if (line.empty() || !lastRefusal_.empty()) return false;
  ShowLine(line);
  lastTyped_ = TypeCommandLineChecked(port, line);
  return lastTyped_ == TypeOutcome::Typed;
}

bool Exchange::SendReadOnlyCommand(Port& port, const std::string& line) {
  if (SendCommand(port, line)) return true;
  if (lastTyped_ == TypeOutcome::Entered && !SettleAfterEntered(port, line)) return false;
  if (lastTyped_ != TypeOutcome::Entered && lastTyped_ != TypeOutcome::NotTyped) return false;
  return SendCommand(port, line);
}

bool Exchange::SettleAfterEntered(Port& port, const std::string& line) {
  // It ran, most likely: its output is shown (but taken by nobody) up to
  // the prompt. No prompt: the carriage return itself came damaged to the
  // shell, which still holds the line; erase it.
  std::string text;
  while (port.ReadLine(kLineLimit, text)) ShowLine(text);
  if (FinishOutput(port, text, nullptr)) return true;
  if (EraseTyped(port, line.size()) == TypeOutcome::NotTyped) return true;
  lastTyped_ = TypeOutcome::Jammed;
  return false;
}

bool Exchange::WaitForPrompt(Port& port, const std::string& text) {
  const PromptTest isPrompt = PromptTestFor(port);
  if (isPrompt(text)) return true;
  const uint32_t t = port.Timeout();
  uint32_t elapsed = 0;
  std::string line;
  for (;;) {
    ReadShellLine(port, kLineLimit, line, isPrompt);
    if (isPrompt(line)) return true;
    if (!line.empty()) ShowLine(line);
    elapsed += t;
    // A zero time-out would never use up the budget; count such reads as one
    // millisecond each so the wait still ends.
    if (t == 0) elapsed += 1;
    if (elapsed >= kPromptBudgetMs) return false;
  }
}

bool Exchange::FinishOutput(Port& port, std::string text, const std::function<void(const std::string&)>& onLine) {
  const PromptTest isPrompt = PromptTestFor(port);
  if (isPrompt(text)) return true;
  // A line that filled the buffer stays cut off, as ReadLine left it.
  if (text.size() + 1 >= kLineLimit) text.clear();
  const uint32_t t = port.Timeout();
  uint32_t elapsed = 0;
  for (;;) {
    const bool ended = ContinueShellLine(port, kLineLimit, text, isPrompt);
    if (isPrompt(text)) return true;
    if (ended || text.size() + 1 >= kLineLimit) {
      ShowLine(text);
      if (onLine) onLine(text);
      text.clear();
      continue;
    }
    elapsed += t;
    // A zero time-out would never use up the budget; count such reads as one
    // millisecond each so the wait still ends.
    if (t == 0) elapsed += 1;
    if (elapsed >= kPromptBudgetMs) {
      if (!text.empty()) ShowLine(text);
      return false;
    }
  }
}

bool Exchange::Run(const ExchangeProfile& profile, const std::vector<ExchangeCommand>& commands) {
  // The window repaints while this exchange waits on the line. Nothing may
  // start another one meanwhile; one that got through is refused, as the port
  // is held by this one.
  LineWaitScope waiting;
  if (waiting.Nested()) return false;
  promptSeen_ = false;
  outcomeUnknown_ = false;
  // A refused line stops the whole run before the port is touched, so that
  // no earlier line of it is typed either.
  for (const ExchangeCommand& command : commands) {
    if (std::string refusal = CommandLineRefusal(command.line); !refusal.empty()) {
      ui_.Error(refusal);
      return false;
    }
  }
  bool prompts = true;
  cursor_.SetBusy();
  std::string failure;
  bool ok = true;
  std::unique_ptr<Port> port = factory_(ComName);
  if (!port || !port->Open()) {
    failure = OpenFailureText(ComName, port ? port->OpenFailureReason() : std::string());
    ok = false;
  } else {
    port->LineEnd = profile.lineEnd;
    ConfigureControllerLine(*port);
    port->SetTimeouts(profile.timeoutMs);
    DrainInput(*port);
    for (const ExchangeCommand& command : commands) {
      if (!(command.readOnly ? SendReadOnlyCommand(*port, command.line) : SendCommand(*port, command.line))) {
        // Whatever it did, nothing more is typed until its prompt is back.
        if (lastTyped_ == TypeOutcome::Entered) SettleAfterEntered(*port, command.line);
        failure = SendFailure(command);
        ok = false;
        break;
      }
      bool handlerFailed = false;
      bool stopped = false;
      // Every line of the command's output, also one that comes after a pause.
      auto handle = [&](const std::string& line) {
        if (!command.handler || handlerFailed) return;
        const LineVerdict verdict = command.handler(line, failure);
        if (verdict == LineVerdict::Continue) return;
        handlerFailed = true;
        ok = false;
        stopped = verdict == LineVerdict::FailAndStop;
      };
      std::string text;
      while (ReadShellLine(*port, kLineLimit, text, PromptTestFor(*port))) {
        ShowLine(text);
        handle(text);
        if (stopped) {
          // The refused line is consumed; the prompt wait starts afresh.
          text.clear();
          break;
        }
      }
      if (!handlerFailed && !command.longLineFailure.empty() && text.size() + 1 >= kLineLimit) {
        failure = command.longLineFailure;
        handlerFailed = true;
        ok = false;
      }
      if (!FinishOutput(*port, text, handle)) prompts = false;
      if (handlerFailed) break;
    }
    // A controller that went away is said as such, not as a shell out of step.
    if (const std::string lost = port->LostReason(); !lost.empty()) {
      failure = LineLostText(ComName, lost);
      ok = false;
    }
    port->Close();
  }
  port.reset();
  promptSeen_ = ok && prompts;
  cursor_.Restore();
  if (!failure.empty()) ui_.Error(failure);
  return ok;
}

std::string Exchange::SendFailure(const ExchangeCommand& command) {
  if (lastTyped_ != TypeOutcome::Entered && lastTyped_ != TypeOutcome::Jammed) return command.sendFailure;
  std::string shown = command.line;
  if (!shown.empty() && shown.back() == '\r') shown.pop_back();
  if (lastTyped_ == TypeOutcome::Jammed) return JammedLineText(shown);
  outcomeUnknown_ = true;
  return UnknownOutcomeText(shown);
}

bool Exchange::RunCommand(const std::string& line) {
  return Run({1000, 10}, {{line, SendFailureText(line), nullptr}});
}

}  // namespace vorn
