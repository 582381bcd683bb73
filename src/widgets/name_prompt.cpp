#include "widgets/name_prompt.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <algorithm>
#include <QVBoxLayout>

namespace vorn::ui {

NamePrompt::NamePrompt(QWidget* parent) : QDialog(parent) {
  setObjectName("NamePrompt");
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  prompt_ = new QLabel(this);
  prompt_->setObjectName("prompt");
  prompt_->setWordWrap(true);
  name_ = new QLineEdit(this);
  name_->setObjectName("name");
  // The box stops taking characters at its limit: say so, not silently.
  limit_ = new QLabel(this);
  limit_->setObjectName("limit");
  connect(name_, &QLineEdit::textChanged, this, [this] {
    limit_->setText(QString("%1 of at most %2 characters").arg(name_->text().size()).arg(name_->maxLength()));
  });
  ok_ = new QPushButton("OK", this);
  ok_->setObjectName("ok");
  ok_->setDefault(true);
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("cancel");
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(limit_);
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt_);
  layout->addWidget(name_);
  layout->addLayout(buttons);
  setMinimumWidth(320);
}

void NamePrompt::Prepare(const QString& caption, const QString& prompt, int maxLength, const QString& initial) {
  setWindowTitle(caption);
  prompt_->setText(prompt);
  name_->setMaxLength(maxLength);
  name_->setText(initial.left(maxLength));
  name_->selectAll();
  emit name_->textChanged(name_->text());
  // A window manager cuts a caption wider than the window (a long host name):
  // room for it, in the frame's bold font, beside the frame's buttons.
  QFont bold = font();
  bold.setBold(true);
  const int captionWidth = QFontMetrics(bold).horizontalAdvance(caption) + 8 * fontMetrics().height() + 24;
  setMinimumWidth(std::max(320, captionWidth));
}

void NamePrompt::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  name_->setFocus();
  name_->selectAll();  // typing replaces the name it starts with
}

}  // namespace vorn::ui
