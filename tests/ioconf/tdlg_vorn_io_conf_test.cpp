// The I/O configuration dialog on its own and behind the main window's
// "Config VORN" button.
#include <QApplication>
#include <QCloseEvent>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <sstream>

#include "app/scripted_ui.h"
#include "app/ui/tfrm_main.h"
#include "ioconf/ui/tdlg_vorn_io_conf.h"
#include "link/ui/terminal_pane_widget.h"

using vorn::ui::TdlgVornIOConf;

namespace {

// One slot of every page kind: single combo, eight combos, output, digital,
// more single-combo kinds, empty.
vorn::IOConfig Mixed() {
  vorn::IOConfig c;
  c.NodeID = 26;
  c.EightSlots = true;
  c.Slots[0] = {4, 8, {9, 9, 9, 9, 9, 9, 9, 9}};
  c.Slots[1] = {23, 8, {67, 70, 72, 8, 7, 67, 70, 9}};
  c.Slots[2] = {24, 4, {48, 49, 50, 48, -1, -1, -1, -1}};
  c.Slots[3] = {16, 16, {}};
  c.Slots[4] = {5, 7, {15, 15, 15, 15, 15, 15, 15, -1}};
  c.Slots[5] = {12, 8, {0, 1, 2, 3, 8, 9, 10, 11}};
  c.Slots[6] = {9, 3, {33, 33, 33, -1, -1, -1, -1, -1}};
  return c;
}

}  // namespace

class IOConfDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void showsEachKindOfSlotReadably() {
    TdlgVornIOConf dialog(Mixed());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QString("VORN-7730 Analog IO Configuration"));
    QCOMPARE(dialog.statextNodeID->text(), QString("1A"));
    QVERIFY(dialog.btnOK->isDefault());
    for (int n = 0; n < 8; ++n) {
      QVERIFY(dialog.pagectrlSlot->isTabVisible(n));
      QCOMPARE(dialog.pagectrlSlot->tabText(n), QString("Slot%1").arg(n));
    }
    QCOMPARE(dialog.pagectrlSlot->currentIndex(), 0);

    struct Page {
      int slot;
      const char* shot;
      int channels;  // visible rows; 0 with the panel hidden
      const char* firstLabel;
      const char* firstRange;
    } pages[] = {
        {0, "analog_single", 1, "All", "+/-   5  V"}, {1, "eight_combos", 8, "CH0", "  0~500 mV"},
        {2, "output", 4, "CH0", "0~ 20  mA"},          {3, "digital", 0, "", ""},
        {4, "thermocouple", 1, "All", "K Type    0~1000'C"},
        {7, "empty", 0, "", ""},
    };
    for (const Page& p : pages) {
      dialog.pagectrlSlot->setCurrentIndex(p.slot);
      QTest::qWait(20);
      const int n = p.slot;
      QVERIFY(dialog.panelSL[n]->isVisible() == (p.channels > 0));
      QLabel* desc = dialog.statextDspSL[n];
      QVERIFY2(desc->width() >= desc->sizeHint().width(), qPrintable(desc->text()));
      for (int ch = 0; ch < 8 && p.channels > 0; ++ch) {
        QCOMPARE(dialog.cbxSL[n][ch]->isVisible(), ch < p.channels);
        QCOMPARE(dialog.lblSL[n][ch]->isVisible(), ch < p.channels);
        if (ch >= p.channels) continue;
        QComboBox* combo = dialog.cbxSL[n][ch];
        QVERIFY2(combo->width() >= combo->sizeHint().width(), qPrintable(combo->objectName()));
        // Even channels on the left, odd ones beside them in the same row.
        if (ch % 2 == 1) {
          QCOMPARE(combo->y(), dialog.cbxSL[n][ch - 1]->y());
          QVERIFY(combo->x() > dialog.cbxSL[n][ch - 1]->x() + dialog.cbxSL[n][ch - 1]->width());
        }
      }
      if (p.channels > 0) {
        // The padded range texts line up only in a fixed-pitch font, also
        // where the system's own is not installed (a platform without any
        // font, as offscreen under Wine, has none to offer).
        if (!QFontDatabase::families().isEmpty()) QVERIFY(QFontInfo(dialog.cbxSL[n][0]->font()).fixedPitch());
        QCOMPARE(dialog.lblSL[n][0]->text(), QString(p.firstLabel));
        QCOMPARE(dialog.cbxSL[n][0]->currentText(), QString(p.firstRange));
      }
      dialog.grab().save(QString(VORN_SHOT_DIR "/ioconf_%1.png").arg(p.shot));
    }
    QCOMPARE(dialog.statextDspSL[7]->text(), QString("No module"));
    QCOMPARE(dialog.cbxSL[1][7]->currentIndex(), -1);  // code 9 is not in the list
  }

  void fourSlotControllerHidesTheLastTabs() {
    vorn::IOConfig c = Mixed();
    c.EightSlots = false;
    TdlgVornIOConf dialog(c);
    dialog.show();
    for (int n = 0; n < 8; ++n) QCOMPARE(dialog.pagectrlSlot->isTabVisible(n), n < 4);
    QCOMPARE(dialog.pagectrlSlot->tabText(5), QString("None"));
  }

  void okStoresTheChoicesAndCancelNothing() {
    for (bool ok : {true, false}) {
      TdlgVornIOConf dialog(Mixed());
      dialog.show();
      dialog.cbxSL[0][0]->setCurrentText("+/- 150 mV");
      dialog.cbxSL[2][3]->setCurrentIndex(2);
      // Restored from minimised, the dialog keeps what was chosen.
      dialog.showMinimized();
      dialog.showNormal();
      QTest::mouseClick(ok ? dialog.btnOK : dialog.btnCancel, Qt::LeftButton);
      QCOMPARE(dialog.result(), ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
      vorn::IOConfig expected = Mixed();
      if (ok) {
        expected.Slots[0].Range.fill(12);
        expected.Slots[2].Range[3] = 50;
      }
      QCOMPARE(QString::fromStdString(vorn::IOConfigText(dialog.Config)),
               QString::fromStdString(vorn::IOConfigText(expected)));
    }
  }

#ifdef VORN_WITH_SIM
  // The button runs the whole configuration against the virtual controller
  // (built on POSIX hosts only); closing the main window meanwhile is refused
  // with the reason.
  void configButtonAppliesTheChosenRange() {
    QTemporaryDir dir;
    qputenv("VORN7730_SETTINGS", (dir.path() + "/settings.ini").toUtf8());
    vorn::test::ScriptedUi ui;
    vorn::ui::StartOptions options;
    options.simulate = true;
    vorn::ui::TfrmMain main(ui, options);
    main.show();
    main.ConfigPath = (dir.path() + "/V7730MIO.cfg").toStdString();
    QSignalSpy said(main.statusBar(), &QStatusBar::messageChanged);
    bool answered = false;
    bool closedDuringUpload = false;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<TdlgVornIOConf*>(QApplication::activeModalWidget());
      if (answered && !closedDuringUpload) {
        closedDuringUpload = true;
        // The first refusal may still be shown: this one must say it again.
        main.statusBar()->clearMessage();
        QVERIFY(!main.close());
      }
      if (!dialog || answered) return;
      answered = true;
      dialog->grab().save(VORN_SHOT_DIR "/ioconf_from_main_window.png");
      dialog->cbxSL[0][0]->setCurrentText("+/- 150 mV");
      QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    });
    timer.start(50);
    // A close request waiting when the read begins.
    QCoreApplication::postEvent(&main, new QCloseEvent);
    QTest::mouseClick(main.tbtnVornConf, Qt::LeftButton);
    QVERIFY(answered && closedDuringUpload);
    QVERIFY2(ui.boxes.empty(), ui.LastError().c_str());
    QVERIFY(main.isVisible());
    int reasons = 0;  // the message also changes when it times out or is cleared
    QStringList messages;
    for (const QList<QVariant>& message : said) {
      reasons += message.at(0).toString() ==
                 "The I/O configuration run is using VORN-7730: the window closes only after it has ended.";
      messages << message.at(0).toString();
    }
    QCOMPARE(reasons, 2);
    // The read, silent for seconds, and the result are told in the status bar.
    QCOMPARE(messages.front(), QString("Reading the I/O configuration from VORN-7730 ..."));
    QCOMPARE(main.statusBar()->currentMessage(), QString("The I/O configuration was applied on VORN-7730."));
    std::stringstream file;
    file << std::ifstream(main.ConfigPath).rdbuf();
    QVERIFY(file.str().find("@SLOT0 04 08 -1\n0 12 -1 -1\n") != std::string::npos);
    const QString pane = main.meoDos->toPlainText();
    QVERIFY(pane.contains("C:\\transfer /R D:\\vornio.cfg"));
    QVERIFY(pane.contains("CFGIO: I/O configuration applied"));
    QVERIFY(pane.contains("del D:\\vornio.cfg"));
  }
#endif
};

QTEST_MAIN(IOConfDialogTest)
#include "tdlg_vorn_io_conf_test.moc"
