#include "remote/remote_ops.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace vorn {

const char* const kMakeDirCaption = "Make directory";
const char* const kMakeDirPrompt = "Please input new directory name:";
const char* const kRenamePrompt = "Please input new file name:";
const char* const kFormatQuestion =
    "This action will format the D drive on VORN-7730.\nAll the data on that drive will be erased.\nAre you sure?";
const char* const kFormatCommand = "C:\\DLFMT D: /C\r";
const char* const kMemCommand = "C:\\mem\r";
const char* const kAbortCommand = "A\r";

namespace {

bool Contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

}  // namespace

bool RunInFolder(Exchange& exchange, const ExchangeProfile& profile, const std::string& dir,
                 std::vector<ExchangeCommand> commands) {
  commands.insert(commands.begin(),
                  {ExchangeCommand{"d:\r", SendFailureTextShort(), {}, {}, true},
                   ExchangeCommand{"cd" + dir + "\r", SendFailureText("cd" + dir),
                                   [&dir](const std::string& line, std::string& failure) {
                                     if (!Contains(line, "Invalid ")) return LineVerdict::Continue;
                                     failure = line + "'" + dir + "'!";
                                     return LineVerdict::FailAndStop;
                                   },
                                   {},
                                   true}});
  return exchange.Run(profile, commands);
}

FolderRead ReadRemoteFolder(Exchange& exchange, const std::string& path) {
  FolderRead out;
  const int year = CurrentLocalYear();
  out.ok = RunInFolder(exchange, kListingProfile, path,
                       {{"dir\r", SendFailureText("dir"), [&out, year](const std::string& line, std::string&) {
                           DirLine parsed = ParseDirLine(line, year);
                           if (parsed.kind == DirLine::Kind::Entry) {
                             out.entries.push_back(std::move(parsed.entry));
                           } else if (parsed.kind == DirLine::Kind::FreeSpace) {
                             out.bytesFree = parsed.bytesFree;
                             out.freeText = std::move(parsed.freeText);
                           }
                           return LineVerdict::Continue;
                         },
                         {},
                         true}});
  return out;
}

FolderRead ReadRemoteFolderAgreed(Exchange& exchange, const std::string& path, std::string* why) {
  constexpr int kReads = 3;
  auto key = [](const FolderRead& read) {
    std::string k = read.freeText + '\n' + (read.bytesFree ? std::to_string(*read.bytesFree) : "-");
    for (const RemoteEntry& e : read.entries)
      k += '\n' + e.Name + '\t' + std::to_string(e.Size) + '\t' + e.Modified + (e.IsDirectory ? "\t<DIR>" : "");
    return k;
  };
  std::vector<std::string> seen;
  for (int i = 0; i < kReads; ++i) {
    FolderRead read = ReadRemoteFolder(exchange, path);
    if (!read.ok || !exchange.PromptSeen()) return read;
    const std::string k = key(read);
    if (std::find(seen.begin(), seen.end(), k) != seen.end()) return read;
    seen.push_back(k);
  }
  if (why)
    *why = "The listing of D:" + (path.empty() ? std::string("\\") : path) + " came back different in each of " +
           std::to_string(kReads) + " reads: the line damages what the controller prints.";
  return {};
}

TreeCount CountRemoteTree(Exchange& exchange, const std::string& dir, const std::string& name) {
  TreeCount out;
  ExchangeCommand command{"dir/s " + name + "\r", SendFailureText("dir/s"),
                          [&out](const std::string& line, std::string&) {
                            TreeLine t = ParseTreeLine(line);
                            if (t.kind == TreeLine::Kind::Directory) {
                              ++out.folders;
                            } else if (t.kind == TreeLine::Kind::File) {
                              ++out.files;
                              out.bytes += static_cast<uint32_t>(std::max<int32_t>(t.size, 0));
                            }
                            return LineVerdict::Continue;
                          }};
  command.readOnly = true;
  out.ok = RunInFolder(exchange, kListingProfile, dir, {command});
  if (!out.ok) out.files = out.bytes = out.folders = 0;
  return out;
}

std::string DeleteCommand(const RemoteEntry& entry) {
  return (entry.IsDirectory ? "rd " : "del ") + entry.Name + "\r";
}

