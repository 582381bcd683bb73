// The I/O configuration from both sides: the file a user hands to
// "ioconf set", the printout of "cfgio 1" (as text and read off the line),
// and the tool's answer when it applies a file.
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_line.h"
#include "ioconf/io_config.h"
#include "ioconf/ioconf_run.h"
#include "link/gui_invoker.h"

namespace {

// What is taken as a configuration goes back to the controller as the writer
// writes it; the file reader must then accept it unchanged, or the user's
// check and the controller's input differ.
void CheckWrittenBack(const vorn::IOConfig& config) {
  vorn::IOConfig again;
  const std::string text = vorn::IOConfigText(config);
  FUZZ_CHECK(vorn::ParseIOConfigFile(text, again).empty());
  FUZZ_CHECK(vorn::IOConfigText(again) == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorn;
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (mode % 4) {
    case 0: {
      IOConfig config;
      if (ParseIOConfigFile(text, config).empty()) CheckWrittenBack(config);
      break;
    }
    case 1: {
      IOConfig config;
      IOConfigReader reader(config);
      reader.Text(text);
      if (reader.Complete()) CheckWrittenBack(config);
      break;
    }
    default: {
      auto line = std::make_shared<fuzz::Line>();
      line->echo = mode & 8 ? fuzz::Line::Echo::None : fuzz::Line::Echo::All;
      line->pending = fuzz::DecodeStream(data + 1, size - 1);
      fuzz::Session s(line);
      DirectInvoker gui;
      IOConfRun run(s.exchange, gui, "");
      run.UseD = mode & 16;
      if (mode % 4 == 2) {
        IOConfig config;
        if (run.Read(config)) CheckWrittenBack(config);
      } else {
        run.CheckAnswer = true;
        // A refused or cut answer is never taken for an applied configuration.
        FUZZ_CHECK(run.Apply() || !s.ui.errors.empty());
      }
      break;
    }
  }
  return 0;
}
