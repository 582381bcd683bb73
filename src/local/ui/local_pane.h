#pragma once
// The host pane: the left half of the main window, browsing the host's folders
// so that the user can pick files to upload. It owns its header, tool bar,
// path box, list and status panels; the window around it may add tool buttons
// of its own to the bar, and hears of copy requests through signals.
#include <QAction>
#include <QComboBox>
#include <QFileIconProvider>
#include <QIcon>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/ui.h"
#include "local/host_folders.h"
#include "local/local_view.h"
#include "widgets/file_list_view.h"
#include "widgets/status_panels.h"

namespace vorn::ui {

class LocalPane : public QWidget, public FileListSource {
  Q_OBJECT
 public:
  // ui answers the pane's boxes and questions; cursor is busy while a folder
  // is read.
  LocalPane(vorn::Ui& ui, vorn::BusyCursor& cursor, QWidget* parent = nullptr);
  // With another host tree (tests).
  LocalPane(vorn::Ui& ui, vorn::BusyCursor& cursor, std::unique_ptr<vorn::HostFolders> folders,
            QWidget* parent = nullptr);
  ~LocalPane() override;

  // Shows the computer folder; called once at start-up.
  void ShowStart();
  // Puts the focus in the path box with its text selected.
  void FocusPathBox();

  // --- controls ---
  QToolBar* tlbarLocal = nullptr;
  QToolButton* tbtnLocalOpenDir = nullptr;
  QToolButton* tbtnLocalUp = nullptr;
  QToolButton* tbtnLocalRefresh = nullptr;
  QToolButton* tbtnLocalLgIcon = nullptr;
  QToolButton* tbtnLocalSmIcon = nullptr;
  QToolButton* tbtnLocalLsIcon = nullptr;
  QToolButton* tbtnLocalDtIcon = nullptr;
  QComboBox* cbxLocal = nullptr;
  FileListView* lstviewLocal = nullptr;
  StatusPanels* stabarLocal = nullptr;
  QMenu* PopupMenu1 = nullptr;

  // Reads the folder and brings the pane up to date. On failure an error box
  // with the system's text, the pane keeps what it showed, and false.
  bool ShowLocalFolder(const std::string& folder);
  // A typed or chosen path; the same, plus paths that don't parse.
  bool ShowLocalPath(const std::string& text);
  void FillLocalInfo(int first, int last);
  const vorn::LocalEntry* LocalEntryAt(int index) const;

  // For the copy command: the selected rows in list order, details filled.
  std::vector<vorn::LocalSelection> SelectedEntries();

  vorn::LocalView& View() { return browser_.View(); }
  bool AtComputer() const { return browser_.AtComputer(); }
  // The folder the pane shows, for file dialogs to start in; empty at the
  // computer folder, which is no folder to save into.
  std::string ShownFolder() const { return AtComputer() ? std::string() : View().CurrentItem; }
  const vorn::LocalView& View() const { return browser_.View(); }
  vorn::HostFolders& Folders() { return *folders_; }

  // --- handlers ---
  void lstviewLocalDblClick();
  void lstviewLocalKeyDown(int key);
  void lstviewLocalColumnClick(int column);
  void tbtnLocalUpClick();
  void tbtnLocalRefreshClick();
  void tbtnLocalOpenDirClick();
  void tbtnLocalLgIconClick();
  void tbtnLocalSmIconClick();
  void tbtnLocalLsIconClick();
  void tbtnLocalDtIconClick();
  void cbxLocalClick();
  void cbxLocalKeyDown(int key);
  void stabarLocalResize();
  // Fills PopupMenu1 for the selected row, or for the open folder when no row
  // is selected; showing it is the caller's business.
  void PopupMenu1Popup();
  void Open1Click();
  void NewFolder1Click();
  // Moves the popup's item to the trash after a question; Shift held while
  // choosing it deletes permanently, as Shift+Delete does.
  void Delete1Click();
  // The item of the selected row: to the trash, or deleted permanently.
  void DeleteItem(bool permanently);
  void Rename1Click();

  // The commands of PopupMenu1; which of them it holds depends on the popup.
  QAction* Open1 = nullptr;
  QAction* NewFolder1 = nullptr;
  QAction* Delete1 = nullptr;
  QAction* Rename1 = nullptr;
  QAction* CopyToVorn1 = nullptr;  // the selection, folders with everything in them

  // Opens an item with the host's program for it; tests replace it so that
  // nothing is launched.
  std::function<bool(const std::string& fullPath)> OpenItem;
  // Moves an item to the desktop's trash (the Recycle Bin on Windows); false
  // with the reason when there is no trash for it.
  std::function<bool(const std::string& fullPath, std::string& error)> MoveToTrash;

  // --- FileListSource ---
  int RowCount() const override;
  void FillInfo(int first, int last) override;
  FileRow Row(int index) const override;
  std::string RowName(int index) const override;

 signals:
  // The copy key in the list: what the copy button does.
  void copyRequested();
  // "Copy to VORN with folders" in the context menu.
  void copyWithFoldersRequested();
  // A folder was read and is shown; path as the path box names it.
  void folderShown(const QString& path);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void Wire();
  // After a command of the context menu: the clicked column and the popup row
  // survive the new reading.
  void Relist();
  // Deletes the popup's item: to the trash unless permanently.
  void DeletePopupItem(bool permanently);
  void SetViewStyle(ViewStyle style, QToolButton* button);
  QIcon IconFor(const vorn::LocalEntry& entry) const;

  vorn::Ui& ui_;
  vorn::BusyCursor& cursor_;
  std::unique_ptr<vorn::HostFolders> folders_;
  vorn::LocalBrowser browser_;

  // What the last popup was opened on.
  struct PopupTarget {
    bool onRow = false;
    std::string name;
    std::string fullPath;
    bool isFolder = false;
  } popup_;

  QFileIconProvider iconProvider_;
  mutable std::map<std::string, QIcon> iconCache_;
};

}  // namespace vorn::ui
