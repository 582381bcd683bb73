#pragma once
// The utility's application object: an error that escapes an event handler is
// shown in the error box instead of ending the program.
#include <QApplication>

#include "link/ui.h"

namespace vorn::ui {

class Application : public QApplication {
  Q_OBJECT
 public:
  Application(int& argc, char** argv, vorn::Ui& ui);

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  vorn::Ui& ui_;
};

// Moves the window to the middle of the desktop, keeping its size.
void CentreOnDesktop(QWidget& window);
// Opens the window maximised; restoring it gives its own size, centred on the
// desktop.
void ShowMaximisedCentred(QWidget& window);
// Paints a shown window at once and puts it on the screen, waiting (briefly)
// for the window system to map it first: for code that is about to block the
// GUI thread (start-up steps, the first listing). Input and timers wait.
void PaintNow(QWidget& window);

}  // namespace vorn::ui
