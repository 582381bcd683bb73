#pragma once
// The standard exchange: type command lines to the controller's shell with the
// echo check, show and hand on what it prints, and wait for its prompt.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/port.h"
#include "link/ui.h"

namespace vorn {

using PortFactory = std::function<std::unique_ptr<Port>(const std::string& name)>;
// Creates SerialPort objects on the host's devices.
PortFactory HostPortFactory();

enum class LineVerdict {
  Continue,
  Fail,         // the exchange fails; later lines are only shown, later commands not sent
  FailAndStop,  // as Fail, and reading stops at this line (the prompt wait still runs)
};
using LineHandler = std::function<LineVerdict(const std::string& line, std::string& failure)>;

struct ExchangeCommand {
  std::string line;         // ends in "\r"
  std::string sendFailure;  // the whole message when the line is not echoed
  LineHandler handler;      // may be empty: lines are only shown
  // A line longer than the exchange reads at once would reach the handler
  // only in part; with this set, such a line fails the exchange with this text.
  std::string longLineFailure = {};
  // Changes nothing on the controller: typed once more after a damaged echo.
  bool readOnly = false;
};

struct ExchangeProfile {
  uint32_t timeoutMs = 1000;
  uint8_t lineEnd = 10;
};

// The failure texts of the exchange.
std::string OpenFailureText(const std::string& comName);
// The same with the port's own reason as one more line, when it has one.
std::string OpenFailureText(const std::string& comName, const std::string& reason);
// "Unable to send command '<command>'!..." with the command as the caller shows it.
std::string SendFailureText(const std::string& command);
// The drive change's variant without a command.
std::string SendFailureTextShort();
// The configuration tool's variant, with a comma after "INIT mode".
std::string SendFailureTextConfig(const std::string& command);

// The failure when the controller went away: the port vanished or hung up.
std::string LineLostText(const std::string& comName, const std::string& reason);

// For callers that must not take output without a prompt as complete.
constexpr const char* kNoPromptText =
    "The controller's prompt did not come back: its output may be incomplete.";

// The longest line the controller's shell takes, its carriage return included.
constexpr size_t kShellLineLimit = 127;
// Why a command line must not be typed: a control character before its final
// carriage return (it would end the line early or edit it, so a path could
// smuggle in a second command), or more characters than the shell takes (it
// would stop echoing part-way). Empty when the line may be typed.
std::string CommandLineRefusal(const std::string& line);
// How typing a command line ended.
enum class TypeOutcome {
  Typed,     // every character came back as its echo
  NotTyped,  // an echo was wrong or missing before the carriage return; what
             // the shell had taken was erased, and the erasure was echoed
  Entered,   // the carriage return (or what the shell took for one) went out,
             // but its echo was wrong: the command ran or not, nobody knows
  Jammed,    // the erasure was not echoed as it should be: the shell's line
             // may still hold characters
};
// Types a line character by character, each checked against its echo. When
// it fails after the shell took part of the line, backspaces erase that part
// so that the next command does not start on a jammed line; each must come
// back as backspace, blank, backspace, or the line count as empty by two
// backspaces in a row that bring no echo. No refusal check: callers do that.
TypeOutcome TypeCommandLineChecked(Port& port, const std::string& line);
// The same, true only for Typed.
bool TypeCommandLine(Port& port, const std::string& line);
// Erases up to count characters from the shell's line with checked
// backspaces (as after a wrong echo): NotTyped once the line is empty,
// Jammed when that could not be made sure of.
TypeOutcome EraseCommandLine(Port& port, size_t count);
// The failure texts for the outcomes other than Typed and NotTyped.
std::string UnknownOutcomeText(const std::string& command);
std::string JammedLineText(const std::string& command);

class Exchange {
 public:
  Exchange(TerminalPane& pane, BusyCursor& cursor, Ui& ui, PortFactory factory = HostPortFactory());

  std::string ComName;

  // The whole standard exchange. True when every line was echoed and no line
  // handler reported a failure; a failure text is shown after the port closed.
  bool Run(const ExchangeProfile& profile, const std::vector<ExchangeCommand>& commands);
  // One command line whose output is only shown (t = 1000, e = 10).
  bool RunCommand(const std::string& line);

  // False without typing anything for an empty or refused line (the refusal
  // text is then in LastRefusal()). LastTyped() tells how a typed one ended.
  bool SendCommand(Port& port, const std::string& line);
  // SendCommand, once more after an echo that went wrong (for commands that
  // change nothing); a command that may have run has its output and prompt
  // read and shown first.
  bool SendReadOnlyCommand(Port& port, const std::string& line);
  TypeOutcome LastTyped() const { return lastTyped_; }
  // Whether the last Run failed on a command that may or may not have run.
  bool OutcomeUnknown() const { return outcomeUnknown_; }
  void ShowLine(const std::string& text);
  bool WaitForPrompt(Port& port, const std::string& text);
  void DrainInput(Port& port);

  TerminalPane& Pane() { return pane_; }
  Ui& UserInterface() { return ui_; }
  BusyCursor& Cursor() { return cursor_; }
  const PortFactory& Factory() const { return factory_; }
  // Why SendCommand last refused a line; empty when it did not.
  const std::string& LastRefusal() const { return lastRefusal_; }
  // Whether the last Run saw the shell's prompt after every line it typed;
  // false when it failed or the output ended without a prompt (the output
  // may then be incomplete).
  bool PromptSeen() const { return promptSeen_; }

 private:
  // The rest of a command's output after a read timed out: up to the prompt
  // (true) or the end of the prompt budget, every complete line shown and
  // given to onLine. A pause may fall between two lines or inside one, so
  // text, the part read before it, is continued.
  bool FinishOutput(Port& port, std::string text, const std::function<void(const std::string&)>& onLine);
  // After a damaged echo of the carriage return: reads the command's output
  // up to the prompt, or erases the line when no prompt comes. False (and
  // LastTyped() Jammed) when neither worked.
  bool SettleAfterEntered(Port& port, const std::string& line);
  // The failure text for a command that was not typed as it should be.
  std::string SendFailure(const ExchangeCommand& command);

  TerminalPane& pane_;
  BusyCursor& cursor_;
  Ui& ui_;
  PortFactory factory_;
  std::string lastRefusal_;
  TypeOutcome lastTyped_ = TypeOutcome::Typed;
  bool outcomeUnknown_ = false;
  bool promptSeen_ = false;
};

// Lines in the pane before the next shown line clears it.
constexpr int kPaneClearLines = 300;
// Shows a line the way every exchange and upload does: CR and LF removed,
// nothing for an empty text, the pane cleared at 300 lines.
void ShowPaneLine(TerminalPane& pane, const std::string& text);
// True when the text begins with a prompt of drive C: or D:.
bool IsPrompt(const std::string& text);

}  // namespace vorn
