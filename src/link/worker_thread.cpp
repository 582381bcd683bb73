#include "link/worker_thread.h"

#include <utility>

namespace vorn {

// ---------------------------------------------------------------- PostingInvoker

struct PostingInvoker::Call {
  enum class State { Pending, Running, Done, Dropped };
  // Lives in the caller's frame; only dereferenced while the caller waits.
  const std::function<void()>* step = nullptr;
  State state = State::Pending;
  std::exception_ptr error;
};

PostingInvoker::PostingInvoker(std::function<void()> requestRun, std::function<bool()> onGuiThread)
    : requestRun_(std::move(requestRun)), onGuiThread_(std::move(onGuiThread)) {}

PostingInvoker::~PostingInvoker() { Shutdown(); }

bool PostingInvoker::OnGuiThread() const { return onGuiThread_(); }

bool PostingInvoker::InvokeUnless(const std::function<void()>& step, const std::function<bool()>& giveUp) {
  if (OnGuiThread()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (shutdown_ || (giveUp && giveUp())) return false;
    }
    step();
    return true;
  }

  auto call = std::make_shared<Call>();
  call->step = &step;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutdown_ || (giveUp && giveUp())) return false;
    queue_.push_back(call);
  }
  requestRun_();

  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] {
    return call->state == Call::State::Done ||
           (call->state == Call::State::Pending && (shutdown_ || (giveUp && giveUp())));
  });
  if (call->state != Call::State::Done) {
    // Still queued: RunPending skips it, so the dangling step is never touched.
    call->state = Call::State::Dropped;
    return false;
  }
  if (call->error) std::rethrow_exception(call->error);
  return true;
}

void PostingInvoker::WakeWaiters() {
  // Taking the lock orders the caller's flag change before any waiter's next
  // look at its predicate, so no wake-up is lost.
  { std::lock_guard<std::mutex> lock(mutex_); }
  done_.notify_all();
}

void PostingInvoker::RunPending() {
  for (;;) {
    std::shared_ptr<Call> call;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) return;
      call = std::move(queue_.front());
      queue_.pop_front();
      if (call->state != Call::State::Pending) continue;
      if (shutdown_) {
        call->state = Call::State::Dropped;
        continue;
      }
      call->state = Call::State::Running;
    }
    std::exception_ptr error;
    try {
      (*call->step)();
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      call->error = error;
      call->state = Call::State::Done;
    }
    done_.notify_all();
  }
}

void PostingInvoker::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shutdown_ = true;
  }
  done_.notify_all();
}

size_t PostingInvoker::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t n = 0;
  for (const auto& call : queue_) {
    if (call->state == Call::State::Pending) ++n;
  }
  return n;
}

// ---------------------------------------------------------------- WorkerThread

WorkerThread::WorkerThread(GuiInvoker& gui) : gui_(gui), cancellable_(dynamic_cast<CancellableInvoker*>(&gui)) {}

WorkerThread::~WorkerThread() { Stop(); }

void WorkerThread::Resume() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (terminate_) return;
    paused_ = false;
    if (!started_) {
      try {
        thread_ = std::thread(&WorkerThread::Run, this);
      } catch (...) {
        paused_ = true;
        throw;
      }
      started_ = true;
    }
  }
  wake_.notify_all();
}

void WorkerThread::Suspend() {
  const bool wasRunning = !paused_.exchange(true);
  // A step already running (possible only when Suspend is called off the GUI
  // thread) finishes first; later ones see the flag and are skipped.
  std::lock_guard<std::recursive_mutex> step(stepMutex_);
  if (wasRunning && started_ && !finished_) OnSuspend();
}

void WorkerThread::Terminate() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    terminate_ = true;
  }
  wake_.notify_all();
  if (cancellable_ && started_) cancellable_->WakeWaiters();
}

void WorkerThread::WaitFor() {
  std::lock_guard<std::mutex> join(joinMutex_);
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) return;  // cannot wait for itself
  if (cancellable_ && cancellable_->OnGuiThread()) {
    // The thread may be waiting for a step that only this thread can run.
    std::unique_lock<std::mutex> lock(mutex_);
    while (!finished_) {
      lock.unlock();
      cancellable_->RunPending();
      lock.lock();
      wake_.wait_for(lock, std::chrono::milliseconds(2), [&] { return finished_.load(); });
    }
  }
  thread_.join();
}

void WorkerThread::Stop() {
  Terminate();
  WaitFor();
}

std::exception_ptr WorkerThread::FatalException() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fatal_;
}

bool WorkerThread::CheckPoint() {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait(lock, [&] { return !paused_ || terminate_; });
  return !terminate_;
}

bool WorkerThread::Sleep(int ms) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (ms > 0) wake_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return terminate_.load(); });
  }
  return CheckPoint();
}

bool WorkerThread::Synchronize(const std::function<void()>& step) {
  for (;;) {
    if (!CheckPoint()) return false;
    bool ran = false;
    const std::function<void()> guarded = [&] {
      std::lock_guard<std::recursive_mutex> lock(stepMutex_);
      // Paused or stopping since the step was handed: skip it; the thread waits
      // for Resume and hands it again.
      if (paused_ || terminate_) return;
      ran = true;
      step();
    };
    const bool delivered = cancellable_ ? cancellable_->InvokeUnless(guarded, [this] { return terminate_.load(); })
                                        : gui_.Invoke(guarded);
    if (!delivered) return false;
    if (ran) return true;
  }
}

void WorkerThread::Run() {
  try {
    if (CheckPoint()) Execute();
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    fatal_ = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  wake_.notify_all();
}

}  // namespace vorn
