#include "ioconf/io_config.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/owner_files.h"

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

// The blank-separated fields of one line of a file.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t pos = 0;
  for (;;) {
    pos = line.find_first_not_of(" \t\r", pos);
    if (pos == std::string::npos) return fields;
    const size_t end = std::min(line.find_first_of(" \t\r", pos), line.size());
    fields.push_back(line.substr(pos, end - pos));
    pos = end;
  }
}

// A whole field as a decimal number within low to high.
bool Integer(const std::string& field, int32_t low, int32_t high, int32_t& value) {
  size_t i = field[0] == '-' || field[0] == '+' ? 1 : 0;
  if (field.size() <= i || field.size() > 5) return false;
  int32_t v = 0;
  for (size_t k = i; k < field.size(); ++k) {
    if (field[k] < '0' || field[k] > '9') return false;
    v = v * 10 + (field[k] - '0');
  }
  if (field[0] == '-') v = -v;
  if (v < low || v > high) return false;
  value = v;
  return true;
}

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
  const bool header = line.size() >= kShortestLine && line.find(kHeaderTag) != std::string::npos;
  // The fields the parser reads, checked for what a damaged line shows.
  constexpr int32_t kNone = INT32_MIN;
  if (header) {
    sawHeader_ = true;
    damaged_ = NumberAt(line, 23, 25, kNone) == kNone;
    channelsSeen_ = {};
  }
  const int32_t before = state_;
  ParseIOConfig(config_, state_, line);
  if (!sawHeader_ || header || before == kAfterTrailer || line.size() < kShortestLine) return;
  const bool slotLine = line.find(kSlotTag) != std::string::npos;
  if (before == kOutsideBlock) {
    if (state_ == kAfterTrailer) return;
    const int32_t slot = NumberAt(line, 6, 6, kNone);
    damaged_ = damaged_ || !slotLine || !InSlotBlock(slot) || NumberAt(line, 8, 9, kNone) == kNone ||
               NumberAt(line, 11, 12, kNone) == kNone;
    if (InSlotBlock(slot)) channelsSeen_[slot] = 0;
  } else if (InSlotBlock(before) && slotLine) {
    damaged_ = damaged_ || NumberAt(line, 6, 6, kNone) != before;
  } else if (InSlotBlock(before)) {
    const int32_t channel = NumberAt(line, 1, 1, kNone);
    if (channel < 0 || channel >= kChannelCount || NumberAt(line, 3, 4, kNone) == kNone)
      damaged_ = true;
    else
      channelsSeen_[before] |= static_cast<uint8_t>(1u << channel);
  }
}

bool IOConfigReader::Complete() const {
  if (!sawHeader_ || state_ != kAfterTrailer || damaged_) return false;
  // The controller prints exactly the channel lines the writer writes: a
  // type or count damaged on the way shows as lines missing or left over.
  for (int n = 0; n < kSlotCount; ++n) {
    const IOSlot& slot = config_.Slots[n];
    const bool ranged = IsRangedType(slot.Type) && slot.Count >= 1 && slot.Count <= kChannelCount;
    if (channelsSeen_[n] != (ranged ? (1u << slot.Count) - 1 : 0u)) return false;
  }
  IOConfig written;
  return ParseIOConfigFile(IOConfigText(config_), written).empty();
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

std::string ParseIOConfigFile(const std::string& text, IOConfig& config) {
  std::vector<std::string> lines;
  for (size_t pos = 0; pos <= text.size();) {
    const size_t end = std::min(text.find('\n', pos), text.size());
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  size_t end = lines.size();
  while (end > 0 && Fields(lines[end - 1]).empty()) --end;
  const auto at = [](size_t i) { return "line " + std::to_string(i + 1) + ": "; };
  const auto slotName = [](int n) { return "slot " + std::to_string(n); };

  IOConfig parsed;
  parsed.EightSlots = config.EightSlots;
  size_t i = 0;
  std::vector<std::string> f = end > 0 ? Fields(lines[0]) : std::vector<std::string>{};
  // The node field has three characters where the controller reads it.
  if (f.size() != 4 || f[0] != kHeaderTag || !Integer(f[1], -99, 999, parsed.NodeID))
    return at(0) + "the header \"" + kHeaderTag + " NNN -1 -1\" should be here";
  ++i;
  for (int n = 0; n < kSlotCount; ++n) {
    const std::string tag = kSlotTag + std::to_string(n);
    if (i >= end) return at(i) + slotName(n) + "'s block is missing";
    IOSlot& slot = parsed.Slots[n];
    f = Fields(lines[i]);
    if (f.size() != 4 || f[0] != tag) return at(i) + slotName(n) + "'s block should open here with \"" + tag + "\"";
    if (!Integer(f[1], 0, 99, slot.Type) || !Integer(f[2], -1, 99, slot.Count))
      return at(i) + slotName(n) + "'s module type or channel count is no two-digit number";
    ++i;
    const int channels = IsRangedType(slot.Type) && slot.Count >= 1 && slot.Count <= kChannelCount ? slot.Count : 0;
    for (int j = 0; j < channels; ++j, ++i) {
      int32_t channel = -1;
      if (i < end) f = Fields(lines[i]);
      if (i >= end || f.size() != 4 || !Integer(f[0], 0, kChannelCount - 1, channel) || channel != j ||
          !Integer(f[1], -1, 99, slot.Range[j]))
        return at(i) + slotName(n) + " needs the line of channel " + std::to_string(j) + " here";
    }
    if (i < end) f = Fields(lines[i]);
    if (i >= end || f != std::vector<std::string>{tag, "-1", "-1", "-1"})
      return at(i) + slotName(n) + "'s block should close here with \"" + tag + " -1 -1 -1\"";
    ++i;
  }
  if (i < end) f = Fields(lines[i]);
  if (i >= end || f.size() != 4 || f[0] != kTrailerTag)
    return at(i) + "the trailer \"" + kTrailerTag + " -1 -1 -1\" should be here";
  if (++i < end) return at(i) + "nothing may follow the trailer";
  config = parsed;
  return {};
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
  // Through a new file beside it that then replaces it: a write that fails
  // (a full disk) leaves the earlier configuration as it was, and a cut file
  // never reaches the controller. Only a regular file is ever replaced.
  std::error_code ec;
  const auto type = std::filesystem::status(HostPath(path), ec).type();
  if (type != std::filesystem::file_type::regular && type != std::filesystem::file_type::not_found) return false;
  return platform::WriteOwnerOnlyFile(path, IOConfigText(config));
}

}  // namespace vorn
