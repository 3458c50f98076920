#include "views/qt/LocalView.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QListView>
#include <QLocale>
#include <QMimeData>
#include <QRegularExpression>
#include <QTreeView>
#include <QUrl>

#include "text/PaneTexts.h"
#include "ui/Prompter.h"
#include "ui/QtText.h"
#include "views/qt/DesktopIcons.h"
#include "views/qt/LocalFileOps.h"

namespace pelmar {

bool TLocalModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role == Qt::EditRole && index.column() == 0 && BeforeRename &&
      value.toString() != fileName(index)) {
    BeforeRename(filePath(index));
  }
  return QFileSystemModel::setData(index, value, role);
}

TLocalView::TLocalView(QWidget* parent) : TCustomView(parent, '/'), Files(new TLocalModel(this)) {
  // One provider for the process: models may outlive any pane during shutdown.
  static TDesktopIconProvider icons;
  Files->setIconProvider(&icons);
  ListView()->SetAccessibleName(QStringLiteral("Local files"));
  Files->setReadOnly(false);
  Files->setFilter(QDir::AllEntries | QDir::AllDirs | QDir::NoDotAndDotDot);
  Files->setNameFilterDisables(false);
  Files->BeforeRename = [this](const QString& path) { emit FileChanging(path); };
  ListView()->SetModel(Files);
  // Files rewritten by other programs show their new size and time (Compare Folders sees
  // them too) without a refresh.
  Watch = new TFolderWatch(this);
  connect(Watch, &TFolderWatch::FilesChanged, this, [this](const QStringList& names) {
    const QString folder = Folder();
    for (const QString& name : names) {
      const QFileInfo info(folder + name);
      if (info.isFile()) Files->NoteChange(info.filePath(), info.size(), info.lastModified());
    }
    InvalidateTotal();
    RefreshStatus();
  });
  // A renamed entry moves to its place under its new name (the model sorts only when the
  // folder is read again). Queued: the rename is still being committed by the editor.
  connect(Files, &QFileSystemModel::fileRenamed, this, &TLocalView::SortAgain,
          Qt::QueuedConnection);
  ListView()->Details()->header()->setSectionResizeMode(QHeaderView::Interactive);
  ListView()->Details()->setSortingEnabled(true);
  ListView()->Details()->sortByColumn(0, Qt::AscendingOrder);
  for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(ListView()->Icons()),
                                  static_cast<QAbstractItemView*>(ListView()->Details())}) {
    view->setEditTriggers(QAbstractItemView::EditKeyPressed);
  }
  connect(Files, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
    if (QDir(path) != QDir(Folder())) return;
    InvalidateTotal();
    RefreshStatus();
    emit FillFinished();
  });
}

QString TLocalView::Mask() const {
  return FileFilter.isEmpty() ? QStringLiteral("*.*") : FileFilter;
}

void TLocalView::SetMask(const QString& text) {
  TCustomView::SetMask(text);
  FileFilter = text;
  QStringList masks;
  for (const QString& mask :
       text.split(QRegularExpression(QStringLiteral("[;, ]")), Qt::SkipEmptyParts)) {
    // "*.*" means everything here, also names without a dot.
    masks << (mask == QStringLiteral("*.*") ? QStringLiteral("*") : mask);
  }
  Files->setNameFilters(masks);
  RefreshFolder();
}

bool TLocalView::OpenItem(const QModelIndex& item) {
  if (!IsFolder(item)) return false;
  return ChangeFolder(GetItemPath(item));
}

QString TLocalView::GetItemName(const QModelIndex& item) const {
  return QFileInfo(GetItemPath(item)).fileName();
}

QString TLocalView::GetItemPath(const QModelIndex& item) const {
  return item.isValid() ? Files->filePath(item.siblingAtColumn(0)) : QString();
}

bool TLocalView::IsFolder(const QModelIndex& item) const {
  return item.isValid() && Files->isDir(item.siblingAtColumn(0));
}

bool TLocalView::IsLink(const QModelIndex& item) const {
  return item.isValid() && Files->fileInfo(item.siblingAtColumn(0)).isSymLink();
}

int64_t TLocalView::GetItemSize(const QModelIndex& item) const {
  if (!item.isValid() || IsFolder(item)) return 0;
  const int64_t size = Files->NotedSize(item);
  return size >= 0 ? size : Files->size(item.siblingAtColumn(0));
}

