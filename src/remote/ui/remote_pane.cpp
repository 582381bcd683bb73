#include "remote/ui/remote_pane.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <algorithm>

#include "remote/ui/controller_drop_target.h"
#include "remote/ui/properties_dialog.h"
#include "remote/ui/text_viewer.h"
#include "widgets/flow_layout.h"
#include "widgets/pane_tools.h"

namespace vorn::ui {

namespace {

// The folder whose icon and type text stand for every controller directory.
QFileInfo SampleHostFolder() {
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (!desktop.isEmpty() && QFileInfo(desktop).isDir()) return QFileInfo(desktop);
  return QFileInfo(QDir::homePath());
}

// A controller entry as the host would see a file or folder of that name, so
// that both panes name a kind of file alike.
vorn::HostItem AsHostItem(const vorn::RemoteEntry& e, const QFileInfo& sampleFolder) {
  vorn::HostItem item;
  item.isFolder = e.IsDirectory;
  if (e.IsDirectory) {
    item.name = sampleFolder.fileName().toStdString();
    item.fullPath = sampleFolder.absoluteFilePath().toStdString();
    item.iconKey = "folder";
  } else {
    item.name = e.Name;
    item.iconKey = "file";
  }
  return item;
}

}  // namespace

RemotePane::RemotePane(vorn::Ui& ui, std::function<vorn::Exchange&()> exchange,
                       const vorn::HostFolders& hostFolders, QWidget* parent)
    : QWidget(parent), ui_(ui), exchange_(std::move(exchange)), hostFolders_(hostFolders), icons_(1) {
  setObjectName("remotePane");
  ShowProperties = [](PropertiesDialog& dialog) { dialog.exec(); };
  ShowViewer = [](TextViewer& dialog) { dialog.exec(); };
  BuildControls();
  Wire();
}

RemotePane::~RemotePane() { lstviewVorn->SetSource(nullptr); }

vorn::RemoteOps RemotePane::Ops() {
  vorn::RemoteOps ops(exchange_(), listing_);
  ops.DescribeAll = [this] { FillRemoteInfo(0, RowCount() - 1); };
  return ops;
}

void RemotePane::BuildControls() {
  tlbarVorn = PaneToolBar("tlbarVorn", this);
  tbtnVornUp = ToolButton(tlbarVorn, "tbtnVornUp", "Move up", ToolIcon::Up);
  tbtnRefresh = ToolButton(tlbarVorn, "tbtnRefresh", "Refresh folder", ToolIcon::Refresh);
  tlbarVorn->addSeparator();
  ViewStyleButtons(tlbarVorn, "tbtnVorn", tbtnVornLgIcon, tbtnVornSmIcon, tbtnVornLsIcon, tbtnVornDtIcon);
  barLine_ = new QWidget(this);
  barLine_->setObjectName("vornBar");
  (new FlowLayout(barLine_, 6))->addWidget(tlbarVorn);
  cbxVorn = new QComboBox(this);
  cbxVorn->setObjectName("cbxVorn");
  lstviewVorn = new FileListView(false, this);
  lstviewVorn->setObjectName("lstviewVorn");
  stabarVorn = new StatusPanels({150, 50}, this);
  stabarVorn->setObjectName("stabarVorn");

  LayOutPane(this, "VORN-7730 Series:", "lblVorn", barLine_, cbxVorn, lstviewVorn, stabarVorn);

  remoteMenu = new QMenu(this);
  remoteMenu->setObjectName("remoteMenu");
  makeDirectoryAction = MenuItem(remoteMenu, "makeDirectoryAction", "&Make Directory");
  remoteMenu->addSeparator();
  controllerCopyAction = MenuItem(remoteMenu, "controllerCopyAction", "VORN Cop&y");
  controllerPasteAction = MenuItem(remoteMenu, "controllerPasteAction", "VORN Pas&te");
  controllerCopyAction->setEnabled(false);
  controllerPasteAction->setEnabled(false);
  remoteMenu->addSeparator();
  viewAction = MenuItem(remoteMenu, "viewAction", "&View");
  remoteMenu->addSeparator();
  deleteAction = MenuItem(remoteMenu, "deleteAction", "&Delete");
  renameAction = MenuItem(remoteMenu, "renameAction", "&Rename");
  remoteMenu->addSeparator();
  commandMenu = remoteMenu->addMenu("D&OS command");
  commandMenu->setObjectName("commandMenu");
  abortAction = MenuItem(commandMenu, "abortAction", "&ABORT");
  formatAction = MenuItem(commandMenu, "formatAction", "&FORMAT");
  memAction = MenuItem(commandMenu, "memAction", "M&EM");
  autoRunMenu = remoteMenu->addMenu("Set to &AutoRun");
  autoRunMenu->setObjectName("autoRunMenu");
  autoRun7730MAction = MenuItem(autoRunMenu, "autoRun7730MAction", "Vorn-7730M");
  autoRun7730TcpAction = MenuItem(autoRunMenu, "autoRun7730TcpAction", "Vorn-7730/TCP");
  remoteMenu->addSeparator();
  propertiesAction = MenuItem(remoteMenu, "propertiesAction", "&Properities");
}

void RemotePane::AddToBarLine(QWidget* widget) { barLine_->layout()->addWidget(widget); }

void RemotePane::SetExchangeControlsEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{tbtnVornUp, tbtnRefresh, tbtnVornLgIcon, tbtnVornSmIcon,
                                                    tbtnVornLsIcon, tbtnVornDtIcon, cbxVorn, lstviewVorn})
    w->setEnabled(enabled);
}

