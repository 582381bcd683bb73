#include "widgets/status_panels.h"

#include <QHBoxLayout>

namespace vorn::ui {

StatusPanels::StatusPanels(std::vector<int> widths, QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 1, 2, 1);
  layout->setSpacing(2);
  for (size_t i = 0; i < widths.size(); ++i) {
    auto* panel = new QLabel(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setTextInteractionFlags(Qt::NoTextInteraction);
    panel->setMinimumWidth(0);
    // The last panel takes the rest of the width, as a status bar's does.
    if (i + 1 < widths.size()) {
      panel->setFixedWidth(widths[i]);
      layout->addWidget(panel);
    } else {
      panel->setMinimumWidth(widths[i] / 2);
      layout->addWidget(panel, 1);
    }
    panels_.push_back(panel);
  }
  setFixedHeight(22);
}

void StatusPanels::SetText(int panel, const QString& text) { panels_.at(panel)->setText(text); }

QString StatusPanels::Text(int panel) const { return panels_.at(panel)->text(); }

void StatusPanels::SetPanelWidth(int panel, int width) {
  if (panel + 1 < static_cast<int>(panels_.size()))
    panels_.at(panel)->setFixedWidth(std::max(0, width));
  else
    panels_.at(panel)->setMinimumWidth(std::max(0, width / 2));
}

int StatusPanels::PanelWidth(int panel) const { return panels_.at(panel)->width(); }

void StatusPanels::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  emit resized();
}

}  // namespace vorn::ui
