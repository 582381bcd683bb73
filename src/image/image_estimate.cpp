#include "image/image_estimate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vorn {

namespace {
constexpr double kBitsPerByte = 10;  // 8N1

struct RoundTrip {
  double rounds;
  double toHost;    // bytes the controller sends each round
  double toDevice;  // bytes the host answers with
};

RoundTrip Rounds(ImageDirection direction) {
  // Backup: 131,072 blocks of 8 bytes + CRC, each answered with 5 bytes.
  // Restore: 16,384 requests of 5 bytes, each answered with 64 bytes + CRC.
  return direction == ImageDirection::Backup ? RoundTrip{131072, 10, 5} : RoundTrip{16384, 5, 66};
}
}  // namespace

ImageTimeEstimate EstimateImageTime(ImageDirection direction, uint32_t baud, std::optional<uint32_t> latencyMs) {
  ImageTimeEstimate e;
  if (baud == 0) return e;
  const RoundTrip r = Rounds(direction);
  const double round = (r.toHost + r.toDevice) * kBitsPerByte / baud;
  e.wireSeconds = r.rounds * round;
  e.seconds = e.wireSeconds;
  if (latencyMs && *latencyMs > 0) {
    // The adapter's timer runs freely: what the controller sends reaches the
    // host at its next firing, so each round trip lasts whole timer periods.
    const double period = *latencyMs / 1000.0;
    e.seconds = r.rounds * std::ceil(round / period - 1e-9) * period;
  }
  return e;
}

std::string FormatDuration(double seconds) {
  const long total = std::lround(seconds);
  char text[48];
  if (total >= 3600)
    std::snprintf(text, sizeof text, "%ld h %ld min", total / 3600, total % 3600 / 60);
  else if (total >= 60)
    std::snprintf(text, sizeof text, "%ld min %ld s", total / 60, total % 60);
  else
    std::snprintf(text, sizeof text, "%ld s", total);
  return text;
}

std::string SlowAdapterLine(ImageDirection direction, uint32_t baud, std::optional<uint32_t> latencyMs,
                            const std::string& portName) {
  const ImageTimeEstimate e = EstimateImageTime(direction, baud, latencyMs);
  if (!latencyMs || e.seconds <= 1.5 * e.wireSeconds) return {};
  std::string line = "The serial adapter of " + portName + " holds each answer up to " +
                     std::to_string(*latencyMs) + " ms: this takes about " + FormatDuration(e.seconds) +
                     " instead of " + FormatDuration(e.wireSeconds) + ". ";
#ifdef _WIN32
  line += "To shorten it, set Device Manager, " + portName +
          ", Port Settings, Advanced, Latency Timer to 1 ms and open the port again.";
#else
  line += "To shorten it, set the adapter's latency timer to 1 ms: as root, write 1 to its latency_timer "
          "under /sys/bus/usb-serial/devices/.";
#endif
  return line;
}

std::string ProgressText(int32_t blocksDone, int32_t blockCount, double elapsedSeconds) {
  const int32_t done = std::clamp(blocksDone, 0, std::max(blockCount, 0));
  std::string text = std::to_string(done) + " of " + std::to_string(blockCount) + " blocks, ";
  if (done == 0 || elapsedSeconds <= 0) return text + "time left not known yet";
  const double rate = done / elapsedSeconds;
  char figure[32];
  // Whole blocks a second read best; a slow line still shows it is moving.
  std::snprintf(figure, sizeof figure, rate < 10 ? "%.1f" : "%.0f", rate);
  return text + figure + " blocks/s, about " + FormatDuration((blockCount - done) / rate) + " left";
}

}  // namespace vorn
