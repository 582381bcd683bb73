#pragma once
// The terminal console: the launch button, the pane's keys and its context
// menu. The session behind it owns the port and the threads.
#include <QAction>
#include <QMenu>
#include <QObject>
#include <QToolButton>
#include <functional>
#include <string>

#include "link/ui.h"
#include "link/ui/terminal_pane_widget.h"

namespace vorn {
class TerminalSession;
}  // namespace vorn

namespace vorn::ui {

class TerminalConsole : public QObject {
  Q_OBJECT
 public:
  // pane shows the controller's text and takes the user's keys; launch starts
  // and stops the terminal; portName gives the port chosen now. The console
  // makes the pane's context menu.
  TerminalConsole(TerminalPaneWidget& pane, QToolButton& launch, vorn::TerminalSession& session, vorn::Ui& ui,
                  std::function<std::string()> portName, QObject* parent = nullptr);
  ~TerminalConsole() override;

  bool Running() const;
  // Types keys as the user would, starting the terminal first when it is not
  // running; nothing when it cannot be started.
  void TypeKeys(const QString& keys);

  void toggleTerminal();
  void keyDown(int key, bool* swallow);
  void typeKey(char ch);
  void mouseUp();
  void fillTerminalMenu();
  void copySelection();
  void pasteToController();
  void selectAll();
  void chooseFont();
  void saveLog();

  // --- the pane's context menu ---
  QMenu* terminalMenu = nullptr;
  QAction* copyAction = nullptr;
  QAction* pasteAction = nullptr;
  QAction* selectAllAction = nullptr;
  QAction* fontAction = nullptr;
  QAction* saveLogAction = nullptr;       // "Save log...": the pane's text to a file
  QAction* logTimestampsAction = nullptr; // checked: each saved line after its time

 signals:
  // The terminal took the port (true) or let it go (false).
  void runningChanged(bool running);

 private:
  // Puts the pane's caret at the very end with nothing selected.
  void MoveCaretToEnd();

  TerminalPaneWidget& view_;
  QToolButton& launch_;
  vorn::TerminalSession& session_;
  vorn::Ui& ui_;
  std::function<std::string()> portName_;
};

}  // namespace vorn::ui
