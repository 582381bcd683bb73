#include "transfer/ui/tdlg_vorn_tran.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "transfer/copy_checks.h"
#include "transfer/upload_loop.h"

namespace vorn::ui {

TdlgVornTran::TdlgVornTran(vorn::Ui& ui, vorn::GuiInvoker& gui, QWidget* parent)
    : QDialog(parent), ui_(ui), gui_(gui) {
  setObjectName("TdlgVornTran");
  setWindowTitle("File transfer");
  // A fixed dialog without title-bar buttons: Cancel is the only way out.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  BuildLayout();

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(150);
  Timer1->setSingleShot(false);
  Timer2 = new QTimer(this);
  Timer2->setObjectName("Timer2");
  Timer2->setInterval(200);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  connect(Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
}

void TdlgVornTran::BuildLayout() {
  Bevel1 = new QFrame(this);
  Bevel1->setObjectName("Bevel1");
  Bevel1->setFrameShape(QFrame::StyledPanel);
  Bevel1->setFrameShadow(QFrame::Sunken);

  lblName = new QLabel("Transferring:", Bevel1);
  lblName->setObjectName("lblName");
  edtName = new QLineEdit(Bevel1);
  edtName->setObjectName("edtName");
  edtName->setEnabled(false);
  auto* Label2 = new QLabel("File count:", Bevel1);
  Label2->setObjectName("Label2");
  edtCount = new QLineEdit(Bevel1);
  edtCount->setObjectName("edtCount");
  edtCount->setEnabled(false);
  edtCount->setMaximumWidth(90);
  auto* Label1 = new QLabel("Progress:", Bevel1);
  Label1->setObjectName("Label1");
  ProgressBar1 = new QProgressBar(Bevel1);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);

  // The edits only inform; keep their text as readable as enabled text.
  for (QLineEdit* edit : {edtName, edtCount}) {
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Disabled, QPalette::Text, palette.color(QPalette::Active, QPalette::Text));
    edit->setPalette(palette);
  }

  lblJob = new QLabel(Bevel1);
  lblJob->setObjectName("lblJob");
  ProgressJob = new QProgressBar(Bevel1);
  ProgressJob->setObjectName("ProgressJob");
  ProgressJob->setRange(0, 1000);
  ProgressJob->setValue(0);
  ProgressJob->setTextVisible(false);
  lblJob->hide();
  ProgressJob->hide();

  auto* grid = new QGridLayout(Bevel1);
  grid->addWidget(lblName, 0, 0);
  grid->addWidget(edtName, 0, 1);
  grid->addWidget(Label2, 1, 0);
  grid->addWidget(edtCount, 1, 1, Qt::AlignLeft);
  grid->addWidget(Label1, 2, 0);
  grid->addWidget(ProgressBar1, 2, 1);
  grid->addWidget(lblJob, 3, 0, 1, 2);
  grid->addWidget(ProgressJob, 4, 0, 1, 2);
  grid->setColumnStretch(1, 1);

  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setObjectName("btnCancel");
  btnCancel->setDefault(true);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnCancel);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Bevel1);
  layout->addLayout(buttons);
  setFixedSize(440, 170);
}

void TdlgVornTran::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TdlgVornTran::FormShow() {
  // A later show event (a window restored from minimised) must neither upload
  // the files again nor hold up the close that follows the uploads.
  if (loopRunning_ || loopDone_) return;
  if (Plan) {
    lblJob->show();
    ProgressJob->show();
    setFixedSize(440, 220);
    ShowJob(0, Plan->fileCount, 0, Plan->totalBytes);
  }
  Timer1->start();
  Timer2->stop();
}

void TdlgVornTran::Timer1Timer() {
  Timer1->stop();
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
    ProgressBar1->setValue(percent);
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
    Timer2->start();
}

void TdlgVornTran::ShowJob(int file, int files, uint64_t done, uint64_t total) {
  lblJob->setText(QString("File %1 of %2, %3 of %4 bytes")
                      .arg(file)
                      .arg(files)
                      .arg(static_cast<qulonglong>(done))
                      .arg(static_cast<qulonglong>(total)));
  ProgressJob->setValue(total == 0 ? (file >= files ? 1000 : 0) : static_cast<int>(done * 1000 / total));
}

void TdlgVornTran::Timer2Timer() {
  Timer2->stop();
  done(Succeeded ? QDialog::Accepted : QDialog::Rejected);
}

void TdlgVornTran::btnCancelClick() { reject(); }

void TdlgVornTran::MarkFailed() {
  Succeeded = false;
  if (SingleFile && SingleResult) *SingleResult = false;
}

void TdlgVornTran::reject() {
  CancelRequested = true;
  if (loopRunning_) {
    endAfterLoop_ = true;
    return;
  }
  // Cancelled before the upload began: a single file was not sent.
  if (!loopDone_ && SingleFile) MarkFailed();
  Timer1->stop();
  Timer2->stop();
  QDialog::reject();
}

void TdlgVornTran::closeEvent(QCloseEvent* event) {
  // Closing from outside while an upload runs counts as Cancel.
  if (loopRunning_) {
    event->ignore();
    reject();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace vorn::ui
