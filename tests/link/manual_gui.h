#pragma once
// The test's own thread as the GUI thread: steps handed by worker threads run
// only when the test pumps.
#include <chrono>
#include <thread>

#include "link/worker_thread.h"

namespace vorn::test {

template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class ManualGui : public PostingInvoker {
 public:
  ManualGui()
      : PostingInvoker([] {}, [id = std::this_thread::get_id()] { return std::this_thread::get_id() == id; }) {}

  // Runs the handed steps until pred holds; false when limit passed first.
  template <typename Pred>
  bool PumpUntil(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    return WaitUntil(
        [&] {
          RunPending();
          return pred();
        },
        limit);
  }
};

}  // namespace vorn::test
