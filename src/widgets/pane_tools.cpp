#include "widgets/pane_tools.h"

#include <QButtonGroup>
#include <QVBoxLayout>

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

QAction* MenuItem(QMenu* menu, const char* name, const QString& caption) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(name);
  return action;
}

void ViewStyleButtons(QToolBar* bar, const QString& prefix, QToolButton*& large, QToolButton*& small,
                      QToolButton*& list, QToolButton*& report) {
  auto make = [&](const char* suffix, const char* hint, ToolIcon icon) {
    QToolButton* b = ToolButton(bar, (prefix + suffix).toLatin1().constData(), hint, icon);
    b->setCheckable(true);
    return b;
  };
  // One after the other: the tool bar keeps the order in which they are made.
  large = make("LgIcon", "Large Icons", ToolIcon::LargeIcons);
  small = make("SmIcon", "Small Icons", ToolIcon::SmallIcons);
  list = make("LsIcon", "List View", ToolIcon::List);
  report = make("DtIcon", "Report View", ToolIcon::Report);
  auto* group = new QButtonGroup(bar);
  group->setExclusive(true);
  for (QToolButton* b : {large, small, list, report}) group->addButton(b);
}

void LayOutPane(QWidget* pane, const QString& header, const char* headerName, QWidget* bar, QWidget* pathBox,
                QWidget* list, QWidget* status) {
  auto* layout = new QVBoxLayout(pane);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(1);
  layout->addWidget(PaneHeader(header, headerName, pane));
  layout->addWidget(bar);
  layout->addWidget(pathBox);
  layout->addWidget(list, 1);
  layout->addWidget(status);
}

}  // namespace vorn::ui
