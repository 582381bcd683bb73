#include "link/controller_identity.h"

#include "platform/host.h"

namespace vorn {

bool NamesVirtualController(const std::vector<std::string>& printed) {
  for (const std::string& line : printed) {
    const size_t first = line.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) continue;
    const size_t last = line.find_last_not_of(" \t\r\n");
    if (line.compare(first, last + 1 - first, kVirtualControllerLine) == 0) return true;
  }
  return false;
}

IdentityQuery ExchangeIdentityQuery(Exchange& link) {
  return [&link](std::vector<std::string>& printed) {
    printed.clear();
    // The answer is one or two lines at once; a short read time-out keeps the wait short.
    return link.Run({300, 10}, {{kIdentityQuery, SendFailureText("ver"),
                                 [&printed](const std::string& line, std::string&) {
                                   printed.push_back(line);
                                   return LineVerdict::Continue;
                                 }}});
  };
}

bool StandInsMayGo(const std::vector<std::string>& hostPaths, const IdentityQuery& ask, Ui& ui,
                   const std::string& notStarted, const std::string& howToProvide) {
  std::string standIns;
  for (const std::string& path : hostPaths)
    if (platform::IsStandIn(path)) standIns += "\n  " + path;
  if (standIns.empty()) return true;
  std::vector<std::string> printed;
  if (!ask || !ask(printed)) return false;
  if (NamesVirtualController(printed)) return true;
  ui.Error(notStarted +
           "\n\nThe controller did not name itself as the virtual controller, and these files are stand-ins that "
           "do nothing on a real one:" +
           standIns + "\n\n" + howToProvide);
  return false;
}

}  // namespace vorn
