#pragma once
// A status bar of fixed panels, each a text with a width, as the panes use it.
#include <QLabel>
#include <QWidget>
#include <vector>

namespace vorn::ui {

class StatusPanels : public QWidget {
  Q_OBJECT
 public:
  StatusPanels(std::vector<int> widths, QWidget* parent = nullptr);
  void SetText(int panel, const QString& text);
  QString Text(int panel) const;
  void SetPanelWidth(int panel, int width);
  int PanelWidth(int panel) const;
  QLabel* Panel(int panel) const { return panels_.at(panel); }

 signals:
  void resized();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::vector<QLabel*> panels_;
};

}  // namespace vorn::ui
