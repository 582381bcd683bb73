#include "widgets/file_list_view.h"

#include <QMouseEvent>

#include <QApplication>
#include <QDateTime>
#include <QFont>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QPalette>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <algorithm>
#include <cctype>

namespace vorn::ui {

namespace {
const char* const kColumns[] = {"Name", "Size", "Type", "Modified"};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
// Keeps an item of an icon view inside its grid cell: a long host name is
// cut rather than drawn over its neighbour.
class GridCellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const QSize size = QStyledItemDelegate::sizeHint(option, index);
    const auto* view = qobject_cast<const QListView*>(option.widget);
    if (!view || !view->gridSize().isValid()) return size;
    return size.boundedTo(view->gridSize() - QSize(2, 2));
  }
};

}  // namespace

// ---------------------------------------------------------------- model

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

void FileListModel::SetSource(FileListSource* source) {
  beginResetModel();
  source_ = source;
  rows_ = source_ ? source_->RowCount() : 0;
  endResetModel();
}

void FileListModel::Reset() {
  beginResetModel();
  rows_ = source_ ? source_->RowCount() : 0;
  endResetModel();
}

int FileListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !source_) return 0;
  return rows_;
}

int FileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!source_ || !index.isValid() || index.row() >= rows_ || index.row() >= source_->RowCount()) return {};
  const int row = index.row();
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
      if (role == Qt::ToolTipRole && column != 0) return {};
      // The list asks only for rows it paints: that is when the costly
      // look-ups of icon and type run, once per row.
      source_->FillInfo(row, row);
      const FileRow r = source_->Row(row);
      switch (column) {
        case 0: return QString::fromStdString(r.name);
        case 1: return QString::fromStdString(r.sizeText);
        case 2: return QString::fromStdString(r.typeText);
        case 3: return QString::fromStdString(r.modified);
      }
      return {};
    }
    case Qt::DecorationRole:
      if (column != 0) return {};
      source_->FillInfo(row, row);
      return source_->Row(row).icon;
    case Qt::TextAlignmentRole:
      if (column == 1) return int(Qt::AlignRight | Qt::AlignVCenter);
      return int(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ForegroundRole: {
      const QPalette palette = QApplication::palette();
      if (column == 0) {
        const uint32_t flags = source_->Row(row).displayFlags;
        if (flags & 4) return palette.color(QPalette::Highlight);
        if (flags & 1) return palette.color(QPalette::Disabled, QPalette::Text);
      }
      return palette.color(QPalette::WindowText);
    }
    case Qt::FontRole: {
      if (source_->Row(row).displayFlags & 2) {
        QFont font = QApplication::font();
        font.setStrikeOut(true);
        return font;
      }
      return {};
    }
  }
  return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section > 3) return {};
  if (role == Qt::DisplayRole) return QString(kColumns[section]);
  if (role == Qt::TextAlignmentRole)
    return int((section == 1 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  return {};
}

int FindRowByPrefix(const FileListSource& source, const std::string& text, int start, bool wrap) {
  const int count = source.RowCount();
  if (count == 0 || text.empty()) return -1;
  if (start < 0 || start >= count) start = 0;
  const std::string wanted = Upper(text);
  auto matches = [&](int row) { return Upper(source.RowName(row)).rfind(wanted, 0) == 0; };
  for (int row = start; row < count; ++row)
    if (matches(row)) return row;
  if (wrap)
    for (int row = 0; row < start; ++row)
      if (matches(row)) return row;
  return -1;
}

// ---------------------------------------------------------------- view

FileListView::FileListView(bool multiSelect, QWidget* parent) : QStackedWidget(parent) {
  model_ = new FileListModel(this);
  report_ = new QTreeView(this);
  icons_ = new QListView(this);
  report_->setModel(model_);
  icons_->setModel(model_);
  // One selection shared by every view style.
  icons_->setSelectionModel(report_->selectionModel());

  const auto mode = multiSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
  for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(icons_)}) {
    view->setSelectionMode(mode);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
      if (index.isValid()) emit activated(index.row());
    });
    connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& pos) {
      emit contextMenuRequested(view->viewport()->mapToGlobal(pos));
    });
  }
  report_->setRootIsDecorated(false);
  report_->setUniformRowHeights(true);
  report_->setItemsExpandable(false);
  report_->setAllColumnsShowFocus(true);
  report_->setSortingEnabled(false);
  report_->header()->setSectionsClickable(true);
  report_->header()->setSortIndicatorShown(false);
  // The Name column takes the spare width, never less than its own.
  report_->header()->setStretchLastSection(false);
  connect(report_->header(), &QHeaderView::sectionClicked, this, [this](int column) { emit columnClicked(column); });
  connect(report_->header(), &QHeaderView::sectionResized, this, [this](int column, int, int) {
    if (column != 0) FitNameColumn();
  });
  // Each item takes the size its name needs (within its grid cell): uniform
  // sizes would give every item the first one's, cutting longer names.
  icons_->setUniformItemSizes(false);
  icons_->setItemDelegate(new GridCellDelegate(icons_));
  icons_->setResizeMode(QListView::Adjust);
  icons_->setMovement(QListView::Static);
  addWidget(report_);
  addWidget(icons_);
  // A little wider than the classic layout: this host's fonts are larger.
  SetColumnWidths(135, 60, 110, 163);
  SetViewStyle(ViewStyle::Report);
}

void FileListView::SetSource(FileListSource* source) { model_->SetSource(source); }

