// The main window with the terminal against the virtual controller: launch and
// stop, keys, paste, copy, exit, and that nothing stays running or held.
#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <thread>

#include <QMimeData>
#include <QStatusBar>
#include <QTreeView>
#include <QUrl>

#include "app/scripted_ui.h"
#include "app/ui/dialogs.h"
#include "app/ui/tfrm_main.h"
#include "platform/host.h"
#include "remote/ui/remote_pane.h"
#include "link/exchange.h"
#include "link/serial_port.h"
#include "link/ui/terminal_console.h"
#include "link/ui/terminal_pane_widget.h"
#include "local/ui/local_pane.h"
#include "sim/virtual_controller.h"

using vorn::test::ScriptedUi;
using vorn::ui::TfrmMain;

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<ScriptedUi> ui_;
  std::unique_ptr<TfrmMain> w_;

  vsim::VirtualController& Sim() { return *w_->Simulator(); }
  QString PaneText() const { return w_->meoDos->toPlainText(); }
  // Waits until the controller has received what it was sent so far, i.e.
  // until nothing new arrives for a moment.
  std::string Settled() {
    std::string last = Sim().Received();
    for (int i = 0; i < 40; ++i) {
      QTest::qWait(25);
      std::string now = Sim().Received();
      if (now == last && i > 4) break;
      last = now;
    }
    return last;
  }

 private slots:
  void init() {
    qputenv("VORN7730_SETTINGS", QByteArray("/tmp/vorn7730-main-window-test.ini"));
    ui_ = std::make_unique<ScriptedUi>();
    vorn::ui::StartOptions options;
    options.simulate = true;
    w_ = std::make_unique<TfrmMain>(*ui_, options);
    w_->show();
    QVERIFY(w_->Simulator() != nullptr);
    QCOMPARE(w_->ComName, Sim().PortPath());
    QVERIFY(w_->cbxCOM->currentText().contains("Virtual controller"));
  }

  void cleanup() {
    if (w_ && w_->TerminalRunning()) w_->Console().tbtnDOSCmdClick();
    w_.reset();
    ui_.reset();
  }

  void startsWithItsCaptionAndTerminalOff() {
    QCOMPARE(w_->windowTitle(), QString("VORN-7730 Series Utility (Ver 1.38)"));
    QVERIFY(!w_->TerminalRunning());
    QCOMPARE(w_->meoDos->palette().color(QPalette::Text), QColor(0, 128, 0));
    QVERIFY(w_->pnlVorn->tbtnVornDtIcon->isChecked());
    QVERIFY(w_->pnlLocal->tbtnLocalDtIcon->isChecked());
    QCOMPARE(w_->tbtnDOSCmd->toolTip(), QString("Launch Terminal"));
    // Both toolbars show their view styles in the order large, small, list, report.
    for (QToolBar* bar : {w_->pnlLocal->tlbarLocal, w_->pnlVorn->tlbarVorn}) {
      QStringList hints;
      for (QAction* a : bar->actions())
        if (auto* b = qobject_cast<QToolButton*>(bar->widgetForAction(a)); b && b->isCheckable() && b != w_->tbtnDOSCmd)
          hints << b->toolTip();
      QCOMPARE(hints, (QStringList{"Large Icons", "Small Icons", "List View", "Report View"}));
    }
  }

  // While a listing waits on the line the window repaints, but neither a timer
  // nor input posted meanwhile runs a handler; the timer fires afterwards.
  void exchangeRepaintsWithoutRunningHandlers() {
    auto busy = [] { return QApplication::overrideCursor() != nullptr; };
    int paintsDuring = 0, ticksDuring = 0, ticksAfter = 0, clicksDuring = 0;
    struct PaintCounter : QObject {
      std::function<void()> onPaint;
      bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) onPaint();
        return false;
      }
    } counter;
    // The list keeps the rows it had while its listing runs, and the status
    // panel says what is being read.
    w_->Remote().ShowRemoteFolder("\\");
    const int rowsBefore = w_->pnlVorn->RowCount();
    QVERIFY(rowsBefore > 0);
    w_->meoDos->viewport()->installEventFilter(&counter);
    int rowsDuring = -1;
    QString panelDuring;
    counter.onPaint = [&] {
      if (!busy()) return;
      ++paintsDuring;
      rowsDuring = w_->pnlVorn->RowCount();
      panelDuring = w_->pnlVorn->stabarVorn->Text(0);
    };
    QTimer timer;
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, [&] { busy() ? ++ticksDuring : ++ticksAfter; });
    connect(w_->pnlVorn->tbtnVornUp, &QToolButton::clicked, [&] { clicksDuring += busy(); });
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));

    timer.start();
    std::thread clicker([this] {
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      const QPointF at(5, 5);
      QCoreApplication::postEvent(w_->pnlVorn->tbtnVornUp, new QMouseEvent(QEvent::MouseButtonPress, at, at, at, Qt::LeftButton,
                                                                 Qt::LeftButton, Qt::NoModifier));
      QCoreApplication::postEvent(w_->pnlVorn->tbtnVornUp, new QMouseEvent(QEvent::MouseButtonRelease, at, at, at,
                                                                 Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    });
    w_->pnlVorn->tbtnRefresh->click();
    clicker.join();
    QVERIFY(!busy());
    QVERIFY(PaneText().contains("bytes free"));
    QVERIFY(paintsDuring > 0);
    QCOMPARE(rowsDuring, rowsBefore);
    QCOMPARE(panelDuring, QString("Reading D:\\ ..."));
    QCOMPARE(ticksDuring, 0);
    QCOMPARE(clicksDuring, 0);
    QTRY_VERIFY(ticksAfter > 0);
  }

  // The port box and every tool button stay on screen, inside their pane,
  // at the restored size, at the smallest the window allows, and maximised.
  void toolbarsShowEveryControlAtAnySize() {
    w_->showNormal();
    for (QSize size : {QSize(721, 580), w_->minimumSizeHint(), QSize(1600, 1000)}) {
      w_->resize(size);
      QTest::qWait(50);
      QList<QWidget*> controls{w_->cbxCOM};
      for (QToolBar* bar : {w_->pnlLocal->tlbarLocal, w_->pnlVorn->tlbarVorn})
        for (QAction* a : bar->actions())
          if (QWidget* b = bar->widgetForAction(a); b && !a->isSeparator()) controls << b;
      for (QWidget* c : controls) {
        QWidget* pane = c->window() == w_.get() && w_->pnlLocal->isAncestorOf(c) ? static_cast<QWidget*>(w_->pnlLocal) : w_->pnlVorn;
        const QRect inPane(c->mapTo(pane, QPoint(0, 0)), c->size());
        QVERIFY2(c->isVisible() && pane->rect().contains(inPane),
                 qPrintable(QString("%1 at %2x%3").arg(c->objectName()).arg(size.width()).arg(size.height())));
      }
    }
  }

  void typingWhileOffChangesNothing() {
    Sim().ClearReceived();
    QTest::keyClicks(w_->meoDos, "dir");
    QTest::keyClick(w_->meoDos, Qt::Key_Up);
    QCOMPARE(QString::fromStdString(Settled()), QString());
  }

  void launchSendsOneReturnAndSwitchesColours() {
    Sim().ClearReceived();
    w_->Console().tbtnDOSCmdClick();
    QVERIFY(w_->TerminalRunning());
    QVERIFY(w_->tbtnDOSCmd->isChecked());
    QCOMPARE(Settled(), std::string("\r"));
    QCOMPARE(w_->meoDos->palette().color(QPalette::Base), QColor(Qt::black));
    QCOMPARE(w_->meoDos->palette().color(QPalette::Text), QColor(192, 192, 192));
    // The prompt the return brought back shows up in the pane.
    QTRY_VERIFY_WITH_TIMEOUT(PaneText().contains("D:\\>"), 5000);
  }

  void typedCommandShowsTheListing() {
    w_->Console().tbtnDOSCmdClick();
    QTest::keyClicks(w_->meoDos, "dir");
    QTest::keyClick(w_->meoDos, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(PaneText().contains("bytes free"), 8000);
    QVERIFY(PaneText().contains("<DIR>"));
    // The pane shows the controller's echo, never the typed key itself: the
    // command appears once.
    QCOMPARE(PaneText().count(">dir"), 1);
  }

  // --log appends what the controller sends, exchanges' lines and the
  // terminal's alike, each after its time; "Save log..." writes the pane.
  void logFileAndSavedLogCarryTimes() {
    QTemporaryDir dir;
    const QString log = dir.path() + "/controller.log";
    {
      QFile earlier(log);
      QVERIFY(earlier.open(QIODevice::WriteOnly));
      earlier.write("earlier run\n");
    }
    w_.reset();
    vorn::ui::StartOptions options;
    options.simulate = true;
    options.logFile = log.toStdString();
    w_ = std::make_unique<TfrmMain>(*ui_, options);
    QVERIFY(w_->LogReady());
    w_->Remote().ShowRemoteFolder("\\");
    w_->Console().tbtnDOSCmdClick();
    QTest::keyClicks(w_->meoDos, "echo TERMLINE");
    QTest::keyClick(w_->meoDos, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(PaneText().contains("\nTERMLINE\n"), 5000);

    const QRegularExpression stamped("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  (.*)$");
    const auto stampedLines = [&](const QString& text, QStringList* bodies) {
      for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) {
        const auto m = stamped.match(line);
        if (!m.hasMatch()) return false;
        *bodies << m.captured(1);
      }
      return true;
    };
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(file.readAll());
    QVERIFY2(written.startsWith("earlier run\n"), "appended, never replaced");
    QStringList bodies;
    QVERIFY2(stampedLines(written.mid(12), &bodies), qPrintable(written));
    QVERIFY(bodies.contains("DEMO.EXE") || std::any_of(bodies.begin(), bodies.end(), [](const QString& b) {
              return b.startsWith("DEMO") && b.contains("EXE");
            }));
    QVERIFY(bodies.contains("TERMLINE"));

    for (bool timestamps : {false, true}) {
      const QString saved = dir.path() + (timestamps ? "/stamped.txt" : "/plain.txt");
      ui_->files = {saved.toStdString()};
      w_->Console().LogTimestamps1->setChecked(timestamps);
      w_->Console().SaveLog1->trigger();
      QFile out(saved);
      QVERIFY(out.open(QIODevice::ReadOnly));
      const QString text = QString::fromUtf8(out.readAll());
      QStringList savedBodies;
      if (timestamps) {
        // The unfinished prompt line has no time yet: blanks in its place.
        const int last = text.lastIndexOf('\n', -2) + 1;
        const QString finished = text.mid(last).startsWith(' ') ? text.left(last) : text;
        QVERIFY2(stampedLines(finished, &savedBodies), qPrintable(text));
        QVERIFY2(savedBodies.contains("TERMLINE"), qPrintable(text));
      } else {
        QCOMPARE(text, PaneText() + (PaneText().endsWith('\n') ? "" : "\n"));
      }
    }
    QVERIFY(ui_->Texts("error").empty());

    // A folder is no log file: the window says so and does not start.
    w_.reset();
    options.logFile = dir.path().toStdString();
    w_ = std::make_unique<TfrmMain>(*ui_, options);
    QVERIFY(!w_->LogReady());
    QVERIFY(ui_->LastError().find("not a regular file") != std::string::npos);
  }

  // The pane clears every few hundred lines; the saved log keeps them all.
  void savedLogKeepsWhatThePaneCleared() {
    QTemporaryDir dir;
    for (int i = 0; i < 700; ++i) vorn::ShowPaneLine(*w_, "line " + std::to_string(i));
    QVERIFY(w_->LineCount() < 300);
    const QString saved = dir.path() + "/all.log";
    ui_->files = {saved.toStdString()};
    w_->Console().SaveLog1->trigger();
    QFile out(saved);
    QVERIFY(out.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(out.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 700);
    QCOMPARE(lines.front(), QString("line 0"));
    QCOMPARE(lines.back(), QString("line 699"));
  }

  // The port box reads the host's ports again when it opens, and the next
  // start selects the port chosen last while it is still there.
  void portBoxRereadsAndRemembersThePort() {
    QTemporaryDir dir;
    qputenv("VORN7730_SETTINGS", (dir.path() + "/settings.ini").toLocal8Bit());
    std::vector<std::string> ports = {"ttyFAKE0", "ttyFAKE1"};
    vorn::ui::StartOptions options;
    options.presentPorts = [&] { return ports; };
    const auto start = [&] {
      w_.reset();
      w_ = std::make_unique<TfrmMain>(*ui_, options);
      return w_->ComName;
    };
    QCOMPARE(start(), std::string("ttyFAKE0"));  // first start: scan order
    w_->cbxCOM->setCurrentIndex(1);
    w_->cbxCOMChange();
    ports.push_back("ttyFAKE2");
    w_->cbxCOM->showPopup();
    QCOMPARE(w_->cbxCOM->count(), 3);
    QCOMPARE(w_->cbxCOM->currentData().toString(), QString("ttyFAKE1"));
    w_->cbxCOM->hidePopup();
    QCOMPARE(start(), std::string("ttyFAKE1"));
    // The port and the run dialog's program are remembered apart: a port
    // choice leaves the dialog with its first-time text.
    QString shown;
    WithRunDialog([&](vorn::ui::TdlgVornRun* d) {
      shown = d->edtAppName->text();
      d->btnCancel->click();
    });
    w_->tbtnLocalRunClick();
    QCOMPARE(shown, QString("edtAppName"));
    // The chosen port going away is said, and the pane forgets the old
    // controller's rows and free space.
    w_->Remote().Listing().Entries.push_back(vorn::RemoteEntry{});
    w_->Remote().Listing().BytesFree = 1000;
    ports = {"ttyFAKE0", "ttyFAKE2"};
    w_->cbxCOM->showPopup();
    w_->cbxCOM->hidePopup();
    QCOMPARE(w_->ComName, std::string("ttyFAKE0"));
    QVERIFY(w_->Remote().Listing().Entries.empty() && w_->Remote().Listing().BytesFree == 0);
    QVERIFY2(w_->statusBar()->currentMessage().startsWith("The port ttyFAKE1 is gone. ttyFAKE0 is chosen now"),
             qPrintable(w_->statusBar()->currentMessage()));
    QCOMPARE(start(), std::string("ttyFAKE0"));
    // A port also named with --port is offered once, where --port puts it.
    options.extraPorts = {"ttyFAKE2"};
    start();
    QCOMPARE(w_->cbxCOM->count(), 2);
    QCOMPARE(w_->cbxCOM->itemData(0).toString(), QString("ttyFAKE2"));
    // A device server's port is typed in, kept through a rescan and chosen
    // again at the next start; a malformed one is refused with a box.
    w_->TypedPortEntered("socket://127.0.0.1:9");
    QCOMPARE(w_->ComName, std::string("socket://127.0.0.1:9"));
    w_->cbxCOM->showPopup();
    w_->cbxCOM->hidePopup();
    QCOMPARE(w_->ComName, std::string("socket://127.0.0.1:9"));
    QCOMPARE(start(), std::string("socket://127.0.0.1:9"));
    w_->TypedPortEntered("rfc2217://host-without-port");
    QCOMPARE(w_->ComName, std::string("socket://127.0.0.1:9"));
    QVERIFY(ui_->LastError().find("rfc2217://HOST:PORT") != std::string::npos);
    w_.reset();
  }

  void specialKeysSendEscapeSequences() {
    w_->Console().tbtnDOSCmdClick();
    Settled();
    Sim().ClearReceived();
    QTest::keyClick(w_->meoDos, Qt::Key_Up);
    QCOMPARE(Settled(), std::string("\x1b[A"));
    Sim().ClearReceived();
    QTest::keyClick(w_->meoDos, Qt::Key_F1);
    QTest::keyClick(w_->meoDos, Qt::Key_F5);
    QCOMPARE(Settled(), std::string("\x1bOP"));
  }

  void pasteTurnsHostLineEndsIntoOneReturn() {
    w_->Console().tbtnDOSCmdClick();
    Settled();
    Sim().ClearReceived();
    QApplication::clipboard()->setText("echo one\r\necho two");
    w_->Console().PopupMenu3Popup();
    QVERIFY(w_->Console().Pasteto7730M1->isEnabled());
    w_->Console().Pasteto7730M1Click();
    QCOMPARE(Settled(), std::string("echo one\recho two"));
    QTRY_VERIFY_WITH_TIMEOUT(PaneText().contains("one"), 5000);
  }

  void pasteTakesAtMost1023Characters() {
    w_->Console().tbtnDOSCmdClick();
    Settled();
    Sim().ClearReceived();
    QApplication::clipboard()->setText(QString(2000, 'x'));
    w_->Console().Pasteto7730M1Click();
    QCOMPARE(Settled().size(), size_t(1023));
  }

  void pasteIsOfferedOnlyWhileTheTerminalRuns() {
    QApplication::clipboard()->setText("text");
    w_->Console().PopupMenu3Popup();
    QVERIFY(!w_->Console().Pasteto7730M1->isEnabled());
    QVERIFY(!w_->Console().Copy1->isEnabled());
  }

  void copyRefusesMoreThan1024Characters() {
    w_->meoDos->setPlainText(QString(1025, 'a'));
    QTextCursor c(w_->meoDos->document());
    c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    w_->meoDos->setTextCursor(c);
    QApplication::clipboard()->setText("before");
    w_->Console().Copy1Click();
    QCOMPARE(ui_->LastError(), std::string("The selected text exceeds 1024 bytes!"));
    QCOMPARE(QApplication::clipboard()->text(), QString("before"));

    c.setPosition(1);
    c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    w_->meoDos->setTextCursor(c);
    w_->Console().Copy1Click();
    QCOMPARE(QApplication::clipboard()->text(), QString(1024, 'a'));
  }

  void terminalDisablesExchangeControlsUntilItStops() {
    QList<QWidget*> controls{w_->tbtnVornConf, w_->pnlVorn->tbtnVornUp, w_->pnlVorn->tbtnRefresh, w_->pnlVorn->tbtnVornLgIcon,
                             w_->pnlVorn->tbtnVornSmIcon, w_->pnlVorn->tbtnVornLsIcon, w_->pnlVorn->tbtnVornDtIcon, w_->cbxCOM,
                             w_->pnlVorn->cbxVorn, w_->pnlVorn->lstviewVorn, w_->btnCopy, w_->tbtnTCPConf, w_->tbtnKAPRIN};
    // A drop on the controller pane starts an upload as the copy button does.
    const auto dropTaken = [this] {
      QMimeData mime;
      mime.setUrls({QUrl::fromLocalFile(QCoreApplication::applicationFilePath())});
      QWidget* viewport = w_->pnlVorn->lstviewVorn->Report()->viewport();
      QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(viewport, &enter);
      return enter.isAccepted();
    };
    QVERIFY(dropTaken());
    w_->Console().tbtnDOSCmdClick();
    for (QWidget* c : controls) QVERIFY2(!c->isEnabled(), qPrintable(c->objectName()));
    QVERIFY(!w_->pnlLocal->CopyToVorn1->isEnabled());
    QVERIFY(!dropTaken());
    QVERIFY(w_->tbtnLocalRun->isEnabled());
    QVERIFY(w_->pnlLocal->lstviewLocal->isEnabled());
    w_->Console().tbtnDOSCmdClick();
    for (QWidget* c : controls) QVERIFY2(c->isEnabled(), qPrintable(c->objectName()));
    QVERIFY(w_->pnlLocal->CopyToVorn1->isEnabled());
    QVERIFY(dropTaken());
    QCOMPARE(w_->meoDos->palette().color(QPalette::Text), QColor(0, 128, 0));
    QVERIFY(!w_->tbtnDOSCmd->isChecked());
  }

  void stoppedTerminalReleasesThePort() {
    w_->Console().tbtnDOSCmdClick();
    vorn::SerialPort held(Sim().PortPath());
    QVERIFY(!held.Open());
    w_->Console().tbtnDOSCmdClick();
    vorn::SerialPort again(Sim().PortPath());
    QVERIFY(again.Open());
    again.Close();
  }

  void unopenablePortKeepsTheTerminalOff() {
    w_->ComName = "/dev/does-not-exist";
    w_->Console().tbtnDOSCmdClick();
    QVERIFY(!w_->TerminalRunning());
    QVERIFY(!w_->tbtnDOSCmd->isChecked());
    // The message of old, then the real reason on a line of its own.
    QCOMPARE(ui_->LastError(), std::string("Unable to open /dev/does-not-exist !\n\nReason: /dev/does-not-exist does not "
                                           "exist; choose another port or check that the adapter is plugged in."));
    QVERIFY(w_->pnlVorn->tbtnRefresh->isEnabled());
  }

  // A close request while a listing waits on the line is kept: the window
  // asks and closes once the listing has ended.
  void closeDuringAListingClosesAfterIt() {
    // Pauses in the listing keep it on the line when the close comes.
    vsim::Options slow = Sim().GetOptions();
    slow.pauseOutputMs = 400;
    Sim().SetOptions(slow);
    std::thread closer([this] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      QCoreApplication::postEvent(w_.get(), new QCloseEvent);
    });
    QSignalSpy said(w_->statusBar(), &QStatusBar::messageChanged);
    w_->pnlVorn->tbtnRefresh->click();
    closer.join();
    QVERIFY(w_->Remote().Listing().BytesFree > 0);  // the listing ran to its end
    QVERIFY(!said.isEmpty());
    QCOMPARE(said.front().at(0).toString(), QString("Waiting for VORN-7730 to answer; the window closes then."));
    QTRY_VERIFY(!w_->isVisible());
    QCOMPARE(ui_->Texts("question"), std::vector<std::string>{"Are you sure to exit?"});
  }

  void exitAnsweredNoKeepsTheWindow() {
    ui_->answers = {false};
    QVERIFY(!w_->close());
    QVERIFY(w_->isVisible());
    QCOMPARE(ui_->Texts("question").back(), std::string("Are you sure to exit?"));
    ui_->answers = {true};
    w_->Exit1Click();
    QVERIFY(!w_->isVisible());
  }

  void exitWhileTheTerminalRunsLeavesNothingBehind() {
    const std::string path = Sim().PortPath();
    w_->Console().tbtnDOSCmdClick();
    QTest::keyClicks(w_->meoDos, "dir");
    QTest::keyClick(w_->meoDos, Qt::Key_Return);
    QTest::qWait(100);
    // The simulator outlives the window here so the port can be tried after.
    ui_->answers = {true};
    w_->Exit1Click();
    w_.reset();  // joins both terminal threads; a hang would time the test out
  }

  // Runs action on the run dialog as soon as it is shown modally.
  void WithRunDialog(std::function<void(vorn::ui::TdlgVornRun*)> action) {
    QTimer::singleShot(0, this, [action] {
      auto* dialog = qobject_cast<vorn::ui::TdlgVornRun*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      action(dialog);
    });
  }

  void runDialogCancelSavesNothingAndKeepsTheTerminal() {
    const QByteArray settings = "/tmp/vorn7730-run-dialog-cancel.ini";
    QFile::remove(settings);
    qputenv("VORN7730_SETTINGS", settings);
    w_->Console().tbtnDOSCmdClick();
    QString shown;
    WithRunDialog([&](vorn::ui::TdlgVornRun* d) {
      shown = d->edtAppName->text();
      d->edtAppName->setText("/bin/true");
      d->btnCancel->click();
    });
    w_->tbtnLocalRunClick();
    QCOMPARE(shown, QString("edtAppName"));  // the key was never written
    QVERIFY(w_->TerminalRunning());
    QVERIFY(!QFile::exists(settings));
  }

  void runDialogOkStopsTheTerminalSavesAndReportsAFailure() {
    const QByteArray settings = "/tmp/vorn7730-run-dialog-ok.ini";
    QFile::remove(settings);
    qputenv("VORN7730_SETTINGS", settings);
    w_->Console().tbtnDOSCmdClick();
    WithRunDialog([](vorn::ui::TdlgVornRun* d) {
      d->edtAppName->setText("/no/such/program.exe");
      d->btnOK->click();
    });
    w_->tbtnLocalRunClick();
    QVERIFY(!w_->TerminalRunning());
    QCOMPARE(ui_->LastError(), std::string("Unable to run the application. '/no/such/program.exe'"));
    auto saved = vorn::platform::HostRegistry().ReadString(vorn::ui::kRunFileKey, vorn::ui::kRunFileValue);
    QVERIFY(saved.has_value());
    QCOMPARE(*saved, std::string("/no/such/program.exe"));

    // The next dialog shows the remembered path.
    QString shown;
    WithRunDialog([&](vorn::ui::TdlgVornRun* d) {
      shown = d->edtAppName->text();
      d->btnCancel->click();
    });
    w_->tbtnLocalRunClick();
    QCOMPARE(shown, QString("/no/such/program.exe"));
  }

  // Both tools may replace the whole drive: the pane is listed again when
  // they close, at the root when its folder went with the old drive.
  void toolsListThePaneAgainWhenTheyClose() {
    const std::vector<uint8_t> withoutSub = Sim().DriveImage();
    for (QToolButton* tool : {w_->tbtnTCPConf, w_->tbtnKAPRIN}) {
      for (bool gone : {false, true}) {
        QVERIFY(Sim().LoadDriveImage(withoutSub));
        QVERIFY(Sim().MakeDir("D:\\SUB"));
        w_->Remote().ShowRemoteFolder("\\SUB");
        if (gone)
          QVERIFY(Sim().LoadDriveImage(withoutSub));
        else
          QVERIFY(Sim().WriteFile("D:\\SUB\\NEW.TXT", "x"));
        ui_->boxes.clear();
        QTimer::singleShot(0, this, [] { QApplication::activeModalWidget()->close(); });
        tool->click();
        const vorn::RemoteListing& listing = w_->Remote().Listing();
        const QString what = tool->objectName() + (gone ? " gone" : " kept");
        QVERIFY2(ui_->boxes.empty(), qPrintable(what + ": " + QString::fromStdString(ui_->LastError())));
        QCOMPARE(listing.CurrentPath, std::string(gone ? "\\" : "\\SUB"));
        QVERIFY2(listing.BytesFree > 0, qPrintable(what));
        const bool listed = std::any_of(listing.Entries.begin(), listing.Entries.end(),
                                        [](const vorn::RemoteEntry& e) { return e.Name == "NEW.TXT"; });
        QCOMPARE(listed, !gone);
      }
    }
  }

  void networkAndImageButtonsAskForARefreshFirst() {
    w_->tbtnTCPConfClick();
    w_->tbtnKAPRINClick();
    auto warnings = ui_->Texts("warning");
    QCOMPARE(warnings.size(), size_t(2));
    QCOMPARE(warnings[0], std::string("Please press 'Refresh folder' button in the VORN-7730 panel first."));
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
