#pragma once
// The command-line tool's controller file operations: one directory listing,
// or one shell operation on one absolute path of drive D:, each confirmed by
// what the controller lists or answers afterwards.
#include <iosfwd>
#include <string>
#include <vector>

#include "link/exchange.h"

namespace vorn {

// args: optional PATH (default the root of D:) and --json. Lines: name, size
// in bytes, modified and "<DIR>" for a directory, tab-separated; then
// "<n> bytes free". With --json one object: path, entries, bytesFree.
// 0 on success, 1 when the listing failed (its message went to exchange's Ui)
// or ended without the shell's prompt,
// 2 for wrong arguments.
int ListRemoteCommand(Exchange& exchange, const std::vector<std::string>& args, std::ostream& out,
                      std::ostream& err);

// verb: mkdir, rmdir, rm, mv, mem, format, autorun, cat or get. Options may
// stand anywhere among the paths. 0 only when the controller confirmed the
// operation, 1 with the reason on err otherwise, 2 for wrong arguments.
int RemoteFileCommand(const std::string& verb, Exchange& exchange, const std::vector<std::string>& args,
                      std::ostream& out, std::ostream& err);

}  // namespace vorn
