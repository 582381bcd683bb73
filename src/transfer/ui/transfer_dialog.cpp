#include "transfer/ui/transfer_dialog.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "transfer/copy_checks.h"
#include "transfer/upload_loop.h"

namespace vorn::ui {

TransferDialog::TransferDialog(vorn::Ui& ui, vorn::GuiInvoker& gui, QWidget* parent)
    : QDialog(parent), ui_(ui), gui_(gui) {
  setObjectName("TransferDialog");
  setWindowTitle("File transfer");
  // A fixed dialog without title-bar buttons: Cancel is the only way out.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  BuildLayout();

  uploadTimer_ = new QTimer(this);
  uploadTimer_->setObjectName("uploadTimer");
  uploadTimer_->setInterval(150);
  uploadTimer_->setSingleShot(false);
  closeTimer_ = new QTimer(this);
  closeTimer_->setObjectName("closeTimer");
  closeTimer_->setInterval(200);
  connect(uploadTimer_, &QTimer::timeout, this, [this] { runUpload(); });
  connect(closeTimer_, &QTimer::timeout, this, [this] { closeAfterUpload(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { cancelUpload(); });
}

void TransferDialog::BuildLayout() {
  frame_ = new QFrame(this);
  frame_->setObjectName("frame");
  frame_->setFrameShape(QFrame::StyledPanel);
  frame_->setFrameShadow(QFrame::Sunken);

  lblName = new QLabel("Transferring:", frame_);
  lblName->setObjectName("lblName");
  edtName = new QLineEdit(frame_);
  edtName->setObjectName("edtName");
  edtName->setEnabled(false);
  auto* countLabel = new QLabel("File count:", frame_);
  countLabel->setObjectName("countLabel");
  edtCount = new QLineEdit(frame_);
  edtCount->setObjectName("edtCount");
  edtCount->setEnabled(false);
  edtCount->setMaximumWidth(90);
  auto* progressLabel = new QLabel("Progress:", frame_);
  progressLabel->setObjectName("progressLabel");
  fileProgress = new QProgressBar(frame_);
  fileProgress->setObjectName("fileProgress");
  fileProgress->setRange(0, 100);
  fileProgress->setValue(0);

  // The edits only inform; keep their text as readable as enabled text.
  for (QLineEdit* edit : {edtName, edtCount}) {
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Disabled, QPalette::Text, palette.color(QPalette::Active, QPalette::Text));
    edit->setPalette(palette);
  }

  lblJob = new QLabel(frame_);
  lblJob->setObjectName("lblJob");
  jobProgress = new QProgressBar(frame_);
  jobProgress->setObjectName("jobProgress");
  jobProgress->setRange(0, 1000);
  jobProgress->setValue(0);
  jobProgress->setTextVisible(false);
  lblJob->hide();
  jobProgress->hide();

  auto* grid = new QGridLayout(frame_);
  grid->addWidget(lblName, 0, 0);
  grid->addWidget(edtName, 0, 1);
  grid->addWidget(countLabel, 1, 0);
  grid->addWidget(edtCount, 1, 1, Qt::AlignLeft);
  grid->addWidget(progressLabel, 2, 0);
  grid->addWidget(fileProgress, 2, 1);
  grid->addWidget(lblJob, 3, 0, 1, 2);
  grid->addWidget(jobProgress, 4, 0, 1, 2);
  grid->setColumnStretch(1, 1);

  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setObjectName("btnCancel");
  btnCancel->setDefault(true);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnCancel);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame_);
  layout->addLayout(buttons);
  setFixedSize(440, 170);
}

void TransferDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  startUpload();
}

void TransferDialog::startUpload() {
  // A later show event (a window restored from minimised) must neither upload
  // the files again nor hold up the close that follows the uploads.
  if (loopRunning_ || loopDone_) return;
  if (Plan) {
    lblJob->show();
    jobProgress->show();
    setFixedSize(440, 220);
    ShowJob(0, Plan->fileCount, 0, Plan->totalBytes);
  }
  uploadTimer_->start();
  closeTimer_->stop();
}

