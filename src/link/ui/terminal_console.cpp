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
#include "widgets/pane_tools.h"

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

TerminalConsole::TerminalConsole(TerminalPaneWidget& pane, QToolButton& launch, vorn::TerminalSession& session,
                                 vorn::Ui& ui, std::function<std::string()> portName, QObject* parent)
    : QObject(parent), meoDos_(pane), tbtnDOSCmd_(launch), session_(session), ui_(ui), portName_(std::move(portName)) {
  PopupMenu3 = new QMenu(&pane);
  PopupMenu3->setObjectName("PopupMenu3");
  Copy1 = MenuItem(PopupMenu3, "Copy1", "Copy");
  Pasteto7730M1 = MenuItem(PopupMenu3, "Pasteto7730M1", "Paste to 7730");
  SelectAll1 = MenuItem(PopupMenu3, "SelectAll1", "Select All");
  Font1 = MenuItem(PopupMenu3, "Font1", "Font");
  PopupMenu3->addSeparator();
  SaveLog1 = MenuItem(PopupMenu3, "SaveLog1", "Save log...");
  LogTimestamps1 = MenuItem(PopupMenu3, "LogTimestamps1", "Timestamp Each Line");
  LogTimestamps1->setCheckable(true);

  connect(&launch, &QToolButton::clicked, this, [this] { tbtnDOSCmdClick(); });
  pane.onKeyDown = [this](int key, bool* swallow) { meoDosKeyDown(key, swallow); };
  pane.onKeyPress = [this](char ch) { meoDosKeyPress(ch); };
  pane.onMouseUp = [this] { meoDosMouseUp(); };
  connect(&pane, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    PopupMenu3Popup();
    PopupMenu3->exec(meoDos_.viewport()->mapToGlobal(pos));
  });
  connect(Copy1, &QAction::triggered, this, [this] { Copy1Click(); });
  connect(Pasteto7730M1, &QAction::triggered, this, [this] { Pasteto7730M1Click(); });
  connect(SelectAll1, &QAction::triggered, this, [this] { SelectAll1Click(); });
  connect(Font1, &QAction::triggered, this, [this] { Font1Click(); });
  connect(SaveLog1, &QAction::triggered, this, [this] { SaveLog1Click(); });
}

TerminalConsole::~TerminalConsole() {
  // The pane may outlive the console while its window is taken down.
  meoDos_.onKeyDown = nullptr;
  meoDos_.onKeyPress = nullptr;
  meoDos_.onMouseUp = nullptr;
}

bool TerminalConsole::Running() const { return session_.Running(); }

void TerminalConsole::TypeKeys(const QString& keys) {
  if (!Running()) tbtnDOSCmdClick();
  if (!Running()) return;
  for (char c : keys.toLatin1()) meoDosKeyPress(c);
}

void TerminalConsole::tbtnDOSCmdClick() {
  vorn::TerminalSession* terminal = &session_;
  if (!terminal->Running()) {
    const std::string ComName = portName_();
    if (!terminal->Open(ComName)) {
      tbtnDOSCmd_.setChecked(false);
      const std::string& reason = terminal->OpenFailureReason();
      ui_.Error("Unable to open " + ComName + " !" + (reason.empty() ? std::string() : "\n\n" + reason));
      return;
    }
    tbtnDOSCmd_.setChecked(true);
    meoDos_.SetTerminalColours(true);
    meoDos_.setFocus();
    terminal->Start();
    emit runningChanged(true);
  } else {
    terminal->Stop();
    tbtnDOSCmd_.setChecked(false);
    meoDos_.SetTerminalColours(false);
    emit runningChanged(false);
  }
}

void TerminalConsole::meoDosKeyDown(int key, bool* swallow) {
  *swallow = session_.KeyDown(TerminalKeyFor(key));
}

void TerminalConsole::meoDosKeyPress(char ch) {
  session_.KeyPress(static_cast<uint8_t>(ch));
}

void TerminalConsole::MoveCaretToEnd() {
  QTextCursor end(meoDos_.document());
  end.movePosition(QTextCursor::End);
  meoDos_.setTextCursor(end);
}

void TerminalConsole::meoDosMouseUp() {
  if (!meoDos_.textCursor().hasSelection()) MoveCaretToEnd();
}

void TerminalConsole::PopupMenu3Popup() {
  Copy1->setEnabled(meoDos_.textCursor().hasSelection());
  Pasteto7730M1->setEnabled(Running() && !QApplication::clipboard()->text().isEmpty());
}

void TerminalConsole::Copy1Click() {
  // The pane separates lines with U+2029 in a selection; the clipboard wants
  // plain line ends.
  QString text = meoDos_.textCursor().selectedText();
  text.replace(QChar(0x2029), '\n');
  if (static_cast<size_t>(text.size()) > vorn::kCopyLimit) {
    ui_.Error("The selected text exceeds 1024 bytes!");
    return;
  }
  QApplication::clipboard()->setText(text);
}

void TerminalConsole::Pasteto7730M1Click() {
  if (!Running()) return;
  const QByteArray bytes = QApplication::clipboard()->text().left(static_cast<int>(vorn::kPasteLimit)).toLatin1();
  session_.Paste(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), PumpFor);
}

void TerminalConsole::SelectAll1Click() { meoDos_.selectAll(); }

void TerminalConsole::Font1Click() {
  if (auto chosen = ui_.ChooseFont(meoDos_.font().toString().toStdString())) {
    QFont font;
    if (font.fromString(QString::fromStdString(*chosen))) meoDos_.setFont(font);
  }
  meoDos_.setFocus();
  MoveCaretToEnd();
}

void TerminalConsole::SaveLog1Click() {
  const std::optional<std::string> chosen =
      ui_.SaveFile("Save log: every line since the utility started (the last " +
                       std::to_string(TerminalPaneWidget::kHistoryLines) + " at most)",
                   "Log file (*.log)|*.log|All files (*.*)|*.*", "vorn7730.log");
  if (!chosen || chosen->empty()) return;
  const QString path = QString::fromStdString(*chosen);
  const QFileInfo info(path);
  if (info.exists() && !info.isFile()) {
    ui_.Error("Unable to write file '" + *chosen + "'!\n\nIt is not a regular file.");
    return;
  }
  // Written beside it first: a failed save leaves an earlier file as it was.
  QSaveFile file(path);
  const QByteArray text = meoDos_.LogText(LogTimestamps1->isChecked()).toUtf8();
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(text) != text.size() || !file.commit())
    ui_.Error("Unable to write file '" + *chosen + "'!\n\n" + file.errorString().toStdString());
}

}  // namespace vorn::ui
