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

// Exit code: 0 done, 1 failed or refused (reason on err), 2 bad arguments.
// The command line goes to pane, the progress and the outcome to err.
int RunImageCommand(bool restore, const std::string& portName, const PortFactory& factory,
                    const std::vector<std::string>& args, TerminalPane& pane, std::ostream& err);

}  // namespace vorn
