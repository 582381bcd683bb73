#include "widgets/gui_line_wait.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QTimer>

namespace vorn::ui {

namespace {
// Often enough for the window to look alive, seldom enough to cost nothing.
constexpr qint64 kRepaintIntervalMs = 30;

bool IsInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::InputMethod:
      return true;
    default:
      return false;
  }
}
}  // namespace

GuiLineWait::GuiLineWait() { vorn::SetLineWaitHook(this); }

GuiLineWait::~GuiLineWait() { vorn::SetLineWaitHook(nullptr); }

void GuiLineWait::Waiting() {
  // Background threads (uploads, image transfers) wait on their own lines.
  if (pumping_ || QThread::currentThread() != thread()) return;
  if (sinceLast_.isValid() && sinceLast_.elapsed() < kRepaintIntervalMs) return;
  pumping_ = true;
  QCoreApplication::instance()->installEventFilter(this);
  // Input from the window system stays queued until the exchange has ended,
  // as it would for a window that is busy; timers wait as well.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::X11ExcludeTimers);
  QCoreApplication::instance()->removeEventFilter(this);
  pumping_ = false;
  sinceLast_.start();
}

bool GuiLineWait::eventFilter(QObject* watched, QEvent* event) {
  // What got past the flags: input and close requests posted by the program
  // itself, and the application's timers where the event loop does not hold
  // timers back. A timer skipped here fires at its next interval.
  if (IsInput(event->type())) return true;
  // A swallowed close would still count as accepted and the window would go.
  if (event->type() == QEvent::Close) {
    event->ignore();
    if (CloseRefused) CloseRefused();
    return true;
  }
  if (event->type() == QEvent::Timer && (qobject_cast<QTimer*>(watched) || watched->inherits("QSingleShotTimer")))
    return true;
  return QObject::eventFilter(watched, event);
}

}  // namespace vorn::ui
