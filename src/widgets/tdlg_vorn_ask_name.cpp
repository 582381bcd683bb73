#include "widgets/tdlg_vorn_ask_name.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vorn::ui {

TdlgVornAskName::TdlgVornAskName(QWidget* parent) : QDialog(parent) {
  setObjectName("TdlgVornAskName");
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  lblPrompt = new QLabel(this);
  lblPrompt->setObjectName("lblPrompt");
  edtFileName = new QLineEdit(this);
  edtFileName->setObjectName("edtFileName");
  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton("Cancel", this);
  CancelBtn->setObjectName("CancelBtn");
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblPrompt);
  layout->addWidget(edtFileName);
  layout->addLayout(buttons);
  setMinimumWidth(320);
}

void TdlgVornAskName::Prepare(const QString& caption, const QString& prompt, int maxLength) {
  setWindowTitle(caption);
  lblPrompt->setText(prompt);
  edtFileName->clear();
  edtFileName->setMaxLength(maxLength);
}

void TdlgVornAskName::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  edtFileName->setFocus();
}

}  // namespace vorn::ui
