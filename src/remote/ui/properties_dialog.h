#pragma once
// The properties of a controller file, directory or of drive D: itself.
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <string>

namespace vorn::ui {

class PropertiesDialog : public QDialog {
  Q_OBJECT
 public:
  explicit PropertiesDialog(QWidget* parent = nullptr);

  // Set before showing; showValues copies them into the value labels.
  std::string Module;
  std::string Name;
  std::string Path;
  std::string Type;
  std::string Size;
  std::string Date;
  std::string Contains;

  QLabel* lblModule;
  QLabel* lblName;
  QLabel* lblPath;
  QLabel* lblType;
  QLabel* lblSize;
  QLabel* lblDate;
  QLabel* lblContain;
  QPushButton* OKBtn;

  void showValues();

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace vorn::ui
