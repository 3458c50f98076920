#pragma once
// The items of the queue that are running now, one row each in the order they started: the
// file and its progress (drawn as a bar by TProgressBarDelegate). The progress window lists
// them when the queue runs more than one item at a time.

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTimer>
#include <cstdint>
#include <vector>

#include "transfers/TransferQueue.h"

namespace pelmar {

class TRunningItemsModel : public QAbstractTableModel, public ITransferListener {
  Q_OBJECT
 public:
  enum TColumn { colFile, colProgress, colCount };
  // The percent done of a row, for the delegate.
  static constexpr int PercentRole = Qt::UserRole + 1;

  explicit TRunningItemsModel(TTransferItems& queue, QObject* parent = nullptr);
  ~TRunningItemsModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void ItemStarted(TTransferItem& item) override;
  void ItemStateChanged(TTransferItem& item) override;
  void ItemProgress(TTransferItem& item) override;

  TTransferItem* ItemAt(int row) const;
  int RowOf(const TTransferItem& item) const;

 private:
  TTransferItems& Queue;
  std::vector<uint64_t> Ids;
  QTimer ProgressShown;  // the bars are redrawn at most every tenth of a second  // running items
                         // by Id: an item may leave the queue's view first
};

// Draws PercentRole as a progress bar with its text; rows are tall enough for a bar.
class TProgressBarDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  static int RowHeight(const QFontMetrics& metrics) { return metrics.height() + 8; }
};

}  // namespace pelmar
