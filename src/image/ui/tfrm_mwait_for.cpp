#include "image/ui/tfrm_mwait_for.h"

#include <QFont>
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "image/image_estimate.h"

#include <algorithm>

namespace vorn::ui {

namespace {
constexpr int kBarWidth = 320;
constexpr int kBarHeight = 20;
// As long as a backup's progress text gets on a slow line.
constexpr const char* kLongProgressText = "131072 of 131072 blocks, 99.9 blocks/s, about 59 min 59 s left";
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

  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgressBar->setTextVisible(false);

  // The count must read whole for the many minutes a transfer takes: the
  // window is as wide as a long progress text at the font in use, and a
  // longer one still wraps onto a second line instead of being cut.
  LbProgress = new QLabel(this);
  LbProgress->setObjectName("LbProgress");
  LbProgress->setAlignment(Qt::AlignCenter);
  LbProgress->setWordWrap(true);
  const QFontMetrics metrics = LbProgress->fontMetrics();
  const int textWidth = metrics.horizontalAdvance(kLongProgressText) + 8;
  const int width = std::max(kBarWidth + 35, textWidth + 20);
  const int progressHeight = 2 * metrics.lineSpacing() + 4;

  LbUpdateMsg->setGeometry(10, 14, width - 20, 56);
  ProgressBar->setGeometry((width - kBarWidth) / 2, 80, kBarWidth, kBarHeight);
  LbProgress->setGeometry(10, 106, width - 20, progressHeight);

  BtCancel = new QPushButton("Cancel", this);
  BtCancel->setObjectName("BtCancel");
  BtCancel->setAutoDefault(false);  // Enter must not stop a transfer of many minutes
  const int buttonTop = 106 + progressHeight + 8;
  BtCancel->setGeometry((width - 90) / 2, buttonTop, 90, 28);
  connect(BtCancel, &QPushButton::clicked, this, [this] { BtCancelClick(); });

  setFixedSize(width, buttonTop + 28 + 13);
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
