// Program entry of the utility's window.
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include <string>
#include <vector>

#include "app/ui/application.h"
#include "app/version.h"
#include "platform/host.h"
#include "widgets/qt_ui.h"
#include "app/ui/tfrm_main.h"
#include "local/ui/local_pane.h"

namespace {

void Usage(std::FILE* to) {
  std::fprintf(to,
               "Usage: vorn7730-utility [OPTION]...\n"
               "\n"
               "Maintenance of VORN-7730 series controllers over their RS-232 console: files,\n"
               "terminal, I/O modules, network settings and drive images.\n"
               "\n"
               "  --simulate         serve the built-in virtual controller and select its port\n"
               "  --simulate-baud N  as --simulate, with its line paced to N baud like a real one\n"
               "  --simulate-adapter-latency MS\n"
               "                     as --simulate, its output held like a USB-serial adapter's\n"
               "                     with an MS millisecond latency timer (1 to 255)\n"
               "  --drive FILE       keep the virtual controller's drive D: in this image file\n"
               "  --port PATH        offer this serial device too (repeatable); also a device server's\n"
               "                     socket://HOST:PORT (raw TCP) or rfc2217://HOST:PORT (Telnet)\n"
               "  --log FILE         append every line from the controller to FILE, each after its time\n"
               "  --screenshot FILE  save a picture of the window after start-up and quit\n"
               "  --help             show this help and exit\n"
               "  --version          show the version and exit\n");
}

// --help and --version are answered before Qt starts, so that they work
// without a display (a terminal over ssh, the manual page generator); -1
// when neither was asked for.
int AnswerWithoutWindow(int argc, char** argv) {
  const auto takesValue = [](const char* arg) {
    for (const char* option : {"--simulate-baud", "--simulate-adapter-latency", "--drive", "--port", "--log",
                               "--screenshot"})
      if (!std::strcmp(arg, option)) return true;
    return false;
  };
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (takesValue(arg)) {
      ++i;
    } else if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
      Usage(stdout);
      return 0;
    } else if (!std::strcmp(arg, "--version")) {
      std::printf("vorn7730-utility %s\n", VORN7730_VERSION);
      return 0;
    }
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  vorn::platform::OpenClosedStandardStreams();
  vorn::platform::UseStartingConsole();
  if (const int code = AnswerWithoutWindow(argc, argv); code >= 0) return code;
  vorn::ui::QtUi ui;
  vorn::ui::Application app(argc, argv, ui);
  // The name titles the message boxes. No display name: some window systems
  // would append it to every window's caption.
  QApplication::setApplicationName("VORN-7730 Series Utility");
  QApplication::setApplicationVersion(VORN7730_VERSION);
  // Ties the windows to the installed desktop entry (its icon, on Wayland).
  QGuiApplication::setDesktopFileName("vorn7730-utility");
#ifndef _WIN32
  // The icon the package installs; a Windows program carries its own.
  if (const QIcon icon = QIcon::fromTheme("vorn7730-utility"); !icon.isNull()) QApplication::setWindowIcon(icon);
#endif

  // What the user typed, in UTF-8 on every host (the Qt options are taken
  // out by now); paths such as --log's may hold any character.
  const std::vector<std::string> args = vorn::platform::Utf8Arguments(argc, argv);
  const int count = static_cast<int>(args.size());
  vorn::ui::StartOptions options;
  QString screenshot;
  for (int i = 1; i < count; ++i) {
    const char* arg = args[i].c_str();
    auto value = [&]() -> const char* {
      if (i + 1 >= count) {
        Usage(stderr);
        std::exit(2);
      }
      return args[++i].c_str();
    };
    if (!std::strcmp(arg, "--simulate")) options.simulate = true;
    else if (!std::strcmp(arg, "--simulate-baud")) {
      const char* text = value();
      char* end = nullptr;
      const unsigned long baud = std::strtoul(text, &end, 10);
      if (!*text || *end || baud == 0 || baud > 4000000) {
        Usage(stderr);
        return 2;
      }
      options.simulate = true;
      options.simulatorBaud = static_cast<uint32_t>(baud);
    } else if (!std::strcmp(arg, "--simulate-adapter-latency")) {
      const char* text = value();
      char* end = nullptr;
      const unsigned long ms = std::strtoul(text, &end, 10);
      if (!*text || *end || ms == 0 || ms > 255) {
        Usage(stderr);
        return 2;
      }
      options.simulate = true;
      options.simulatorAdapterLatencyMs = static_cast<uint32_t>(ms);
    } else if (!std::strcmp(arg, "--drive")) options.simulatorDrive = value();
    else if (!std::strcmp(arg, "--port")) options.extraPorts.push_back(value());
    else if (!std::strcmp(arg, "--log")) {
      options.logFile = value();
      // Asked for a record, the user must not be left without one unseen.
      if (options.logFile.empty()) {
        std::fprintf(stderr, "vorn7730-utility: --log needs a file name\n");
        return 2;
      }
    }
    else if (!std::strcmp(arg, "--screenshot")) screenshot = QString::fromUtf8(value());
    else {
      Usage(stderr);
      return 2;
    }
  }

  try {
    vorn::ui::TfrmMain window(ui, options);
    // A record that was asked for and cannot be kept is not started without.
    if (!window.LogReady()) return 1;
    ui.SetParent(&window);
    ui.StartFolder = [&window] { return window.Local().ShownFolder(); };
    vorn::ui::ShowMaximisedCentred(window);
    // On the screen before the first listing keeps the GUI thread busy.
    vorn::ui::PaintNow(window);
    if (options.simulate) {
      // The virtual controller is there at once: show its drive.
      QTimer::singleShot(0, &window, [&window] { window.cbxCOMChange(); });
    }
    if (!screenshot.isEmpty()) {
      QTimer::singleShot(2500, &window, [&window, screenshot] {
        window.grab().save(screenshot);
        window.hide();
        QApplication::quit();
      });
    }
    return app.exec();
  } catch (const std::exception& e) {
    ui.SetParent(nullptr);
    ui.StartFolder = nullptr;
    ui.Error(e.what());
    return 1;
  }
}
