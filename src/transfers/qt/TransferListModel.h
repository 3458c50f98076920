#pragma once
// The transfer manager's rows: one per queue item, in queue order, with the columns "File",
// "Direction", "Size", "Local Directory", "Host Directory" and "Status". The model listens to
// the queue itself and follows its order; a row names its item by the item's Id, and the status
// text is kept per row because the running item's progress text is written here.

#include <QAbstractTableModel>
#include <QTimer>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "transfers/TransferQueue.h"

namespace pelmar {

class TTransferListModel : public QAbstractTableModel, public ITransferListener {
  Q_OBJECT
 public:
  enum TColumn { colFile, colDirection, colSize, colLocal, colHost, colStatus, colCount };

  // Shows the items already queued and every item added later.
  explicit TTransferListModel(TTransferItems& queue, QObject* parent = nullptr);
  ~TTransferListModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  void ItemAdded(TTransferItem& item) override;
  void ItemStateChanged(TTransferItem& item) override;
  // The running item's "3.2MB of 10.2MB copied, 31% done"; otherwise a size reported anew.
  void ItemProgress(TTransferItem& item) override;
  void ItemRemoved(TTransferItem& item) override;
  void QueueReordered() override;

  int RowOf(const TTransferItem& item) const;
  TTransferItem* ItemAt(int row) const;
  QString StatusAt(int row) const;

 private:
  struct TRow {
    uint64_t Id;
    QString Status;
  };
  void SetStatusText(const TTransferItem& item, const QString& text);
  void RowChanged(int row);
  TTransferItems& Queue;
  std::vector<TRow> Rows;
  // Where an item's row was last found: rows move only when the person reorders, so this is
  // nearly always right and spares a search through every row on each progress report.
  mutable std::unordered_map<uint64_t, int> RowHints;
  // Progress texts change many times a second: the view is told at most every tenth of one.
  QTimer ProgressShown;
  int DirtyFirst = -1;
  int DirtyLast = -1;
};

}  // namespace pelmar
