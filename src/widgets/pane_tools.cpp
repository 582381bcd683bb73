#include "widgets/pane_tools.h"

#include <QButtonGroup>

namespace vorn::ui {

QLabel* PaneHeader(const QString& text, const char* name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  label->setContentsMargins(4, 2, 4, 2);
  return label;
}

QToolBar* PaneToolBar(const char* name, QWidget* parent) {
  auto* bar = new QToolBar(parent);
  bar->setObjectName(name);
  bar->setIconSize(QSize(18, 18));
  // A tool bar outside the main window's tool bar areas has an overflow
  // button that opens nothing: the pane keeps it wide enough for all buttons.
  bar->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Fixed);
  return bar;
}

QToolButton* ToolButton(QToolBar* bar, const char* name, const QString& hint, ToolIcon icon) {
  auto* button = new QToolButton(bar);
  button->setObjectName(name);
  button->setToolTip(hint);
  button->setIcon(MakeToolIcon(icon));
  button->setAutoRaise(true);
  bar->addWidget(button);
  return button;
}

ViewStyleButtonSet ViewStyleButtons(QToolBar* bar, const QString& prefix) {
  auto make = [&](const char* suffix, const char* hint, ToolIcon icon) {
    QToolButton* b = ToolButton(bar, (prefix + suffix).toLatin1().constData(), hint, icon);
    b->setCheckable(true);
    return b;
  };
  ViewStyleButtonSet set;
  // One after the other: the tool bar keeps the order in which they are made.
  set.large = make("LgIcon", "Large Icons", ToolIcon::LargeIcons);
  set.small = make("SmIcon", "Small Icons", ToolIcon::SmallIcons);
  set.list = make("LsIcon", "List View", ToolIcon::List);
  set.report = make("DtIcon", "Report View", ToolIcon::Report);
  auto* group = new QButtonGroup(bar);
  group->setExclusive(true);
  for (QToolButton* b : {set.large, set.small, set.list, set.report}) group->addButton(b);
  return set;
}

}  // namespace vorn::ui
