#include "netconf/net_conf.h"

#include <fstream>
#include <memory>
#include <utility>

#include "link/controller_identity.h"
#include "link/gui_invoker.h"
#include "link/line_wait.h"
#include "link/prompt_reader.h"
#include "platform/input_file.h"
#include "remote/remote_listing.h"
#include "transfer/upload_loop.h"

namespace vorn::netconf {

namespace {

constexpr size_t kLineLimit = 1024;

struct InitStep {
  const char* command;
  uint32_t timeoutMs;
  uint32_t promptLimitMs;
};
// The format tool prints for a while; the other commands answer at once.
constexpr InitStep kInitSteps[] = {
    {"C:\\DLFMT D: /C\r", 1000, 1000}, {"D:\r", 100, 100},    {"mkdir conf\r", 100, 100},
    {"mkdir WebRoot\r", 100, 100},     {"dir\r", 100, 100},
};

struct DefaultFile {
  const char* source;  // below SourceFolder
  const char* target;
};
constexpr DefaultFile kDefaultFiles[] = {
    {"Drive_D\\Default_files\\CONF\\SOCKET.UPW", "D:\\CONF\\"},
    {"Drive_D\\Default_files\\CONF\\SOCKET.CFG", "D:\\CONF\\"},
    {"Drive_D\\Default_files\\autorun.bat", "D:\\"},
    {"Drive_D\\Default_files\\AX8796.COM", "D:\\"},
    {"Drive_D\\Default_files\\CFGIO.EXE", "D:\\"},
    {"Drive_D\\Default_files\\SOCKETP.EXE", "D:\\"},
};

// Empty when the listing shows the root as the steps leave it: the two new
// folders and nothing else; otherwise what is wrong with it. Lines as the
// init commands read them, ended by CR.
std::string FreshRootRefusal(const std::vector<std::string>& printed) {
  bool conf = false, webRoot = false;
  std::string left;
  for (std::string line : printed) {
    while (!line.empty() && (line.front() == '\n' || line.front() == '\r')) line.erase(0, 1);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const DirLine d = ParseDirLine(line + "\r\n");
    if (d.kind != DirLine::Kind::Entry) continue;
    const std::string name = UpperName(d.entry.Name);
    if (d.entry.IsDirectory && name == "CONF") conf = true;
    else if (d.entry.IsDirectory && name == "WEBROOT") webRoot = true;
    else left += (left.empty() ? "" : ", ") + d.entry.Name;
  }
  if (!left.empty()) return "Drive D: was not formatted: it still holds " + left + ".";
  if (!conf || !webRoot) return std::string("The folder ") + (conf ? "WebRoot" : "conf") + " was not made on drive D:.";
  return {};
}

constexpr const char* kWebRoot = "D:\\WebRoot\\";

}  // namespace

std::string HostSubPath(const std::string& backslashPath) {
  std::string path = backslashPath;
  for (char& c : path)
    if (c == '\\') c = platform::PathSeparator();
  return path;
}

NetConf::NetConf(Ui& ui, Uploader upload, InitCommandRunner runCommand, FolderLocator folders)
    : ui_(ui), upload_(std::move(upload)), runCommand_(std::move(runCommand)), folders_(std::move(folders)) {
  if (!folders_) folders_ = [] { return platform::LocateCompanionFolders(platform::HostRegistry()); };
}

void NetConf::RefreshFolders() {
  const platform::CompanionFolders found = folders_();
  ProgramFolder = found.program;
  SourceFolder = found.source;
}

bool NetConf::WriteSettingsFile(const char* name, const std::string& text, bool ownerOnly) {
  RefreshFolders();
  const std::string path = ProgramFolder + name;
  // Opening a FIFO for writing waits for a reader that may never come.
  if (const std::string kind = platform::NonRegularKind(path); !kind.empty()) {
    ui_.Error(WriteFailureText(path) + "\n\n" + path + " is a " + kind + ", not a regular file.");
    return false;
  }
  if (WriteCrLfFile(path, text, ownerOnly)) return true;
  ui_.Error(WriteFailureText(path));
  return false;
}

bool NetConf::WriteSocketCfg() { return WriteSettingsFile(kSocketCfg, SocketCfgText(Address), false); }

bool NetConf::WriteSocketUpw() {
  return WriteSettingsFile(kSocketUpw, SocketUpwText(FTPUserLine, HTTPUserLine), true);
}

bool NetConf::UploadToController(const std::string& targetDir, const std::string& hostPath) {
  TransferOk = true;
  if (!upload_ || !upload_(targetDir, hostPath)) TransferOk = false;
  if (TransferOk && !InitRunning) ui_.Information(kUpdatedText);
  return TransferOk;
}

bool NetConf::WriteAndUpload(const char* name, bool written) {
  // A file that was not written must not be replaced by an older one lying there.
  if (!written) return false;
  RefreshFolders();
  return UploadToController(kConfFolder, ProgramFolder + name);
}

bool NetConf::UpdateAddress(const AddressInput& input) {
  if (!ValidateAddresses(input, Address, ui_)) return false;
  return WriteAndUpload(kSocketCfg, WriteSocketCfg());
}

bool NetConf::UpdateUsers(const UserInput& input) {
  if (!CheckUsers(input, ui_)) return false;
  FTPUserLine = FtpUserLine(input.ftpId, input.ftpPassword, FtpRightsLetters(input.ftpRights));
  HTTPUserLine = HttpUserLine(input.httpId, input.httpPassword, HttpRightsLetters(input.httpRights));
  return WriteAndUpload(kSocketUpw, WriteSocketUpw());
}

bool NetConf::SystemInit(const ServerChoice& servers) {
  RefreshFolders();
  const std::pair<bool, const char*> serverFiles[] = {
      {servers.httpFtp, "Drive_D\\Extension_files\\WebRoot\\httpftpd.exe"},
      {servers.ftp, "Drive_D\\Extension_files\\WebRoot\\ftpd.exe"},
      {servers.http, "Drive_D\\Extension_files\\WebRoot\\httpd.exe"},
  };
  // The run formats drive D: first: a file that cannot be sent afterwards
  // would leave the controller without it, so every one is checked before.
  std::string unusable;
  for (const DefaultFile& file : kDefaultFiles)
    if (const std::string why = platform::CheckInputFile(SourceFolder + HostSubPath(file.source)); !why.empty())
      unusable += "\n" + why;
  for (const auto& [chosen, source] : serverFiles)
    if (const std::string why = chosen ? platform::CheckInputFile(SourceFolder + HostSubPath(source)) : "";
        !why.empty())
      unusable += "\n" + why;
  if (!unusable.empty()) {
    ui_.Error(kInitNotStartedText + unusable);
    return false;
  }
  // The shipped stand-ins would leave a real controller without its network.
  std::vector<std::string> sent;
  for (const DefaultFile& file : kDefaultFiles) sent.push_back(SourceFolder + HostSubPath(file.source));
  for (const auto& [chosen, source] : serverFiles)
    if (chosen) sent.push_back(SourceFolder + HostSubPath(source));
  const IdentityQuery ask = [this](std::vector<std::string>& printed) {
    return runCommand_ && runCommand_(kIdentityQuery, 300, 300, &printed);
  };
  if (!StandInsMayGo(sent, ask, ui_, kInitNotStartedHeading, DefaultFilesAdvice + kCompanionAdvice)) return false;

  std::vector<std::string> printed;
  for (const InitStep& step : kInitSteps)
    if (!runCommand_ || !runCommand_(step.command, step.timeoutMs, step.promptLimitMs, &printed)) return false;
  // The steps end with a listing of the new root. A refused format or folder
  // would otherwise have the default files sent over the old drive and the
  // run reported as done.
  if (const std::string why = FreshRootRefusal(printed); !why.empty()) {
    ui_.Error(std::string(kInitFailedText) + "\n\n" + why);
    return false;
  }

  InitRunning = true;
  bool ok = true;
  for (const DefaultFile& file : kDefaultFiles) {
    if (!UploadToController(file.target, SourceFolder + HostSubPath(file.source))) {
      ok = false;
      break;
    }
  }
  if (ok) {
    // Each chosen server is sent even after another one failed.
    for (const auto& [chosen, source] : serverFiles)
      if (chosen && !UploadToController(kWebRoot, SourceFolder + HostSubPath(source))) ok = false;
  }
  if (ok)
    ui_.Information(kInitDoneText);
  else
    ui_.Error(kInitFailedText);
  InitRunning = false;
  return ok;
}

std::string NetConf::DefaultAddress() {
  RefreshFolders();
  // kDefaultFiles[1] is the default SOCKET.CFG.
  std::ifstream in(SourceFolder + HostSubPath(kDefaultFiles[1].source), std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; in && std::getline(in, line);) lines.push_back(line);
  const std::optional<AddressSettings> a = ParseSocketCfg(lines);
  return a ? a->IPText : std::string();
}

std::string NetConf::SystemInitQuestion() {
  // A user who has just updated the address would otherwise find the
  // controller back at the default one without having been told.
  const std::string address = DefaultAddress();
  std::string defaults = "The network settings return to the defaults";
  if (address == kDhcpAddress) defaults += " (address " + address + ": the address comes from DHCP)";
  else if (!address.empty()) defaults += " (address " + address + ")";
  std::string question = kFormatQuestion;
  const std::string last = "Are you sure?";
  question.insert(question.size() - last.size(), defaults + ".\n");
  return question;
}

bool RunInitCommand(Exchange& link, const std::string& command, uint32_t timeoutMs, uint32_t promptLimitMs,
                    std::vector<std::string>* printed) {
  if (printed) printed->clear();
  auto shown = [&](const std::string& text) {
    link.ShowLine(text);
    if (printed) printed->push_back(text);
  };
  // The window keeps painting while the command waits on the line.
  LineWaitScope waiting;
  link.Cursor().SetBusy();
  std::string failure;
  std::unique_ptr<Port> port = link.Factory() ? link.Factory()(link.ComName) : nullptr;
  if (!port || !port->Open()) {
    failure = OpenFailureText(link.ComName);
  } else {
    port->LineEnd = 13;
    ConfigureControllerLine(*port);
    port->SetTimeouts(timeoutMs);
    link.DrainInput(*port);
    if (!link.SendCommand(*port, command)) {
      failure = SendFailureText(command);
    } else {
      std::string text;
      while (ReadShellLine(*port, kLineLimit, text, IsPromptAfterLineFeed)) shown(text);
      // A missing prompt is no failure; the limit only bounds the wait.
      if (!IsPromptAfterLineFeed(text)) {
        const uint32_t step = port->Timeout() ? port->Timeout() : 1;
        for (uint32_t total = 0; total < promptLimitMs; total += step) {
          ReadShellLine(*port, kLineLimit, text, IsPromptAfterLineFeed);
          if (IsPromptAfterLineFeed(text)) break;
          shown(text);
        }
      }
    }
    port->Close();
  }
  port.reset();
  link.Cursor().Restore();
  if (failure.empty()) return true;
  link.UserInterface().Error(failure);
  return false;
}

Uploader PortUploader(Exchange& link) {
  return [&link](const std::string& targetDir, const std::string& hostPath) {
    std::unique_ptr<Port> port = OpenUploadPort(link.Factory(), link.ComName);
    if (!port) {
      link.UserInterface().Error(OpenFailureText(link.ComName));
      return false;
    }
    DirectInvoker gui;  // no GUI thread here: the sender's steps run on its own thread
    UploadHooks hooks;
    hooks.Error = [&link](const std::string& text) { link.UserInterface().Error(text); };
    const UploadResult result = RunUploads(*port, link.Pane(), gui, {hostPath}, targetDir, hooks);
    port->Close();
    port.reset();
    // An end of file the receiver never acknowledged counts only once the
    // controller lists the file.
    return result.AllUploaded(1) && (result.Unacknowledged.empty() ||
                                     ConfirmStored(link.ComName, link.Factory(), result.Unacknowledged,
                                                   link.UserInterface()));
  };
}

InitCommandRunner PortCommandRunner(Exchange& link) {
  return [&link](const std::string& command, uint32_t timeoutMs, uint32_t promptLimitMs,
                 std::vector<std::string>* printed) {
    return RunInitCommand(link, command, timeoutMs, promptLimitMs, printed);
  };
}

}  // namespace vorn::netconf

