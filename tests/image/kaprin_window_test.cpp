// The image tool window: its watchdog and boxes with stand-in threads driven
// tick by tick, and a backup and a restore from the main window on the
// virtual controller.
#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/scripted_ui.h"
#include "app/ui/tfrm_main.h"
#include "link/ui/terminal_pane_widget.h"
#include "remote/ui/remote_pane.h"
#include "image/ui/tdlg_vorn_kaprin.h"
#include "image/image_estimate.h"
#include "image/ui/tfrm_mwait_for.h"
#include "sim/virtual_controller.h"
#include "transfer/scripted_port.h"

using vorn::ui::TdlgVornKaprin;

namespace {

// Threads that do nothing until asked to end; the test moves their fields.
template <class Base>
class IdleThread : public Base {
 public:
  using Base::Base;
  ~IdleThread() override { this->Stop(); }

 protected:
  void Execute() override {
    while (this->Sleep(10)) {
    }
  }
};

class ToolWindow : public TdlgVornKaprin {
 public:
  using TdlgVornKaprin::TdlgVornKaprin;
  bool uploadSucceeds = true;
  std::vector<std::string> uploads;
  vorn::KaprinThreadBase* made = nullptr;

  bool UploadTool(const std::string& targetDir, const std::string& localPath) override {
    uploads.push_back(targetDir + "|" + localPath);
    return uploadSucceeds;
  }

 protected:
  // The shipped stand-ins go to this controller: it names itself.
  bool AskControllerIdentity(std::vector<std::string>& printed) override {
    printed = {"VORN-7730 virtual controller"};
    return true;
  }
  std::unique_ptr<vorn::VornKaprinThread> CreateBackupThread() override {
    auto t = std::make_unique<IdleThread<vorn::VornKaprinThread>>(invoker_);
    made = t.get();
    return t;
  }
  std::unique_ptr<vorn::VornKaprinResThread> CreateRestoreThread() override {
    auto t = std::make_unique<IdleThread<vorn::VornKaprinResThread>>(invoker_);
    made = t.get();
    return t;
  }

 private:
  vorn::DirectInvoker invoker_;
};

// No companion installation, or one at path.
class NoRegistry : public vorn::platform::Registry {
 public:
  std::optional<std::string> path;
  std::optional<std::string> ReadString(const std::string&, const std::string&) override { return path; }
  bool WriteString(const std::string&, const std::string&, const std::string&) override { return false; }
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

class KaprinWindowTest : public QObject {
  Q_OBJECT

 private:
  vorn::test::ScriptedUi ui_;
  vorn::DirectInvoker gui_;
  QTemporaryDir dir_;

  std::string Path(const char* name) const { return QDir(dir_.path()).filePath(name).toStdString(); }

  // Presses the button of the mode; `whileWaiting` runs once the progress window is up.
  void Press(ToolWindow& w, int mode, const std::function<void()>& whileWaiting) {
    QTimer::singleShot(0, &w, [&w, whileWaiting] {
      QVERIFY(w.WaitWindow && w.WaitWindow->isVisible());
      w.TimerChkKaprin->stop();  // the test gives the ticks
      whileWaiting();
      if (w.WaitWindow && w.WaitWindow->isVisible()) {
        w.WaitWindow->CloseWindow();  // a failed check must not leave the test waiting
        QFAIL("the progress window stayed open");
      }
    });
    if (mode == 1)
      w.BtBackupImgClick();
    else
      w.BtRestoreImgClick();
  }

 private slots:
  void init() { ui_ = {}; }

