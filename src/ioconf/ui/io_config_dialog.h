#pragma once
// The I/O configuration dialog: one tab page per slot with the module's
// description and the range combos of its channels.
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <array>

#include "ioconf/io_config.h"
#include "ioconf/ioconf_run.h"

namespace vorn::ui {

class IOConfigDialog : public QDialog {
  Q_OBJECT
 public:
  explicit IOConfigDialog(const vorn::IOConfig& config, QWidget* parent = nullptr);

  // The table shown; OK stores the chosen ranges into it.
  vorn::IOConfig Config;
  QLabel* statextNodeID = nullptr;
  QTabWidget* pagectrlSlot = nullptr;
  std::array<QWidget*, vorn::kSlotCount> tbsheetSlot{};
  std::array<QLabel*, vorn::kSlotCount> statextDspSL{};
  std::array<QWidget*, vorn::kSlotCount> panelSL{};
  // [slot][channel]
  std::array<std::array<QLabel*, vorn::kChannelCount>, vorn::kSlotCount> lblSL{};
  std::array<std::array<QComboBox*, vorn::kChannelCount>, vorn::kSlotCount> cbxSL{};
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;


 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void showConfig();   // the table into the pages and combos
  void storeRanges();  // the chosen ranges back into the table
};

// The run's editor on this dialog, shown modally over parent.
class IOConfDialogEditor : public vorn::IOConfEditor {
 public:
  explicit IOConfDialogEditor(QWidget* parent) : parent_(parent) {}
  bool Edit(vorn::IOConfig& config) override;

 private:
  QWidget* parent_;
};

}  // namespace vorn::ui
