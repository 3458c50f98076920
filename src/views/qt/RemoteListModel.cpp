#include "views/qt/RemoteListModel.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QLocale>
#include <QMimeData>
#include <QMimeDatabase>
#include <QStyle>
#include <algorithm>

#include "listing/RemoteItem.h"
#include "text/PaneTexts.h"
#include "text/TextUtils.h"
#include "ui/QtText.h"

namespace pelmar {
namespace {

// Remote names are bytes: UTF-8 when they are, else Latin-1.
QString Display(const std::string& bytes) {
  QString text = QString::fromUtf8(bytes);
  if (text.contains(QChar::ReplacementCharacter)) text = QString::fromLatin1(bytes);
  return text;
}

}  // namespace

TRemoteListModel::TRemoteListModel(TItemCache& cache, QObject* parent)
    : QAbstractTableModel(parent), Cache(cache) {
  FolderIcon = QIcon::fromTheme(QStringLiteral("folder"),
                                QApplication::style()->standardIcon(QStyle::SP_DirIcon));
  LinkIcon = QIcon::fromTheme(QStringLiteral("emblem-symbolic-link"),
                              QApplication::style()->standardIcon(QStyle::SP_FileLinkIcon));
}

void TRemoteListModel::SetRows(const std::vector<TRemoteRow>* rows) {
  beginResetModel();
  RowList = rows;
  Order.resize(rows ? rows->size() : 0);
  for (size_t i = 0; i < Order.size(); ++i) Order[i] = static_cast<uint32_t>(i);
  endResetModel();
}

const TItemRecord* TRemoteListModel::RecordAt(int row) const {
  if (row < 0 || row >= rowCount()) return nullptr;
  return Cache.Get(RowAt(row).Record);
}

int TRemoteListModel::FindCaption(const QString& name) const {
  for (int row = 0; row < rowCount(); ++row) {
    if (Display(LinkName(RowAt(row).Name)).compare(name, Qt::CaseInsensitive) == 0) return row;
  }
  return -1;
}

void TRemoteListModel::RowChanged(int row) {
  if (row >= 0 && row < rowCount()) emit dataChanged(index(row, 0), index(row, 3));
}

QString TRemoteListModel::TypeText(int row) const {
  const TItemRecord* record = RecordAt(row);
  if (!record) return {};
  const std::string& name = RowAt(row).Name;
  const bool folder = record->Attributes & iaFolder;
  const bool link = record->Attributes & iaLink;
  const QString desktop = folder || link ? QString() : KindOf(Display(name)).Type;
  return Display(RemoteTypeColumn(name, folder, link, S(desktop)));
}

void TRemoteListModel::SortRows(int sortColumn) {
  if (!RowList) return;
  const std::vector<TRemoteRow>& rows = *RowList;
  // Type texts only when sorting by type, looked up once per row, not once per comparison.
  std::vector<std::string> types;
  if (sortColumn == 3 || sortColumn == -3) {
    types.resize(rows.size());
    for (int row = 0; row < rowCount(); ++row)
      types[Order[static_cast<size_t>(row)]] = S(TypeText(row));
  }
  static const std::string kNoType;
  static const TItemRecord kNone;
  auto record = [&](uint32_t i) {
    const TItemRecord* r = Cache.Get(rows[i].Record);
    return r ? *r : kNone;
  };
  auto type = [&](uint32_t i) -> const std::string& { return types.empty() ? kNoType : types[i]; };
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  // Views keep their selection and current item as persistent indexes: each must follow its
  // entry to the entry's new row, or a sort would leave them on other files.
  const QModelIndexList before = persistentIndexList();
  std::vector<uint32_t> entries;
  entries.reserve(static_cast<size_t>(before.size()));
  for (const QModelIndex& index : before)
    entries.push_back(Order[static_cast<size_t>(index.row())]);
  std::stable_sort(Order.begin(), Order.end(), [&](uint32_t a, uint32_t b) {
    return CompareRemoteRows(rows[a], record(a), type(a), rows[b], record(b), type(b), sortColumn) <
           0;
  });
  std::vector<int> rowOf(Order.size());
  for (size_t row = 0; row < Order.size(); ++row) rowOf[Order[row]] = static_cast<int>(row);
  QModelIndexList after;
  after.reserve(before.size());
  for (qsizetype i = 0; i < before.size(); ++i) {
    after.push_back(index(rowOf[entries[static_cast<size_t>(i)]], before[i].column()));
  }
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TRemoteListModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= colCount) return;
  SortRows(SortColumnFor(column, order));
}

int TRemoteListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(Order.size());
}

int TRemoteListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : colCount;
}

const TRemoteListModel::TKind& TRemoteListModel::KindOf(const QString& name) const {
  const qsizetype dot = name.lastIndexOf(u'.');
  const QString extension = dot < 0 ? QString() : name.mid(dot + 1).toLower();
  auto it = Kinds.find(extension);
  if (it != Kinds.end()) return *it;
  static const QMimeDatabase mimes;
  const QMimeType type = mimes.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
  TKind kind;
  if (!extension.isEmpty() && !type.isDefault()) {
    kind.Type = type.comment();
    kind.Icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
  }
  if (kind.Icon.isNull()) {
    kind.Icon = QIcon::fromTheme(QStringLiteral("text-x-generic"),
                                 QApplication::style()->standardIcon(QStyle::SP_FileIcon));
  }
  return *Kinds.insert(extension, kind);
}

QVariant TRemoteListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TRemoteRow& row = RowAt(index.row());
  const TItemRecord* record = Cache.Get(row.Record);
  if (!record) return {};
  const bool folder = record->Attributes & iaFolder;
  const bool link = record->Attributes & iaLink;
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case 0:
          return Display(LinkName(row.Name));
        case 1:
          return folder ? QString() : Q(RemoteSizeColumn(record->Size));
        case 2:
          return TypeText(index.row());
        case 3:
          return QLocale().toString(ToDateTime(record->Modified), QLocale::ShortFormat);
      }
      break;
    case Qt::EditRole:
      return index.column() == 0 ? Display(LinkName(row.Name)) : QVariant();
    case Qt::DecorationRole:
      if (index.column() != 0) break;
      if (folder && !link) return FolderIcon;
      if (link) return LinkIcon;
      return KindOf(Display(row.Name)).Icon;
    case Qt::TextAlignmentRole:
      if (index.column() == 1) return int(Qt::AlignRight | Qt::AlignVCenter);
      break;
    default:
      break;
  }
  return {};
}

QVariant TRemoteListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kColumns[] = {"Name", "Size", "Type", "Modified"};
  return section >= 0 && section < 4 ? QString::fromLatin1(kColumns[section]) : QVariant();
}

Qt::ItemFlags TRemoteListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (!index.isValid()) return flags | Qt::ItemIsDropEnabled;
  flags |= Qt::ItemIsDragEnabled;
  if (Editable && index.column() == 0) flags |= Qt::ItemIsEditable;
  return flags;
}

bool TRemoteListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || index.column() != 0 || !OnCaptionEdited) return false;
  // The pane renames on the server and changes the row itself, or refuses.
  OnCaptionEdited(index.row(), value.toString());
  return false;
}

QStringList TRemoteListModel::mimeTypes() const {
  return {QStringLiteral("application/x-pelmar-remote-items")};
}

QMimeData* TRemoteListModel::mimeData(const QModelIndexList& indexes) const {
  auto* data = new QMimeData;
  QStringList names;
  for (const QModelIndex& index : indexes) {
    if (index.column() == 0) names << Display(LinkName(RowAt(index.row()).Name));
  }
  data->setData(QStringLiteral("application/x-pelmar-remote-items"), names.join(u'\n').toUtf8());
  return data;
}

}  // namespace pelmar
