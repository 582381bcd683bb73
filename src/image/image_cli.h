#pragma once
// The command-line image transfers: "backup IMAGE" and "restore IMAGE --yes",
// each uploading its controller-side program first ("--tools DIR" names the
// folder that holds it).
#include <iosfwd>
#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/ui.h"

namespace vorn {

// Exit code: 0 done, 1 failed or refused (reason on err), 2 bad arguments,
// 130 stopped by Ctrl+C (a backup then leaves no file behind and an earlier
// image as it was). The command line goes to pane, the outcome to err, and
// the progress too when err is a terminal.
int RunImageCommand(bool restore, const std::string& portName, const PortFactory& factory,
                    const std::vector<std::string>& args, TerminalPane& pane, std::ostream& err);

}  // namespace vorn
