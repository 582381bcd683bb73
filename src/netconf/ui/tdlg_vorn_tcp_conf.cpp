#include "netconf/ui/tdlg_vorn_tcp_conf.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QProxyStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

#include "transfer/ui/tdlg_vorn_tran.h"
#include "transfer/upload_loop.h"

namespace vorn::ui {

namespace {

// Masks password fields with "#" whatever the platform's own mask character.
class HashMaskStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == QStyle::SH_LineEdit_PasswordCharacter) return '#';
    if (hint == QStyle::SH_LineEdit_PasswordMaskDelay) return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

const char* const kDefaultFilesFolderCaption = "Default files folder...";
constexpr const char* kUploadShownSettingsQuestion =
    "The network settings of the VORN-7730 are now the defaults.\n\n"
    "Upload the address settings this dialog shows instead?";

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

}  // namespace

TdlgVornTCPConf::TdlgVornTCPConf(vorn::Ui& ui, vorn::GuiInvoker& gui, vorn::PortFactory factory,
                                 const std::string& comName, vorn::TerminalPane& pane, vorn::BusyCursor& cursor,
                                 QWidget* parent, vorn::netconf::FolderLocator folders)
    : QDialog(parent),
      ui_(ui),
      gui_(gui),
      pane_(pane),
      link_(pane, cursor, ui, std::move(factory)),
      conf_(
          ui, [this](const std::string& dir, const std::string& path) { return UploadWithDialog(dir, path); },
          vorn::netconf::PortCommandRunner(link_), std::move(folders)) {
  link_.ComName = comName;
  setObjectName("TdlgVornTCPConf");
  setWindowTitle("Vorn-7730/TCP Configuration");
  // Only the close box: there is no OK or Cancel.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  BuildLayout();

  connect(RBt_IP, &QRadioButton::clicked, this, [this] { RBt_IPClick(); });
  connect(RBt_DHCP, &QRadioButton::clicked, this, [this] { RBt_DHCPClick(); });
  connect(Chk_DNS, &QCheckBox::clicked, this, [this] { Chk_DNSClick(); });
  connect(Bt_IPUpdate, &QPushButton::clicked, this, [this] { Bt_IPUpdateClick(); });
  connect(Bt_FTPUpdate, &QPushButton::clicked, this, [this] { Bt_FTPUpdateClick(); });
  connect(Bt_SystemInit, &QPushButton::clicked, this, [this] { Bt_SystemInitClick(); });
  connect(defaultFilesFolderButton, &QPushButton::clicked, this, [this] { ChooseDefaultFilesFolder(); });
  conf_.DefaultFilesAdvice = std::string("Choose the folder that holds the real files, laid out as the "
                                         "installation's Source folder (Drive_D\\Default_files\\..., "
                                         "Drive_D\\Extension_files\\WebRoot\\...), with \"") +
                             kDefaultFilesFolderCaption + "\", ";
}

