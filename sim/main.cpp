// vorn7730-sim: serves the simulated controller on a pseudo-terminal until SIGINT/SIGTERM.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/version.h"
#include "sim/virtual_controller.h"

namespace {

void Usage(std::FILE* to = stderr) {
  std::fprintf(to,
               "Usage: vorn7730-sim [OPTION]...\n"
               "\n"
               "A virtual VORN-7730 series controller, for trying the utility and the command line\n"
               "without hardware. Prints the pseudo-terminal's path on its first line and serves\n"
               "until interrupted.\n"
               "\n"
               "  --link PATH            a symbolic link to the pseudo-terminal, removed at the end\n"
               "  --drive FILE           keep drive D: in this 1 MiB image file\n"
               "  --baud N               pace the line as a serial port at N baud would (10 bits a byte)\n"
               "  --adapter-latency MS   hold output like a USB-serial adapter whose latency timer\n"
               "                         is MS milliseconds (1 to 255): until 62 bytes wait or it fires\n"
               "  --io-modules T,T,...   the I/O modules' type codes, slot 0 first\n"
               "  --four-slots           a four-slot controller\n"
               "  --as-real-controller   answer as a real controller: \"ver\" does not name the\n"
               "                         virtual controller, and a stand-in program on D: only\n"
               "                         prints its line\n"
               "  --help                 show this help and exit\n"
               "  --version              show the version and exit\n"
               "\n"
               "Misbehaviour, for tests:\n"
               "  --no-echo, --wrong-echo  echo nothing, or a wrong byte for every character\n"
               "  --stale TEXT           send TEXT once before any command\n"
               "  --long-line            answer every command with 1500 bytes without a line end\n"
               "  --pause-output MS      stop for MS milliseconds (1 to 10000) after every fourth\n"
               "                         line a command prints\n"
               "  --transfer normal|nak|silent|can|noeot\n"
               "                         how the receiving program answers an upload\n"
               "  --cfgio-on-d           the I/O tool only on D:\n"
               "  --cfgio-cut            the I/O tool stops before its trailer\n"
               "  --image-bad-crc N[,N...]  spoil these blocks' CRC once\n"
               "  --image-silent-after N    the image programs fall silent after block N\n"
               "  --image-invalid-request N the restore program asks for block N wrongly\n"
               "  --image-bytes N        end the image programs after the first N bytes of the drive\n"
               "  --noise RATE           flip every bit of every byte, both ways, with probability\n"
               "                         RATE (such as 1e-5)\n"
               "  --noise-seed N         the same seed makes the same flips again (default 1)\n");
}

// A block number; anything else is a usage error.
int Number(const std::string& text) {
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || n < 0 || n > 0xFFFFF) {
    Usage();
    std::exit(2);
  }
  return static_cast<int>(n);
}

