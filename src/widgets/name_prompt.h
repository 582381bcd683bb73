#pragma once
// The small name prompt: a caption and a prompt set by the caller, an edit box
// of limited length that says its limit, OK and Cancel.
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vorn::ui {

class NamePrompt : public QDialog {
  Q_OBJECT
 public:
  explicit NamePrompt(QWidget* parent = nullptr);
  // initial starts in the edit box, selected.
  void Prepare(const QString& caption, const QString& prompt, int maxLength, const QString& initial = {});
  QString name() const { return name_->text(); }

 protected:
  void showEvent(QShowEvent* event) override;  // focus to the edit box

 private:
  QLabel* prompt_;
  QLineEdit* name_;
  QLabel* limit_;  // how many characters are typed of how many the box takes
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace vorn::ui
