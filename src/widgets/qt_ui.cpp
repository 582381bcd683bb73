#include "widgets/qt_ui.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QStringList>

#include "platform/host.h"
#include "widgets/tdlg_vorn_ask_name.h"

namespace vorn::ui {

namespace {
QWidget* Owner(QWidget* parent) {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return parent;
}
QString Title() { return QApplication::applicationDisplayName(); }

// A window manager cuts a caption that is wider than its box ("VORN-77... s
// Utility" over a one-line message): keep the box wide enough for its caption,
// in the frame's bold font, beside its icon and buttons.
void FitCaption(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (!grid) return;
  const int frameButtons = 8 * box.fontMetrics().height() + 24;
  const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + frameButtons;
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                grid->columnCount());
}

QMessageBox::StandardButton Box(QWidget* owner, QMessageBox::Icon icon, const std::string& text,
                                QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) {
  QMessageBox box(icon, Title(), QString::fromStdString(text), buttons, owner);
  if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
  FitCaption(box);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

constexpr QMessageBox::StandardButtons kYesNo = QMessageBox::Yes | QMessageBox::No;
}  // namespace

void QtUi::Error(const std::string& text) { Box(Owner(parent_), QMessageBox::Critical, text, QMessageBox::Ok); }

void QtUi::Warning(const std::string& text) { Box(Owner(parent_), QMessageBox::Warning, text, QMessageBox::Ok); }

void QtUi::Information(const std::string& text) {
  Box(Owner(parent_), QMessageBox::Information, text, QMessageBox::Ok);
}

void QtUi::Plain(const std::string& text) { Box(Owner(parent_), QMessageBox::NoIcon, text, QMessageBox::Ok); }

bool QtUi::Question(const std::string& text) {
  return Box(Owner(parent_), QMessageBox::Question, text, kYesNo, QMessageBox::No) == QMessageBox::Yes;
}

bool QtUi::QuestionYesFirst(const std::string& text) {
  QMessageBox box(QMessageBox::Question, Title(), QString::fromStdString(text), kYesNo, Owner(parent_));
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  FitCaption(box);
  box.exec();
  return box.clickedButton() == box.button(QMessageBox::Yes);
}

bool QtUi::InformationQuestion(const std::string& text) {
  return Box(Owner(parent_), QMessageBox::Information, text, kYesNo, QMessageBox::No) == QMessageBox::Yes;
}

bool QtUi::WarningQuestion(const std::string& text) {
  return Box(Owner(parent_), QMessageBox::Warning, text, kYesNo, QMessageBox::No) == QMessageBox::Yes;
}

vorn::Ui::Choice QtUi::QuestionWithAll(const std::string& text) {
  QMessageBox box(QMessageBox::Question, Title(), QString::fromStdString(text),
                  QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::Cancel, Owner(parent_));
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::Cancel);
  FitCaption(box);
  switch (box.exec()) {
    case QMessageBox::Yes: return Choice::Yes;
    case QMessageBox::YesToAll: return Choice::YesToAll;
    case QMessageBox::No: return Choice::No;
    default: return Choice::Cancel;
  }
}

bool QtUi::QuestionUnlessNo(const std::string& text) {
  QMessageBox box(QMessageBox::Question, Title(), QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No,
                  Owner(parent_));
  box.setDefaultButton(QMessageBox::Yes);
  // Escape and the title bar's close button answer with the escape button;
  // left alone, Qt would pick No for it.
  box.setEscapeButton(QMessageBox::Yes);
  FitCaption(box);
  box.exec();
  return box.clickedButton() != box.button(QMessageBox::No);
}

QString QtUi::StartPath(const std::string& defaultName) const {
  const QString name = QString::fromStdString(defaultName);
  if (QFileInfo(name).isAbsolute()) return name;
  // Not the working folder, which the user never chose.
  QString folder = lastFolder_;
  if (folder.isEmpty() && StartFolder) folder = QString::fromStdString(StartFolder());
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
  return name.isEmpty() ? folder : QDir(folder).filePath(name);
}

std::optional<std::string> QtUi::Chosen(const QString& path) {
  if (path.isEmpty()) return std::nullopt;
  lastFolder_ = QFileInfo(path).absolutePath();
  return path.toStdString();
}

QString QtUi::QtFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString label = parts[i];
    // Executable files are picked by permission, not by name: every name passes.
    const QString pattern = parts[i + 1] == platform::kExecutablePattern ? "*" : parts[i + 1];
    // Keep the label; make sure Qt sees the patterns in parentheses.
    if (!label.contains('(')) label += " (" + QString(pattern).replace(';', ' ') + ")";
    out << label;
  }
  if (out.isEmpty()) out << QString::fromStdString(filter);
  return out.join(";;");
}

std::optional<std::string> QtUi::OpenFile(const std::string& title, const std::string& filter) {
  if (filter.find(platform::kExecutablePattern) == std::string::npos) {
    return Chosen(QFileDialog::getOpenFileName(Owner(parent_), QString::fromStdString(title), StartPath({}),
                                               QtFilter(filter)));
  }
  // Files the user may execute: no name pattern tells them apart, so the
  // dialog's own listing filters by permission (the Qt dialog: a native one
  // would ignore it).
  QFileDialog dialog(Owner(parent_), QString::fromStdString(title), StartPath({}));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(QtFilter(filter).split(";;"));
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList executableFilters;
  for (int i = 0; i + 1 < parts.size(); i += 2)
    if (parts[i + 1] == platform::kExecutablePattern) executableFilters << QtFilter((parts[i] + "|" + parts[i + 1]).toStdString());
  const QDir::Filters plain = dialog.filter() & ~QDir::Executable;
  const auto apply = [&dialog, executableFilters, plain](const QString& chosen) {
    dialog.setFilter(executableFilters.contains(chosen) ? plain | QDir::Executable : plain);
  };
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, apply);
  apply(dialog.selectedNameFilter());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return Chosen(dialog.selectedFiles().front());
}

std::optional<std::string> QtUi::OpenFileNamed(const std::string& title, const std::string& filter,
                                               const std::string& defaultName) {
  if (filter.find(platform::kExecutablePattern) != std::string::npos) return OpenFile(title, filter);
  return Chosen(QFileDialog::getOpenFileName(Owner(parent_), QString::fromStdString(title), StartPath(defaultName),
                                             QtFilter(filter)));
}

std::optional<std::string> QtUi::SaveFile(const std::string& title, const std::string& filter,
                                          const std::string& defaultName) {
  return Chosen(QFileDialog::getSaveFileName(Owner(parent_), QString::fromStdString(title), StartPath(defaultName),
                                             QtFilter(filter)));
}

std::optional<std::string> QtUi::ChooseFolder(const std::string& title) {
  const QString path = QFileDialog::getExistingDirectory(Owner(parent_), QString::fromStdString(title));
  if (path.isEmpty()) return std::nullopt;
  return path.toStdString();
}

std::optional<std::string> QtUi::AskName(const std::string& caption, const std::string& prompt, int maxLength,
                                         const std::string& initial) {
  TdlgVornAskName dialog(Owner(parent_));
  dialog.Prepare(QString::fromStdString(caption), QString::fromStdString(prompt), maxLength,
                 QString::fromStdString(initial));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.edtFileName->text().toStdString();
}

std::optional<std::string> QtUi::ChooseFont(const std::string& current) {
  QFont font;
  font.fromString(QString::fromStdString(current));
  bool ok = false;
  const QFont chosen = QFontDialog::getFont(&ok, font, Owner(parent_));
  if (!ok) return std::nullopt;
  return chosen.toString().toStdString();
}

}  // namespace vorn::ui
