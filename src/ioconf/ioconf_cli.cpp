#include "ioconf/ioconf_cli.h"

#include <filesystem>
#include <ostream>
#include <random>

#include "ioconf/ioconf_run.h"
#include "ioconf/module_catalogue.h"
#include "platform/host.h"
#include "platform/input_file.h"

namespace vorn {

namespace {

// A range code the slot's module does not take would be applied as it is:
// refused here, naming the slot and the channel. Empty when all are known.
std::string RangeProblem(const IOConfig& config) {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const IOSlot& s = config.Slots[slot];
    const ModuleKind& kind = ModuleKindOf(s.Type);
    if (kind.Ranges.empty()) continue;
    for (int ch = 0; ch < kChannelCount; ++ch) {
      const int32_t code = s.Range[ch];
      if (code == -1 || RangePosition(kind.Ranges, code) >= 0) continue;
      return "slot " + std::to_string(slot) + " channel " + std::to_string(ch) + " has range code " +
             std::to_string(code) + ", which its module (" + std::string(kind.Description) + ") does not take";
    }
  }
  return {};
}

// Why a configuration file cannot be written at path, checked before the
// controller is asked: its folder must be there. Empty when it may be.
std::string FolderProblem(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path file(std::u8string(path.begin(), path.end()));
  const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  if (std::filesystem::is_directory(folder, ec)) return {};
  const std::u8string shown = folder.u8string();
  return "the folder '" + std::string(shown.begin(), shown.end()) + "' does not exist";
}

int Get(Exchange& exchange, const std::vector<std::string>& args, std::ostream& out) {
  // Checked before the port opens: opening a FIFO for writing waits for a reader.
  if (!args.empty()) {
    if (const std::string kind = platform::NonRegularKind(args[0]); !kind.empty()) {
      exchange.UserInterface().Error("ioconf get: '" + args[0] + "' is a " + kind + ", not a regular file");
      return 1;
    }
    if (const std::string problem = FolderProblem(args[0]); !problem.empty()) {
      exchange.UserInterface().Error("ioconf get: '" + args[0] + "' cannot be written: " + problem);
      return 1;
    }
  }
  SilentPane pane;
  Exchange quiet(pane, exchange.Cursor(), exchange.UserInterface(), exchange.Factory());
  quiet.ComName = exchange.ComName;
  DirectInvoker gui;
  IOConfRun run(quiet, gui, args.empty() ? std::string() : args[0]);
  run.Probe();
  IOConfig config;
  config.EightSlots = run.EightSlots;
  if (!run.Read(config)) {
    exchange.UserInterface().Error(run.ErrorMessage);
    return 1;
  }
  if (args.empty()) {
    out << IOConfigText(config) << std::flush;
    return out ? 0 : 1;  // the caller reports a failed standard output
  }
  if (!CreateIOConfig(config, args[0])) {
    exchange.UserInterface().Error("Failed to create configuration! '" + args[0] +
                                   "' could not be written whole (no permission, or the disk is full)");
    return 1;
  }
  return 0;
}

// A file of this run's own in the host's temporary folder; empty when none
// could be made. The name is new, so no file of anyone else is replaced.
std::string WriteTemporaryConfig(const IOConfig& config) {
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
  if (ec) return {};
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::filesystem::path path = folder / ("vorn7730-ioconf-" + std::to_string(random()) + ".cfg");
    if (std::filesystem::exists(path, ec) || ec) continue;
    const std::u8string name = path.u8string();
    const std::string utf8(name.begin(), name.end());
    if (CreateIOConfig(config, utf8)) return utf8;
    std::filesystem::remove(path, ec);
    return {};
  }
  return {};
}

int Set(Exchange& exchange, const std::string& file) {
  Ui& ui = exchange.UserInterface();
  // All checks come before the port opens: a file that cannot be applied must
  // not leave the controller half-way.
  std::string text;
  if (const std::string problem = platform::ReadInputFile(file, kIOConfigFileLimit, text); !problem.empty()) {
    ui.Error("ioconf set: " + problem);
    return 1;
  }
  IOConfig config;
  if (const std::string problem = ParseIOConfigFile(text, config); !problem.empty()) {
    ui.Error("ioconf set: '" + file + "' holds no I/O configuration as this utility writes it: " + problem);
    return 1;
  }
  if (const std::string problem = RangeProblem(config); !problem.empty()) {
    ui.Error("ioconf set: '" + file + "': " + problem);
    return 1;
  }
  // The controller gets the configuration as the utility writes it, not the
  // given bytes: what was checked is what is uploaded.
  const std::string upload = WriteTemporaryConfig(config);
  if (upload.empty()) {
    ui.Error("Failed to create configuration! No file could be written in the host's temporary folder");
    return 1;
  }
  DirectInvoker gui;
  IOConfRun run(exchange, gui, upload);
  run.CheckAnswer = true;
  run.Probe();
  const bool applied = run.Upload(upload) && run.Apply();
  std::error_code ec;
  std::filesystem::remove(std::filesystem::path(std::u8string(upload.begin(), upload.end())), ec);
  return applied ? 0 : 1;
}

}  // namespace

int IOConfCommand(Exchange& exchange, const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (!args.empty() && args[0] == "get" && args.size() <= 2 && (args.size() == 1 || !args[1].empty()))
    return Get(exchange, {args.begin() + 1, args.end()}, out);
  if (args.size() == 2 && args[0] == "set" && !args[1].empty()) return Set(exchange, args[1]);
  err << "ioconf needs \"get [FILE]\" or \"set FILE\"\n";
  return 2;
}

}  // namespace vorn
