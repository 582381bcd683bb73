// The controller's command shell: line editing, echo, built-in commands, program start.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sim/drive.h"
#include "sim/virtual_controller.h"

namespace vsim {

class Console;
class ProgramTable;

class Shell {
 public:
  Shell(Console& console, Drive& drive, const ProgramTable& programs,
        std::function<Options()> options);

  // Serves the console until it is stopped.
  void Run();
  // Called after every command line (the owner saves the drive file there).
  void SetAfterCommand(std::function<void()> f) { afterCommand_ = std::move(f); }

  // Runs one command line; prints its output but not the prompt.
  void Execute(const std::string& line, int depth = 0);
  std::string Prompt() const;

  char CurrentDrive() const;
  std::string CurrentDirText() const;  // "D:\\TEMP", "D:\\", "C:\\"
  void ResetDriveD();                  // D: back to its root (after a format or a new image)

  // "X:\\A\\B", "\\A\\B", "A\\B", "..", "." relative to the drive's current directory.
  // False for an unknown drive or a component that is not an 8.3 name.
  bool ResolvePath(const std::string& text, char* drive, DrivePath* out) const;
  static std::string PathText(char drive, const DrivePath& path);

  // Either drive: C: is the read-only tool drive, D: the Drive.
  FsError StatAny(char drive, const DrivePath& path, DirEntry* out) const;
  FsError ListAny(char drive, const DrivePath& dir, std::vector<DirEntry>* out) const;
  uint32_t FreeBytes(char drive) const;

 private:
  void HandleByte(uint8_t b);
  void Echo(uint8_t b, const Options& o);
  void Out(const std::string& s);
  void Line(const std::string& s);
  DrivePath Cwd(char drive) const;

  void ChangeDrive(char letter);
  void CmdCd(const std::string& arg);
  void CmdDir(const std::string& arg);
  void CmdDel(const std::string& arg);
  void CmdRd(const std::string& arg);
  void CmdMd(const std::string& arg);
  void CmdRen(const std::string& arg);
  void CmdEcho(const std::string& rest);
  void CmdType(const std::string& arg);
  void RunProgram(const std::string& line, int depth);
  void RunBatch(const std::string& content, int depth);

  void DirHeader(char drive);
  void DirBlock(char drive, const DrivePath& dir, const std::vector<DirEntry>& entries,
                uint32_t* files, uint64_t* bytes, uint32_t* dirs);

  Console& con_;
  Drive& drive_;
  const ProgramTable& programs_;
  std::function<Options()> options_;
  std::function<void()> afterCommand_;
  uint64_t linesPrinted_ = 0;  // for the pauses between lines

  mutable std::mutex stateMu_;  // the current drive and directory are read by other threads
  char curDrive_ = 'D';
  DrivePath cwdD_;

  std::string line_;
  int escState_ = 0;  // 0 none, 1 after ESC, 2 inside ESC [ or ESC O
};

// Helpers shared by the shell and the programs.
std::string Thousands(uint64_t n);
std::string Trim(const std::string& s);
std::string Upper(std::string s);
std::string Lower(std::string s);
// One line of a "dir" listing, 43 characters, without line end.
std::string DirLine(const DirEntry& e);

}  // namespace vsim
