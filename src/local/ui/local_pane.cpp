#include "local/ui/local_pane.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>
#include <QUrl>

#include "local/ui/host_drag_source.h"
#include "platform/host.h"
#include "widgets/pane_tools.h"
#include "widgets/status_panels.h"

namespace vorn::ui {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The text box of a failed reading: where, then what the system said.
std::string FailureText(const std::string& where, const std::string& systemText) {
  return where.empty() ? systemText : where + "\n\n" + systemText;
}

}  // namespace

LocalPane::LocalPane(vorn::Ui& ui, vorn::BusyCursor& cursor, QWidget* parent)
    : LocalPane(ui, cursor, vorn::MakeFileSystemFolders(), parent) {}

LocalPane::LocalPane(vorn::Ui& ui, vorn::BusyCursor& cursor, std::unique_ptr<vorn::HostFolders> folders,
                     QWidget* parent)
    : QWidget(parent), ui_(ui), cursor_(cursor), folders_(std::move(folders)), browser_(*folders_) {
  setObjectName("pnlLocal");
  OpenItem = [](const std::string& fullPath) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(fullPath))));
  };
#ifdef Q_OS_WIN
  MoveToTrash = [](const std::string& fullPath, std::string& error) {
    QFile item(QFile::decodeName(QByteArray::fromStdString(fullPath)));
    if (item.moveToTrash()) return true;
    error = item.errorString().toStdString();
    return false;
  };
#else
  // Qt's own trash, with no trash folder yet, can make files/ and info/ in
  // the working folder and move the item there.
  MoveToTrash = [](const std::string& fullPath, std::string& error) {
    return vorn::platform::MoveToTrash(fullPath, error);
  };
#endif
  BuildControls();
  Wire();
}

LocalPane::~LocalPane() { lstviewLocal->SetSource(nullptr); }

void LocalPane::BuildControls() {
  // No fixed minimum width: the tool bar's buttons, well over 150 pixels, set
  // how narrow the pane may get.
  tlbarLocal = PaneToolBar("tlbarLocal", this);
  tbtnLocalOpenDir = ToolButton(tlbarLocal, "tbtnLocalOpenDir", "Open directory", ToolIcon::OpenFolder);
  tbtnLocalUp = ToolButton(tlbarLocal, "tbtnLocalUp", "Move up", ToolIcon::Up);
  tbtnLocalRefresh = ToolButton(tlbarLocal, "tbtnLocalRefresh", "Refresh folder", ToolIcon::Refresh);
  tlbarLocal->addSeparator();
  ViewStyleButtons(tlbarLocal, "tbtnLocal", tbtnLocalLgIcon, tbtnLocalSmIcon, tbtnLocalLsIcon, tbtnLocalDtIcon);
  tbtnLocalDtIcon->setChecked(true);
  cbxLocal = new QComboBox(this);
  cbxLocal->setObjectName("cbxLocal");
  cbxLocal->setMaxVisibleItems(20);
  lstviewLocal = new FileListView(true, this);
  lstviewLocal->setObjectName("lstviewLocal");
  stabarLocal = new StatusPanels({150, 100}, this);
  stabarLocal->setObjectName("stabarLocal");
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");

  LayOutPane(this, "Local System:", "lblLocal", tlbarLocal, cbxLocal, lstviewLocal, stabarLocal);
}

