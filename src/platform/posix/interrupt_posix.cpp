#include <signal.h>
#include <unistd.h>

#include "platform/interrupt.h"

namespace vorn::platform {

namespace {

volatile sig_atomic_t g_requested = 0;
struct sigaction g_previous {};

void OnInterrupt(int signal) {
  if (g_requested) {
    // Asked twice: the user wants out now.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    return;
  }
  g_requested = 1;
}

}  // namespace

InterruptScope::InterruptScope() {
  g_requested = 0;
  struct sigaction current {};
  if (sigaction(SIGINT, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) return;
  struct sigaction request {};
  request.sa_handler = OnInterrupt;
  sigemptyset(&request.sa_mask);
  request.sa_flags = SA_RESTART;
  installed_ = sigaction(SIGINT, &request, &g_previous) == 0;
}

InterruptScope::~InterruptScope() {
  if (installed_) sigaction(SIGINT, &g_previous, nullptr);
}

bool InterruptRequested() { return g_requested != 0; }

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace vorn::platform
