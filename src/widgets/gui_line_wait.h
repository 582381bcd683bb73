#pragma once
// The window's side of the line wait: while an exchange waits on the line, the
// GUI thread repaints what needs it and shows the hourglass, but takes no input
// (the window system holds it until the exchange ends) and runs no timer, so
// no handler can start anything meanwhile.
#include <QElapsedTimer>
#include <QObject>
#include <functional>

#include "link/line_wait.h"

namespace vorn::ui {

class GuiLineWait : public QObject, public vorn::LineWaitHook {
 public:
  // Installs itself as the process's hook; the destructor removes it.
  GuiLineWait();
  ~GuiLineWait() override;

  void Waiting() override;

  // Told when a close request reached a window while an exchange waited; the
  // request itself is refused, the window stays.
  std::function<void()> CloseRefused;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QElapsedTimer sinceLast_;
  bool pumping_ = false;
};

}  // namespace vorn::ui
