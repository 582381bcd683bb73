// The copy button in the main window: host files through the transfer dialog
// to the virtual controller.
#include <QApplication>
#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif
#include <QDir>
#include <QDrag>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>
#include <QPainter>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "widgets/qt_invoker.h"
#include "app/ui/tfrm_main.h"
#include "link/ui/terminal_pane_widget.h"
#include "local/ui/local_pane.h"
#include "remote/ui/remote_pane.h"
#include "scripted_ui.h"
#include "sim/virtual_controller.h"
#include "transfer/ui/tdlg_vorn_tran.h"

namespace fs = std::filesystem;
using vorn::ui::TdlgVornTran;
using vorn::ui::TfrmMain;

class CopyCommandTest : public QObject {
  Q_OBJECT

 private:
  vorn::test::ScriptedUi ui_;
  std::unique_ptr<TfrmMain> main_;
  QTemporaryDir dir_;

  struct Sample {
    QString count;
    int progress;
  };
  std::vector<Sample> samples_;
  QStringList jobTexts_;  // a folder job's whole progress, each text once
  // Called with the dialog while it is up, from a timer that runs during the uploads.
  std::function<void(TdlgVornTran&)> watch_;

  vsim::VirtualController& Sim() { return *main_->Simulator(); }
  std::string Host(const std::string& name) const { return (fs::path(dir_.path().toStdString()) / name).string(); }
  std::string MakeFile(const std::string& name, size_t size) {
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>('A' + (i * 7 + name.size()) % 26);
    std::ofstream(Host(name), std::ios::binary) << content;
    return content;
  }
  void ShowHostFolder() { QVERIFY(main_->Local().ShowLocalFolder(dir_.path().toStdString())); }

  // Selects the host rows of these names.
  void Select(const std::vector<std::string>& names) {
    main_->pnlLocal->lstviewLocal->ClearSelection();
    auto* selection = main_->pnlLocal->lstviewLocal->Report()->selectionModel();
    const auto& entries = main_->Local().View().Entries;
    for (const std::string& name : names) {
      int row = -1;
      for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].Name == name) row = static_cast<int>(i);
      QVERIFY2(row >= 0, name.c_str());
      selection->select(main_->pnlLocal->lstviewLocal->Model()->index(row, 0),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
  }

  void ListRemote(const std::string& path) {
    main_->Remote().ShowRemoteFolder(path);
    QVERIFY(main_->Remote().Listing().BytesFree > 0);
  }

  // Presses Copy; a timer watches the transfer dialog meanwhile.
  void Copy(const std::function<void()>& start = {}) {
    samples_.clear();
    jobTexts_.clear();
    QTimer sampler;
    sampler.setInterval(2);
    QObject::connect(&sampler, &QTimer::timeout, [this] {
      auto* dialog = qobject_cast<TdlgVornTran*>(QApplication::activeModalWidget());
      if (!dialog) return;
      const QString count = dialog->edtCount->text();
      if (count.isEmpty()) return;  // the loop has not begun
      if (samples_.empty() || samples_.back().count != count || samples_.back().progress != dialog->ProgressBar1->value())
        samples_.push_back({count, dialog->ProgressBar1->value()});
      if (dialog->lblJob->isVisible() && (jobTexts_.isEmpty() || jobTexts_.back() != dialog->lblJob->text()))
        jobTexts_ << dialog->lblJob->text();
      if (watch_) watch_(*dialog);
    });
    sampler.start();
    if (start)
      start();
    else
      main_->btnCopy->click();
    sampler.stop();
    watch_ = nullptr;
  }

  // The name prompts as caption and the name each started with.
  std::vector<std::string> Asked() const {
    std::vector<std::string> out;
    for (const std::string& text : ui_.Texts("ask"))
      out.push_back(text.substr(0, text.find('|')) + text.substr(text.rfind('|')));
    return out;
  }

  int FirstProgressOf(const QString& count) const {
    for (const Sample& s : samples_)
      if (s.count == count) return s.progress;
    return -1;
  }

