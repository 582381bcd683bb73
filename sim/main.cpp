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

#include "sim/virtual_controller.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: vorn7730-sim [--link PATH] [--drive FILE] [--no-echo] [--wrong-echo]\n"
               "                    [--stale TEXT] [--long-line] [--transfer normal|nak|silent|can|noeot]\n"
               "                    [--io-modules T,T,...] [--four-slots] [--cfgio-on-d] [--cfgio-cut]\n"
               "                    [--image-bad-crc N[,N...]] [--image-silent-after N] [--image-invalid-request N]\n"
               "                    [--image-bytes N] [--baud N] [--adapter-latency MS]\n"
               "Prints the pseudo-terminal's path on its first line and serves until interrupted.\n"
               "--baud N paces the line as a serial port at N baud would (10 bits a byte).\n"
               "--adapter-latency MS holds output like a USB-serial adapter whose latency timer\n"
               "    is MS milliseconds (1 to 255): until 62 bytes wait or the timer fires.\n"
               "--image-bytes N ends the image programs after the first N bytes of the drive.\n");
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
    if (a == "--link") {
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
      return a == "--help" || a == "-h" ? 0 : 2;
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
