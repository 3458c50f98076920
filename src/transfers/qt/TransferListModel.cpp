#include "transfers/qt/TransferListModel.h"

#include <algorithm>

#include "text/PaneTexts.h"
#include "text/TextUtils.h"
#include "transfers/TransferItem.h"

namespace pelmar {

TTransferListModel::TTransferListModel(TTransferItems& queue, QObject* parent)
    : QAbstractTableModel(parent), Queue(queue) {
  for (int i = 0; i < Queue.Count(); ++i) ItemAdded(Queue.Item(i));
  Queue.AddListener(this);
  ProgressShown.setSingleShot(true);
  ProgressShown.setInterval(100);
  connect(&ProgressShown, &QTimer::timeout, this, [this] {
    if (DirtyFirst < 0) return;
    const int last = std::min(DirtyLast, rowCount() - 1);
    if (DirtyFirst <= last) emit dataChanged(index(DirtyFirst, colStatus), index(last, colStatus));
    DirtyFirst = DirtyLast = -1;
  });
}

TTransferListModel::~TTransferListModel() {
  Queue.RemoveListener(this);
}

int TTransferListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(Rows.size());
}

int TTransferListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : colCount;
}

QVariant TTransferListModel::data(const QModelIndex& index, int role) const {
  TTransferItem* item = ItemAt(index.row());
  if (!item) return {};
  if (role == Qt::TextAlignmentRole && index.column() == colSize) {
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (role == Qt::ToolTipRole) {
    // What a narrow column cuts off, and the exact size behind the rounded one.
    switch (index.column()) {
      case colSize:
        return item->IsFolder
                   ? QVariant()
                   : QString::fromStdString(ThousandsText(std::to_string(item->Size)) + " bytes");
      case colStatus:
        return Rows[static_cast<size_t>(index.row())].Status;
      case colLocal:
      case colHost:
      case colFile:
        return data(index, Qt::DisplayRole);
      default:
        return {};
    }
  }
  if (role != Qt::DisplayRole) return {};
  const std::string& local = item->Upload ? item->SourceFolder : item->DestFolder;
  const std::string& remote = item->Upload ? item->DestFolder : item->SourceFolder;
  switch (index.column()) {
    case colFile:
      return QString::fromStdString(item->FileName);
    case colDirection:
      return item->Upload ? QStringLiteral("Upload") : QStringLiteral("Download");
    case colSize:
      // As the panes' Size column reads; a folder has none.
      return item->IsFolder ? QString() : QString::fromStdString(RemoteSizeColumn(item->Size));
    case colLocal:
      return QString::fromStdString(local);
    case colHost:
      return QString::fromStdString(remote);
    case colStatus:
      return Rows[static_cast<size_t>(index.row())].Status;
    default:
      return {};
  }
}

QVariant TTransferListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::TextAlignmentRole && section == colSize) {
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (role != Qt::DisplayRole) return {};
  static const char* const kTitles[colCount] = {
      "File", "Direction", "Size", "Local Directory", "Host Directory", "Status"};
  return section >= 0 && section < colCount ? QString::fromLatin1(kTitles[section]) : QVariant();
}

Qt::ItemFlags TTransferListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

void TTransferListModel::ItemAdded(TTransferItem& item) {
  const int row = static_cast<int>(Rows.size());
  beginInsertRows(QModelIndex(), row, row);
  Rows.push_back({item.Id, QString::fromStdString(item.StatusWithReason())});
  RowHints[item.Id] = row;
  endInsertRows();
}

void TTransferListModel::ItemStateChanged(TTransferItem& item) {
  SetStatusText(item, QString::fromStdString(item.StatusWithReason()));
}