  const vorn::RemoteEntry* RemoteEntry(const std::string& name) {
    for (const auto& e : main_->Remote().Listing().Entries)
      if (e.Name == name) return &e;
    return nullptr;
  }

  // Drops host paths on the controller pane's row (-1: below the rows).
  void Drop(const std::vector<std::string>& paths, int row) {
    QTreeView* view = main_->pnlVorn->lstviewVorn->Report();
    const QModelIndex index = main_->pnlVorn->lstviewVorn->Model()->index(row, 0);
    const QPoint at = row >= 0 ? view->visualRect(index).center() : QPoint(5, view->viewport()->height() - 5);
    QMimeData mime;
    QList<QUrl> urls;
    for (const std::string& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
    mime.setUrls(urls);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &drop);
    QVERIFY(drop.isAccepted());
  }
  int RemoteRow(const std::string& name) {
    const auto& entries = main_->Remote().Listing().Entries;
    for (size_t i = 0; i < entries.size(); ++i)
      if (entries[i].Name == name) return static_cast<int>(i);
    return -1;
  }

  // The main window with the dialog painted where it stands.
  void Screenshot(TdlgVornTran& dialog, const QString& file) {
    QPixmap shot = main_->grab();
    QPainter painter(&shot);
    painter.drawPixmap(dialog.geometry().topLeft() - main_->geometry().topLeft(), dialog.grab());
    painter.end();
    shot.save(file);
  }

 private slots:
  void init() {
    QVERIFY(dir_.isValid());
    for (const auto& entry : fs::directory_iterator(dir_.path().toStdString())) fs::remove_all(entry.path());
    ui_ = {};
    vorn::ui::StartOptions options;
    options.simulate = true;
    main_ = std::make_unique<TfrmMain>(ui_, options);
    main_->resize(1000, 700);
    main_->show();
    QVERIFY(main_->Simulator());
  }
  void cleanup() { main_.reset(); }

  void threeFilesGoUpAndAreListed() {
    const std::string one = MakeFile("ONE.TXT", 20000);
    const std::string two = MakeFile("TWO.BIN", 129);
    const std::string three = MakeFile("THREE.DAT", 3000);
    ShowHostFolder();
    ListRemote("\\DATA");
    Select({"ONE.TXT", "TWO.BIN", "THREE.DAT"});

    const QString shotDir = qEnvironmentVariable("VORN_SCREENSHOT_DIR");
    bool shot = false;
    bool closeTried = false;
    watch_ = [&](TdlgVornTran& dialog) {
      // The main window refuses to close under the transfer, without asking.
      if (!closeTried && dialog.edtCount->text() == "2/3") {
        closeTried = true;
        QVERIFY(!main_->close());
      }
      if (!shotDir.isEmpty() && !shot && dialog.edtCount->text() == "1/3" && dialog.ProgressBar1->value() > 30) {
        shot = true;
        Screenshot(dialog, shotDir + "/upload.png");
      }
    };
    Copy();

    QVERIFY2(ui_.boxes.empty(), ui_.boxes.empty() ? "" : ui_.boxes.front().text.c_str());
    QVERIFY(closeTried && main_->isVisible());
    // The count went 1/3, 2/3, 3/3, each file's bar from 0.
    QStringList counts;
    for (const Sample& s : samples_)
      if (counts.isEmpty() || counts.back() != s.count) counts << s.count;
    QCOMPARE(counts, QStringList({"1/3", "2/3", "3/3"}));
    QCOMPARE(FirstProgressOf("1/3"), 0);
    QCOMPARE(FirstProgressOf("2/3"), 0);
    QCOMPARE(FirstProgressOf("3/3"), 0);
    QVERIFY(QApplication::activeModalWidget() == nullptr);

    // On the controller with their fill, and listed afterwards in the same directory.
    std::string stored;
    QVERIFY(Sim().ReadFile("D:\\DATA\\ONE.TXT", &stored));
    QCOMPARE(stored.size(), size_t(20096));
    QVERIFY(stored.compare(0, one.size(), one) == 0);
    QVERIFY(Sim().ReadFile("D:\\DATA\\TWO.BIN", &stored));
    QVERIFY(stored == two + std::string(127, '\0'));
    QCOMPARE(main_->Remote().Listing().CurrentPath, std::string("\\DATA"));
    QVERIFY(RemoteEntry("ONE.TXT") && RemoteEntry("TWO.BIN") && RemoteEntry("THREE.DAT"));
    QCOMPARE(RemoteEntry("ONE.TXT")->Size, 20096);
    QCOMPARE(RemoteEntry("TWO.BIN")->Size, 256);
    QCOMPARE(RemoteEntry("THREE.DAT")->Size, 3072);
    // Both panes name a kind of file alike.
    main_->Remote().FillRemoteInfo(0, static_cast<int>(main_->Remote().Listing().Entries.size()) - 1);
    main_->Local().FillLocalInfo(0, static_cast<int>(main_->Local().View().Entries.size()) - 1);
    for (const auto& host : main_->Local().View().Entries)
      if (host.Name == "ONE.TXT") QCOMPARE(RemoteEntry("ONE.TXT")->TypeText, host.TypeText);
    // The terminal pane holds the record of each upload.
    QVERIFY(main_->meoDos->toPlainText().contains("C:\\transfer /R D:\\DATA\\THREE.DAT"));
    QVERIFY(main_->meoDos->toPlainText().contains("<<Get ACK for EOT>>"));
  }

