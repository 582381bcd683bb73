#pragma once
// An exchange runs on the GUI thread and blocks it for seconds, most of them
// spent waiting on the line. Ports call LineWaiting() every few milliseconds of
// such a wait; while an exchange runs on that thread (a LineWaitScope is open)
// this hands control to a hook the window layer installs, which repaints the
// window without taking input or running handlers. Outside a scope, or without
// a hook, LineWaiting() does nothing.
#include <cstdint>

namespace vorn {

// How long a port waits at most between two calls of LineWaiting().
constexpr uint32_t kLineWaitSliceMs = 20;

class LineWaitHook {
 public:
  virtual ~LineWaitHook() = default;
  // Runs on the waiting thread, only while a scope is open there.
  virtual void Waiting() = 0;
};

// One hook for the process; nullptr removes it.
void SetLineWaitHook(LineWaitHook* hook);

// Open for the length of one exchange on the calling thread.
class LineWaitScope {
 public:
  LineWaitScope();
  ~LineWaitScope();
  LineWaitScope(const LineWaitScope&) = delete;
  LineWaitScope& operator=(const LineWaitScope&) = delete;

  // Another scope was already open on this thread: something tried to start
  // an exchange from inside another one's wait.
  bool Nested() const { return nested_; }

 private:
  bool nested_;
};

void LineWaiting();

}  // namespace vorn