std::string RemotePane::ShownFolder() const { return cbxVorn->currentText().toStdString(); }

void RemotePane::Wire() {
  lstviewVorn->SetSource(this);
  connect(lstviewVorn, &FileListView::activated, this, [this](int) { openRow(); });
  connect(lstviewVorn, &FileListView::backspacePressed, this, [this] { listKey(8); });
  connect(lstviewVorn, &FileListView::refreshPressed, this, [this] { listKey(Qt::Key_F5); });
  connect(lstviewVorn, &FileListView::deletePressed, this, [this](bool) { listKey(Qt::Key_Delete); });
  connect(lstviewVorn, &FileListView::renamePressed, this, [this] { listKey(Qt::Key_F2); });
  connect(lstviewVorn, &FileListView::makeFolderPressed, this, [this] { listKey(Qt::Key_F7); });
  connect(lstviewVorn, &FileListView::copyPressed, this, &RemotePane::copyRequested);
  connect(lstviewVorn, &FileListView::columnClicked, this, [this](int column) { sortByColumn(column); });
  connect(lstviewVorn, &FileListView::contextMenuRequested, this, [this](const QPoint& pos) { remoteMenu->popup(pos); });
  connect(remoteMenu, &QMenu::aboutToShow, this, [this] { fillRemoteMenu(); });
  new ControllerDropTarget(*lstviewVorn, *this, [this](const std::vector<std::string>& paths,
                                                       const std::string& remotePath) {
    QStringList list;
    for (const std::string& path : paths) list << QString::fromStdString(path);
    emit filesDropped(list, QString::fromStdString(remotePath));
  }, lstviewVorn);

  connect(tbtnVornUp, &QToolButton::clicked, this, [this] { goUp(); });
  connect(tbtnRefresh, &QToolButton::clicked, this, [this] { refresh(); });
  connect(tbtnVornLgIcon, &QToolButton::clicked, this, [this] { showLargeIcons(); });
  connect(tbtnVornSmIcon, &QToolButton::clicked, this, [this] { showSmallIcons(); });
  connect(tbtnVornLsIcon, &QToolButton::clicked, this, [this] { showList(); });
  connect(tbtnVornDtIcon, &QToolButton::clicked, this, [this] { showDetails(); });

  // The path box only offers the visited paths; nothing can be typed into it.
  cbxVorn->setEditable(false);
  cbxVorn->installEventFilter(this);
  connect(cbxVorn, QOverload<int>::of(&QComboBox::activated), this, [this](int) { openTypedPath(); });
  connect(stabarVorn, &StatusPanels::resized, this, [this] { sizeStatusPanels(); });

  connect(makeDirectoryAction, &QAction::triggered, this, [this] { makeDirectory(); });
  connect(viewAction, &QAction::triggered, this, [this] { viewFile(); });
  connect(deleteAction, &QAction::triggered, this, [this] { deleteSelected(); });
  connect(renameAction, &QAction::triggered, this, [this] { renameSelected(); });
  connect(abortAction, &QAction::triggered, this, [this] { abortProgram(); });
  connect(formatAction, &QAction::triggered, this, [this] { formatDrive(); });
  connect(memAction, &QAction::triggered, this, [this] { showMemory(); });
  connect(autoRun7730MAction, &QAction::triggered, this, [this] { setAutoRun7730M(); });
  connect(autoRun7730TcpAction, &QAction::triggered, this, [this] { setAutoRun7730Tcp(); });
  connect(propertiesAction, &QAction::triggered, this, [this] { openProperties(); });
  showDetails();
}

