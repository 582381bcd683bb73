// The application object and the program's own boxes: an error thrown by an
// event handler reaches the error box and the program goes on; the exit
// question counts every answer but No as yes; the window opens maximised and
// restores to its own size, centred.
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <QTimer>
#include <QLabel>
#include <QWidget>
#include <functional>
#include <stdexcept>

#include "app/scripted_ui.h"
#include "app/ui/application.h"
#include "widgets/qt_ui.h"
#include "app/ui/main_window.h"
#include "platform/host.h"

namespace {

// Calls onPaint with the object of every paint event it sees.
class PaintWatcher : public QObject {
 public:
  std::function<void(QObject*)> onPaint;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::Paint) onPaint(watched);
    return false;
  }
};

class Thrower : public QObject {
 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("The folder is no longer there.");
    return QObject::event(e);
  }
};

// Answers the next modal box with key as soon as it shows.
void AnswerNextBox(Qt::Key key) {
  QTimer::singleShot(0, [key] {
    QWidget* box = QApplication::activeModalWidget();
    QVERIFY(box);
    QTest::keyClick(box, key);
  });
}

}  // namespace

class ApplicationTest : public QObject {
  Q_OBJECT
 public:
  explicit ApplicationTest(vorn::test::ScriptedUi& ui) : ui_(ui) {}

 private slots:
  void anErrorFromAnEventHandlerIsShownAndTheProgramGoesOn() {
    Thrower thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    QCOMPARE(ui_.LastError(), std::string("The folder is no longer there."));

    bool later = false;
    QTimer::singleShot(0, [&] { later = true; });
    QTRY_VERIFY(later);
  }

  void theExitQuestionTakesEverythingButNoAsYes() {
    vorn::ui::QtUi boxes;
    AnswerNextBox(Qt::Key_Escape);
    QVERIFY(boxes.QuestionUnlessNo("Are you sure to exit?"));
    AnswerNextBox(Qt::Key_N);
    QVERIFY(!boxes.QuestionUnlessNo("Are you sure to exit?"));
    AnswerNextBox(Qt::Key_Return);
    QVERIFY(boxes.QuestionUnlessNo("Are you sure to exit?"));
    // An ordinary question still takes Escape as No.
    AnswerNextBox(Qt::Key_Escape);
    QVERIFY(!boxes.Question("Are you sure?"));
    // One offered with Yes first takes Enter as Yes and Escape as No.
    AnswerNextBox(Qt::Key_Return);
    QVERIFY(boxes.QuestionYesFirst("Upload?"));
    AnswerNextBox(Qt::Key_Escape);
    QVERIFY(!boxes.QuestionYesFirst("Upload?"));
  }

  // Start-up paints its progress dialog at every step, and the main window is
  // painted before the event loop (and with it the first listing) runs.
  void startUpPaintsEachStepAndTheWindowFirst() {
    QStringList steps;
    int windowPaints = 0;
    PaintWatcher watcher;
    watcher.onPaint = [&](QObject* o) {
      if (o->objectName() == "lblMsg") {
        const QString text = static_cast<QLabel*>(o)->text();
        if (steps.isEmpty() || steps.back() != text) steps << text;
      } else if (o->objectName() == "MainWindow") {
        ++windowPaints;
      }
    };
    qApp->installEventFilter(&watcher);
    {
      vorn::ui::MainWindow window(ui_);
      QCOMPARE(steps, (QStringList{"Scanning local system...", "Scanning COM port...", "Constructing local view...",
                                   "Starting COM thread...", "Initialization done!!"}));
      vorn::ui::ShowMaximisedCentred(window);
      vorn::ui::PaintNow(window);
      QVERIFY(windowPaints > 0);
    }
    qApp->removeEventFilter(&watcher);
  }

