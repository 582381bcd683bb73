#include "remote/remote_cli.h"

#include <ostream>

#include "remote/remote_ops.h"

namespace vorn {

int ListRemoteCommand(Exchange& exchange, const std::vector<std::string>& args, std::ostream& out,
                      std::ostream& err) {
  if (args.size() > 1) {
    err << "ls takes at most one path\n";
    return 2;
  }
  SilentPane pane;
  Exchange quiet(pane, exchange.Cursor(), exchange.UserInterface(), exchange.Factory());
  quiet.ComName = exchange.ComName;
  RemoteListing listing;
  RemoteOps ops(quiet, listing);
  const std::string path = NormalizeRemotePath(args.empty() ? std::string() : args[0]);
  if (!ops.Show(path).ok) return 1;
  // A listing cut short (a hung-up controller) must not pass for the whole directory.
  if (!quiet.PromptSeen()) {
    err << kNoPromptText << '\n';
    return 1;
  }
  for (const RemoteEntry& e : listing.Entries)
    out << e.Name << '\t' << e.Size << '\t' << e.Modified << '\t' << (e.IsDirectory ? "<DIR>" : "") << '\n';
  out << listing.BytesFree << " bytes free\n";
  return 0;
}

}  // namespace vorn
