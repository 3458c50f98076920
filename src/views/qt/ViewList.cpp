#include "views/qt/ViewList.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

#include <cstdlib>
#include "views/qt/IconCells.h"

namespace pelmar {

TViewList::TViewList(QWidget* parent)
    : QStackedWidget(parent), IconView(new QListView(this)), DetailView(new QTreeView(this)) {
  DetailView->setRootIsDecorated(false);
  DetailView->setItemsExpandable(false);
  DetailView->setUniformRowHeights(true);  // 100,000 rows stay fast
  DetailView->setAllColumnsShowFocus(true);
  DetailView->setSortingEnabled(false);
  DetailView->header()->setSectionsClickable(true);
  DetailView->header()->setStretchLastSection(false);
  IconView->setUniformItemSizes(true);
  Cells = new TIconCells(IconView);
  IconView->setItemDelegate(Cells);
  FitTimer = new QTimer(this);
  FitTimer->setSingleShot(true);
  FitTimer->setInterval(0);
  connect(FitTimer, &QTimer::timeout, this, [this] {
    FitColumns();
    FitCells();
  });
  IconView->setResizeMode(QListView::Adjust);
  IconView->setLayoutMode(QListView::Batched);
  for (QAbstractItemView* view :
       {static_cast<QAbstractItemView*>(IconView), static_cast<QAbstractItemView*>(DetailView)}) {
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::EditKeyPressed);
    view->setDragEnabled(true);
    view->setAcceptDrops(true);
    view->setDropIndicatorShown(false);
    view->setDragDropMode(QAbstractItemView::DragDrop);
    view->setDefaultDropAction(Qt::CopyAction);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    addWidget(view);
  }
  IconView->setObjectName("IconView");
  DetailView->setObjectName("DetailView");
  SetViewStyle(TViewStyle::Details);
  connect(DetailView->header(), &QHeaderView::sectionResized, this, [this] {
    if (!Fitting && DetailView->isVisible()) ColumnsByHand = true;
  });
  DetailView->viewport()->installEventFilter(this);
  IconView->viewport()->installEventFilter(this);
}

bool TViewList::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) {
    if (watched == DetailView->viewport()) FitColumns();
    if (watched == IconView->viewport()) FitCells();
  }
  return QStackedWidget::eventFilter(watched, event);
}

void TViewList::FitCells() {
  QSize cell;
  const QFontMetrics metrics(IconView->font());
  if (Style == TViewStyle::List || Style == TViewStyle::SmallIcons) {
    // The names are measured again only when they may have changed, not for a new size or
    // time of a file (those come often while a transfer runs).
    if (NamesChanged) {
      WidestNameWidth = ItemModel ? WidestName(*ItemModel, RootIndex, IconView->font()) : 0;
      NamesChanged = false;
    }
    const int widest = WidestNameWidth;
    // The icon, the gaps around it and the text, and the focus frame's margins.
    const int wanted = widest + IconView->iconSize().width() + 20;
    const int room = std::max(IconView->viewport()->width() - 8, 60);
    cell = QSize(std::min(wanted, room), std::max(metrics.height(), 16) + 4);
  } else if (Style == TViewStyle::LargeIcons) {
    // Two lines of a name under the icon; longer names end in an ellipsis.
    cell = QSize(std::max(96, metrics.averageCharWidth() * 14),
                 kLargeIconSize + 2 * metrics.lineSpacing() + 12);
  }
  if (cell == Cells->CellSize()) return;
  Cells->SetCell(cell);
  IconView->setGridSize(Style == TViewStyle::LargeIcons ? cell : QSize());
  if (RowCount() > 0) emit Cells->sizeHintChanged(Row(0));  // lays the items out again
}

void TViewList::RestoreColumns(const QByteArray& state) {
  if (state.isEmpty()) return;
  Fitting = true;
  ColumnsByHand = DetailView->header()->restoreState(state);
  Fitting = false;
}

int TViewList::SortKey() const {
  const QHeaderView* header = DetailView->header();
  const int column = header->sortIndicatorSection() + 1;
  if (column < 1) return 1;
  return header->sortIndicatorOrder() == Qt::AscendingOrder ? column : -column;
}

