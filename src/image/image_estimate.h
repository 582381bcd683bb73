// How long a backup or a restore of the whole drive takes on a given line.
// Both are stop-and-wait: every block waits for its answer, so a USB-serial
// adapter that holds what the controller sends until its latency timer fires
// adds up to one timer period to each of the many round trips.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vorn {

enum class ImageDirection { Backup, Restore };

struct ImageTimeEstimate {
  double wireSeconds = 0;  // the bytes' own time on the line
  double seconds = 0;      // with the adapter's hold on every round trip
};

// latencyMs: the adapter's latency timer where known (nullopt or 0: none).
ImageTimeEstimate EstimateImageTime(ImageDirection direction, uint32_t baud, std::optional<uint32_t> latencyMs);

// "12 min 5 s", "45 s", "1 h 3 min".
std::string FormatDuration(double seconds);

// A line for the question before a backup or restore when the adapter makes it
// much slower than the line would (more than 1.5 times), saying how long it
// will take and how to lower the latency; empty otherwise.
std::string SlowAdapterLine(ImageDirection direction, uint32_t baud, std::optional<uint32_t> latencyMs,
                            const std::string& portName);

// The line speed every image transfer uses.
constexpr uint32_t kImageBaud = 57600;

// What a running transfer has done and how long the rest will take at the
// rate so far: "40960 of 131072 blocks, 410 blocks/s, about 3 min 40 s left".
// Before the first block the time left is not known yet.
std::string ProgressText(int32_t blocksDone, int32_t blockCount, double elapsedSeconds);

}  // namespace vorn
