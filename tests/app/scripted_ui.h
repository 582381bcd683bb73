#pragma once
// A Ui that never blocks: it records every box and answers questions and
// prompts from queues the test fills (Yes and cancel when a queue is empty).
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "link/ui.h"

namespace vorn::test {

class ScriptedUi : public vorn::Ui {
 public:
  struct Box {
    std::string kind;  // "error", "warning", "information", "plain", "question"
    std::string text;
  };

  void Error(const std::string& text) override { boxes.push_back({"error", text}); }
  void Warning(const std::string& text) override { boxes.push_back({"warning", text}); }
  void Information(const std::string& text) override { boxes.push_back({"information", text}); }
  void Plain(const std::string& text) override { boxes.push_back({"plain", text}); }
  bool Question(const std::string& text) override {
    return Answer("question", text);
  }
  bool WarningQuestion(const std::string& text) override { return Answer("warning question", text); }
  Choice QuestionWithAll(const std::string& text) override {
    boxes.push_back({"question", text});
    if (choices.empty()) return Choice::Cancel;
    const Choice c = choices.front();
    choices.pop_front();
    return c;
  }
  std::optional<std::string> OpenFile(const std::string&, const std::string&) override { return Next(files); }
  std::optional<std::string> SaveFile(const std::string&, const std::string&, const std::string&) override {
    return Next(files);
  }
  std::optional<std::string> ChooseFolder(const std::string& title) override {
    boxes.push_back({"folder", title});
    return Next(folders);
  }
  std::optional<std::string> AskName(const std::string& caption, const std::string& prompt, int maxLength,
                                     const std::string& initial) override {
    // The text the box starts with follows when there is one.
    boxes.push_back({"ask", caption + "|" + prompt + "|" + std::to_string(maxLength) +
                                (initial.empty() ? std::string() : "|" + initial)});
    auto name = Next(names);
    if (name && static_cast<int>(name->size()) > maxLength) name->resize(maxLength);  // the edit box stops there
    return name;
  }

  // The texts of the boxes of one kind, in order.
  std::vector<std::string> Texts(const std::string& kind) const {
    std::vector<std::string> out;
    for (const Box& b : boxes)
      if (b.kind == kind) out.push_back(b.text);
    return out;
  }
  std::string LastError() const {
    auto e = Texts("error");
    return e.empty() ? std::string() : e.back();
  }

  std::vector<Box> boxes;
  std::deque<bool> answers;                        // Question answers
  std::deque<Choice> choices;                      // QuestionWithAll answers (Cancel when empty)
  std::deque<std::optional<std::string>> names;    // AskName answers (nullopt = Cancel)
  std::deque<std::optional<std::string>> files;    // OpenFile / SaveFile answers
  std::deque<std::optional<std::string>> folders;  // ChooseFolder answers

 private:
  bool Answer(const char* kind, const std::string& text) {
    boxes.push_back({kind, text});
    if (answers.empty()) return true;
    bool a = answers.front();
    answers.pop_front();
    return a;
  }
  static std::optional<std::string> Next(std::deque<std::optional<std::string>>& q) {
    if (q.empty()) return std::nullopt;
    auto v = q.front();
    q.pop_front();
    return v;
  }
};

}  // namespace vorn::test
