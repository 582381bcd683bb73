#include "image/ui/tfrm_mwait_for.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QVBoxLayout>

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

  setFixedSize(kBarWidth + 35, kBarHeight + 109);

  tmrStatusUpdate = new QTimer(this);
  tmrStatusUpdate->setObjectName("tmrStatusUpdate");
  tmrStatusUpdate->setInterval(1000);
  connect(tmrStatusUpdate, &QTimer::timeout, this, [this] { tmrStatusUpdateTimer(); });
  tmrStatusUpdate->start();
}

void TfrmMWaitFor::tmrStatusUpdateTimer() {
  update();
  ProgressBar->setValue(WaitPosition);
  if (ProgressBar->value() >= ProgressBar->maximum() || CloseRequested) CloseWindow();
}

void TfrmMWaitFor::CloseWindow() {
  tmrStatusUpdate->stop();
  QDialog::done(QDialog::Accepted);
}

void TfrmMWaitFor::reject() {}

TdlgfrmHelp::TdlgfrmHelp(QWidget* parent) : QDialog(parent) {
  setObjectName("TdlgfrmHelp");
  setWindowTitle("Help");
  Label1 = new QLabel("Talvenrik Image Kaprin Help", this);
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
