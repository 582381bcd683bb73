#pragma once
// The modules a slot can hold, the range texts of each kind and how a range
// choice in the dialog maps to the codes the controller stores.
#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ioconf/io_config.h"

namespace vorn {

struct RangeItem {
  std::string_view Text;  // shown in the combo, padded as the controller's manuals print them
  int32_t Code;           // stored in the table
};

enum class RangePanel {
  Hidden,       // digital and communication modules, empty slots
  AllChannels,  // one combo ("All") whose choice goes to every channel of the module
  EachChannel,  // one combo per channel
};

struct ModuleKind {
  std::string_view Description;
  RangePanel Panel = RangePanel::Hidden;
  std::span<const RangeItem> Ranges;
  // AllChannels: how many channels the choice is stored in; EachChannel: how
  // many combos are shown.
  int Channels = 0;
};

// Any code the catalogue does not know is shown as "No module".
const ModuleKind& ModuleKindOf(int32_t type);

// The position of the item with this code; -1 when no item has it.
int RangePosition(std::span<const RangeItem> ranges, int32_t code);

// One combo as the dialog shows it: its items and the selected position (-1 none).
struct RangeCombo {
  std::vector<std::string> Items;
  int Selected = -1;
};

// Fill a combo with a list and select by position (none when outside the list).
void AssignM6101Combo(RangeCombo& combo, int position);
void AssignM6102Combo(RangeCombo& combo, int position);
void AssignM6103Combo(RangeCombo& combo, int position);
void AssignM6104Combo(RangeCombo& combo, int position);
void AssignM6101HCombo(RangeCombo& combo, int position);
void AssignM6112Combo(RangeCombo& combo, int position);
// This list has no arithmetic rule: it selects by range code.
void AssignM6101UHCombo(RangeCombo& combo, int32_t code);

// What one slot's page shows.
struct SlotPage {
  std::string Description;
  bool PanelVisible = false;
  std::array<bool, kChannelCount> ChannelVisible{};
  std::array<std::string, kChannelCount> Labels;
  std::array<RangeCombo, kChannelCount> Combos;
};

SlotPage ShowSlot(const IOSlot& slot);

// Store the page's selections into the slot's range codes. A combo without a
// selection keeps the codes it stands for: storing its position would write a
// code no item of the list has.
void SummaryM6101(IOSlot& slot, const SlotPage& page);
void SummaryM6102(IOSlot& slot, const SlotPage& page);
void SummaryM6103(IOSlot& slot, const SlotPage& page);
void SummaryM6104(IOSlot& slot, const SlotPage& page);
void SummaryM6101H(IOSlot& slot, const SlotPage& page);
void SummaryM6101UH(IOSlot& slot, const SlotPage& page);
void SummaryM6112(IOSlot& slot, const SlotPage& page);
// The storing rule of the slot's kind; nothing for kinds without ranges.
void StoreSlot(IOSlot& slot, const SlotPage& page);

// The node ID as the dialog shows it: upper-case hexadecimal, two digits at least.
std::string NodeIDText(int32_t node);

}  // namespace vorn
