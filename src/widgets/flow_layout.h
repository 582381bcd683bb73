#pragma once
// Lays its items out left to right and starts a new line where the next one
// would not fit, so a narrow pane shows every control instead of hiding some.
#include <QLayout>
#include <QList>

namespace vorn::ui {

class FlowLayout : public QLayout {
 public:
  explicit FlowLayout(QWidget* parent, int spacing = 4);
  ~FlowLayout() override;

  void addItem(QLayoutItem* item) override;
  int count() const override { return static_cast<int>(items_.size()); }
  QLayoutItem* itemAt(int index) const override { return items_.value(index); }
  QLayoutItem* takeAt(int index) override;
  Qt::Orientations expandingDirections() const override { return {}; }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override { return Arrange(QRect(0, 0, width, 0), false); }
  QSize minimumSize() const override;
  QSize sizeHint() const override;
  void setGeometry(const QRect& rect) override;

 private:
  // Places the items in rect (when place is set) and returns the height used.
  int Arrange(const QRect& rect, bool place) const;

  QList<QLayoutItem*> items_;
};

}  // namespace vorn::ui
