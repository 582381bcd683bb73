#include "ioconf/io_config.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace vorn {

namespace {

const char kHeaderTag[] = "@VORN7730MIOCFG-START";
const char kTrailerTag[] = "@VORN7730MIOCFG-END";
const char kSlotTag[] = "@SLOT";
// Lines this short carry no field the reader uses.
constexpr size_t kShortestLine = 10;

// The decimal number (optional sign) at 1-based positions first to last; the
// fallback when the line is too short or the characters are no number.
int32_t NumberAt(const std::string& line, size_t first, size_t last, int32_t fallback) {
  if (line.size() < last) return fallback;
  const std::string field = line.substr(first - 1, last - first + 1);
  size_t i = 0;
  bool negative = false;
  if (field[0] == '-' || field[0] == '+') {
    negative = field[0] == '-';
    i = 1;
  }
  if (i >= field.size()) return fallback;
  int32_t value = 0;
  for (; i < field.size(); ++i) {
    if (field[i] < '0' || field[i] > '9') return fallback;
    value = value * 10 + (field[i] - '0');
  }
  return negative ? -value : value;
}

bool InSlotBlock(int32_t state) { return state >= 0 && state < kSlotCount; }

std::filesystem::path HostPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace

bool IsRangedType(int32_t type) {
  switch (type) {
    case 4: case 5: case 6: case 8: case 9: case 12: case 23: case 24: return true;
    default: return false;
  }
}

void ParseIOConfig(IOConfig& config, int32_t& state, const std::string& line) {
  if (line.size() < kShortestLine) return;
  if (line.find(kHeaderTag) != std::string::npos) {
    state = kOutsideBlock;
    config.NodeID = NumberAt(line, 23, 25, -1);
  } else if (line.find(kTrailerTag) != std::string::npos) {
    state = kAfterTrailer;
  } else if (line.find(kSlotTag) != std::string::npos) {
    // Opening and closing lines look alike; only the state tells them apart.
    if (state >= 0) {
      state = kOutsideBlock;
      return;
    }
    state = NumberAt(line, 6, 6, -1);
    if (!InSlotBlock(state)) return;
    IOSlot& slot = config.Slots[state];
    slot.Type = NumberAt(line, 8, 9, kEmptySlotType);
    slot.Count = NumberAt(line, 11, 12, -1);
  } else if (InSlotBlock(state)) {
    const int32_t channel = NumberAt(line, 1, 1, -1);
    if (channel >= 0 && channel < kChannelCount) config.Slots[state].Range[channel] = NumberAt(line, 3, 4, -1);
  }
}

void IOConfigReader::Line(const std::string& line) {
  if (line.size() >= kShortestLine && line.find(kHeaderTag) != std::string::npos) sawHeader_ = true;
  ParseIOConfig(config_, state_, line);
}

void IOConfigReader::Text(const std::string& text) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    end = end == std::string::npos ? text.size() : end + 1;
    Line(text.substr(pos, end - pos));
    pos = end;
  }
}

std::string IOConfigText(const IOConfig& config) {
  std::string text;
  char buf[64];
  auto add = [&](const char* format, auto... values) {
    std::snprintf(buf, sizeof buf, format, values...);
    text += buf;
  };
  add("@VORN7730MIOCFG-START %03d -1 -1\n", config.NodeID);
  for (int n = 0; n < kSlotCount; ++n) {
    const IOSlot& slot = config.Slots[n];
    if (slot.Type == kEmptySlotType)
      add("@SLOT%d 99 -1 -1\n", n);
    else
      add("@SLOT%d %02d %02d -1\n", n, slot.Type, slot.Count);
    if (IsRangedType(slot.Type) && slot.Count >= 1 && slot.Count <= kChannelCount)
      for (int j = 0; j < slot.Count; ++j) add("%d %02d -1 -1\n", j, slot.Range[j]);
    add("@SLOT%d -1 -1 -1\n", n);
  }
  text += "@VORN7730MIOCFG-END -1 -1 -1\n";
  return text;
}

bool CreateIOConfig(const IOConfig& config, const std::string& path) {
  std::ofstream out(HostPath(path), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << IOConfigText(config);
  // A cut file would go to the controller and be applied as it stands.
  out.close();
  return !out.fail();
}

}  // namespace vorn
