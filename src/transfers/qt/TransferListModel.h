#pragma once
// The transfer manager's rows: one per queue item, in queue order, with the five columns
// "File", "Size", "Local Directory", "Host Directory" and "Status". A row refers to its item;
// the status text is kept per row because the running item's progress text is written here.

#include <QAbstractTableModel>
#include <vector>

namespace pelmar {

struct TTransferItem;

class TTransferListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum TColumn { colFile, colSize, colLocal, colHost, colStatus, colCount };

  explicit TTransferListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Appends the item's row with its pending text and links the two.
  void AddRow(TTransferItem& item);
  // The state text of the item's state; nothing when the item has no row.
  void SetStatus(TTransferItem& item);
  // The running item's "... bytes copied, ...% done".
  void SetStatusText(TTransferItem& item, const QString& text);
  // The size changed (a download whose size the server reported anew).
  void SizeChanged(TTransferItem& item);
  // The row and its item move together: the caller moves the item in the queue.
  void MoveRow(int from, int to);

  int RowOf(const TTransferItem& item) const;
  TTransferItem* ItemAt(int row) const;
  QString StatusAt(int row) const;

 private:
  struct TRow {
    TTransferItem* Item;
    QString Status;
  };
  void RowChanged(int row);
  std::vector<TRow> Rows;
};

}  // namespace pelmar
