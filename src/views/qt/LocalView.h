#pragma once
// The local pane over the file system: a folder shown with the desktop's icons and type names,
// a file mask, new folders, renaming, moving to the trash, and cut, copy and paste that work
// with the desktop's file manager.

#include <QFileSystemModel>
#include <QHash>

#include "views/qt/CustomView.h"
#include "views/qt/FolderWatch.h"
#include "views/qt/LocalFileOps.h"

namespace pelmar {

// The file-system model with a notice before a caption edit renames a file.
class TLocalModel : public QFileSystemModel {
  Q_OBJECT
 public:
  using QFileSystemModel::QFileSystemModel;
  std::function<void(const QString& path)> BeforeRename;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  // The model's watch misses a file that grows after it appeared (a download): a transfer
  // that ends notes the file's final size, which the Size column shows from then on.
  QVariant data(const QModelIndex& index, int role) const override;
  // The server pane's captions, so that both panes name their columns alike.
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  void NoteSize(const QString& path, int64_t size);
  // A file another program rewrote: its size and time as they are now (the model's own watch
  // keeps the old ones).
  void NoteChange(const QString& path, int64_t size, const QDateTime& modified);
  // The noted size of a file; -1 when none was noted.
  int64_t NotedSize(const QModelIndex& index) const;
  // The noted time of a file; invalid when none was noted.
  QDateTime NotedTime(const QModelIndex& index) const;
  void ForgetSizes() { Noted.clear(); }

 private:
  struct TNoted {
    int64_t Size = -1;
    QDateTime Modified;
  };
  QHash<QString, TNoted> Noted;
};

class TLocalView : public TCustomView {
  Q_OBJECT
 public:
  explicit TLocalView(QWidget* parent);

  TLocalModel& Model() { return *Files; }
  // The next free name for a new folder: "New Folder", then "New Folder (2)", ...
  static QString NewFolderName(const QString& folder);

  QString Mask() const override;
  void SetMask(const QString& text) override;
  bool ReceiveSelection(TCustomView&) override { return false; }
  bool OpenItem(const QModelIndex& item) override;
  QString GetItemName(const QModelIndex& item) const override;
  QString GetItemPath(const QModelIndex& item) const override;
  bool IsFolder(const QModelIndex& item) const override;
  bool IsLink(const QModelIndex& item) const override;
  int64_t GetItemSize(const QModelIndex& item) const override;
  QDateTime GetItemDate(const QModelIndex& item) const override;
  bool ChangeFolder(const QString& path) override;
  bool ChangeFolderAndWait(const QString& path) override { return ChangeFolder(path); }
  bool FolderUp() override;
  bool MakeFolder(const QString& name, bool edit) override;
  bool DeleteSelected(bool confirm) override;
  bool ShowProperties() override;
  void Cut() override;
  void Copy() override;
  void Paste() override;
  // Copied into the shown folder (moved with Shift), asking before replacing anything.
  bool ReceiveDroppedFiles(const QStringList& paths, bool move) override;
  void RefreshFolder() override;
  bool RenameItem(const QString& oldPath, const QString& newPath) override;
  // Sorts the list again by the column and order it shows.
  void SortAgain();
  void UpdateItem(const std::string& folder, const std::string& name, uint16_t attributes,
                  int64_t size, TDateTime modified) override;

 signals:
  // The folder shown has been read completely.
  void FillFinished();

 private:
  void PasteInto(const TClipboardFiles& files, const QString& caption);
  void PutOnClipboard(bool cut);
  QStringList SelectedPaths() const;

  TLocalModel* Files;
  TFolderWatch* Watch;
  QString FileFilter;
};

}  // namespace pelmar
