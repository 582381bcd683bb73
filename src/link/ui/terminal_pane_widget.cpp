#include "link/ui/terminal_pane_widget.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>

namespace vorn::ui {

namespace {

// The time a line of the pane was completed.
class LineTime : public QTextBlockUserData {
 public:
  explicit LineTime(QDateTime t) : time(std::move(t)) {}
  QDateTime time;
};

}  // namespace

QFont FixedPitchFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (QFontInfo(font).fixedPitch()) return font;
  QStringList families = {"Consolas", "Courier New", "Lucida Console", "DejaVu Sans Mono", "Liberation Mono"};
  families += QFontDatabase::families();
  for (const QString& family : families) {
    if (!QFontDatabase::isFixedPitch(family)) continue;
    font.setFamily(family);
    if (QFontInfo(font).fixedPitch()) return font;
  }
  font.setStyleHint(QFont::TypeWriter);
  return font;
}

TerminalPaneWidget::TerminalPaneWidget(QWidget* parent) : QPlainTextEdit(parent) {
  setObjectName("meoDos");
  setReadOnly(true);
  // Keys still arrive while read-only; the caret stays visible for the user.
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setMinimumHeight(50);
  setContextMenuPolicy(Qt::CustomContextMenu);
  QFont font = FixedPitchFont();
  font.setBold(true);
  font.setPixelSize(15);
  setFont(font);
  setUndoRedoEnabled(false);
  SetTerminalColours(false);
}

int TerminalPaneWidget::LineCount() const {
  const QTextDocument* doc = document();
  int count = doc->blockCount();
  if (doc->lastBlock().text().isEmpty()) --count;
  return count;
}

void TerminalPaneWidget::AppendLine(const QString& text) {
  // VORN7730_TRANSCRIPT names a file that gets every line shown here: a
  // check from outside reads what a running utility printed.
  static const QString transcript = qEnvironmentVariable("VORN7730_TRANSCRIPT");
  if (!transcript.isEmpty()) {
    QFile file(transcript);
    if (file.open(QIODevice::Append | QIODevice::Text)) file.write((text + '\n').toUtf8());
  }
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  if (!document()->lastBlock().text().isEmpty()) {
    // An unfinished line (a prompt) stays behind above: it belongs to the log.
    if (!document()->lastBlock().userData()) history_.push_back({QDateTime::currentDateTime(), document()->lastBlock().text()});
    cursor.insertBlock();
  }
  cursor.insertText(text);
  LineDone(text);
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  // Exchanges run on the GUI thread; paint now and then so the user sees
  // the controller's lines as they arrive rather than all at the end.
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  if (now - lastPaintMs_ > 60 && isVisible()) {
    lastPaintMs_ = now;
    viewport()->repaint();
  }
}

QString TerminalPaneWidget::Stamp(const QDateTime& time) {
  return time.toString("yyyy-MM-dd hh:mm:ss.zzz") + "  ";
}

void TerminalPaneWidget::LineDone(const QString& text) {
  const QDateTime now = QDateTime::currentDateTime();
  // The terminal may go on writing on a line an exchange finished: the line
  // is recorded again, in place of its earlier form.
  if (document()->lastBlock().userData() && !history_.empty())
    history_.back() = {now, text};
  else
    history_.push_back({now, text});
  document()->lastBlock().setUserData(new LineTime(now));
  if (history_.size() > static_cast<size_t>(kHistoryLines)) history_.pop_front();
  if (!log_.isOpen()) return;
  const QByteArray line = (Stamp(now) + text + '\n').toUtf8();
  // Flushed line by line: the record must hold up to the last line when the
  // program or the host stops.
  if (log_.write(line) != line.size() || !log_.flush()) {
    const QString reason = log_.errorString();
    log_.close();
    if (onLogFailure) onLogFailure(reason);
  }
}

bool TerminalPaneWidget::OpenLog(const QString& path, QString* error) {
  const QFileInfo info(path);
  // A FIFO or a device may block the pane's every line.
  if (info.exists() && !info.isFile()) {
    *error = path + ": not a regular file";
    return false;
  }
  log_.setFileName(path);
  if (!log_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
    *error = path + ": " + log_.errorString();
    return false;
  }
  return true;
}

QString TerminalPaneWidget::LogText(bool timestamps) const {
  QString out;
  const QTextBlock last = document()->lastBlock();
  for (size_t i = 0; i < history_.size(); ++i) {
    // A finished last line the terminal has written on since shows as it is now.
    const bool grown = i + 1 == history_.size() && last.userData();
    out += (timestamps ? Stamp(history_[i].time) : QString()) + (grown ? last.text() : history_[i].text) + '\n';
  }
  // The last line is not done while it has no time: a prompt, or the empty
  // place where the next line goes.
  if (!last.userData() && !last.text().isEmpty())
    out += (timestamps ? QString(Stamp(QDateTime::currentDateTime()).size(), ' ') : QString()) + last.text() + '\n';
  return out;
}

void TerminalPaneWidget::SetTerminalColours(bool on) {
  terminalColours_ = on;
  QPalette p = palette();
  const QColor background = on ? QColor(Qt::black) : QApplication::palette().color(QPalette::Window);
  const QColor text = on ? QColor(192, 192, 192) : QColor(0, 128, 0);
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    p.setColor(group, QPalette::Base, background);
    p.setColor(group, QPalette::Text, text);
  }
  setPalette(p);
}

void TerminalPaneWidget::keyPressEvent(QKeyEvent* event) {
  // Copying with the keyboard stays a pane function while the terminal is off.
  if (!terminalColours_ && (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::SelectAll))) {
    QPlainTextEdit::keyPressEvent(event);
    return;
  }
  bool swallow = false;
  if (onKeyDown) onKeyDown(event->key(), &swallow);
  if (swallow) {
    event->accept();
    return;
  }
  const QString text = event->text();
  if (!text.isEmpty() && onKeyPress) {
    const QByteArray bytes = text.toLatin1();
    for (char ch : bytes) onKeyPress(ch);
    event->accept();
    return;
  }
  // Navigation keys scroll the pane as usual.
  QPlainTextEdit::keyPressEvent(event);
}

void TerminalPaneWidget::mouseReleaseEvent(QMouseEvent* event) {
  QPlainTextEdit::mouseReleaseEvent(event);
  if (onMouseUp) onMouseUp();
}

bool TerminalPaneWidget::focusNextPrevChild(bool) { return false; }

}  // namespace vorn::ui
