#pragma once
// A pane's list: one item model shown in one of four styles (large icons, small icons, list,
// details) by a list view and a tree view that share the model and one selection. Rows are
// the model's children of its root index; no widget exists per row.

#include <QAbstractItemView>
#include <QModelIndex>
#include <QPointer>
#include <QStackedWidget>
#include <vector>

class QAbstractItemModel;
class QItemSelectionModel;
class QListView;
class QTimer;
class QTreeView;

namespace pelmar {

class TIconCells;

enum class TViewStyle { LargeIcons = 0, SmallIcons = 1, List = 2, Details = 3 };

class TViewList : public QStackedWidget {
  Q_OBJECT
 public:
  explicit TViewList(QWidget* parent = nullptr);

  void SetModel(QAbstractItemModel* model);
  QAbstractItemModel* Model() const { return ItemModel; }
  void SetRoot(const QModelIndex& root);
  QModelIndex Root() const { return RootIndex; }

  void SetViewStyle(TViewStyle style);
  TViewStyle ViewStyle() const { return Style; }

  int RowCount() const;
  // What screen readers call the list, in both of its views.
  void SetAccessibleName(const QString& name);
  QModelIndex Row(int row) const;
  QModelIndexList SelectedItems() const;  // column 0, in row order
  QModelIndex FocusedItem() const;
  void SelectAll();
  void InvertSelection();
  void ClearSelection();
  void Select(const QModelIndex& item, bool focus);
  // Adds these rows to the selection in one step (fast for many rows).
  void SelectRows(const std::vector<int>& rows);
  void EditCaption(const QModelIndex& item);
  bool IsEditing() const;
  // Column widths the person chose (this run or, restored, an earlier one) stay as they are.
  bool SizedByHand() const { return ColumnsByHand; }
  void RestoreColumns(const QByteArray& state);
  // The sort the header shows: the column counted from 1, negative when descending.
  int SortKey() const;
  // Shows `key` on the header (a list that sorts by its header sorts by it).
  void ShowSortKey(int key);

  // The view showing the current style, and both of them (for event filters).
  QAbstractItemView* Current() const;
  QListView* Icons() const { return IconView; }
  QTreeView* Details() const { return DetailView; }

 signals:
  // The selection changed, by the person or by the program.
  void SelectionChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The columns other than the name as wide as their contents, the name the rest of the
  // width; until the person sizes a column, then their widths stay.
  void FitColumns();
  // The one size of the icon view's items for the current style and names.
  void FitCells();

  static constexpr int kLargeIconSize = 48;

  QListView* IconView;
  TIconCells* Cells = nullptr;
  QTimer* FitTimer = nullptr;
  bool NamesChanged = true;  // the widest name must be measured again
  int WidestNameWidth = 0;   // fits columns and cells once the model's changes are in
  QTreeView* DetailView;
  // The model may go before the list (a pane's model is its own child); deferred work must
  // not reach a deleted one.
  QPointer<QAbstractItemModel> ItemModel;
  QModelIndex RootIndex;
  TViewStyle Style = TViewStyle::Details;
  bool Fitting = false;        // FitColumns is resizing sections
  bool ColumnsByHand = false;  // the person resized a column
};

}  // namespace pelmar
