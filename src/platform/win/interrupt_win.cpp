#include <windows.h>

#include <atomic>

#include "platform/interrupt.h"

namespace vorn::platform {

namespace {

std::atomic<bool> g_requested{false};

// Runs on a thread of its own that the console starts.
BOOL WINAPI OnControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  // Asked twice: the next handler (the default one) ends the program.
  return g_requested.exchange(true) ? FALSE : TRUE;
}

}  // namespace

InterruptScope::InterruptScope() {
  g_requested = false;
  installed_ = SetConsoleCtrlHandler(OnControl, TRUE) != 0;
}

InterruptScope::~InterruptScope() {
  if (installed_) SetConsoleCtrlHandler(OnControl, FALSE);
}

bool InterruptRequested() { return g_requested.load(); }

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace vorn::platform
