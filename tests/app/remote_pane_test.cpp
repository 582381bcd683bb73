// The controller pane inside the main window, against the virtual controller.
#include <QApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QStatusBar>
#include <QTreeView>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <memory>

#include "app/ui/tfrm_main.h"
#include "link/ui/terminal_console.h"
#include "remote/ui/remote_pane.h"
#include "remote/ui/tdlg_vorn_prop.h"
#include "remote/ui/tdlg_vorn_view.h"
#include "scripted_ui.h"
#include "sim/virtual_controller.h"

using vorn::ui::RemotePane;
using vorn::ui::TdlgVornProp;
using vorn::ui::TdlgVornView;
using vorn::ui::TfrmMain;

class RemotePaneTest : public QObject {
  Q_OBJECT

 private:
  vorn::test::ScriptedUi ui_;
  std::unique_ptr<TfrmMain> main_;

  RemotePane& Pane() { return main_->Remote(); }
  vsim::VirtualController& Sim() { return *main_->Simulator(); }

  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& e : Pane().Listing().Entries) names.push_back(e.Name);
    return names;
  }
  int RowOf(const std::string& name) {
    const auto names = Names();
    auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
  }
  // Selects the row of name and opens the context menu's logic on it.
  void Choose(const std::string& name) {
    const int row = RowOf(name);
    QVERIFY2(row >= 0, name.c_str());
    Pane().lstviewVorn->SelectRow(row);
    Pane().PopupMenu2Popup();
  }
  void ListRoot() { Pane().ShowRemoteFolder("\\"); }
  QString Panel(int i) { return Pane().stabarVorn->Text(i); }
  static std::vector<std::string> Demo() {
    return {"CONF", "DATA", "AUTOEXEC.BAT", "AUTORUN.BAT", "COUNTER.EXE", "DEMO.EXE"};
  }

 private slots:
  void init() {
    ui_ = {};
    vorn::ui::StartOptions options;
    options.simulate = true;
    main_ = std::make_unique<TfrmMain>(ui_, options);
    QVERIFY(main_->Simulator());
    QCOMPARE(main_->ComName, main_->Simulator()->PortPath());
  }
  void cleanup() { main_.reset(); }

  void refreshShowsTheDemoDrive() {
    // Nothing is listed before the user asks.
    QCOMPARE(Pane().Listing().BytesFree, 0u);
    QVERIFY(Pane().Listing().Entries.empty());
    // The shell was left in another directory: the first refresh still lists the root.
    QVERIFY(main_->Exchanges().RunCommand("cd \\DATA\r"));
    QCOMPARE(Sim().CurrentDir(), std::string("D:\\DATA"));
    Pane().tbtnRefresh->click();
    QCOMPARE(Pane().Listing().CurrentPath, std::string("\\"));
    QCOMPARE(Pane().cbxVorn->currentText(), QString("\\"));
    QCOMPARE(Names(), Demo());
    QCOMPARE(Panel(0), QString("6 object(s)"));
    QCOMPARE(Pane().Listing().BytesFree, Sim().BytesFree());
    QVERIFY2(Panel(1).endsWith(" bytes free)"), qPrintable(Panel(1)));
    QVERIFY(Panel(1).contains("KB("));
    QVERIFY(ui_.boxes.empty());
    QVERIFY(!Pane().cbxVorn->isEditable());
    // Rows: sizes in whole KB, directories without one, type texts from the host.
    auto* model = Pane().lstviewVorn->Model();
    const int demo = RowOf("DEMO.EXE");
    QCOMPARE(model->data(model->index(demo, 1), Qt::DisplayRole).toString(), QString("3KB"));
    QCOMPARE(model->data(model->index(0, 1), Qt::DisplayRole).toString(), QString());
    model->data(model->index(0, 0), Qt::DisplayRole);
    QCOMPARE(QString::fromStdString(Pane().Listing().Entries[0].TypeText),
             QFileIconProvider().type(QFileInfo(QDir::homePath())));
    QVERIFY(!Pane().Listing().Entries[demo].TypeText.empty());
    QVERIFY(Pane().Listing().Entries[1].InfoPending || Pane().Listing().Entries[1].TypeText ==
                                                           Pane().Listing().Entries[0].TypeText);
  }

  void enteringAndLeavingFolders() {
    ListRoot();
    QSignalSpy listed(&Pane(), &vorn::ui::RemotePane::folderListed);
    Pane().lstviewVorn->SelectRow(RowOf("CONF"));
    Pane().lstviewVornDblClick();
    QCOMPARE(Pane().Listing().CurrentPath, std::string("\\CONF"));
    QCOMPARE(Names(), std::vector<std::string>{"UNIT.CFG"});
    QCOMPARE(Pane().cbxVorn->currentText(), QString("\\CONF"));
    QCOMPARE(Pane().lstviewVorn->CurrentRow(), -1);

    Sim().MakeDir("\\CONF\\SUB");
    Pane().tbtnRefreshClick();
    Pane().lstviewVorn->SelectRow(RowOf("SUB"));
    Pane().lstviewVornKeyDown(13);
    QCOMPARE(Pane().Listing().CurrentPath, std::string("\\CONF\\SUB"));
    QVERIFY(Names().empty());
    QCOMPARE(Panel(0), QString("0 object(s)"));

    Pane().lstviewVornKeyDown(8);
    QCOMPARE(Pane().Listing().CurrentPath, std::string("\\CONF"));
    Pane().tbtnVornUpClick();
    QCOMPARE(Pane().Listing().CurrentPath, std::string("\\"));
    QCOMPARE(Names(), Demo());
    QStringList paths;
    for (const QList<QVariant>& call : listed) paths << call.at(0).toString();
    QCOMPARE(paths, QStringList({"\\CONF", "\\CONF", "\\CONF\\SUB", "\\CONF", "\\"}));

    // The path box goes back to a visited path.
    const int item = Pane().cbxVorn->findText("\\CONF");
    QVERIFY(item >= 0);
    Pane().cbxVorn->setCurrentIndex(item);
    Pane().cbxVornClick();
    QCOMPARE(Pane().Listing().CurrentPath, std::string("\\CONF"));
  }

  void refusedFolderLeavesAnEmptyList() {
    ListRoot();
    QVERIFY(Panel(1).contains("free"));
    Pane().ShowRemoteFolder("\\NOWHERE");
    QVERIFY(Names().empty());
    QCOMPARE(Panel(0), QString("0 object(s)"));
    QCOMPARE(Pane().cbxVorn->currentText(), QString("\\NOWHERE"));
    // The old drive's free space is not shown, nor trusted by the tools.
    QVERIFY2(!Panel(1).contains("free"), qPrintable(Panel(1)));
    QCOMPARE(Pane().Listing().BytesFree, 0u);
    QVERIFY2(ui_.LastError().find("Invalid ") != std::string::npos, ui_.LastError().c_str());
    QVERIFY(ui_.LastError().find("'\\NOWHERE'!") != std::string::npos);
    QVERIFY(Sim().Received().find("dir\r") != std::string::npos);  // the earlier listing's
    Sim().ClearReceived();
    Pane().ShowRemoteFolder("\\NOWHERE");
    QVERIFY(Sim().Received().find("dir\r") == std::string::npos);
    // No size texts pile up in the panel across listings without a free-space line.
    QCOMPARE(Panel(1).count("byte(s)"), 1);
  }

  void columnClickSortsOnce() {
    Sim().WriteFile("\\TINY.TXT", "x");
    ListRoot();
    Pane().lstviewVornColumnClick(1);
    QCOMPARE(Names(), (std::vector<std::string>{"CONF", "DATA", "TINY.TXT", "AUTORUN.BAT", "AUTOEXEC.BAT",
                                                "DEMO.EXE", "COUNTER.EXE"}));
    QCOMPARE(Pane().Listing().ChosenColumn, 1);
    QCOMPARE(Pane().Listing().SortColumn, 0);
    Pane().tbtnRefreshClick();
    QCOMPARE(Names()[2], std::string("AUTOEXEC.BAT"));

    // The Type column sorts by the host's type texts, looked up for the sort.
    Pane().lstviewVornColumnClick(2);
    const auto& entries = Pane().Listing().Entries;
    for (size_t i = 3; i < entries.size(); ++i) {
      QVERIFY(!entries[i].TypeText.empty());
      QVERIFY(entries[i - 1].TypeText <= entries[i].TypeText);
    }
    QVERIFY(entries[2].TypeText != entries.back().TypeText);
  }

  void viewStylesAndStatusBar() {
    QVERIFY(Pane().tbtnVornDtIcon->isChecked());
    Pane().tbtnVornLgIcon->click();
    QCOMPARE(Pane().lstviewVorn->Style(), vorn::ui::ViewStyle::LargeIcons);
    Pane().tbtnVornLsIconClick();
    QCOMPARE(Pane().lstviewVorn->Style(), vorn::ui::ViewStyle::List);
    int down = 0;
    for (auto* b : {Pane().tbtnVornLgIcon, Pane().tbtnVornSmIcon, Pane().tbtnVornLsIcon, Pane().tbtnVornDtIcon})
      down += b->isChecked();
    QCOMPARE(down, 1);
    QVERIFY(Pane().tbtnVornLsIcon->isChecked());

    Pane().resize(452, 300);
    Pane().stabarVornResize();
    QCOMPARE(Pane().stabarVorn->PanelWidth(0), 150);
  }

  void pathBoxTakesNoKeys() {
    ListRoot();
    Pane().ShowRemoteFolder("\\CONF");
    const int before = Pane().cbxVorn->currentIndex();
    Sim().ClearReceived();
    QTest::keyClick(Pane().cbxVorn, Qt::Key_Down);
    QTest::keyClick(Pane().cbxVorn, 'x');
    QCOMPARE(Pane().cbxVorn->currentIndex(), before);
    QVERIFY(Sim().Received().empty());
  }

  void incrementalSearchOverTheRows() {
    ListRoot();
    QCOMPARE(vorn::ui::FindRowByPrefix(Pane(), "au", 0, false), RowOf("AUTOEXEC.BAT"));
    QCOMPARE(vorn::ui::FindRowByPrefix(Pane(), "DEM", 0, false), 5);
    QCOMPARE(vorn::ui::FindRowByPrefix(Pane(), "dem", 2, true), 5);
    QCOMPARE(vorn::ui::FindRowByPrefix(Pane(), "con", 3, true), 0);
    QCOMPARE(vorn::ui::FindRowByPrefix(Pane(), "con", 3, false), -1);
  }

  void contextMenuEnabling() {
    Sim().WriteFile("\\PROG.EXE", "MZ");
    ListRoot();
    auto state = [this] {
      return QString("%1%2%3%4%5")
          .arg(Pane().MakeDirectory1->isEnabled())
          .arg(Pane().Delete1->isEnabled())
          .arg(Pane().Rename1->isEnabled())
          .arg(Pane().SetToAutoRun1->isEnabled())
          .arg(Pane().Properities1->isEnabled());
    };
    Pane().lstviewVorn->ClearSelection();
    Pane().PopupMenu2Popup();
    QCOMPARE(state(), QString("10001"));
    QVERIFY(!Pane().VORNCopy1->isEnabled() && !Pane().VORNPaste1->isEnabled());
    QVERIFY(Pane().ABORT1->isEnabled() && Pane().FORMAT1->isEnabled() && Pane().MEM1->isEnabled());

    Choose("PROG.EXE");
    QCOMPARE(state(), QString("01111"));
    QCOMPARE(Pane().Listing().PopupIndex, RowOf("PROG.EXE"));
    Choose("CONF");
    QCOMPARE(state(), QString("01001"));
    QCOMPARE(Pane().Listing().PopupIndex, 0);
    Choose("AUTOEXEC.BAT");
    QCOMPARE(state(), QString("01101"));
    // With no row selected the popup row stays.
    Pane().lstviewVorn->ClearSelection();
    Pane().PopupMenu2Popup();
    QCOMPARE(Pane().Listing().PopupIndex, RowOf("AUTOEXEC.BAT"));

    // The controller prints upper case; a lower-case name is not a program.
    Pane().Listing().Entries[RowOf("PROG.EXE")].Name = "prog.exe";
    Choose("prog.exe");
    QCOMPARE(state(), QString("01101"));
  }

  void makeDirectoryAndRename() {
    ListRoot();
    ui_.names = {std::string("NEWDIR")};
    Pane().MakeDirectory1Click();
    QVERIFY(Sim().Exists("\\NEWDIR"));
    QVERIFY(RowOf("NEWDIR") >= 0);
    QCOMPARE(ui_.Texts("ask").back(), std::string("Make directory|Please input new directory name:|8"));

    // Cancel sends nothing.
    Sim().ClearReceived();
    Pane().MakeDirectory1Click();
    QVERIFY(Sim().Received().empty());

    Pane().Listing().ChosenColumn = 1;
    Choose("DEMO.EXE");
    const int popupRow = Pane().Listing().PopupIndex;
    ui_.names = {std::string("RUN.EXE")};
    Pane().Rename1Click();
    // The prompt starts with the current name.
    QCOMPARE(ui_.Texts("ask").back(), std::string("Rename file 'DEMO.EXE'|Please input new file name:|12|DEMO.EXE"));
    QVERIFY(Sim().Exists("\\RUN.EXE"));
    QVERIFY(!Sim().Exists("\\DEMO.EXE"));
    QVERIFY(RowOf("RUN.EXE") >= 0);
    // Listed again in the user's column, the selection back on the popup row.
    QCOMPARE(Names()[3], std::string("AUTORUN.BAT"));  // by size: 10 bytes, the smallest file
    QCOMPARE(Pane().lstviewVorn->CurrentRow(), popupRow);

    Choose("AUTORUN.BAT");
    ui_.names = {std::string("AUTOEXEC.BAT")};
    Sim().ClearReceived();
    Pane().Rename1Click();
    QCOMPARE(ui_.LastError().substr(0, 10), std::string("Duplicate "));
    QVERIFY(ui_.LastError().find("'AUTOEXEC.BAT'!") != std::string::npos);
    QVERIFY(Sim().Received().find("ren AUTORUN.BAT AUTOEXEC.BAT\r") != std::string::npos);
    QVERIFY(Sim().Received().find("dir\r") == std::string::npos);
  }

  // A name that would change the typed line is refused with a box, unsent.
  void refusedNamesShowABoxAndTypeNothing() {
    ListRoot();
    Sim().ClearReceived();
    ui_.names = {std::string("A>B")};
    Pane().MakeDirectory1Click();
    Choose("AUTOEXEC.BAT");
    ui_.names = {std::string("*.TXT")};
    Pane().Rename1Click();
    const auto errors = ui_.Texts("error");
    QCOMPARE(errors.size(), size_t(2));
    QVERIFY2(errors[0].find("'A>B'") == 0 && errors[0].find("< > |") != std::string::npos, errors[0].c_str());
    QVERIFY2(errors[1].find("'*.TXT'") == 0, errors[1].c_str());
    QVERIFY(Sim().Received().empty());
    QVERIFY(Sim().Exists("\\AUTOEXEC.BAT"));
  }

  // The shell was moved after the listing (here as the terminal would): each
  // file command still acts in the folder the pane shows.
  void fileCommandsActInTheShownFolder() {
    std::string counted;
    Pane().ShowProperties = [&counted](TdlgVornProp& d) { counted = d.Contains; };
    const struct {
      const char* what;
      const char* row;  // selected; "" for none
      std::function<void()> before;
      std::function<void()> act;
      std::function<bool()> done;
    } cases[] = {
        {"delete", "TWIN.TXT", [&] { ui_.answers = {true}; }, [&] { Pane().Delete1Click(); },
         [&] { return !Sim().Exists("\\DATA\\TWIN.TXT") && Sim().Exists("\\TWIN.TXT"); }},
        {"rename", "OLD.TXT", [&] { ui_.names = {std::string("NEW.TXT")}; }, [&] { Pane().Rename1Click(); },
         [&] { return Sim().Exists("\\DATA\\NEW.TXT") && Sim().Exists("\\OLD.TXT") && !Sim().Exists("\\NEW.TXT"); }},
        {"make directory", "", [&] { ui_.names = {std::string("MADE")}; }, [&] { Pane().MakeDirectory1Click(); },
         [&] { return Sim().Exists("\\DATA\\MADE") && !Sim().Exists("\\MADE"); }},
        {"autorun", "RUN.EXE", [] {}, [&] { Pane().Vorn7730M1Click(); },
         [&] {
           std::string here, root;
           return Sim().ReadFile("\\DATA\\AUTORUN.BAT", &here) && here == "RUN.EXE\r\n" &&
                  Sim().ReadFile("\\AUTORUN.BAT", &root) && root == "DEMO.EXE\r\n";
         }},
        {"properties of a folder", "SUB", [] {}, [&] { Pane().Properities1Click(); },
         [&] { return counted == "1 file(s), 0 folder(s)"; }},
    };
    for (const char* path : {"\\TWIN.TXT", "\\DATA\\TWIN.TXT", "\\OLD.TXT", "\\DATA\\OLD.TXT", "\\DATA\\RUN.EXE"})
      QVERIFY(Sim().WriteFile(path, "x"));
    QVERIFY(Sim().MakeDir("\\DATA\\SUB") && Sim().WriteFile("\\DATA\\SUB\\IN.TXT", "x"));
    for (const auto& c : cases) {
      Pane().ShowRemoteFolder("\\DATA");
      if (*c.row) Pane().lstviewVorn->SelectRow(RowOf(c.row));
      else Pane().lstviewVorn->ClearSelection();
      c.before();
      QVERIFY(main_->Exchanges().RunCommand("cd \\\r"));
      QCOMPARE(Sim().CurrentDir(), std::string("D:\\"));
      c.act();
      QVERIFY2(c.done(), c.what);
      QVERIFY2(ui_.Texts("error").empty(), c.what);
    }
  }

  void deleteFilesAndDirectories() {
    Sim().MakeDir("\\EMPTY");
    Sim().MakeDir("\\HOLDS");
    Sim().WriteFile("\\HOLDS\\ZERO.TXT", "");
    ListRoot();

    Choose("HOLDS");
    Sim().ClearReceived();
    Pane().Delete1Click();
    QCOMPARE(ui_.Texts("warning").back(), std::string("The directory 'HOLDS' is not empty.\nCannot delete this directory!"));
    QVERIFY(Sim().Received().find("dir/s HOLDS\r") != std::string::npos);
    QVERIFY(Sim().Received().find("rd ") == std::string::npos);
    QVERIFY(ui_.Texts("question").empty());

    Choose("EMPTY");
    const int row = RowOf("EMPTY");
    ui_.answers = {true};
    Pane().Delete1Click();
    QCOMPARE(ui_.Texts("question").back(), std::string("Are you sure to delete the directory 'EMPTY'\nfrom VORN-7730?"));
    QVERIFY(!Sim().Exists("\\EMPTY"));
    QCOMPARE(Pane().lstviewVorn->CurrentRow(), row);

    Choose("DEMO.EXE");  // the last row
    ui_.answers = {false};
    Sim().ClearReceived();
    Pane().Delete1Click();
    QVERIFY(Sim().Received().empty());
    ui_.answers = {true};
    Pane().Delete1Click();
    QVERIFY(!Sim().Exists("\\DEMO.EXE"));
    QCOMPARE(Pane().lstviewVorn->CurrentRow(), static_cast<int>(Names().size()) - 1);
  }

  // Each key does what its menu command or button does, on the selected row.
  void keysOfTheList() {
    ListRoot();
    QSignalSpy copies(main_->btnCopy, &QPushButton::clicked);
    const struct {
      const char* what;
      Qt::Key key;
      Qt::KeyboardModifiers modifiers;
      const char* row;  // selected first; "" for none
      std::function<void()> before;
      std::function<bool()> done;
    } cases[] = {
        {"F5 lists again", Qt::Key_F5, Qt::NoModifier, "", [&] { Sim().WriteFile("\\NEW.TXT", "x"); },
         [&] { return RowOf("NEW.TXT") >= 0; }},
        {"F2 renames a file", Qt::Key_F2, Qt::NoModifier, "NEW.TXT", [&] { ui_.names = {std::string("REN.TXT")}; },
         [&] { return Sim().Exists("\\REN.TXT") && RowOf("REN.TXT") >= 0 && RowOf("NEW.TXT") < 0; }},
        {"F2 leaves a folder", Qt::Key_F2, Qt::NoModifier, "CONF", [&] { ui_.boxes.clear(); },
         [&] { return ui_.Texts("ask").empty() && Sim().Exists("\\CONF"); }},
        {"Del asks and deletes", Qt::Key_Delete, Qt::NoModifier, "REN.TXT", [&] { ui_.answers = {true}; },
         [&] { return !Sim().Exists("\\REN.TXT") && RowOf("REN.TXT") < 0 && ui_.Texts("question").size() == 1; }},
        {"F7 makes a directory", Qt::Key_F7, Qt::NoModifier, "", [&] { ui_.names = {std::string("KEYDIR")}; },
         [&] { return Sim().Exists("\\KEYDIR") && RowOf("KEYDIR") >= 0; }},
        {"Enter opens a folder", Qt::Key_Return, Qt::NoModifier, "KEYDIR", [] {},
         [&] { return Pane().Listing().CurrentPath == "\\KEYDIR"; }},
        {"Backspace goes up", Qt::Key_Backspace, Qt::NoModifier, "", [] {},
         [&] { return Pane().Listing().CurrentPath == "\\"; }},
        {"Ctrl+Shift+C copies", Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier, "", [] {},
         [&] { return copies.count() == 1; }},
    };
    for (const auto& c : cases) {
      if (*c.row) Pane().lstviewVorn->SelectRow(RowOf(c.row));
      c.before();
      QTest::keyClick(Pane().lstviewVorn->Report(), c.key, c.modifiers);
      QVERIFY2(c.done(), c.what);
    }
  }

  void propertiesOfRootDirectoryAndFile() {
    std::vector<std::vector<std::string>> shown;
    Pane().ShowProperties = [&shown](TdlgVornProp& d) {
      d.FormShow();
      QCOMPARE(d.windowTitle(), QString("Properities"));
      shown.push_back({d.lblModule->text().toStdString(), d.lblName->text().toStdString(),
                       d.lblPath->text().toStdString(), d.lblType->text().toStdString(),
                       d.lblSize->text().toStdString(), d.lblDate->text().toStdString(),
                       d.lblContain->text().toStdString()});
    };
    ListRoot();
    Pane().lstviewVorn->ClearSelection();
    Pane().Properities1Click();
    QCOMPARE(shown.size(), size_t(1));
    QCOMPARE(shown[0][0], std::string("VORN-7730"));
    QCOMPARE(shown[0][2], std::string("\\"));
    QCOMPARE(shown[0][3], std::string("VORN disk (D:)"));
    QVERIFY(shown[0][4].find(" byte(s)") != std::string::npos);
    QCOMPARE(shown[0][6], std::string("6 file(s), 2 folder(s)"));

    Pane().lstviewVorn->SelectRow(RowOf("CONF"));
    Pane().Properities1Click();
    QCOMPARE(shown.back()[1], std::string("CONF"));
    QCOMPARE(shown.back()[6], std::string("1 file(s), 0 folder(s)"));
    QCOMPARE(shown.back()[5], std::string("1998/07/01 08:00:00"));

    Pane().lstviewVorn->SelectRow(RowOf("DEMO.EXE"));
    Pane().Properities1Click();
    QCOMPARE(shown.back()[4], std::string("2874 byte(s)"));
    QCOMPARE(shown.back()[6], std::string());

    Pane().ShowRemoteFolder("\\DATA");
    Pane().lstviewVorn->ClearSelection();
    Pane().Properities1Click();
    QCOMPARE(shown.back()[3], std::string("Folder"));
  }

  void formatAskedFirst() {
    ListRoot();
    ui_.answers = {false};
    Sim().ClearReceived();
    Pane().FORMAT1Click();
    QVERIFY(Sim().Received().empty());
    QCOMPARE(ui_.Texts("question").back(),
             std::string("This action will format the D drive on VORN-7730.\nAll the data on that drive will be erased.\nAre you sure?"));
    ui_.answers = {true};
    Pane().FORMAT1Click();
    QVERIFY(Sim().Received().find("C:\\DLFMT D: /C\r") != std::string::npos);
    QVERIFY(Names().empty());
    QCOMPARE(Panel(0), QString("0 object(s)"));
  }

  // Commands whose answer shows only in the terminal leave a line in the
  // status bar.
  void resultsOfTerminalOnlyCommandsInTheStatusBar() {
    ListRoot();
    const struct {
      std::function<void()> act;
      QString said;
    } cases[] = {
        {[this] {
           ui_.names = {std::string("newdir")};
           Pane().MakeDirectory1Click();
         },
         "Directory NEWDIR made in D:\\."},
        {[this] {
           Choose("DEMO.EXE");
           Pane().Vorn7730M1Click();
         },
         "AutoRun.bat now starts DEMO.EXE."},
        {[this] {
           Choose("COUNTER.EXE");
           Pane().Vorn7730TCP1Click();
         },
         "COUNTER.EXE added to AutoRun.bat."},
    };
    for (const auto& c : cases) {
      main_->statusBar()->clearMessage();
      c.act();
      QCOMPARE(main_->statusBar()->currentMessage(), c.said);
    }
  }

  void autoRunReplacesOrAppends() {
    ListRoot();
    Choose("DEMO.EXE");
    Pane().Vorn7730M1Click();
    Choose("COUNTER.EXE");
    Pane().Vorn7730M1Click();
    std::string content;
    QVERIFY(Sim().ReadFile("\\AUTORUN.BAT", &content));
    QCOMPARE(content, std::string("COUNTER.EXE\r\n"));
    QCOMPARE(Pane().lstviewVorn->CurrentRow(), RowOf("COUNTER.EXE"));

    Choose("DEMO.EXE");
    Pane().Vorn7730TCP1Click();
    QVERIFY(Sim().ReadFile("\\AUTORUN.BAT", &content));
    QCOMPARE(content, std::string("COUNTER.EXE\r\nDEMO.EXE\r\n"));
    QVERIFY(Sim().Received().find("echo DEMO.EXE>>AutoRun.bat\r") != std::string::npos);
  }

  // A text file comes back through type, up to its Ctrl+Z; Save As writes it
  // with the controller's line ends; a program is refused before anything is typed.
  void viewShowsTextAndRefusesBinaries() {
    QVERIFY(Sim().WriteFile("\\DATA\\NOTE.TXT", "first line\r\n  second\r\n\x1Ahidden\r\n"));
    std::vector<std::string> shown;
    const QString saved = QDir::temp().filePath(QString("vorn_view_%1.txt").arg(QCoreApplication::applicationPid()));
    QFile::remove(saved);
    Pane().ShowViewer = [&](TdlgVornView& d) {
      shown = {d.windowTitle().toStdString(), d.meoText->toPlainText().toStdString()};
      QVERIFY(d.meoText->isReadOnly());
      ui_.files = {saved.toStdString()};
      QVERIFY(d.btnSaveAsClick());
    };
    Pane().ShowRemoteFolder("\\DATA");
    Choose("NOTE.TXT");
    QVERIFY(Pane().View1->isEnabled());
    Pane().View1Click();
    QCOMPARE(shown.size(), size_t(2));
    QCOMPARE(shown[0], TdlgVornView::TitleFor("D:\\DATA\\NOTE.TXT"));
    QVERIFY(shown[0].find("text files only") != std::string::npos);
    QCOMPARE(shown[1], std::string("first line\n  second"));
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("first line\r\n  second\r\n"));
    file.remove();

    ListRoot();
    Choose("DEMO.EXE");
    QVERIFY(!Pane().View1->isEnabled());
    shown.clear();
    Sim().ClearReceived();
    Pane().View1Click();
    QVERIFY(shown.empty());
    QVERIFY(Sim().Received().empty());
    QVERIFY(ui_.Texts("warning").back().find("image backup") != std::string::npos);
  }

  void fileRunsInTheTerminal() {
    ListRoot();
    Pane().lstviewVorn->SelectRow(RowOf("DEMO.EXE"));
    Sim().ClearReceived();
    Pane().lstviewVornDblClick();
    QVERIFY(main_->TerminalRunning());
    QTRY_VERIFY_WITH_TIMEOUT(Sim().Received().find("DEMO.EXE\r") != std::string::npos, 3000);
    main_->Console().tbtnDOSCmdClick();
    QVERIFY(!main_->TerminalRunning());
  }

  void screenshotAfterRefresh() {
    const QByteArray dir = qgetenv("VORN_SCREENSHOT_DIR");
    if (dir.isEmpty()) QSKIP("set VORN_SCREENSHOT_DIR to save the main window");
    main_->show();
    QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
    Pane().tbtnRefresh->click();
    Pane().ShowRemoteFolder("\\");
    QTest::qWait(100);
    QVERIFY(main_->grab().save(QString::fromLocal8Bit(dir) + "/remote_pane.png"));

    Pane().ShowProperties = [&dir](TdlgVornProp& d) {
      d.show();
      QVERIFY(QTest::qWaitForWindowExposed(&d));
      QVERIFY(d.grab().save(QString::fromLocal8Bit(dir) + "/properties.png"));
    };
    Pane().lstviewVorn->SelectRow(RowOf("CONF"));
    Pane().Properities1Click();

    Pane().ShowViewer = [&dir](TdlgVornView& d) {
      d.show();
      QVERIFY(QTest::qWaitForWindowExposed(&d));
      QVERIFY(d.grab().save(QString::fromLocal8Bit(dir) + "/viewer.png"));
    };
    Choose("AUTOEXEC.BAT");
    Pane().View1Click();
  }
};

QTEST_MAIN(RemotePaneTest)
#include "remote_pane_test.moc"
