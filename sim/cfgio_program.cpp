// CFGIO: "cfgio 1 1" tells the slot count, "cfgio 1" prints the slot table,
// "cfgio" applies the ranges of D:\VORNIO.CFG to the modules.
#include "sim/cfgio_program.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "sim/shell.h"

namespace vsim {
namespace {

struct Module {
  int type = 99;  // 99: empty slot
  int count = -1;
  std::array<int, 8> ranges{-1, -1, -1, -1, -1, -1, -1, -1};
};

struct Modules {
  bool loaded = false;
  int node = 1;
  bool eight = true;
  std::array<Module, 8> slots;
};

bool Ranged(int type) {
  switch (type) {
    case 4: case 5: case 6: case 8: case 9: case 12: case 23: case 24: return true;
    default: return false;
  }
}

// A module as it leaves the factory: its channel count and default ranges.
Module Fresh(int type) {
  Module m;
  m.type = type;
  switch (type) {
    case 4: m.count = 8; m.ranges.fill(9); break;      // +/- 5 V
    case 5: m.count = 7; m.ranges.fill(15); m.ranges[7] = -1; break;  // K type
    case 6: m.count = 4; m.ranges = {0, 0, 0, 0, -1, -1, -1, -1}; break;
    case 8: case 9: m.count = 3; m.ranges = {33, 33, 33, -1, -1, -1, -1, -1}; break;
    case 12: m.count = 8; m.ranges = {0, 1, 2, 3, 8, 9, 10, 11}; break;
    case 23: m.count = 8; m.ranges = {67, 70, 72, 8, 7, 67, 70, 72}; break;
    case 24: m.count = 4; m.ranges = {48, 49, 50, 48, -1, -1, -1, -1}; break;
    case 15: case 19: m.count = 8; break;
    case 16: case 17: case 18: case 21: m.count = 16; break;
    case 20: m.count = 6; break;
    case 31: m.count = 4; break;
    default: m.type = 99; break;
  }
  return m;
}

// Single-combo analog kinds, an eight-channel kind, the output kind, a digital
// module, more analog kinds and an empty slot.
const int kDefaultSet[8] = {4, 23, 24, 16, 5, 12, 8, 99};

Modules StartingModules(const Options& o) {
  Modules m;
  m.eight = !o.fourSlots;
  std::vector<int> types(std::begin(kDefaultSet), std::end(kDefaultSet));
  if (!o.ioModules.empty()) {
    types.clear();
    std::stringstream list(o.ioModules);
    std::string item;
    while (std::getline(list, item, ',')) types.push_back(std::atoi(item.c_str()));
  }
  const size_t used = m.eight ? 8 : 4;
  for (size_t n = 0; n < used && n < types.size(); ++n) m.slots[n] = Fresh(types[n]);
  return m;
}

void Save(const Modules& m, const Options& o) {
  const std::string path = IoStatePath(o);
  if (path.empty()) return;
  std::ofstream out(path, std::ios::trunc);
  out << "node " << m.node << "\nslots " << (m.eight ? 8 : 4) << '\n';
  for (const Module& s : m.slots) {
    out << s.type << ' ' << s.count;
    for (int r : s.ranges) out << ' ' << r;
    out << '\n';
  }
}

void Load(Modules& m, const Options& o) {
  m = StartingModules(o);
  m.loaded = true;
  std::ifstream in(IoStatePath(o));
  if (!in) return;
  Modules stored;
  std::string word;
  int slots = 8;
  if (!(in >> word >> stored.node) || word != "node" || !(in >> word >> slots) || word != "slots") return;
  stored.eight = slots == 8;
  for (Module& s : stored.slots) {
    if (!(in >> s.type >> s.count)) return;
    for (int& r : s.ranges)
      if (!(in >> r)) return;
  }
  stored.loaded = true;
  m = stored;
}

std::string Format(const char* format, int a, int b = 0, int c = 0) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, a, b, c);
  return buf;
}

// The slot table in the tool's text, one entry a line.
std::vector<std::string> Printout(const Modules& m) {
  std::vector<std::string> lines{Format("@VORN7730MIOCFG-START %03d -1 -1", m.node)};
  for (int n = 0; n < 8; ++n) {
    const Module& s = m.slots[n];
    lines.push_back(s.type == 99 ? Format("@SLOT%d 99 -1 -1", n) : Format("@SLOT%d %02d %02d -1", n, s.type, s.count));
    if (Ranged(s.type))
      for (int j = 0; j < s.count && j < 8; ++j) lines.push_back(Format("%d %02d -1 -1", j, s.ranges[j]));
    lines.push_back(Format("@SLOT%d -1 -1 -1", n));
  }
  lines.push_back("@VORN7730MIOCFG-END -1 -1 -1");
  return lines;
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  std::string w;
  while (in >> w) words.push_back(w);
  return words;
}

