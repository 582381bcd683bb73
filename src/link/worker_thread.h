#pragma once
// A background thread created paused, as every thread class of the utility is:
// configured through plain fields, resumed, paused, asked to terminate, waited for.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "link/gui_invoker.h"

namespace vorn {

class WorkerThread {
 public:
  explicit WorkerThread(GuiInvoker& gui);
  virtual ~WorkerThread();  // asks a running thread to end and waits for it
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts the thread on the first call; continues it after Suspend.
  void Resume();
  // Pauses the thread. When Suspend returns (on the GUI thread), no further
  // step of the thread runs on the GUI thread until Resume.
  void Suspend();
  bool Suspended() const { return paused_.load(); }
  bool Started() const { return started_.load(); }
  bool Finished() const { return finished_.load(); }
  void Terminate();  // request the end; wakes a paused or sleeping thread
  void WaitFor();    // join; never deadlocks with a step waiting for the GUI thread
  bool Terminated() const { return terminate_.load(); }

 protected:
  virtual void Execute() = 0;
  // Sleeps, also honouring pause and termination. False when terminating.
  bool Sleep(int ms);
  // Runs step on the GUI thread and waits; honours pause (a paused thread's
  // step waits until resumed) and termination (returns false, step not run).
  bool Synchronize(const std::function<void()>& step);
  // Blocks while paused; false when terminating.
  bool CheckPoint();

 private:
  void Run();

  GuiInvoker& gui_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::atomic<bool> started_{false};
  std::atomic<bool> paused_{true};
  std::atomic<bool> terminate_{false};
  std::atomic<bool> finished_{false};
};

}  // namespace vorn