// The pseudo-terminal opened later would take the number of a closed standard
// stream, and the path printed below would be typed into the shell it serves.
void OpenClosedStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  OpenClosedStandardStreams();
  vsim::Options opt;
  std::string link;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        Usage();
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      Usage(stdout);
      return 0;
    } else if (a == "--version") {
      std::printf("vorn7730-sim %s\n", VORN7730_VERSION);
      return 0;
    } else if (a == "--link") {
      link = value();
    } else if (a == "--drive") {
      opt.driveFile = value();
    } else if (a == "--no-echo") {
      opt.echo = false;
    } else if (a == "--wrong-echo") {
      opt.wrongEcho = true;
    } else if (a == "--stale") {
      opt.staleOutput = value();
    } else if (a == "--long-line") {
      opt.longLineWithoutEnd = true;
    } else if (a == "--io-modules") {
      opt.ioModules = value();
    } else if (a == "--four-slots") {
      opt.fourSlots = true;
    } else if (a == "--cfgio-on-d") {
      opt.cfgioOnDriveD = true;
    } else if (a == "--as-real-controller") {
      opt.asRealController = true;
    } else if (a == "--cfgio-cut") {
      opt.cfgioCutOff = true;
    } else if (a == "--baud") {
      const std::string n = value();
      char* end = nullptr;
      const unsigned long baud = std::strtoul(n.c_str(), &end, 10);
      if (n.empty() || *end != '\0' || baud == 0 || baud > 4000000) {
        Usage();
        return 2;
      }
      opt.baud = uint32_t(baud);
    } else if (a == "--adapter-latency") {
      const std::string n = value();
      char* end = nullptr;
      const unsigned long ms = std::strtoul(n.c_str(), &end, 10);
      if (n.empty() || *end != '\0' || ms == 0 || ms > 255) {
        Usage();
        return 2;
      }
      opt.adapterLatencyMs = uint32_t(ms);
    } else if (a == "--pause-output") {
      const std::string n = value();
      char* end = nullptr;
      const unsigned long ms = std::strtoul(n.c_str(), &end, 10);
      if (n.empty() || *end != '\0' || ms == 0 || ms > 10000) {
        Usage();
        return 2;
      }
      opt.pauseOutputMs = uint32_t(ms);
    } else if (a == "--noise") {
      const std::string n = value();
      char* end = nullptr;
      const double rate = std::strtod(n.c_str(), &end);
      // Beyond one half the line carries more noise than signal.
      if (n.empty() || *end != '\0' || !(rate >= 0 && rate <= 0.5)) {
        Usage();
        return 2;
      }
      opt.noiseRate = rate;
    } else if (a == "--noise-seed") {
      const std::string n = value();
      char* end = nullptr;
      errno = 0;
      const unsigned long long seed = std::strtoull(n.c_str(), &end, 10);
      if (n.empty() || n[0] == '-' || *end != '\0' || errno == ERANGE) {
        Usage();
        return 2;
      }
      opt.noiseSeed = seed;
    } else if (a == "--transfer") {
      std::string m = value();
      if (m == "normal") opt.transfer = vsim::TransferMode::Normal;
      else if (m == "nak") opt.transfer = vsim::TransferMode::NakEveryBlock;
      else if (m == "silent") opt.transfer = vsim::TransferMode::Silent;
      else if (m == "can") opt.transfer = vsim::TransferMode::CanAfterFirstBlock;
      else if (m == "noeot") opt.transfer = vsim::TransferMode::EotUnanswered;
      else {
        Usage();
        return 2;
      }
    } else if (a == "--image-bad-crc") {
      std::string list = value();
      for (size_t p = 0; p < list.size();) {
        size_t comma = list.find(',', p);
        if (comma == std::string::npos) comma = list.size();
        opt.image.badCrcBlocks.push_back(static_cast<uint32_t>(Number(list.substr(p, comma - p))));
        p = comma + 1;
      }
    } else if (a == "--image-silent-after") {
      opt.image.silentAfter = Number(value());
    } else if (a == "--image-bytes") {
      opt.image.stopAfterBytes = static_cast<uint32_t>(Number(value()));
    } else if (a == "--image-invalid-request") {
      opt.image.invalidRequestAt = Number(value());
    } else {
      Usage();
      return 2;
    }
  }

  // Block the signals before any thread starts so that only sigwait below sees them.
  sigset_t sigs;
  sigemptyset(&sigs);
  sigaddset(&sigs, SIGINT);
  sigaddset(&sigs, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &sigs, nullptr);

  vsim::VirtualController vc(opt);
  std::string error;
  if (!vc.Start(&error)) {
    std::fprintf(stderr, "vorn7730-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", vc.PortPath().c_str());
  std::fflush(stdout);

  if (!link.empty()) {
    struct stat st;
    // Replace a stale link from an earlier run, but never a real file.
    if (lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) unlink(link.c_str());
    if (symlink(vc.PortPath().c_str(), link.c_str()) != 0) {
      std::fprintf(stderr, "vorn7730-sim: cannot create link %s: %s\n", link.c_str(), std::strerror(errno));
      link.clear();
    }
  }

  int sig = 0;
  sigwait(&sigs, &sig);
  vc.Stop();
  if (!link.empty()) unlink(link.c_str());
  return 0;
}
