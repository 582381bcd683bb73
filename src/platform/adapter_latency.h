#pragma once
// The latency timer of a USB-serial adapter: how long it may hold bytes from
// the line before handing them to the host.
#include <cstdint>
#include <optional>
#include <string>

namespace vorn::platform {

// The port's latency timer in milliseconds, where the host tells it (Linux:
// the driver's latency_timer; Windows: the adapter driver's LatencyTimer
// value); nullopt for a port that is no such adapter or does not say.
std::optional<uint32_t> AdapterLatencyMs(const std::string& portName);

}  // namespace vorn::platform
