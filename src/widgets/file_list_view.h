#pragma once
// The file list shared by both panes: a virtual list (rows are produced on
// demand from a source), four view styles, the columns "Name", "Size", "Type",
// "Modified", and the prefix incremental search with wrapping.
#include <QAbstractTableModel>
#include <QFontMetrics>
#include <QIcon>
#include <QStackedWidget>
#include <cstdint>
#include <functional>
#include <string>

class QTreeView;
class QAbstractItemView;
class QListView;
class QItemSelectionModel;

namespace vorn::ui {

struct FileRow {
  std::string name;
  bool isDirectory = false;
  std::string sizeText;  // "" for a directory, "%dKB" otherwise
  std::string typeText;
  std::string modified;
  QIcon icon;
  uint32_t displayFlags = 0;  // bit 0 read-only (grey), bit 1 hidden (strike-out), bit 2 system (highlight)
};

// What a pane gives the list. FillInfo is asked for the rows about to be shown,
// so costly look-ups run only for those and only once per row and listing.
class FileListSource {
 public:
  virtual ~FileListSource() = default;
  virtual int RowCount() const = 0;
  virtual void FillInfo(int first, int last) = 0;
  virtual FileRow Row(int index) const = 0;
  virtual std::string RowName(int index) const = 0;
};

enum class ViewStyle { LargeIcons, SmallIcons, List, Report };

class FileListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit FileListModel(QObject* parent = nullptr);
  void SetSource(FileListSource* source);
  // The source's rows changed (a new listing): the row count is asked again.
  // Until then the list keeps the count it had, so that rows a listing adds
  // while the window repaints stay out of sight.
  void Reset();
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  FileListSource* Source() const { return source_; }

 private:
  FileListSource* source_ = nullptr;
  int rows_ = 0;
};

// Prefix search over the rows' names, upper-cased, from start to the last row,
// then (when wrap) from row 0 up to the row before start. -1 when none matches.
int FindRowByPrefix(const FileListSource& source, const std::string& text, int start, bool wrap);

// The grid cell of an icon view style for a font.
QSize IconGridSize(ViewStyle style, const QFontMetrics& metrics);

class FileListView : public QStackedWidget {
  Q_OBJECT
 public:
  explicit FileListView(bool multiSelect, QWidget* parent = nullptr);

  void SetSource(FileListSource* source);
  void Reset();  // after a new listing
  void SetViewStyle(ViewStyle style);
  ViewStyle Style() const { return style_; }

  int CurrentRow() const;                 // the selected (focused) row, -1 when none
  std::vector<int> SelectedRows() const;  // in list order
  void SelectRow(int row);                // select, focus and scroll into view
  void ClearSelection();
  void SetColumnWidths(int name, int size, int type, int modified);

  QTreeView* Report() const { return report_; }
  QListView* Icons() const { return icons_; }
  QAbstractItemView* ActiveView() const;
  FileListModel* Model() const { return model_; }

 signals:
  void activated(int row);        // double-click or Enter on a row
  void backspacePressed();
  void deletePressed(bool permanently);  // Delete; Shift+Delete permanently
  void refreshPressed();                 // F5
  void renamePressed();                  // F2
  void makeFolderPressed();              // F7
  void copyPressed();                    // Ctrl+Shift+C: the copy command on the selection
  void columnClicked(int column);
  void contextMenuRequested(const QPoint& globalPos);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void KeyboardSearch(const QString& text);
  // Gives the Name column what the other columns leave of the list's width.
  void FitNameColumn();

  FileListModel* model_;
  QTreeView* report_;
  QListView* icons_;
  ViewStyle style_ = ViewStyle::Report;
  QString searchText_;
  qint64 lastSearchKeyMs_ = 0;
  int nameWidth_ = 0;  // the Name column's own width, its least
};

}  // namespace vorn::ui
