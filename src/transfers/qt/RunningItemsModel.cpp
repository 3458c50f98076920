#include "transfers/qt/RunningItemsModel.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionProgressBar>
#include <algorithm>

#include "transfers/ProgressTexts.h"
#include "ui/QtText.h"

namespace pelmar {

TRunningItemsModel::TRunningItemsModel(TTransferItems& queue, QObject* parent)
    : QAbstractTableModel(parent), Queue(queue) {
  for (int i = 0; i < Queue.Count(); ++i) {
    if (Queue.Item(i).State == tsActive) Ids.push_back(Queue.Item(i).Id);
  }
  Queue.AddListener(this);
  ProgressShown.setSingleShot(true);
  ProgressShown.setInterval(100);
  connect(&ProgressShown, &QTimer::timeout, this, [this] {
    if (rowCount() > 0) emit dataChanged(index(0, colProgress), index(rowCount() - 1, colProgress));
  });
}

TRunningItemsModel::~TRunningItemsModel() {
  Queue.RemoveListener(this);
}

int TRunningItemsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(Ids.size());
}

int TRunningItemsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : colCount;
}

QVariant TRunningItemsModel::data(const QModelIndex& index, int role) const {
  const TTransferItem* item = ItemAt(index.row());
  if (!item) return {};
  if (index.column() == colFile && (role == Qt::DisplayRole || role == Qt::ToolTipRole)) {
    return Q(item->FileName);
  }
  if (index.column() != colProgress) return {};
  if (role == PercentRole) return item->PercentDone();
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    return Q(BytesCopiedText(item->BytesDone + item->RestartOffset, item->Size));
  }
  return {};
}

QVariant TRunningItemsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return section == colFile ? QStringLiteral("File") : QStringLiteral("Progress");
}

void TRunningItemsModel::ItemStarted(TTransferItem& item) {
  // Told again once the item's connection has logged on: still one row.
  if (RowOf(item) >= 0) return;
  const int row = rowCount();
  beginInsertRows(QModelIndex(), row, row);
  Ids.push_back(item.Id);
  endInsertRows();
}

void TRunningItemsModel::ItemStateChanged(TTransferItem& item) {
  if (item.State == tsActive) return;
  const int row = RowOf(item);
  if (row < 0) return;
  beginRemoveRows(QModelIndex(), row, row);
  Ids.erase(Ids.begin() + row);
  endRemoveRows();
}

void TRunningItemsModel::ItemProgress(TTransferItem& item) {
  if (RowOf(item) >= 0 && !ProgressShown.isActive()) ProgressShown.start();
}

TTransferItem* TRunningItemsModel::ItemAt(int row) const {
  if (row < 0 || row >= rowCount()) return nullptr;
  return Queue.FindItem(Ids[static_cast<size_t>(row)]);
}

int TRunningItemsModel::RowOf(const TTransferItem& item) const {
  if (item.Owner != &Queue) return -1;
  const auto found = std::find(Ids.begin(), Ids.end(), item.Id);
  return found == Ids.end() ? -1 : static_cast<int>(found - Ids.begin());
}

void TProgressBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  const QVariant percent = index.data(TRunningItemsModel::PercentRole);
  if (!percent.isValid()) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  QStyleOptionProgressBar bar;
  bar.rect = option.rect.adjusted(2, 2, -2, -2);
  bar.minimum = 0;
  bar.maximum = 100;
  bar.progress = percent.toInt();
  bar.text = QString::number(bar.progress) + QLatin1Char('%');
  bar.textVisible = true;
  bar.state = option.state | QStyle::State_Horizontal;
  QStyle* style = option.widget ? option.widget->style() : QApplication::style();
  style->drawControl(QStyle::CE_ProgressBar, &bar, painter, option.widget);
}

QSize TProgressBarDelegate::sizeHint(const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  size.setHeight(std::max(size.height(), RowHeight(option.fontMetrics)));
  return size;
}

}  // namespace pelmar