  void nameWithASpaceIsAskedFor() {
    MakeFile("MY FILE.TXT", 100);
    MakeFile("OTHER-1.TXT", 100);
    MakeFile("THE NOTES.TXT", 100);
    QVERIFY(Sim().WriteFile("D:\\NOTES.TXT", "kept"));
    ShowHostFolder();
    ListRemote("\\");
    Select({"MY FILE.TXT", "OTHER-1.TXT", "THE NOTES.TXT"});
    // A typed name is held against the listing as the shell takes names: a
    // directory's is asked again, a file's asked about ("No" keeps it).
    ui_.names = {std::string("MYFILE.TXT"), std::nullopt, std::string("data"), std::string("notes.txt")};
    ui_.choices = {vorn::Ui::Choice::No};
    Copy();
    QCOMPARE(Asked(), std::vector<std::string>({
                          "Invalid file name 'MY FILE.TXT'|MYFILE.TXT",
                          "Invalid file name 'OTHER-1.TXT'|OTHER1.TXT",
                          "Invalid file name 'THE NOTES.TXT'|THENOTES.TXT",
                          "Invalid file name 'data'|DATA2",
                      }));
    QVERIFY(ui_.Texts("ask")[3].find("|The name 'data' is taken in that folder of VORN-7730.\n\n") != std::string::npos);
    QCOMPARE(ui_.Texts("question"),
             std::vector<std::string>({"The file 'NOTES.TXT' is already in D:\\ on VORN-7730.\nReplace it?"}));
    std::string stored;
    QVERIFY(Sim().ReadFile("D:\\NOTES.TXT", &stored) && stored == "kept");
    QVERIFY(ui_.Texts("error").empty());
    QVERIFY(Sim().Exists("D:\\MYFILE.TXT"));
    QVERIFY(RemoteEntry("MYFILE.TXT"));
    // The host file keeps its name.
    QVERIFY(fs::exists(Host("MY FILE.TXT")));
  }

  // The receiver never acknowledges the end of file and stores nothing: the
  // user is told so, as the listing does not show the file.
  void anUnacknowledgedEndIsReportedUnlessListed() {
    MakeFile("LOST.TXT", 300);
    ShowHostFolder();
    ListRemote("\\");
    Select({"LOST.TXT"});
    vsim::Options options = Sim().GetOptions();
    options.transfer = vsim::TransferMode::EotUnanswered;
    Sim().SetOptions(options);
    Copy();
    const auto errors = ui_.Texts("error");
    QCOMPARE(errors.size(), size_t(1));
    QVERIFY(errors[0].rfind("The end of file 'LOST.TXT' was not acknowledged", 0) == 0);
    QVERIFY(!RemoteEntry("LOST.TXT"));
  }

