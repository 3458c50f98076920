#pragma once
// The remote pane's rows as a Qt item model: one row per remote entry with the columns Name,
// Size, Type and Modified, read from the rows' records in the item cache when shown. Icons and
// type names come from the desktop (icon theme, MIME database), looked up once per extension.

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <functional>
#include <vector>

#include "listing/FolderCache.h"

namespace pelmar {

class TRemoteListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum TColumn : int { colName = 0, colSize = 1, colType = 2, colModified = 3, colCount = 4 };

  explicit TRemoteListModel(TItemCache& cache, QObject* parent = nullptr);

  // Shows the rows of a cached folder, in their order until sorted. The model keeps only a
  // pointer and an order of 4 bytes a row: whoever changes or drops that folder's rows sets
  // them again (or clears) before the next event is handled.
  void SetRows(const std::vector<TRemoteRow>* rows);
  void Clear() { SetRows(nullptr); }
  const std::vector<TRemoteRow>* Source() const { return RowList; }
  const TRemoteRow& RowAt(int row) const { return (*RowList)[Order[static_cast<size_t>(row)]]; }
  const TItemRecord* RecordAt(int row) const;
  // The row whose shown name equals `name` without regard to case; -1 when none.
  int FindCaption(const QString& name) const;
  // A row's entry was renamed in the cache.
  void RowChanged(int row);
  // Sorts by a sort column (1..4, negative for descending), folders first. The selection and
  // the current item stay on their entries: persistent indexes move with their rows.
  void SortRows(int sortColumn);
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
  // The sort column of SortRows for a column and an order.
  static int SortColumnFor(int column, Qt::SortOrder order) {
    return order == Qt::AscendingOrder ? column + 1 : -(column + 1);
  }
  // Captions may be edited only while this is set (the pane is connected).
  bool Editable = false;
  // A caption edit finished with `text`; the pane decides what becomes of it.
  std::function<void(int row, const QString& text)> OnCaptionEdited;

  // The Type column of a row.
  QString TypeText(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;

 private:
  struct TKind {
    QIcon Icon;
    QString Type;
  };
  const TKind& KindOf(const QString& name) const;

  TItemCache& Cache;
  const std::vector<TRemoteRow>* RowList = nullptr;
  std::vector<uint32_t> Order;
  mutable QHash<QString, TKind> Kinds;  // by lower-case extension
  QIcon FolderIcon;
  QIcon LinkIcon;
};

}  // namespace pelmar
