#pragma once
// The synchronised call: a background thread hands a step to the GUI thread and
// waits until it has run. Port reads of the terminal and pane changes happen
// only on the GUI thread this way.
#include <functional>

namespace vorn {

class GuiInvoker {
 public:
  virtual ~GuiInvoker() = default;
  // Runs step on the GUI thread and waits for it. Returns false when the step
  // did not run because the GUI no longer takes steps (shutdown) or the caller
  // was asked to give up (see WorkerThread).
  virtual bool Invoke(const std::function<void()>& step) = 0;
};

// Runs every step at once on the calling thread: for tests and command-line
// tools, where there is no separate GUI thread.
class DirectInvoker : public GuiInvoker {
 public:
  bool Invoke(const std::function<void()>& step) override {
    step();
    return true;
  }
};

}  // namespace vorn
