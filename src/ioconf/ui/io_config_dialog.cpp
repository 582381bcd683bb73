#include "ioconf/ui/io_config_dialog.h"

#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ioconf/module_catalogue.h"
#include "link/ui/terminal_pane_widget.h"

namespace vorn::ui {

namespace {

QLabel* Sunken(QWidget* parent, const QString& name) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setMargin(2);
  return label;
}

}  // namespace

IOConfigDialog::IOConfigDialog(const vorn::IOConfig& config, QWidget* parent) : QDialog(parent), Config(config) {
  setObjectName("IOConfigDialog");
  setWindowTitle("VORN-7730 Analog IO Configuration");
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  resize(506, 338);

  auto* nodeLabel = new QLabel("Node ID:", this);
  nodeLabel->setObjectName("nodeLabel");
  statextNodeID = Sunken(this, "statextNodeID");
  statextNodeID->setMinimumWidth(40);
  auto* hexLabel = new QLabel("HEX", this);
  hexLabel->setObjectName("hexLabel");

  // The range texts are padded with blanks to line up in a fixed-pitch font.
  const QFont fixed = FixedPitchFont();

  pagectrlSlot = new QTabWidget(this);
  pagectrlSlot->setObjectName("pagectrlSlot");
  for (int n = 0; n < vorn::kSlotCount; ++n) {
    auto* page = new QWidget;
    page->setObjectName(QString("tbsheetSlot%1").arg(n));
    tbsheetSlot[n] = page;

    auto* descFrame = new QFrame(page);
    descFrame->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    statextDspSL[n] = Sunken(descFrame, QString("statextDspSL%1").arg(n));
    statextDspSL[n]->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* descLayout = new QHBoxLayout(descFrame);
    descLayout->addWidget(new QLabel("Description:", descFrame));
    descLayout->addWidget(statextDspSL[n], 1);

    auto* panel = new QFrame(page);
    panel->setObjectName(QString("panelSL%1").arg(n));
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    panelSL[n] = panel;
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->addWidget(new QLabel("Input Range:", panel));
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    for (int ch = 0; ch < vorn::kChannelCount; ++ch) {
      auto* label = new QLabel(QString("CH%1").arg(ch), panel);
      label->setObjectName(QString("lblSL%1CH%2").arg(n).arg(ch));
      label->setMinimumWidth(28);
      auto* combo = new QComboBox(panel);
      combo->setObjectName(QString("cbxSL%1Rg%2").arg(n).arg(ch));
      combo->setFont(fixed);
      combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
      combo->setMinimumWidth(150);
      lblSL[n][ch] = label;
      cbxSL[n][ch] = combo;
      // Even channels on the left, odd on the right, two a row.
      const int row = ch / 2, column = (ch % 2) * 3;
      grid->addWidget(label, row, column);
      grid->addWidget(combo, row, column + 1);
    }
    grid->setColumnMinimumWidth(2, 16);
    grid->setColumnStretch(5, 1);
    panelLayout->addLayout(grid);
    panelLayout->addStretch();

    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->addWidget(descFrame);
    pageLayout->addWidget(panel, 1);
    pageLayout->addStretch();
    pagectrlSlot->addTab(page, QString("Slot%1").arg(n));
  }
  pagectrlSlot->setCurrentIndex(0);

  btnOK = new QPushButton("OK", this);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setObjectName("btnCancel");
  connect(btnOK, &QPushButton::clicked, this, [this] {
    storeRanges();
    accept();
  });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* node = new QHBoxLayout;
  node->addWidget(nodeLabel);
  node->addWidget(statextNodeID);
  node->addWidget(hexLabel);
  node->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(node);
  layout->addWidget(pagectrlSlot, 1);
  layout->addLayout(buttons);
}

void IOConfigDialog::showConfig() {
  for (int n = 4; n < vorn::kSlotCount; ++n) {
    if (!Config.EightSlots) pagectrlSlot->setTabText(n, "None");
    pagectrlSlot->setTabVisible(n, Config.EightSlots);
  }
  statextNodeID->setText(QString::fromStdString(vorn::NodeIDText(Config.NodeID)));
  for (int n = 0; n < vorn::kSlotCount; ++n) {
    const vorn::SlotPage page = vorn::ShowSlot(Config.Slots[n]);
    statextDspSL[n]->setText(QString::fromStdString(page.Description));
    panelSL[n]->setVisible(page.PanelVisible);
    for (int ch = 0; ch < vorn::kChannelCount; ++ch) {
      QComboBox* combo = cbxSL[n][ch];
      combo->clear();
      for (const std::string& item : page.Combos[ch].Items) combo->addItem(QString::fromStdString(item));
      combo->setCurrentIndex(page.Combos[ch].Selected);
      lblSL[n][ch]->setText(QString::fromStdString(page.Labels[ch]));
      lblSL[n][ch]->setVisible(page.ChannelVisible[ch]);
      combo->setVisible(page.ChannelVisible[ch]);
    }
  }
}

void IOConfigDialog::storeRanges() {
  for (int n = 0; n < vorn::kSlotCount; ++n) {
    vorn::SlotPage page;
    for (int ch = 0; ch < vorn::kChannelCount; ++ch) page.Combos[ch].Selected = cbxSL[n][ch]->currentIndex();
    vorn::StoreSlot(Config.Slots[n], page);
  }
}

void IOConfigDialog::showEvent(QShowEvent* event) {
  // The window system's own show (restored from minimised) must not refill
  // the combos over the user's choices.
  if (!event->spontaneous()) showConfig();
  QDialog::showEvent(event);
}

bool IOConfDialogEditor::Edit(vorn::IOConfig& config) {
  IOConfigDialog dialog(config, parent_);
  if (dialog.exec() != QDialog::Accepted) return false;
  config = dialog.Config;
  return true;
}

}  // namespace vorn::ui
