#include "image/ui/tfrm_mwait_for.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "image/image_estimate.h"

namespace vorn::ui {

namespace {
constexpr int kBarWidth = 320;
constexpr int kBarHeight = 20;
}  // namespace

TfrmMWaitFor::TfrmMWaitFor(QWidget* parent) : QDialog(parent) {
  setObjectName("TfrmMWaitFor");
  setWindowTitle("Message");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

  LbUpdateMsg = new QLabel("Please wait  a moment !!", this);
  LbUpdateMsg->setObjectName("LbUpdateMsg");
  QFont font = LbUpdateMsg->font();
  font.setPointSizeF(font.pointSizeF() * 1.25);
  LbUpdateMsg->setFont(font);
  LbUpdateMsg->setWordWrap(true);
  LbUpdateMsg->setAlignment(Qt::AlignCenter);
  LbUpdateMsg->setGeometry(10, 14, kBarWidth + 15, 56);

  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setGeometry(17, 80, kBarWidth, kBarHeight);
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgressBar->setTextVisible(false);

  LbProgress = new QLabel(this);
  LbProgress->setObjectName("LbProgress");
  LbProgress->setAlignment(Qt::AlignCenter);
  LbProgress->setGeometry(10, 106, kBarWidth + 15, 20);

  BtCancel = new QPushButton("Cancel", this);
  BtCancel->setObjectName("BtCancel");
  BtCancel->setAutoDefault(false);  // Enter must not stop a transfer of many minutes
  BtCancel->setGeometry((kBarWidth + 35 - 90) / 2, 134, 90, 28);
  connect(BtCancel, &QPushButton::clicked, this, [this] { BtCancelClick(); });

  setFixedSize(kBarWidth + 35, kBarHeight + 155);
  elapsed_.start();

  tmrStatusUpdate = new QTimer(this);
  tmrStatusUpdate->setObjectName("tmrStatusUpdate");
  tmrStatusUpdate->setInterval(1000);
  connect(tmrStatusUpdate, &QTimer::timeout, this, [this] { tmrStatusUpdateTimer(); });
  tmrStatusUpdate->start();
}

void TfrmMWaitFor::tmrStatusUpdateTimer() {
  update();
  ShowProgress();
  if (ProgressBar->value() >= ProgressBar->maximum() || CloseRequested) CloseWindow();
}

void TfrmMWaitFor::ShowProgress() {
  ProgressBar->setValue(WaitPosition);
  // WaitPosition is the index of the last block done.
  const int32_t done = WaitPosition > 0 ? WaitPosition + 1 : 0;
  LbProgress->setText(
      QString::fromStdString(vorn::ProgressText(done, ProgressBar->maximum(), elapsed_.elapsed() / 1000.0)));
}

void TfrmMWaitFor::BtCancelClick() {
  if (OnCancel) OnCancel();
}

void TfrmMWaitFor::ShowStopping() {
  BtCancel->setEnabled(false);
  LbUpdateMsg->setText("Stopping the transfer...");
}

void TfrmMWaitFor::ShowWaitingFor(const std::string& text) {
  BtCancel->setEnabled(false);
  LbUpdateMsg->setText(QString::fromStdString(text));
}

void TfrmMWaitFor::CloseWindow() {
  tmrStatusUpdate->stop();
  QDialog::done(QDialog::Accepted);
}

void TfrmMWaitFor::reject() {}

TdlgfrmHelp::TdlgfrmHelp(QWidget* parent) : QDialog(parent) {
  setObjectName("TdlgfrmHelp");
  setWindowTitle("Help");
  auto* Label1 = new QLabel("Talvenrik Image Kaprin Help", this);
  Label1->setObjectName("Label1");
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setPlainText(
      "The Talvenrik Image Kaprin takes about 10 minutes to make \n"
      "backup image completely. It provides a reliable way that making\n"
      "your systembackup image easily. However, it might be fail during\n"
      "operation due to low computer performance. If the operation is \n"
      "fail, you can reboot computer and then restart Image Kaprin and\n"
      "try again.\n"
      "\n"
      "Notice: 1. It needs 10KB free space on D drive.\n"
      "            2. Please switch the Vorn-7730 to initial mode.  \n"
      "\n"
      " ");

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(Memo1);
  resize(470, 260);
}

}  // namespace vorn::ui