void LocalPane::Wire() {
  FileListView* list = lstviewLocal;
  list->SetSource(this);
  connect(list, &FileListView::activated, this, [this](int) { lstviewLocalDblClick(); });
  connect(list, &FileListView::backspacePressed, this, [this] { lstviewLocalKeyDown(Qt::Key_Backspace); });
  connect(list, &FileListView::deletePressed, this, [this](bool permanently) { DeleteItem(permanently); });
  connect(list, &FileListView::refreshPressed, this, [this] { lstviewLocalKeyDown(Qt::Key_F5); });
  connect(list, &FileListView::renamePressed, this, [this] { lstviewLocalKeyDown(Qt::Key_F2); });
  connect(list, &FileListView::copyPressed, this, &LocalPane::copyRequested);
  connect(list, &FileListView::columnClicked, this, [this](int column) { lstviewLocalColumnClick(column); });
  connect(list, &FileListView::contextMenuRequested, this, [this](const QPoint& pos) {
    PopupMenu1Popup();
    if (!PopupMenu1->isEmpty()) PopupMenu1->popup(pos);
  });

  connect(tbtnLocalUp, &QToolButton::clicked, this, [this] { tbtnLocalUpClick(); });
  connect(tbtnLocalRefresh, &QToolButton::clicked, this, [this] { tbtnLocalRefreshClick(); });
  connect(tbtnLocalOpenDir, &QToolButton::clicked, this, [this] { tbtnLocalOpenDirClick(); });
  connect(tbtnLocalLgIcon, &QToolButton::clicked, this, [this] { tbtnLocalLgIconClick(); });
  connect(tbtnLocalSmIcon, &QToolButton::clicked, this, [this] { tbtnLocalSmIconClick(); });
  connect(tbtnLocalLsIcon, &QToolButton::clicked, this, [this] { tbtnLocalLsIconClick(); });
  connect(tbtnLocalDtIcon, &QToolButton::clicked, this, [this] { tbtnLocalDtIconClick(); });

  QComboBox* box = cbxLocal;
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  // Inline completion would turn a typed path into a visited one behind the
  // user's back.
  box->setCompleter(nullptr);
  connect(box, QOverload<int>::of(&QComboBox::activated), this, [this](int) { cbxLocalClick(); });
  box->installEventFilter(this);
  if (box->lineEdit()) {
    box->lineEdit()->installEventFilter(this);
    // Enter reaches the box, which hands it to its text field without passing
    // any event filter; the field then reports it here.
    connect(box->lineEdit(), &QLineEdit::returnPressed, this, [this] { cbxLocalClick(); });
  }

  connect(stabarLocal, &StatusPanels::resized, this, [this] { stabarLocalResize(); });

  auto item = [this](const char* name, const QString& caption) {
    auto* action = new QAction(caption, this);  // not the menu's: clear() would delete them
    action->setObjectName(name);
    return action;
  };
  Open1 = item("Open1", "&Open");
  NewFolder1 = item("NewFolder1", "New &Folder");
  Delete1 = item("Delete1", "&Delete");
  Rename1 = item("Rename1", "Rena&me");
  CopyToVorn1 = item("CopyToVorn1", "&Copy to VORN with folders");
  connect(CopyToVorn1, &QAction::triggered, this, &LocalPane::copyWithFoldersRequested);
  // The volumes of the computer folder are never dragged: a whole disk is no upload.
  new HostDragSource(*lstviewLocal, [this] {
    std::vector<std::string> paths;
    if (AtComputer()) return paths;
    for (const LocalSelection& item : SelectedEntries()) paths.push_back(item.fullPath);
    return paths;
  }, lstviewLocal);
  connect(Open1, &QAction::triggered, this, [this] { Open1Click(); });
  connect(NewFolder1, &QAction::triggered, this, [this] { NewFolder1Click(); });
  connect(Delete1, &QAction::triggered, this, [this] { Delete1Click(); });
  connect(Rename1, &QAction::triggered, this, [this] { Rename1Click(); });
}

void LocalPane::ShowStart() {
  stabarLocalResize();
  ShowLocalFolder(folders_->ComputerFolder());
}

void LocalPane::FocusPathBox() {
  cbxLocal->setFocus();
  if (cbxLocal->lineEdit()) cbxLocal->lineEdit()->selectAll();
}

// ------------------------------------------------------------------ reading