// ---------------------------------------------------------------- listing

void RemotePane::ShowRemoteFolder(const std::string& path) {
  // The list repaints while the exchange runs: it keeps the rows it had, and
  // the status panels say what is being read, until the listing is complete.
  rowsBefore_ = listing_.Entries;
  listingRunning_ = true;
  stabarVorn->SetText(0, QString::fromStdString("Reading D:" + (path.empty() ? std::string("\\") : path) + " ..."));
  stabarVorn->SetText(1, QString());
  int row = -1;
  const vorn::FillOutcome out = Ops().Show(path, &row);
  listingRunning_ = false;
  rowsBefore_.clear();
  lstviewVorn->setUpdatesEnabled(false);
  lstviewVorn->Reset();
  stabarVorn->SetText(0, QString::fromStdString(out.objectsText));
  stabarVorn->SetText(1, QString::fromStdString(out.sizeText));

  // The path listed: the root for an empty one.
  const QString text = QString::fromStdString(listing_.CurrentPath);
  int item = cbxVorn->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (item < 0) {
    cbxVorn->insertItem(0, text);
    item = 0;
  }
  cbxVorn->setCurrentIndex(item);

  if (row >= 0) lstviewVorn->SelectRow(row);
  lstviewVorn->setUpdatesEnabled(true);
  if (out.ok) emit folderListed(text);
}

void RemotePane::ClearListing() {
  listing_.Entries.clear();
  listing_.BytesFree = 0;
  listing_.FreeSpaceText.clear();
  listing_.CurrentPath.clear();
  lstviewVorn->Reset();
  cbxVorn->clear();
  stabarVorn->SetText(0, QString());
  stabarVorn->SetText(1, QString());
}

void RemotePane::Relist() {
  Ops().PrepareRelist();
  ShowRemoteFolder(listing_.CurrentPath);
}

// ---------------------------------------------------------------- rows

int RemotePane::RowCount() const { return static_cast<int>(ShownRows().size()); }

void RemotePane::FillInfo(int first, int last) {
  // The rows kept from before a running listing were described already.
  if (listingRunning_ || first < 0 || first > last || last >= RowCount()) return;
  FillRemoteInfo(first, last);
}

int RemotePane::IconFor(const std::string& key, const std::function<QIcon()>& make) {
  auto it = iconIndexByKey_.find(key);
  if (it != iconIndexByKey_.end()) return it->second;
  icons_.push_back(make());
  const int index = static_cast<int>(icons_.size()) - 1;
  iconIndexByKey_[key] = index;
  return index;
}

void RemotePane::FillRemoteInfo(int first, int last) {
  const vorn::HostFolders& host = hostFolders_;
  const QFileInfo folder = SampleHostFolder();
  QFileIconProvider provider;
  QMimeDatabase mimes;
  for (int row = std::max(first, 0); row <= last && row < RowCount(); ++row) {
    vorn::RemoteEntry& e = listing_.Entries[static_cast<size_t>(row)];
    if (!e.InfoPending) continue;
    e.TypeText = host.TypeName(AsHostItem(e, folder));
    if (e.IsDirectory) {
      e.IconIndex = IconFor("inode/directory", [&] { return provider.icon(folder); });
    } else {
      // The file exists only on the controller: judged by its name alone.
      const QMimeType type = mimes.mimeTypeForFile(QString::fromStdString(e.Name), QMimeDatabase::MatchExtension);
      e.IconIndex = IconFor(type.name().toStdString(), [&] {
        QIcon icon = QIcon::fromTheme(type.iconName());
        if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
        if (icon.isNull()) icon = provider.icon(QFileIconProvider::File);
        return icon;
      });
    }
    e.InfoPending = false;
  }
}

