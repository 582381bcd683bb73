#include "remote/remote_cli.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cctype>
#include <cstdio>
#include <optional>
#include <ostream>
#include <thread>

#include "platform/host.h"
#include "platform/interrupt.h"
#include "platform/owner_files.h"
#include "remote/remote_ops.h"

namespace vorn {

namespace {

constexpr int kInterruptedExit = 130;  // as a shell reports a program ended by Ctrl+C

// While the controller finishes what it cannot be stopped from doing, the
// user who pressed Ctrl+C is told at once what the program waits for.
class InterruptNotice {
 public:
  InterruptNotice(std::ostream& err, std::string text)
      : watcher_([this, &err, text = std::move(text)] {
          while (!done_) {
            if (platform::InterruptRequested()) {
              err << text << '\n' << std::flush;
              return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
          }
        }) {}
  ~InterruptNotice() {
    done_ = true;
    watcher_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread watcher_;
};

// The controller's lines stay off standard output, where a listing or a file goes.
struct QuietExchange {
  explicit QuietExchange(Exchange& exchange)
      : ex(pane, exchange.Cursor(), exchange.UserInterface(), exchange.Factory()) {
    ex.ComName = exchange.ComName;
  }
  SilentPane pane;
  Exchange ex;
};

struct Arguments {
  std::vector<std::string> paths;
  std::vector<std::string> options;
  bool Has(const char* option) const { return std::find(options.begin(), options.end(), option) != options.end(); }
};

Arguments Split(const std::vector<std::string>& args) {
  Arguments a;
  for (const std::string& s : args) (s.size() > 2 && s.rfind("--", 0) == 0 ? a.options : a.paths).push_back(s);
  return a;
}

// Refuses options the verb does not know; true when all are known.
bool OnlyOptions(const std::string& verb, const Arguments& a, std::initializer_list<const char*> known,
                 std::ostream& err) {
  for (const std::string& o : a.options)
    if (std::none_of(known.begin(), known.end(), [&o](const char* k) { return o == k; })) {
      err << verb << ": unknown option " << o << '\n';
      return false;
    }
  return true;
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

// A name the shell takes as one word and never as a pattern.
bool PlainName(const std::string& name) {
  return UsableName(name) && name.size() <= static_cast<size_t>(kFileNameMaxLength) && name != "." && name != "..";
}

// The controller's file system takes 8.3 names: up to 8 characters, then
// optionally a dot and up to 3 more.
bool ShortName(const std::string& name) {
  const std::string stored = UpperName(name);
  const size_t dot = stored.find('.');
  if (dot == std::string::npos) return !stored.empty() && stored.size() <= 8;
  return dot >= 1 && dot <= 8 && stored.size() - dot - 1 <= 3 && stored.find('.', dot + 1) == std::string::npos;
}

std::string NotShortText(const std::string& verb, const std::string& name) {
  return verb + ": '" + name + "' is not a name the controller takes (8.3: up to 8 characters, a dot and up to 3 more)";
}

// A path none of whose names would change the meaning of the typed line;
// otherwise one line on err. Checked before the port is opened.
bool UsablePath(const std::string& verb, const std::string& path, std::ostream& err) {
  const std::string refusal = PathRefusal(path);
  if (!refusal.empty()) err << verb << ": " << refusal << '\n';
  return refusal.empty();
}

struct Target {
  std::string dir;   // the pane's form: "\\", "\\DATA"
  std::string name;  // as the user wrote it
  std::string shown;  // D:\DATA\NAME
};

// nullopt with the exit code in *code: 2 for what is not such a path, 1 for
// a path holding a name the controller does not take.
std::optional<Target> ParseTarget(const std::string& verb, const std::string& arg, std::ostream& err, int* code) {
  const bool absolute = (arg.size() >= 3 && (arg[0] == 'd' || arg[0] == 'D') && arg[1] == ':' &&
                         (arg[2] == '\\' || arg[2] == '/')) ||
                        (!arg.empty() && (arg[0] == '\\' || arg[0] == '/'));
  const std::string path = NormalizeRemotePath(arg);
  Target t;
  t.dir = ParentPath(path);
  t.name = path.substr(path.rfind('\\') + 1);
  t.shown = "D:" + path;
  *code = 2;
  if (absolute && path != "\\" && !UsablePath(verb, path, err)) {
    *code = 1;
    return std::nullopt;
  }
  if (absolute && path != "\\" && t.name != "." && t.name != ".." && (!PlainName(t.name) || !ShortName(t.name))) {
    err << NotShortText(verb, t.name) << '\n';
    *code = 1;
    return std::nullopt;
  }
  if (!absolute || path == "\\" || !PlainName(t.name)) {
    err << verb << ": '" << arg << "' is not an absolute path of a file or directory on D: (such as D:\\DIR\\FILE)\n";
    return std::nullopt;
  }
  return t;
}

// The entries of dir; nullopt when the listing failed or was cut short.
std::optional<std::vector<RemoteEntry>> List(Exchange& ex, const std::string& dir, std::ostream& err) {
  std::string why;
  FolderRead read = ReadRemoteFolderAgreed(ex, dir, &why);
  if (!why.empty()) err << why << '\n';
  if (!read.ok) return std::nullopt;
  if (!ex.PromptSeen()) {
    err << kNoPromptText << '\n';
    return std::nullopt;
  }
  return std::move(read.entries);
}

const RemoteEntry* Find(const std::vector<RemoteEntry>& entries, const std::string& name) {
  auto it = std::find_if(entries.begin(), entries.end(), [&name](const RemoteEntry& e) { return SameName(e.Name, name); });
  return it == entries.end() ? nullptr : &*it;
}

bool Refused(const std::string& line) {
  return line.find("Invalid ") != std::string::npos || line.find("Unable ") != std::string::npos ||
         line.find("Duplicate ") != std::string::npos || line.find("denied") != std::string::npos ||
         line.find(" error") != std::string::npos || line.find("Insufficient ") != std::string::npos;
}

// Types line in dir; false when a line was not echoed, the shell's answer
// reports a failure or the prompt did not come back.
bool RunIn(Exchange& ex, const std::string& dir, const std::string& line, const std::string& name, std::ostream& err) {
  if (!RunInFolder(ex, kListingProfile, dir,
                   {{line, SendFailureText(line.substr(0, line.size() - 1)),
                     [&name](const std::string& l, std::string& failure) {
                       if (!Refused(l)) return LineVerdict::Continue;
                       failure = l.substr(0, l.find_last_not_of("\r\n") + 1) + " '" + name + "'!";
                       return LineVerdict::Fail;
                     }}}))
    return false;
  if (!ex.PromptSeen()) {
    err << kNoPromptText << '\n';
    return false;
  }
  return true;
}

std::string JsonText(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 32) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// Before and after: the entry must be there (or not) as the operation says.
int ShellOperation(const std::string& verb, Exchange& exchange, const Arguments& a, std::ostream& err) {
  const size_t wanted = verb == "mv" ? 2 : 1;
  if (a.paths.size() != wanted || !OnlyOptions(verb, a, {}, err)) {
    if (a.paths.size() != wanted) err << verb << (wanted == 2 ? " needs a path and a new name\n" : " needs one path\n");
    return 2;
  }
  int code = 0;
  const auto t = ParseTarget(verb, a.paths[0], err, &code);
  if (!t) return code;
  std::string newName;
  if (verb == "mv") {
    newName = a.paths[1];
    // A path is a usage error; a bare name the controller does not take is refused as such.
    if (newName.find_first_of("\\/") == std::string::npos && !UsablePath(verb, newName, err)) return 1;
    if (newName.find_first_of("\\/:") == std::string::npos && newName != "." && newName != ".." &&
        (!PlainName(newName) || !ShortName(newName))) {
      err << NotShortText(verb, newName) << '\n';
      return 1;
    }
    if (!PlainName(newName)) {
      err << "mv: the new name is a bare file name, as the shell's ren takes it: the file stays in "
          << "D:" << t->dir << '\n';
      return 2;
    }
  }
  QuietExchange q(exchange);
  const auto before = List(q.ex, t->dir, err);
  if (!before) return 1;
  const RemoteEntry* entry = Find(*before, t->name);
  const bool wantsDir = verb == "rmdir";
  if (verb == "mkdir") {
    if (entry) {
      err << "mkdir: '" << t->shown << "' already exists\n";
      return 1;
    }
  } else if (!entry) {
    err << verb << ": '" << t->shown << "' is not listed on the controller\n";
    return 1;
  } else if (entry->IsDirectory != wantsDir) {
    err << verb << ": '" << t->shown
        << (wantsDir         ? "' is a file, not a directory: rm deletes it\n"
            : verb == "mv" ? "' is a directory: the shell's ren renames files only\n"
                             : "' is a directory: rmdir removes it once it is empty\n");
    return 1;
  }
  // The shell's refusal of a full directory comes in two lines; the listing says it plainly.
  if (wantsDir) {
    const auto inside = List(q.ex, ChildPath(t->dir, entry->Name), err);
    if (!inside) return 1;
    if (!inside->empty()) {
      err << "rmdir: '" << t->shown << "' is not empty (" << inside->size()
          << (inside->size() == 1 ? " entry" : " entries") << "): only an empty directory can be removed\n";
      return 1;
    }
  }
  if (verb == "mv" && !SameName(newName, entry->Name) && Find(*before, newName)) {
    err << "mv: '" << newName << "' already exists in D:" << t->dir << '\n';
    return 1;
  }

  std::string line;
  if (verb == "mkdir") {
    line = MakeDirCommand(t->name);
  } else if (verb == "mv") {
    line = RenameCommand(entry->Name, newName);
  } else {
    line = DeleteCommand(*entry);
  }
  if (!RunIn(q.ex, t->dir, line, verb == "mv" ? newName : t->name, err)) return 1;

  const auto after = List(q.ex, t->dir, err);
  if (!after) return 1;
  const RemoteEntry* now = Find(*after, verb == "mv" ? newName : t->name);
  const bool done = verb == "mkdir" ? (now && now->IsDirectory)
                    : verb == "mv"  ? (now && !now->IsDirectory && (SameName(newName, t->name) || !Find(*after, t->name)))
                                    : now == nullptr;
  if (!done) {
    err << verb << ": the controller's listing of D:" << t->dir << " does not show the change to '" << t->name << "'\n";
    return 1;
  }
  return 0;
}

int Mem(Exchange& exchange, const Arguments& a, std::ostream& err) {
  if (!a.paths.empty() || !OnlyOptions("mem", a, {}, err)) {
    err << "mem takes no arguments\n";
    return 2;
  }
  if (!exchange.Run({1000, 10}, {ExchangeCommand{kMemCommand, SendFailureText(kMemCommand), nullptr, {}, true}}))
    return 1;
  if (!exchange.PromptSeen()) {
    err << kNoPromptText << '\n';
    return 1;
  }
  return 0;
}

int Format(Exchange& exchange, const Arguments& a, std::ostream& err) {
  if (!OnlyOptions("format", a, {"--yes"}, err)) return 2;
  if (!a.paths.empty()) {
    err << "format takes no drive or path: it always erases drive D: (format --yes)\n";
    return 2;
  }
  if (!a.Has("--yes")) {
    err << "format erases all the data on drive D:; give --yes to go ahead\n";
    return 1;
  }
  QuietExchange q(exchange);
  // The controller's format cannot be stopped part-way: Ctrl+C is heard, and
  // told once the controller has finished.
  const platform::InterruptScope interrupts;
  bool ran = false;
  {
    const InterruptNotice notice(err, "format: the controller's format cannot be stopped: waiting for it to finish "
                                      "(Ctrl+C again ends this program at once)");
    // FORMAT's lines end in carriage returns, so its prompt is not seen as one:
    // the empty listing afterwards is what confirms it.
    ran = q.ex.Run(kFormatProfile, {ExchangeCommand{kFormatCommand, SendFailureText(kFormatCommand), {}}});
  }
  if (!ran) return 1;
  const auto after = List(q.ex, "\\", err);
  if (platform::InterruptRequested()) {
    err << "format: stopped by the user, but the controller's format cannot be stopped part-way: "
        << (after && after->empty() ? "it finished erasing drive D:\n"
                                    : "it may still be erasing drive D:; list it before the next command\n");
    return kInterruptedExit;
  }
  if (!after) return 1;
  if (!after->empty()) {
    err << "format: drive D: still lists " << after->size() << " entries afterwards\n";
    return 1;
  }
  return 0;
}

int ReadText(const char* verb, Exchange& exchange, const std::string& dir, const std::string& name,
             std::vector<std::string>& lines, std::ostream& err) {
  QuietExchange q(exchange);
  TextRead read = ReadRemoteText(q.ex, dir, name);
  if (!read.ok) {
    if (!read.failure.empty()) err << verb << ": " << read.failure << '\n';
    return 1;
  }
  lines = std::move(read.lines);
  return 0;
}

const char* const kAutoRunName = "AUTORUN.BAT";

int AutoRun(Exchange& exchange, const Arguments& a, std::ostream& out, std::ostream& err) {
  if (!OnlyOptions("autorun", a, {"--show", "--append"}, err)) return 2;
  if (a.Has("--show")) {
    if (a.paths.size() > 1 || a.Has("--append")) {
      err << "autorun --show takes at most one directory\n";
      return 2;
    }
    std::string dir = "\\";
    if (!a.paths.empty()) {
      dir = NormalizeRemotePath(a.paths[0]);
      if (!UsablePath("autorun", dir, err)) return 1;
    }
    std::vector<std::string> lines;
    if (const int code = ReadText("autorun", exchange, dir, kAutoRunName, lines, err); code != 0) return code;
    for (const std::string& l : lines) out << l << '\n';
    return 0;
  }
  if (a.paths.size() != 1) {
    err << "autorun needs one program path, or --show\n";
    return 2;
  }
  int code = 0;
  const auto t = ParseTarget("autorun", a.paths[0], err, &code);
  if (!t) return code;
  QuietExchange q(exchange);
  const auto before = List(q.ex, t->dir, err);
  if (!before) return 1;
  const RemoteEntry* entry = Find(*before, t->name);
  if (!entry || !MenuStateFor(entry).setToAutoRun) {
    err << "autorun: '" << t->shown
        << (entry ? "' is not a program: only files named .EXE can be set to AutoRun\n" : "' is not listed on the controller\n");
    return 1;
  }
  const std::string name = entry->Name;
  const std::string batch = "D:" + ChildPath(t->dir, kAutoRunName);
  // Checked before the change: a line appended after NUL bytes (an uploaded
  // file's block fill) would not be a line of its own.
  if (a.Has("--append") && Find(*before, kAutoRunName)) {
    QuietExchange r(exchange);
    const TextRead old = ReadRemoteText(r.ex, t->dir, kAutoRunName);
    if (!old.ok) {
      err << "autorun: " << (old.failure.empty() ? batch + " could not be read" : old.failure)
          << "; nothing was changed\n";
      return 1;
    }
    if (old.nulBytes) {
      err << "autorun: " << batch << " holds NUL bytes (the fill of an uploaded file), after which an appended "
          << "line would not start a line of its own; nothing was changed (autorun without --append writes it anew)\n";
      return 1;
    }
  }
  if (!RunIn(q.ex, t->dir, AutoRunCommand(name, a.Has("--append")), kAutoRunName, err)) return 1;
  // Confirmed only by reading the batch file back.
  std::vector<std::string> lines;
  if (ReadText("autorun", exchange, t->dir, kAutoRunName, lines, err) != 0) {
    err << "autorun: the line " << name << " was written to " << batch << ", but it could not be read back\n";
    return 1;
  }
  auto trimmed = [](std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
  };
  if (lines.empty() || trimmed(lines.back()) != name) {
    err << "autorun: the line " << name << " was written to " << batch << ", but the file does not end with it "
        << "afterwards (autorun --show prints it)\n";
    return 1;
  }
  return 0;
}

int Cat(Exchange& exchange, const Arguments& a, std::ostream& out, std::ostream& err) {
  if (a.paths.size() != 1 || !OnlyOptions("cat", a, {}, err)) {
    if (a.paths.size() != 1) err << "cat needs one path\n";
    return 2;
  }
  int code = 0;
  const auto t = ParseTarget("cat", a.paths[0], err, &code);
  if (!t) return code;
  if (std::string refusal = BinaryRefusal(t->name); !refusal.empty()) {
    err << "cat: " << refusal << '\n';
    return 1;
  }
  std::vector<std::string> lines;
  if (const int code = ReadText("cat", exchange, t->dir, t->name, lines, err); code != 0) return code;
  for (const std::string& l : lines) out << l << '\n';
  return 0;
}

int Get(Exchange& exchange, const Arguments& a, std::ostream& err) {
  if (a.paths.empty() || a.paths.size() > 2 || !OnlyOptions("get", a, {}, err)) {
    if (a.paths.empty() || a.paths.size() > 2) err << "get needs one controller path and at most one host file\n";
    return 2;
  }
  int code = 0;
  const auto t = ParseTarget("get", a.paths[0], err, &code);
  if (!t) return code;
  if (std::string refusal = BinaryRefusal(t->name); !refusal.empty()) {
    err << "get: " << refusal << '\n';
    return 1;
  }
  std::string local = a.paths.size() == 2 ? a.paths[1] : t->name;
  if (platform::NonRegularKind(local) == "Folder") {
    if (local.find_last_of(platform::PathSeparators()) != local.size() - 1) local += platform::PathSeparator();
    local += t->name;
  }
  // Checked before the controller hears anything; the file is created new, so
  // nothing this run did not make is ever replaced.
  const std::string kind = platform::NonRegularKind(local);
  std::FILE* existing = kind.empty() ? platform::OpenFileForReading(local) : nullptr;
  if (existing) std::fclose(existing);
  if (existing || !kind.empty()) {
    err << "get: '" << local << "' already exists: it is not replaced\n";
    return 1;
  }
  std::vector<std::string> lines;
  {
    // The shell types the file to its end whatever the host does: Ctrl+C is
    // heard, and the controller left at its prompt.
    const platform::InterruptScope interrupts;
    int code = 1;
    {
      const InterruptNotice notice(err, "get: stopping once the controller has finished typing the file "
                                        "(Ctrl+C again ends this program at once)");
      code = ReadText("get", exchange, t->dir, t->name, lines, err);
    }
    if (platform::InterruptRequested()) {
      err << "get: stopped by the user; the controller is back at its prompt and '" << local
          << "' was not created\n";
      return kInterruptedExit;
    }
    if (code != 0) return code;
  }
  std::string reason;
  std::FILE* f = platform::CreateOwnerOnlyFile(local, &reason);
  if (!f) {
    err << "get: cannot create '" << local << "': " << reason << '\n';
    return 1;
  }
  // The controller's own line ends, so the file is as the shell stores a text file.
  const std::string text = JoinLines(lines, "\r\n");
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !written) {
    platform::RemoveOwnFile(local);
    err << "get: writing '" << local << "' failed\n";
    return 1;
  }
  return 0;
}

}  // namespace

int ListRemoteCommand(Exchange& exchange, const std::vector<std::string>& args, std::ostream& out,
                      std::ostream& err) {
  const Arguments a = Split(args);
  if (a.paths.size() > 1) {
    err << "ls takes at most one path\n";
    return 2;
  }
  if (!OnlyOptions("ls", a, {"--json"}, err)) return 2;
  const std::string path = NormalizeRemotePath(a.paths.empty() ? std::string() : a.paths[0]);
  if (!UsablePath("ls", path, err)) return 1;
  QuietExchange q(exchange);
  RemoteListing listing;
  RemoteOps ops(q.ex, listing);
  ops.AgreedListings = true;  // scripts take what ls prints as fact
  if (!ops.Show(path).ok) {
    if (!ops.ListingDisagreement.empty()) err << ops.ListingDisagreement << '\n';
    return 1;
  }
  // A listing cut short (a hung-up controller) must not pass for the whole directory.
  if (!q.ex.PromptSeen()) {
    err << kNoPromptText << '\n';
    return 1;
  }
  if (a.Has("--json")) {
    out << "{\"path\": " << JsonText("D:" + path) << ", \"entries\": [";
    for (size_t i = 0; i < listing.Entries.size(); ++i) {
      const RemoteEntry& e = listing.Entries[i];
      out << (i ? ",\n  " : "\n  ") << "{\"name\": " << JsonText(e.Name) << ", \"size\": " << e.Size
          << ", \"modified\": " << JsonText(e.Modified) << ", \"directory\": " << (e.IsDirectory ? "true" : "false")
          << '}';
    }
    out << "],\n \"bytesFree\": " << listing.BytesFree << "}\n";
    return 0;
  }
  for (const RemoteEntry& e : listing.Entries)
    out << e.Name << '\t' << e.Size << '\t' << e.Modified << '\t' << (e.IsDirectory ? "<DIR>" : "") << '\n';
  out << listing.BytesFree << " bytes free\n";
  return 0;
}

int RemoteFileCommand(const std::string& verb, Exchange& exchange, const std::vector<std::string>& args,
                      std::ostream& out, std::ostream& err) {
  const Arguments a = Split(args);
  if (verb == "mem") return Mem(exchange, a, err);
  if (verb == "format") return Format(exchange, a, err);
  if (verb == "autorun") return AutoRun(exchange, a, out, err);
  if (verb == "cat") return Cat(exchange, a, out, err);
  if (verb == "get") return Get(exchange, a, err);
  return ShellOperation(verb, exchange, a, err);
}

}  // namespace vorn