bool LocalPane::ShowLocalFolder(const std::string& folder) {
  FileListView* list = lstviewLocal;
  std::string error;
  cursor_.SetBusy();
  const std::optional<int> row = browser_.Show(folder, error);
  cursor_.Restore();
  if (!row) {
    ui_.Error(FailureText(folders_->IsComputer(folder) ? folders_->ComputerName() : folder, error));
    return false;
  }

  list->setUpdatesEnabled(false);
  list->Reset();
  stabarLocal->SetText(0, Q(browser_.ObjectsText()));
  stabarLocal->SetText(1, Q(browser_.TotalText()));

  // The path box keeps every folder shown, each with the folder it names.
  QComboBox* box = cbxLocal;
  const QString path = Q(View().CurrentPath);
  int index = box->findText(path, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (index < 0) {
    box->insertItem(0, path, Q(View().CurrentItem));
    index = 0;
  }
  box->setCurrentIndex(index);
  box->setEditText(path);

  if (*row >= 0) list->SelectRow(*row);
  list->setUpdatesEnabled(true);
  emit folderShown(path);
  return true;
}

bool LocalPane::ShowLocalPath(const std::string& text) {
  std::string folder, error;
  if (!browser_.Parse(text, folder, error)) {
    ui_.Error(FailureText(text, error));
    return false;
  }
  return ShowLocalFolder(folder);
}

void LocalPane::FillLocalInfo(int first, int last) { browser_.FillInfo(first, last); }

const vorn::LocalEntry* LocalPane::LocalEntryAt(int index) const { return browser_.EntryAt(index); }

std::vector<vorn::LocalSelection> LocalPane::SelectedEntries() {
  return browser_.Selection(lstviewLocal->SelectedRows());
}

// ------------------------------------------------------------------ navigation

void LocalPane::lstviewLocalDblClick() {
  const vorn::LocalEntry* entry = LocalEntryAt(lstviewLocal->CurrentRow());
  if (!entry || !entry->IsFolder) return;
  const std::string folder = entry->FullPath;  // the entry goes with the reading
  if (ShowLocalFolder(folder)) lstviewLocal->ClearSelection();
}

void LocalPane::lstviewLocalKeyDown(int key) {
  if (key == Qt::Key_Return || key == Qt::Key_Enter || key == 13)
    lstviewLocalDblClick();
  else if (key == Qt::Key_Backspace || key == 8)
    tbtnLocalUpClick();
  else if (key == Qt::Key_F5)
    tbtnLocalRefreshClick();
  else if (key == Qt::Key_F2 && lstviewLocal->CurrentRow() >= 0) {
    PopupMenu1Popup();  // the same target as the menu's command
    Rename1Click();
  }
}

void LocalPane::tbtnLocalUpClick() {
  const std::optional<std::string> parent = browser_.Parent();
  if (!parent) return;  // the computer folder is the top
  if (ShowLocalFolder(*parent)) lstviewLocal->ClearSelection();
}

void LocalPane::tbtnLocalRefreshClick() {
  if (ShowLocalFolder(View().CurrentItem)) lstviewLocal->ClearSelection();
}

void LocalPane::tbtnLocalOpenDirClick() {
  const std::optional<std::string> chosen = ui_.ChooseFolder("Select Directory");
  if (chosen && !chosen->empty()) ShowLocalPath(*chosen);
}

void LocalPane::cbxLocalClick() {
  QComboBox* box = cbxLocal;
  const QString text = box->currentText();
  const int index = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  const bool shown = index >= 0 ? ShowLocalFolder(box->itemData(index).toString().toStdString())
                                : ShowLocalPath(text.toStdString());
  // After the error the box names the folder the list still shows.
  if (!shown) box->setEditText(Q(View().CurrentPath));
}

void LocalPane::cbxLocalKeyDown(int key) {
  if (key == Qt::Key_Down) cbxLocal->showPopup();
}

void LocalPane::lstviewLocalColumnClick(int column) {
  if (column < vorn::kColName || column > vorn::kColModified) return;
  View().SortColumn = column;
  View().ChosenColumn = column;
  ShowLocalFolder(View().CurrentItem);
}

void LocalPane::stabarLocalResize() { stabarLocal->SetPanelWidth(0, width() / 3); }

void LocalPane::SetViewStyle(ViewStyle style, QToolButton* button) {
  lstviewLocal->SetViewStyle(style);
  button->setChecked(true);  // one exclusive group: the others come up
}

void LocalPane::tbtnLocalLgIconClick() { SetViewStyle(ViewStyle::LargeIcons, tbtnLocalLgIcon); }
void LocalPane::tbtnLocalSmIconClick() { SetViewStyle(ViewStyle::SmallIcons, tbtnLocalSmIcon); }
void LocalPane::tbtnLocalLsIconClick() { SetViewStyle(ViewStyle::List, tbtnLocalLsIcon); }
void LocalPane::tbtnLocalDtIconClick() { SetViewStyle(ViewStyle::Report, tbtnLocalDtIcon); }

bool LocalPane::eventFilter(QObject* watched, QEvent* event) {
  QComboBox* box = cbxLocal;
  if (event->type() == QEvent::KeyPress && (watched == box || (box && watched == box->lineEdit()))) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Down) {
      cbxLocalKeyDown(key);
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

// ------------------------------------------------------------------ context menu

void LocalPane::PopupMenu1Popup() {
  QMenu* menu = PopupMenu1;
  menu->clear();
  const int row = lstviewLocal->CurrentRow();
  const vorn::LocalEntry* entry = LocalEntryAt(row);
  const bool atComputer = browser_.AtComputer();
  popup_ = {};
  if (entry) {
    View().PopupIndex = row;
    popup_ = {true, entry->Name, entry->FullPath, entry->IsFolder};
    menu->addAction(Open1);
    menu->setDefaultAction(Open1);
    // The volumes of the computer folder are opened, never renamed or deleted.
    if (!atComputer) {
      menu->addSeparator();
      menu->addAction(NewFolder1);
      menu->addSeparator();
      menu->addAction(Delete1);
      menu->addAction(Rename1);
      menu->addSeparator();
      menu->addAction(CopyToVorn1);
    }
  } else if (!atComputer) {
    // No row: only the open folder's default command.
    popup_ = {false, View().CurrentPath, View().CurrentItem, true};
    menu->addAction(Open1);
    menu->setDefaultAction(Open1);
  }
}

void LocalPane::Open1Click() {
  if (popup_.fullPath.empty()) return;
  if (!OpenItem(popup_.fullPath))
    ui_.Error(FailureText(popup_.fullPath, "No program to open this item was found."));
  Relist();
}

void LocalPane::NewFolder1Click() {
  if (!popup_.onRow || browser_.AtComputer()) return;
  std::string created, error;
  if (!folders_->MakeFolder(View().CurrentItem, "New Folder", created, error))
    ui_.Error(FailureText(View().CurrentPath, error));
  Relist();
}

void LocalPane::Delete1Click() { DeletePopupItem(QApplication::keyboardModifiers() & Qt::ShiftModifier); }

void LocalPane::DeleteItem(bool permanently) {
  if (lstviewLocal->CurrentRow() < 0) return;
  PopupMenu1Popup();  // the same target as the menu's command
  DeletePopupItem(permanently);
}

void LocalPane::DeletePopupItem(bool permanently) {
  if (!popup_.onRow || browser_.AtComputer()) return;
  vorn::Ui& ui = ui_;
  const std::string what = popup_.isFolder ? "the folder '" + popup_.name + "' and all its contents" : "'" + popup_.name + "'";
  std::string error;
  if (!permanently) {
    // One wrong click must not lose a folder tree: the item can be restored.
    const std::string trash = folders_->TrashName();
    if (!ui.Question("Are you sure you want to move " + what + " to the " + trash + "?")) return;
    if (MoveToTrash(popup_.fullPath, error)) {
      Relist();
      return;
    }
    if (!ui.Question("'" + popup_.name + "' can't be moved to the " + trash + ":\n" + error +
                     "\n\nDo you want to delete it permanently?"))
      return;
  } else if (!ui.Question("Are you sure you want to permanently delete " + what + "?")) {
    return;
  }
  if (!folders_->Remove(popup_.fullPath, error)) ui.Error(FailureText(popup_.fullPath, error));
  Relist();
}

void LocalPane::Rename1Click() {
  if (!popup_.onRow || browser_.AtComputer()) return;
  const std::optional<std::string> name =
      ui_.AskName("Rename '" + popup_.name + "'", "Please input new name:", 255, popup_.name);
  if (!name || name->empty() || *name == popup_.name) return;
  std::string error;
  if (!folders_->Rename(popup_.fullPath, *name, error))
    ui_.Error(FailureText(popup_.fullPath, error));
  Relist();
}

void LocalPane::Relist() {
  View().SortColumn = View().ChosenColumn;
  View().RestoreIndex = View().PopupIndex;
  ShowLocalFolder(View().CurrentItem);
}

// ------------------------------------------------------------------ rows

int LocalPane::RowCount() const { return static_cast<int>(View().Entries.size()); }

void LocalPane::FillInfo(int first, int last) { FillLocalInfo(first, last); }

std::string LocalPane::RowName(int index) const {
  const vorn::LocalEntry* entry = LocalEntryAt(index);
  return entry ? entry->Name : std::string();
}

FileRow LocalPane::Row(int index) const {
  FileRow row;
  const vorn::LocalEntry* entry = LocalEntryAt(index);
  if (!entry) return row;
  row.name = entry->Name;
  row.isDirectory = entry->IsFolder;
  if (entry->InfoPending) return row;
  row.sizeText = vorn::SizeColumnText(entry->IsFolder, entry->Size);
  row.typeText = entry->TypeText;
  row.modified = entry->Modified;
  row.icon = IconFor(*entry);
  row.displayFlags = entry->DisplayFlags;
  return row;
}

QIcon LocalPane::IconFor(const vorn::LocalEntry& entry) const {
  const std::string& key = entry.IconKey;
  if (key.empty()) return {};
  auto found = iconCache_.find(key);
  if (found != iconCache_.end()) return found->second;
  QIcon icon;
  if (key == "computer")
    icon = iconProvider_.icon(QFileIconProvider::Computer);
  else if (key == "drive")
    icon = iconProvider_.icon(QFileIconProvider::Drive);
  else if (key == "home" || key == "folder")
    icon = iconProvider_.icon(QFileIconProvider::Folder);
  else if (key.rfind("file:", 0) == 0)
    // One look-up per kind of file: the host judges it by this file.
    icon = iconProvider_.icon(QFileInfo(QFile::decodeName(QByteArray::fromStdString(entry.FullPath))));
  if (icon.isNull()) icon = iconProvider_.icon(QFileIconProvider::File);
  iconCache_.emplace(key, icon);
  return icon;
}

}  // namespace vorn::ui