FileRow RemotePane::Row(int index) const {
  FileRow row;
  const auto& rows = ShownRows();
  const vorn::RemoteEntry* e = index >= 0 && index < static_cast<int>(rows.size()) ? &rows[index] : nullptr;
  if (!e) return row;
  row.name = e->Name;
  row.isDirectory = e->IsDirectory;
  row.sizeText = vorn::SizeColumnText(*e);
  row.typeText = e->TypeText;
  row.modified = e->Modified;
  if (e->IconIndex > 0 && static_cast<size_t>(e->IconIndex) < icons_.size()) row.icon = icons_[e->IconIndex];
  row.displayFlags = e->DisplayFlags;
  return row;
}

std::string RemotePane::RowName(int index) const {
  const auto& rows = ShownRows();
  return index >= 0 && index < static_cast<int>(rows.size()) ? rows[index].Name : std::string();
}

// ---------------------------------------------------------------- navigation

void RemotePane::openRow() {
  const vorn::RemoteEntry* e = RemoteEntryAt(lstviewVorn->CurrentRow());
  if (!e) return;
  if (e->IsDirectory) {
    listing_.CurrentPath = vorn::ChildPath(listing_.CurrentPath, e->Name);
    ShowRemoteFolder(listing_.CurrentPath);
    lstviewVorn->ClearSelection();
    return;
  }
  // A file runs on the controller, typed into the terminal as the user would.
  emit runRequested(QString::fromStdString(e->Name + "\r"));
}

void RemotePane::listKey(int key) {
  if (key == 13) openRow();
  else if (key == 8) goUp();
  else if (key == Qt::Key_F5) refresh();
  else if (key == Qt::Key_F7) makeDirectory();
  else if (key == Qt::Key_Delete || key == Qt::Key_F2) {
    // As the context menu would offer it for the selected row.
    const int row = lstviewVorn->CurrentRow();
    const vorn::RemoteMenuState state = vorn::MenuStateFor(RemoteEntryAt(row));
    if (!(key == Qt::Key_Delete ? state.remove : state.rename)) return;
    listing_.PopupIndex = row;
    if (key == Qt::Key_Delete) deleteSelected();
    else renameSelected();
  }
}

void RemotePane::goUp() {
  listing_.CurrentPath = vorn::ParentPath(listing_.CurrentPath);
  ShowRemoteFolder(listing_.CurrentPath);
  lstviewVorn->ClearSelection();
}

void RemotePane::refresh() {
  ShowRemoteFolder(listing_.CurrentPath);
  lstviewVorn->ClearSelection();
}

void RemotePane::openTypedPath() { ShowRemoteFolder(cbxVorn->currentText().toStdString()); }

bool RemotePane::eventFilter(QObject* watched, QEvent* event) {
  if (watched == cbxVorn && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    // Focus still moves on; every other key is dropped.
    return key != Qt::Key_Tab && key != Qt::Key_Backtab;
  }
  return QObject::eventFilter(watched, event);
}

void RemotePane::sortByColumn(int column) {
  if (column < 0 || column > 3) return;
  listing_.SortColumn = column;
  listing_.ChosenColumn = column;
  ShowRemoteFolder(listing_.CurrentPath);
}

void RemotePane::SetViewStyle(ViewStyle style, QToolButton* button) {
  lstviewVorn->SetViewStyle(style);
  button->setChecked(true);  // one exclusive group: the others come up
}

void RemotePane::showLargeIcons() { SetViewStyle(ViewStyle::LargeIcons, tbtnVornLgIcon); }
void RemotePane::showSmallIcons() { SetViewStyle(ViewStyle::SmallIcons, tbtnVornSmIcon); }
void RemotePane::showList() { SetViewStyle(ViewStyle::List, tbtnVornLsIcon); }
void RemotePane::showDetails() { SetViewStyle(ViewStyle::Report, tbtnVornDtIcon); }

void RemotePane::sizeStatusPanels() { stabarVorn->SetPanelWidth(0, width() / 3); }

// ---------------------------------------------------------------- context menu

