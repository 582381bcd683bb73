// The host pane on its own, on a scratch folder tree.
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QStorageInfo>
#include <QTreeView>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <memory>
#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include "local/ui/local_pane.h"
#include "app/scripted_ui.h"

namespace fs = std::filesystem;
using vorn::ui::LocalPane;

class LocalPaneTest : public QObject {
  Q_OBJECT

 private:
  vorn::test::ScriptedUi ui_;
  // The pane's cursor: it only has to be balanced.
  struct Cursor : vorn::BusyCursor {
    int depth = 0;
    void SetBusy() override { ++depth; }
    void Restore() override { --depth; }
  } cursor_;
  std::unique_ptr<LocalPane> pane_;
  QTemporaryDir dir_;
  QTemporaryDir dataHome_;
  std::vector<std::string> opened_;

  // Paths as the pane holds them: with the host's own separators.
  std::string Dir() const { return QDir::toNativeSeparators(dir_.path()).toStdString(); }
  std::string Path(const std::string& rel) const { return (fs::path(Dir()) / rel).make_preferred().string(); }
  std::string Trash() { return Pane().Folders().TrashName(); }
  void File(const std::string& rel, size_t size) { std::ofstream(Path(rel), std::ios::binary) << std::string(size, 'x'); }
  LocalPane& Pane() { return *pane_; }

  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& e : Pane().View().Entries) names.push_back(e.Name);
    return names;
  }
  int RowOf(const std::string& name) {
    const auto names = Names();
    auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
  }
  QString Cell(int row, int column) {
    auto* model = Pane().lstviewLocal->Model();
    return model->data(model->index(row, column), Qt::DisplayRole).toString();
  }
  void PressInList(Qt::Key key) { QTest::keyClick(Pane().lstviewLocal->Report(), key); }
  QStringList MenuTexts() {
    QStringList texts;
    for (QAction* a : Pane().localMenu->actions())
      if (!a->isSeparator()) texts << a->text();
    return texts;
  }

 private slots:
  void init() {
    QVERIFY(dir_.isValid());
    QVERIFY(dataHome_.isValid());
    // Items moved to the trash go to a trash of the test's own.
    qputenv("XDG_DATA_HOME", dataHome_.path().toLocal8Bit());
    for (const auto& entry : fs::directory_iterator(Dir())) fs::remove_all(entry.path());
    ui_ = {};
    opened_.clear();
    pane_ = std::make_unique<LocalPane>(ui_, cursor_);
    pane_->resize(360, 500);
    pane_->show();
    pane_->ShowStart();
    Pane().OpenItem = [this](const std::string& path) {
      opened_.push_back(path);
      return true;
    };
#ifdef Q_OS_WIN
    // Wine has no Recycle Bin (no IFileOperation): a stand-in takes the item
    // there, so the pane's questions and listing are still checked.
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
      Pane().MoveToTrash = [](const std::string& path, std::string&) { return fs::remove_all(path) > 0; };
#endif
  }
  void cleanup() {
    QCOMPARE(cursor_.depth, 0);
    pane_.reset();
  }

  void startsAtTheComputerFolderAndGoesNoHigher() {
    QCOMPARE(Pane().cbxLocal->currentText(), QString("Computer"));
    // The host's root: "/" (shown as "File System"), or the system drive.
    const std::string root = QDir::toNativeSeparators(QDir::rootPath()).toStdString();
    QVERIFY(std::any_of(Pane().View().Entries.begin(), Pane().View().Entries.end(),
                        [&](const auto& e) { return e.FullPath == root; }));
    const auto before = Names();
    Pane().tbtnLocalUp->click();
    PressInList(Qt::Key_Backspace);
    QCOMPARE(Pane().cbxLocal->currentText(), QString("Computer"));
    QCOMPARE(Names(), before);
    QVERIFY(ui_.boxes.empty());
  }

  void enterOpensAFolderAndIgnoresAFile() {
    fs::create_directory(Path("sub"));
    File("sub/inner.txt", 1);
    File("file.txt", 10);
    QVERIFY(Pane().ShowLocalFolder(Dir()));
    QSignalSpy shown(&Pane(), &LocalPane::folderShown);

    Pane().lstviewLocal->SelectRow(RowOf("file.txt"));
    PressInList(Qt::Key_Return);
    QCOMPARE(Pane().View().CurrentItem, Dir());

    Pane().lstviewLocal->SelectRow(RowOf("sub"));
    PressInList(Qt::Key_Return);
    QCOMPARE(Pane().View().CurrentItem, Path("sub"));
    QCOMPARE(Pane().cbxLocal->currentText().toStdString(), Path("sub"));
    QVERIFY(Pane().lstviewLocal->SelectedRows().empty());
    QCOMPARE(Names(), std::vector<std::string>{"inner.txt"});
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.at(0).at(0).toString().toStdString(), Path("sub"));

    PressInList(Qt::Key_Backspace);
    QCOMPARE(Pane().View().CurrentItem, Dir());
    // The path box keeps every folder shown.
    QVERIFY(Pane().cbxLocal->findText(QString::fromStdString(Path("sub"))) >= 0);
    QVERIFY(Pane().cbxLocal->findText("Computer") >= 0);
  }

  void refreshRenameAndCopyKeys() {
    File("old.txt", 1);
    QVERIFY(Pane().ShowLocalFolder(Dir()));
    File("late.txt", 1);
    PressInList(Qt::Key_F5);
    QVERIFY(RowOf("late.txt") >= 0);

    Pane().lstviewLocal->SelectRow(RowOf("old.txt"));
    ui_.names.push_back(std::string("new.txt"));
    PressInList(Qt::Key_F2);
    QVERIFY(fs::exists(Path("new.txt")) && !fs::exists(Path("old.txt")));
    QVERIFY(RowOf("new.txt") >= 0);

    QSignalSpy copies(pane_.get(), &LocalPane::copyRequested);
    QTest::keyClick(Pane().lstviewLocal->Report(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(copies.count(), 1);
  }

  void columnClickSortsOneReadingAndRefreshSortsByName() {
    File("a.bin", 3000);
    File("b.bin", 1000);
    File("c.bin", 2000);
    fs::create_directory(Path("z"));
    QVERIFY(Pane().ShowLocalFolder(Dir()));
    QHeaderView* header = Pane().lstviewLocal->Report()->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    QCOMPARE(Names(), (std::vector<std::string>{"z", "b.bin", "c.bin", "a.bin"}));
    QCOMPARE(Pane().View().ChosenColumn, 1);
    Pane().tbtnLocalRefresh->click();
    QCOMPARE(Names(), (std::vector<std::string>{"z", "a.bin", "b.bin", "c.bin"}));
  }

  void rowsShowSizesInWholeKBAndTheStatusCountsThem() {
    File("big", 1025);
    File("empty", 0);
    fs::create_directory(Path("dir"));
    QVERIFY(Pane().ShowLocalFolder(Dir()));
    QCOMPARE(Cell(RowOf("big"), 1), QString("2KB"));
    QCOMPARE(Cell(RowOf("empty"), 1), QString("0KB"));
    QCOMPARE(Cell(RowOf("dir"), 1), QString(""));
    QCOMPARE(Cell(RowOf("dir"), 2), QString("Folder"));
    QVERIFY(QRegularExpression(R"(^\d{4}/\d\d/\d\d \d\d:\d\d:\d\d$)").match(Cell(RowOf("big"), 3)).hasMatch());
    QCOMPARE(Pane().stabarLocal->Text(0), QString("3 object(s)"));
    QCOMPARE(Pane().stabarLocal->Text(1), QString("1.0 KB"));
  }

  void pathBoxShowsTypedPathsAndReportsBadOnes() {
    fs::create_directory(Path("typed"));
    File("typed/inside", 1);
    // Keys go to the box, which has the focus, not to its text field.
    QLineEdit* edit = Pane().cbxLocal->lineEdit();
    edit->setText(QString::fromStdString(Path("typed") + "/"));
    QTest::keyClick(Pane().cbxLocal, Qt::Key_Return);
    QCOMPARE(Pane().View().CurrentItem, Path("typed"));
    QCOMPARE(Names(), std::vector<std::string>{"inside"});

    edit->setText(QString::fromStdString(Path("nowhere")));
    QTest::keyClick(Pane().cbxLocal, Qt::Key_Enter);
    QCOMPARE(ui_.Texts("error").size(), size_t(1));
    QVERIFY(ui_.LastError().find(Path("nowhere")) != std::string::npos);
    QCOMPARE(Pane().View().CurrentItem, Path("typed"));
    QCOMPARE(Names(), std::vector<std::string>{"inside"});
    QCOMPARE(edit->text(), QString::fromStdString(Path("typed")));

    // Choosing a visited folder from the list shows it again.
    const int computer = Pane().cbxLocal->findText("Computer");
    QVERIFY(computer >= 0);
    Pane().cbxLocal->setCurrentIndex(computer);
    Pane().openTypedPath();
    QVERIFY(Pane().Folders().IsComputer(Pane().View().CurrentItem));
  }

  void openDirectoryAsksForAFolder() {
    ui_.folders.push_back(Dir());
    Pane().tbtnLocalOpenDir->click();
    QCOMPARE(ui_.Texts("folder"), std::vector<std::string>{"Select Directory"});
    QCOMPARE(Pane().View().CurrentItem, Dir());
    Pane().tbtnLocalOpenDir->click();  // cancelled: nothing changes
    QCOMPARE(Pane().View().CurrentItem, Dir());
  }

  void contextMenuNewFolderAndDeleteRelist() {
    File("aaa", 300);
    File("bbb", 100);
    File("ccc", 200);
    QVERIFY(Pane().ShowLocalFolder(Dir()));
    Pane().sortByColumn(1);  // by size: bbb, ccc, aaa

    Pane().lstviewLocal->SelectRow(RowOf("aaa"));
    Pane().fillLocalMenu();
    QCOMPARE(MenuTexts(), (QStringList{"&Open", "New &Folder", "&Delete", "Rena&me", "&Copy to VORN with folders"}));
    Pane().newFolderAction->trigger();
    QVERIFY(fs::is_directory(Path("New Folder")));
    QCOMPARE(Names(), (std::vector<std::string>{"New Folder", "bbb", "ccc", "aaa"}));
    QCOMPARE(Pane().lstviewLocal->CurrentRow(), 2);  // the popup row is selected again

    Pane().lstviewLocal->SelectRow(RowOf("ccc"));
    Pane().fillLocalMenu();
    ui_.answers.push_back(false);
    Pane().deleteAction->trigger();
    QVERIFY(fs::exists(Path("ccc")));
    ui_.answers.push_back(true);
    Pane().deleteAction->trigger();
    QVERIFY(!fs::exists(Path("ccc")));
    QCOMPARE(Names(), (std::vector<std::string>{"New Folder", "bbb", "aaa"}));
    QCOMPARE(ui_.Texts("question").back(), "Are you sure you want to move 'ccc' to the " + Trash() + "?");

    File("New Folder/inside", 5);
    Pane().lstviewLocal->SelectRow(RowOf("New Folder"));
    Pane().fillLocalMenu();
    Pane().deleteAction->trigger();
    QVERIFY(!fs::exists(Path("New Folder")));
    QCOMPARE(Names(), (std::vector<std::string>{"bbb", "aaa"}));
  }

  // Delete moves an item to the trash; Shift+Delete deletes it for good after
  // a question that says so; without a trash the user is told and asked.
  void deleteGoesToTheTrashUnlessShifted() {
    struct Case {
      const char* name;
      Qt::KeyboardModifiers keys;
      bool trashWorks;
      std::vector<std::string> questions;  // Yes, then No to deleting what the trash refused
      bool gone, inTrash;
    };
    const std::vector<Case> cases = {
        {"a", Qt::NoModifier, true, {"Are you sure you want to move 'a' to the " + Trash() + "?"}, true, true},
        {"b", Qt::ShiftModifier, true, {"Are you sure you want to permanently delete 'b'?"}, true, false},
        {"c", Qt::NoModifier, false,
         {"Are you sure you want to move 'c' to the " + Trash() + "?",
          "'c' can't be moved to the " + Trash() + ":\nno trash\n\nDo you want to delete it permanently?"},
         false, false},
    };
    const fs::path trash = fs::path(dataHome_.path().toStdString()) / "Trash" / "files";
    // Elsewhere the trash of the folder's own volume takes the item.
    // The Recycle Bin is the system's own: only an XDG trash is looked into.
    const bool sameVolume = Trash() == "trash" && QStorageInfo(dir_.path()) == QStorageInfo(QDir::home());
    for (const Case& c : cases) {
      File(c.name, 10);
      QVERIFY(Pane().ShowLocalFolder(Dir()));
      if (!c.trashWorks)
        Pane().MoveToTrash = [](const std::string&, std::string& error) {
          error = "no trash";
          return false;
        };
      Pane().lstviewLocal->SelectRow(RowOf(c.name));
      ui_.boxes.clear();
      ui_.answers = {true, c.trashWorks};
      QTest::keyClick(Pane().lstviewLocal->Report(), Qt::Key_Delete, c.keys);
      QCOMPARE(ui_.Texts("question"), c.questions);
      QCOMPARE(!fs::exists(Path(c.name)), c.gone);
      QCOMPARE(RowOf(c.name) < 0, c.gone);
      if (sameVolume) QCOMPARE(fs::exists(trash / c.name), c.inTrash);
    }
  }

  void contextMenuRenameAndOpen() {
    File("old.txt", 1);
    File("other.txt", 2);
    QVERIFY(Pane().ShowLocalFolder(Dir()));
    Pane().lstviewLocal->SelectRow(RowOf("old.txt"));
    Pane().fillLocalMenu();
    ui_.names.push_back(std::string("other.txt"));
    Pane().renameAction->trigger();
    QVERIFY2(!ui_.LastError().empty(), "an existing name is refused");
    QCOMPARE(fs::file_size(Path("other.txt")), uintmax_t(2));
    ui_.names.push_back(std::string("new.txt"));
    Pane().renameAction->trigger();
    QVERIFY(fs::exists(Path("new.txt")));
    QVERIFY(RowOf("new.txt") >= 0);

    Pane().lstviewLocal->SelectRow(RowOf("new.txt"));
    Pane().fillLocalMenu();
    Pane().openAction->trigger();
    QCOMPARE(opened_, std::vector<std::string>{Path("new.txt")});
  }

  void contextMenuWithoutARowOffersOnlyOpen() {
    File("x", 1);
    QVERIFY(Pane().ShowLocalFolder(Dir()));
    Pane().lstviewLocal->ClearSelection();
    Pane().fillLocalMenu();
    QCOMPARE(MenuTexts(), QStringList{"&Open"});
    Pane().openAction->trigger();
    QCOMPARE(opened_, std::vector<std::string>{Dir()});

    // The volumes of the computer folder are only opened.
    QVERIFY(Pane().ShowLocalPath("Computer"));
    Pane().lstviewLocal->SelectRow(0);
    Pane().fillLocalMenu();
    QCOMPARE(MenuTexts(), QStringList{"&Open"});
  }

  void selectedEntriesAreInListOrderWithSizes() {
    fs::create_directory(Path("d"));
    File("f1", 10);
    File("f2", 5000);
    QVERIFY(Pane().ShowLocalFolder(Dir()));
    auto* selection = Pane().lstviewLocal->Report()->selectionModel();
    auto* model = Pane().lstviewLocal->Model();
    selection->clearSelection();
    for (int row : {RowOf("f2"), RowOf("d")})
      selection->select(model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const auto chosen = Pane().SelectedEntries();
    QCOMPARE(chosen.size(), size_t(2));
    QVERIFY(chosen[0].isFolder);
    QCOMPARE(chosen[0].fullPath, Path("d"));
    QVERIFY(!chosen[1].isFolder);
    QCOMPARE(chosen[1].fullPath, Path("f2"));
    QCOMPARE(chosen[1].size, uint64_t(5000));
  }

  void viewStylesKeepOneButtonDown() {
    QVERIFY(Pane().tbtnLocalDtIcon->isChecked());
    Pane().showList();
    QCOMPARE(Pane().lstviewLocal->Style(), vorn::ui::ViewStyle::List);
    QVERIFY(Pane().tbtnLocalLsIcon->isChecked());
    QVERIFY(!Pane().tbtnLocalDtIcon->isChecked());
    Pane().tbtnLocalLgIcon->click();
    QCOMPARE(Pane().lstviewLocal->Style(), vorn::ui::ViewStyle::LargeIcons);
    QVERIFY(!Pane().tbtnLocalLsIcon->isChecked());
  }

  void unreadableFolderKeepsThePane() {
    File("kept", 1);
    QVERIFY(Pane().ShowLocalFolder(Dir()));
    QVERIFY(!Pane().ShowLocalFolder(Path("kept")));
    QCOMPARE(ui_.Texts("error").size(), size_t(1));
    QCOMPARE(Pane().View().CurrentItem, Dir());
    QCOMPARE(Pane().cbxLocal->currentText().toStdString(), Dir());
    QCOMPARE(Names(), std::vector<std::string>{"kept"});
  }
};

QTEST_MAIN(LocalPaneTest)
#include "local_pane_test.moc"