  void watchdogGivesUpOnlyAfterTheStallLimit_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("program");
    QTest::addColumn<int>("barMaximum");
    QTest::newRow("backup") << 1 << 10 << "KAPRINRD.EXE" << 131072;
    QTest::newRow("restore") << 2 << 15 << "KAPRINWR.EXE" << 16384;
  }
  void watchdogGivesUpOnlyAfterTheStallLimit() {
    QFETCH(int, mode);
    QFETCH(int, limit);
    QFETCH(QString, program);
    QFETCH(int, barMaximum);
    std::ofstream(Path("full.img"), std::ios::binary) << std::string(vorn::kImageSize, 'x');
    ui_.files = {Path("full.img")};
    ToolWindow w(ui_, gui_);
    NoRegistry registry;
    w.Registry = &registry;
    w.show();
    Press(w, mode, [&] {
      QCOMPARE(w.WaitWindow->ProgressBar->maximum(), barMaximum);
      // A transfer that moves at every tick, however long, is never stalled.
      for (int tick = 1; tick <= 60; ++tick) {
        w.made->Progress = tick;
        w.TimerChkKaprinTimer();
      }
      QCOMPARE(w.WaitWindow->WaitPosition, 60);
      for (int tick = 0; tick < limit; ++tick) w.TimerChkKaprinTimer();
      QVERIFY(ui_.Texts("error").empty());
      QVERIFY(w.WaitWindow->isVisible());
      // Given up on: the thread is asked to end, and the window stays while
      // it waits for the controller's program to end.
      w.TimerChkKaprinTimer();
      QVERIFY(w.made->Terminated());
      QVERIFY(ui_.Texts("error").empty());
      w.made->WaitingForProgramEnd = true;
      w.TimerChkKaprinTimer();
      QCOMPARE(w.WaitWindow->LbUpdateMsg->text().toStdString(), vorn::WaitingForProgramText());
      QVERIFY(ui_.Texts("error").empty() && w.WaitWindow->isVisible());
      w.made->WaitingForProgramEnd = false;
      w.made->AfterStop = vorn::KaprinThreadBase::ProgramEnd::PromptMissing;
      w.made->Done = true;
      w.TimerChkKaprinTimer();
      QCOMPARE(ui_.LastError(), vorn::ImageStallEndText(*w.made));
      QVERIFY(ui_.LastError().find("did not come back") != std::string::npos);
      QVERIFY(!w.WaitWindow->isVisible());
    });
    QVERIFY(!w.isVisible());  // the tool window closed too
    QCOMPARE(w.uploads.size(), size_t(1));
    QVERIFY(QString::fromStdString(w.uploads[0]).endsWith(program));
    QVERIFY(QString::fromStdString(w.uploads[0]).startsWith("D:\\|"));
  }

  // Two backups from one window: each gets a fresh thread and progress window,
  // and its own box at the end.
  void reportsTheEndOfEachTransfer() {
    ToolWindow w(ui_, gui_);
    NoRegistry registry;
    w.Registry = &registry;
    w.show();
    struct Run {
      bool succeeds;
      std::string error;
    };
    for (const Run& run : {Run{true, ""}, Run{false, "Check sum error!\n"}}) {
      ui_.files = {Path("7730D.img")};
      Press(w, 1, [&] {
        QVERIFY(!w.made->Done);  // a fresh thread
        QVERIFY(!w.WaitWindow->CloseRequested && w.WaitWindow->ProgressBar->value() == 0);
        w.made->Progress = 5;
        w.made->FinalWords = "the controller's last word";
        w.made->ErrorText = run.error;
        w.made->Succeeded = run.succeeds;
        w.made->Done = true;
        w.TimerChkKaprinTimer();
        QVERIFY(!w.WaitWindow->isVisible());
        QVERIFY(!w.TimerChkKaprin->isActive());
      });
      if (run.succeeds)
        QCOMPARE(ui_.Texts("information").back(),
                 std::string("Read image Successfully!\nPlease reboot Vorn-7730.\n\nthe controller's last word"));
      else  // the controller's last words go with a failure too
        QCOMPARE(ui_.LastError(), run.error + "\n\nthe controller's last word");
      QVERIFY(w.isVisible());
      QVERIFY(!w.WaitWindow);
    }
  }

