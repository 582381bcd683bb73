#pragma once
// One subcommand on many controllers at once: a thread per port, each a
// whole run of the single-port command line, sharing only the output.
#include <iosfwd>
#include <string>
#include <vector>

#include "link/exchange.h"

namespace vorn::cli {

// The port's name as part of a file name: ASCII letters, digits, '-' and '_'
// kept, anything else '_'.
std::string FileSafePortName(const std::string& port);

// The port names of a ports file: one a line; blank lines and lines that
// begin with '#' are skipped. Empty on success, else one line of why not.
std::string ReadPortsFile(const std::string& path, std::vector<std::string>& ports);

// Runs command (the subcommand and its arguments) on every port, each on a
// thread of its own, every line of its output prefixed "PORT: "; "{port}" in
// an argument is replaced by FileSafePortName. A summary table follows on
// err, or as JSON on out with json. 0 only when every port succeeded.
int RunFleet(const std::vector<std::string>& ports, const std::vector<std::string>& command, bool json,
             std::ostream& out, std::ostream& err, const PortFactory& factory);

}  // namespace vorn::cli