void TdlgVornTCPConf::BuildLayout() {
  auto* GroupBox1 = Named(new QGroupBox(" Vorn-7730/TCP System Conf. && Init.", this), "GroupBox1");
  auto* GroupBox2 = Named(new QGroupBox(" System Configuration ", GroupBox1), "GroupBox2");
  auto* GroupBox4 = Named(new QGroupBox(" IP/DHCP ", GroupBox2), "GroupBox4");
  auto* GroupBox5 = Named(new QGroupBox(" FTP&&HTTP Configuration ", GroupBox2), "GroupBox5");
  auto* GroupBox6 = Named(new QGroupBox(" FTP ", GroupBox5), "GroupBox6");
  auto* GroupBox7 = Named(new QGroupBox(" HTTP ", GroupBox5), "GroupBox7");
  auto* GroupBox3 = Named(new QGroupBox(" System Initialization ", GroupBox1), "GroupBox3");

  // --- IP/DHCP ---
  RBt_IP = Named(new QRadioButton("Static IP", GroupBox4), "RBt_IP");
  RBt_DHCP = Named(new QRadioButton("DHCP", GroupBox4), "RBt_DHCP");
  Chk_DNS = Named(new QCheckBox("Obtain DNS address automatically", GroupBox4), "Chk_DNS");

  static const char* const kEditNames[16] = {"Edt_IP0", "Edt_IP1", "Edt_IP2", "Edt_IP3", "Edt_GW0", "Edt_GW1",
                                             "Edt_GW2", "Edt_GW3", "Edt_PD0", "Edt_PD1", "Edt_PD2", "Edt_PD3",
                                             "Edt_SD0", "Edt_SD1", "Edt_SD2", "Edt_SD3"};
  static const char* const kLabelNames[16] = {"Label10", "Label1",  "Label2",  "Label3",  "Label19", "Label20",
                                              "Label21", "Label22", "Label11", "Label12", "Label13", "Label14",
                                              "Label15", "Label16", "Label17", "Label18"};
  static const char* const kRowCaptions[4] = {"Address:", "GateWay:", "Primary DNS:", "Sec. DNS:"};
  auto* grid = new QGridLayout(GroupBox4);
  grid->addWidget(RBt_IP, 0, 0, 1, 2);
  grid->addWidget(RBt_DHCP, 0, 2, 1, 6);
  grid->addWidget(Chk_DNS, 1, 0, 1, 8);
  for (int i = 0; i < 16; ++i) {
    const int row = 2 + i / 4;
    const int column = i % 4;
    auto* label = Named(new QLabel(column == 0 ? kRowCaptions[i / 4] : ".", GroupBox4), kLabelNames[i]);
    auto* edit = Named(new QLineEdit(GroupBox4), kEditNames[i]);
    edit->setMaxLength(vorn::netconf::kAddressFieldLimit);
    edit->setFixedWidth(40);
    edit->setProperty("tag", i + 1);
    edit->installEventFilter(this);
    AddressLabels[i] = label;
    AddressEdits[i] = edit;
    grid->addWidget(label, row, column * 2, column == 0 ? Qt::AlignLeft : Qt::AlignCenter);
    grid->addWidget(edit, row, column * 2 + 1);
  }
  Bt_IPUpdate = Named(new QPushButton("Update", GroupBox4), "Bt_IPUpdate");
  grid->addWidget(Bt_IPUpdate, 6, 3, 1, 5, Qt::AlignRight);
  grid->setRowStretch(7, 1);
  grid->setColumnStretch(8, 1);

  Edt_IP0 = AddressEdits[0], Edt_IP1 = AddressEdits[1], Edt_IP2 = AddressEdits[2], Edt_IP3 = AddressEdits[3];
  Edt_GW0 = AddressEdits[4], Edt_GW1 = AddressEdits[5], Edt_GW2 = AddressEdits[6], Edt_GW3 = AddressEdits[7];
  Edt_PD0 = AddressEdits[8], Edt_PD1 = AddressEdits[9], Edt_PD2 = AddressEdits[10], Edt_PD3 = AddressEdits[11];
  Edt_SD0 = AddressEdits[12], Edt_SD1 = AddressEdits[13], Edt_SD2 = AddressEdits[14], Edt_SD3 = AddressEdits[15];
  Label10 = AddressLabels[0], Label1 = AddressLabels[1], Label2 = AddressLabels[2], Label3 = AddressLabels[3];
  Label19 = AddressLabels[4], Label20 = AddressLabels[5], Label21 = AddressLabels[6], Label22 = AddressLabels[7];
  Label11 = AddressLabels[8], Label12 = AddressLabels[9], Label13 = AddressLabels[10], Label14 = AddressLabels[11];
  Label15 = AddressLabels[12], Label16 = AddressLabels[13], Label17 = AddressLabels[14], Label18 = AddressLabels[15];
  // The secondary name server is not offered: its row stays hidden and disabled.
  for (int i = 12; i < 16; ++i) {
    AddressEdits[i]->setVisible(false);
    AddressLabels[i]->setVisible(false);
    AddressEdits[i]->setEnabled(false);
    AddressLabels[i]->setEnabled(false);
  }

  // --- FTP and HTTP users ---
  auto* mask = new HashMaskStyle;
  mask->setParent(this);
  const auto userBox = [&](QGroupBox* box, QLineEdit*& id, const char* idName, QLineEdit*& pwd, const char* pwdName,
                           std::initializer_list<QCheckBox*> rights) {
    auto* g = new QGridLayout(box);
    id = Named(new QLineEdit(box), idName);
    id->setMaxLength(vorn::netconf::kUserIdLimit);
    pwd = Named(new QLineEdit(box), pwdName);
    pwd->setMaxLength(vorn::netconf::kPasswordLimit);
    pwd->setEchoMode(QLineEdit::Password);
    pwd->setStyle(mask);
    g->addWidget(new QLabel("ID:", box), 0, 0);
    g->addWidget(id, 0, 1, 1, 2);
    g->addWidget(new QLabel("Password:", box), 1, 0);
    g->addWidget(pwd, 1, 1, 1, 2);
    g->addWidget(new QLabel("Rights:", box), 2, 0, Qt::AlignTop);
    int n = 0;
    for (QCheckBox* c : rights) {
      g->addWidget(c, 2 + n / 2, 1 + n % 2);
      ++n;
    }
    g->setColumnStretch(2, 1);
  };
  Chk_Change = Named(new QCheckBox("Change Dir.", GroupBox6), "Chk_Change");
  Chk_Creat = Named(new QCheckBox("Creat/Del. Dir.", GroupBox6), "Chk_Creat");
  Chk_Write = Named(new QCheckBox("Write File", GroupBox6), "Chk_Write");
  Chk_Read = Named(new QCheckBox("Read File", GroupBox6), "Chk_Read");
  userBox(GroupBox6, Edt_FTPID, "Edt_FTPID", MEdt_FTPpwd, "MEdt_FTPpwd", {Chk_Change, Chk_Creat, Chk_Write, Chk_Read});
  Chk_GetFile = Named(new QCheckBox("Get Files", GroupBox7), "Chk_GetFile");
  Chk_PostFile = Named(new QCheckBox("Post Files", GroupBox7), "Chk_PostFile");
  Chk_UseCGI = Named(new QCheckBox("Use CGI", GroupBox7), "Chk_UseCGI");
  Chk_RC = Named(new QCheckBox("Use Remote Console", GroupBox7), "Chk_RC");
  userBox(GroupBox7, Edt_HTPID, "Edt_HTPID", MEdt_HTPpwd, "MEdt_HTPpwd", {Chk_GetFile, Chk_PostFile, Chk_UseCGI, Chk_RC});
  // The remote console right is not offered.
  Chk_RC->setVisible(false);
  Chk_RC->setEnabled(false);
  Bt_FTPUpdate = Named(new QPushButton("Update", GroupBox5), "Bt_FTPUpdate");
  auto* users = new QVBoxLayout(GroupBox5);
  users->addWidget(GroupBox6);
  users->addWidget(GroupBox7);
  users->addWidget(Bt_FTPUpdate, 0, Qt::AlignRight);

  auto* configuration = new QHBoxLayout(GroupBox2);
  configuration->addWidget(GroupBox4);
  configuration->addWidget(GroupBox5);

  // --- System initialisation ---
  Chk_Default = Named(new QCheckBox("System Files", GroupBox3), "Chk_Default");
  Chk_Default->setChecked(true);
  Chk_Default->setEnabled(false);
  Chk_HtpFtp = Named(new QCheckBox("HTTPFTP Server", GroupBox3), "Chk_HtpFtp");
  Chk_FTP = Named(new QCheckBox("FTP Server", GroupBox3), "Chk_FTP");
  Chk_Http = Named(new QCheckBox("HTTP Server", GroupBox3), "Chk_Http");
  Bt_SystemInit = Named(new QPushButton("Go", GroupBox3), "Bt_SystemInit");
  defaultFilesFolderButton = Named(new QPushButton(kDefaultFilesFolderCaption, GroupBox3), "defaultFilesFolderButton");
  auto* init = new QHBoxLayout(GroupBox3);
  for (QWidget* w : std::initializer_list<QWidget*>{Chk_Default, Chk_HtpFtp, Chk_FTP, Chk_Http}) init->addWidget(w);
  init->addStretch();
  init->addWidget(defaultFilesFolderButton);
  init->addWidget(Bt_SystemInit);

  auto* outer = new QVBoxLayout(GroupBox1);
  outer->addWidget(GroupBox2);
  outer->addWidget(GroupBox3);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(GroupBox1);
  lblStatus = Named(new QLabel(this), "lblStatus");
  lblStatus->setWordWrap(true);
  lblStatus->setMinimumHeight(2 * lblStatus->fontMetrics().height());
  layout->addWidget(lblStatus);

  // Enter belongs to the fields' key filter, not to a default button.
  for (QPushButton* b : {Bt_IPUpdate, Bt_FTPUpdate, Bt_SystemInit, defaultFilesFolderButton}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }

  // Tab walks the controls in the order of their tags.
  std::vector<QWidget*> order = {RBt_IP, RBt_DHCP, Chk_DNS};
  for (QLineEdit* e : AddressEdits) order.push_back(e);
  for (QWidget* w : std::initializer_list<QWidget*>{Bt_IPUpdate, Edt_FTPID, MEdt_FTPpwd, Chk_Change, Chk_Creat,
                                                     Chk_Write, Chk_Read, Edt_HTPID, MEdt_HTPpwd, Chk_GetFile,
                                                     Chk_PostFile, Chk_UseCGI, Chk_RC, Bt_FTPUpdate, Chk_HtpFtp,
                                                     Chk_FTP, Chk_Http, Bt_SystemInit, defaultFilesFolderButton})
    order.push_back(w);
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
  setFixedSize(sizeHint());
}

