// The network dialog as the user meets it: opened from the main window's
// button on the virtual controller, typed into, and updating the controller.
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <memory>

#include "widgets/qt_invoker.h"
#include "app/ui/tfrm_main.h"
#include "netconf/ui/tdlg_vorn_tcp_conf.h"
#include "remote/ui/remote_pane.h"
#include "app/scripted_ui.h"
#include "sim/virtual_controller.h"

using vorn::ui::TdlgVornTCPConf;
using vorn::ui::TfrmMain;

class TcpConfDialogTest : public QObject {
  Q_OBJECT

 private:
  vorn::test::ScriptedUi ui_;
  std::unique_ptr<TfrmMain> main_;
  QTemporaryDir home_;

  // Presses the network button and runs check on the dialog once it is up,
  // then closes it with its close box.
  void WithDialog(const std::function<void(TdlgVornTCPConf&)>& check) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<TdlgVornTCPConf*>(QApplication::activeModalWidget());
      if (dialog) {
        seen = true;
        check(*dialog);
        dialog->close();
      }
    });
    main_->tbtnTCPConf->click();
    QVERIFY(seen);
  }

  // Types into whichever field has the focus, as a person would.
  static void Type(TdlgVornTCPConf& dialog, const QString& keys) {
    for (QChar c : keys) QTest::keyClick(dialog.focusWidget(), c.toLatin1());
  }

 private slots:
  void initTestCase() {
    QVERIFY(home_.isValid());
    // Settings files go to this program's data folder; keep the test's own.
    qputenv("XDG_DATA_HOME", home_.path().toLocal8Bit());
    qputenv("VORN7730_SETTINGS", (home_.path() + "/settings.ini").toLocal8Bit());
    // The default files of the initialisation, straight from the source tree.
    qputenv("VORN7730_DATA", VORN_TEST_DATA_DIR);
  }

  void init() {
    ui_ = {};
    vorn::ui::StartOptions options;
    options.simulate = true;
    main_ = std::make_unique<TfrmMain>(ui_, options);
    main_->resize(1000, 700);
    main_->show();
    QVERIFY(main_->Simulator());
    main_->Remote().ShowRemoteFolder("\\");
    QVERIFY(main_->Remote().Listing().BytesFree > 0);
  }
  void cleanup() { main_.reset(); }

  void typingAndEnabling() {
    WithDialog([&](TdlgVornTCPConf& d) {
      QVERIFY(d.RBt_IP->isChecked());
      d.Edt_IP0->setFocus();
      // "." moves along the group and is swallowed in the last field.
      Type(d, "192.168.1.10.5");
      QCOMPARE(d.Edt_IP0->text() + "|" + d.Edt_IP1->text() + "|" + d.Edt_IP2->text() + "|" + d.Edt_IP3->text(),
               QString("192|168|1|105"));
      QCOMPARE(d.focusWidget(), static_cast<QWidget*>(d.Edt_IP3));
      // Retyped over the old address, "." selects what the next field holds.
      d.Edt_IP0->setFocus();
      d.Edt_IP0->selectAll();
      Type(d, "192.168.1.10");
      QCOMPARE(d.Edt_IP0->text() + "|" + d.Edt_IP1->text() + "|" + d.Edt_IP2->text() + "|" + d.Edt_IP3->text(),
               QString("192|168|1|10"));
      d.Edt_GW0->setFocus();
      Type(d, "a -+5x");
      QCOMPARE(d.Edt_GW0->text(), QString("-+5"));
      // Tab and Delete arrive with a control character as their text; they
      // still edit and leave the field.
      d.Edt_GW0->setCursorPosition(0);
      QTest::sendKeyEvent(QTest::Click, d.Edt_GW0, Qt::Key_Delete, QString(QChar(0x7F)), Qt::NoModifier);
      QCOMPARE(d.Edt_GW0->text(), QString("+5"));
      QTest::sendKeyEvent(QTest::Click, d.Edt_GW0, Qt::Key_Tab, QString("\t"), Qt::NoModifier);
      QCOMPARE(d.focusWidget(), static_cast<QWidget*>(d.Edt_GW1));

      // DHCP disables every address field and label; static IP brings back
      // all but the name servers while they come automatically.
      d.Chk_DNS->click();
      d.RBt_DHCP->click();
      for (int i = 0; i < 16; ++i) QVERIFY(!d.AddressEdits[i]->isEnabled() && !d.AddressLabels[i]->isEnabled());
      QVERIFY(!d.Chk_DNS->isEnabled());
      d.RBt_IP->click();
      for (int i = 0; i < 16; ++i) QCOMPARE(d.AddressEdits[i]->isEnabled(), i < 8);
      d.Chk_DNS->click();
      for (int i = 0; i < 16; ++i) QCOMPARE(d.AddressLabels[i]->isEnabled(), true);
      // The secondary name server and the remote console stay hidden.
      for (int i = 12; i < 16; ++i) QVERIFY(d.AddressEdits[i]->isHidden() && d.AddressLabels[i]->isHidden());
      QVERIFY(d.Chk_RC->isHidden());

      d.MEdt_FTPpwd->setText("secret");
      QCOMPARE(d.MEdt_FTPpwd->displayText(), QString("######"));

      const QByteArray dir = qgetenv("VORN_SCREENSHOT_DIR");
      if (!dir.isEmpty()) {
        d.Edt_FTPID->setText("admin");
        d.Chk_Read->setChecked(true);
        QVERIFY(d.grab().save(QString::fromLocal8Bit(dir) + "/tcp_conf.png"));
      }
    });
  }

  // The dialog has no Cancel button: Esc closes it from any field.
  void escClosesFromEveryField() {
    TdlgVornTCPConf d(ui_, main_->Invoker(), main_->Exchanges().Factory(), main_->ComName, *main_, *main_,
                      main_.get());
    d.FormShow();
    for (QWidget* field : std::initializer_list<QWidget*>{d.Edt_IP0, d.Edt_GW3, d.Edt_PD1, d.Edt_FTPID,
                                                          d.MEdt_HTPpwd, d.Chk_Read}) {
      d.show();
      QTest::sendKeyEvent(QTest::Click, field, Qt::Key_Escape, QString(QChar(0x1B)), Qt::NoModifier);
      QVERIFY2(!d.isVisible(), qPrintable(field->objectName()));
    }
  }

  void opensWithTheControllersAddress() {
    vsim::VirtualController& sim = *main_->Simulator();
    const struct {
      const char* file;  // nullptr: no SOCKET.CFG on the controller
      bool dhcp, autoDns;
      QString fields, status;
    } cases[] = {
        {nullptr, false, false, "...|...|...", "Could not read D:\\CONF\\SOCKET.CFG (File not found)"},
        {"ip address 10.1.2.3\r\nroute add default if0 10.1.2.1\r\ndomain server 10.1.2.53\r\nip address\r\n", false,
         false, "10.1.2.3|10.1.2.1|10.1.2.53", "Address settings read from D:\\CONF\\SOCKET.CFG."},
        {"ip address 0.0.0.1\r\ninterface pdr if0 dix 1500 10 0x60\r\n", true, false, "...|...|...",
         "Address settings read from"},
    };
    for (const auto& c : cases) {
      if (c.file) QVERIFY(sim.WriteFile("D:\\CONF\\SOCKET.CFG", c.file));
      WithDialog([&](TdlgVornTCPConf& d) {
        QTRY_VERIFY(!d.lblStatus->text().startsWith("Reading "));
        QStringList groups;
        for (int g = 0; g < 12; g += 4) {
          QStringList parts;
          for (int i = g; i < g + 4; ++i) parts << d.AddressEdits[i]->text();
          groups << parts.join('.');
        }
        QCOMPARE(groups.join('|'), c.fields);
        QCOMPARE(d.RBt_DHCP->isChecked(), c.dhcp);
        QCOMPARE(d.Edt_IP0->isEnabled(), !c.dhcp);
        QCOMPARE(d.Chk_DNS->isChecked(), c.autoDns);
        QVERIFY2(d.lblStatus->text().startsWith(c.status), qPrintable(d.lblStatus->text()));
        // The passwords are never read back.
        QVERIFY(d.MEdt_FTPpwd->text().isEmpty() && d.MEdt_HTPpwd->text().isEmpty());
        const QByteArray shots = qgetenv("VORN_SCREENSHOT_DIR");
        if (!shots.isEmpty() && c.file && !c.dhcp)
          QVERIFY(d.grab().save(QString::fromLocal8Bit(shots) + "/network_dialog_read.png"));
      });
    }
    QCOMPARE(ui_.boxes.size(), size_t(0));
  }

  void updateSendsTheFileOnceConfirmed() {
    vsim::VirtualController& sim = *main_->Simulator();
    if (!sim.Exists("D:\\CONF")) QVERIFY(sim.MakeDir("D:\\CONF"));
    QVERIFY(sim.WriteFile("D:\\NEW.TXT", "x"));
    WithDialog([&](TdlgVornTCPConf& d) {
      const char* address[] = {"10", "0", "0", "7"};
      for (int i = 0; i < 4; ++i) d.AddressEdits[i]->setText(address[i]);
      d.Chk_DNS->click();
      d.Bt_IPUpdate->click();
    });
    QCOMPARE(ui_.Texts("error"), std::vector<std::string>{});
    QCOMPARE(ui_.Texts("information"), std::vector<std::string>{"Update Successfully!"});
    // The controller pane is listed again once the dialog has closed.
    const auto& entries = main_->Remote().Listing().Entries;
    QVERIFY(std::any_of(entries.begin(), entries.end(), [](const auto& e) { return e.Name == "NEW.TXT"; }));
    std::string stored;
    QVERIFY(main_->Simulator()->ReadFile("D:\\CONF\\SOCKET.CFG", &stored));
    QVERIFY(stored.find("ip address 10.0.0.7\r\ninterface pdr if0 dix 1500 10 0x60\r\nroute add default if0 0\r\n\r\n") ==
            std::string("# Packet driver settings\r\n").size());
  }

  // A receiver that never acknowledges the end of file and stores nothing:
  // the update is a failure, found in the listing, not "Update Successfully!".
  void unacknowledgedEndIsCheckedInTheListing() {
    vsim::VirtualController& sim = *main_->Simulator();
    if (!sim.Exists("D:\\CONF")) QVERIFY(sim.MakeDir("D:\\CONF"));
    vsim::Options options = sim.GetOptions();
    options.transfer = vsim::TransferMode::EotUnanswered;
    sim.SetOptions(options);
    WithDialog([&](TdlgVornTCPConf& d) {
      const char* address[] = {"10", "0", "0", "8"};
      for (int i = 0; i < 4; ++i) d.AddressEdits[i]->setText(address[i]);
      d.Chk_DNS->click();
      d.Bt_IPUpdate->click();
    });
    QCOMPARE(ui_.Texts("information"), std::vector<std::string>{});
    const auto errors = ui_.Texts("error");
    std::string all;
    for (const std::string& e : errors) all += e + "\n";
    QVERIFY2(all.find("The end of file 'SOCKET.CFG' was not acknowledged") != std::string::npos, all.c_str());
  }

  void goAnsweredNoSendsNothing() {
    vsim::VirtualController& sim = *main_->Simulator();
    QVERIFY(sim.WriteFile("D:\\KEEP.TXT", "x"));
    sim.ClearReceived();
    ui_.answers = {false};
    WithDialog([&](TdlgVornTCPConf& d) {
      d.Chk_HtpFtp->setChecked(true);
      d.Bt_SystemInit->click();
    });
    QCOMPARE(ui_.Texts("warning question").size(), size_t(1));
    // Only the controller pane's listing afterwards: no format, no upload.
    QVERIFY(sim.Received().find("DLFMT") == std::string::npos);
    QVERIFY(sim.Received().find("transfer") == std::string::npos);
    QVERIFY(sim.Exists("D:\\KEEP.TXT"));
  }

  // Go on a controller that does not name itself as the virtual one: the
  // stand-ins are refused before the format, with the way to choose the real
  // files, whose folder is then remembered.
  void goRefusesStandInsForARealController() {
    vsim::VirtualController& sim = *main_->Simulator();
    vsim::Options real = sim.GetOptions();
    real.asRealController = true;
    sim.SetOptions(real);
    QVERIFY(sim.WriteFile("D:\\KEEP.TXT", "x"));
    const std::string source = (home_.path() + "/source/").toStdString();
    QVERIFY(QDir().mkpath(QString::fromStdString(source + "Drive_D/Default_files")));
    ui_.folders = {home_.path().toStdString(), source};
    WithDialog([&](TdlgVornTCPConf& d) {
      d.Bt_SystemInit->click();
      d.defaultFilesFolderButton->click();
      d.defaultFilesFolderButton->click();
    });
    const auto errors = ui_.Texts("error");
    QCOMPARE(errors.size(), size_t(2));
    QVERIFY2(errors[0].rfind(vorn::netconf::kInitNotStartedHeading, 0) == 0, errors[0].c_str());
    QVERIFY(errors[0].find("SOCKETP.EXE") != std::string::npos);
    QVERIFY(errors[0].find("\"Default files folder...\"") != std::string::npos);
    QVERIFY(errors[1].find("not laid out as the installation's Source folder") != std::string::npos);
    QVERIFY(sim.Received().find("DLFMT") == std::string::npos);
    QVERIFY(sim.Exists("D:\\KEEP.TXT"));
    QCOMPARE(vorn::platform::HostRegistry().ReadString(vorn::platform::kUtilitySettingsKey,
                                                      vorn::platform::kDefaultFilesFolderValue),
             std::optional<std::string>(source));
    // The next tests take the shipped files again.
    vorn::platform::HostRegistry().WriteString(vorn::platform::kUtilitySettingsKey,
                                               vorn::platform::kDefaultFilesFolderValue, "");
  }

  // Go puts the default network settings on the controller: the question
  // says so and names the address, and the settings the dialog shows go
  // back up only when the user says Yes afterwards.
  void goTellsOfTheDefaultsAndOffersTheShownSettings() {
    vsim::VirtualController& sim = *main_->Simulator();
    for (const bool uploadShown : {false, true}) {
      ui_ = {};
      ui_.answers = {true, uploadShown};
      WithDialog([&](TdlgVornTCPConf& d) {
        QTRY_VERIFY(!d.lblStatus->text().startsWith("Reading "));
        const char* address[] = {"10", "0", "0", "9"};
        for (int i = 0; i < 4; ++i) d.AddressEdits[i]->setText(address[i]);
        d.RBt_IP->click();
        if (!d.Chk_DNS->isChecked()) d.Chk_DNS->click();
        d.Bt_SystemInit->click();
      });
      const auto warnings = ui_.Texts("warning question");
      QCOMPARE(warnings.size(), size_t(1));
      QVERIFY2(warnings[0].find("The network settings return to the defaults (address 0.0.0.1") != std::string::npos,
               warnings[0].c_str());
      QVERIFY(warnings[0].find("All the data on that drive will be erased.") != std::string::npos);
      QCOMPARE(ui_.Texts("error"), std::vector<std::string>{});
      const auto questions = ui_.Texts("question");
      QCOMPARE(questions.size(), size_t(1));
      QVERIFY(questions[0].find("Upload the address settings") != std::string::npos);
      std::string stored;
      QVERIFY(sim.ReadFile("D:\\CONF\\SOCKET.CFG", &stored));
      QCOMPARE(stored.find("ip address 10.0.0.9\r\n") != std::string::npos, uploadShown);
      QCOMPARE(stored.find("ip address 0.0.0.1\r\n") != std::string::npos, !uploadShown);
    }
  }
};

QTEST_MAIN(TcpConfDialogTest)
#include "tcp_conf_dialog_test.moc"