void TransferDialog::runUpload() {
  uploadTimer_->stop();
  if (loopRunning_ || loopDone_) return;
  loopRunning_ = true;

  std::vector<std::string> files;
  if (SingleFile)
    files.assign(static_cast<size_t>(std::max(SingleCount, 0)), CurrentFile);
  else if (FileList)
    files = *FileList;

  UploadHooks hooks;
  hooks.Progress = [this](const std::string& file, int position, int total, int percent) {
    CurrentFile = file;
    const QString name = QString::fromStdString(file);
    if (edtName->text() != name) {
      edtName->setText(name);
      edtName->setToolTip(name);
      edtName->setCursorPosition(name.size());  // a long path shows its file name
    }
    edtCount->setText(QString("%1/%2").arg(position).arg(total));
    fileProgress->setValue(percent);
  };
  hooks.ProcessEvents = [] { QApplication::processEvents(); };
  hooks.CancelRequested = [this] { return CancelRequested; };
  hooks.AskName = [this](const std::string& caption, const std::string& prompt, int maxLength,
                         const std::string& initial) {
    return ui_.AskName(caption, prompt, maxLength, initial);
  };
  hooks.Error = [this](const std::string& text) { ui_.Error(text); };
  hooks.Listed = Listed;
  hooks.QuestionWithAll = [this](const std::string& text) { return ui_.QuestionWithAll(text); };
  hooks.JobProgress = [this](int file, int files, uint64_t done, uint64_t total) { ShowJob(file, files, done, total); };

  bool ok = false;
  if (Plan && Port && Terminal) {
    const vorn::UploadResult result = RunFolderUpload(*Port, *Terminal, gui_, *Plan, hooks);
    ok = result.Succeeded;
    Unconfirmed = result.Unacknowledged;
  } else if (Plan) {
    ui_.Error(TransferFailureText(Plan->steps.empty() ? std::string() : Plan->steps.front().name));
  } else if (Port && Terminal) {
    const vorn::UploadResult result = RunUploads(*Port, *Terminal, gui_, files, TargetDir, hooks);
    // A cancelled or skipped file is no success for a single-file caller
    // either: it goes on to use the file it asked for.
    ok = SingleFile ? result.AllUploaded(files.size()) : result.Succeeded;
    Unconfirmed = result.Unacknowledged;
  } else if (!files.empty()) {
    // Nothing to send with: every file would fail, so the first one is reported.
    ui_.Error(TransferFailureText(FileNamePart(files.front())));
  } else {
    ok = true;
  }
  if (!ok) MarkFailed();

  loopRunning_ = false;
  loopDone_ = true;
  if (endAfterLoop_)
    QDialog::reject();
  else
    closeTimer_->start();
}

void TransferDialog::ShowJob(int file, int files, uint64_t done, uint64_t total) {
  lblJob->setText(QString("File %1 of %2, %3 of %4 bytes")
                      .arg(file)
                      .arg(files)
                      .arg(static_cast<qulonglong>(done))
                      .arg(static_cast<qulonglong>(total)));
  jobProgress->setValue(total == 0 ? (file >= files ? 1000 : 0) : static_cast<int>(done * 1000 / total));
}

void TransferDialog::closeAfterUpload() {
  closeTimer_->stop();
  done(Succeeded ? QDialog::Accepted : QDialog::Rejected);
}

void TransferDialog::cancelUpload() { reject(); }

void TransferDialog::MarkFailed() {
  Succeeded = false;
  if (SingleFile && SingleResult) *SingleResult = false;
}

void TransferDialog::reject() {
  CancelRequested = true;
  if (loopRunning_) {
    endAfterLoop_ = true;
    return;
  }
  // Cancelled before the upload began: a single file was not sent.
  if (!loopDone_ && SingleFile) MarkFailed();
  uploadTimer_->stop();
  closeTimer_->stop();
  QDialog::reject();
}

void TransferDialog::closeEvent(QCloseEvent* event) {
  // Closing from outside while an upload runs counts as Cancel.
  if (loopRunning_) {
    event->ignore();
    reject();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace vorn::ui
