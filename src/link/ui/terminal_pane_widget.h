#pragma once
// The terminal pane: a read-only text pane whose keys go to the controller
// instead of into the text, and whose mouse-up puts the caret back at the end.
#include <QPlainTextEdit>
#include <functional>

namespace vorn::ui {

// The host's fixed-pitch font, for the controller's text and for texts padded
// with blanks into columns. Where the system's choice is not installed (Wine
// has no Courier New) the first fixed-pitch family the host has stands in,
// rather than the proportional font a plain fallback gives.
QFont FixedPitchFont();

class TerminalPaneWidget : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit TerminalPaneWidget(QWidget* parent = nullptr);

  // Set by the main window. keyDown may swallow the key (cursor and function
  // keys); every character that reaches keyPress is swallowed.
  std::function<void(int key, bool* swallow)> onKeyDown;
  std::function<void(char ch)> onKeyPress;
  std::function<void()> onMouseUp;

  // Lines as the exchanges count them: an empty last line is the place the
  // next line goes, not a line of its own.
  int LineCount() const;
  void AppendLine(const QString& text);
  // Black with silver text while the terminal runs, else green on the
  // window colour.
  void SetTerminalColours(bool on);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool focusNextPrevChild(bool next) override;  // Tab goes to the controller

 private:
  bool terminalColours_ = false;
  qint64 lastPaintMs_ = 0;
};

}  // namespace vorn::ui
