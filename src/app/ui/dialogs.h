#pragma once
// The start-up progress dialog, the About box and the run dialog.
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <string>

#include "link/ui.h"
#include "platform/host.h"

namespace vorn::ui {

class TdlgVornInit : public QDialog {
  Q_OBJECT
 public:
  explicit TdlgVornInit(QWidget* parent = nullptr);
  // Sets the label and repaints at once: start-up runs without an event loop.
  void ChangeLabelText(const QString& text);
  QLabel* lblMsg;
};

class TdlgVornAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TdlgVornAbout(QWidget* parent = nullptr);
  QLabel* Image1;
  QLabel* lblName;
  QLabel* lblVersion;
  QLabel* lblRelease;
  QLabel* lblNotice;
  QPushButton* OKButton;
};

// Where the path of the last started program is remembered.
inline constexpr const char* kRunFileKey = vorn::platform::kUtilitySettingsKey;
inline constexpr const char* kRunFileValue = "Run File";

class TdlgVornRun : public QDialog {
  Q_OBJECT
 public:
  TdlgVornRun(vorn::Ui& ui, vorn::platform::Registry& registry, QWidget* parent = nullptr);

  std::string AppPath;
  QLineEdit* edtAppName;
  QPushButton* btnOK;
  QPushButton* btnCancel;
  QPushButton* btnBrowse;

  void LoadRunFile();
  void SaveRunFile();
  void btnOKClick();
  void btnBrowseClick();

 private:
  vorn::Ui& ui_;
  vorn::platform::Registry& registry_;
};

}  // namespace vorn::ui
