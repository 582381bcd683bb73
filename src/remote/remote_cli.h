#pragma once
// The command-line tool's "ls": one controller directory, one entry a line.
#include <iosfwd>
#include <string>
#include <vector>

#include "link/exchange.h"

namespace vorn {

// args: optional PATH (default the root of D:). Lines: name, size in bytes,
// modified and "<DIR>" for a directory, tab-separated; then "<n> bytes free".
// 0 on success, 1 when the listing failed (its message went to exchange's Ui)
// or ended without the shell's prompt,
// 2 for wrong arguments.
int ListRemoteCommand(Exchange& exchange, const std::vector<std::string>& args, std::ostream& out,
                      std::ostream& err);

}  // namespace vorn
