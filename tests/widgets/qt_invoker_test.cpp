// The Qt synchronised call: where steps run, how waiting callers are released,
// and joining a thread that waits for the GUI thread.
#include "widgets/qt_invoker.h"

#include <QCoreApplication>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using vorn::ui::QtGuiInvoker;

namespace {

// Waits without letting the event loop run, so queued steps stay queued.
template <typename Pred>
bool WaitWithoutEvents(Pred pred) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class Stepper : public vorn::WorkerThread {
 public:
  Stepper(vorn::GuiInvoker& gui, int limit) : WorkerThread(gui), limit_(limit) {}
  ~Stepper() override { Stop(); }
  std::atomic<int> steps{0};
  std::vector<QThread*> stepThreads;  // written by the steps, on the GUI thread

 protected:
  void Execute() override {
    for (int i = 0; limit_ < 0 || i < limit_; ++i) {
      if (!Synchronize([this] {
            ++steps;
            stepThreads.push_back(QThread::currentThread());
          }))
        return;
    }
  }

 private:
  int limit_;
};

}  // namespace

class QtInvokerTest : public QObject {
  Q_OBJECT

 private slots:
  void stepsRunOnTheGuiThread() {
    QtGuiInvoker invoker;
    std::vector<QThread*> ran;
    std::atomic<int> delivered{0};
    std::thread caller([&] {
      for (int i = 0; i < 3; ++i) {
        if (invoker.Invoke([&] { ran.push_back(QThread::currentThread()); })) ++delivered;
      }
    });
    QTRY_COMPARE(delivered.load(), 3);
    caller.join();
    QCOMPARE(ran.size(), size_t(3));
    for (QThread* t : ran) QCOMPARE(t, QThread::currentThread());

    // On the GUI thread itself the step runs at once.
    bool now = false;
    QVERIFY(invoker.Invoke([&] { now = true; }));
    QVERIFY(now);
  }

  void shutdownReleasesAWaitingThread() {
    QtGuiInvoker invoker;
    std::atomic<bool> ran{false};
    std::atomic<int> result{-1};
    std::thread caller([&] { result = invoker.Invoke([&] { ran = true; }) ? 1 : 0; });
    QVERIFY(WaitWithoutEvents([&] { return invoker.Pending() == 1; }));
    invoker.Shutdown();
    caller.join();
    QCOMPARE(result.load(), 0);
    QCoreApplication::processEvents();
    QVERIFY(!ran);
    QVERIFY(!invoker.Invoke([&] { ran = true; }));
    QVERIFY(!ran);
  }

  void joiningAThreadThatWaitsForTheGuiDoesNotDeadlock() {
    QtGuiInvoker invoker;
    {
      // Runs until asked: terminate, then join from the GUI thread while the
      // thread's step sits in the event queue.
      Stepper endless(invoker, -1);
      endless.Resume();
      QVERIFY(WaitWithoutEvents([&] { return invoker.Pending() == 1; }));
      endless.Terminate();
      endless.WaitFor();
      QVERIFY(endless.Finished());
      QCOMPARE(endless.steps.load(), 0);
      QCoreApplication::processEvents();  // the dropped step comes up and is ignored
      QCOMPARE(endless.steps.load(), 0);
    }
    {
      // Ends by itself after its steps: joined without the event loop, they
      // still run, on the GUI thread.
      Stepper finite(invoker, 3);
      finite.Resume();
      finite.WaitFor();
      QCOMPARE(finite.steps.load(), 3);
      for (QThread* t : finite.stepThreads) QCOMPARE(t, QThread::currentThread());
    }
  }
};

QTEST_GUILESS_MAIN(QtInvokerTest)
#include "qt_invoker_test.moc"