  // Cancel ends a backup at once; a restore only after a Yes to its question.
  // The watchdog waits for the thread to end, and the end box says who stopped it.
  void cancelStopsTheTransfer_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("backup") << 1;
    QTest::newRow("restore") << 2;
  }
  void cancelStopsTheTransfer() {
    QFETCH(int, mode);
    std::ofstream(Path("full.img"), std::ios::binary) << std::string(vorn::kImageSize, 'x');
    ui_.files = {Path("full.img")};
    ui_.answers = {true, false, true};  // start; for the restore: No, then Yes to stopping
    ToolWindow w(ui_, gui_);
    NoRegistry registry;
    w.Registry = &registry;
    w.show();
    Press(w, mode, [&] {
      w.made->Progress = 100;
      w.TimerChkKaprinTimer();
      w.WaitWindow->tmrStatusUpdateTimer();
      QVERIFY(w.WaitWindow->LbProgress->text().startsWith("101 of "));
      w.WaitWindow->BtCancel->click();
      if (mode == 2) {
        QCOMPARE(ui_.Texts("warning question").back(), vorn::ImageStopRestoreQuestion());
        QVERIFY(!w.made->Terminated() && w.WaitWindow->BtCancel->isEnabled());
        w.WaitWindow->BtCancel->click();
        QCOMPARE(ui_.Texts("warning question").size(), size_t(3));
      }
      QVERIFY(w.made->Terminated());
      QVERIFY(!w.WaitWindow->BtCancel->isEnabled());
      for (int tick = 0; tick < 20; ++tick) w.TimerChkKaprinTimer();
      QVERIFY(ui_.Texts("error").empty() && w.WaitWindow->isVisible());
      w.made->WaitFor();
      w.made->Done = true;
      w.TimerChkKaprinTimer();
      QVERIFY(!w.WaitWindow->isVisible());
    });
    QCOMPARE(ui_.LastError(), vorn::ImageStoppedText(mode == 1));
    QVERIFY(ui_.Texts("information").empty());
  }