bool Number(const std::string& word, int* value) {
  char* end = nullptr;
  long v = std::strtol(word.c_str(), &end, 10);
  if (word.empty() || *end != '\0') return false;
  *value = static_cast<int>(v);
  return true;
}

// One slot block of an uploaded file.
struct FileSlot {
  int type = 99;
  std::vector<std::pair<int, int>> channels;  // channel, range code
};

// The uploaded text: header, eight slot blocks in order, trailer. XMODEM fill
// bytes and CRs are dropped. False for anything else.
bool ParseUpload(const std::string& raw, std::array<FileSlot, 8>* out) {
  std::vector<std::vector<std::string>> lines;
  std::string line;
  for (char c : raw + "\n") {
    if (c == '\0' || c == '\r' || c == 0x1A) continue;
    if (c != '\n') {
      line += c;
      continue;
    }
    auto w = Words(line);
    if (!w.empty()) lines.push_back(w);
    line.clear();
  }
  size_t i = 0;
  auto next = [&]() -> const std::vector<std::string>* { return i < lines.size() ? &lines[i++] : nullptr; };
  auto* header = next();
  if (!header || header->size() != 4 || (*header)[0] != "@VORN7730MIOCFG-START") return false;
  for (int n = 0; n < 8; ++n) {
    const std::string tag = "@SLOT" + std::to_string(n);
    auto* open = next();
    int type = 0;
    if (!open || open->size() != 4 || (*open)[0] != tag || !Number((*open)[1], &type)) return false;
    (*out)[n].type = type;
    for (;;) {
      auto* l = next();
      if (!l || l->size() != 4) return false;
      if ((*l)[0] == tag) break;  // the closing line
      int channel = 0, code = 0;
      if (!Number((*l)[0], &channel) || channel < 0 || channel > 7 || !Number((*l)[1], &code)) return false;
      (*out)[n].channels.push_back({channel, code});
    }
  }
  auto* trailer = next();
  return trailer && (*trailer)[0] == "@VORN7730MIOCFG-END" && i == lines.size();
}

void Apply(ProgramContext& ctx, Modules& m) {
  std::string raw;
  if (ctx.drive.ReadFile({"VORNIO.CFG"}, &raw) != FsError::None) {
    ctx.Line("CFGIO: cannot open D:\\VORNIO.CFG");
    return;
  }
  std::array<FileSlot, 8> file;
  if (!ParseUpload(raw, &file)) {
    ctx.Line("CFGIO: D:\\VORNIO.CFG is not a valid I/O configuration, nothing changed");
    return;
  }
  int changed = 0;
  for (int n = 0; n < 8; ++n) {
    Module& s = m.slots[n];
    if (!Ranged(s.type)) continue;
    if (file[n].type != s.type) {
      ctx.Line(Format("CFGIO: slot %d holds type %d, not %d: not changed", n, s.type, file[n].type));
      continue;
    }
    for (auto [channel, code] : file[n].channels)
      if (channel < s.count) s.ranges[channel] = code;
    ++changed;
  }
  Save(m, ctx.options());
  ctx.Line("CFGIO: I/O configuration applied to " + std::to_string(changed) + " module(s)");
}

void Run(ProgramContext& ctx, Modules& m) {
  if (!m.loaded) Load(m, ctx.options());
  const std::vector<std::string> args = Words(ctx.args);
  if (args.size() == 2 && args[0] == "1" && args[1] == "1") {
    ctx.Line("@NUMBEROFSLOT " + std::to_string(m.eight ? 8 : 4));
    ctx.Line("@SLOT " + std::to_string(m.eight ? 8 : 4));
  } else if (args.size() == 1 && args[0] == "1") {
    std::vector<std::string> lines = Printout(m);
    // Cut off in the middle of slot 0's block, before any trailer.
    if (ctx.options().cfgioCutOff) lines.resize(std::min<size_t>(lines.size(), 6));
    for (const std::string& l : lines) ctx.Line(l);
  } else if (args.empty()) {
    Apply(ctx, m);
  } else {
    ctx.Line("usage: CFGIO [1 [1]]");
  }
}

}  // namespace

std::string IoStatePath(const Options& options) {
  return options.driveFile.empty() ? std::string() : options.driveFile + ".io";
}

void AddCfgioProgram(ProgramTable* table, const Options& options) {
  auto modules = std::make_shared<Modules>();
  table->Add({"CFGIO.EXE", options.cfgioOnDriveD ? ProgramHome::DriveD : ProgramHome::DriveC, 21430,
              MakeStamp(2002, 4, 9, 10, 15), [modules](ProgramContext& ctx) { Run(ctx, *modules); }});
}

void InstallCfgio(Drive& drive, const Options& options) {
  if (!options.cfgioOnDriveD || drive.Stat({"CFGIO.EXE"}, nullptr) == FsError::None) return;
  std::string image(21430, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  drive.WriteFile({"CFGIO.EXE"}, image, MakeStamp(2002, 4, 9, 10, 15));
}

}  // namespace vsim
