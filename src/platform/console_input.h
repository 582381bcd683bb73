#pragma once
// Standard input as the command line reads a secret from it.
#include <optional>
#include <string>

namespace vorn::platform {

// Whether standard input is a terminal (a console on Windows).
bool StandardInputIsTerminal();
// Writes prompt to standard error and reads one line from the terminal on
// standard input without showing what is typed; the terminal echoes again
// afterwards. The line end is not part of the line. nullopt at end of input.
std::optional<std::string> ReadHiddenLine(const std::string& prompt);

}  // namespace vorn::platform
