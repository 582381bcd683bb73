#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "platform/console_input.h"

namespace vorn::platform {

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

std::optional<std::string> ReadHiddenLine(const std::string& prompt) {
  std::cerr << prompt << std::flush;
  termios saved{};
  const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::string line;
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  if (!read) {
    std::cerr << '\n';
    return std::nullopt;
  }
  return line;
}

}  // namespace vorn::platform
