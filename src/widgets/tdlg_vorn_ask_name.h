#pragma once
// The small name prompt: a caption and a prompt set by the caller, an edit box
// of limited length that says its limit, OK and Cancel.
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vorn::ui {

class TdlgVornAskName : public QDialog {
  Q_OBJECT
 public:
  explicit TdlgVornAskName(QWidget* parent = nullptr);
  // initial starts in the edit box, selected.
  void Prepare(const QString& caption, const QString& prompt, int maxLength, const QString& initial = {});

  QLabel* lblPrompt;
  QLineEdit* edtFileName;
  QLabel* lblLimit;  // how many characters are typed of how many the box takes
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

 protected:
  void showEvent(QShowEvent* event) override;  // FormShow: focus to the edit box
};

}  // namespace vorn::ui
