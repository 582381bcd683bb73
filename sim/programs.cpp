#include "sim/programs.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "sim/console.h"
#include "sim/shell.h"

namespace vsim {

void ProgramContext::Print(const std::string& text) { console.Write(text); }
void ProgramContext::Line(const std::string& text) { console.Write(text + "\r\n"); }

namespace {

std::string Key(ProgramHome home, const std::string& fullName) {
  return std::string(home == ProgramHome::DriveC ? "C" : "D") + fullName;
}

void RunMem(ProgramContext& ctx) {
  static const char* const kReport[] = {
      "",
      "Memory Type        Total  =   Used  +   Free",
      "----------------  -------   -------   -------",
      "Conventional         640K       97K      543K",
      "Upper                  0K        0K        0K",
      "Reserved             384K      384K        0K",
      "Extended (XMS)         0K        0K        0K",
      "----------------  -------   -------   -------",
      "Total memory        1024K      481K      543K",
      "",
      "Largest executable program size     543K (556,032 bytes)",
  };
  for (const char* l : kReport) ctx.Line(l);
}

void RunFormat(ProgramContext& ctx) {
  std::string drive;
  bool confirmed = false;
  std::string args = ctx.args;
  for (size_t i = 0; i < args.size();) {
    if (args[i] == ' ' || args[i] == '\t') {
      ++i;
      continue;
    }
    size_t j = args.find_first_of(" \t", i);
    if (j == std::string::npos) j = args.size();
    std::string word = Upper(args.substr(i, j - i));
    i = j;
    // Switches may follow the drive without a blank ("D:/C").
    size_t slash = word.find('/');
    while (slash != std::string::npos) {
      std::string sw = word.substr(slash + 1, word.find('/', slash + 1) - slash - 1);
      if (sw == "C") confirmed = true;
      word.erase(slash, sw.size() + 1);
      slash = word.find('/');
    }
    if (!word.empty() && drive.empty()) drive = word;
  }
  if (drive.empty()) {
    ctx.Line("Required parameter missing");
    return;
  }
  if (drive == "C:") {
    ctx.Line("Drive C is read-only and cannot be formatted");
    return;
  }
  if (drive != "D:") {
    ctx.Line("Invalid drive");
    return;
  }
  if (!confirmed) {
    ctx.Line("ALL DATA ON DRIVE D WILL BE LOST!");
    ctx.Print("Proceed with Format (Y/N)?");
    uint8_t answer = 0;
    // A person may take a while; a host that never answers gets its prompt back.
    ctx.console.ReadByte(&answer, 60000);
    if (answer >= 32 && answer < 127) ctx.console.WriteByte(answer);
    ctx.Line("");
    if (answer != 'Y' && answer != 'y') return;
  }
  ctx.Line("Formatting 1,024K");
  for (int pct = 10; pct <= 100; pct += 10) {
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    if (ctx.console.Stopping()) return;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%3d percent completed.", pct);
    ctx.Print(std::string(buf) + "\r");  // progress overwrites itself on a terminal
  }
  std::string label = ctx.drive.Label();
  ctx.drive.Format(label.empty() ? "VORN7730" : label);
  ctx.shell.ResetDriveD();
  ctx.Line("");
  ctx.Line("Format complete.");
  ctx.Line(Thousands(ctx.drive.BytesFree()) + " bytes available on disk");
}

}  // namespace

void ProgramTable::Add(Program p) {
  std::string key = Key(p.home, p.name);
  byName_[key] = std::move(p);
}

const Program* ProgramTable::Find(const std::string& name, ProgramHome home) const {
  std::string n = Upper(name);
  if (n.find('.') != std::string::npos) {
    auto it = byName_.find(Key(home, n));
    return it == byName_.end() ? nullptr : &it->second;
  }
  for (const auto& [key, prog] : byName_) {
    std::string base, ext;
    SplitName(prog.name, &base, &ext);
    if (prog.home == home && base == n) return &prog;
  }
  return nullptr;
}

std::vector<const Program*> ProgramTable::OnDriveC() const {
  std::vector<const Program*> out;
  for (const auto& [key, prog] : byName_)
    if (prog.home == ProgramHome::DriveC) out.push_back(&prog);
  return out;
}

void AddStandardPrograms(ProgramTable* table) {
  table->Add({"MEM.EXE", ProgramHome::DriveC, 32150, MakeStamp(1998, 3, 2, 9, 0), RunMem});
  table->Add({"DLFMT.EXE", ProgramHome::DriveC, 18762, MakeStamp(2001, 6, 18, 14, 30), RunFormat});
  table->Add({"TRANSFER.EXE", ProgramHome::DriveC, 24876, MakeStamp(2001, 6, 18, 14, 32), RunTransfer});
  AddImagePrograms(table);
}

bool RunStandIn(ProgramContext& ctx, const std::string& image) {
  // mov dx,010Ch / mov ah,09h / int 21h / mov ax,4C00h / int 21h, the text after it.
  static const std::string kCode("\xBA\x0C\x01\xB4\x09\xCD\x21\xB8\x00\x4C\xCD\x21", 12);
  const size_t end = image.find('$', kCode.size());
  if (image.compare(0, kCode.size(), kCode) != 0 || end == std::string::npos) return false;
  ctx.Print(image.substr(kCode.size(), end - kCode.size()));
  return true;
}

void RunGenericProgram(ProgramContext& ctx) {
  ctx.Line(ctx.name + " started" + (ctx.args.empty() ? "" : " with arguments: " + ctx.args));
  ctx.Line(ctx.name + " ended normally");
}

}  // namespace vsim
