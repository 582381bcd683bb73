#include "remote/ui/text_viewer.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "platform/owner_files.h"
#include "remote/remote_ops.h"

namespace vorn::ui {

std::string TextViewer::TitleFor(const std::string& path) {
  return "View " + path + " (text files only: type stops at Ctrl+Z and turns line ends)";
}

TextViewer::TextViewer(vorn::Ui& ui, const std::string& path, const std::vector<std::string>& lines,
                           QWidget* parent)
    : QDialog(parent), ui_(ui), name_(path.substr(path.find_last_of('\\') + 1)), lines_(lines) {
  setObjectName("TextViewer");
  setWindowTitle(QString::fromStdString(TitleFor(path)));
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  meoText = new QPlainTextEdit(this);
  meoText->setObjectName("meoText");
  meoText->setReadOnly(true);
  meoText->setLineWrapMode(QPlainTextEdit::NoWrap);
  meoText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // The controller's bytes are not UTF-8: each one shows as its Latin-1 character.
  std::string text = vorn::JoinLines(lines, "\n");
  if (!text.empty()) text.pop_back();  // no empty line after the last
  meoText->setPlainText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));

  btnSaveAs = new QPushButton("Save &As...", this);
  btnSaveAs->setObjectName("btnSaveAs");
  btnClose = new QPushButton("Close", this);
  btnClose->setObjectName("btnClose");
  btnClose->setDefault(true);
  connect(btnSaveAs, &QPushButton::clicked, this, [this] { saveAs(); });
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnSaveAs);
  buttons->addWidget(btnClose);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(meoText);
  layout->addLayout(buttons);
  resize(720, 480);
}

bool TextViewer::saveAs() {
  const auto target = ui_.SaveFile("Save As", "Text file (*.txt)|*.txt|All files (*.*)|*.*", name_);
  if (!target || target->empty()) return false;
  std::string reason;
  // Through a new file put in place at the end, so a failed write leaves the
  // file that was there, and a link there is replaced rather than followed.
  if (!platform::WriteOwnerOnlyFile(*target, vorn::JoinLines(lines_, "\r\n"), &reason)) {
    ui_.Error("Unable to write '" + *target + "'!\n" + reason);
    return false;
  }
  return true;
}

}  // namespace vorn::ui
