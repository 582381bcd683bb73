#include "link/ui/terminal_console.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSaveFile>
#include <QEventLoop>
#include <QThread>
#include <utility>

#include "link/terminal_session.h"
#include "link/ui/terminal_pane_widget.h"

namespace vorn::ui {

namespace {

// Waits on the GUI thread while still running the terminal threads' steps, so
// the controller's echo is read between two pasted bytes instead of being
// discarded by the next write. User input stays queued meanwhile.
void PumpFor(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 1);
    QThread::msleep(1);
  }
}

std::optional<vorn::TerminalKey> TerminalKeyFor(int key) {
  switch (key) {
    case Qt::Key_Left: return vorn::TerminalKey::Left;
    case Qt::Key_Up: return vorn::TerminalKey::Up;
    case Qt::Key_Right: return vorn::TerminalKey::Right;
    case Qt::Key_Down: return vorn::TerminalKey::Down;
    case Qt::Key_F1: return vorn::TerminalKey::F1;
    case Qt::Key_F2: return vorn::TerminalKey::F2;
    case Qt::Key_F3: return vorn::TerminalKey::F3;
    case Qt::Key_F4: return vorn::TerminalKey::F4;
    default: return std::nullopt;
  }
}

}  // namespace

TerminalConsole::TerminalConsole(TerminalConsoleParts parts) : p_(std::move(parts)) {}

vorn::TerminalSession* TerminalConsole::Session() const { return p_.session ? p_.session() : nullptr; }

bool TerminalConsole::Running() const {
  vorn::TerminalSession* terminal = Session();
  return terminal && terminal->Running();
}

void TerminalConsole::tbtnDOSCmdClick() {
  vorn::TerminalSession* terminal = Session();
  if (!terminal) return;
  if (!terminal->Running()) {
    const std::string ComName = p_.portName();
    if (!terminal->Open(ComName)) {
      p_.tbtnDOSCmd->setChecked(false);
      const std::string& reason = terminal->OpenFailureReason();
      p_.ui->Error("Unable to open " + ComName + " !" + (reason.empty() ? std::string() : "\n\n" + reason));
      return;
    }
    p_.tbtnDOSCmd->setChecked(true);
    p_.meoDos->SetTerminalColours(true);
    p_.meoDos->setFocus();
    terminal->Start();
    p_.setExchangeControlsEnabled(false);
  } else {
    terminal->Stop();
    p_.tbtnDOSCmd->setChecked(false);
    p_.meoDos->SetTerminalColours(false);
    p_.setExchangeControlsEnabled(true);
  }
}

void TerminalConsole::meoDosKeyDown(int key, bool* swallow) {
  if (vorn::TerminalSession* terminal = Session()) *swallow = terminal->KeyDown(TerminalKeyFor(key));
}

void TerminalConsole::meoDosKeyPress(char ch) {
  if (vorn::TerminalSession* terminal = Session()) terminal->KeyPress(static_cast<uint8_t>(ch));
}

void TerminalConsole::MoveCaretToEnd() {
  QTextCursor end(p_.meoDos->document());
  end.movePosition(QTextCursor::End);
  p_.meoDos->setTextCursor(end);
}

void TerminalConsole::meoDosMouseUp() {
  if (!p_.meoDos->textCursor().hasSelection()) MoveCaretToEnd();
}

void TerminalConsole::PopupMenu3Popup() {
  p_.Copy1->setEnabled(p_.meoDos->textCursor().hasSelection());
  p_.Pasteto7730M1->setEnabled(Running() && !QApplication::clipboard()->text().isEmpty());
}

void TerminalConsole::Copy1Click() {
  // The pane separates lines with U+2029 in a selection; the clipboard wants
  // plain line ends.
  QString text = p_.meoDos->textCursor().selectedText();
  text.replace(QChar(0x2029), '\n');
  if (static_cast<size_t>(text.size()) > vorn::kCopyLimit) {
    p_.ui->Error("The selected text exceeds 1024 bytes!");
    return;
  }
  QApplication::clipboard()->setText(text);
}

void TerminalConsole::Pasteto7730M1Click() {
  if (!Running()) return;
  const QByteArray bytes = QApplication::clipboard()->text().left(static_cast<int>(vorn::kPasteLimit)).toLatin1();
  Session()->Paste(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), PumpFor);
}

void TerminalConsole::SelectAll1Click() { p_.meoDos->selectAll(); }

void TerminalConsole::Font1Click() {
  if (auto chosen = p_.ui->ChooseFont(p_.meoDos->font().toString().toStdString())) {
    QFont font;
    if (font.fromString(QString::fromStdString(*chosen))) p_.meoDos->setFont(font);
  }
  p_.meoDos->setFocus();
  MoveCaretToEnd();
}

void TerminalConsole::SaveLog1Click() {
  const std::optional<std::string> chosen =
      p_.ui->SaveFile("Save log", "Log file (*.log)|*.log|All files (*.*)|*.*", "vorn7730.log");
  if (!chosen || chosen->empty()) return;
  const QString path = QString::fromStdString(*chosen);
  const QFileInfo info(path);
  if (info.exists() && !info.isFile()) {
    p_.ui->Error("Unable to write file '" + *chosen + "'!\n\nIt is not a regular file.");
    return;
  }
  // Written beside it first: a failed save leaves an earlier file as it was.
  QSaveFile file(path);
  const QByteArray text = p_.meoDos->LogText(p_.LogTimestamps1->isChecked()).toUtf8();
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(text) != text.size() || !file.commit())
    p_.ui->Error("Unable to write file '" + *chosen + "'!\n\n" + file.errorString().toStdString());
}

}  // namespace vorn::ui
