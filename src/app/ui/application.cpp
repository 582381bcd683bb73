#include "app/ui/application.h"

#include <QElapsedTimer>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <exception>

namespace vorn::ui {

Application::Application(int& argc, char** argv, vorn::Ui& ui) : QApplication(argc, argv), ui_(ui) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ui_.Error(e.what());
  } catch (...) {
    ui_.Error("Unknown error.");
  }
  return false;
}

void CentreOnDesktop(QWidget& window) {
  if (QScreen* screen = QApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), window.size());
    frame.moveCenter(screen->availableGeometry().center());
    window.setGeometry(frame);
  }
}

void ShowMaximisedCentred(QWidget& window) {
  QScreen* screen = QApplication::primaryScreen();
  if (!screen) {
    window.showMaximized();
    return;
  }
  const QRect area = screen->availableGeometry();
  CentreOnDesktop(window);
  window.showMaximized();
  // Without a window manager nothing carries out the maximise; fill the screen
  // then. A window manager has done its part by the time this runs.
  QTimer::singleShot(300, &window, [&window, area] {
    if (window.isMaximized() && window.frameGeometry().width() < area.width() * 9 / 10) window.setGeometry(area);
  });
}

void PaintNow(QWidget& window) {
  QWindow* handle = window.windowHandle();
  if (!window.isVisible() || !handle) return;
  constexpr auto kFlags = QEventLoop::ExcludeUserInputEvents | QEventLoop::X11ExcludeTimers;
  // A window manager maps a new window in its own time; until then nothing
  // painted would reach the screen.
  QElapsedTimer waited;
  waited.start();
  QCoreApplication::processEvents(kFlags);
  while (!handle->isExposed() && waited.elapsed() < 1000) {
    QThread::msleep(5);
    QCoreApplication::processEvents(kFlags);
  }
  window.repaint();
  QCoreApplication::processEvents(kFlags);  // sends the picture to the window system
}

}  // namespace vorn::ui
