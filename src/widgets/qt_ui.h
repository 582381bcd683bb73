#pragma once
// The real message boxes, questions and file dialogs.
#include <QWidget>
#include <functional>
#include <string>

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
  bool QuestionYesFirst(const std::string& text) override;
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

  // The folder the file dialogs start in until one was used: the host pane's
  // (empty: the home folder). After that they start where the last one ended.
  std::function<std::string()> StartFolder;

 private:
  // defaultName in the folder a dialog starts in; a path is kept as it is.
  QString StartPath(const std::string& defaultName) const;
  // Remembers the folder of a chosen file; passes the choice on.
  std::optional<std::string> Chosen(const QString& path);

  QWidget* parent_;
  QString lastFolder_;
};

}  // namespace vorn::ui
