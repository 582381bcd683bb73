#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "platform/console_input.h"

namespace vorn::platform {

namespace {

termios g_saved{};

// Ctrl-C at the prompt must not leave the user's terminal without echo.
void RestoreAndRaise(int signal) {
  tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

std::optional<std::string> ReadHiddenLine(const std::string& prompt) {
  const bool terminal = tcgetattr(STDIN_FILENO, &g_saved) == 0;
  struct sigaction restore {}, oldInt {}, oldTerm {}, oldHup {};
  if (terminal) {
    restore.sa_handler = RestoreAndRaise;
    sigaction(SIGINT, &restore, &oldInt);
    sigaction(SIGTERM, &restore, &oldTerm);
    sigaction(SIGHUP, &restore, &oldHup);
    termios quiet = g_saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    // What was typed before the prompt was shown on the screen: it is dropped.
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::cerr << prompt << std::flush;
  std::string line;
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    sigaction(SIGHUP, &oldHup, nullptr);
  }
  if (!read) {
    std::cerr << '\n';
    return std::nullopt;
  }
  return line;
}

}  // namespace vorn::platform