std::string DeleteQuestion(const RemoteEntry& entry) {
  return std::string(entry.IsDirectory ? "Are you sure to delete the directory '" : "Are you sure to delete the file '") +
         entry.Name + "'\nfrom VORN-7730?";
}

std::string NotEmptyWarning(const std::string& name) {
  return "The directory '" + name + "' is not empty.\nCannot delete this directory!";
}

std::string MakeDirCommand(const std::string& name) { return "md " + name + "\r"; }

std::string RenameCommand(const std::string& from, const std::string& to) {
  return "ren " + from + " " + to + "\r";
}

std::string RenameCaption(const std::string& name) { return "Rename file '" + name + "'"; }

std::string AutoRunCommand(const std::string& name, bool append) {
  return "echo " + name + (append ? ">>AutoRun.bat\r" : ">AutoRun.bat\r");
}

bool MakeDirRefused(const std::string& line) { return Contains(line, "Invalid ") || Contains(line, "Unable "); }

bool RenameRefused(const std::string& line) { return Contains(line, "Invalid ") || Contains(line, "Duplicate "); }

std::string NameRefusal(const std::string& name) {
  static const char kRefused[] = " \"*?<>|&/\\:;,+=[]";
  bool usable = !name.empty();
  // Shown with control characters spelt out, so the text stays one line.
  std::string shown;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) {
      usable = false;
      shown += '^';
      shown += static_cast<char>(u == 127 ? '?' : u + 64);
    } else {
      if (std::strchr(kRefused, c)) usable = false;
      shown += c;
    }
  }
  if (usable) return {};
  return "'" + shown +
         "' is not a name the controller takes: its file names may not be empty or hold a space, a control "
         "character or any of \" * ? < > | & / \\ : ; , + = [ ]";
}

bool UsableName(const std::string& name) { return NameRefusal(name).empty(); }

std::string PathRefusal(const std::string& path) {
  if (path == "\\") return {};
  size_t start = path.empty() || path[0] != '\\' ? 0 : 1;
  for (;;) {
    const size_t end = path.find('\\', start);
    if (std::string refusal = NameRefusal(path.substr(start, end - start)); !refusal.empty()) return refusal;
    if (end == std::string::npos) return {};
    start = end + 1;
  }
}

std::string BinaryRefusal(const std::string& name) {
  static const char* const kBinary[] = {"EXE", "COM", "IMG", "BIN", "SYS", "DLL", "OVL", "OBJ", "LIB", "ZIP", "DRV"};
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return {};
  std::string ext = name.substr(dot + 1);
  for (char& c : ext)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  for (const char* b : kBinary)
    if (ext == b)
      return "'" + name + "' is a program or binary file: the shell's type gives text files only (it stops at a "
             "Ctrl+Z byte and turns line ends). The image backup is the way to copy binaries.";
  return {};
}

std::string JoinLines(const std::vector<std::string>& lines, const char* end) {
  std::string text;
  for (const std::string& l : lines) text += l + end;
  return text;
}

