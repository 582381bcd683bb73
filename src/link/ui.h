#pragma once
// Everything the logic asks of the user goes through these small interfaces, so
// that the windows implement them with real boxes and tests answer them at once.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace vorn {

class Ui {
 public:
  virtual ~Ui() = default;
  virtual void Error(const std::string& text) = 0;        // error box, OK
  virtual void Warning(const std::string& text) = 0;      // warning box, OK
  virtual void Information(const std::string& text) = 0; // information box, OK
  virtual void Plain(const std::string& text) { Information(text); }
  // Confirmation box with Yes and No; true only for Yes.
  virtual bool Question(const std::string& text) = 0;
  // Yes, Yes to all, No and Cancel, for a question asked once per file of a
  // batch; closing the box counts as Cancel.
  enum class Choice { Yes, YesToAll, No, Cancel };
  virtual Choice QuestionWithAll(const std::string& text) { return Question(text) ? Choice::Yes : Choice::No; }
  // Like Question, but only an explicit No counts as no (closing the box
  // counts as yes), as the exit question wants.
  virtual bool QuestionUnlessNo(const std::string& text) { return Question(text); }
  // A question whose Yes is the default button (Enter); closing the box or
  // Escape still answers No.
  virtual bool QuestionYesFirst(const std::string& text) { return Question(text); }
  // Yes and No in an information or a warning box instead of a question box.
  virtual bool InformationQuestion(const std::string& text) { return Question(text); }
  virtual bool WarningQuestion(const std::string& text) { return Question(text); }
  // File dialogs; an empty optional when the user cancels.
  // filter: "EXE file (*.exe)|*.exe|All files (*.*)|*.*"
  virtual std::optional<std::string> OpenFile(const std::string& title, const std::string& filter) = 0;
  // The open dialog preset with a file name.
  virtual std::optional<std::string> OpenFileNamed(const std::string& title, const std::string& filter,
                                                   const std::string& defaultName) {
    return OpenFile(title, filter);
  }
  virtual std::optional<std::string> SaveFile(const std::string& title, const std::string& filter,
                                              const std::string& defaultName) = 0;
  virtual std::optional<std::string> ChooseFolder(const std::string& title) = 0;
  // A name prompt with a caption, a prompt text and a maximum length; its
  // box starts with initial, selected, so it can be typed over or edited.
  virtual std::optional<std::string> AskName(const std::string& caption, const std::string& prompt, int maxLength,
                                             const std::string& initial) = 0;
  // The font dialog, preset with a font description; nullopt when cancelled.
  virtual std::optional<std::string> ChooseFont(const std::string& /*current*/) { return std::nullopt; }
};

// A Ui for code that runs without windows (the command line, background
// reads): no dialog can be shown, so every question is answered no and every
// dialog cancelled; warnings are errors, information is dropped. Subclasses
// say where errors go.
class WindowlessUi : public Ui {
 public:
  void Warning(const std::string& text) override { Error(text); }
  void Information(const std::string&) override {}
  bool Question(const std::string&) override { return false; }
  std::optional<std::string> OpenFile(const std::string&, const std::string&) override { return std::nullopt; }
  std::optional<std::string> SaveFile(const std::string&, const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> ChooseFolder(const std::string&) override { return std::nullopt; }
  std::optional<std::string> AskName(const std::string&, const std::string&, int, const std::string&) override {
    return std::nullopt;
  }
};

// A message for a stream: a controller's line end quoted inside it (the
// shell's line, then the name it refused) becomes a blank, so that no raw
// carriage return reaches a terminal or a log.
inline std::string StreamText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '\n') {
      out += ' ';
      ++i;
    }
  }
  return out;
}

// A WindowlessUi whose errors (and warnings) are lines on a stream, such as
// the command line's standard error.
class StreamErrorUi : public WindowlessUi {
 public:
  explicit StreamErrorUi(std::ostream& err) : err_(err) {}
  void Error(const std::string& text) override { err_ << StreamText(text) << '\n'; }

 private:
  std::ostream& err_;
};

// The terminal pane as the exchanges and the upload threads see it.
class TerminalPane {
 public:
  virtual ~TerminalPane() = default;
  virtual int LineCount() const = 0;
  virtual void Clear() = 0;
  virtual void AppendLine(const std::string& text) = 0;
};

// The hourglass shown while a controller operation runs.
class BusyCursor {
 public:
  virtual ~BusyCursor() = default;
  virtual void SetBusy() = 0;
  virtual void Restore() = 0;  // back to the cursor saved at start-up
};

// A pane that shows nothing: for the command line, where the shell's own lines
// would mix with a listing or a file on standard output.
class SilentPane : public TerminalPane {
 public:
  int LineCount() const override { return 0; }
  void Clear() override {}
  void AppendLine(const std::string&) override {}
};

// No cursor to change, as on the command line.
class NoCursor : public BusyCursor {
 public:
  void SetBusy() override {}
  void Restore() override {}
};

}  // namespace vorn
