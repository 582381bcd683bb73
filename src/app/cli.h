#pragma once
// The command-line front end: one exchange or transfer per call, for scripts
// and for checking the link from outside the window.
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/ui.h"

namespace vorn::cli {

// Lines the controller prints go to standard output.
class StreamPane : public TerminalPane {
 public:
  explicit StreamPane(std::ostream& out) : out_(out) {}
  int LineCount() const override { return 0; }  // a stream never needs clearing
  void Clear() override {}
  void AppendLine(const std::string& text) override;

 private:
  std::ostream& out_;
};

// Failures go to standard error; questions are answered no, prompts cancelled.
class StreamUi : public WindowlessUi {
 public:
  explicit StreamUi(std::ostream& err) : err_(err) {}
  void Error(const std::string& text) override;
  void Information(const std::string& text) override;

 private:
  std::ostream& err_;
};

struct Context {
  std::string port;
  std::vector<std::string> args;  // after the subcommand
  Exchange& exchange;
  TerminalPane& pane;
  Ui& ui;
  std::ostream& out;
  std::ostream& err;
};

struct Subcommand {
  const char* name;
  const char* usage;
  std::function<int(Context&)> run;  // exit code
};

// The table of subcommands; each area adds its own entry here.
const std::vector<Subcommand>& Subcommands();

int Main(int argc, char** argv, std::ostream& out, std::ostream& err, PortFactory factory = HostPortFactory());

}  // namespace vorn::cli
