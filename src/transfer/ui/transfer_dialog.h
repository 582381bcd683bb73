#pragma once
// The transfer dialog: uploads host files one after another into a controller
// directory, showing the file, the count and the progress, with Cancel.
//
// Multi-file mode: set Port, Terminal, FileList and TargetDir, exec().
// Folder job: set Port, Terminal and Plan, exec().
// Single-file mode (for other callers): set your own bool to true and point
// SingleResult at it, set Port, Terminal, TargetDir, SingleFile = true,
// SingleCount = 1 and CurrentFile; exec(); then read Succeeded (or your bool;
// both are false after a failure) and set SingleFile back to false.
// The port is opened and configured by the caller (57600 8N1, 500 ms) and
// closed by it after the dialog.
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <string>
#include <vector>

#include "link/gui_invoker.h"
#include "link/port.h"
#include "link/ui.h"
#include "remote/remote_listing.h"
#include "transfer/folder_plan.h"
#include "transfer/upload_loop.h"

namespace vorn::ui {

class TransferDialog : public QDialog {
  Q_OBJECT
 public:
  // Centred on parent; prompts and errors go through ui, the upload's GUI
  // steps through gui.
  TransferDialog(vorn::Ui& ui, vorn::GuiInvoker& gui, QWidget* parent = nullptr);

  vorn::Port* Port = nullptr;                           // not owned
  const std::vector<std::string>* FileList = nullptr;  // not owned; multi-file mode
  // Not owned; a folder job: directories are made and files sent in its
  // order, with the whole job's progress below the file's.
  const vorn::FolderPlan* Plan = nullptr;
  vorn::TerminalPane* Terminal = nullptr;               // not owned
  std::string TargetDir;    // ends with a backslash, such as D:\ or D:\DATA\  .
  // Multi-file mode: what TargetDir lists, against which a name typed for a
  // file is checked before that file goes up.
  std::vector<vorn::RemoteEntry> Listed;
  std::string CurrentFile;  // host path of the file being uploaded
  bool CancelRequested = false;
  bool SingleFile = false;
  bool* SingleResult = nullptr;  // single-file mode: cleared when the upload fails
  int SingleCount = 1;
  bool Succeeded = true;
  // Uploads whose end of file the receiver never acknowledged: the caller
  // confirms them (ConfirmStored) once it has closed the port.
  std::vector<vorn::UploadResult::Unconfirmed> Unconfirmed;

  QLabel* lblName;
  QLineEdit* edtName;
  QLineEdit* edtCount;
  QProgressBar* fileProgress;
  QLabel* lblJob;            // folder job: "File 3 of 17, 1024 of 9000 bytes"
  QProgressBar* jobProgress;  // folder job: the bytes of the whole job
  QPushButton* btnCancel;
  bool LoopRunning() const { return loopRunning_; }
  bool LoopDone() const { return loopDone_; }

 public slots:
  // Escape and the Cancel button: cancel the upload; the dialog ends as soon
  // as the upload loop has returned.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildLayout();
  void startUpload();
  void runUpload();         // the upload loop, once per dialog
  void closeAfterUpload();
  void cancelUpload();
  void MarkFailed();  // Succeeded and the single-file caller's bool
  void ShowJob(int file, int files, uint64_t done, uint64_t total);

  QFrame* frame_;
  QTimer* uploadTimer_;  // 150 ms: runs the upload loop once per dialog
  QTimer* closeTimer_;   // 200 ms: closes the dialog after the loop
  vorn::Ui& ui_;
  vorn::GuiInvoker& gui_;
  bool loopRunning_ = false;
  bool loopDone_ = false;
  bool endAfterLoop_ = false;
};

}  // namespace vorn::ui
