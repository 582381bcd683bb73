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
#include "remote/ui/tdlg_vorn_prop.h"
#include "remote/ui/tdlg_vorn_view.h"
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
  setObjectName("pnlVorn");
  ShowProperties = [](TdlgVornProp& dialog) { dialog.exec(); };
  ShowViewer = [](TdlgVornView& dialog) { dialog.exec(); };
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

  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName("PopupMenu2");
  MakeDirectory1 = MenuItem(PopupMenu2, "MakeDirectory1", "&Make Directory");
  PopupMenu2->addSeparator();
  VORNCopy1 = MenuItem(PopupMenu2, "VORNCopy1", "VORN Cop&y");
  VORNPaste1 = MenuItem(PopupMenu2, "VORNPaste1", "VORN Pas&te");
  VORNCopy1->setEnabled(false);
  VORNPaste1->setEnabled(false);
  PopupMenu2->addSeparator();
  View1 = MenuItem(PopupMenu2, "View1", "&View");
  PopupMenu2->addSeparator();
  Delete1 = MenuItem(PopupMenu2, "Delete1", "&Delete");
  Rename1 = MenuItem(PopupMenu2, "Rename1", "&Rename");
  PopupMenu2->addSeparator();
  DOScommand1 = PopupMenu2->addMenu("D&OS command");
  DOScommand1->setObjectName("DOScommand1");
  ABORT1 = MenuItem(DOScommand1, "ABORT1", "&ABORT");
  FORMAT1 = MenuItem(DOScommand1, "FORMAT1", "&FORMAT");
  MEM1 = MenuItem(DOScommand1, "MEM1", "M&EM");
  SetToAutoRun1 = PopupMenu2->addMenu("Set to &AutoRun");
  SetToAutoRun1->setObjectName("SetToAutoRun1");
  Vorn7730M1 = MenuItem(SetToAutoRun1, "Vorn7730M1", "Vorn-7730M");
  Vorn7730TCP1 = MenuItem(SetToAutoRun1, "Vorn7730TCP1", "Vorn-7730/TCP");
  PopupMenu2->addSeparator();
  Properities1 = MenuItem(PopupMenu2, "Properities1", "&Properities");
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
  connect(lstviewVorn, &FileListView::activated, this, [this](int) { lstviewVornDblClick(); });
  connect(lstviewVorn, &FileListView::backspacePressed, this, [this] { lstviewVornKeyDown(8); });
  connect(lstviewVorn, &FileListView::refreshPressed, this, [this] { lstviewVornKeyDown(Qt::Key_F5); });
  connect(lstviewVorn, &FileListView::deletePressed, this, [this](bool) { lstviewVornKeyDown(Qt::Key_Delete); });
  connect(lstviewVorn, &FileListView::renamePressed, this, [this] { lstviewVornKeyDown(Qt::Key_F2); });
  connect(lstviewVorn, &FileListView::makeFolderPressed, this, [this] { lstviewVornKeyDown(Qt::Key_F7); });
  connect(lstviewVorn, &FileListView::copyPressed, this, &RemotePane::copyRequested);
  connect(lstviewVorn, &FileListView::columnClicked, this, [this](int column) { lstviewVornColumnClick(column); });
  connect(lstviewVorn, &FileListView::contextMenuRequested, this, [this](const QPoint& pos) { PopupMenu2->popup(pos); });
  connect(PopupMenu2, &QMenu::aboutToShow, this, [this] { PopupMenu2Popup(); });
  new ControllerDropTarget(*lstviewVorn, *this, [this](const std::vector<std::string>& paths,
                                                       const std::string& remotePath) {
    QStringList list;
    for (const std::string& path : paths) list << QString::fromStdString(path);
    emit filesDropped(list, QString::fromStdString(remotePath));
  }, lstviewVorn);

  connect(tbtnVornUp, &QToolButton::clicked, this, [this] { tbtnVornUpClick(); });
  connect(tbtnRefresh, &QToolButton::clicked, this, [this] { tbtnRefreshClick(); });
  connect(tbtnVornLgIcon, &QToolButton::clicked, this, [this] { tbtnVornLgIconClick(); });
  connect(tbtnVornSmIcon, &QToolButton::clicked, this, [this] { tbtnVornSmIconClick(); });
  connect(tbtnVornLsIcon, &QToolButton::clicked, this, [this] { tbtnVornLsIconClick(); });
  connect(tbtnVornDtIcon, &QToolButton::clicked, this, [this] { tbtnVornDtIconClick(); });

  // The path box only offers the visited paths; nothing can be typed into it.
  cbxVorn->setEditable(false);
  cbxVorn->installEventFilter(this);
  connect(cbxVorn, QOverload<int>::of(&QComboBox::activated), this, [this](int) { cbxVornClick(); });
  connect(stabarVorn, &StatusPanels::resized, this, [this] { stabarVornResize(); });

  connect(MakeDirectory1, &QAction::triggered, this, [this] { MakeDirectory1Click(); });
  connect(View1, &QAction::triggered, this, [this] { View1Click(); });
  connect(Delete1, &QAction::triggered, this, [this] { Delete1Click(); });
  connect(Rename1, &QAction::triggered, this, [this] { Rename1Click(); });
  connect(ABORT1, &QAction::triggered, this, [this] { ABORT1Click(); });
  connect(FORMAT1, &QAction::triggered, this, [this] { FORMAT1Click(); });
  connect(MEM1, &QAction::triggered, this, [this] { MEM1Click(); });
  connect(Vorn7730M1, &QAction::triggered, this, [this] { Vorn7730M1Click(); });
  connect(Vorn7730TCP1, &QAction::triggered, this, [this] { Vorn7730TCP1Click(); });
  connect(Properities1, &QAction::triggered, this, [this] { Properities1Click(); });
  tbtnVornDtIconClick();
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

