#pragma once
// The real message boxes, questions and file dialogs.
#include <QWidget>

#include "link/ui.h"

namespace vorn::ui {

class QtUi : public vorn::Ui {
 public:
  explicit QtUi(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  void Error(const std::string& text) override;
  void Warning(const std::string& text) override;
  void Information(const std::string& text) override;
  void Plain(const std::string& text) override;
  bool Question(const std::string& text) override;
  bool QuestionUnlessNo(const std::string& text) override;
  Choice QuestionWithAll(const std::string& text) override;
  bool InformationQuestion(const std::string& text) override;
  bool WarningQuestion(const std::string& text) override;
  std::optional<std::string> OpenFile(const std::string& title, const std::string& filter) override;
  std::optional<std::string> OpenFileNamed(const std::string& title, const std::string& filter,
                                           const std::string& defaultName) override;
  std::optional<std::string> SaveFile(const std::string& title, const std::string& filter,
                                      const std::string& defaultName) override;
  std::optional<std::string> ChooseFolder(const std::string& title) override;
  std::optional<std::string> AskName(const std::string& caption, const std::string& prompt, int maxLength,
                                     const std::string& initial) override;
  std::optional<std::string> ChooseFont(const std::string& current) override;

  // "EXE file (*.exe)|*.exe|All files (*.*)|*.*" -> "EXE file (*.exe);;All files (*.*)"
  static QString QtFilter(const std::string& filter);

 private:
  QWidget* parent_;
};

}  // namespace vorn::ui
