#include "transfer/copy_checks.h"

#include <algorithm>

#include "platform/host.h"

namespace vorn {

CopyCheck CheckCopySelection(const std::vector<LocalSelection>& selection, uint64_t bytesFree) {
  CopyCheck check;
  if (selection.empty()) {
    check.message = "Please select a file.";
    return check;
  }
  for (const LocalSelection& entry : selection) {
    if (entry.isFolder || !entry.special.empty()) {
      check.message = entry.isFolder ? "Only file can be transferred." : NotAFileText(entry.fullPath, entry.special);
      check.files.clear();
      return check;
    }
    check.files.push_back(entry.fullPath);
    // 64 bits: a selection past 4 GiB must not wrap round to a small total.
    check.totalSize += entry.size;
  }
  if (bytesFree == 0) {
    check.message = kRefreshFirstText;
  } else if (check.totalSize == 0 || check.totalSize >= bytesFree) {
    check.message = "There is no enough space on VORN-7730.";
  }
  if (!check.Ok()) check.files.clear();
  return check;
}

LocalSelection SelectionForPath(const std::string& path) {
  LocalSelection item{false, path, 0};
  const std::string kind = platform::NonRegularKind(path);
  if (kind == "Folder") {
    item.isFolder = true;
  } else if (!kind.empty()) {
    item.special = kind;
  } else if (std::FILE* f = platform::OpenFileForReading(path)) {
    const int64_t length = platform::OpenFileLength(f);
    std::fclose(f);
    item.size = length > 0 ? static_cast<uint64_t>(length) : 0;
  }
  return item;
}

std::string TargetDirFor(const std::string& remotePath) {
  if (remotePath == "\\") return "D:\\";
  return "D:" + remotePath + "\\";
}

bool ValidFileName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

std::string ShortNameFor(const std::string& name, bool twice) {
  const size_t dot = name.rfind('.');
  const auto keep = [](const std::string& part, size_t max) {
    std::string out;
    for (char c : part) {
      if (out.size() == max) break;
      if ((c >= 'a' && c <= 'z')) c = static_cast<char>(c - 'a' + 'A');
      if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_') out += c;
    }
    return out;
  };
  std::string base = keep(name.substr(0, dot == 0 ? name.size() : dot), 8);
  const std::string extension = dot == std::string::npos || dot == 0 ? "" : keep(name.substr(dot + 1), 3);
  if (base.empty()) base = "FILE";
  if (twice) base = base.substr(0, 7) + "2";
  return extension.empty() ? base : base + "." + extension;
}

std::string InvalidNamePrompt(const std::string& name, bool twice, bool shortForm) {
  std::string why;
  if (twice)
    why = "The name '" + name + "' is taken in that folder of VORN-7730.";
  else if (!ValidFileName(name))
    why = "VORN-7730 takes only letters, digits, _ and a dot in a name" +
          std::string(shortForm ? ", at most 8 of them before the dot and 3 after it." : ".");
  else
    why = "VORN-7730 takes at most 8 characters before the dot and 3 after it.";
  return why + "\n\nPlease input new file name:";
}

std::string NotAFileText(const std::string& path, const std::string& kind) {
  return "Only file can be transferred.\n\n'" + FileNamePart(path) + "' is a " + kind + ", not a regular file.";
}

std::string FileNamePart(const std::string& path) {
  const size_t cut = path.find_last_of(platform::PathSeparators());
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string OverwriteQuestion(const std::string& name, const std::string& targetDir) {
  return "The file '" + name + "' is already in " + targetDir + " on VORN-7730.\nReplace it?";
}

std::string FolderMergeQuestion(const std::string& name, const std::string& targetDir) {
  return "The folder '" + name + "' is already in " + targetDir +
         " on VORN-7730.\nUpload into it, replacing its files of the same names?";
}

std::optional<std::vector<std::string>> AskOverwrites(const std::vector<std::string>& files,
                                                      const std::vector<RemoteEntry>& listed,
                                                      const std::string& targetDir, Ui& ui,
                                                      const std::vector<std::string>& folders) {
  std::vector<std::string> out;
  bool all = false;
  for (const std::string& file : files) {
    const std::string name = UpperName(FileNamePart(file));
    const auto same = std::find_if(listed.begin(), listed.end(),
                                   [&](const RemoteEntry& e) { return UpperName(e.Name) == name; });
    // A directory of a file's name is not replaced by the upload: the
    // receiver refuses the file, as it always did, so there is nothing to ask.
    // A folder goes into a listed directory of its name, over its files.
    const bool folder = std::find(folders.begin(), folders.end(), file) != folders.end();
    // A file that an earlier one of the selection will be by then replaces it just the same.
    const bool earlier = !folder && std::any_of(out.begin(), out.end(), [&](const std::string& o) {
      return UpperName(FileNamePart(o)) == name &&
             std::find(folders.begin(), folders.end(), o) == folders.end();
    });
    if (((same != listed.end() && same->IsDirectory == folder) || earlier) && !all) {
      const Ui::Choice c =
          ui.QuestionWithAll(folder ? FolderMergeQuestion(name, targetDir) : OverwriteQuestion(name, targetDir));
      if (c == Ui::Choice::Cancel) return std::nullopt;
      if (c == Ui::Choice::No) continue;
      all = c == Ui::Choice::YesToAll;
    }
    out.push_back(file);
  }
  return out;
}

TypedName CheckTypedName(const std::string& name, bool folder, const std::vector<RemoteEntry>& listed,
                         const std::string& targetDir, const std::function<Ui::Choice(const std::string&)>& ask,
                         bool& all) {
  // The shell takes names in any case.
  const auto same = std::find_if(listed.begin(), listed.end(),
                                 [&](const RemoteEntry& e) { return UpperName(e.Name) == UpperName(name); });
  if (same == listed.end()) return TypedName::Take;
  if (same->IsDirectory != folder) return TypedName::AskAgain;
  if (all) return TypedName::Take;
  if (!ask) return TypedName::LeaveOut;
  const std::string shown = UpperName(name);
  switch (ask(folder ? FolderMergeQuestion(shown, targetDir) : OverwriteQuestion(shown, targetDir))) {
    case Ui::Choice::YesToAll:
      all = true;
      return TypedName::Take;
    case Ui::Choice::Yes:
      return TypedName::Take;
    case Ui::Choice::No:
      return TypedName::LeaveOut;
    case Ui::Choice::Cancel:
      break;
  }
  return TypedName::Cancel;
}

}  // namespace vorn