void RemotePane::lstviewVornDblClick() {
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

void RemotePane::lstviewVornKeyDown(int key) {
  if (key == 13) lstviewVornDblClick();
  else if (key == 8) tbtnVornUpClick();
  else if (key == Qt::Key_F5) tbtnRefreshClick();
  else if (key == Qt::Key_F7) MakeDirectory1Click();
  else if (key == Qt::Key_Delete || key == Qt::Key_F2) {
    // As the context menu would offer it for the selected row.
    const int row = lstviewVorn->CurrentRow();
    const vorn::RemoteMenuState state = vorn::MenuStateFor(RemoteEntryAt(row));
    if (!(key == Qt::Key_Delete ? state.remove : state.rename)) return;
    listing_.PopupIndex = row;
    if (key == Qt::Key_Delete) Delete1Click();
    else Rename1Click();
  }
}

void RemotePane::tbtnVornUpClick() {
  listing_.CurrentPath = vorn::ParentPath(listing_.CurrentPath);
  ShowRemoteFolder(listing_.CurrentPath);
  lstviewVorn->ClearSelection();
}

void RemotePane::tbtnRefreshClick() {
  ShowRemoteFolder(listing_.CurrentPath);
  lstviewVorn->ClearSelection();
}

void RemotePane::cbxVornClick() { ShowRemoteFolder(cbxVorn->currentText().toStdString()); }

bool RemotePane::eventFilter(QObject* watched, QEvent* event) {
  if (watched == cbxVorn && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    // Focus still moves on; every other key is dropped.
    return key != Qt::Key_Tab && key != Qt::Key_Backtab;
  }
  return QObject::eventFilter(watched, event);
}

void RemotePane::lstviewVornColumnClick(int column) {
  if (column < 0 || column > 3) return;
  listing_.SortColumn = column;
  listing_.ChosenColumn = column;
  ShowRemoteFolder(listing_.CurrentPath);
}

void RemotePane::SetViewStyle(ViewStyle style, QToolButton* button) {
  lstviewVorn->SetViewStyle(style);
  button->setChecked(true);  // one exclusive group: the others come up
}

void RemotePane::tbtnVornLgIconClick() { SetViewStyle(ViewStyle::LargeIcons, tbtnVornLgIcon); }
void RemotePane::tbtnVornSmIconClick() { SetViewStyle(ViewStyle::SmallIcons, tbtnVornSmIcon); }
void RemotePane::tbtnVornLsIconClick() { SetViewStyle(ViewStyle::List, tbtnVornLsIcon); }
void RemotePane::tbtnVornDtIconClick() { SetViewStyle(ViewStyle::Report, tbtnVornDtIcon); }

void RemotePane::stabarVornResize() { stabarVorn->SetPanelWidth(0, width() / 3); }

// ---------------------------------------------------------------- context menu

void RemotePane::PopupMenu2Popup() {
  const int row = lstviewVorn->CurrentRow();
  const vorn::RemoteEntry* e = RemoteEntryAt(row);
  if (e) listing_.PopupIndex = row;
  const vorn::RemoteMenuState state = vorn::MenuStateFor(e);
  MakeDirectory1->setEnabled(state.makeDirectory);
  Delete1->setEnabled(state.remove);
  Rename1->setEnabled(state.rename);
  SetToAutoRun1->setEnabled(state.setToAutoRun);
  SetToAutoRun1->menuAction()->setEnabled(state.setToAutoRun);
  Properities1->setEnabled(state.properties);
  if (View1) View1->setEnabled(state.view);
  VORNCopy1->setEnabled(false);
  VORNPaste1->setEnabled(false);
  DOScommand1->setEnabled(true);
  DOScommand1->menuAction()->setEnabled(true);
}

void RemotePane::Properities1Click() {
  const std::optional<vorn::RemoteProperties> p =
      Ops().Properties(RemoteEntryAt(lstviewVorn->CurrentRow()), cbxVorn->currentText().toStdString());
  if (!p) return;
  TdlgVornProp dialog(window());
  dialog.Module = p->Module;
  dialog.Name = p->Name;
  dialog.Path = p->Path;
  dialog.Type = p->Type;
  dialog.Size = p->Size;
  dialog.Date = p->Date;
  dialog.Contains = p->Contains;
  ShowProperties(dialog);
}

void RemotePane::View1Click() {
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
  TdlgVornView dialog(ui, "D:" + vorn::ChildPath(listing_.CurrentPath, name), read.lines, window());
  ShowViewer(dialog);
}

void RemotePane::Delete1Click() {
  const vorn::RemoteEntry* selected = RemoteEntryAt(lstviewVorn->CurrentRow());
  if (!selected) return;
  const vorn::RemoteEntry e = *selected;
  listing_.RestoreIndex = listing_.PopupIndex;
  // A command whose echo came back damaged may have run: the listing tells.
  if (Ops().Delete(e) || Ops().OutcomeUnknown()) Relist();
}

void RemotePane::MakeDirectory1Click() {
  auto name = ui_.AskName(vorn::kMakeDirCaption, vorn::kMakeDirPrompt, vorn::kDirNameMaxLength, {});
  if (!name) return;  // an empty name is refused with a box, as any other
  const bool made = Ops().MakeDirectory(*name);
  if (made) emit said(QString::fromStdString("Directory " + vorn::UpperName(*name) + " made in D:" + listing_.CurrentPath + "."));
  if (made || Ops().OutcomeUnknown()) Relist();
}

void RemotePane::Rename1Click() {
  const vorn::RemoteEntry* selected = RemoteEntryAt(lstviewVorn->CurrentRow());
  if (!selected) return;
  const std::string from = selected->Name;
  listing_.RestoreIndex = listing_.PopupIndex;
  // The current name to edit: most renames change a letter or two.
  auto to = ui_.AskName(vorn::RenameCaption(from), vorn::kRenamePrompt, vorn::kFileNameMaxLength, from);
  if (!to) return;
  if (Ops().Rename(from, *to) || Ops().OutcomeUnknown()) Relist();
}

void RemotePane::MEM1Click() { Ops().Mem(); }

void RemotePane::ABORT1Click() { Ops().Abort(); }

void RemotePane::FORMAT1Click() {
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

void RemotePane::Vorn7730M1Click() { SetAutoRun(false); }

void RemotePane::Vorn7730TCP1Click() { SetAutoRun(true); }

}  // namespace vorn::ui
