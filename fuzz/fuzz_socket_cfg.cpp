// SOCKET.CFG as the controller types it back, parsed into the network
// dialog's address fields; directly and through the "type" exchange.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_line.h"
#include "netconf/net_conf.h"
#include "netconf/net_files.h"

namespace {

bool Dotted(const std::string& text) {
  int fields = 0;
  size_t start = 0;
  for (;;) {
    const size_t dot = text.find('.', start);
    const std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(part) > 255)
      return false;
    ++fields;
    if (dot == std::string::npos) return fields == 4;
    start = dot + 1;
  }
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return lines;
}

void Check(const vorn::netconf::AddressSettings& a) {
  using namespace vorn::netconf;
  // Only addresses reach the fields.
  FUZZ_CHECK(Dotted(a.IPText));
  FUZZ_CHECK(a.GatewayText.empty() || Dotted(a.GatewayText));
  FUZZ_CHECK(a.PrimaryDNSText.empty() || Dotted(a.PrimaryDNSText));
  FUZZ_CHECK(!a.HasSecondaryDNS || Dotted(a.SecondaryDNSText));
  FUZZ_CHECK(a.staticIp == (a.IPText != kDhcpAddress));
  if (!a.staticIp) return;
  // A fixed address written again reads back as the same settings.
  const auto again = ParseSocketCfg(Lines(SocketCfgText(a)));
  FUZZ_CHECK(again && again->IPText == a.IPText && again->GatewayText == a.GatewayText &&
             again->autoDns == a.autoDns && again->PrimaryDNSText == a.PrimaryDNSText &&
             again->SecondaryDNSText == a.SecondaryDNSText);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorn;
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  if (mode % 2 == 0) {
    const auto settings = netconf::ParseSocketCfg(Lines(std::string(reinterpret_cast<const char*>(data + 1), size - 1)));
    if (settings) Check(*settings);
    return 0;
  }
  auto line = std::make_shared<fuzz::Line>();
  line->echo = mode & 8 ? fuzz::Line::Echo::None : fuzz::Line::Echo::All;
  line->pending = fuzz::DecodeStream(data + 1, size - 1);
  fuzz::Session s(line);
  const netconf::ControllerSocketCfg read = netconf::ReadControllerSocketCfg(s.exchange);
  // Either settings or a reason, never both or neither.
  FUZZ_CHECK(read.settings.has_value() == read.reason.empty());
  if (read.settings) Check(*read.settings);
  return 0;
}
