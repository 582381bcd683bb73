// The name prompt: it starts with the name to edit, selected, says its limit,
// and is wide enough for its caption.
#include <QtTest>

#include "widgets/tdlg_vorn_ask_name.h"

using vorn::ui::TdlgVornAskName;

class AskNameTest : public QObject {
  Q_OBJECT

 private slots:
  void startsWithTheNameAndSaysItsLimit() {
    const struct {
      QString caption, initial, typed, result, limit;
    } cases[] = {
        // Typing replaces the selected name.
        {"Rename file 'DEMO.EXE'", "DEMO.EXE", "RUN.EXE", "RUN.EXE", "7 of at most 12 characters"},
        // The box stops at its limit and says so.
        {"Invalid file name 'a long name.txt'", "ALONGNAM.TXT", "ABCDEFGHIJKLMNOP", "ABCDEFGHIJKL",
         "12 of at most 12 characters"},
        {"Invalid file name 'a very long host file name that goes on and on.txt'", "AVERYLON.TXT", "", "AVERYLON.TXT",
         "12 of at most 12 characters"},
    };
    for (const auto& c : cases) {
      TdlgVornAskName dialog;
      dialog.Prepare(c.caption, "Please input new file name:", 12, c.initial);
      dialog.show();
      QVERIFY(QTest::qWaitForWindowExposed(&dialog));
      QCOMPARE(dialog.edtFileName->selectedText(), c.initial);
      QTest::keyClicks(dialog.edtFileName, c.typed);
      QCOMPARE(dialog.edtFileName->text(), c.result);
      QCOMPARE(dialog.lblLimit->text(), c.limit);
      QFont bold = dialog.font();
      bold.setBold(true);
      QVERIFY2(dialog.width() > QFontMetrics(bold).horizontalAdvance(c.caption), qPrintable(c.caption));
    }
  }
};

QTEST_MAIN(AskNameTest)
#include "ask_name_test.moc"
