#pragma once
// The top of a file pane: its bold header, a tool bar that keeps all its
// buttons in sight, its buttons, and the four view-style buttons.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QString>
#include <QToolBar>
#include <QToolButton>

#include "widgets/icons.h"

namespace vorn::ui {

QLabel* PaneHeader(const QString& text, const char* name, QWidget* parent);
QToolBar* PaneToolBar(const char* name, QWidget* parent);
QToolButton* ToolButton(QToolBar* bar, const char* name, const QString& hint, ToolIcon icon);
// A command added to menu, named so that tests and the code find it.
QAction* MenuItem(QMenu* menu, const char* name, const QString& caption);

// Large icons, small icons, list and report, named prefix + LgIcon, SmIcon,
// LsIcon and DtIcon, in that order on the bar; exactly one is down.
void ViewStyleButtons(QToolBar* bar, const QString& prefix, QToolButton*& large, QToolButton*& small,
                      QToolButton*& list, QToolButton*& report);

// A file pane's column: its header, then the bar, the path box, the list
// (which takes the height left) and the status panels.
void LayOutPane(QWidget* pane, const QString& header, const char* headerName, QWidget* bar, QWidget* pathBox,
                QWidget* list, QWidget* status);

}  // namespace vorn::ui
