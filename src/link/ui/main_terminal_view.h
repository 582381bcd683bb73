#pragma once
#include <QScrollBar>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>

#include "link/terminal_output.h"
#include "link/ui/terminal_pane_widget.h"

namespace vorn::ui {

// The pane as the printer thread changes it; every call comes on the GUI thread.
class MainTerminalView : public vorn::TerminalView {
 public:
  explicit MainTerminalView(TerminalPaneWidget* pane) : pane_(pane) {}

  int LineCount() const override { return pane_->document()->blockCount(); }
  std::string LastLine() const override { return pane_->document()->lastBlock().text().toLatin1().toStdString(); }
  void AppendToLastLine(const std::string& text) override {
    QTextCursor cursor(pane_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QString::fromLatin1(text.data(), static_cast<int>(text.size())));
    Follow();
  }
  void AddLine() override {
    pane_->LineDone(pane_->document()->lastBlock().text());
    QTextCursor cursor(pane_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertBlock();
    Follow();
  }
  void ClearCurrentLine() override {
    QTextCursor cursor(pane_->document()->lastBlock());
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
  }
  void EraseLastChar() override {
    if (pane_->document()->lastBlock().text().isEmpty()) return;
    QTextCursor cursor(pane_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.deletePreviousChar();
  }
  void Clear() override { pane_->clear(); }
  void SetLines(const std::vector<std::string>& lines) override {
    QStringList text;
    for (const std::string& l : lines) text << QString::fromLatin1(l.data(), static_cast<int>(l.size()));
    pane_->setPlainText(text.join('\n'));
    Follow();
  }
  void Freeze() override { pane_->viewport()->setUpdatesEnabled(false); }
  void Thaw() override {
    pane_->viewport()->setUpdatesEnabled(true);
    Follow();
    pane_->viewport()->update();
  }

 private:
  void Follow() {
    // Keep the newest output in view unless the user is selecting text.
    if (!pane_->textCursor().hasSelection()) {
      QTextCursor end(pane_->document());
      end.movePosition(QTextCursor::End);
      pane_->setTextCursor(end);
    }
    pane_->verticalScrollBar()->setValue(pane_->verticalScrollBar()->maximum());
  }
  TerminalPaneWidget* pane_;
};

}  // namespace vorn::ui