void RemotePane::fillRemoteMenu() {
  const int row = lstviewVorn->CurrentRow();
  const vorn::RemoteEntry* e = RemoteEntryAt(row);
  if (e) listing_.PopupIndex = row;
  const vorn::RemoteMenuState state = vorn::MenuStateFor(e);
  makeDirectoryAction->setEnabled(state.makeDirectory);
  deleteAction->setEnabled(state.remove);
  renameAction->setEnabled(state.rename);
  autoRunMenu->setEnabled(state.setToAutoRun);
  autoRunMenu->menuAction()->setEnabled(state.setToAutoRun);
  propertiesAction->setEnabled(state.properties);
  if (viewAction) viewAction->setEnabled(state.view);
  controllerCopyAction->setEnabled(false);
  controllerPasteAction->setEnabled(false);
  commandMenu->setEnabled(true);
  commandMenu->menuAction()->setEnabled(true);
}

void RemotePane::openProperties() {
  const std::optional<vorn::RemoteProperties> p =
      Ops().Properties(RemoteEntryAt(lstviewVorn->CurrentRow()), cbxVorn->currentText().toStdString());
  if (!p) return;
  PropertiesDialog dialog(window());
  dialog.Module = p->Module;
  dialog.Name = p->Name;
  dialog.Path = p->Path;
  dialog.Type = p->Type;
  dialog.Size = p->Size;
  dialog.Date = p->Date;
  dialog.Contains = p->Contains;
  ShowProperties(dialog);
}

void RemotePane::viewFile() {
  const vorn::RemoteEntry* selected = RemoteEntryAt(lstviewVorn->CurrentRow());
  if (!selected || selected->IsDirectory) return;
  vorn::Ui& ui = ui_;
  const std::string name = selected->Name;
  if (const std::string refusal = vorn::BinaryRefusal(name); !refusal.empty()) {
    ui.Warning(refusal);
    return;
  }
  const vorn::TextRead read = vorn::ReadRemoteText(exchange_(), listing_.CurrentPath, name);
  if (!read.ok) {
    if (!read.failure.empty()) ui.Error(read.failure);
    return;
  }
  TextViewer dialog(ui, "D:" + vorn::ChildPath(listing_.CurrentPath, name), read.lines, window());
  ShowViewer(dialog);
}

void RemotePane::deleteSelected() {
  const vorn::RemoteEntry* selected = RemoteEntryAt(lstviewVorn->CurrentRow());
  if (!selected) return;
  const vorn::RemoteEntry e = *selected;
  listing_.RestoreIndex = listing_.PopupIndex;
  // A command whose echo came back damaged may have run: the listing tells.
  if (Ops().Delete(e) || Ops().OutcomeUnknown()) Relist();
}

void RemotePane::makeDirectory() {
  auto name = ui_.AskName(vorn::kMakeDirCaption, vorn::kMakeDirPrompt, vorn::kDirNameMaxLength, {});
  if (!name) return;  // an empty name is refused with a box, as any other
  const bool made = Ops().MakeDirectory(*name);
  if (made) emit said(QString::fromStdString("Directory " + vorn::UpperName(*name) + " made in D:" + listing_.CurrentPath + "."));
  if (made || Ops().OutcomeUnknown()) Relist();
}

void RemotePane::renameSelected() {
  const vorn::RemoteEntry* selected = RemoteEntryAt(lstviewVorn->CurrentRow());
  if (!selected) return;
  const std::string from = selected->Name;
  listing_.RestoreIndex = listing_.PopupIndex;
  // The current name to edit: most renames change a letter or two.
  auto to = ui_.AskName(vorn::RenameCaption(from), vorn::kRenamePrompt, vorn::kFileNameMaxLength, from);
  if (!to) return;
  if (Ops().Rename(from, *to) || Ops().OutcomeUnknown()) Relist();
}

void RemotePane::showMemory() { Ops().Mem(); }

void RemotePane::abortProgram() { Ops().Abort(); }

void RemotePane::formatDrive() {
  if (Ops().Format() || Ops().OutcomeUnknown()) Relist();
}

void RemotePane::SetAutoRun(bool append) {
  const vorn::RemoteEntry* selected = RemoteEntryAt(lstviewVorn->CurrentRow());
  if (!selected) return;
  const std::string name = selected->Name;
  if (Ops().SetAutoRun(name, append))
    emit said(QString::fromStdString(append ? name + " added to AutoRun.bat." : "AutoRun.bat now starts " + name + "."));
  // Listed again either way, so a new AutoRun.bat shows up.
  Relist();
}

void RemotePane::setAutoRun7730M() { SetAutoRun(false); }

void RemotePane::setAutoRun7730Tcp() { SetAutoRun(true); }

}  // namespace vorn::ui
