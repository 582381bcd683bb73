#pragma once
// The command-line upload: "put FILE... [--to PATH]" sends host files into a
// controller directory with the same sender as the transfer dialog;
// "put --recursive DIR... [--to PATH]" sends whole folders.
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/ui.h"
#include "transfer/upload_loop.h"

namespace vorn {

struct PutRequest {
  std::vector<std::string> files;
  std::string targetDir = "D:\\";  // as TargetDirFor gives it
  std::string remotePath = "\\";  // the same directory as the controller pane writes it
  bool force = false;              // replace files of the same name on the controller
  // --recursive: folders go up with everything in them, each as a directory
  // of its own name in targetDir.
  bool recursive = false;
};

// nullopt with a usage message in *error when the arguments do not make sense.
std::optional<PutRequest> ParsePutArguments(const std::vector<std::string>& args, std::string* error);

// Without force, a file whose name the controller already lists in the
// target directory stops the whole put before anything is sent.
// Opens the port, uploads the files in order, and stops at the first failure.
// An upload whose end of file was never acknowledged counts only when the
// controller's listing then shows the file at its size with the block fill.
// Exit code: 0 all uploaded, 1 a failure (reported on err), 2 bad arguments.
// The controller's lines go to pane, the progress to err.
int RunPut(const std::string& portName, const PortFactory& factory, const std::vector<std::string>& args,
           TerminalPane& pane, std::ostream& err);

}  // namespace vorn
