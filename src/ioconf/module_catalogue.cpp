#include "ioconf/module_catalogue.h"

#include <cstdio>

namespace vorn {

namespace {

// Type 4, codes 7 to 13.
constexpr RangeItem kList6101[] = {
    {"   4~20 mA", 7},  {"+/-  10  V", 8},  {"+/-   5  V", 9},  {"+/-   1  V", 10},
    {"+/- 500 mV", 11}, {"+/- 150 mV", 12}, {"+/-  20 mA", 13},
};
// Type 5: voltages and current 0 to 6, thermocouples 14 to 20.
constexpr RangeItem kList6102[] = {
    {"+/-  15  mV", 0},         {"+/-  50  mV", 1},         {"+/- 100  mV", 2},
    {"+/- 500  mV", 3},         {"+/-   1   V", 4},         {"+/-   2.5 V", 5},
    {"+/-  20  mA", 6},         {"J Type    0~ 760'C", 14}, {"K Type    0~1000'C", 15},
    {"T Type -100~ 400'C", 16}, {"E Type    0~1000'C", 17}, {"R Type  500~1750'C", 18},
    {"S Type  500~1750'C", 19}, {"B Type  500~1800'C", 20},
};
// Type 6: counter modes.
constexpr RangeItem kList6103[] = {
    {"Bi-direction counter", 0},
    {"Up/Down counter", 1},
    {"Frequency", 2},
};
// Types 8 and 9, codes 32 to 41.
constexpr RangeItem kList6104[] = {
    {"Pt(385)-100~+100'C", 32}, {"Pt(385)   0~+100'C", 33}, {"Pt(385)   0~+200'C", 34},
    {"Pt(385)   0~+600'C", 35}, {"Pt(392)-100~+100'C", 36}, {"Pt(392)   0~+100'C", 37},
    {"Pt(392)   0~+200'C", 38}, {"Pt(392)   0~+600'C", 39}, {"Ni      -80~+600'C", 40},
    {"Ni        0~+600'C", 41},
};
// Type 12, codes 0 to 11.
constexpr RangeItem kList6101H[] = {
    {"+/-  10  V", 0}, {"  0~ 10  V", 1}, {"+/-   5  V", 2}, {"  0~  5  V", 3},
    {"+/-   2.5V", 4}, {"  0~  2.5V", 5}, {"+/-   1  V", 6}, {"  0~  1  V", 7},
    {"+/- 500 mV", 8}, {"  0~500 mV", 9}, {"  4~ 20 mA", 10}, {"  0~ 20 mA", 11},
};
// Type 23: codes without an arithmetic rule.
constexpr RangeItem kList6101UH[] = {
    {"  0~500 mV", 67}, {"  0~ 20 mA", 70}, {"  0~ 10  V", 72}, {"+/-  10  V", 8}, {"  4~ 20 mA", 7},
};
// Type 24: output ranges, codes 48 to 50.
constexpr RangeItem kList6112[] = {
    {"0~ 20  mA", 48},
    {"4~ 20  mA", 49},
    {"0~ 10   V", 50},
};

// Modules without ranges: the panel stays hidden.
constexpr ModuleKind Plain(std::string_view description) { return {description, RangePanel::Hidden, {}, 0}; }

const ModuleKind kNoModule = Plain("No module");

struct Entry {
  int32_t type;
  ModuleKind kind;
};

const Entry kCatalogue[] = {
    {4, {"VORN-6101 8-channel analog input module", RangePanel::AllChannels, kList6101, 8}},
    {5, {"VORN-6102 7-channel thermocouple input module", RangePanel::AllChannels, kList6102, 7}},
    {6, {"VORN-6103 4-ch Counter/Frequency module", RangePanel::AllChannels, kList6103, 4}},
    {8, {"VORN-6104 3-channel RTD input module", RangePanel::AllChannels, kList6104, 3}},
    {9, {"VORN-6104 3-channel RTD input module", RangePanel::AllChannels, kList6104, 3}},
    {12, {"VORN-6101H 8-channel high speed input module", RangePanel::EachChannel, kList6101H, 8}},
    {23, {"VORN-6101UH 8-channel ultra-high speed input module", RangePanel::EachChannel, kList6101UH, 8}},
    {24, {"VORN-6112 4-channel analog output module", RangePanel::EachChannel, kList6112, 4}},
    {15, Plain("VORN-6105 8-ch isolated digital input module")},
    {16, Plain("VORN-6106 16-ch universal digital I/O module")},
    {17, Plain("VORN-6107 16-channel Digital input module")},
    {18, Plain("VORN-6108 16-channel digital output module")},
    {19, Plain("VORN-6109 8-channel relay output module")},
    {20, Plain("VORN-6110 6-channel relay output module")},
    {21, Plain("VORN-6111 8-ch digital input and 8-ch output module")},
    {31, Plain("VORN-6113 4-port RS-232 Communication Module")},
};

void Assign(RangeCombo& combo, std::span<const RangeItem> ranges, int position) {
  combo.Items.clear();
  for (const RangeItem& item : ranges) combo.Items.emplace_back(item.Text);
  combo.Selected = position >= 0 && position < static_cast<int>(ranges.size()) ? position : -1;
}

// The code of the selected item; the fallback when nothing is selected.
int32_t Chosen(const RangeCombo& combo, std::span<const RangeItem> ranges, int32_t fallback) {
  const int p = combo.Selected;
  return p >= 0 && p < static_cast<int>(ranges.size()) ? ranges[p].Code : fallback;
}

// One choice for the first channels of the module.
void StoreAll(IOSlot& slot, const SlotPage& page, std::span<const RangeItem> ranges, int channels) {
  const int p = page.Combos[0].Selected;
  if (p < 0 || p >= static_cast<int>(ranges.size())) return;
  const int32_t code = ranges[p].Code;
  for (int ch = 0; ch < channels; ++ch) slot.Range[ch] = code;
}

void StoreEach(IOSlot& slot, const SlotPage& page, std::span<const RangeItem> ranges, int channels) {
  for (int ch = 0; ch < channels; ++ch) slot.Range[ch] = Chosen(page.Combos[ch], ranges, slot.Range[ch]);
}

}  // namespace

const ModuleKind& ModuleKindOf(int32_t type) {
  for (const Entry& e : kCatalogue)
    if (e.type == type) return e.kind;
  return kNoModule;
}

int RangePosition(std::span<const RangeItem> ranges, int32_t code) {
  for (size_t i = 0; i < ranges.size(); ++i)
    if (ranges[i].Code == code) return static_cast<int>(i);
  return -1;
}

void AssignM6101Combo(RangeCombo& combo, int position) { Assign(combo, kList6101, position); }
void AssignM6102Combo(RangeCombo& combo, int position) { Assign(combo, kList6102, position); }
void AssignM6103Combo(RangeCombo& combo, int position) { Assign(combo, kList6103, position); }
void AssignM6104Combo(RangeCombo& combo, int position) { Assign(combo, kList6104, position); }
void AssignM6101HCombo(RangeCombo& combo, int position) { Assign(combo, kList6101H, position); }
void AssignM6112Combo(RangeCombo& combo, int position) { Assign(combo, kList6112, position); }
void AssignM6101UHCombo(RangeCombo& combo, int32_t code) {
  Assign(combo, kList6101UH, RangePosition(kList6101UH, code));
}

void SummaryM6101(IOSlot& slot, const SlotPage& page) { StoreAll(slot, page, kList6101, 8); }
void SummaryM6102(IOSlot& slot, const SlotPage& page) { StoreAll(slot, page, kList6102, 7); }
void SummaryM6103(IOSlot& slot, const SlotPage& page) { StoreAll(slot, page, kList6103, 4); }
void SummaryM6104(IOSlot& slot, const SlotPage& page) { StoreAll(slot, page, kList6104, 3); }
void SummaryM6101H(IOSlot& slot, const SlotPage& page) { StoreEach(slot, page, kList6101H, 8); }
void SummaryM6101UH(IOSlot& slot, const SlotPage& page) { StoreEach(slot, page, kList6101UH, 8); }
void SummaryM6112(IOSlot& slot, const SlotPage& page) { StoreEach(slot, page, kList6112, 4); }

SlotPage ShowSlot(const IOSlot& slot) {
  SlotPage page;
  const ModuleKind& kind = ModuleKindOf(slot.Type);
  page.Description = kind.Description;
  page.PanelVisible = kind.Panel != RangePanel::Hidden;
  for (int ch = 0; ch < kChannelCount; ++ch) page.Labels[ch] = "CH" + std::to_string(ch);
  // Positions come from the item holding the stored code, so a code outside
  // the list shows no selection instead of a neighbour's range.
  auto position = [&](int ch) { return RangePosition(kind.Ranges, slot.Range[ch]); };
  switch (slot.Type) {
    case 4: AssignM6101Combo(page.Combos[0], position(0)); break;
    case 5: AssignM6102Combo(page.Combos[0], position(0)); break;
    case 6: AssignM6103Combo(page.Combos[0], position(0)); break;
    case 8:
    case 9: AssignM6104Combo(page.Combos[0], position(0)); break;
    case 12:
      for (int ch = 0; ch < 8; ++ch) AssignM6101HCombo(page.Combos[ch], position(ch));
      break;
    case 23:
      for (int ch = 0; ch < 8; ++ch) AssignM6101UHCombo(page.Combos[ch], slot.Range[ch]);
      break;
    case 24:
      for (int ch = 0; ch < 4; ++ch) AssignM6112Combo(page.Combos[ch], position(ch));
      break;
    default: break;
  }
  if (kind.Panel == RangePanel::AllChannels) {
    page.Labels[0] = "All";
    page.ChannelVisible[0] = true;
  } else if (kind.Panel == RangePanel::EachChannel) {
    for (int ch = 0; ch < kind.Channels; ++ch) page.ChannelVisible[ch] = true;
  }
  return page;
}

void StoreSlot(IOSlot& slot, const SlotPage& page) {
  switch (slot.Type) {
    case 4: SummaryM6101(slot, page); break;
    case 5: SummaryM6102(slot, page); break;
    case 6: SummaryM6103(slot, page); break;
    case 8:
    case 9: SummaryM6104(slot, page); break;
    case 12: SummaryM6101H(slot, page); break;
    case 23: SummaryM6101UH(slot, page); break;
    case 24: SummaryM6112(slot, page); break;
    default: break;
  }
}

std::string NodeIDText(int32_t node) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(node));
  return buf;
}

}  // namespace vorn
