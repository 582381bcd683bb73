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
    : QObject(parent), view_(pane), launch_(launch), session_(session), ui_(ui), portName_(std::move(portName)) {
  terminalMenu = new QMenu(&pane);
  terminalMenu->setObjectName("terminalMenu");
  copyAction = MenuItem(terminalMenu, "copyAction", "Copy");
  pasteAction = MenuItem(terminalMenu, "pasteAction", "Paste to 7730");
  selectAllAction = MenuItem(terminalMenu, "selectAllAction", "Select All");
  fontAction = MenuItem(terminalMenu, "fontAction", "Font");
  terminalMenu->addSeparator();
  saveLogAction = MenuItem(terminalMenu, "saveLogAction", "Save log...");
  logTimestampsAction = MenuItem(terminalMenu, "logTimestampsAction", "Timestamp Each Line");
  logTimestampsAction->setCheckable(true);

  connect(&launch, &QToolButton::clicked, this, [this] { toggleTerminal(); });
  pane.onKeyDown = [this](int key, bool* swallow) { keyDown(key, swallow); };
  pane.onKeyPress = [this](char ch) { typeKey(ch); };
  pane.onMouseUp = [this] { mouseUp(); };
  connect(&pane, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    fillTerminalMenu();
    terminalMenu->exec(view_.viewport()->mapToGlobal(pos));
  });
  connect(copyAction, &QAction::triggered, this, [this] { copySelection(); });
  connect(pasteAction, &QAction::triggered, this, [this] { pasteToController(); });
  connect(selectAllAction, &QAction::triggered, this, [this] { selectAll(); });
  connect(fontAction, &QAction::triggered, this, [this] { chooseFont(); });
  connect(saveLogAction, &QAction::triggered, this, [this] { saveLog(); });
}

TerminalConsole::~TerminalConsole() {
  // The pane may outlive the console while its window is taken down.
  view_.onKeyDown = nullptr;
  view_.onKeyPress = nullptr;
  view_.onMouseUp = nullptr;
}

bool TerminalConsole::Running() const { return session_.Running(); }

void TerminalConsole::TypeKeys(const QString& keys) {
  if (!Running()) toggleTerminal();
  if (!Running()) return;
  for (char c : keys.toLatin1()) typeKey(c);
}

void TerminalConsole::toggleTerminal() {
  vorn::TerminalSession* terminal = &session_;
  if (!terminal->Running()) {
    const std::string ComName = portName_();
    if (!terminal->Open(ComName)) {
      launch_.setChecked(false);
      const std::string& reason = terminal->OpenFailureReason();
      ui_.Error("Unable to open " + ComName + " !" + (reason.empty() ? std::string() : "\n\n" + reason));
      return;
    }
    launch_.setChecked(true);
    view_.SetTerminalColours(true);
    view_.setFocus();
    terminal->Start();
    emit runningChanged(true);
  } else {
    terminal->Stop();
    launch_.setChecked(false);
    view_.SetTerminalColours(false);
    emit runningChanged(false);
  }
}

void TerminalConsole::keyDown(int key, bool* swallow) {
  *swallow = session_.KeyDown(TerminalKeyFor(key));
}

void TerminalConsole::typeKey(char ch) {
  session_.KeyPress(static_cast<uint8_t>(ch));
}

void TerminalConsole::MoveCaretToEnd() {
  QTextCursor end(view_.document());
  end.movePosition(QTextCursor::End);
  view_.setTextCursor(end);
}

void TerminalConsole::mouseUp() {
  if (!view_.textCursor().hasSelection()) MoveCaretToEnd();
}

void TerminalConsole::fillTerminalMenu() {
  copyAction->setEnabled(view_.textCursor().hasSelection());
  pasteAction->setEnabled(Running() && !QApplication::clipboard()->text().isEmpty());
}

void TerminalConsole::copySelection() {
  // The pane separates lines with U+2029 in a selection; the clipboard wants
  // plain line ends.
  QString text = view_.textCursor().selectedText();
  text.replace(QChar(0x2029), '\n');
  if (static_cast<size_t>(text.size()) > vorn::kCopyLimit) {
    ui_.Error("The selected text exceeds 1024 bytes!");
    return;
  }
  QApplication::clipboard()->setText(text);
}

void TerminalConsole::pasteToController() {
  if (!Running()) return;
  const QByteArray bytes = QApplication::clipboard()->text().left(static_cast<int>(vorn::kPasteLimit)).toLatin1();
  session_.Paste(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), PumpFor);
}

void TerminalConsole::selectAll() { view_.selectAll(); }

void TerminalConsole::chooseFont() {
  if (auto chosen = ui_.ChooseFont(view_.font().toString().toStdString())) {
    QFont font;
    if (font.fromString(QString::fromStdString(*chosen))) view_.setFont(font);
  }
  view_.setFocus();
  MoveCaretToEnd();
}

void TerminalConsole::saveLog() {
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
  const QByteArray text = view_.LogText(logTimestampsAction->isChecked()).toUtf8();
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(text) != text.size() || !file.commit())
    ui_.Error("Unable to write file '" + *chosen + "'!\n\n" + file.errorString().toStdString());
}

}  // namespace vorn::ui