  // Programs on this host rarely end in ".exe": the run dialog's browser
  // offers the files the user may execute, and every file.
  void theProgramFilterGoesByPermission() {
    const std::string filter = vorn::platform::ProgramFileFilter();
#ifdef Q_OS_WIN
    QCOMPARE(filter, std::string("EXE file (*.exe)|*.exe|All files (*.*)|*.*"));
#else
    QCOMPARE(vorn::ui::QtUi::QtFilter(filter), QString("Programs (*);;All files (*)"));
    QStringList shown;
    bool executableOnly = false, everyFile = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      shown = dialog->nameFilters();
      executableOnly = dialog->filter().testFlag(QDir::Executable);
      emit dialog->filterSelected("All files (*)");  // as when the user picks it
      everyFile = !dialog->filter().testFlag(QDir::Executable);
      dialog->reject();
    });
    vorn::ui::QtUi boxes;
    QVERIFY(!boxes.OpenFile("Open", filter));
    QCOMPARE(shown, QStringList({"Programs (*)", "All files (*)"}));
    QVERIFY(executableOnly);
    QVERIFY(everyFile);
#endif
  }

  // File dialogs start in the host pane's folder, then where the last one
  // ended; never in the working folder.
  void fileDialogsStartInTheHostFolderThenTheLastOne() {
    // Under Wine the windows platform's file dialog takes neither a reject nor
    // a chosen file as a desktop does; the offscreen run covers this there.
    if (QGuiApplication::platformName() == "windows") QSKIP("the file dialog is driven offscreen only");
    QTemporaryDir host, other;
    vorn::ui::QtUi boxes;
    boxes.StartFolder = [&host] { return host.path().toStdString(); };
    const struct {
      std::function<std::optional<std::string>()> open;
      QString startsIn;
      QString chosen;  // empty: cancelled
    } cases[] = {
        {[&] { return boxes.SaveFile("Save log", "Log file (*.log)|*.log", "vorn7730.log"); }, host.path(), ""},
        {[&] { return boxes.SaveFile("Save As", "Text file (*.txt)|*.txt", "NOTE.TXT"); }, host.path(),
         other.path() + "/NOTE.TXT"},
        {[&] { return boxes.OpenFileNamed("Open image", "Image file (*.img)|*.img", "7730D.img"); }, other.path(), ""},
    };
    for (const auto& c : cases) {
      QString startedIn;
      QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        startedIn = dialog->directory().absolutePath();
        if (c.chosen.isEmpty()) {
          dialog->reject();
        } else {
          dialog->selectFile(c.chosen);
          QMetaObject::invokeMethod(dialog, "accept");
        }
      });
      const std::optional<std::string> result = c.open();
      QCOMPARE(startedIn, QDir(c.startsIn).absolutePath());
      QCOMPARE(result.has_value(), !c.chosen.isEmpty());
    }
  }

  void theWindowOpensMaximisedAndRestoresCentred() {
    QWidget window;
    window.resize(721, 580);
    vorn::ui::ShowMaximisedCentred(window);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect area = QApplication::primaryScreen()->availableGeometry();
    QTRY_COMPARE(window.frameGeometry().width(), area.width());
    window.showNormal();
    QTRY_COMPARE(window.size(), QSize(721, 580));
    // Centred, give or take the frame: a window manager may place the
    // restored window by its frame rather than its inside.
    const QPoint off = window.geometry().center() - area.center();
    const int frame = window.frameGeometry().height() - window.geometry().height();
    QVERIFY2(std::abs(off.x()) <= frame && std::abs(off.y()) <= frame,
             qPrintable(QString("%1,%2 from the centre").arg(off.x()).arg(off.y())));
  }

 private:
  vorn::test::ScriptedUi& ui_;
};

int main(int argc, char** argv) {
  vorn::test::ScriptedUi ui;
  vorn::ui::Application app(argc, argv, ui);
  ApplicationTest test(ui);
  return QTest::qExec(&test, argc, argv);
}

#include "application_test.moc"
