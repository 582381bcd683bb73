// The controller's I/O modules and their device tool CFGIO.
#pragma once

#include <string>

#include "sim/drive.h"
#include "sim/programs.h"

namespace vsim {

// Registers CFGIO.EXE on drive C:, or on D: alone when options ask for it.
// The modules start from options (ioModules, fourSlots) and are kept in the
// file IoStatePath names, so they survive a restart.
void AddCfgioProgram(ProgramTable* table, const Options& options);
// Puts the tool's file on D: when it lives there; call once the drive is loaded.
void InstallCfgio(Drive& drive, const Options& options);
// driveFile + ".io"; empty without a drive file.
std::string IoStatePath(const Options& options);

}  // namespace vsim