  void failureOfTheSecondStopsTheThird() {
    MakeFile("A1.TXT", 500);
    MakeFile("B2.TXT", 500);
    MakeFile("C3.TXT", 500);
    // A directory of that name: the receiver refuses the file.
    QVERIFY(Sim().MakeDir("D:\\B2.TXT"));
    ShowHostFolder();
    ListRemote("\\");
    Select({"A1.TXT", "B2.TXT", "C3.TXT"});
    Copy();
    const auto errors = ui_.Texts("error");
    QCOMPARE(errors.size(), size_t(1));
    QVERIFY2(errors[0].rfind("Fail to transfer file 'B2.TXT'!\n\nReason: the receiver on VORN-7730 ", 0) == 0,
             errors[0].c_str());
    QVERIFY(Sim().Exists("D:\\A1.TXT"));
    QVERIFY(!Sim().Exists("D:\\C3.TXT"));
    QVERIFY(Sim().Received().find("C3.TXT") == std::string::npos);
    // Relisted after the failure as well.
    QVERIFY(RemoteEntry("A1.TXT"));
  }

  void cancelStopsTheUploads() {
    MakeFile("BIG.BIN", 60000);
    MakeFile("NEXT.BIN", 100);
    ShowHostFolder();
    ListRemote("\\");
    Select({"BIG.BIN", "NEXT.BIN"});
    watch_ = [](TdlgVornTran& dialog) {
      if (dialog.ProgressBar1->value() > 10 && !dialog.CancelRequested) dialog.btnCancel->click();
    };
    Copy();
    QVERIFY(ui_.boxes.empty());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(!Sim().Exists("D:\\BIG.BIN"));
    QVERIFY(!Sim().Exists("D:\\NEXT.BIN"));
    QVERIFY(Sim().Received().find(std::string(5, '\x18')) != std::string::npos);
    QCOMPARE(main_->statusBar()->currentMessage(),
             QString("Upload cancelled: the list shows the files that arrived before it."));
  }

  void singleFileModeReportsTheResult() {
    MakeFile("SOCKET.CFG", 300);
    auto upload = [&](bool* result) {
      vorn::SerialPort port(Sim().PortPath());
      QVERIFY(port.Open());
      vorn::ConfigureControllerLine(port);
      port.SetTimeouts(500);
      TdlgVornTran dialog(main_->UserInterface(), main_->Invoker(), main_.get());
      *result = true;
      dialog.SingleResult = result;
      dialog.Port = &port;
      dialog.Terminal = main_.get();
      dialog.TargetDir = "D:\\CONF\\";
      dialog.SingleFile = true;
      dialog.SingleCount = 1;
      dialog.CurrentFile = Host("SOCKET.CFG");
      dialog.exec();
      dialog.SingleFile = false;
      QCOMPARE(dialog.Succeeded, *result);
      port.Close();
    };
    bool result = false;
    upload(&result);
    QVERIFY(result);
    QVERIFY(Sim().Exists("D:\\CONF\\SOCKET.CFG"));
    QVERIFY(ui_.boxes.empty());

    auto options = Sim().GetOptions();
    options.transfer = vsim::TransferMode::CanAfterFirstBlock;
    Sim().SetOptions(options);
    upload(&result);
    QVERIFY(!result);
    QCOMPARE(ui_.Texts("error").size(), size_t(1));
    QVERIFY2(ui_.LastError().rfind("Fail to transfer file 'SOCKET.CFG'!\n\nReason: the receiver on VORN-7730 "
                                   "cancelled the transfer at block ", 0) == 0,
             ui_.LastError().c_str());

    // A cancelled upload is not a success for the caller either.
    options.transfer = vsim::TransferMode::Silent;
    Sim().SetOptions(options);
    watch_ = [](TdlgVornTran& dialog) {
      if (dialog.LoopRunning() && !dialog.CancelRequested) dialog.btnCancel->click();
    };
    QTimer sampler;
    sampler.setInterval(5);
    QObject::connect(&sampler, &QTimer::timeout, [this] {
      if (auto* dialog = qobject_cast<TdlgVornTran*>(QApplication::activeModalWidget())) watch_(*dialog);
    });
    sampler.start();
    upload(&result);
    QVERIFY(!result);
    QCOMPARE(ui_.Texts("error").size(), size_t(1));

    // Cancelled before the upload even began: nothing went up, so no success.
    options.transfer = vsim::TransferMode::Normal;
    Sim().SetOptions(options);
    Sim().ClearReceived();
    watch_ = [](TdlgVornTran& dialog) {
      if (!dialog.LoopRunning() && !dialog.CancelRequested) dialog.btnCancel->click();
    };
    upload(&result);
    sampler.stop();
    watch_ = nullptr;
    QVERIFY(!result);
    QVERIFY(Sim().Received().find("transfer") == std::string::npos);
    QCOMPARE(ui_.Texts("error").size(), size_t(1));
  }

