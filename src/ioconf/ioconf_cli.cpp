#include "ioconf/ioconf_cli.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

#include "ioconf/ioconf_run.h"

namespace vorn {

namespace {

int Get(Exchange& exchange, const std::vector<std::string>& args, std::ostream& out) {
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
    return 0;
  }
  if (!CreateIOConfig(config, args[0])) {
    exchange.UserInterface().Error("Failed to create configuration!");
    return 1;
  }
  return 0;
}

int Set(Exchange& exchange, const std::string& file) {
  std::ifstream in(std::filesystem::path(std::u8string(file.begin(), file.end())), std::ios::binary);
  if (!in) {
    exchange.UserInterface().Error("Unable to read '" + file + "'");
    return 1;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  IOConfig config;
  IOConfigReader reader(config);
  reader.Text(text);
  if (!reader.Complete()) {
    exchange.UserInterface().Error("'" + file +
                                   "' holds no I/O configuration (its header or trailer line is missing)");
    return 1;
  }
  DirectInvoker gui;
  IOConfRun run(exchange, gui, file);
  run.Probe();
  if (!run.Upload(file)) return 1;
  return run.Apply() ? 0 : 1;
}

}  // namespace

int IOConfCommand(Exchange& exchange, const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (!args.empty() && args[0] == "get" && args.size() <= 2)
    return Get(exchange, {args.begin() + 1, args.end()}, out);
  if (args.size() == 2 && args[0] == "set" && !args[1].empty()) return Set(exchange, args[1]);
  err << "ioconf needs \"get [FILE]\" or \"set FILE\"\n";
  return 2;
}

}  // namespace vorn
