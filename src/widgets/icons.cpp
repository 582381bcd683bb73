#include "widgets/icons.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

namespace vorn::ui {

namespace {

QPixmap Canvas() {
  QPixmap pixmap(24, 24);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

QIcon Drawn(ToolIcon which) {
  QPixmap pixmap = Canvas();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor ink(40, 60, 110);
  p.setPen(QPen(ink, 1.6));
  switch (which) {
    case ToolIcon::LargeIcons:
      p.setBrush(QColor(120, 160, 220));
      p.drawRect(3, 3, 8, 8);
      p.drawRect(13, 3, 8, 8);
      p.drawRect(3, 13, 8, 8);
      p.drawRect(13, 13, 8, 8);
      break;
    case ToolIcon::SmallIcons:
      p.setBrush(QColor(120, 160, 220));
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 2; ++c) {
          p.drawRect(3 + c * 10, 4 + r * 6, 3, 3);
          p.drawLine(8 + c * 10, 5 + r * 6, 11 + c * 10, 5 + r * 6);
        }
      break;
    case ToolIcon::List:
      for (int r = 0; r < 4; ++r) {
        p.drawRect(3, 3 + r * 5, 3, 3);
        p.drawLine(9, 4 + r * 5, 21, 4 + r * 5);
      }
      break;
    case ToolIcon::Report:
      p.drawRect(3, 3, 18, 18);
      p.drawLine(3, 8, 21, 8);
      p.drawLine(10, 3, 10, 21);
      p.drawLine(3, 13, 21, 13);
      p.drawLine(3, 17, 21, 17);
      break;
    case ToolIcon::Terminal: {
      p.setBrush(Qt::black);
      p.drawRoundedRect(2, 3, 20, 18, 2, 2);
      p.setPen(QPen(QColor(192, 192, 192), 1.8));
      p.drawLine(6, 9, 10, 12);
      p.drawLine(10, 12, 6, 15);
      p.drawLine(12, 16, 18, 16);
      break;
    }
    case ToolIcon::Config: {
      p.setBrush(QColor(200, 210, 225));
      p.drawRect(3, 5, 18, 15);
      p.setBrush(QColor(60, 140, 60));
      for (int i = 0; i < 4; ++i) p.drawRect(5 + i * 4, 8, 2, 9);
      break;
    }
    case ToolIcon::Network: {
      p.setBrush(QColor(120, 160, 220));
      p.drawRect(8, 2, 8, 6);
      p.drawRect(2, 16, 8, 6);
      p.drawRect(14, 16, 8, 6);
      p.drawLine(12, 8, 12, 12);
      p.drawLine(6, 12, 18, 12);
      p.drawLine(6, 12, 6, 16);
      p.drawLine(18, 12, 18, 16);
      break;
    }
    case ToolIcon::Image: {
      p.setBrush(QColor(210, 210, 210));
      p.drawRoundedRect(3, 6, 18, 13, 2, 2);
      p.setBrush(QColor(70, 170, 70));
      p.drawEllipse(QPointF(17, 15), 1.6, 1.6);
      p.drawLine(6, 10, 14, 10);
      break;
    }
    case ToolIcon::Copy: {
      QPainterPath arrow;
      arrow.moveTo(3, 9);
      arrow.lineTo(13, 9);
      arrow.lineTo(13, 4);
      arrow.lineTo(21, 12);
      arrow.lineTo(13, 20);
      arrow.lineTo(13, 15);
      arrow.lineTo(3, 15);
      arrow.closeSubpath();
      p.setBrush(QColor(60, 140, 60));
      p.drawPath(arrow);
      break;
    }
    default:
      break;
  }
  return QIcon(pixmap);
}

}  // namespace

QIcon MakeToolIcon(ToolIcon which) {
  QStyle* style = QApplication::style();
  auto themed = [&](const char* name, QStyle::StandardPixmap fallback) {
    QIcon icon = QIcon::fromTheme(name);
    return icon.isNull() ? style->standardIcon(fallback) : icon;
  };
  switch (which) {
    case ToolIcon::OpenFolder: return themed("folder-open", QStyle::SP_DirOpenIcon);
    case ToolIcon::Up: return themed("go-up", QStyle::SP_FileDialogToParent);
    case ToolIcon::Refresh: return themed("view-refresh", QStyle::SP_BrowserReload);
    case ToolIcon::Run: return themed("system-run", QStyle::SP_MediaPlay);
    default: return Drawn(which);
  }
}

}  // namespace vorn::ui
