#pragma once
// A background thread created paused, as every thread class of the utility is:
// configured through plain fields, resumed, paused, asked to terminate, waited for.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "link/gui_invoker.h"

namespace vorn {

// An invoker whose waiting calls can be abandoned. WorkerThread uses it so that
// Terminate releases a thread that waits for the GUI thread, and so that WaitFor
// on the GUI thread can run the steps the joined thread still waits for.
class CancellableInvoker : public GuiInvoker {
 public:
  // Like Invoke, but gives up once giveUp() is true while the step has not
  // started yet: returns false, and the step never runs. giveUp is read under
  // the invoker's lock; WakeWaiters makes waiting calls read it again.
  virtual bool InvokeUnless(const std::function<void()>& step, const std::function<bool()>& giveUp) = 0;
  virtual void WakeWaiters() = 0;
  // True on the thread that runs the steps.
  virtual bool OnGuiThread() const = 0;
  // Runs the steps handed so far; only on the GUI thread.
  virtual void RunPending() = 0;

  bool Invoke(const std::function<void()>& step) override { return InvokeUnless(step, nullptr); }
};

// Hands steps to the GUI thread through a queue. requestRun asks the GUI thread
// to call RunPending soon (it may be called from any thread); onGuiThread tells
// whether the caller is the GUI thread. An exception thrown by a step reaches
// the thread that handed it.
class PostingInvoker : public CancellableInvoker {
 public:
  PostingInvoker(std::function<void()> requestRun, std::function<bool()> onGuiThread);
  ~PostingInvoker() override;
  PostingInvoker(const PostingInvoker&) = delete;
  PostingInvoker& operator=(const PostingInvoker&) = delete;

  bool InvokeUnless(const std::function<void()>& step, const std::function<bool()>& giveUp) override;
  void WakeWaiters() override;
  bool OnGuiThread() const override;
  void RunPending() override;

  // From now on every waiting and every later call returns false at once; steps
  // still queued are dropped when they come up.
  void Shutdown();
  // Steps handed and not yet run or dropped.
  size_t Pending() const;

 private:
  struct Call;

  std::function<void()> requestRun_;
  std::function<bool()> onGuiThread_;
  mutable std::mutex mutex_;
  std::condition_variable done_;
  std::deque<std::shared_ptr<Call>> queue_;
  bool shutdown_ = false;
};

// The thread's own work runs in Execute. Subclasses whose Execute uses their own
// members call Stop() in their destructor, because the base destructor runs only
// after those members are gone.
//
// Pausing is cooperative but exact where it matters: every step handed through
// Synchronize checks the pause on the GUI thread right before it runs, so once
// Suspend has returned no step of the thread runs until Resume. The thread
// itself stops at its next Synchronize, Sleep or CheckPoint.
class WorkerThread {
 public:
  // Invokers whose calls may block should be CancellableInvoker; with others
  // Terminate cannot release a waiting step.
  explicit WorkerThread(GuiInvoker& gui);
  virtual ~WorkerThread();  // asks a started thread to end and waits for it
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts the thread on the first call; continues it after Suspend. Does
  // nothing once termination was requested.
  void Resume();
  // Pauses the thread. When Suspend returns (on the GUI thread), no further
  // step of the thread runs on the GUI thread until Resume.
  void Suspend();
  bool Suspended() const { return paused_.load(); }
  bool Started() const { return started_.load(); }
  bool Finished() const { return finished_.load(); }
  void Terminate();  // request the end; wakes a paused or sleeping thread
  // Waits for the end of a started thread (at once for one never started).
  // Never deadlocks with a step waiting for the GUI thread: on the GUI thread it
  // runs pending steps while it waits, and after Terminate the step is dropped.
  // A thread that runs until asked must be terminated first.
  void WaitFor();
  // Terminate and WaitFor.
  void Stop();
  bool Terminated() const { return terminate_.load(); }
  // What ended Execute with an exception, if anything did.
  std::exception_ptr FatalException() const;

 protected:
  virtual void Execute() = 0;
  // Called by Suspend on the GUI thread when a running thread was paused, after
  // its last step has finished: a chance to leave shared state tidy.
  virtual void OnSuspend() {}
  // Sleeps, waking early only for termination; then waits while paused. False
  // when terminating.
  bool Sleep(int ms);
  // Runs step on the GUI thread and waits; honours pause (a paused thread's
  // step waits until resumed) and termination (returns false, step not run).
  // Also false when the invoker no longer takes steps.
  bool Synchronize(const std::function<void()>& step);
  // Blocks while paused; false when terminating.
  bool CheckPoint();

 private:
  void Run();

  GuiInvoker& gui_;
  CancellableInvoker* cancellable_;
  std::thread thread_;
  std::mutex joinMutex_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  // Held while a step of this thread runs and while Suspend settles, so a pause
  // requested from another thread still waits for a step in progress.
  std::recursive_mutex stepMutex_;
  std::exception_ptr fatal_;
  std::atomic<bool> started_{false};
  std::atomic<bool> paused_{true};
  std::atomic<bool> terminate_{false};
  std::atomic<bool> finished_{false};
};

}  // namespace vorn
