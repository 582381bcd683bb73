#include "transfer/folder_plan.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>

#include "link/exchange.h"
#include "platform/host.h"
#include "platform/host_folders.h"
#include "transfer/copy_checks.h"

namespace vorn {

namespace {

bool ShortPart(const std::string& s, size_t max) {
  if (s.empty() || s.size() > max) return false;
  return std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
}


// The longest controller path that still fits the receiver's or md's command
// line ("C:\transfer /R " is the longer prefix).
constexpr size_t kPathLimit = kShellLineLimit - 16;
// Far more than a 1 MiB drive holds: a walk past it was dropped by mistake
// (a whole disk) and stops instead of reading everything.
constexpr size_t kStepLimit = 4096;
// A refusal shows this many of each kind, then how many more there are.
constexpr size_t kShownRefusals = 10;

std::filesystem::path HostPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The folder a path names with links and "." or ".." resolved; empty when it
// cannot be resolved.
std::string RealFolder(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(HostPath(path), ec);
  if (ec) return {};
  const std::u8string text = real.u8string();
  return std::string(text.begin(), text.end());
}

class Planner {
 public:
  Planner(FolderPlan& plan, const RenameHook& rename) : plan_(plan), rename_(rename) {}

  void Item(const std::string& hostPath, bool folder, uint64_t size, const std::string& special,
            const std::string& remoteDir, std::set<std::string>& taken) {
    if (plan_.steps.size() >= kStepLimit) {
      if (!tooMany_) plan_.refusals.push_back("more than " + std::to_string(kStepLimit) + " files and folders");
      tooMany_ = true;
      return;
    }
    if (!special.empty()) {
      plan_.refusals.push_back("'" + hostPath + "' is a " + special + ", not a regular file");
      return;
    }
    // Checked before anything is sent, so the job never stops half-way on it
    // (a link to nothing, a file without read permission).
    if (!folder) {
      std::FILE* f = platform::OpenFileForReading(hostPath);
      if (!f) {
        plan_.refusals.push_back("'" + hostPath + "' cannot be read (or is a link to nothing)");
        return;
      }
      std::fclose(f);
    }
    std::string real;
    if (folder) {
      real = RealFolder(hostPath);
      if (std::find(ancestors_.begin(), ancestors_.end(), real) != ancestors_.end()) {
        plan_.refusals.push_back("'" + hostPath + "' is a link back to '" + real + "', a folder it is in: a loop");
        return;
      }
    }
    std::string name = FileNamePart(hostPath);
    while (!IsShortName(name) || taken.count(UpperName(name))) {
      std::optional<std::string> typed;
      if (rename_) typed = rename_(hostPath, folder, remoteDir);
      if (!rename_) {
        plan_.badNames.push_back(hostPath);
        break;
      }
      if (!typed) return;  // left out
      name = *typed;
    }
    taken.insert(UpperName(name));
    if ((remoteDir + name).size() > kPathLimit) {
      plan_.refusals.push_back("'" + hostPath + "' would be " + remoteDir + name +
                               ", a path too long for the controller's shell");
      return;
    }
    plan_.steps.push_back({folder, hostPath, remoteDir, name, folder ? 0 : size});
    if (!folder) {
      ++plan_.fileCount;
      plan_.totalBytes += size;
      return;
    }
    std::vector<HostItem> items;
    std::string error;
    if (!folders_->List(hostPath, items, error)) {
      plan_.refusals.push_back("'" + hostPath + "' cannot be read: " + error);
      return;
    }
    // Files first, then the subfolders, each in name order: depth first.
    std::sort(items.begin(), items.end(), [](const HostItem& a, const HostItem& b) {
      if (a.isFolder != b.isFolder) return !a.isFolder;
      return a.name < b.name;
    });
    std::set<std::string> below;
    ancestors_.push_back(real);
    for (const HostItem& item : items)
      Item(item.fullPath, item.isFolder, item.size, item.special, remoteDir + name + "\\", below);
    ancestors_.pop_back();
  }

 private:
  FolderPlan& plan_;
  const RenameHook& rename_;
  std::unique_ptr<HostFolders> folders_ = MakeFileSystemFolders();
  bool tooMany_ = false;
  std::vector<std::string> ancestors_;  // the real folders the walk is in
};

void ShownList(std::string& text, const std::vector<std::string>& items, const char* indent) {
  for (size_t i = 0; i < items.size() && i < kShownRefusals; ++i) text += indent + items[i] + "\n";
  if (items.size() > kShownRefusals)
    text += indent + std::string("... and ") + std::to_string(items.size() - kShownRefusals) + " more (" +
            std::to_string(items.size()) + " in all)\n";
}

}  // namespace

bool IsShortName(const std::string& name) {
  const size_t dot = name.find('.');
  if (dot == std::string::npos) return ShortPart(name, 8);
  return ShortPart(name.substr(0, dot), 8) && ShortPart(name.substr(dot + 1), 3);
}

FolderPlan PlanFolderUpload(const std::vector<std::string>& hostItems, const std::string& targetDir,
                            const RenameHook& rename) {
  FolderPlan plan;
  plan.targetDir = targetDir;
  Planner planner(plan, rename);
  std::set<std::string> taken;
  for (std::string item : hostItems) {
    // "DIR/" names the folder DIR.
    while (item.size() > 1 && std::string(platform::PathSeparators()).find(item.back()) != std::string::npos &&
           item.back() != ':')
      item.pop_back();
    // "." and ".." go up as the folders they stand for, under their own names.
    if (const std::string part = FileNamePart(item); part == "." || part == "..") {
      if (std::string real = RealFolder(item); !real.empty()) item = real;
    }
    const std::string kind = platform::NonRegularKind(item);
    uint64_t size = 0;
    if (kind.empty()) {
      std::FILE* f = platform::OpenFileForReading(item);
      if (!f) {
        plan.refusals.push_back("'" + item + "' does not exist or cannot be read");
        continue;
      }
      const int64_t length = platform::OpenFileLength(f);
      std::fclose(f);
      size = length > 0 ? static_cast<uint64_t>(length) : 0;
    }
    const bool folder = kind == "Folder";
    planner.Item(item, folder, size, folder ? std::string() : kind, targetDir, taken);
  }
  return plan;
}

std::string PlanRefusalText(const FolderPlan& plan) {
  std::string text;
  ShownList(text, plan.refusals, "");
  if (!plan.badNames.empty()) {
    text += std::to_string(plan.badNames.size()) +
            " names the controller does not take (8.3 letters, digits and _, unique in their directory):\n";
    ShownList(text, plan.badNames, "  ");
  }
  return text;
}

}  // namespace vorn
