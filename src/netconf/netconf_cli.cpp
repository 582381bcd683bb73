#include "netconf/netconf_cli.h"

#include <istream>
#include <optional>
#include <ostream>

#include "netconf/net_conf.h"

namespace vorn::netconf {

namespace {

// The argument after option i, or nullopt (with a message) when there is none.
std::optional<std::string> Value(const std::vector<std::string>& args, size_t& i, std::ostream& err) {
  if (i + 1 >= args.size()) {
    err << args[i] << " needs a value\n";
    return std::nullopt;
  }
  return args[++i];
}

int Address(NetConf& conf, const std::vector<std::string>& args, std::ostream& err) {
  AddressInput input;
  input.autoDns = true;  // without --dns the controller asks its DHCP server or has none
  bool dhcp = false, ip = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--dhcp") {
      dhcp = true;
      continue;
    }
    int group;
    if (a == "--ip") {
      group = kIpGroup;
      ip = true;
    } else if (a == "--gateway") {
      group = kGatewayGroup;
    } else if (a == "--dns") {
      group = kPrimaryDnsGroup;
      input.autoDns = false;
    } else {
      err << "net address: unknown argument '" << a << "'\n";
      return 2;
    }
    const auto value = Value(args, i, err);
    if (!value) return 2;
    SetAddressGroup(input, group, *value);
  }
  if (dhcp == ip) {
    err << "net address needs either --dhcp or --ip A.B.C.D\n";
    return 2;
  }
  input.dhcp = dhcp;
  return conf.UpdateAddress(input) ? 0 : 1;
}

bool ParseRights(const std::string& letters, const std::string& allowed, std::ostream& err, const char* option) {
  for (char c : letters) {
    if (allowed.find(c) == std::string::npos) {
      err << option << " takes letters of '" << allowed << "'\n";
      return false;
    }
  }
  return true;
}

int Users(NetConf& conf, Ui& ui, const std::vector<std::string>& args, std::istream& in, std::ostream& err) {
  UserInput input;
  bool ftp = false, http = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--ftp" || a == "--http") {
      if (i + 2 >= args.size()) {
        err << a << " needs an ID and a password\n";
        return 2;
      }
      (a == "--ftp" ? input.ftpId : input.httpId) = args[i + 1];
      (a == "--ftp" ? input.ftpPassword : input.httpPassword) = args[i + 2];
      (a == "--ftp" ? ftp : http) = true;
      i += 2;
    } else if (a == "--ftp-rights") {
      const auto v = Value(args, i, err);
      if (!v || !ParseRights(*v, "dcwr", err, "--ftp-rights")) return 2;
      const auto has = [&](char c) { return v->find(c) != std::string::npos; };
      input.ftpRights = {has('d'), has('c'), has('w'), has('r')};
    } else if (a == "--http-rights") {
      const auto v = Value(args, i, err);
      if (!v || !ParseRights(*v, "epg", err, "--http-rights")) return 2;
      const auto has = [&](char c) { return v->find(c) != std::string::npos; };
      input.httpRights = {has('e'), has('p'), has('g'), false};
    } else {
      err << "net users: unknown argument '" << a << "'\n";
      return 2;
    }
  }
  if (!ftp || !http) {
    err << "net users needs --ftp ID PASSWORD and --http ID PASSWORD\n";
    return 2;
  }
  // "-" keeps a password out of the process list: one line from standard input each.
  for (std::string* password : {&input.ftpPassword, &input.httpPassword}) {
    if (*password != "-") continue;
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    *password = line;
  }
  // The characters first: a length counts bytes, right only for ASCII.
  if (!CheckUsers(input, ui)) return 1;
  // The dialog's fields stop at these lengths; the controller expects no more.
  if (input.ftpId.size() > kUserIdLimit || input.httpId.size() > kUserIdLimit) {
    err << "An ID can have at most " << kUserIdLimit << " characters\n";
    return 1;
  }
  if (input.ftpPassword.size() > kPasswordLimit || input.httpPassword.size() > kPasswordLimit) {
    err << "A password can have at most " << kPasswordLimit << " characters\n";
    return 1;
  }
  return conf.UpdateUsers(input) ? 0 : 1;
}

}  // namespace

int NetCommand(Exchange& link, const std::vector<std::string>& args, std::istream& in, std::ostream& err) {
  NetConf conf(link.UserInterface(), PortUploader(link), PortCommandRunner(link));
  if (!args.empty() && args[0] == "address") return Address(conf, args, err);
  if (!args.empty() && args[0] == "users") return Users(conf, link.UserInterface(), args, in, err);
  err << "net needs 'address' or 'users'\n";
  return 2;
}

int InitCommand(Exchange& link, const std::vector<std::string>& args, std::ostream& err) {
  ServerChoice servers;
  bool yes = false;
  for (const std::string& a : args) {
    if (a == "--httpftpd")
      servers.httpFtp = true;
    else if (a == "--ftpd")
      servers.ftp = true;
    else if (a == "--httpd")
      servers.http = true;
    else if (a == "--yes")
      yes = true;
    else {
      err << "init: unknown argument '" << a << "'\n";
      return 2;
    }
  }
  if (!yes) {
    err << "init formats drive D: and erases everything on it; give --yes to go ahead\n";
    return 2;
  }
  NetConf conf(link.UserInterface(), PortUploader(link), PortCommandRunner(link));
  return conf.SystemInit(servers) ? 0 : 1;
}

}  // namespace vorn::netconf
