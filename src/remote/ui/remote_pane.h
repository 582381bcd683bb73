#pragma once
// The right half of the main window: the controller's drive D: as a list,
// navigated and changed by typing shell commands.
#include <QAction>
#include <QComboBox>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QToolButton>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/ui.h"
#include "platform/host_folders.h"
#include "remote/remote_listing.h"
#include "remote/remote_ops.h"
#include "widgets/file_list_view.h"
#include "widgets/status_panels.h"

namespace vorn::ui {

// The controls the controller pane drives and what it asks of the window
// around it, handed over by the window that lays it out.
struct RemotePaneParts {
  QWidget* pnlVorn = nullptr;
  QToolButton* tbtnVornUp = nullptr;
  QToolButton* tbtnRefresh = nullptr;
  QToolButton* tbtnVornLgIcon = nullptr;
  QToolButton* tbtnVornSmIcon = nullptr;
  QToolButton* tbtnVornLsIcon = nullptr;
  QToolButton* tbtnVornDtIcon = nullptr;
  QComboBox* cbxVorn = nullptr;
  FileListView* lstviewVorn = nullptr;
  StatusPanels* stabarVorn = nullptr;
  QMenu* PopupMenu2 = nullptr;
  QAction* MakeDirectory1 = nullptr;
  QAction* VORNCopy1 = nullptr;
  QAction* VORNPaste1 = nullptr;
  QAction* Delete1 = nullptr;
  QAction* Rename1 = nullptr;
  QMenu* DOScommand1 = nullptr;
  QAction* ABORT1 = nullptr;
  QAction* FORMAT1 = nullptr;
  QAction* MEM1 = nullptr;
  QMenu* SetToAutoRun1 = nullptr;
  QAction* Vorn7730M1 = nullptr;
  QAction* Vorn7730TCP1 = nullptr;
  QAction* Properities1 = nullptr;

  QWidget* window = nullptr;  // parent of the pane's dialogs and menus
  vorn::Ui* ui = nullptr;
  std::function<vorn::Exchange&()> exchange;  // bound to the port chosen now
  std::function<const vorn::HostFolders&()> hostFolders;  // the host pane's, for the sample icons
  std::function<void()> copy;              // the copy button's action
  std::function<bool()> terminalRunning;
  std::function<void()> startTerminal;
  std::function<void(char)> typeKey;       // a key typed into the running terminal
};

class TdlgVornProp;
class TdlgVornView;

class RemotePane : public QObject, public FileListSource {
 public:
  explicit RemotePane(RemotePaneParts parts);
  ~RemotePane() override;

  // Connects the controls to the handlers below.
  void Wire();

  // Lists path from the controller and brings the pane up to date.
  void ShowRemoteFolder(const std::string& path);
  // After a change of the controller's files: lists the current directory
  // again in the user's column, selecting the row of the last context menu.
  void Relist();
  // Icon and type text for the rows first..last that still lack them.
  void FillRemoteInfo(int first, int last);

  vorn::RemoteListing& Listing() { return listing_; }
  const vorn::RemoteEntry* RemoteEntryAt(int index) const { return listing_.RemoteEntryAt(index); }

  // --- handlers ---
  void lstviewVornDblClick();
  // 13 Enter, 8 Backspace, and the Qt codes of F5, F7, Delete and F2.
  void lstviewVornKeyDown(int key);
  void lstviewVornColumnClick(int column);
  void tbtnVornUpClick();
  void tbtnRefreshClick();
  void cbxVornClick();
  void tbtnVornLgIconClick();
  void tbtnVornSmIconClick();
  void tbtnVornLsIconClick();
  void tbtnVornDtIconClick();
  void stabarVornResize();
  void PopupMenu2Popup();
  void Properities1Click();
  void View1Click();
  void Delete1Click();
  void MakeDirectory1Click();
  void Rename1Click();
  void MEM1Click();
  void FORMAT1Click();
  void ABORT1Click();
  void Vorn7730M1Click();
  void Vorn7730TCP1Click();

  // --- FileListSource ---
  int RowCount() const override;
  void FillInfo(int first, int last) override;
  FileRow Row(int index) const override;
  std::string RowName(int index) const override;

  // Shows the properties dialog modally; tests replace it to read the texts.
  std::function<void(TdlgVornProp&)> ShowProperties;
  // Shows the text viewer modally; tests replace it likewise.
  std::function<void(TdlgVornView&)> ShowViewer;

  // "View" in the context menu: a text file of the controller in the viewer.
  QAction* View1 = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;  // cbxVornKeyPress

 private:
  vorn::RemoteOps Ops();
  void SetAutoRun(bool append);
  void SetViewStyle(ViewStyle style, QToolButton* button);
  int IconFor(const std::string& key, const std::function<QIcon()>& make);

  RemotePaneParts p_;
  vorn::RemoteListing listing_;
  std::vector<QIcon> icons_;  // IconIndex -> icon; 0 is "none yet"
  std::map<std::string, int> iconIndexByKey_;
};

}  // namespace vorn::ui
