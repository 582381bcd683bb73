// Programs that the shell starts by name, each with the raw console stream to itself.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sim/drive.h"
#include "sim/virtual_controller.h"

namespace vsim {

class Console;
class Shell;

// A program runs on the console thread and owns the line until it returns; the shell
// then prints its prompt. Binary protocols use console.Read/ReadByte with their own
// time-outs and console.Write; they should return promptly once console.Stopping().
struct ProgramContext {
  Console& console;    // raw bytes with time-outs; the shell echoes nothing while a program runs
  Drive& drive;        // drive D:
  Shell& shell;        // current drive and directory, path resolution
  std::string name;    // as found, e.g. "TRANSFER.EXE"
  std::string args;    // the rest of the command line, outer blanks removed
  std::function<Options()> options;  // live options (they may change while the program runs)

  void Print(const std::string& text);  // text as is
  void Line(const std::string& text);   // text + CR LF
};

using ProgramFn = std::function<void(ProgramContext&)>;

// Where a program's file lives. Tools of drive C: are part of the controller and are
// listed there. A drive D: program runs only when the host has put its file on D:
// (the image programs are uploaded before they are started).
enum class ProgramHome { DriveC, DriveD };

struct Program {
  std::string name;  // 8.3 file name, upper case, e.g. "TRANSFER.EXE"
  ProgramHome home = ProgramHome::DriveC;
  uint32_t size = 0;  // as listed on C:
  DosStamp stamp;     // as listed on C:
  ProgramFn run;
};

class ProgramTable {
 public:
  void Add(Program p);  // replaces a program of the same name and home
  // By base name ("TRANSFER") or full name ("TRANSFER.EXE"), case-insensitive.
  const Program* Find(const std::string& name, ProgramHome home) const;
  std::vector<const Program*> OnDriveC() const;  // in name order

 private:
  std::map<std::string, Program> byName_;  // key: home letter + full name
};

// MEM, DLFMT and TRANSFER on drive C:.
void AddStandardPrograms(ProgramTable* table);

// KAPRINRD.EXE and KAPRINWR.EXE, run from D: once the host has put them there.
void AddImagePrograms(ProgramTable* table);

// A tiny DOS program that prints one "$"-ended text and exits, as the stand-ins
// the utility ships are: prints the text and returns true; false for any other image.
bool RunStandIn(ProgramContext& ctx, const std::string& image);

// Any other program file on D:: prints that it ran.
void RunGenericProgram(ProgramContext& ctx);

// C:\TRANSFER /R <path>: the XMODEM (checksum) receiver.
void RunTransfer(ProgramContext& ctx);

}  // namespace vsim
