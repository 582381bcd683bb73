#pragma once
// The terminal pane: a read-only text pane whose keys go to the controller
// instead of into the text, and whose mouse-up puts the caret back at the end.
#include <QDateTime>
#include <QFile>
#include <QPlainTextEdit>
#include <deque>
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

  // Set by the terminal console. keyDown may swallow the key (cursor and function
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

  // A line from the controller is complete: it keeps the time it came and
  // goes to the log file, if one is open.
  void LineDone(const QString& text);
  // Appends every completed line to path with its time ("--log"). Only a
  // regular file (or a new one) is taken; false with the reason otherwise.
  bool OpenLog(const QString& path, QString* error);
  // Told once when a write to the log file failed; the log is closed then.
  std::function<void(const QString& reason)> onLogFailure;
  // Every line the pane got since the program started, up to the last
  // kHistoryLines, although the pane itself is cleared every few hundred;
  // each line after the time it came when timestamps, and the unfinished
  // last line (a prompt) after blanks.
  QString LogText(bool timestamps) const;
  static constexpr int kHistoryLines = 100000;
  // "2026-05-04 13:02:01.250  " for a time.
  static QString Stamp(const QDateTime& time);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool focusNextPrevChild(bool next) override;  // Tab goes to the controller

 private:
  struct HistoryLine {
    QDateTime time;
    QString text;
  };
  std::deque<HistoryLine> history_;
  bool terminalColours_ = false;
  qint64 lastPaintMs_ = 0;
  QFile log_;
};

}  // namespace vorn::ui
