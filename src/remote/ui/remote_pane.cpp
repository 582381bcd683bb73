#include "remote/ui/remote_pane.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <algorithm>

#include "local/ui/local_pane.h"
#include "remote/ui/tdlg_vorn_prop.h"
#include "remote/ui/tdlg_vorn_view.h"

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

RemotePane::RemotePane(RemotePaneParts parts) : p_(std::move(parts)), icons_(1) {
  ShowProperties = [](TdlgVornProp& dialog) { dialog.exec(); };
  ShowViewer = [](TdlgVornView& dialog) { dialog.exec(); };
}

RemotePane::~RemotePane() {
  if (p_.lstviewVorn) p_.lstviewVorn->SetSource(nullptr);
}

vorn::RemoteOps RemotePane::Ops() {
  vorn::RemoteOps ops(p_.exchange(), listing_);
  ops.DescribeAll = [this] { FillRemoteInfo(0, RowCount() - 1); };
  return ops;
}

void RemotePane::Wire() {
  RemotePaneParts& m = p_;
  m.lstviewVorn->SetSource(this);
  connect(m.lstviewVorn, &FileListView::activated, this, [this](int) { lstviewVornDblClick(); });
  connect(m.lstviewVorn, &FileListView::backspacePressed, this, [this] { lstviewVornKeyDown(8); });
  connect(m.lstviewVorn, &FileListView::refreshPressed, this, [this] { lstviewVornKeyDown(Qt::Key_F5); });
  connect(m.lstviewVorn, &FileListView::deletePressed, this, [this](bool) { lstviewVornKeyDown(Qt::Key_Delete); });
  connect(m.lstviewVorn, &FileListView::renamePressed, this, [this] { lstviewVornKeyDown(Qt::Key_F2); });
  connect(m.lstviewVorn, &FileListView::makeFolderPressed, this, [this] { lstviewVornKeyDown(Qt::Key_F7); });
  connect(m.lstviewVorn, &FileListView::copyPressed, this, [this] { p_.copy(); });
  connect(m.lstviewVorn, &FileListView::columnClicked, this, [this](int column) { lstviewVornColumnClick(column); });
  connect(m.lstviewVorn, &FileListView::contextMenuRequested, this, [this](const QPoint& pos) {
    p_.PopupMenu2->popup(pos);
  });
  connect(m.PopupMenu2, &QMenu::aboutToShow, this, [this] { PopupMenu2Popup(); });

  connect(m.tbtnVornUp, &QToolButton::clicked, this, [this] { tbtnVornUpClick(); });
  connect(m.tbtnRefresh, &QToolButton::clicked, this, [this] { tbtnRefreshClick(); });
  connect(m.tbtnVornLgIcon, &QToolButton::clicked, this, [this] { tbtnVornLgIconClick(); });
  connect(m.tbtnVornSmIcon, &QToolButton::clicked, this, [this] { tbtnVornSmIconClick(); });
  connect(m.tbtnVornLsIcon, &QToolButton::clicked, this, [this] { tbtnVornLsIconClick(); });
  connect(m.tbtnVornDtIcon, &QToolButton::clicked, this, [this] { tbtnVornDtIconClick(); });

  // The path box only offers the visited paths; nothing can be typed into it.
  m.cbxVorn->setEditable(false);
  m.cbxVorn->installEventFilter(this);
  connect(m.cbxVorn, QOverload<int>::of(&QComboBox::activated), this, [this](int) { cbxVornClick(); });
  connect(m.stabarVorn, &StatusPanels::resized, this, [this] { stabarVornResize(); });

  connect(m.MakeDirectory1, &QAction::triggered, this, [this] { MakeDirectory1Click(); });
  connect(m.Delete1, &QAction::triggered, this, [this] { Delete1Click(); });
  connect(m.Rename1, &QAction::triggered, this, [this] { Rename1Click(); });
  connect(m.ABORT1, &QAction::triggered, this, [this] { ABORT1Click(); });
  connect(m.FORMAT1, &QAction::triggered, this, [this] { FORMAT1Click(); });
  connect(m.MEM1, &QAction::triggered, this, [this] { MEM1Click(); });
  connect(m.Vorn7730M1, &QAction::triggered, this, [this] { Vorn7730M1Click(); });
  connect(m.Vorn7730TCP1, &QAction::triggered, this, [this] { Vorn7730TCP1Click(); });
  connect(m.Properities1, &QAction::triggered, this, [this] { Properities1Click(); });
  View1 = new QAction("&View", m.PopupMenu2);
  View1->setObjectName("View1");
  m.PopupMenu2->insertAction(m.Delete1, View1);
  m.PopupMenu2->insertSeparator(m.Delete1);
  connect(View1, &QAction::triggered, this, [this] { View1Click(); });
  m.VORNCopy1->setEnabled(false);
  m.VORNPaste1->setEnabled(false);
  tbtnVornDtIconClick();
}

