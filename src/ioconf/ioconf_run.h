#pragma once
// One configuration run against the controller's device tool cfgio: find it
// and the slot count, read the configuration, let the user edit it, write the
// local file, upload it and have the controller apply it.
#include <cstdint>
#include <functional>
#include <string>

#include "ioconf/io_config.h"
#include "link/exchange.h"
#include "link/gui_invoker.h"

namespace vorn {

// The dialog as the run sees it: true when the user pressed OK, with the
// chosen ranges stored in config; config untouched otherwise.
class IOConfEditor {
 public:
  virtual ~IOConfEditor() = default;
  virtual bool Edit(IOConfig& config) = 0;
};

enum class IOConfOutcome {
  Applied,    // uploaded and the apply command ran
  Cancelled,  // the user left the dialog with Cancel
  Failed,     // a failure was shown through the exchange's Ui
};

// The controller file the configuration goes to; deleted after it is applied.
inline constexpr char kDeviceConfigPath[] = "D:\\vornio.cfg";
// Whether a line the device tool prints while applying says that it refused
// the file or part of it.
bool RefusesConfiguration(const std::string& line);

// Shown when the read printed no whole configuration.
inline constexpr char kReadFailureText[] = "Unable to read the I/O configuration!";

class IOConfRun {
 public:
  // Boxes, the pane, the cursor, the port factory and ComName come from exchange.
  IOConfRun(Exchange& exchange, GuiInvoker& gui, std::string configPath);

  // The read time-out of the probe, the read and the apply; the output of each
  // ends after about twice this of silence.
  uint32_t TimeoutMs = 1000;
  // The apply fails also when the tool's answer refuses the file or does not
  // end at the prompt: a script cannot look at the answer as a user does.
  bool CheckAnswer = false;
  // Lets the GUI run its events while the upload thread works.
  std::function<void()> ProcessEvents;

  // Set by Probe.
  bool UseD = false;
  bool EightSlots = false;
  // The last failure of the probe or the read.
  std::string ErrorMessage;
  // Set when the controller went away during the probe or the read.
  std::string LineLost;

  // The whole run.
  IOConfOutcome Run(IOConfEditor& editor);

  // Finds the drive that holds the tool and the slot count. A failed probe
  // leaves drive C: and four slots; it shows nothing.
  void Probe();
  // Reads the printout into config; false (with ErrorMessage set, not shown)
  // when the port, the command or the printout failed.
  bool Read(IOConfig& config);
  // Uploads a host file to the device copy; shows its own failures.
  bool Upload(const std::string& sourcePath);
  // Applies the device copy, then deletes it whatever the apply did. True when
  // both commands ran without failure (their failures are shown) and, with
  // CheckAnswer, the answer was whole and refused nothing.
  bool Apply();

  const std::string& ConfigPath() const { return configPath_; }

 private:
  std::string ToolCommand(const std::string& args) const;
  bool RunCommand(const std::string& line);

  Exchange& exchange_;
  bool probed_ = false;  // the port opened for the probe
  GuiInvoker& gui_;
  std::string configPath_;
};

}  // namespace vorn