TextRead ReadRemoteText(Exchange& exchange, const std::string& dir, const std::string& name) {
  TextRead out;
  const std::string shown = "D:" + ChildPath(dir, name);
  if (out.failure = BinaryRefusal(name); !out.failure.empty()) return out;
  if (!UsableName(name) || name.find_first_of("*? \\") != std::string::npos) {
    out.failure = "'" + shown + "' is not a file name the shell takes";
    return out;
  }
  const FolderRead folder = ReadRemoteFolder(exchange, dir);
  if (!folder.ok) return out;  // the exchange showed why
  if (!exchange.PromptSeen()) {
    out.failure = kNoPromptText;
    return out;
  }
  const auto entry = std::find_if(folder.entries.begin(), folder.entries.end(), [&name](const RemoteEntry& e) {
    return e.Name.size() == name.size() &&
           std::equal(e.Name.begin(), e.Name.end(), name.begin(), [](char a, char b) {
             return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
           });
  });
  if (entry == folder.entries.end() || entry->IsDirectory) {
    out.failure = "'" + shown + (entry == folder.entries.end() ? "' is not listed on the controller" : "' is a directory");
    return out;
  }
  std::vector<std::string> raw;
  if (!RunInFolder(exchange, kListingProfile, dir,
                   {{"type " + entry->Name + "\r", SendFailureText("type " + entry->Name),
                     [&raw](const std::string& line, std::string&) {
                       raw.push_back(line);
                       return LineVerdict::Continue;
                     },
                     "'" + shown + "' has a line too long for a text file: it cannot be given back whole.",
                     true}}))
    return out;
  if (!exchange.PromptSeen()) {
    out.failure = kNoPromptText;
    return out;
  }
  // The echo's line feed comes first and the shell's own blank line before
  // its prompt last; neither belongs to the file.
  size_t first = !raw.empty() && raw.front() == "\n" ? 1 : 0;
  size_t last = raw.size();
  if (last > first && (raw[last - 1] == "\r\n" || raw[last - 1] == "\n")) --last;
  for (size_t i = first; i < last; ++i) {
    std::string l = raw[i];
    if (!l.empty() && l.back() == '\n') l.pop_back();
    if (!l.empty() && l.back() == '\r') l.pop_back();
    out.nulBytes = out.nulBytes || l.find('\0') != std::string::npos;
    out.lines.push_back(std::move(l));
  }
  // The fill of an uploaded file's last block is no text.
  while (!out.lines.empty() && !out.lines.back().empty() && out.lines.back().back() == '\0') {
    std::string& l = out.lines.back();
    l.erase(l.find_last_not_of('\0') + 1);
    if (l.empty()) out.lines.pop_back();
  }
  // A file gone since the listing: the shell's message stands in for its
  // text (a file holding just that line would be 16 bytes long).
  if (out.lines.size() == 1 && out.lines[0] == "File not found" && entry->Size != 16) {
    out.lines.clear();
    out.failure = "The controller could not type '" + shown + "': File not found";
    return out;
  }
  out.ok = true;
  return out;
}

RemoteMenuState MenuStateFor(const RemoteEntry* selected) {
  RemoteMenuState state;
  state.makeDirectory = selected == nullptr;
  state.remove = selected != nullptr;
  const bool file = selected && !selected->IsDirectory;
  state.rename = file;
  state.setToAutoRun = file && Contains(selected->Name, ".EXE");
  state.view = file && BinaryRefusal(selected->Name).empty();
  return state;
}

FillOutcome RemoteOps::FillRemoteList(const std::string& path) {
  listing_.Entries.clear();
  ListingDisagreement.clear();
  FolderRead read = AgreedListings ? ReadRemoteFolderAgreed(exchange_, path, &ListingDisagreement)
                                   : ReadRemoteFolder(exchange_, path);
  if (read.bytesFree) {
    listing_.BytesFree = *read.bytesFree;
    listing_.FreeSpaceText = read.freeText;
  }
  if (!read.ok) {
    // Neither the free space nor the rows of the old listing describe the
    // drive now: tools and uploads ask for a refresh, the panel shows none.
    listing_.BytesFree = 0;
    listing_.FreeSpaceText.clear();
  }
  listing_.Entries = std::move(read.entries);
  uint32_t total = TotalSize(listing_.Entries);
  if (listing_.SortColumn == kColumnType && DescribeAll) DescribeAll();
  SortRemoteEntries(listing_.Entries, listing_.SortColumn);
  listing_.SortColumn = 0;

  FillOutcome out;
  out.ok = read.ok;
  out.objectsText = ObjectCountText(listing_.Entries.size());
  // Only the last free-space text follows the size, so listings that print
  // none do not pile size texts up in the panel.
  out.sizeText = TotalSizeText(total) + listing_.FreeSpaceText;
  return out;
}

FillOutcome RemoteOps::Show(const std::string& requested, int* selectRow) {
  // Before the first listing there is no path, and "cd" alone would list the
  // shell's current directory (wherever the terminal left it) under none.
  const std::string path = FolderOrRoot(requested);
  FillOutcome out = FillRemoteList(path);
  listing_.CurrentPath = path;
  int rows = static_cast<int>(listing_.Entries.size());
  int row = -1;
  if (rows > 0) row = std::clamp(listing_.RestoreIndex, 0, rows - 1);
  listing_.RestoreIndex = 0;
  if (selectRow) *selectRow = row;
  return out;
}

