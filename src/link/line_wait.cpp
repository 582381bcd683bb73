#include "link/line_wait.h"

#include <atomic>

namespace vorn {

namespace {
std::atomic<LineWaitHook*> g_hook{nullptr};
thread_local int t_depth = 0;
}  // namespace

void SetLineWaitHook(LineWaitHook* hook) { g_hook.store(hook); }

LineWaitScope::LineWaitScope() : nested_(t_depth > 0) { ++t_depth; }

LineWaitScope::~LineWaitScope() { --t_depth; }

void LineWaiting() {
  if (t_depth == 0) return;
  if (LineWaitHook* hook = g_hook.load()) hook->Waiting();
}

}  // namespace vorn
