// The terminal console of the main window: the launch button, the pane's keys
// and its context menu. The session behind it owns the port and the threads.
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSaveFile>
#include <QEventLoop>
#include <QThread>

#include "app/ui/tfrm_main.h"
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

bool TfrmMain::TerminalRunning() const { return terminal_ && terminal_->Running(); }

void TfrmMain::tbtnDOSCmdClick() {
  if (!terminal_) return;
  if (!terminal_->Running()) {
    if (!terminal_->Open(ComName)) {
      tbtnDOSCmd->setChecked(false);
      const std::string& reason = terminal_->OpenFailureReason();
      ui_.Error("Unable to open " + ComName + " !" + (reason.empty() ? std::string() : "\n\n" + reason));
      return;
    }
    tbtnDOSCmd->setChecked(true);
    meoDos->SetTerminalColours(true);
    meoDos->setFocus();
    terminal_->Start();
    SetExchangeControlsEnabled(false);
  } else {
    terminal_->Stop();
    tbtnDOSCmd->setChecked(false);
    meoDos->SetTerminalColours(false);
    SetExchangeControlsEnabled(true);
  }
}

void TfrmMain::meoDosKeyDown(int key, bool* swallow) {
  if (terminal_) *swallow = terminal_->KeyDown(TerminalKeyFor(key));
}

void TfrmMain::meoDosKeyPress(char ch) {
  if (terminal_) terminal_->KeyPress(static_cast<uint8_t>(ch));
}

void TfrmMain::MoveCaretToEnd() {
  QTextCursor end(meoDos->document());
  end.movePosition(QTextCursor::End);
  meoDos->setTextCursor(end);
}

void TfrmMain::meoDosMouseUp() {
  if (!meoDos->textCursor().hasSelection()) MoveCaretToEnd();
}

void TfrmMain::PopupMenu3Popup() {
  Copy1->setEnabled(meoDos->textCursor().hasSelection());
  Pasteto7730M1->setEnabled(TerminalRunning() && !QApplication::clipboard()->text().isEmpty());
}

void TfrmMain::Copy1Click() {
  // The pane separates lines with U+2029 in a selection; the clipboard wants
  // plain line ends.
  QString text = meoDos->textCursor().selectedText();
  text.replace(QChar(0x2029), '\n');
  if (static_cast<size_t>(text.size()) > vorn::kCopyLimit) {
    ui_.Error("The selected text exceeds 1024 bytes!");
    return;
  }
  QApplication::clipboard()->setText(text);
}

void TfrmMain::Pasteto7730M1Click() {
  if (!TerminalRunning()) return;
  const QByteArray bytes = QApplication::clipboard()->text().left(static_cast<int>(vorn::kPasteLimit)).toLatin1();
  terminal_->Paste(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), PumpFor);
}

void TfrmMain::SelectAll1Click() { meoDos->selectAll(); }

void TfrmMain::Font1Click() {
  if (auto chosen = ui_.ChooseFont(meoDos->font().toString().toStdString())) {
    QFont font;
    if (font.fromString(QString::fromStdString(*chosen))) meoDos->setFont(font);
  }
  meoDos->setFocus();
  MoveCaretToEnd();
}

void TfrmMain::SaveLog1Click() {
  const std::optional<std::string> chosen =
      ui_.SaveFile("Save log", "Log file (*.log)|*.log|All files (*.*)|*.*", "vorn7730.log");
  if (!chosen || chosen->empty()) return;
  const QString path = QString::fromStdString(*chosen);
  const QFileInfo info(path);
  if (info.exists() && !info.isFile()) {
    ui_.Error("Unable to write file '" + *chosen + "'!\n\nIt is not a regular file.");
    return;
  }
  // Written beside it first: a failed save leaves an earlier file as it was.
  QSaveFile file(path);
  const QByteArray text = meoDos->LogText(LogTimestamps1->isChecked()).toUtf8();
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(text) != text.size() || !file.commit())
    ui_.Error("Unable to write file '" + *chosen + "'!\n\n" + file.errorString().toStdString());
}

}  // namespace vorn::ui
