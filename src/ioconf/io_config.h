#pragma once
// The controller's slot table and its text: what the device tool "cfgio 1"
// prints and what "cfgio" takes back as a file.
#include <array>
#include <cstdint>
#include <string>

namespace vorn {

constexpr int kSlotCount = 8;
constexpr int kChannelCount = 8;
constexpr int32_t kEmptySlotType = 99;

struct IOSlot {
  int32_t Type = kEmptySlotType;  // module type code; 99 is an empty slot
  int32_t Count = -1;             // channel count as printed; sets how many channel lines are written
  std::array<int32_t, kChannelCount> Range{-1, -1, -1, -1, -1, -1, -1, -1};
};

struct IOConfig {
  int32_t NodeID = 0;       // -1 when the header's field was unreadable
  bool EightSlots = false;  // false: only slots 0 to 3 are shown; all eight are read and written
  std::array<IOSlot, kSlotCount> Slots{};
};

// Types whose channels carry range codes (and so get channel lines).
bool IsRangedType(int32_t type);

// Reader states besides 0 to 7 (inside that slot's block).
constexpr int32_t kOutsideBlock = -1;
constexpr int32_t kAfterTrailer = -100;

// Takes one printed line (line end included) into the table. state starts at
// -1 for a printout. Never clears the table: what the printout does not
// mention keeps its value.
void ParseIOConfig(IOConfig& config, int32_t& state, const std::string& line);

// Feeds a printout line by line and tells whether it was whole: a header, and
// the trailer after it. A cut or failed printout must not pass as a
// configuration, or writing it back would empty every slot.
class IOConfigReader {
 public:
  explicit IOConfigReader(IOConfig& config) : config_(config) {}
  void Line(const std::string& line);
  // Splits text at LF and feeds every line.
  void Text(const std::string& text);
  // Also false when the printout shows damage from the line: a field that is
  // no number where one belongs (the node, a type, a count, a range) (the table would take the fallback, such as
  // an empty slot for an unreadable type), a line between blocks that is no
  // slot line, a closing line of another slot, a ranged slot without all its
  // channel lines or with more, or a value no configuration file holds (a closing line
  // damaged on the way makes the next one read as an opening one, of type
  // -1). Such a table must not go back to the controller.
  bool Complete() const;

 private:
  IOConfig& config_;
  int32_t state_ = kOutsideBlock;
  bool sawHeader_ = false;
  bool damaged_ = false;
  std::array<uint8_t, kSlotCount> channelsSeen_{};  // one bit per channel line read
};

// The largest configuration file taken as input; a whole one is under 1 KiB.
constexpr size_t kIOConfigFileLimit = 64 * 1024;

// Reads a configuration file as strictly as the writer writes it (LF or CR LF
// line ends): the header, the blocks of slots 0 to 7 in order, each with
// exactly the channel lines the writer would give it, the trailer and nothing
// after it but blank space. Anything less would reach the controller as a
// file it ignores or applies in part. Empty on success; otherwise why not,
// with the line number.
std::string ParseIOConfigFile(const std::string& text, IOConfig& config);

// The file text: LF line ends only.
std::string IOConfigText(const IOConfig& config);
// Writes the file; false when it cannot be created or written whole.
bool CreateIOConfig(const IOConfig& config, const std::string& path);

}  // namespace vorn
