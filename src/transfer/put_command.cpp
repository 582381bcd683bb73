#include "transfer/put_command.h"

#include <ostream>

#include "link/gui_invoker.h"
#include "remote/remote_listing.h"
#include "transfer/copy_checks.h"
#include "transfer/upload_loop.h"

namespace vorn {

std::optional<PutRequest> ParsePutArguments(const std::vector<std::string>& args, std::string* error) {
  PutRequest request;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--to") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        *error = "--to needs a controller directory";
        return std::nullopt;
      }
      request.targetDir = TargetDirFor(NormalizeRemotePath(args[++i]));
    } else if (a.rfind("--to=", 0) == 0 && a.size() > 5) {
      request.targetDir = TargetDirFor(NormalizeRemotePath(a.substr(5)));
    } else {
      request.files.push_back(a);
    }
  }
  if (request.files.empty()) {
    *error = "put needs at least one file";
    return std::nullopt;
  }
  return request;
}

int RunPut(const std::string& portName, const PortFactory& factory, const std::vector<std::string>& args,
           TerminalPane& pane, std::ostream& err) {
  std::string error;
  const auto request = ParsePutArguments(args, &error);
  if (!request) {
    err << error << '\n';
    return 2;
  }

  std::unique_ptr<Port> port = OpenUploadPort(factory, portName);
  if (!port) {
    err << OpenFailureText(portName) << '\n';
    return 1;
  }

  DirectInvoker gui;  // no GUI thread: the sender's steps run on its own thread
  UploadHooks hooks;
  int shownPercent = -1;
  int shownPosition = 0;
  hooks.Progress = [&](const std::string& file, int position, int total, int percent) {
    if (position == shownPosition && percent == shownPercent) return;
    if (position != shownPosition && shownPosition != 0) err << '\n';
    shownPosition = position;
    shownPercent = percent;
    err << '\r' << FileNamePart(file) << ' ' << position << '/' << total << ' ' << percent << '%' << std::flush;
  };
  hooks.Error = [&](const std::string& text) {
    if (shownPosition != 0) err << '\n';
    shownPosition = 0;
    err << text << '\n' << std::flush;
  };

  const UploadResult result = RunUploads(*port, pane, gui, request->files, request->targetDir, hooks);
  port->Close();
  if (shownPosition != 0) err << '\n' << std::flush;
  return result.AllUploaded(request->files.size()) ? 0 : 1;
}

}  // namespace vorn
