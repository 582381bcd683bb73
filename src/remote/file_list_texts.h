#pragma once
// The size texts that both file panes show: the Size column in whole KB and
// the status bar's object count and total. Header-only, so that the host
// pane's library shares them without linking the controller pane's.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vorn {

// Whole KB, rounded up: 0 gives 0, 1..1024 give 1, 1025 gives 2.
inline uint64_t SizeInKB(uint64_t bytes) { return bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0); }

// The Size column: empty for a directory, else "<n>KB".
inline std::string SizeColumnText(bool isDirectory, uint64_t bytes) {
  if (isDirectory) return {};
  return std::to_string(SizeInKB(bytes)) + "KB";
}

// "<n> object(s)"
inline std::string ObjectCountText(size_t count) { return std::to_string(count) + " object(s)"; }

// "<n> byte(s)" below 1024, "%.1f KB" below 1048576, else "%.1f MB".
inline std::string TotalSizeText(uint64_t total) {
  if (total < 1024) return std::to_string(total) + " byte(s)";
  const bool kb = total < 1048576;
  double quotient = static_cast<double>(total) / (kb ? 1024.0 : 1048576.0);
  // Totals that fit 32 bits show the quotient through single precision, as
  // the status bars always have; beyond that it would lose the tenth.
  if (total <= UINT32_MAX) quotient = static_cast<float>(quotient);
  char buf[64];
  std::snprintf(buf, sizeof buf, kb ? "%.1f KB" : "%.1f MB", quotient);
  return buf;
}

}  // namespace vorn