void TdlgVornTCPConf::FormShow() {
  RBt_IP->setChecked(true);
  RBt_IPClick();
  // Read once the dialog is up, so the user sees what it waits for; a dialog
  // closed before then reads nothing.
  lblStatus->setText(QString("Reading ") + vorn::netconf::kConfFolder + vorn::netconf::kSocketCfg + "...");
  QTimer::singleShot(0, this, [this] {
    if (isVisible()) ShowControllerSettings();
  });
}

void TdlgVornTCPConf::ShowControllerSettings() {
  const std::string file = std::string(vorn::netconf::kConfFolder) + vorn::netconf::kSocketCfg;
  const vorn::netconf::ControllerSocketCfg read = vorn::netconf::ReadControllerSocketCfg(link_);
  if (!read.settings) {
    lblStatus->setText(QString::fromStdString("Could not read " + file + " (" + read.reason +
                                              "): the fields keep their initial values."));
    return;
  }
  const vorn::netconf::AddressSettings& a = *read.settings;
  // Fills the four fields of a group from "A.B.C.D"; anything else leaves them.
  const auto fill = [this](int first, const std::string& text) {
    const QStringList parts = QString::fromStdString(text).split('.');
    if (parts.size() != 4) return;
    for (int i = 0; i < 4; ++i) AddressEdits[first + i]->setText(parts[i]);
  };
  if (a.staticIp) {
    fill(vorn::netconf::kIpGroup, a.IPText);
    fill(vorn::netconf::kGatewayGroup, a.GatewayText);
    if (!a.autoDns) fill(vorn::netconf::kPrimaryDnsGroup, a.PrimaryDNSText);
    Chk_DNS->setChecked(a.autoDns);
    RBt_IPClick();
  } else {
    RBt_DHCP->setChecked(true);
    RBt_DHCPClick();
  }
  lblStatus->setText(QString::fromStdString("Address settings read from " + file + "."));
}

