// WorkerThread and PostingInvoker: pause, resume, termination and joining,
// with the test's own thread acting as the GUI thread.
#include "link/worker_thread.h"

#include "link/manual_gui.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace vorn {
namespace {

using namespace std::chrono_literals;

using test::ManualGui;
using test::WaitUntil;

// Hands one step after another to the GUI thread until told to stop, or only
// `limit` steps when one is given.
class Stepper : public WorkerThread {
 public:
  explicit Stepper(GuiInvoker& gui, int limit = -1) : WorkerThread(gui), limit_(limit) {}
  ~Stepper() override { Stop(); }

  std::atomic<int> steps{0};
  std::atomic<bool> lastSyncResult{true};

 protected:
  void Execute() override {
    for (int i = 0; limit_ < 0 || i < limit_; ++i) {
      if (!Synchronize([this] { ++steps; })) {
        lastSyncResult = false;
        return;
      }
    }
  }

 private:
  int limit_;
};

TEST(WorkerThreadTest, NoStepRunsBetweenSuspendAndResume) {
  ManualGui gui;
  Stepper thread(gui);
  EXPECT_TRUE(thread.Suspended());
  EXPECT_FALSE(thread.Started());
  gui.RunPending();
  EXPECT_EQ(thread.steps, 0) << "created paused";

  thread.Resume();
  ASSERT_TRUE(gui.PumpUntil([&] { return thread.steps >= 3; }));
  // The thread has handed its next step and waits for the GUI thread.
  ASSERT_TRUE(WaitUntil([&] { return gui.Pending() == 1; }));

  thread.Suspend();
  const int before = thread.steps;
  gui.RunPending();  // the step handed before the pause comes up now and is skipped
  EXPECT_EQ(thread.steps, before);
  // Paused, the thread does not hand it again.
  gui.PumpUntil([] { return false; }, 30ms);
  EXPECT_EQ(thread.steps, before);
  EXPECT_EQ(gui.Pending(), 0u);

  thread.Resume();
  ASSERT_TRUE(gui.PumpUntil([&] { return thread.steps >= before + 3; }));
  EXPECT_TRUE(thread.lastSyncResult);
}

TEST(WorkerThreadTest, SuspendFromAnotherThreadWaitsForTheRunningStep) {
  // With DirectInvoker the steps run on the worker itself, so Suspend really
  // races with a step in progress.
  DirectInvoker direct;
  Stepper thread(direct);
  thread.Resume();
  ASSERT_TRUE(WaitUntil([&] { return thread.steps >= 100; }));
  thread.Suspend();
  const int before = thread.steps;
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(thread.steps, before);
  thread.Resume();
  EXPECT_TRUE(WaitUntil([&] { return thread.steps > before; }));
}

TEST(WorkerThreadTest, StoppingNeverHangs) {
  ManualGui gui;
  {
    // Blocked in Synchronize while the GUI thread itself terminates and joins:
    // the handed step is dropped, not run.
    Stepper thread(gui);
    thread.Resume();
    ASSERT_TRUE(WaitUntil([&] { return gui.Pending() == 1; }));
    thread.Terminate();
    // Released by Terminate alone, without the GUI thread taking the step.
    EXPECT_TRUE(WaitUntil([&] { return thread.Finished(); }));
    thread.WaitFor();
    EXPECT_FALSE(thread.lastSyncResult);
    gui.RunPending();
    EXPECT_EQ(thread.steps, 0);
    thread.Resume();  // no restart after termination
    EXPECT_TRUE(thread.Finished());
  }
  {
    // The destructor alone does the same, for a paused thread as well.
    Stepper waiting(gui);
    waiting.Resume();
    ASSERT_TRUE(WaitUntil([&] { return gui.Pending() == 1; }));
    Stepper paused(gui);
    paused.Resume();
    paused.Suspend();
    Stepper neverStarted(gui);
  }
  EXPECT_EQ(gui.Pending(), 0u);
}

TEST(WorkerThreadTest, WaitForOnGuiThreadRunsTheStepsTheThreadNeeds) {
  // A thread that ends by itself after three steps; nothing else pumps.
  ManualGui gui;
  Stepper thread(gui, 3);
  thread.Resume();
  thread.WaitFor();
  EXPECT_TRUE(thread.Finished());
  EXPECT_EQ(thread.steps, 3);
  EXPECT_TRUE(thread.lastSyncResult);
}

class Sleeper : public WorkerThread {
 public:
  using WorkerThread::WorkerThread;
  ~Sleeper() override { Stop(); }
  std::atomic<bool> sleeping{false};
  std::atomic<bool> sleepResult{true};