// ---------------------------------------------------------------- listing

void RemotePane::ShowRemoteFolder(const std::string& path) {
  RemotePaneParts& m = p_;
  // The list repaints while the exchange runs: it shows no rows until the
  // listing is complete.
  listing_.Entries.clear();
  m.lstviewVorn->Reset();
  int row = -1;
  const vorn::FillOutcome out = Ops().Show(path, &row);
  m.lstviewVorn->setUpdatesEnabled(false);
  m.lstviewVorn->Reset();
  m.stabarVorn->SetText(0, QString::fromStdString(out.objectsText));
  m.stabarVorn->SetText(1, QString::fromStdString(out.sizeText));

  const QString text = QString::fromStdString(path);
  int item = m.cbxVorn->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (item < 0) {
    m.cbxVorn->insertItem(0, text);
    item = 0;
  }
  m.cbxVorn->setCurrentIndex(item);

  if (row >= 0) m.lstviewVorn->SelectRow(row);
  m.lstviewVorn->setUpdatesEnabled(true);
}

void RemotePane::Relist() {
  Ops().PrepareRelist();
  ShowRemoteFolder(listing_.CurrentPath);
}

// ---------------------------------------------------------------- rows

int RemotePane::RowCount() const { return static_cast<int>(listing_.Entries.size()); }

void RemotePane::FillInfo(int first, int last) {
  if (first < 0 || first > last || last >= RowCount()) return;
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
  const vorn::HostFolders& host = p_.hostFolders();
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
  const vorn::RemoteEntry* e = RemoteEntryAt(index);
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
  const vorn::RemoteEntry* e = RemoteEntryAt(index);
  return e ? e->Name : std::string();
}

// ---------------------------------------------------------------- navigation

void RemotePane::lstviewVornDblClick() {
  RemotePaneParts& m = p_;
  const vorn::RemoteEntry* e = RemoteEntryAt(m.lstviewVorn->CurrentRow());
  if (!e) return;
  if (e->IsDirectory) {
    listing_.CurrentPath = vorn::ChildPath(listing_.CurrentPath, e->Name);
    ShowRemoteFolder(listing_.CurrentPath);
    m.lstviewVorn->ClearSelection();
    return;
  }
  // A file runs on the controller, typed into the terminal as the user would.
  const std::string keys = e->Name + "\r";
  if (!m.terminalRunning()) m.startTerminal();
  if (!m.terminalRunning()) return;
  for (char c : keys) m.typeKey(c);
}