void TdlgVornTCPConf::SetAddressRangeEnabled(int first, int count, bool enabled) {
  for (int i = first; i < first + count; ++i) {
    AddressEdits[i]->setEnabled(enabled);
    AddressLabels[i]->setEnabled(enabled);
  }
}

void TdlgVornTCPConf::RBt_IPClick() {
  Chk_DNS->setEnabled(true);
  SetAddressRangeEnabled(vorn::netconf::kIpGroup, 8, true);
  SetAddressRangeEnabled(vorn::netconf::kPrimaryDnsGroup, 8, !Chk_DNS->isChecked());
}

void TdlgVornTCPConf::RBt_DHCPClick() {
  Chk_DNS->setEnabled(false);
  SetAddressRangeEnabled(0, 16, false);
}

void TdlgVornTCPConf::Chk_DNSClick() {
  SetAddressRangeEnabled(vorn::netconf::kPrimaryDnsGroup, 8, !Chk_DNS->isChecked());
}

bool TdlgVornTCPConf::Edt_IP0KeyPress(QLineEdit* edit, char key) {
  const int tag = edit->property("tag").toInt();
  switch (vorn::netconf::FilterAddressKey(tag, key)) {
    case vorn::netconf::KeyAction::Pass:
      return true;
    case vorn::netconf::KeyAction::NextField: {
      // The tag is the next field's index. Its text is selected as Tab does,
      // so that typing replaces an old number instead of running on from it.
      QLineEdit* next = AddressEdits[tag];
      next->setFocus(Qt::TabFocusReason);
      next->selectAll();
      return false;
    }
    case vorn::netconf::KeyAction::Drop:
      return false;
  }
  return false;
}

