#pragma once
// The right half of the main window: the controller's drive D: as a list,
// navigated and changed by typing shell commands. It owns its header, tool
// bar, path box, list, status panels and context menu; the window around it
// adds its own tools to the bar and hears through signals what the pane
// cannot do itself (copy, run a program in the terminal, take a drop).
#include <QAction>
#include <QComboBox>
#include <QIcon>
#include <QMenu>
#include <QStringList>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>
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

class TdlgVornProp;
class TdlgVornView;

class RemotePane : public QWidget, public FileListSource {
  Q_OBJECT
 public:
  // exchange gives the exchange bound to the port chosen now; hostFolders
  // are the host pane's, whose names for kinds of file this pane uses too.
  RemotePane(vorn::Ui& ui, std::function<vorn::Exchange&()> exchange, const vorn::HostFolders& hostFolders,
             QWidget* parent = nullptr);
  ~RemotePane() override;

  // Puts a widget of the window's own on the tool bar's line, after the
  // bar; it starts a line of its own when the pane is narrow.
  void AddToBarLine(QWidget* widget);
  // The controls that talk to the controller, off while the terminal holds
  // the port.
  void SetExchangeControlsEnabled(bool enabled);
  // The directory the pane shows, as the path box names it ("\", "\DATA").
  std::string ShownFolder() const;

  // --- controls ---
  QToolBar* tlbarVorn = nullptr;
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
  QAction* View1 = nullptr;  // a text file of the controller in the viewer
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

  // Lists path ("\\" when empty: no listing yet) from the controller and
  // brings the pane up to date.
  void ShowRemoteFolder(const std::string& path);
  // Forgets the listing (rows, free space, visited paths), as for a port
  // whose controller the pane may no longer show.
  void ClearListing();
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

 signals:
  // The copy key in the list: what the copy button does.
  void copyRequested();
  // A program's row was opened: keys (its name and CR) to type into the
  // terminal, which is started for them when it is not running.
  void runRequested(const QString& keys);
  // Host paths dropped on the list, for the controller directory remotePath.
  void filesDropped(const QStringList& hostPaths, const QString& remotePath);
  // A folder was listed in full; path as the path box names it.
  void folderListed(const QString& path);
  // A one-line result of a command whose answer shows only in the terminal.
  void said(const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;  // cbxVornKeyPress

 private:
  void BuildControls();
  void Wire();
  vorn::RemoteOps Ops();
  void SetAutoRun(bool append);
  void SetViewStyle(ViewStyle style, QToolButton* button);
  int IconFor(const std::string& key, const std::function<QIcon()>& make);

  vorn::Ui& ui_;
  std::function<vorn::Exchange&()> exchange_;
  const vorn::HostFolders& hostFolders_;
  QWidget* barLine_ = nullptr;
  // The rows shown: the listing's, or while a listing runs the ones from
  // before it, so the list does not blank for the seconds the line takes.
  const std::vector<vorn::RemoteEntry>& ShownRows() const { return listingRunning_ ? rowsBefore_ : listing_.Entries; }

  vorn::RemoteListing listing_;
  std::vector<vorn::RemoteEntry> rowsBefore_;
  bool listingRunning_ = false;
  std::vector<QIcon> icons_;  // IconIndex -> icon; 0 is "none yet"
  std::map<std::string, int> iconIndexByKey_;
};

}  // namespace vorn::ui
