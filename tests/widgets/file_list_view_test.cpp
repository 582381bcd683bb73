// The file list both panes share: names are not cut where there is room.
#include <QHeaderView>
#include <QListView>
#include <QStyle>
#include <QTreeView>
#include <QtTest>

#include "widgets/file_list_view.h"

using vorn::ui::FileListView;
using vorn::ui::ViewStyle;

namespace {

class Names : public vorn::ui::FileListSource {
 public:
  std::vector<std::string> names{"CONF", "AUTOEXEC.BAT", "WWWWWWWW.WWW", "a rather long host file name.txt"};
  int RowCount() const override { return static_cast<int>(names.size()); }
  void FillInfo(int, int) override {}
  vorn::ui::FileRow Row(int i) const override {
    vorn::ui::FileRow row;
    row.name = names[i];
    row.sizeText = "1KB";
    row.typeText = "BAT File";
    row.modified = "2024/05/14 15:07:00";
    row.icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    return row;
  }
  std::string RowName(int i) const override { return names[i]; }
};

}  // namespace

class FileListViewTest : public QObject {
  Q_OBJECT

 private slots:
  // Every name of up to twelve characters shows whole in the icon views; a
  // longer one stays inside its grid cell.
  void iconViewsShowTwelveCharacterNamesWhole() {
    Names source;
    FileListView view(false);
    view.SetSource(&source);
    view.resize(700, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    for (ViewStyle style : {ViewStyle::LargeIcons, ViewStyle::SmallIcons, ViewStyle::List}) {
      view.SetViewStyle(style);
      QListView* icons = view.Icons();
      // Beside the text: the icon unless it stands above it, and the margins.
      const int beside = style == ViewStyle::LargeIcons ? 4 : icons->iconSize().width() + 4;
      for (int row = 0; row < source.RowCount(); ++row) {
        const QString name = QString::fromStdString(source.names[row]);
        const QRect cell = icons->visualRect(view.Model()->index(row, 0));
        const QString where = QString("%1 in style %2").arg(name).arg(int(style));
        if (name.size() <= 12)
          QVERIFY2(cell.width() >= icons->fontMetrics().horizontalAdvance(name) + beside, qPrintable(where));
        else
          QVERIFY2(cell.width() <= icons->gridSize().width(), qPrintable(where));
      }
    }
  }

  // In the report view the Name column takes the width the other columns
  // leave, and keeps its own when there is none to spare.
  void reportNameColumnTakesTheSpareWidth() {
    Names source;
    FileListView view(true);
    view.SetSource(&source);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QHeaderView* header = view.Report()->header();
    const int own = header->sectionSize(0);
    auto fits = [&] {
      const int others = header->sectionSize(1) + header->sectionSize(2) + header->sectionSize(3);
      return header->sectionSize(0) == std::max(own, view.Report()->viewport()->width() - others);
    };
    for (int width : {1400, 300}) {
      view.resize(width, 300);
      QTRY_VERIFY(fits());
    }
    view.resize(1400, 300);
    header->resizeSection(3, 400);  // a column made wider takes its room from Name
    QVERIFY(fits());
    QVERIFY(header->sectionSize(0) > own);
  }

  // A click below the rows leaves no row selected, in either selection
  // mode and view style; a click on a row selects it.
  void clickOnEmptySpaceClearsTheSelection() {
    Names source;
    for (bool multi : {false, true}) {
      for (ViewStyle style : {ViewStyle::Report, ViewStyle::SmallIcons}) {
        FileListView view(multi);
        view.SetSource(&source);
        view.Reset();
        view.SetViewStyle(style);
        view.resize(700, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QAbstractItemView* shown = view.ActiveView();
        const QString where = QString("multi %1 style %2").arg(multi).arg(int(style));
        QTest::mouseClick(shown->viewport(), Qt::LeftButton, {}, shown->visualRect(view.Model()->index(1, 0)).center());
        QVERIFY2(view.CurrentRow() == 1, qPrintable(where));
        QTest::mouseClick(shown->viewport(), Qt::LeftButton, {}, QPoint(690, 390));
        QVERIFY2(view.CurrentRow() == -1 && view.SelectedRows().empty(), qPrintable(where));
      }
    }
  }
};

QTEST_MAIN(FileListViewTest)
#include "file_list_view_test.moc"
