#include "netconf/netconf_cli.h"

#include <iostream>
#include <optional>
#include <ostream>

#include "netconf/net_conf.h"
#include "platform/console_input.h"
#include "platform/input_file.h"

namespace vorn::netconf {

namespace {

// A password has at most ten characters; the file may hold a comment line or two.
constexpr size_t kPasswordFileLimit = 4096;

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
  bool dhcp = false, ip = false, gateway = false;
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
      gateway = true;
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
  // The settings file has no place for them: the DHCP server gives both.
  if (dhcp && (gateway || !input.autoDns)) {
    err << "net address: --dhcp takes no --gateway or --dns; the DHCP server gives them\n";
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

// The first line of a password file, without its line end.
std::optional<std::string> PasswordFromFile(const std::string& path, std::ostream& err) {
  std::string text;
  if (const std::string problem = platform::ReadInputFile(path, kPasswordFileLimit, text); !problem.empty()) {
    err << "net users: " << problem << '\n';
    return std::nullopt;
  }
  text = text.substr(0, text.find('\n'));
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

int Users(NetConf& conf, Ui& ui, const std::vector<std::string>& args, const PasswordSource& passwords,
          std::ostream& err) {
  UserInput input;
  bool ftp = false, http = false;
  std::string ftpFile, httpFile;
  // A password file anywhere takes the password's place after the ID.
  for (size_t i = 1; i + 1 < args.size(); ++i) {
    if (args[i] == "--ftp-password-file") ftpFile = args[i + 1];
    if (args[i] == "--http-password-file") httpFile = args[i + 1];
  }
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--ftp" || a == "--http") {
      const bool isFtp = a == "--ftp";
      const bool fromFile = !(isFtp ? ftpFile : httpFile).empty();
      if (i + (fromFile ? 1 : 2) >= args.size()) {
        err << a << (fromFile ? " needs an ID\n" : " needs an ID and a password\n");
        return 2;
      }
      (isFtp ? input.ftpId : input.httpId) = args[++i];
      if (!fromFile) (isFtp ? input.ftpPassword : input.httpPassword) = args[++i];
      (isFtp ? ftp : http) = true;
    } else if (a == "--ftp-password-file" || a == "--http-password-file") {
      const auto v = Value(args, i, err);
      if (!v) return 2;
      if (v->empty()) {
        err << a << " needs a file name\n";
        return 2;
      }
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
  const struct {
    const std::string& file;
    const std::string& id;
    std::string& password;
    const char* kind;
  } sources[] = {{ftpFile, input.ftpId, input.ftpPassword, "FTP"}, {httpFile, input.httpId, input.httpPassword, "HTTP"}};
  for (const auto& s : sources) {
    std::optional<std::string> password;
    if (!s.file.empty()) {
      if (!(password = PasswordFromFile(s.file, err))) return 1;
    } else if (s.password == "-") {
      // "-" keeps a password out of the process list.
      password = passwords ? passwords(std::string(s.kind) + " password for " + s.id + ": ") : std::nullopt;
      if (!password) {
        err << "net users: no " << s.kind << " password on standard input\n";
        return 1;
      }
    }
    if (password) s.password = *password;
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

PasswordSource StandardInputPasswords() {
  return [](const std::string& prompt) -> std::optional<std::string> {
    if (platform::StandardInputIsTerminal()) return platform::ReadHiddenLine(prompt);
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  };
}

int NetCommand(Exchange& link, const std::vector<std::string>& args, const PasswordSource& passwords,
               std::ostream& err) {
  NetConf conf(link.UserInterface(), PortUploader(link), PortCommandRunner(link));
  if (!args.empty() && args[0] == "address") return Address(conf, args, err);
  if (!args.empty() && args[0] == "users") return Users(conf, link.UserInterface(), args, passwords, err);
  err << "net needs 'address' or 'users'\n";
  return 2;
}

int InitCommand(Exchange& link, const std::vector<std::string>& args, std::ostream& err) {
  ServerChoice servers;
  bool yes = false;
  std::optional<std::string> defaults;  // a folder laid out as the installation's Source folder
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--defaults") {
      defaults = Value(args, i, err);
      if (!defaults) return 2;
      if (defaults->empty()) {
        err << "--defaults needs a folder\n";
        return 2;
      }
    } else if (a == "--httpftpd")
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
    return 1;
  }
  FolderLocator folders = [defaults] {
    platform::CompanionFolders found = platform::LocateCompanionFolders(platform::HostRegistry());
    if (defaults) found.source = platform::WithTrailingSeparator(*defaults);
    return found;
  };
  NetConf conf(link.UserInterface(), PortUploader(link), PortCommandRunner(link), folders);
  return conf.SystemInit(servers) ? 0 : 1;
}

}  // namespace vorn::netconf
