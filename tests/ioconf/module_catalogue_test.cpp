// The module catalogue: range texts and codes, what a slot's page shows and
// what choosing a range stores.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "ioconf/module_catalogue.h"

namespace vorn {
namespace {

using Items = std::vector<std::pair<std::string, int32_t>>;

const Items k6101 = {{"   4~20 mA", 7},  {"+/-  10  V", 8},  {"+/-   5  V", 9}, {"+/-   1  V", 10},
                     {"+/- 500 mV", 11}, {"+/- 150 mV", 12}, {"+/-  20 mA", 13}};
const Items k6102 = {{"+/-  15  mV", 0},         {"+/-  50  mV", 1},         {"+/- 100  mV", 2},
                     {"+/- 500  mV", 3},         {"+/-   1   V", 4},         {"+/-   2.5 V", 5},
                     {"+/-  20  mA", 6},         {"J Type    0~ 760'C", 14}, {"K Type    0~1000'C", 15},
                     {"T Type -100~ 400'C", 16}, {"E Type    0~1000'C", 17}, {"R Type  500~1750'C", 18},
                     {"S Type  500~1750'C", 19}, {"B Type  500~1800'C", 20}};
const Items k6103 = {{"Bi-direction counter", 0}, {"Up/Down counter", 1}, {"Frequency", 2}};
const Items k6104 = {{"Pt(385)-100~+100'C", 32}, {"Pt(385)   0~+100'C", 33}, {"Pt(385)   0~+200'C", 34},
                     {"Pt(385)   0~+600'C", 35}, {"Pt(392)-100~+100'C", 36}, {"Pt(392)   0~+100'C", 37},
                     {"Pt(392)   0~+200'C", 38}, {"Pt(392)   0~+600'C", 39}, {"Ni      -80~+600'C", 40},
                     {"Ni        0~+600'C", 41}};
const Items k6101H = {{"+/-  10  V", 0}, {"  0~ 10  V", 1}, {"+/-   5  V", 2}, {"  0~  5  V", 3},
                      {"+/-   2.5V", 4}, {"  0~  2.5V", 5}, {"+/-   1  V", 6}, {"  0~  1  V", 7},
                      {"+/- 500 mV", 8}, {"  0~500 mV", 9}, {"  4~ 20 mA", 10}, {"  0~ 20 mA", 11}};
const Items k6101UH = {{"  0~500 mV", 67}, {"  0~ 20 mA", 70}, {"  0~ 10  V", 72}, {"+/-  10  V", 8}, {"  4~ 20 mA", 7}};
const Items k6112 = {{"0~ 20  mA", 48}, {"4~ 20  mA", 49}, {"0~ 10   V", 50}};

struct Kind {
  int32_t type;
  const Items* items;
  int stored;   // channels one choice goes to (single combo) or combos shown
  bool single;  // one combo for all channels
};
const Kind kKinds[] = {{4, &k6101, 8, true},     {5, &k6102, 7, true},      {6, &k6103, 4, true},
                       {8, &k6104, 3, true},     {9, &k6104, 3, true},      {12, &k6101H, 8, false},
                       {23, &k6101UH, 8, false}, {24, &k6112, 4, false}};

IOSlot Slot(int32_t type, int32_t code) {
  IOSlot s;
  s.Type = type;
  s.Count = 8;
  s.Range.fill(code);
  return s;
}

// Every item of every list: choosing it stores its code in the kind's
// channels, and a slot holding that code shows it selected.
TEST(ModuleCatalogue, EveryRangeTextStoresItsCodeAndShowsAgain) {
  for (const Kind& k : kKinds) {
    for (size_t p = 0; p < k.items->size(); ++p) {
      SCOPED_TRACE("type " + std::to_string(k.type) + " position " + std::to_string(p));
      const auto& [text, code] = (*k.items)[p];
      IOSlot slot = Slot(k.type, 99);
      SlotPage page = ShowSlot(slot);
      std::vector<std::string> expected;
      for (const auto& item : *k.items) expected.push_back(item.first);
      ASSERT_EQ(page.Combos[0].Items, expected);
      const int combos = k.single ? 1 : k.stored;
      for (int ch = 0; ch < combos; ++ch) page.Combos[ch].Selected = static_cast<int>(p);
      StoreSlot(slot, page);
      for (int ch = 0; ch < 8; ++ch) EXPECT_EQ(slot.Range[ch], ch < k.stored ? code : 99) << "channel " << ch;
      const SlotPage shown = ShowSlot(slot);
      EXPECT_EQ(shown.Combos[0].Selected, static_cast<int>(p));
      EXPECT_EQ(shown.Combos[0].Items[p], text);
    }
  }
}

TEST(ModuleCatalogue, WorkedChoices) {
  // Type 4 at +/- 5 V changed to +/- 150 mV: all eight channels.
  IOSlot s4 = Slot(4, 9);
  SlotPage page = ShowSlot(s4);
  EXPECT_EQ(page.Combos[0].Items[page.Combos[0].Selected], "+/-   5  V");
  page.Combos[0].Selected = 5;
  ASSERT_EQ(page.Combos[0].Items[5], "+/- 150 mV");
  StoreSlot(s4, page);
  EXPECT_EQ(s4.Range, (std::array<int32_t, 8>{12, 12, 12, 12, 12, 12, 12, 12}));

  // Type 5 at K type changed to +/- 50 mV: channels 0 to 6, channel 7 kept.
  IOSlot s5 = Slot(5, 15);
  s5.Range[7] = -1;
  page = ShowSlot(s5);
  EXPECT_EQ(page.Combos[0].Items[page.Combos[0].Selected], "K Type    0~1000'C");
  page.Combos[0].Selected = 1;
  StoreSlot(s5, page);
  EXPECT_EQ(s5.Range, (std::array<int32_t, 8>{1, 1, 1, 1, 1, 1, 1, -1}));

  // Type 23: 70 shows "  0~ 20 mA"; an unlisted 9 shows nothing and stays.
  IOSlot s23 = Slot(23, 70);
  s23.Range[3] = 9;
  page = ShowSlot(s23);
  EXPECT_EQ(page.Combos[0].Items[page.Combos[0].Selected], "  0~ 20 mA");
  EXPECT_EQ(page.Combos[3].Selected, -1);
  page.Combos[0].Selected = 2;
  StoreSlot(s23, page);
  EXPECT_EQ(s23.Range, (std::array<int32_t, 8>{72, 70, 70, 9, 70, 70, 70, 70}));

  // Type 24: 48 to 50 are the three output ranges of channels 0 to 3.
  IOSlot s24 = Slot(24, -1);
  s24.Range = {48, 49, 50, 48, 7, 7, 7, 7};
  page = ShowSlot(s24);
  for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(page.Combos[ch].Selected, s24.Range[ch] - 48) << ch;
}

// A combo showing no selection keeps the codes it stands for, whatever the
// kind: its position would give a code none of the list's items has.
TEST(ModuleCatalogue, NoSelectionKeepsTheStoredCodes) {
  const int32_t outside[] = {-1, 21, 99};
  for (const Kind& k : kKinds) {
    for (int32_t code : outside) {
      SCOPED_TRACE("type " + std::to_string(k.type) + " code " + std::to_string(code));
      IOSlot slot = Slot(k.type, code);
      if (k.type == 5) slot.Range[0] = 10;  // the thermocouple list's gap, 7 to 13
      const IOSlot before = slot;
      const SlotPage page = ShowSlot(slot);
      for (const RangeCombo& combo : page.Combos) EXPECT_EQ(combo.Selected, -1);
      StoreSlot(slot, page);
      EXPECT_EQ(slot.Range, before.Range);
    }
  }
}

TEST(ModuleCatalogue, PagesOfEachKind) {
  struct Case {
    int32_t type;
    const char* description;
    bool panel;
    int channels;  // visible rows
    const char* firstLabel;
  } cases[] = {
      {4, "VORN-6101 8-channel analog input module", true, 1, "All"},
      {9, "VORN-6104 3-channel RTD input module", true, 1, "All"},
      {12, "VORN-6101H 8-channel high speed input module", true, 8, "CH0"},
      {23, "VORN-6101UH 8-channel ultra-high speed input module", true, 8, "CH0"},
      {24, "VORN-6112 4-channel analog output module", true, 4, "CH0"},
      {16, "VORN-6106 16-ch universal digital I/O module", false, 0, "CH0"},
      {31, "VORN-6113 4-port RS-232 Communication Module", false, 0, "CH0"},
      {99, "No module", false, 0, "CH0"},
      {7, "No module", false, 0, "CH0"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.type);
    const SlotPage page = ShowSlot(Slot(k.type, -1));
    EXPECT_EQ(page.Description, k.description);
    EXPECT_EQ(page.PanelVisible, k.panel);
    EXPECT_EQ(page.Labels[0], k.firstLabel);
    EXPECT_EQ(page.Labels[7], "CH7");
    for (int ch = 0; ch < 8; ++ch) EXPECT_EQ(page.ChannelVisible[ch], ch < k.channels) << ch;
  }
  EXPECT_EQ(NodeIDText(1), "01");
  EXPECT_EQ(NodeIDText(26), "1A");
  EXPECT_EQ(NodeIDText(255), "FF");
}

}  // namespace
}  // namespace vorn
