#pragma once
// The stand-ins shipped with the utility do nothing on a real controller, so
// they go only to the virtual controller, which names itself when asked.
#include <functional>
#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/ui.h"

namespace vorn {

// A harmless shell command: a real shell prints its version line or refuses
// it; the virtual controller adds a line of its own.
inline constexpr const char* kIdentityQuery = "ver\r";
inline constexpr const char* kVirtualControllerLine = "VORN-7730 virtual controller";

// The end of every refusal's advice: where the real files come from otherwise.
inline constexpr const char* kCompanionAdvice =
    "or name a companion installation that holds them in the \"Path\" value of "
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Vorn7730.exe.";

// True when one of the printed lines is the virtual controller's own line.
bool NamesVirtualController(const std::vector<std::string>& printed);

// Types the query and collects what the controller printed; false (after its
// own failure box) when the query could not be typed.
using IdentityQuery = std::function<bool(std::vector<std::string>& printed)>;
// The query through a standard exchange on the exchange's port.
IdentityQuery ExchangeIdentityQuery(Exchange& link);

// Whether hostPaths may be sent: yes when none is a stand-in, or when the
// controller names itself as the virtual one (the query is typed only then).
// Otherwise an error box: notStarted, the stand-ins, and howToProvide, which
// says where the real files can come from.
bool StandInsMayGo(const std::vector<std::string>& hostPaths, const IdentityQuery& ask, Ui& ui,
                   const std::string& notStarted, const std::string& howToProvide);

}  // namespace vorn