void TViewList::ShowSortKey(int key) {
  if (key == 0) return;
  DetailView->header()->setSortIndicator(std::abs(key) - 1,
                                         key > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void TViewList::FitColumns() {
  if (ColumnsByHand || !ItemModel || RowCount() == 0) return;
  const int columns = ItemModel->columnCount(RootIndex);
  if (columns < 2) return;
  Fitting = true;
  QHeaderView* header = DetailView->header();
  int others = 0;
  for (int column = 1; column < columns; ++column) {
    if (header->isSectionHidden(column)) continue;
    // Contents or caption, whichever is wider (the rows on screen are measured).
    DetailView->resizeColumnToContents(column);
    others += header->sectionSize(column);
  }
  DetailView->resizeColumnToContents(0);
  const int nameNeeds = std::min(header->sectionSize(0), 200);
  header->resizeSection(0, std::max(DetailView->viewport()->width() - others, nameNeeds));
  Fitting = false;
}

void TViewList::SetModel(QAbstractItemModel* model) {
  ItemModel = model;
  // The first rows of a folder give the columns their widths.
  // The names decide the width of the List style's columns, after renames too. Many changes
  // at once are fitted once.
  const auto namesChanged = [this] {
    NamesChanged = true;
    FitTimer->start();
  };
  connect(model, &QAbstractItemModel::rowsInserted, this, namesChanged);
  connect(model, &QAbstractItemModel::rowsRemoved, this, namesChanged);
  connect(model, &QAbstractItemModel::modelReset, this, namesChanged);
  // (A local folder's sizes and times arrive after its names.)
  connect(model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& topLeft) {
    if (topLeft.column() == 0) NamesChanged = true;
    FitTimer->start();
  });
  DetailView->setModel(model);
  IconView->setModel(model);
  IconView->setSelectionModel(DetailView->selectionModel());
  connect(DetailView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TViewList::SelectionChanged);
  SetRoot(QModelIndex());
}

void TViewList::SetRoot(const QModelIndex& root) {
  RootIndex = root;
  DetailView->setRootIndex(root);
  IconView->setRootIndex(root);
  // Another folder: its rows may be there already (a cached folder adds none).
  NamesChanged = true;
  FitTimer->start();
}

void TViewList::SetViewStyle(TViewStyle style) {
  Style = style;
  if (style == TViewStyle::Details) {
    setCurrentWidget(DetailView);
    return;
  }
  const bool large = style == TViewStyle::LargeIcons;
  IconView->setViewMode(large ? QListView::IconMode : QListView::ListMode);
  const QSize icons = large ? QSize(kLargeIconSize, kLargeIconSize) : QSize(16, 16);
  IconView->setIconSize(icons);
  Cells->SetIconSize(icons);
  IconView->setFlow(style == TViewStyle::List ? QListView::TopToBottom : QListView::LeftToRight);
  IconView->setWrapping(true);
  IconView->setMovement(QListView::Static);
  IconView->setWordWrap(large);
  IconView->setTextElideMode(large ? Qt::ElideRight : Qt::ElideMiddle);
  FitCells();
  setCurrentWidget(IconView);
}

void TViewList::SetAccessibleName(const QString& name) {
  IconView->setAccessibleName(name);
  DetailView->setAccessibleName(name);
}

int TViewList::RowCount() const {
  return ItemModel ? ItemModel->rowCount(RootIndex) : 0;
}

QModelIndex TViewList::Row(int row) const {
  return ItemModel ? ItemModel->index(row, 0, RootIndex) : QModelIndex();
}

QModelIndexList TViewList::SelectedItems() const {
  QModelIndexList rows;
  if (!ItemModel) return rows;
  for (const QModelIndex& index : DetailView->selectionModel()->selectedRows(0)) {
    if (index.parent() == RootIndex) rows.append(index);
  }
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  return rows;
}

QModelIndex TViewList::FocusedItem() const {
  if (!ItemModel) return {};
  const QModelIndex current = DetailView->selectionModel()->currentIndex();
  return current.isValid() ? current.siblingAtColumn(0) : QModelIndex();
}

void TViewList::SelectAll() {
  if (!ItemModel || RowCount() == 0) return;
  const QItemSelection all(
      Row(0), ItemModel->index(RowCount() - 1, ItemModel->columnCount(RootIndex) - 1, RootIndex));
  DetailView->selectionModel()->select(all, QItemSelectionModel::Select);
}

void TViewList::InvertSelection() {
  if (!ItemModel || RowCount() == 0) return;
  const QItemSelection all(
      Row(0), ItemModel->index(RowCount() - 1, ItemModel->columnCount(RootIndex) - 1, RootIndex));
  DetailView->selectionModel()->select(all, QItemSelectionModel::Toggle);
}

void TViewList::ClearSelection() {
  if (ItemModel) DetailView->selectionModel()->clearSelection();
}

void TViewList::Select(const QModelIndex& item, bool focus) {
  if (!ItemModel || !item.isValid()) return;
  auto flags = QItemSelectionModel::Select | QItemSelectionModel::Rows;
  if (focus) {
    DetailView->selectionModel()->setCurrentIndex(item, flags);
    Current()->scrollTo(item);
  } else {
    DetailView->selectionModel()->select(item, flags);
  }
}

void TViewList::SelectRows(const std::vector<int>& rows) {
  if (!ItemModel || rows.empty()) return;
  QItemSelection selection;
  for (int row : rows) {
    const QModelIndex item = Row(row);
    if (item.isValid()) selection.select(item, item);
  }
  DetailView->selectionModel()->select(selection,
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void TViewList::EditCaption(const QModelIndex& item) {
  if (!item.isValid()) return;
  Current()->setCurrentIndex(item);
  Current()->edit(item);
}

bool TViewList::IsEditing() const {
  // A caption editor is a child of the view that has the focus.
  const QWidget* focus = QApplication::focusWidget();
  for (const QAbstractItemView* view : {static_cast<const QAbstractItemView*>(IconView),
                                        static_cast<const QAbstractItemView*>(DetailView)}) {
    if (focus && focus != view && view->isAncestorOf(focus)) return true;
  }
  return false;
}

QAbstractItemView* TViewList::Current() const {
  return qobject_cast<QAbstractItemView*>(currentWidget());
}

}  // namespace pelmar
