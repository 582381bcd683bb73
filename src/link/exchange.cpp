#include "link/exchange.h"

#include "link/line_wait.h"
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

bool TypeCommandLine(Port& port, const std::string& line) {
  if (line.empty()) return false;
  size_t taken = 0;       // characters that may now sit in the shell's line
  bool answered = false;  // the shell echoed something: it is reading the line
  for (char c : line) {
    const uint8_t sent = static_cast<uint8_t>(c);
    uint8_t echo = 0;
    bool ok = port.Write(&sent, 1);
    if (ok) {
      // A carriage return that went out has entered the line: nothing is left to erase.
      taken = sent == '\r' ? 0 : taken + 1;
      ok = port.ReadExact(&echo, 1);
      answered = answered || ok;
      ok = ok && echo == sent;
    }
    if (!ok) {
      if (answered && taken > 0) port.Write(std::string(taken, '\b'));
      return false;
    }
  }
  return true;
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

void Exchange::DrainInput(Port& port) {
  uint8_t byte;
  for (size_t n = 0; n < kDrainLimit; ++n)
    if (!port.ReadExact(&byte, 1)) return;
}

bool Exchange::SendCommand(Port& port, const std::string& line) {
  lastRefusal_ = CommandLineRefusal(line);
  if (line.empty() || !lastRefusal_.empty()) return false;
  ShowLine(line);
  return TypeCommandLine(port, line);
}

bool Exchange::WaitForPrompt(Port& port, const std::string& text) {
  if (IsPrompt(text)) return true;
  const uint32_t t = port.Timeout();
  uint32_t elapsed = 0;
  std::string line;
  for (;;) {
    port.ReadLine(kLineLimit, line);
    if (IsPrompt(line)) return true;
    if (!line.empty()) ShowLine(line);
    elapsed += t;
    // A zero time-out would never use up the budget; count such reads as one
    // millisecond each so the wait still ends.
    if (t == 0) elapsed += 1;
    if (elapsed >= kPromptBudgetMs) return false;
  }
}

bool Exchange::FinishOutput(Port& port, std::string text, const std::function<void(const std::string&)>& onLine) {
  if (IsPrompt(text)) return true;
  // A line that filled the buffer stays cut off, as ReadLine left it.
  if (text.size() + 1 >= kLineLimit) text.clear();
  const uint32_t t = port.Timeout();
  uint32_t elapsed = 0;
  for (;;) {
    std::string piece;
    const bool ended = port.ReadLine(kLineLimit - text.size(), piece);
    text += piece;
    if (IsPrompt(text)) return true;
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
      if (!SendCommand(*port, command.line)) {
        failure = command.sendFailure;
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
      while (port->ReadLine(kLineLimit, text)) {
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

bool Exchange::RunCommand(const std::string& line) {
  return Run({1000, 10}, {{line, SendFailureText(line), nullptr}});
}

}  // namespace vorn