  // A name the controller lists is asked for before the port is used.
  void aListedFileIsAskedFor() {
    MakeFile("AUTOEXEC.BAT", 300);
    ShowHostFolder();
    ListRemote("\\");
    Select({"AUTOEXEC.BAT"});
    Sim().ClearReceived();
    ui_.choices = {vorn::Ui::Choice::No};
    Copy();
    QCOMPARE(ui_.Texts("question"),
             std::vector<std::string>({"The file 'AUTOEXEC.BAT' is already in D:\\ on VORN-7730.\nReplace it?"}));
    QVERIFY(Sim().Received().find("transfer") == std::string::npos);
    ui_.choices = {vorn::Ui::Choice::Yes};
    Copy();
    std::string stored;
    QVERIFY(Sim().ReadFile("D:\\AUTOEXEC.BAT", &stored));
    QCOMPARE(stored.size(), size_t(384));
  }

  void aShowEventAfterTheUploadsDoesNotRunThemAgain() {
    MakeFile("ONCE.TXT", 300);
    ShowHostFolder();
    ListRemote("\\");
    Select({"ONCE.TXT"});
    Sim().ClearReceived();
    bool reshown = false;
    watch_ = [&](TdlgVornTran& dialog) {
      if (reshown || !dialog.LoopDone()) return;
      reshown = true;  // as when the window comes back from minimised before the dialog closes
      QShowEvent show;
      QApplication::sendEvent(&dialog, &show);
    };
    Copy();
    QVERIFY(reshown);
    const std::string received = Sim().Received();
    size_t uploads = 0;
    for (size_t at = received.find("transfer /R"); at != std::string::npos; at = received.find("transfer /R", at + 1))
      ++uploads;
    QCOMPARE(uploads, size_t(1));
  }