void TTransferListModel::ItemProgress(TTransferItem& item) {
  const bool running = item.State == tsActive && item.Connection && item.Connection->LoggedIn;
  if (running) {
    const int row = RowOf(item);
    if (row < 0) return;
    // What is there of the file, a resumed start included, as the progress window shows it.
    Rows[static_cast<size_t>(row)].Status =
        QString::fromStdString(SizeText(item.BytesThere()) + " of " + SizeText(item.Size) +
                               " copied, " + std::to_string(item.PercentDone()) + "% done");
    DirtyFirst = DirtyFirst < 0 ? row : std::min(DirtyFirst, row);
    DirtyLast = std::max(DirtyLast, row);
    if (!ProgressShown.isActive()) ProgressShown.start();
    return;
  }
  // The Size column follows a size the server reported anew.
  if (const int row = RowOf(item); row >= 0) RowChanged(row);
}

void TTransferListModel::SetStatusText(const TTransferItem& item, const QString& text) {
  const int row = RowOf(item);
  if (row < 0) return;
  Rows[static_cast<size_t>(row)].Status = text;
  RowChanged(row);
}

void TTransferListModel::ItemRemoved(TTransferItem& item) {
  const int row = RowOf(item);
  if (row < 0) return;
  beginRemoveRows(QModelIndex(), row, row);
  Rows.erase(Rows.begin() + row);
  RowHints.erase(item.Id);
  endRemoveRows();
  // The rows after it moved up: their hints are found again when next looked for.
  DirtyFirst = DirtyLast = -1;
}

void TTransferListModel::QueueReordered() {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::unordered_map<uint64_t, int> before;
  for (size_t row = 0; row < Rows.size(); ++row) before[Rows[row].Id] = static_cast<int>(row);
  std::vector<TRow> reordered;
  reordered.reserve(Rows.size());
  std::vector<int> newRowOf(Rows.size(), -1);
  for (int i = 0; i < Queue.Count(); ++i) {
    const auto found = before.find(Queue.Item(i).Id);
    if (found == before.end()) continue;
    newRowOf[static_cast<size_t>(found->second)] = static_cast<int>(reordered.size());
    reordered.push_back(Rows[static_cast<size_t>(found->second)]);
  }
  // The persistent indexes (the view's selection and current row) follow their items.
  const QModelIndexList old = persistentIndexList();
  QModelIndexList moved;
  moved.reserve(old.size());
  for (const QModelIndex& index : old) {
    const int row = index.row() >= 0 && index.row() < static_cast<int>(newRowOf.size())
                        ? newRowOf[static_cast<size_t>(index.row())]
                        : -1;
    moved.append(row >= 0 ? this->index(row, index.column()) : QModelIndex());
  }
  Rows = std::move(reordered);
  RowHints.clear();
  for (size_t row = 0; row < Rows.size(); ++row) RowHints[Rows[row].Id] = static_cast<int>(row);
  changePersistentIndexList(old, moved);
  DirtyFirst = DirtyLast = -1;
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int TTransferListModel::RowOf(const TTransferItem& item) const {
  if (item.Owner != &Queue) return -1;
  const auto hint = RowHints.find(item.Id);
  if (hint != RowHints.end() && hint->second < rowCount() &&
      Rows[static_cast<size_t>(hint->second)].Id == item.Id) {
    return hint->second;
  }
  for (size_t row = 0; row < Rows.size(); ++row) {
    if (Rows[row].Id == item.Id) {
      RowHints[item.Id] = static_cast<int>(row);
      return static_cast<int>(row);
    }
  }
  return -1;
}

TTransferItem* TTransferListModel::ItemAt(int row) const {
  if (row < 0 || row >= rowCount()) return nullptr;
  return Queue.FindItem(Rows[static_cast<size_t>(row)].Id);
}

QString TTransferListModel::StatusAt(int row) const {
  if (row < 0 || row >= rowCount()) return {};
  return Rows[static_cast<size_t>(row)].Status;
}

void TTransferListModel::RowChanged(int row) {
  emit dataChanged(index(row, 0), index(row, colCount - 1));
}

}  // namespace pelmar
