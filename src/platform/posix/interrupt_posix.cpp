#include <signal.h>
#include <unistd.h>

#include <mutex>

#include "platform/interrupt.h"

namespace vorn::platform {

namespace {

volatile sig_atomic_t g_requested = 0;
struct sigaction g_previous {};
// Scopes nest (the transfers of many ports inside one run of them all): the
// outermost one installs the handler and clears the flag, so an inner one
// starting later does not forget a Ctrl+C that came before it.
std::mutex g_scopeMutex;
int g_depth = 0;
bool g_installed = false;

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
  const std::lock_guard<std::mutex> lock(g_scopeMutex);
  if (g_depth++ > 0) return;
  g_requested = 0;
  struct sigaction current {};
  if (sigaction(SIGINT, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) return;
  struct sigaction request {};
  request.sa_handler = OnInterrupt;
  sigemptyset(&request.sa_mask);
  request.sa_flags = SA_RESTART;
  g_installed = installed_ = sigaction(SIGINT, &request, &g_previous) == 0;
}

InterruptScope::~InterruptScope() {
  const std::lock_guard<std::mutex> lock(g_scopeMutex);
  if (--g_depth > 0) return;
  if (g_installed) sigaction(SIGINT, &g_previous, nullptr);
  g_installed = false;
}

bool InterruptRequested() { return g_requested != 0; }

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace vorn::platform