void RemoteOps::PrepareRelist() {
  listing_.SortColumn = listing_.ChosenColumn;
  listing_.RestoreIndex = listing_.PopupIndex;
}

std::optional<RemoteProperties> RemoteOps::Properties(const RemoteEntry* selected, const std::string& pathText) {
  RemoteProperties p;
  p.Module = "VORN-7730";
  p.Path = pathText;
  auto takeCount = [&p](const TreeCount& count) {
    p.Size = std::to_string(count.bytes) + " byte(s)";
    p.Contains = std::to_string(count.files) + " file(s), " + std::to_string(count.folders) + " folder(s)";
  };
  if (!selected) {
    p.Type = pathText == "\\" ? "VORN disk (D:)" : "Folder";
    const TreeCount count = Count("");
    if (!count.ok) return std::nullopt;
    takeCount(count);
    return p;
  }
  const RemoteEntry& e = *selected;
  p.Name = e.Name;
  p.Type = e.TypeText;
  p.Date = e.Modified;
  if (!e.IsDirectory) {
    p.Size = std::to_string(e.Size) + " byte(s)";
  } else if (const TreeCount count = Count(e.Name); count.ok) {
    takeCount(count);
  }
  return p;
}

bool RemoteOps::NamesUsable(std::initializer_list<const std::string*> names) {
  for (const std::string* name : names)
    if (std::string refusal = NameRefusal(*name); !refusal.empty()) {
      exchange_.UserInterface().Error(refusal);
      return false;
    }
  return true;
}

bool RemoteOps::RunHere(const ExchangeProfile& profile, const std::string& line, LineHandler handler) {
  return RunInFolder(exchange_, profile, Folder(), {ExchangeCommand{line, SendFailureText(line), std::move(handler)}});
}

bool RemoteOps::RunOne(const ExchangeProfile& profile, const std::string& line, LineHandler handler) {
  return exchange_.Run(profile, {ExchangeCommand{line, SendFailureText(line), std::move(handler)}});
}

bool RemoteOps::Delete(const RemoteEntry& entry) {
  Ui& ui = exchange_.UserInterface();
  if (!NamesUsable({&entry.Name})) return false;
  if (entry.IsDirectory) {
    TreeCount count = Count(entry.Name);
    if (!count.ok) return false;
    if (count.files > 0 || count.folders > 0) {
      ui.Warning(NotEmptyWarning(entry.Name));
      return false;
    }
  }
  if (!ui.Question(DeleteQuestion(entry))) return false;
  // The shell's reply is only shown: a refused delete simply lists the file again.
  return RunHere(kListingProfile, DeleteCommand(entry));
}

bool RemoteOps::MakeDirectory(const std::string& name) {
  if (!NamesUsable({&name})) return false;
  bool refused = false;
  return RunHere(kListingProfile, MakeDirCommand(name),
                 [&refused, name](const std::string& line, std::string& failure) {
                   if (refused || !MakeDirRefused(line)) return LineVerdict::Continue;
                   refused = true;
                   failure = line + "'" + name + "'!";
                   return LineVerdict::Fail;
                 });
}

bool RemoteOps::Rename(const std::string& from, const std::string& to) {
  if (!NamesUsable({&from, &to})) return false;
  bool refused = false;
  return RunHere(kListingProfile, RenameCommand(from, to),
                 [&refused, to](const std::string& line, std::string& failure) {
                   if (refused || !RenameRefused(line)) return LineVerdict::Continue;
                   refused = true;
                   failure = line + "'" + to + "'!";
                   return LineVerdict::Fail;
                 });
}

bool RemoteOps::Format() {
  if (!exchange_.UserInterface().Question(kFormatQuestion)) return false;
  return RunOne(kFormatProfile, kFormatCommand);
}

bool RemoteOps::Mem() {
  return exchange_.Run({1000, 10}, {ExchangeCommand{kMemCommand, SendFailureText(kMemCommand), nullptr, {}, true}});
}

bool RemoteOps::Abort() { return exchange_.RunCommand(kAbortCommand); }

bool RemoteOps::SetAutoRun(const std::string& name, bool append) {
  if (!NamesUsable({&name})) return false;
  // The profile of a plain command: its output is only shown.
  return RunHere(ExchangeProfile{}, AutoRunCommand(name, append));
}

}  // namespace vorn
