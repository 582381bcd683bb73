#include "widgets/flow_layout.h"

#include <QWidget>
#include <algorithm>

namespace vorn::ui {

FlowLayout::FlowLayout(QWidget* parent, int spacing) : QLayout(parent) {
  setContentsMargins(0, 0, 0, 0);
  setSpacing(spacing);
}

FlowLayout::~FlowLayout() {
  while (QLayoutItem* item = takeAt(0)) delete item;
}

void FlowLayout::addItem(QLayoutItem* item) { items_.append(item); }

QLayoutItem* FlowLayout::takeAt(int index) {
  if (index < 0 || index >= items_.size()) return nullptr;
  return items_.takeAt(index);
}

QSize FlowLayout::minimumSize() const {
  // As narrow as the widest item: everything else moves to further lines.
  QSize size;
  for (const QLayoutItem* item : items_) size = size.expandedTo(item->minimumSize());
  const QMargins m = contentsMargins();
  return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

QSize FlowLayout::sizeHint() const {
  // All items on one line.
  int width = 0, height = 0;
  for (const QLayoutItem* item : items_) {
    if (item->isEmpty()) continue;
    const QSize hint = item->sizeHint();
    width += (width > 0 ? spacing() : 0) + hint.width();
    height = std::max(height, hint.height());
  }
  const QMargins m = contentsMargins();
  return {width + m.left() + m.right(), height + m.top() + m.bottom()};
}

void FlowLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  Arrange(rect, true);
}

int FlowLayout::Arrange(const QRect& rect, bool place) const {
  const QRect area = rect.marginsRemoved(contentsMargins());
  struct Placed {
    QLayoutItem* item;
    QSize size;
  };
  QList<Placed> line;
  int x = area.x(), y = area.y(), lineHeight = 0;
  // Items of one line share its middle.
  auto finishLine = [&] {
    if (place)
      for (const Placed& p : line) {
        p.item->setGeometry(QRect(QPoint(x, y + (lineHeight - p.size.height()) / 2), p.size));
        x += p.size.width() + spacing();
      }
    line.clear();
  };
  int used = 0;  // width taken on the current line
  for (QLayoutItem* item : items_) {
    if (item->isEmpty()) continue;
    const QSize hint = item->sizeHint();
    const QSize size(std::min(hint.width(), std::max(item->minimumSize().width(), area.width())), hint.height());
    if (used > 0 && used + size.width() > area.width()) {
      x = area.x();
      finishLine();
      y += lineHeight + spacing();
      lineHeight = 0;
      used = 0;
    }
    line.append({item, size});
    used += size.width() + spacing();
    lineHeight = std::max(lineHeight, size.height());
  }
  x = area.x();
  finishLine();
  const QMargins m = contentsMargins();
  return y + lineHeight - rect.y() + m.bottom();
}

}  // namespace vorn::ui
