// The terminal console of the main window: launching and stopping the terminal,
// its two output threads, the keys typed to the controller, and the pane's menu.
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QScrollBar>
#include <QTextBlock>
#include <QThread>
#include <QTimer>

#include "app/ui/qt_invoker.h"
#include "app/ui/tfrm_main.h"
#include "link/byte_ring.h"
#include "link/terminal_output.h"
#include "link/ui/main_terminal_view.h"
#include "link/ui/terminal_pane_widget.h"

namespace vorn::ui {

namespace {

constexpr int kCopyLimit = 1024;
constexpr int kPasteLimit = 1023;

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

}  // namespace

void TfrmMain::CreateTerminalThreads() {
  ring_ = std::make_unique<vorn::ByteRing>();
  terminalView_ = std::make_unique<MainTerminalView>(meoDos);
  receiver_ = std::make_unique<vorn::VornComReceiver>(*invoker_, *ring_);
  printer_ = std::make_unique<vorn::VornPrinterThread>(*invoker_, *ring_, *terminalView_);
}

void TfrmMain::DestroyTerminalThreads() {
  // Printer first, then receiver; each ends a running loop and waits for it.
  // Their pending steps on this thread are released, so the wait cannot hang.
  printer_.reset();
  receiver_.reset();
  ring_.reset();
  terminalView_.reset();
}

void TfrmMain::PauseTerminalThreads() {
  if (printer_) printer_->Suspend();
  if (receiver_) receiver_->Suspend();
}

void TfrmMain::ResumeTerminalThreads() {
  if (receiver_) receiver_->Resume();
  if (printer_) printer_->Resume();
}

void TfrmMain::tbtnDOSCmdClick() {
  if (!TerminalPort) {
    auto port = std::make_unique<vorn::SerialPort>(ComName);
    if (ComName.empty() || !port->Open()) {
      tbtnDOSCmd->setChecked(false);
      ui_.Error("Unable to open " + ComName + " !");
      return;
    }
    TerminalPort = std::move(port);
    TerminalPort->Configure(57600, 8, 0, 0);
    TerminalPort->SetTimeouts(1);
    if (receiver_) receiver_->SetPort(TerminalPort.get());
    tbtnDOSCmd->setChecked(true);
    meoDos->SetTerminalColours(true);
    meoDos->setFocus();
    ResumeTerminalThreads();
    TerminalPort->WriteByte(13);
    KeyGate = true;
    SetExchangeControlsEnabled(false);
  } else {
    PauseTerminalThreads();
    if (receiver_) receiver_->SetPort(nullptr);
    TerminalPort->Close();
    TerminalPort.reset();
    tbtnDOSCmd->setChecked(false);
    meoDos->SetTerminalColours(false);
    SetExchangeControlsEnabled(true);
  }
}

void TfrmMain::meoDosKeyDown(int key, bool* swallow) {
  if (!TerminalPort || !KeyGate) return;
  KeyGate = false;
  switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_F1:
    case Qt::Key_F2:
    case Qt::Key_F3:
    case Qt::Key_F4:
      SendSpecialKey(key);
      *swallow = true;
      break;
    default:
      // Backspace and every other key reach meoDosKeyPress as characters.
      break;
  }
  KeyGate = true;
}

void TfrmMain::SaveUnreadOutput() {
  // A write discards what was received and not yet read. Bytes the controller
  // sent since the receiver's last poll (the echo of the previous key, say)
  // go to the ring first, so fast typing or pasting loses nothing on screen.
  if (!TerminalPort || !ring_) return;
  uint8_t byte;
  for (size_t n = 0; n < vorn::ByteRing::kCapacity && TerminalPort->ReadExact(&byte, 1); ++n) ring_->Put(byte);
}

void TfrmMain::SendSpecialKey(int key) {
  if (!TerminalPort) return;
  uint8_t second = '[', third = 0;
  switch (key) {
    case Qt::Key_Left: third = 'D'; break;
    case Qt::Key_Up: third = 'A'; break;
    case Qt::Key_Right: third = 'C'; break;
    case Qt::Key_Down: third = 'B'; break;
    case Qt::Key_F1: second = 'O'; third = 'P'; break;
    case Qt::Key_F2: second = 'O'; third = 'Q'; break;
    case Qt::Key_F3: second = 'O'; third = 'R'; break;
    case Qt::Key_F4: second = 'O'; third = 'S'; break;
    default: return;
  }
  const uint8_t bytes[3] = {27, second, third};
  SaveUnreadOutput();
  TerminalPort->Write(bytes, 3);
}

void TfrmMain::meoDosKeyPress(char ch) {
  if (!TerminalPort || !KeyGate) return;
  KeyGate = false;
  PauseTerminalThreads();
  QThread::msleep(1);
  SaveUnreadOutput();
  TerminalPort->WriteByte(static_cast<uint8_t>(ch));
  QThread::msleep(1);
  ResumeTerminalThreads();
  KeyGate = true;
}

void TfrmMain::meoDosMouseUp() {
  if (meoDos->textCursor().hasSelection()) return;
  QTextCursor end(meoDos->document());
  end.movePosition(QTextCursor::End);
  meoDos->setTextCursor(end);
}

void TfrmMain::PopupMenu3Popup() {
  Copy1->setEnabled(meoDos->textCursor().hasSelection());
  Pasteto7730M1->setEnabled(TerminalPort != nullptr && !QApplication::clipboard()->text().isEmpty());
}

void TfrmMain::Copy1Click() {
  // The pane separates lines with U+2029 in a selection; the clipboard wants
  // plain line ends.
  QString text = meoDos->textCursor().selectedText();
  text.replace(QChar(0x2029), '\n');
  if (text.size() > kCopyLimit) {
    ui_.Error("The selected text exceeds 1024 bytes!");
    return;
  }
  QApplication::clipboard()->setText(text);
}

void TfrmMain::Pasteto7730M1Click() {
  if (!TerminalPort) return;
  const QByteArray bytes = QApplication::clipboard()->text().left(kPasteLimit).toLatin1();
  for (int i = 0; i < bytes.size(); ++i) {
    if (!TerminalPort) return;  // the terminal was stopped meanwhile
    const uint8_t b = static_cast<uint8_t>(bytes[i]);
    // A host line end (CR LF, or LF alone as this host's clipboard has it)
    // becomes one carriage return.
    const bool crlf = b == 13 && i + 1 < bytes.size() && bytes[i + 1] == '\n';
    if (crlf || b == '\n') {
      PumpFor(20);
      PauseTerminalThreads();
      QThread::msleep(1);
      SaveUnreadOutput();
      TerminalPort->WriteByte(13);
      ResumeTerminalThreads();
      if (crlf) ++i;
    } else {
      PauseTerminalThreads();
      QThread::msleep(1);
      SaveUnreadOutput();
      TerminalPort->WriteByte(b);
      QThread::msleep(1);
      ResumeTerminalThreads();
    }
    PumpFor(10);
  }
}

void TfrmMain::SelectAll1Click() { meoDos->selectAll(); }

void TfrmMain::Font1Click() {
  if (auto chosen = ui_.ChooseFont(meoDos->font().toString().toStdString())) {
    QFont font;
    if (font.fromString(QString::fromStdString(*chosen))) meoDos->setFont(font);
  }
  meoDos->setFocus();
  QTextCursor end(meoDos->document());
  end.movePosition(QTextCursor::End);
  meoDos->setTextCursor(end);
}

}  // namespace vorn::ui