void TLocalModel::NoteSize(const QString& path, int64_t size) {
  Noted[path].Size = size;
  const QModelIndex item = index(path, 1);
  if (item.isValid()) emit dataChanged(item, item);
}

void TLocalModel::NoteChange(const QString& path, int64_t size, const QDateTime& modified) {
  Noted[path] = {size, modified};
  const QModelIndex first = index(path, 0);
  if (first.isValid()) emit dataChanged(first, first.siblingAtColumn(3));
}

int64_t TLocalModel::NotedSize(const QModelIndex& index) const {
  if (Noted.isEmpty()) return -1;  // the common case: no lookup at all
  return Noted.value(filePath(index.siblingAtColumn(0))).Size;
}

QDateTime TLocalModel::NotedTime(const QModelIndex& index) const {
  if (Noted.isEmpty()) return {};
  return Noted.value(filePath(index.siblingAtColumn(0))).Modified;
}

QVariant TLocalModel::data(const QModelIndex& index, int role) const {
  if (role == Qt::DisplayRole && index.column() == 1) {
    // The same size rule as the server's list ("204,800KB"), so both sides read alike.
    if (isDir(index)) return QString();
    const int64_t size = NotedSize(index);
    return Q(RemoteSizeColumn(size >= 0 ? size : QFileSystemModel::size(index)));
  }
  if (role == Qt::TextAlignmentRole && index.column() == 1) {
    return int(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (role == Qt::DisplayRole && index.column() == 3) {
    if (const QDateTime noted = NotedTime(index); noted.isValid()) {
      return QLocale::system().toString(noted, QLocale::ShortFormat);
    }
  }
  return QFileSystemModel::data(index, role);
}

QVariant TLocalModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section == 3) {
    return QStringLiteral("Modified");
  }
  return QFileSystemModel::headerData(section, orientation, role);
}

QDateTime TLocalView::GetItemDate(const QModelIndex& item) const {
  if (!item.isValid()) return {};
  const QDateTime noted = Files->NotedTime(item);
  return noted.isValid() ? noted : Files->lastModified(item.siblingAtColumn(0));
}

bool TLocalView::ChangeFolder(const QString& path) {
  const QFileInfo info(path);
  if (!info.isDir()) return false;
  const QString folder = info.absoluteFilePath();
  ListView()->ClearSelection();
  Files->ForgetSizes();
  ListView()->SetRoot(Files->setRootPath(folder));
  SetFolder(folder);
  Watch->Watch(folder);
  return true;
}

bool TLocalView::FolderUp() {
  QDir folder(Folder());
  if (!folder.cdUp()) return false;
  return ChangeFolder(folder.absolutePath());
}

QString TLocalView::NewFolderName(const QString& folder) {
  const QDir dir(folder);
  QString name = QStringLiteral("New Folder");
  for (int n = 2; dir.exists(name); ++n) name = QStringLiteral("New Folder (%1)").arg(n);
  return name;
}

bool TLocalView::MakeFolder(const QString&, bool edit) {
  QModelIndex made = Files->mkdir(ListView()->Root(), NewFolderName(Folder()));
  if (!made.isValid()) {
    Prompter().Error(ListView(), QStringLiteral("New Folder"),
                     QStringLiteral("The folder could not be created in ") + Folder());
    return false;
  }
  // The model adds a made folder at the end of the list.
  const QPersistentModelIndex kept(made);
  SortAgain();
  made = kept;
  if (edit) {
    ListView()->ClearSelection();
    ListView()->Select(made, true);
    ListView()->EditCaption(made);
  }
  return true;
}

QStringList TLocalView::SelectedPaths() const {
  QStringList paths;
  for (const QModelIndex& item : ListView()->SelectedItems()) paths << GetItemPath(item);
  return paths;
}

