#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/interrupt.h"

namespace vorn::platform {

namespace {

std::atomic<bool> g_requested{false};
// Scopes nest (the transfers of many ports inside one run of them all): the
// outermost one installs the handler and clears the flag.
std::mutex g_scopeMutex;
int g_depth = 0;
bool g_installed = false;

// Runs on a thread of its own that the console starts.
BOOL WINAPI OnControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  // Asked twice: the next handler (the default one) ends the program.
  return g_requested.exchange(true) ? FALSE : TRUE;
}

}  // namespace

InterruptScope::InterruptScope() {
  const std::lock_guard<std::mutex> lock(g_scopeMutex);
  if (g_depth++ > 0) return;
  g_requested = false;
  g_installed = installed_ = SetConsoleCtrlHandler(OnControl, TRUE) != 0;
}

InterruptScope::~InterruptScope() {
  const std::lock_guard<std::mutex> lock(g_scopeMutex);
  if (--g_depth > 0) return;
  if (g_installed) SetConsoleCtrlHandler(OnControl, FALSE);
  g_installed = false;
}

bool InterruptRequested() { return g_requested.load(); }

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace vorn::platform