  void folderGoesUpDepthFirstWithOneProgress() {
    fs::create_directories(Host("TOP/SUB/DEEP"));
    MakeFile("TOP/A.TXT", 3000);
    MakeFile("TOP/my file.txt", 200);
    MakeFile("TOP/SUB/B.TXT", 129);
    MakeFile("TOP/SUB/DEEP/C.TXT", 5000);
    ShowHostFolder();
    ListRemote("\\DATA");
    Select({"TOP"});
    ui_.names = {std::string("MYFILE.TXT")};
    const QString shotDir = qEnvironmentVariable("VORN_SCREENSHOT_DIR");
    bool shot = false;
    watch_ = [&](TdlgVornTran& dialog) {
      if (!shotDir.isEmpty() && !shot && dialog.lblJob->text().startsWith("File 4 of 4") && dialog.ProgressBar1->value() > 30) {
        shot = true;
        Screenshot(dialog, shotDir + "/folder_upload.png");
      }
    };
    // The copy button keeps refusing folders; the host pane's menu takes them.
    Copy([this] {
      main_->Local().PopupMenu1Popup();
      QVERIFY(main_->pnlLocal->PopupMenu1->actions().contains(main_->Local().CopyToVorn1));
      main_->Local().CopyToVorn1->trigger();
    });

    // The one bad name was asked for before anything was sent, and only once.
    QCOMPARE(ui_.Texts("ask"), std::vector<std::string>({
                                   "Invalid file name 'my file.txt'|VORN-7730 takes only letters, digits, _ and a dot "
                                   "in a name, at most 8 of them before the dot and 3 after it.\n\nPlease input new "
                                   "file name:|12|MYFILE.TXT"}));
    QVERIFY2(ui_.boxes.size() == 1, ui_.boxes.back().text.c_str());
    for (const char* path : {"D:\\DATA\\TOP\\A.TXT", "D:\\DATA\\TOP\\MYFILE.TXT", "D:\\DATA\\TOP\\SUB\\B.TXT",
                             "D:\\DATA\\TOP\\SUB\\DEEP\\C.TXT"})
      QVERIFY2(Sim().Exists(path), path);
    // One count and one byte total for the whole job, to its end.
    QVERIFY(jobTexts_.size() > 4);
    QCOMPARE(jobTexts_.front(), QString("File 1 of 4, 0 of 8329 bytes"));
    QVERIFY(jobTexts_.filter(QRegularExpression("^File 3 of 4, ")).size() > 0);
    QCOMPARE(jobTexts_.back(), QString("File 4 of 4, 8329 of 8329 bytes"));
    QVERIFY(RemoteEntry("TOP"));

    // Again into a directory that is there: asked once, then taken, not refused.
    ui_ = {};
    ui_.names = {std::string("MYFILE.TXT")};
    ui_.choices = {vorn::Ui::Choice::YesToAll};
    Sim().ClearReceived();
    Copy([this] { main_->Local().CopyToVorn1->trigger(); });
    QCOMPARE(ui_.Texts("error"), std::vector<std::string>());
    QVERIFY(ui_.choices.empty());
    QVERIFY(Sim().Received().find("C:\\transfer /R D:\\DATA\\TOP\\SUB\\DEEP\\C.TXT") != std::string::npos);

    // One Cancel stops the whole job, not just the file being sent.
    MakeFile("TOP/SUB/BIG.BIN", 60000);
    ui_ = {};
    ui_.names = {std::string("MYFILE.TXT")};
    Sim().ClearReceived();
    watch_ = [](TdlgVornTran& dialog) {
      if (dialog.edtName->text().endsWith("BIG.BIN") && dialog.ProgressBar1->value() > 10 && !dialog.CancelRequested)
        dialog.btnCancel->click();
    };
    Copy([this] { main_->Local().CopyToVorn1->trigger(); });
    QVERIFY(ui_.Texts("error").empty());
    QVERIFY(!Sim().Exists("D:\\DATA\\TOP\\SUB\\BIG.BIN"));
    QVERIFY(Sim().Received().find("DEEP") == std::string::npos);
  }

  void hostRowsDragOutAsFileUrls() {
    MakeFile("ONE.TXT", 10);
    MakeFile("TWO.TXT", 10);
    ShowHostFolder();
    Select({"ONE.TXT", "TWO.TXT"});
    QTreeView* view = main_->pnlLocal->lstviewLocal->Report();
    const QPoint at = view->visualRect(main_->pnlLocal->lstviewLocal->Model()->index(0, 0)).center();
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseMove(view->viewport(), at + QPoint(40, 0));
    QStringList dragged;
    auto* drag = view->findChild<QDrag*>();
    QVERIFY(drag);
    for (const QUrl& url : drag->mimeData()->urls()) dragged << url.fileName();
    QCOMPARE(dragged, QStringList({"ONE.TXT", "TWO.TXT"}));
  }

