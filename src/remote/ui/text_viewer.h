#pragma once
// A controller text file as the shell's type printed it: read-only, in a
// fixed-width font, with Save As. Binaries do not survive type (it stops at a
// Ctrl+Z byte and gives its own line ends), and the title says so.
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <string>
#include <vector>

#include "link/ui.h"

namespace vorn::ui {

class TextViewer : public QDialog {
  Q_OBJECT
 public:
  // path: as the controller names it (D:\DIR\FILE).
  TextViewer(vorn::Ui& ui, const std::string& path, const std::vector<std::string>& lines,
               QWidget* parent = nullptr);

  static std::string TitleFor(const std::string& path);

  QPlainTextEdit* meoText;
  QPushButton* btnSaveAs;
  QPushButton* btnClose;

  // Asks for a host file and writes the text there with the controller's
  // line ends; false when cancelled or the write failed (an error box said why).
  bool saveAs();

 private:
  vorn::Ui& ui_;
  std::string name_;
  std::vector<std::string> lines_;
};

}  // namespace vorn::ui
