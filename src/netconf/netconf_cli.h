#pragma once
// The command-line tool's "net" and "init": the network dialog's updates and
// the system initialisation, for provisioning controllers from a script.
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "link/exchange.h"

namespace vorn::netconf {

// Where a password "-" comes from; the prompt names the user it is for.
// nullopt when there is no line to read.
using PasswordSource = std::function<std::optional<std::string>(const std::string& prompt)>;
// One line of standard input for each, read unseen after the prompt when
// standard input is a terminal.
PasswordSource StandardInputPasswords();

// net address --dhcp | --ip A.B.C.D [--gateway A.B.C.D] [--dns A.B.C.D]
// net users --ftp ID PASSWORD|--ftp-password-file FILE [--ftp-rights dcwr]
//           --http ID PASSWORD|--http-password-file FILE [--http-rights epg]
// With a password file, --ftp or --http takes the ID alone and the password
// is the file's first line. 0 updated, 1 refused or failed (the reason on the
// exchange's Ui or err), 2 wrong arguments.
int NetCommand(Exchange& link, const std::vector<std::string>& args, const PasswordSource& passwords,
               std::ostream& err);

// init [--httpftpd] [--ftpd] [--httpd] --yes
// Without --yes it refuses with 1, as restore does: the arguments were right.
int InitCommand(Exchange& link, const std::vector<std::string>& args, std::ostream& err);

}  // namespace vorn::netconf
