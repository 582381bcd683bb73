#pragma once
// The synchronised call on Qt: steps handed by background threads run on the
// thread that created the invoker (the GUI thread) from its event loop.
#include <QObject>

#include "link/worker_thread.h"

namespace vorn::ui {

// Create it on the GUI thread, before the threads that use it, and destroy it
// after them. Shutdown (also done by the destructor) releases every waiting
// caller with false.
class QtGuiInvoker : public vorn::PostingInvoker {
 public:
  QtGuiInvoker();
  ~QtGuiInvoker() override;

 private:
  // Lives on the GUI thread; queued calls addressed to it run there. Deleting
  // it discards the ones still queued.
  QObject receiver_;
};

}  // namespace vorn::ui
