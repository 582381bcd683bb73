#include "app/cli.h"

#include "app/version.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <ostream>

#include "netconf/netconf_cli.h"
#include "ioconf/ioconf_cli.h"
#include "image/image_cli.h"
#include "remote/remote_cli.h"

#include "app/fleet.h"
#include "transfer/put_command.h"

namespace vorn::cli {

void StreamPane::AppendLine(const std::string& text) { out_ << text << '\n' << std::flush; }

void StreamUi::Error(const std::string& text) { err_ << StreamText(text) << '\n' << std::flush; }

void StreamUi::Information(const std::string& text) { err_ << StreamText(text) << '\n' << std::flush; }

namespace {

int Exec(Context& c) {
  if (c.args.size() != 1 || c.args[0].empty()) {
    c.err << "exec needs one command line\n";
    return 2;
  }
  if (!c.exchange.RunCommand(c.args[0] + "\r")) return 1;
  // Scripts trust the exit code: output that never reached the prompt may be cut short.
  if (!c.exchange.PromptSeen()) {
    c.err << kNoPromptText << '\n';
    return 1;
  }
  return 0;
}

std::function<int(Context&)> Remote(const char* verb) {
  return [verb](Context& c) { return RemoteFileCommand(verb, c.exchange, c.args, c.out, c.err); };
}

}  // namespace

const std::vector<Subcommand>& Subcommands() {
  static const std::vector<Subcommand> table = {
      {"exec", "exec \"COMMAND\"            type one command line and show what it prints", Exec},
      {"ls", "ls [PATH] [--json]        list a directory of drive D: and its free bytes",
       [](Context& c) { return ListRemoteCommand(c.exchange, c.args, c.out, c.err); }},
      {"put", "put FILE... [--to PATH] [--force]  upload host files into a controller directory (default\n"
              "                            the root); a file of that name there is replaced only with --force\n"
              "  put --recursive DIR [--to PATH]  upload a folder with everything in it as PATH\\DIR",
       [](Context& c) { return RunPut(c.port, c.exchange.Factory(), c.args, c.pane, c.err); }},
      {"mkdir", "mkdir D:\\PATH             make a directory", Remote("mkdir")},
      {"rmdir", "rmdir D:\\PATH             remove an empty directory", Remote("rmdir")},
      {"rm", "rm D:\\PATH                delete a file", Remote("rm")},
      {"mv", "mv D:\\PATH NEWNAME        rename a file in its directory (as the shell's ren)", Remote("mv")},
      {"cat", "cat D:\\PATH               print a text file (the shell's type: text files only)", Remote("cat")},
      {"get", "get D:\\PATH [LOCAL]       save a text file on the host; an existing LOCAL is never replaced",
       Remote("get")},
      {"mem", "mem                       show the controller's memory report", Remote("mem")},
      {"format", "format --yes              erase everything on drive D:", Remote("format")},
      {"autorun", "autorun D:\\PATH\\PROG.EXE [--append] | autorun --show [D:\\DIR]\n"
                  "                            write AutoRun.bat in the program's directory naming it (--append adds\n"
                  "                            the line, as for the Vorn-7730/TCP), or print AutoRun.bat",
       Remote("autorun")},
      {"net", "net address --dhcp | --ip A.B.C.D [--gateway A.B.C.D] [--dns A.B.C.D]\n"
              "  net users --ftp ID PASSWORD|--ftp-password-file FILE [--ftp-rights dcwr]\n"
              "            --http ID PASSWORD|--http-password-file FILE [--http-rights epg]\n"
              "                            write and upload the network settings; a PASSWORD - is read\n"
              "                            from standard input (unseen on a terminal), FILE's first line\n"
              "                            is one; a password on the command line is visible to other\n"
              "                            users of this machine",
       [](Context& c) { return netconf::NetCommand(c.exchange, c.args, netconf::StandardInputPasswords(), c.err); }},
      {"init", "init [--httpftpd] [--ftpd] [--httpd] [--defaults DIR] --yes\n"
               "                            format drive D: and install the default files and servers\n"
               "                            (DIR laid out as the installation's Source folder)",
       [](Context& c) { return netconf::InitCommand(c.exchange, c.args, c.err); }},
      {"ioconf", "ioconf get [FILE] | set FILE  read the I/O configuration into FILE (or standard output), or apply one",
       [](Context& c) { return IOConfCommand(c.exchange, c.args, c.out, c.err); }},
      {"backup", "backup IMAGE [--tools DIR]  copy the controller's whole drive D: into a 1 MiB image file",
       [](Context& c) { return RunImageCommand(false, c.port, c.exchange.Factory(), c.args, c.pane, c.err); }},
      {"restore", "restore IMAGE --yes [--tools DIR]  replace everything on drive D: with an image file",
       [](Context& c) { return RunImageCommand(true, c.port, c.exchange.Factory(), c.args, c.pane, c.err); }},
  };
  return table;
}

namespace {
void Usage(std::ostream& err) {
  err << "Usage: vorn7730-cli --port PORT SUBCOMMAND [ARGS]\n"
         "  or:  vorn7730-cli --port PORT --port PORT... | --ports FILE [--json] SUBCOMMAND [ARGS]\n"
         "\n"
         "Runs one operation on a VORN-7730 series controller over its serial console and\n"
         "exits 0 only when the controller confirmed it (1 on failure, 2 for wrong arguments).\n"
         "PORT is a serial device, socket://HOST:PORT (a device server's raw TCP port) or\n"
         "rfc2217://HOST:PORT (its Telnet port with the COM-PORT option). With several ports (or a\n"
         "FILE of them, one a line) the subcommand runs on all at once, each line of output after\n"
         "\"PORT: \"; {port} in an argument stands for the port's name made fit for a file name;\n"
         "a summary follows on standard error, or as JSON on standard output with --json.\n"
         "\n";
  for (const Subcommand& s : Subcommands()) err << "  " << s.usage << '\n';
  err << "  --port PORT               the controller's serial port (/dev/ttyUSB0, COM5)\n"
         "  --help                    show this help and exit\n"
         "  --version                 show the version and exit\n";
}
}  // namespace

int Main(int argc, char** argv, std::ostream& out, std::ostream& err, PortFactory factory) {
  std::vector<std::string> ports;
  bool fleet = false;
  bool json = false;
  int i = 1;
  for (; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--port") && i + 1 < argc) {
      ports.push_back(argv[++i]);
    } else if (!std::strncmp(argv[i], "--port=", 7)) {
      ports.push_back(argv[i] + 7);
    } else if (!std::strcmp(argv[i], "--ports") && i + 1 < argc) {
      fleet = true;
      // An unusable input file is refused as every input file is: one line, exit 1.
      if (const std::string why = ReadPortsFile(argv[++i], ports); !why.empty()) {
        err << why << '\n';
        return 1;
      }
    } else if (!std::strcmp(argv[i], "--json")) {
      fleet = json = true;
    } else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      Usage(out);
      return 0;
    } else if (!std::strcmp(argv[i], "--version")) {
      out << "vorn7730-cli " << VORN7730_VERSION << '\n';
      return 0;
    } else {
      break;
    }
  }
  if (ports.size() > 1 || fleet) {
    if (i >= argc || ports.empty() ||
        std::any_of(ports.begin(), ports.end(), [](const std::string& p) { return p.empty(); })) {
      Usage(err);
      return 2;
    }
    return RunFleet(ports, {argv + i, argv + argc}, json, out, err, factory);
  }
  const std::string port = ports.empty() ? std::string() : ports.front();
  if (i >= argc || port.empty()) {
    Usage(err);
    return 2;
  }
  const std::string name = argv[i++];
  for (const Subcommand& s : Subcommands()) {
    if (name != s.name) continue;
    StreamPane pane(out);
    StreamUi ui(err);
    NoCursor cursor;
    Exchange exchange(pane, cursor, ui, std::move(factory));
    exchange.ComName = port;
    Context context{port, {argv + i, argv + argc}, exchange, pane, ui, out, err};
    int code = 1;
    // Whatever goes wrong ends in one line and exit 1, never in an abort.
    try {
      code = s.run(context);
    } catch (const std::bad_alloc&) {
      err << name << ": out of memory\n";
    } catch (const std::exception& e) {
      err << name << ": " << e.what() << '\n';
    } catch (...) {
      err << name << ": unexpected failure\n";
    }
    // What a script reads on standard output must have arrived whole.
    out.flush();
    if (!out) {
      err << name << ": writing to standard output failed\n";
      if (code == 0) code = 1;
    }
    err.flush();
    return code;
  }
  err << "unknown subcommand '" << name << "'\n";
  Usage(err);
  return 2;
}

}  // namespace vorn::cli