namespace vorn::netconf {

namespace {

// Keeps the exchange's boxes to itself: a settings file that cannot be read
// only leaves the dialog's fields as they were.
class SilentUi : public WindowlessUi {
 public:
  void Error(const std::string& text) override { Keep(text); }
  std::string first;

 private:
  void Keep(const std::string& text) {
    if (first.empty()) first = text.substr(0, text.find('\n'));
  }
};

}  // namespace

ControllerSocketCfg ReadControllerSocketCfg(Exchange& link) {
  SilentUi quiet;
  Exchange reader(link.Pane(), link.Cursor(), quiet, link.Factory());
  reader.ComName = link.ComName;
  std::vector<std::string> lines;
  const std::string command = std::string("type ") + kConfFolder + kSocketCfg + "\r";
  const bool ran = reader.Run({1000, 10}, {{command, SendFailureText(command.substr(0, command.size() - 1)),
                                            [&lines](const std::string& line, std::string&) {
                                              lines.push_back(line);
                                              return LineVerdict::Continue;
                                            },
                                            {},
                                            true}});
  ControllerSocketCfg out;
  if (!ran) {
    out.reason = quiet.first.empty() ? "the controller did not answer" : quiet.first;
    return out;
  }
  if (!reader.PromptSeen()) {
    out.reason = kNoPromptText;
    return out;
  }
  out.settings = ParseSocketCfg(lines);
  if (!out.settings) {
    out.reason = "no address in it";
    for (std::string line : lines) {
      line.erase(line.find_last_not_of(" \r\n") + 1);
      if (line.empty()) continue;
      out.reason = line;  // the shell's own answer, such as "File not found"
      break;
    }
  }
  return out;
}

}  // namespace vorn::netconf
