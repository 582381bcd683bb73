#pragma once
// The command-line tool's "ioconf": "get [FILE]" reads the controller's I/O
// configuration into a file (standard output without FILE); "set FILE" uploads
// a configuration file and has the controller apply it.
#include <iosfwd>
#include <string>
#include <vector>

#include "link/exchange.h"

namespace vorn {

// 0 on success, 1 on a failure (its text on err), 2 for wrong arguments.
int IOConfCommand(Exchange& exchange, const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vorn
