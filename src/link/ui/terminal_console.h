#pragma once
// The terminal console: the launch button, the pane's keys and its context
// menu. The session behind it owns the port and the threads.
#include <QAction>
#include <QToolButton>
#include <functional>
#include <string>

#include "link/ui.h"
#include "link/ui/terminal_pane_widget.h"

namespace vorn {
class TerminalSession;
}  // namespace vorn

namespace vorn::ui {

// The controls the console drives and what it asks of the window around it.
struct TerminalConsoleParts {
  TerminalPaneWidget* meoDos = nullptr;
  QToolButton* tbtnDOSCmd = nullptr;
  QAction* Copy1 = nullptr;
  QAction* Pasteto7730M1 = nullptr;
  QAction* LogTimestamps1 = nullptr;
  vorn::Ui* ui = nullptr;
  std::function<vorn::TerminalSession*()> session;  // none once the window is going
  std::function<std::string()> portName;            // the port chosen now
  // Off while the terminal holds the port, on again when it lets go.
  std::function<void(bool)> setExchangeControlsEnabled;
};

class TerminalConsole {
 public:
  explicit TerminalConsole(TerminalConsoleParts parts);

  bool Running() const;
  void tbtnDOSCmdClick();
  void meoDosKeyDown(int key, bool* swallow);
  void meoDosKeyPress(char ch);
  void meoDosMouseUp();
  void PopupMenu3Popup();
  void Copy1Click();
  void Pasteto7730M1Click();
  void SelectAll1Click();
  void Font1Click();
  void SaveLog1Click();

 private:
  vorn::TerminalSession* Session() const;
  // Puts the pane's caret at the very end with nothing selected.
  void MoveCaretToEnd();

  TerminalConsoleParts p_;
};

}  // namespace vorn::ui
