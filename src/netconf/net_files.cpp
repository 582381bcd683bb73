#include "netconf/net_files.h"

#include <cstdio>
#include <sstream>

#include "platform/host.h"
#include "platform/owner_files.h"

namespace vorn::netconf {

std::string FtpRightsLetters(const FtpRights& r) {
  std::string s;
  if (r.changeDir) s += 'd';
  if (r.createDir) s += 'c';
  if (r.writeFile) s += 'w';
  if (r.readFile) s += 'r';
  return s;
}

std::string HttpRightsLetters(const HttpRights& r) {
  std::string s;
  if (r.getFiles) s += 'e';
  if (r.postFiles) s += 'p';
  if (r.useCgi) s += 'g';
  if (r.remoteConsole) s += 'm';
  return s;
}

std::string FtpUserLine(const std::string& id, const std::string& password, const std::string& letters) {
  return id + " " + password + " WebRoot " + letters;
}

std::string HttpUserLine(const std::string& id, const std::string& password, const std::string& letters) {
  return id + " " + password + " / " + letters;
}

std::string SocketCfgText(const AddressSettings& a) {
  std::string s = "# Packet driver settings\n";
  s += "ip address " + a.IPText + "\n";
  s += "interface pdr if0 dix 1500 10 0x60\n";
  if (a.staticIp) {
    s += "route add default if0 " + a.GatewayText + "\n";
    if (!a.autoDns) {
      s += "domain server " + a.PrimaryDNSText + "\n";
      if (a.HasSecondaryDNS) s += "domain server " + a.SecondaryDNSText + "\n";
    }
  }
  s += "\n# The following will cause SOCKETS to display IP status\n";
  s += "ip address\n\n";
  s += "# The following lines set TCP parameters\n";
  s += "ip ttl 64\n";
  s += "tcp mss 1460\n";
  s += "tcp window 2920\n";
  return s;
}

namespace {

// "A.B.C.D" with four decimal fields of 0..255.
bool IsDottedAddress(const std::string& text) {
  int fields = 0;
  size_t start = 0;
  while (true) {
    const size_t dot = text.find('.', start);
    const std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(part) > 255)
      return false;
    ++fields;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return fields == 4;
}

}  // namespace

std::optional<AddressSettings> ParseSocketCfg(const std::vector<std::string>& lines) {
  AddressSettings a;
  bool haveIp = false;
  std::vector<std::string> servers;
  for (const std::string& line : lines) {
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string word; in >> word;) w.push_back(word);
    if (w.empty() || w[0][0] == '#') continue;
    if (w.size() == 3 && w[0] == "ip" && w[1] == "address" && IsDottedAddress(w[2])) {
      a.IPText = w[2];
      haveIp = true;
    } else if (w.size() == 5 && w[0] == "route" && w[1] == "add" && w[2] == "default" && IsDottedAddress(w[4])) {
      a.GatewayText = w[4];
    } else if (w.size() == 3 && w[0] == "domain" && w[1] == "server" && IsDottedAddress(w[2])) {
      servers.push_back(w[2]);
    }
  }
  if (!haveIp) return std::nullopt;
  a.staticIp = a.IPText != kDhcpAddress;
  a.autoDns = a.staticIp && servers.empty();  // only a fixed address names its own servers
  if (!servers.empty()) a.PrimaryDNSText = servers[0];
  if (servers.size() > 1) {
    a.SecondaryDNSText = servers[1];
    a.HasSecondaryDNS = true;
  }
  return a;
}

std::string SocketUpwText(const std::string& ftpUserLine, const std::string& httpUserLine) {
  // The controller's server reads the last user without a line end.
  return ftpUserLine + "\n\n" + httpUserLine;
}

bool WriteCrLfFile(const std::string& path, const std::string& text, bool ownerOnly) {
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  // The user file holds passwords: a new owner-only file that replaces the
  // old one, so a link planted under its name is replaced, never written through.
  if (ownerOnly) return platform::WriteOwnerOnlyFile(path, bytes);
  std::FILE* file = platform::OpenFileForWriting(path, false);
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

std::string WriteFailureText(const std::string& path) {
  return "Unable to write file '" + path + "'!\n\nNothing was sent to the VORN-7730.";
}

}  // namespace vorn::netconf
