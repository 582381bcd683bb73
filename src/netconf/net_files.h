#pragma once
// The controller's network settings files: SOCKET.CFG (address, route, name
// servers, TCP parameters) and SOCKET.UPW (the FTP and HTTP users), composed
// from validated values and written with CR LF line ends.
#include <optional>
#include <string>
#include <vector>

namespace vorn::netconf {

inline constexpr const char* kSocketCfg = "SOCKET.CFG";
inline constexpr const char* kSocketUpw = "SOCKET.UPW";
// The controller folder both files are uploaded into.
inline constexpr const char* kConfFolder = "D:\\CONF\\";
// The address the controller's stack reads as "ask a DHCP server".
inline constexpr const char* kDhcpAddress = "0.0.0.1";

// The address values as validated, fields joined exactly as typed.
struct AddressSettings {
  bool staticIp = true;
  bool autoDns = false;  // "Obtain DNS address automatically"
  std::string IPText;
  std::string GatewayText;  // "0" without a gateway
  std::string PrimaryDNSText;
  std::string SecondaryDNSText;
  bool HasSecondaryDNS = false;
};

struct FtpRights {
  bool changeDir = false, createDir = false, writeFile = false, readFile = false;
};
struct HttpRights {
  bool getFiles = false, postFiles = false, useCgi = false, remoteConsole = false;
};

// One letter per right, always in the same order: d c w r and e p g m.
std::string FtpRightsLetters(const FtpRights& r);
std::string HttpRightsLetters(const HttpRights& r);

// "ID PASSWORD WebRoot LETTERS" and "ID PASSWORD / LETTERS".
std::string FtpUserLine(const std::string& id, const std::string& password, const std::string& letters);
std::string HttpUserLine(const std::string& id, const std::string& password, const std::string& letters);

// The address settings a SOCKET.CFG holds, from its lines as the controller's
// `type` prints them (CR LF or LF, blanks between words as written). nullopt
// when no "ip address A.B.C.D" line is there. The user file is never read: it
// holds passwords.
std::optional<AddressSettings> ParseSocketCfg(const std::vector<std::string>& lines);

// The files' texts with "\n" line ends.
std::string SocketCfgText(const AddressSettings& a);
std::string SocketUpwText(const std::string& ftpUserLine, const std::string& httpUserLine);

// Creates or truncates path and writes text with every "\n" as CR LF.
// ownerOnly keeps others from reading it (the user file holds passwords):
// written to a new owner-only file beside path that then replaces it.
bool WriteCrLfFile(const std::string& path, const std::string& text, bool ownerOnly);
std::string WriteFailureText(const std::string& path);

}  // namespace vorn::netconf
