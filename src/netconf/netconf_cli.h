#pragma once
// The command-line tool's "net" and "init": the network dialog's updates and
// the system initialisation, for provisioning controllers from a script.
#include <iosfwd>
#include <string>
#include <vector>

#include "link/exchange.h"

namespace vorn::netconf {

// net address --dhcp | --ip A.B.C.D [--gateway A.B.C.D] [--dns A.B.C.D]
// net users --ftp ID PASSWORD [--ftp-rights dcwr] --http ID PASSWORD [--http-rights epg]
// A password "-" is read as one line from in. 0 updated, 1 refused or failed
// (the reason on the exchange's Ui), 2 wrong arguments.
int NetCommand(Exchange& link, const std::vector<std::string>& args, std::istream& in, std::ostream& err);

// init [--httpftpd] [--ftpd] [--httpd] --yes
int InitCommand(Exchange& link, const std::vector<std::string>& args, std::ostream& err);

}  // namespace vorn::netconf
