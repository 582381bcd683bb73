#include "remote/ui/properties_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vorn::ui {

namespace {

QLabel* ValueLabel(QWidget* parent, const char* name, const char* colour) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setStyleSheet(QString("color: %1;").arg(colour));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setMinimumWidth(220);
  return label;
}

}  // namespace

PropertiesDialog::PropertiesDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("PropertiesDialog");
  setWindowTitle("Properities");
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  lblModule = ValueLabel(this, "lblModule", "navy");
  lblName = ValueLabel(this, "lblName", "blue");
  lblPath = ValueLabel(this, "lblPath", "blue");
  lblType = ValueLabel(this, "lblType", "blue");
  lblSize = ValueLabel(this, "lblSize", "blue");
  lblDate = ValueLabel(this, "lblDate", "blue");
  lblContain = ValueLabel(this, "lblContain", "blue");
  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

  auto* grid = new QGridLayout;
  const std::pair<const char*, QLabel*> rows[] = {
      {"Module:", lblModule}, {"Name: ", lblName}, {"Path:", lblPath},        {"Type:", lblType},
      {"Size:", lblSize},     {"Date:", lblDate}, {"Contains:", lblContain},
  };
  int row = 0;
  for (const auto& [caption, value] : rows) {
    grid->addWidget(new QLabel(caption, this), row, 0);
    grid->addWidget(value, row, 1);
    ++row;
  }
  grid->setColumnStretch(1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addSpacing(8);
  layout->addLayout(buttons);
}

void PropertiesDialog::showValues() {
  lblModule->setText(QString::fromStdString(Module));
  lblName->setText(QString::fromStdString(Name));
  lblPath->setText(QString::fromStdString(Path));
  lblType->setText(QString::fromStdString(Type));
  lblSize->setText(QString::fromStdString(Size));
  lblDate->setText(QString::fromStdString(Date));
  lblContain->setText(QString::fromStdString(Contains));
}

void PropertiesDialog::showEvent(QShowEvent* event) {
  showValues();
  QDialog::showEvent(event);
}

}  // namespace vorn::ui
