#include "app/ui/dialogs.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include "app/ui/application.h"
#include "app/version.h"

namespace vorn::ui {

namespace {
// A simple drawn emblem: a controller with its module slots.
QPixmap AboutImage() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(40, 70, 140));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(4, 10, 56, 44, 6, 6);
  p.setBrush(QColor(220, 230, 245));
  for (int i = 0; i < 4; ++i) p.drawRect(10 + i * 12, 18, 8, 28);
  p.setBrush(QColor(90, 200, 90));
  p.drawEllipse(QPointF(52, 16), 3, 3);
  return pixmap;
}
}  // namespace

TdlgVornInit::TdlgVornInit(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("TdlgVornInit");
  setWindowTitle("VORN-7730 Series Initializing...");
  lblMsg = new QLabel("Initializing...", this);
  lblMsg->setObjectName("lblMsg");
  QPalette p = lblMsg->palette();
  p.setColor(QPalette::WindowText, Qt::blue);
  lblMsg->setPalette(p);
  lblMsg->setAlignment(Qt::AlignCenter);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblMsg);
  setFixedSize(320, 80);
  CentreOnDesktop(*this);
}

void TdlgVornInit::ChangeLabelText(const QString& text) {
  lblMsg->setText(text);
  PaintNow(*this);
}

TdlgVornAbout::TdlgVornAbout(QWidget* parent) : QDialog(parent) {
  setObjectName("TdlgVornAbout");
  setWindowTitle("About VORN-7730M Utility");
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  Image1 = new QLabel(this);
  Image1->setPixmap(AboutImage());
  lblName = new QLabel("VORN-7730 Series Utility", this);
  QFont bold = lblName->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.2);
  lblName->setFont(bold);
  lblVersion = new QLabel("Version: 1.38  (B01)", this);
  // The installed release, which --version and the package name give too.
  lblRelease = new QLabel("Release " VORN7730_VERSION, this);
  lblRelease->setObjectName("lblRelease");
  lblNotice = new QLabel(
      "Maintenance utility for VORN-7730 series controllers.\n"
      "Files, terminal, I/O modules and network settings over one serial line.",
      this);
  OKButton = new QPushButton("OK", this);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* grid = new QGridLayout(this);
  grid->addWidget(Image1, 0, 0, 4, 1, Qt::AlignTop);
  grid->addWidget(lblName, 0, 1);
  grid->addWidget(lblVersion, 1, 1);
  grid->addWidget(lblRelease, 2, 1);
  grid->addWidget(lblNotice, 3, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKButton);
  grid->addLayout(buttons, 4, 0, 1, 2);
}

TdlgVornRun::TdlgVornRun(vorn::Ui& ui, vorn::platform::Registry& registry, QWidget* parent)
    : QDialog(parent), ui_(ui), registry_(registry) {
  setObjectName("TdlgVornRun");
  setWindowTitle("Run VORN-6100 Utility");
  setWindowFlags((windowFlags() & ~Qt::WindowContextHelpButtonHint & ~Qt::WindowMinMaxButtonsHint) |
                 Qt::WindowSystemMenuHint);
  auto* Label1 = new QLabel("Run", this);
  edtAppName = new QLineEdit("edtAppName", this);
  edtAppName->setObjectName("edtAppName");
  edtAppName->setMinimumWidth(320);
  btnOK = new QPushButton("OK", this);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setObjectName("btnCancel");
  btnBrowse = new QPushButton("Browse", this);
  btnBrowse->setObjectName("btnBrowse");
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnBrowse, &QPushButton::clicked, this, [this] { btnBrowseClick(); });

  auto* row = new QHBoxLayout;
  row->addWidget(Label1);
  row->addWidget(edtAppName, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  buttons->addWidget(btnBrowse);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addLayout(buttons);
  LoadRunFile();  // FormCreate
  adjustSize();
  CentreOnDesktop(*this);
}

void TdlgVornRun::LoadRunFile() {
  if (auto value = registry_.ReadString(kRunFileKey, kRunFileValue)) edtAppName->setText(QString::fromStdString(*value));
}

void TdlgVornRun::SaveRunFile() { registry_.WriteString(kRunFileKey, kRunFileValue, edtAppName->text().toStdString()); }

void TdlgVornRun::btnOKClick() {
  SaveRunFile();
  AppPath = edtAppName->text().toStdString();
  accept();
}

void TdlgVornRun::btnBrowseClick() {
  // The file dialog only returns files that exist.
  if (auto path = ui_.OpenFile("Open", vorn::platform::ProgramFileFilter())) {
    edtAppName->setText(QString::fromStdString(*path));
    btnOK->setFocus();
  }
}

}  // namespace vorn::ui
