#include "widgets/tdlg_vorn_ask_name.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <algorithm>
#include <QVBoxLayout>

namespace vorn::ui {

TdlgVornAskName::TdlgVornAskName(QWidget* parent) : QDialog(parent) {
  setObjectName("TdlgVornAskName");
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  lblPrompt = new QLabel(this);
  lblPrompt->setObjectName("lblPrompt");
  lblPrompt->setWordWrap(true);
  edtFileName = new QLineEdit(this);
  edtFileName->setObjectName("edtFileName");
  // The box stops taking characters at its limit: say so, not silently.
  lblLimit = new QLabel(this);
  lblLimit->setObjectName("lblLimit");
  connect(edtFileName, &QLineEdit::textChanged, this, [this] {
    lblLimit->setText(QString("%1 of at most %2 characters").arg(edtFileName->text().size()).arg(edtFileName->maxLength()));
  });
  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton("Cancel", this);
  CancelBtn->setObjectName("CancelBtn");
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(lblLimit);
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblPrompt);
  layout->addWidget(edtFileName);
  layout->addLayout(buttons);
  setMinimumWidth(320);
}

void TdlgVornAskName::Prepare(const QString& caption, const QString& prompt, int maxLength, const QString& initial) {
  setWindowTitle(caption);
  lblPrompt->setText(prompt);
  edtFileName->setMaxLength(maxLength);
  edtFileName->setText(initial.left(maxLength));
  edtFileName->selectAll();
  emit edtFileName->textChanged(edtFileName->text());
  // A window manager cuts a caption wider than the window (a long host name):
  // room for it, in the frame's bold font, beside the frame's buttons.
  QFont bold = font();
  bold.setBold(true);
  const int captionWidth = QFontMetrics(bold).horizontalAdvance(caption) + 8 * fontMetrics().height() + 24;
  setMinimumWidth(std::max(320, captionWidth));
}

void TdlgVornAskName::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  edtFileName->setFocus();
  edtFileName->selectAll();  // typing replaces the name it starts with
}

}  // namespace vorn::ui