  // A slow USB-serial adapter is named in the question, on a line of its own.
  void warnsOfASlowAdapter_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("latencyMs");
    QTest::newRow("backup") << 1 << 16;
    QTest::newRow("restore") << 2 << 50;
  }
  void warnsOfASlowAdapter() {
    QFETCH(int, mode);
    QFETCH(int, latencyMs);
    ToolWindow w(ui_, gui_);
    w.PortName = "/dev/ttyUSB0";
    const auto direction = mode == 1 ? vorn::ImageDirection::Backup : vorn::ImageDirection::Restore;
    const char* kind = mode == 1 ? "question" : "warning question";
    std::vector<std::string> asked;
    for (std::optional<uint32_t> latency : {std::optional<uint32_t>(), std::optional<uint32_t>(latencyMs)}) {
      w.AdapterLatency = [latency](const std::string& port) {
        return port == "/dev/ttyUSB0" ? latency : std::nullopt;
      };
      ui_.answers = {false};
      if (mode == 1)
        w.BtBackupImgClick();
      else
        w.BtRestoreImgClick();
      asked.push_back(ui_.Texts(kind).back());
    }
    const std::string line = vorn::SlowAdapterLine(direction, 57600, latencyMs, "/dev/ttyUSB0");
    QVERIFY(!line.empty() && asked[0].find("adapter") == std::string::npos);
    QCOMPARE(asked[1], asked[0] + "\n" + line);
  }

  // The progress line reads whole, at the usual font and at a large one,
  // for the longest texts a backup shows.
  void progressLineFitsAtAnyFont() {
    const QFont before = QApplication::font();
    for (const double scale : {1.0, 1.6}) {
      QFont font = before;
      font.setPointSizeF(before.pointSizeF() * scale);
      QApplication::setFont(font);
      vorn::ui::TfrmMWaitFor window;
      window.show();
      QVERIFY(QTest::qWaitForWindowExposed(&window));
      QLabel* line = window.LbProgress;
      for (const std::string& text : {vorn::ProgressText(100407, 131072, 287.0), vorn::ProgressText(1, 131072, 30.0),
                                      vorn::ProgressText(0, 131072, 0)}) {
        line->setText(QString::fromStdString(text));
        const QRect needed = line->fontMetrics().boundingRect(QRect(0, 0, line->width(), 10000),
                                                              Qt::AlignCenter | Qt::TextWordWrap, line->text());
        const QString where = QString("%1 at scale %2").arg(line->text()).arg(scale);
        QVERIFY2(needed.width() <= line->width() && needed.height() <= line->height(), qPrintable(where));
        QVERIFY2(window.rect().contains(line->geometry()), qPrintable(where));
        QVERIFY2(!line->geometry().intersects(window.BtCancel->geometry()), qPrintable(where));
      }
    }
    QApplication::setFont(before);
  }

  void refusesWhatCannotBeStarted() {
    ToolWindow w(ui_, gui_);
    NoRegistry registry;
    w.Registry = &registry;
    // A short image is refused before anything reaches the controller.
    std::ofstream(Path("short.img"), std::ios::binary) << std::string(4096, 'x');
    ui_.files = {Path("short.img")};
    w.BtRestoreImgClick();
    QVERIFY(ui_.LastError().find("too short to be a drive image") != std::string::npos);
    QVERIFY(ui_.LastError().find("4096 bytes") != std::string::npos);
    // No to the question, or a cancelled file dialog: nothing happens.
    ui_.answers = {false};
    w.BtBackupImgClick();
    w.BtRestoreImgClick();  // file dialog cancelled (no answer queued)
    // Targets and images that are no regular files, and a folder without the
    // program: refused with the reason before anything is uploaded.
    QVERIFY(::mkfifo(Path("fifo.img").c_str(), 0600) == 0);
    struct Refusal {
      int mode;
      std::string file;
      const char* reason;
    };
    for (const Refusal& r : {Refusal{1, Path("fifo.img"), "FIFO"}, Refusal{2, Path("."), "Folder"},
                             Refusal{1, Path("none/x.img"), "does not exist"},
                             Refusal{1, Path("7730D.img"), "KAPRINRD.EXE not found in"}}) {
      const bool noProgram = std::string(r.reason).rfind("KAPRINRD", 0) == 0;
      registry.path = noProgram ? std::optional(Path("nowhere")) : std::nullopt;
      ui_.files = {r.file};
      if (r.mode == 1)
        w.BtBackupImgClick();
      else
        w.BtRestoreImgClick();
      QVERIFY2(ui_.LastError().find(r.reason) != std::string::npos, ui_.LastError().c_str());
    }
    registry.path.reset();
    QVERIFY(w.uploads.empty());
    QVERIFY(std::filesystem::is_fifo(Path("fifo.img")));
    // A failed upload: the cable message, and no thread.
    w.uploadSucceeds = false;
    ui_.files = {Path("7730D.img")};
    w.BtBackupImgClick();
    QCOMPARE(ui_.LastError(), vorn::ImageCableText());
    QCOMPARE(w.uploads.size(), size_t(1));
    QVERIFY(!w.RestoreThread && !w.BackupThread);
    QCOMPARE(ui_.Texts("error").size(), size_t(6));
  }

  // On a controller that does not name itself as the virtual one the shipped
  // stand-ins are refused before anything reaches its drive; a chosen folder
  // of real programs is remembered and shown.
  void refusesStandInsForARealController() {
    qputenv("VORN7730_SETTINGS", Path("real.ini").c_str());
    vorn::ui::StartOptions options;
    options.simulate = true;
    vorn::ui::TfrmMain main(ui_, options);
    main.show();
    vsim::VirtualController& sim = *main.Simulator();
    vsim::Options real = sim.GetOptions();
    real.asRealController = true;
    sim.SetOptions(real);
    const std::vector<uint8_t> before = sim.DriveImage();
    QDir(dir_.path()).mkpath("programs");
    std::ofstream(Path("programs/KAPRINRD.EXE"), std::ios::binary) << "the real image backup";

    main.Remote().ShowRemoteFolder("\\");
    QTimer::singleShot(0, &main, [&] {
      auto* tool = qobject_cast<TdlgVornKaprin*>(QApplication::activeModalWidget());
      QVERIFY(tool);
      QVERIFY(tool->programsFolderLabel->text().contains("stand-ins: for the virtual controller only"));
      sim.ClearReceived();
      ui_.files = {Path("real.img")};
      tool->BtBackupImgClick();
      const std::string refusal = ui_.LastError();
      QVERIFY2(refusal.rfind("The backup was not started", 0) == 0, refusal.c_str());
      QVERIFY(refusal.find("KAPRINRD.EXE") != std::string::npos);
      QVERIFY(refusal.find("Controller programs folder...") != std::string::npos);
      QCOMPARE(sim.Received(), std::string("ver\r"));
      // A folder without the programs is not taken; one with them is kept.
      ui_.folders = {Path("."), Path("programs")};
      tool->programsFolderButton->click();
      QVERIFY(ui_.LastError().find("Neither KAPRINRD.EXE nor KAPRINWR.EXE") != std::string::npos);
      tool->programsFolderButton->click();
      QCOMPARE(ui_.Texts("error").size(), size_t(2));
      QVERIFY(tool->programsFolderLabel->text().endsWith(QString::fromStdString(Path("programs/"))));
      tool->reject();
    });
    main.tbtnKAPRINClick();
    QCOMPARE(vorn::platform::HostRegistry().ReadString(vorn::platform::kUtilitySettingsKey,
                                                      vorn::platform::kProgramsFolderValue),
             std::optional<std::string>(Path("programs/")));
    QVERIFY(sim.DriveImage() == before);
    QVERIFY(!QFile::exists(QString::fromStdString(Path("real.img"))));
  }

  // From the main window's image button: a backup and a restore with the
  // real upload and threads, on the virtual controller.
  void backsUpAndRestoresFromTheMainWindow() {
    qputenv("VORN7730_SETTINGS", Path("registry.ini").c_str());  // no companion installation
    vorn::ui::StartOptions options;
    options.simulate = true;
    vorn::ui::TfrmMain main(ui_, options);
    main.show();
    vsim::VirtualController& sim = *main.Simulator();
    const QString shots = qEnvironmentVariable("VORN_SCREENSHOT_DIR");

    // Runs one press of the tool window's button once it is up, then closes it.
    auto useTool = [&](const std::function<void(TdlgVornKaprin&)>& press) {
      main.Remote().ShowRemoteFolder("\\");
      QVERIFY(main.Remote().Listing().BytesFree > 0);
      QTimer::singleShot(0, &main, [&] {
        auto* tool = qobject_cast<TdlgVornKaprin*>(QApplication::activeModalWidget());
        QVERIFY(tool);
        QCOMPARE(tool->PortName, main.ComName);
        press(*tool);
        tool->reject();
      });
      main.tbtnKAPRINClick();
      QCOMPARE(main.Remote().Listing().BytesFree, sim.BytesFree());  // listed again: the drive may be new
    };

    bool shotTaken = false;
    QTimer watcher;
    watcher.setInterval(50);
    connect(&watcher, &QTimer::timeout, [&] {
      auto* tool = qobject_cast<TdlgVornKaprin*>(main.findChild<TdlgVornKaprin*>());
      if (shotTaken || !tool || !tool->WaitWindow || !tool->BackupThread || tool->BackupThread->Progress < 20000)
        return;
      shotTaken = true;
      if (!shots.isEmpty()) tool->WaitWindow->grab().save(shots + "/image-progress.png");
    });
    watcher.start();

    ui_.files = {Path("7730D.img")};
    useTool([&](TdlgVornKaprin& tool) {
      if (!shots.isEmpty()) tool.grab().save(shots + "/image-tool.png");
      tool.BtBackupImgClick();
    });
    QVERIFY2(ui_.Texts("error").empty(), ui_.LastError().c_str());
    QCOMPARE(ui_.Texts("information").back(), vorn::ImageDoneText(true));
    const std::vector<uint8_t> drive = sim.DriveImage();
    QCOMPARE(ReadAll(Path("7730D.img")), std::string(drive.begin(), drive.end()));
    QVERIFY(main.meoDos->toPlainText().contains("D:\\KAPRINRD 2 3 4 5"));

    QVERIFY(sim.WriteFile("D:\\NEW.TXT", "made after the backup"));
    ui_.files = {Path("7730D.img")};
    useTool([](TdlgVornKaprin& tool) { tool.BtRestoreImgClick(); });
    QVERIFY2(ui_.Texts("error").empty(), ui_.LastError().c_str());
    // The controller's verdict, in the box and the pane.
    const std::string verdict = "KAPRINWR: 16384 blocks written, 0 arrived damaged";
    QCOMPARE(ui_.Texts("information").back(), vorn::ImageDoneText(false) + "\n\n" + verdict);
    QVERIFY(main.meoDos->toPlainText().contains(QString::fromStdString(verdict)));
    QVERIFY(!sim.Exists("D:\\NEW.TXT"));
  }
};

QTEST_MAIN(KaprinWindowTest)
#include "kaprin_window_test.moc"
