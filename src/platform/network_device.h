#pragma once
// Ports reached through a serial device server: "socket://HOST:PORT" is a
// raw TCP stream to the controller's line, "rfc2217://HOST:PORT" a Telnet
// session whose COM-PORT option sets the server's line. Both behave as a
// SerialDevice with the same time-out arithmetic as a local port.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/serial_device.h"

namespace vorn::platform {

struct NetworkPortAddress {
  bool telnet = false;  // rfc2217:// rather than socket://
  std::string host;     // without the brackets of an IPv6 address
  uint16_t port = 0;
};

// True when the name begins with one of the two schemes (in any case), so
// that it is never taken for a device path, even when the rest is wrong.
bool IsNetworkPortName(const std::string& name);
// The parts of a network port name; nullopt when it is not one or is
// malformed (no host, no port, a port outside 1..65535).
std::optional<NetworkPortAddress> ParseNetworkPortName(const std::string& name);

std::unique_ptr<SerialDevice> CreateNetworkDevice();

}  // namespace vorn::platform