 protected:
  void Execute() override {
    sleeping = true;
    sleepResult = Sleep(60'000);
  }
};

TEST(WorkerThreadTest, TerminateCutsASleepShort) {
  ManualGui gui;
  Sleeper thread(gui);
  thread.Resume();
  ASSERT_TRUE(WaitUntil([&] { return thread.sleeping.load(); }));
  const auto start = std::chrono::steady_clock::now();
  thread.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_FALSE(thread.sleepResult);
}

class Thrower : public WorkerThread {
 public:
  Thrower(GuiInvoker& gui, bool inStep) : WorkerThread(gui), inStep_(inStep) {}
  ~Thrower() override { Stop(); }

 protected:
  void Execute() override {
    if (!inStep_) throw std::runtime_error("in thread");
    Synchronize([] { throw std::runtime_error("in step"); });
  }

 private:
  bool inStep_;
};

TEST(WorkerThreadTest, AnExceptionEndsTheThreadAndIsKept) {
  ManualGui gui;
  for (bool inStep : {false, true}) {
    Thrower thread(gui, inStep);
    thread.Resume();
    // A step's exception goes back to the thread that handed it, not to the pump.
    ASSERT_TRUE(gui.PumpUntil([&] { return thread.Finished(); }));
    thread.WaitFor();
    ASSERT_TRUE(thread.FatalException());
    try {
      std::rethrow_exception(thread.FatalException());
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), inStep ? "in step" : "in thread");
    }
  }
}

TEST(PostingInvokerTest, ShutdownReleasesWaitersAndDropsTheirSteps) {
  ManualGui gui;
  std::atomic<bool> ran{false};
  std::atomic<int> result{-1};
  std::thread caller([&] { result = gui.Invoke([&] { ran = true; }) ? 1 : 0; });
  ASSERT_TRUE(WaitUntil([&] { return gui.Pending() == 1; }));
  gui.Shutdown();
  caller.join();
  EXPECT_EQ(result, 0);
  gui.RunPending();
  EXPECT_FALSE(ran);
  EXPECT_FALSE(gui.Invoke([&] { ran = true; })) << "later calls fail too";
  EXPECT_FALSE(ran);
}

TEST(PostingInvokerTest, GiveUpOnlyBeforeTheStepStarts) {
  ManualGui gui;
  std::atomic<bool> giveUp{false};
  std::atomic<bool> ran{false};
  std::atomic<int> result{-1};
  std::thread caller([&] { result = gui.InvokeUnless([&] { ran = true; }, [&] { return giveUp.load(); }) ? 1 : 0; });
  ASSERT_TRUE(WaitUntil([&] { return gui.Pending() == 1; }));
  giveUp = true;
  gui.WakeWaiters();
  caller.join();
  EXPECT_EQ(result, 0);
  gui.RunPending();
  EXPECT_FALSE(ran);

  // A step that is already running is waited for, whatever happens meanwhile.
  giveUp = false;
  std::thread second([&] {
    result = gui.InvokeUnless(
                 [&] {
                   giveUp = true;
                   gui.WakeWaiters();
                   ran = true;
                 },
                 [&] { return giveUp.load(); })
                 ? 1
                 : 0;
  });
  ASSERT_TRUE(gui.PumpUntil([&] { return ran.load(); }));
  second.join();
  EXPECT_EQ(result, 1);
}

}  // namespace
}  // namespace vorn
