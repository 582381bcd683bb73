#pragma once
// The network configuration's runs without a window: write a settings file
// and upload it into the controller's configuration folder, and rebuild the
// controller's drive D: from the installation's default files. The dialog and
// the command-line tool drive the same object; only the upload differs.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/ui.h"
#include "netconf/address_check.h"
#include "netconf/net_files.h"
#include "platform/host.h"

namespace vorn::netconf {

// Uploads one host file into a controller folder (ending with a backslash)
// under its own name; shows its own failure message. True on success.
using Uploader = std::function<bool(const std::string& targetDir, const std::string& hostPath)>;
// Types one command line (ending with CR) with a time-out and a prompt limit;
// the lines it printed go to printed when that is given.
using InitCommandRunner = std::function<bool(const std::string& command, uint32_t timeoutMs, uint32_t promptLimitMs,
                                             std::vector<std::string>* printed)>;
using FolderLocator = std::function<platform::CompanionFolders()>;

struct ServerChoice {
  bool httpFtp = false;
  bool ftp = false;
  bool http = false;
};

inline constexpr const char* kFormatQuestion =
    "WARNING!!!WARNING!!!!\nThis action will format the D drive on VORN-7730.\n"
    "All the data on that drive will be erased.\nAre you sure?";
inline constexpr const char* kUpdatedText = "Update Successfully!";
inline constexpr const char* kInitDoneText = "System initial Successfully!";
inline constexpr const char* kInitFailedText = "System Initial fail! Please reboot Vorn-7730 and try again!";
inline constexpr const char* kInitNotStartedHeading =
    "System initialisation was not started: drive D: of the VORN-7730 is unchanged.";
// Files of the installation that cannot be sent keep the run from starting.
inline constexpr const char* kInitNotStartedText =
    "System initialisation was not started: drive D: of the VORN-7730 is unchanged.\n\n"
    "These files of the installation cannot be sent:";

inline constexpr const char* kDefaultsOptionAdvice =
    "Give the folder that holds the real files, laid out as the installation's Source folder "
    "(Drive_D\\Default_files\\..., Drive_D\\Extension_files\\WebRoot\\...), with --defaults DIR, ";

// A path below a companion folder given with backslashes, in the host's form.
std::string HostSubPath(const std::string& backslashPath);

class NetConf {
 public:
  // folders defaults to the companion installation found through the host's
  // registry (or settings store).
  NetConf(Ui& ui, Uploader upload, InitCommandRunner runCommand, FolderLocator folders = {});

  AddressSettings Address;  // the validated texts persist between updates
  std::string FTPUserLine;
  std::string HTTPUserLine;
  std::string ProgramFolder;  // where the settings files are written
  std::string SourceFolder;   // the default files
  bool TransferOk = false;
  bool InitRunning = false;
  // Where the real default files can come from, said when stand-ins among
  // them are refused for a controller that is not the virtual one.
  std::string DefaultFilesAdvice = kDefaultsOptionAdvice;

  void RefreshFolders();
  // Write the file into ProgramFolder; an error box names it when it can't.
  bool WriteSocketCfg();
  bool WriteSocketUpw();
  // "Update Successfully!" after a good upload, except during the initialisation.
  bool UploadToController(const std::string& targetDir, const std::string& hostPath);

  // Validate, write and upload; nothing is sent unless the file was written.
  bool UpdateAddress(const AddressInput& input);
  bool UpdateUsers(const UserInput& input);
  // Format D:, make its folders and upload the default files and the chosen
  // servers. The caller has asked the format question.
  bool SystemInit(const ServerChoice& servers);
  // The address the installation's default SOCKET.CFG sets: where the
  // initialisation leaves the controller. Empty when it cannot be read.
  std::string DefaultAddress();
  // The format question, telling that the network settings go back to the
  // defaults too.
  std::string SystemInitQuestion();

 private:
  bool WriteSettingsFile(const char* name, const std::string& text, bool ownerOnly);
  bool WriteAndUpload(const char* name, bool written);

  Ui& ui_;
  Uploader upload_;
  InitCommandRunner runCommand_;
  FolderLocator folders_;
};

// One command of the initialisation, as the standard exchange with CR as the
// line end, the given time-out and its own limit for the prompt wait. Shows
// its failure in an error box.
bool RunInitCommand(Exchange& link, const std::string& command, uint32_t timeoutMs, uint32_t promptLimitMs,
                    std::vector<std::string>* printed = nullptr);

// Uploads through the port without a window (command line, tests): the same
// sender as the transfer dialog, messages through the exchange's Ui.
Uploader PortUploader(Exchange& link);
InitCommandRunner PortCommandRunner(Exchange& link);

// The controller's D:\CONF\SOCKET.CFG, printed with `type` through the
// exchange's port with its usual time-outs. No box is shown: on failure
// settings is empty and reason says why in one line.
struct ControllerSocketCfg {
  std::optional<AddressSettings> settings;
  std::string reason;
};
ControllerSocketCfg ReadControllerSocketCfg(Exchange& link);

}  // namespace vorn::netconf