void FileListView::Reset() {
  model_->Reset();
  // The views lay their rows out from a zero-time timer, and timers wait while
  // an exchange runs: a repaint asked for now lays them out as it paints.
  ActiveView()->viewport()->update();
}

QSize IconGridSize(ViewStyle style, const QFontMetrics& metrics) {
  // Room for the widest name of twelve characters (8.3), so that controller
  // names are never cut; longer host names wrap (large icons) or are cut.
  const int name = metrics.horizontalAdvance(QString(8, QChar('W')) + ".WWW");
  const int line = metrics.lineSpacing();
  if (style == ViewStyle::LargeIcons) return {std::max(88, name + 12), std::max(64, 32 + 2 * line + 12)};
  return {std::max(150, 16 + name + 20), std::max(20, line + 6)};
}

void FileListView::SetViewStyle(ViewStyle style) {
  style_ = style;
  if (style == ViewStyle::Report) {
    setCurrentWidget(report_);
    return;
  }
  const bool large = style == ViewStyle::LargeIcons;
  icons_->setViewMode(large ? QListView::IconMode : QListView::ListMode);
  icons_->setFlow(style == ViewStyle::List ? QListView::TopToBottom : QListView::LeftToRight);
  icons_->setWrapping(true);
  icons_->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
  icons_->setGridSize(IconGridSize(style, icons_->fontMetrics()));
  icons_->setWordWrap(large);
  setCurrentWidget(icons_);
}

QAbstractItemView* FileListView::ActiveView() const {
  return style_ == ViewStyle::Report ? static_cast<QAbstractItemView*>(report_) : icons_;
}

int FileListView::CurrentRow() const {
  const QModelIndexList rows = report_->selectionModel()->selectedRows(0);
  if (rows.isEmpty()) return -1;
  const QModelIndex current = report_->selectionModel()->currentIndex();
  if (current.isValid() && report_->selectionModel()->isRowSelected(current.row(), {})) return current.row();
  return rows.first().row();
}

std::vector<int> FileListView::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : report_->selectionModel()->selectedRows(0)) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

void FileListView::SelectRow(int row) {
  if (row < 0 || row >= model_->rowCount()) return;
  const QModelIndex index = model_->index(row, 0);
  report_->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  ActiveView()->scrollTo(index, QAbstractItemView::EnsureVisible);
}

void FileListView::ClearSelection() {
  report_->selectionModel()->clearSelection();
  report_->selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
}

void FileListView::SetColumnWidths(int name, int size, int type, int modified) {
  nameWidth_ = name;
  report_->setColumnWidth(1, size);
  report_->setColumnWidth(2, type);
  report_->setColumnWidth(3, modified);
  FitNameColumn();
}

void FileListView::FitNameColumn() {
  const QHeaderView* header = report_->header();
  const int others = header->sectionSize(1) + header->sectionSize(2) + header->sectionSize(3);
  report_->setColumnWidth(0, std::max(nameWidth_, report_->viewport()->width() - others));
}

void FileListView::KeyboardSearch(const QString& typed) {
  FileListSource* source = model_->Source();
  if (!source) return;
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  const bool continuing = !searchText_.isEmpty() && now - lastSearchKeyMs_ < QApplication::keyboardInputInterval();
  lastSearchKeyMs_ = now;
  searchText_ = continuing ? searchText_ + typed : typed;
  const int current = CurrentRow();
  // A new search starts after the focused row, a continued one at it.
  int start = continuing ? current : current + 1;
  if (start < 0 || start >= source->RowCount()) start = 0;
  const int found = FindRowByPrefix(*source, searchText_.toStdString(), start, true);
  if (found >= 0) SelectRow(found);
}

bool FileListView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && watched == report_->viewport()) FitNameColumn();
  // A click on empty space clears the selection in every selection mode
  // (single selection would keep its row), so the menus then act on the
  // folder shown rather than on a row the user left.
  if (event->type() == QEvent::MouseButtonPress &&
      (watched == report_->viewport() || watched == icons_->viewport())) {
    const auto* press = static_cast<QMouseEvent*>(event);
    QAbstractItemView* view = watched == icons_->viewport() ? static_cast<QAbstractItemView*>(icons_) : report_;
    if (!view->indexAt(press->position().toPoint()).isValid()) ClearSelection();
  }
  if (event->type() == QEvent::KeyPress && (watched == report_ || watched == icons_)) {
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter: {
        const int row = CurrentRow();
        if (row >= 0) emit activated(row);
        return true;
      }
      case Qt::Key_Backspace:
        emit backspacePressed();
        return true;
      case Qt::Key_Delete:
        emit deletePressed(key->modifiers() & Qt::ShiftModifier);
        return true;
      case Qt::Key_F5:
        emit refreshPressed();
        return true;
      case Qt::Key_F2:
        // Not the view's own in-place editing: the panes ask for the name.
        emit renamePressed();
        return true;
      case Qt::Key_F7:
        emit makeFolderPressed();
        return true;
      case Qt::Key_C:
        if ((key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier)) ==
            (Qt::ControlModifier | Qt::ShiftModifier)) {
          emit copyPressed();
          return true;
        }
        break;
      default:
        break;
    }
    const QString text = key->text();
    if (!text.isEmpty() && text.at(0).isPrint() && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
      KeyboardSearch(text);
      return true;
    }
  }
  return QStackedWidget::eventFilter(watched, event);
}

}  // namespace vorn::ui