  void dropsUploadIntoTheRowsFolder() {
    MakeFile("DROP.TXT", 400);
    fs::create_directories(Host("DTOP"));
    MakeFile("DTOP/X.TXT", 300);
    MakeFile("my notes.txt", 100);
    QVERIFY(Sim().WriteFile("D:\\DATA\\DROP.TXT", "kept"));
    ShowHostFolder();
    ListRemote("\\");
    // A file dropped on the DATA row goes into DATA, as from the desktop;
    // what DATA holds is read first and asked about.
    ui_.choices = {vorn::Ui::Choice::No, vorn::Ui::Choice::Yes};
    const auto dropOnData = [this] {
      ui_.boxes.clear();
      Drop({Host("DROP.TXT")}, RemoteRow("DATA"));
      QTRY_VERIFY(!ui_.boxes.empty());
    };
    dropOnData();
    std::string stored;
    QCOMPARE(ui_.Texts("question"),
             std::vector<std::string>({"The file 'DROP.TXT' is already in D:\\DATA\\ on VORN-7730.\nReplace it?"}));
    QVERIFY(Sim().ReadFile("D:\\DATA\\DROP.TXT", &stored) && stored == "kept");
    // The pane's listing and the shell's directory stay where the pane is.
    QCOMPARE(Sim().CurrentDir(), std::string("D:\\"));
    QVERIFY(RemoteRow("DATA") >= 0 && !RemoteEntry("DROP.TXT"));
    dropOnData();
    QTRY_VERIFY_WITH_TIMEOUT(Sim().ReadFile("D:\\DATA\\DROP.TXT", &stored) && stored.size() == 512, 20000);
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    // A folder dropped below the rows goes into the shown directory; a name
    // typed for an item beside it is held against that directory's listing.
    main_->Remote().ShowRemoteFolder("\\");
    ui_ = {};
    ui_.names = {std::string("Data"), std::string("autoexec.bat")};
    ui_.choices = {vorn::Ui::Choice::No};
    Sim().ClearReceived();
    Drop({Host("DTOP"), Host("my notes.txt")}, -1);
    QTRY_VERIFY_WITH_TIMEOUT(Sim().Exists("D:\\DTOP\\X.TXT"), 20000);
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    QCOMPARE(ui_.Texts("ask").size(), size_t(2));
    QCOMPARE(ui_.Texts("question"),
             std::vector<std::string>({"The file 'AUTOEXEC.BAT' is already in D:\\ on VORN-7730.\nReplace it?"}));
    QVERIFY(Sim().Received().find("AUTOEXEC") == std::string::npos);
    QCOMPARE(ui_.boxes.size(), size_t(3));
  }

  void refusedSelectionsSendNothing() {
    MakeFile("A.TXT", 10);
    fs::create_directory(Host("SUB"));
#ifndef Q_OS_WIN
    QCOMPARE(mkfifo(Host("PIPE").c_str(), 0600), 0);  // reading it would hang the upload
#endif
    ShowHostFolder();

    main_->pnlLocal->lstviewLocal->ClearSelection();
    main_->btnCopy->click();
    Select({"A.TXT"});
    main_->btnCopy->click();  // nothing listed on the controller yet
    Select({"SUB"});
    main_->Local().CopyToVorn1->trigger();  // a folder, likewise
    ListRemote("\\");
    Select({"A.TXT", "SUB"});
    main_->btnCopy->click();
    QCOMPARE(ui_.Texts("warning"), std::vector<std::string>({
                                       "Please select a file.",
                                       "Please press 'Refresh folder' button in the VORN-7730 panel first.",
                                       "Please press 'Refresh folder' button in the VORN-7730 panel first.",
                                       "Only file can be transferred.",
                                   }));
#ifndef Q_OS_WIN
    Select({"A.TXT", "PIPE"});
    main_->btnCopy->click();
    QCOMPARE(ui_.Texts("warning").back(), std::string("Only file can be transferred.\n\n'PIPE' is a FIFO, not a regular file."));
#endif
    QVERIFY(Sim().Received().find("transfer") == std::string::npos);
  }
};

QTEST_MAIN(CopyCommandTest)
#include "copy_command_test.moc"