bool TdlgVornTCPConf::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    // Editing and moving keys keep their usual meaning. Tab and Delete come
    // with a control character as text on most hosts, which the filter would
    // otherwise drop, trapping the focus and the text in the field. Esc, the
    // same, must reach the dialog: it is the only key that closes it.
    const bool editingKey = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ||
                            key->key() == Qt::Key_Delete || key->key() == Qt::Key_Escape;
    if (edit && edit->property("tag").isValid() && !text.isEmpty() && !editingKey) {
      const char16_t c = text.at(0).unicode();
      if (c > 127 || !Edt_IP0KeyPress(edit, static_cast<char>(c))) return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

vorn::netconf::AddressInput TdlgVornTCPConf::AddressFromFields() const {
  vorn::netconf::AddressInput input;
  input.dhcp = RBt_DHCP->isChecked();
  input.autoDns = Chk_DNS->isChecked();
  for (int i = 0; i < 16; ++i) input.fields[i] = AddressEdits[i]->text().toStdString();
  return input;
}

vorn::netconf::UserInput TdlgVornTCPConf::UsersFromFields() const {
  vorn::netconf::UserInput input;
  input.ftpId = Edt_FTPID->text().toStdString();
  input.ftpPassword = MEdt_FTPpwd->text().toStdString();
  input.httpId = Edt_HTPID->text().toStdString();
  input.httpPassword = MEdt_HTPpwd->text().toStdString();
  input.ftpRights = {Chk_Change->isChecked(), Chk_Creat->isChecked(), Chk_Write->isChecked(), Chk_Read->isChecked()};
  input.httpRights = {Chk_GetFile->isChecked(), Chk_PostFile->isChecked(), Chk_UseCGI->isChecked(),
                      Chk_RC->isChecked()};
  return input;
}

void TdlgVornTCPConf::Bt_IPUpdateClick() { conf_.UpdateAddress(AddressFromFields()); }

void TdlgVornTCPConf::Bt_FTPUpdateClick() { conf_.UpdateUsers(UsersFromFields()); }

void TdlgVornTCPConf::Bt_SystemInitClick() {
  // Formatting erases the drive: the question comes as a warning.
  if (!ui_.WarningQuestion(conf_.SystemInitQuestion())) return;
  if (!conf_.SystemInit({Chk_HtpFtp->isChecked(), Chk_FTP->isChecked(), Chk_Http->isChecked()})) return;
  // The default files replaced the network settings: the ones the dialog
  // shows go back up only when the user says so.
  if (ui_.QuestionYesFirst(kUploadShownSettingsQuestion)) Bt_IPUpdateClick();
}

void TdlgVornTCPConf::ChooseDefaultFilesFolder() {
  const std::optional<std::string> chosen = ui_.ChooseFolder(kDefaultFilesFolderCaption);
  if (!chosen) return;
  const std::string folder = vorn::platform::WithTrailingSeparator(*chosen);
  // Laid out as the installation's Source folder, or the files would not be found.
  if (vorn::platform::NonRegularKind(folder + vorn::netconf::HostSubPath("Drive_D\\Default_files")) != "Folder") {
    ui_.Error(folder + " holds no folder Drive_D" + vorn::platform::PathSeparator() +
              "Default_files: it is not laid out as the installation's Source folder, and was not chosen.");
    return;
  }
  if (!vorn::platform::HostRegistry().WriteString(vorn::platform::kUtilitySettingsKey,
                                                  vorn::platform::kDefaultFilesFolderValue, folder))
    ui_.Error("The folder " + folder + " could not be remembered in the settings.");
}

bool TdlgVornTCPConf::UploadWithDialog(const std::string& targetDir, const std::string& hostPath) {
  std::string reason;
  std::unique_ptr<vorn::Port> port = vorn::OpenUploadPort(link_.Factory(), link_.ComName, &reason);
  if (!port) {
    ui_.Error(vorn::OpenFailureText(link_.ComName, reason));
    return false;
  }
  bool ok = true;
  std::vector<vorn::UploadResult::Unconfirmed> unconfirmed;
  {
    TdlgVornTran transfer(ui_, gui_, this);
    transfer.SingleResult = &ok;
    transfer.SingleFile = true;
    transfer.SingleCount = 1;
    transfer.Timer1->stop();
    transfer.Port = port.get();
    transfer.Terminal = &pane_;
    transfer.TargetDir = targetDir;
    transfer.CurrentFile = hostPath;
    transfer.exec();
    transfer.SingleFile = false;
    unconfirmed = transfer.Unconfirmed;
  }
  port->Close();
  port.reset();
  // An end of file the receiver never acknowledged counts only once the
  // controller lists the file.
  return ok && (unconfirmed.empty() || vorn::ConfirmStored(link_.ComName, link_.Factory(), unconfirmed, ui_));
}

}  // namespace vorn::ui
