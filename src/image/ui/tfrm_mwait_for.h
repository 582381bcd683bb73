#pragma once
// The progress window of an image transfer: a message, a bar and the blocks
// done with the time left, following WaitPosition once a second, and a Cancel
// button that hands the request to its owner. Only its owner closes it.
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>

namespace vorn::ui {

class TfrmMWaitFor : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmMWaitFor(QWidget* parent = nullptr);

  QLabel* LbUpdateMsg;
  QProgressBar* ProgressBar;
  QLabel* LbProgress;       // blocks done, rate, time left
  QPushButton* BtCancel;
  QTimer* tmrStatusUpdate;  // 1000 ms

  int32_t WaitPosition = 0;     // written by the owner
  bool CloseRequested = false;  // written by the owner
  std::function<void()> OnCancel;  // set by the owner; decides what Cancel does

  void tmrStatusUpdateTimer();
  // The bar and the progress line at WaitPosition.
  void ShowProgress();
  void BtCancelClick();
  // After the owner asked the transfer to end: no second Cancel, and say so.
  void ShowStopping();
  // While the stopped transfer waits for the controller: says what for.
  void ShowWaitingFor(const std::string& text);
  // Closes the window (the user has no way to).
  void CloseWindow();

 public slots:
  void reject() override;  // Escape does nothing here

 private:
  QElapsedTimer elapsed_;  // since the transfer started
};

// The help text of the image tool.
class TdlgfrmHelp : public QDialog {
  Q_OBJECT
 public:
  explicit TdlgfrmHelp(QWidget* parent = nullptr);
  QPlainTextEdit* Memo1;
};

}  // namespace vorn::ui
