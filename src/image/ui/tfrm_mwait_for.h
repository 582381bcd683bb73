#pragma once
// The progress window of an image transfer: a message and a bar that follows
// WaitPosition once a second. Only its owner closes it.
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>
#include <cstdint>

namespace vorn::ui {

class TfrmMWaitFor : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmMWaitFor(QWidget* parent = nullptr);

  QLabel* LbUpdateMsg;
  QProgressBar* ProgressBar;
  QTimer* tmrStatusUpdate;  // 1000 ms

  int32_t WaitPosition = 0;     // written by the owner
  bool CloseRequested = false;  // written by the owner

  void tmrStatusUpdateTimer();
  // Closes the window (the user has no way to).
  void CloseWindow();

 public slots:
  void reject() override;  // Escape does nothing here
};

// The help text of the image tool.
class TdlgfrmHelp : public QDialog {
  Q_OBJECT
 public:
  explicit TdlgfrmHelp(QWidget* parent = nullptr);
  QLabel* Label1;
  QPlainTextEdit* Memo1;
};

}  // namespace vorn::ui