bool TLocalView::DeleteSelected(bool) {
  const QStringList paths = SelectedPaths();
  if (paths.isEmpty()) return false;
  for (const QModelIndex& item : ListView()->SelectedItems()) {
    if (!IsFolder(item)) emit FileChanging(GetItemPath(item));
  }
  const QString question =
      paths.size() == 1
          ? QStringLiteral("Move \"") + QFileInfo(paths.first()).fileName() +
                QStringLiteral("\" to the trash?")
          : QString(QStringLiteral("Move these %1 items to the trash?")).arg(paths.size());
  if (!Prompter().Confirm(ListView(), QStringLiteral("Confirm Delete"), question)) return false;
  const QStringList refused = MoveToTrash(paths);
  if (!refused.isEmpty()) {
    const QString permanent =
        refused.size() == 1
            ? QStringLiteral("\"") + QFileInfo(refused.first()).fileName() +
                  QStringLiteral("\" cannot be moved to the trash. Delete it for good?")
            : QString(
                  QStringLiteral("%1 items cannot be moved to the trash. Delete them for good?"))
                  .arg(refused.size());
    if (Prompter().Confirm(ListView(), QStringLiteral("Confirm Delete"), permanent)) {
      const QStringList failed = DeleteForGood(refused);
      if (!failed.isEmpty()) {
        Prompter().Error(ListView(), QStringLiteral("Delete"),
                         QStringLiteral("Could not delete:\n") + failed.join(u'\n'));
      }
    }
  }
  return true;
}

bool TLocalView::ShowProperties() {
  const QStringList paths = SelectedPaths();
  if (paths.isEmpty()) return false;
  ShowLocalProperties(ListView(), paths);
  return true;
}

void TLocalView::PutOnClipboard(bool cut) {
  const QStringList paths = SelectedPaths();
  if (paths.isEmpty()) return;
  QApplication::clipboard()->setMimeData(FilesMimeData(paths, cut));
}

void TLocalView::Cut() {
  PutOnClipboard(true);
}

void TLocalView::Copy() {
  PutOnClipboard(false);
}

bool TLocalView::ReceiveDroppedFiles(const QStringList& paths, bool move) {
  PasteInto(TClipboardFiles{paths, move}, QStringLiteral("Drop"));
  return true;
}

void TLocalView::Paste() {
  const TClipboardFiles files = ReadClipboardFiles(QApplication::clipboard()->mimeData());
  if (files.Paths.isEmpty()) return;
  PasteInto(files, QStringLiteral("Paste"));
  // Moved files are gone from where they were; the clipboard no longer names them.
  if (files.Cut) QApplication::clipboard()->clear();
}

void TLocalView::PasteInto(const TClipboardFiles& files, const QString& caption) {
  const auto replace = [this](const QString& target) {
    return Prompter().Confirm(
        ListView(), QStringLiteral("Confirm Replace"),
        QStringLiteral("\"") + target + QStringLiteral("\" already exists. Replace it?"));
  };
  const QStringList failed = PasteFiles(files, Folder(), replace);
  if (!failed.isEmpty()) {
    Prompter().Error(ListView(), caption,
                     QStringLiteral("Could not ") + caption.toLower() + QStringLiteral(":\n") +
                         failed.join(u'\n'));
  }
}

void TLocalView::RefreshFolder() {
  // The model watches the folder; a refresh reads it again from the disk.
  const QString folder = Folder();
  if (folder.isEmpty()) return;
  Files->setRootPath(QString());
  ChangeFolder(folder);
}

bool TLocalView::RenameItem(const QString& oldPath, const QString& newPath) {
  return QFile::rename(oldPath, newPath);
}

void TLocalView::SortAgain() {
  const QHeaderView* header = ListView()->Details()->header();
  const int column = header->sortIndicatorSection();
  const Qt::SortOrder order = header->sortIndicatorOrder();
  // The model skips a sort by the column it already has (another order only turns the list
  // round): sort by another column first.
  Files->sort(column == 0 ? 1 : 0, order);
  Files->sort(column, order);
}

void TLocalView::UpdateItem(const std::string& folder, const std::string& name, uint16_t, int64_t,
                            TDateTime) {
  // The file-system model watches the folder for names coming and going and for changed
  // attributes, not for a file growing: a downloaded file would keep the size it had when
  // it appeared. Writing its own times back changes nothing but tells the watch to read it
  // again.
  if (QDir(QString::fromStdString(folder)) != QDir(Folder())) return;
  const std::string path = folder + name;
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  const timespec times[2] = {info.st_atim, info.st_mtim};
  ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
  // The watch may still miss it under load: the pane shows the size noted here until the
  // folder is shown anew.
  Files->NoteSize(QString::fromStdString(path), static_cast<int64_t>(info.st_size));
}

}  // namespace pelmar
