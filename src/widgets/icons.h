#pragma once
// Toolbar icons: the platform theme's where it has one, else a simple drawing.
#include <QIcon>
#include <QString>

namespace vorn::ui {

enum class ToolIcon {
  OpenFolder, Up, Refresh, LargeIcons, SmallIcons, List, Report, Run, Copy, Config, Terminal, Network, Image,
};

QIcon MakeToolIcon(ToolIcon which);

}  // namespace vorn::ui
