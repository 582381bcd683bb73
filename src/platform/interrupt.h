#pragma once
// Ctrl+C on the command line as a request to stop a long transfer, so that it
// can end tidily (its port closed and put back, its own files removed) rather
// than be cut off in the middle.
namespace vorn::platform {

// While one lives, the first Ctrl+C (SIGINT; on Windows the console's Ctrl+C
// or Ctrl+Break) only sets the flag below; a second one ends the program as
// usual. A Ctrl+C the program was started to ignore (a background job of a
// shell) stays ignored. Scopes nest: only the outermost one listens.
class InterruptScope {
 public:
  InterruptScope();
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

 private:
  bool installed_ = false;
};

// Whether Ctrl+C came since the scope began.
bool InterruptRequested();

// Whether standard error is a terminal (a console on Windows), where a line
// rewritten in place makes sense.
bool StandardErrorIsTerminal();

}  // namespace vorn::platform
