#pragma once
// The network settings dialog: the controller's address (fixed or DHCP),
// gateway and name server, the FTP and HTTP users with their rights, and the
// system initialisation of drive D:. On opening it fills the address fields
// from the controller's SOCKET.CFG; the users and passwords always start empty.
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <array>
#include <string>

#include "link/exchange.h"
#include "link/gui_invoker.h"
#include "link/ui.h"
#include "netconf/net_conf.h"

namespace vorn::ui {

class TdlgVornTCPConf : public QDialog {
  Q_OBJECT
 public:
  // What the main window hands over: its message boxes, the GUI thread's
  // invoker for the uploads, the port, the terminal pane and the cursor.
  // folders replaces the companion installation lookup (tests).
  TdlgVornTCPConf(vorn::Ui& ui, vorn::GuiInvoker& gui, vorn::PortFactory factory, const std::string& comName,
                  vorn::TerminalPane& pane, vorn::BusyCursor& cursor, QWidget* parent = nullptr,
                  vorn::netconf::FolderLocator folders = {});

  vorn::netconf::NetConf& Conf() { return conf_; }
  QRadioButton* RBt_IP;
  QRadioButton* RBt_DHCP;
  QCheckBox* Chk_DNS;
  QLineEdit *Edt_IP0, *Edt_IP1, *Edt_IP2, *Edt_IP3;
  QLineEdit *Edt_GW0, *Edt_GW1, *Edt_GW2, *Edt_GW3;
  QLineEdit *Edt_PD0, *Edt_PD1, *Edt_PD2, *Edt_PD3;
  QLineEdit *Edt_SD0, *Edt_SD1, *Edt_SD2, *Edt_SD3;
  QLabel *Label10, *Label1, *Label2, *Label3;
  QLabel *Label19, *Label20, *Label21, *Label22;
  QLabel *Label11, *Label12, *Label13, *Label14;
  QLabel *Label15, *Label16, *Label17, *Label18;
  QPushButton* Bt_IPUpdate;
  QLineEdit* Edt_FTPID;
  QLineEdit* MEdt_FTPpwd;
  QCheckBox *Chk_Change, *Chk_Creat, *Chk_Write, *Chk_Read;
  QLineEdit* Edt_HTPID;
  QLineEdit* MEdt_HTPpwd;
  QCheckBox *Chk_GetFile, *Chk_PostFile, *Chk_UseCGI, *Chk_RC;
  QPushButton* Bt_FTPUpdate;
  QCheckBox *Chk_Default, *Chk_HtpFtp, *Chk_FTP, *Chk_Http;
  QPushButton* Bt_SystemInit;
  // Chooses (and remembers) the folder of the default files.
  QPushButton* defaultFilesFolderButton;
  QLabel* lblStatus;  // what the opening read of the controller's settings found

  // The 16 address fields and the label in front of each, in tag order.
  std::array<QLineEdit*, 16> AddressEdits{};
  std::array<QLabel*, 16> AddressLabels{};

  // The initial choices; once the dialog shows, the address fields from the
  // controller's file.
  void FormShow();
  void RBt_IPClick();
  void RBt_DHCPClick();
  void Chk_DNSClick();
  // True when the key reaches the field.
  bool Edt_IP0KeyPress(QLineEdit* edit, char key);
  void Bt_IPUpdateClick();
  void Bt_FTPUpdateClick();
  void Bt_SystemInitClick();
  void ChooseDefaultFilesFolder();

  // The dialog's values as the window-free runs take them.
  vorn::netconf::AddressInput AddressFromFields() const;
  vorn::netconf::UserInput UsersFromFields() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildLayout();
  void SetAddressRangeEnabled(int first, int count, bool enabled);
  void ShowControllerSettings();
  bool UploadWithDialog(const std::string& targetDir, const std::string& hostPath);

  vorn::Ui& ui_;
  vorn::GuiInvoker& gui_;
  vorn::TerminalPane& pane_;
  vorn::Exchange link_;
  vorn::netconf::NetConf conf_;
};

}  // namespace vorn::ui