void RemotePane::lstviewVornKeyDown(int key) {
  if (key == 13) lstviewVornDblClick();
  else if (key == 8) tbtnVornUpClick();
  else if (key == Qt::Key_F5) tbtnRefreshClick();
  else if (key == Qt::Key_F7) MakeDirectory1Click();
  else if (key == Qt::Key_Delete || key == Qt::Key_F2) {
    // As the context menu would offer it for the selected row.
    const int row = p_.lstviewVorn->CurrentRow();
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
  p_.lstviewVorn->ClearSelection();
}

void RemotePane::tbtnRefreshClick() {
  ShowRemoteFolder(listing_.CurrentPath);
  p_.lstviewVorn->ClearSelection();
}

void RemotePane::cbxVornClick() { ShowRemoteFolder(p_.cbxVorn->currentText().toStdString()); }

bool RemotePane::eventFilter(QObject* watched, QEvent* event) {
  if (watched == p_.cbxVorn && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
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
  p_.lstviewVorn->SetViewStyle(style);
  button->setChecked(true);  // one exclusive group: the others come up
}

void RemotePane::tbtnVornLgIconClick() { SetViewStyle(ViewStyle::LargeIcons, p_.tbtnVornLgIcon); }
void RemotePane::tbtnVornSmIconClick() { SetViewStyle(ViewStyle::SmallIcons, p_.tbtnVornSmIcon); }
void RemotePane::tbtnVornLsIconClick() { SetViewStyle(ViewStyle::List, p_.tbtnVornLsIcon); }
void RemotePane::tbtnVornDtIconClick() { SetViewStyle(ViewStyle::Report, p_.tbtnVornDtIcon); }

void RemotePane::stabarVornResize() { p_.stabarVorn->SetPanelWidth(0, p_.pnlVorn->width() / 3); }

// ---------------------------------------------------------------- context menu

void RemotePane::PopupMenu2Popup() {
  RemotePaneParts& m = p_;
  const int row = m.lstviewVorn->CurrentRow();
  const vorn::RemoteEntry* e = RemoteEntryAt(row);
  if (e) listing_.PopupIndex = row;
  const vorn::RemoteMenuState state = vorn::MenuStateFor(e);
  m.MakeDirectory1->setEnabled(state.makeDirectory);
  m.Delete1->setEnabled(state.remove);
  m.Rename1->setEnabled(state.rename);
  m.SetToAutoRun1->setEnabled(state.setToAutoRun);
  m.SetToAutoRun1->menuAction()->setEnabled(state.setToAutoRun);
  m.Properities1->setEnabled(state.properties);
  if (View1) View1->setEnabled(state.view);
  m.VORNCopy1->setEnabled(false);
  m.VORNPaste1->setEnabled(false);
  m.DOScommand1->setEnabled(true);
  m.DOScommand1->menuAction()->setEnabled(true);
}

void RemotePane::Properities1Click() {
  RemotePaneParts& m = p_;
  const std::optional<vorn::RemoteProperties> p =
      Ops().Properties(RemoteEntryAt(m.lstviewVorn->CurrentRow()), m.cbxVorn->currentText().toStdString());
  if (!p) return;
  TdlgVornProp dialog(m.window);
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
  const vorn::RemoteEntry* selected = RemoteEntryAt(p_.lstviewVorn->CurrentRow());
  if (!selected || selected->IsDirectory) return;
  vorn::Ui& ui = *p_.ui;
  const std::string name = selected->Name;
  if (const std::string refusal = vorn::BinaryRefusal(name); !refusal.empty()) {
    ui.Warning(refusal);
    return;
  }
  const vorn::TextRead read = vorn::ReadRemoteText(p_.exchange(), listing_.CurrentPath, name);
  if (!read.ok) {
    if (!read.failure.empty()) ui.Error(read.failure);
    return;
  }
  TdlgVornView dialog(ui, "D:" + vorn::ChildPath(listing_.CurrentPath, name), read.lines, p_.window);
  ShowViewer(dialog);
}

void RemotePane::Delete1Click() {
  const vorn::RemoteEntry* selected = RemoteEntryAt(p_.lstviewVorn->CurrentRow());
  if (!selected) return;
  const vorn::RemoteEntry e = *selected;
  listing_.RestoreIndex = listing_.PopupIndex;
  if (Ops().Delete(e)) Relist();
}

void RemotePane::MakeDirectory1Click() {
  auto name = p_.ui->AskName(vorn::kMakeDirCaption, vorn::kMakeDirPrompt, vorn::kDirNameMaxLength);
  if (!name || name->empty()) return;
  if (Ops().MakeDirectory(*name)) Relist();
}

void RemotePane::Rename1Click() {
  const vorn::RemoteEntry* selected = RemoteEntryAt(p_.lstviewVorn->CurrentRow());
  if (!selected) return;
  const std::string from = selected->Name;
  listing_.RestoreIndex = listing_.PopupIndex;
  auto to = p_.ui->AskName(vorn::RenameCaption(from), vorn::kRenamePrompt, vorn::kFileNameMaxLength);
  if (!to || to->empty()) return;
  if (Ops().Rename(from, *to)) Relist();
}

void RemotePane::MEM1Click() { Ops().Mem(); }

void RemotePane::ABORT1Click() { Ops().Abort(); }

void RemotePane::FORMAT1Click() {
  if (Ops().Format()) Relist();
}

void RemotePane::SetAutoRun(bool append) {
  const vorn::RemoteEntry* selected = RemoteEntryAt(p_.lstviewVorn->CurrentRow());
  if (!selected) return;
  const std::string name = selected->Name;
  Ops().SetAutoRun(name, append);
  // Listed again either way, so a new AutoRun.bat shows up.
  Relist();
}

void RemotePane::Vorn7730M1Click() { SetAutoRun(false); }

void RemotePane::Vorn7730TCP1Click() { SetAutoRun(true); }

}  // namespace vorn::ui
