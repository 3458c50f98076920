// The remote pane's work on whole selections: walking them into the transfer queue both
// ways, fetching files for the owner, a single upload, and deleting folders recursively.

#include <QApplication>
#include <QIcon>

#include "listing/RemoteItem.h"
#include "settings/Preferences.h"
#include "text/PrivateFolder.h"
#include "text/TextUtils.h"
#include "transfers/TransferQueue.h"
#include "transfers/TreeWalk.h"
#include "transfers/qt/ConfirmDialogs.h"
#include "ui/QtText.h"
#include "views/qt/HostView.h"
#include "views/qt/HostViewLister.h"

#include <QFileInfo>
#include <QMap>

namespace pelmar {

bool THostView::SendSelection(TCustomView* target) {
  if (!target) return false;
  if (target == this) return false;
  return WalkSelection(*this, *target, false);
}

bool THostView::ReceiveSelection(TCustomView& source) {
  if (&source == this) return false;
  return WalkSelection(source, *this, true);
}

bool THostView::WalkSelection(TCustomView& source, TCustomView& destination, bool upload) {
  QStringList names;
  for (const QModelIndex& item : source.ListView()->SelectedItems()) {
    names << source.GetItemName(item);
  }
  return WalkNames(&source, source.Folder(), names, destination, upload);
}

bool THostView::ReceiveDroppedFiles(const QStringList& paths, bool) {
  // Grouped by the folder they are in (a file manager's selection is one folder).
  QMap<QString, QStringList> byFolder;
  for (const QString& path : paths) {
    const QFileInfo info(path);
    QString folder = info.absolutePath();
    if (!folder.endsWith(u'/')) folder += u'/';
    byFolder[folder] << info.fileName();
  }
  bool any = false;
  for (auto group = byFolder.cbegin(); group != byFolder.cend(); ++group) {
    any = WalkNames(nullptr, group.key(), group.value(), *this, true) || any;
  }
  return any;
}

bool THostView::WalkNames(TCustomView* source, const QString& sourceFolder,
                          const QStringList& names, TCustomView& destination, bool upload) {
  if (!Queue || !Connected() || Busy()) return false;
  if (names.isEmpty()) return false;
  Walking = true;
  const std::string start = S(Folder());
  TTransferItem templateItem;
  templateItem.Server = std::make_shared<const TServer>(Ftp->Server());
  templateItem.Upload = upload ? 1 : 0;
  templateItem.SourceView = source;
  templateItem.DestView = &destination;
  TRemoteLister remote(*this, !upload);
  TLocalFolderLister local;
  // Questions go to the person unless the owner answers them.
  TDialogQueueQuestions dialogs(ListView());
  IQueueQuestions* questions = Questions ? Questions : &dialogs;
  TWalk walk(*Queue, upload ? static_cast<IFolderLister&>(local) : remote,
             upload ? static_cast<IFolderLister&>(remote) : local, *questions, templateItem,
             Ftp->ServerCanResume() != 0);
  std::shared_ptr<bool> alive = Alive;
  walk.Log = [this, alive](const std::string& line) {
    if (*alive) Log(Q(line));
  };
  std::vector<std::string> selection;
  for (const QString& name : names) selection.push_back(S(name));
  const TWalkResult result = walk.Run(S(sourceFolder), S(destination.Folder()), selection);
  if (!*alive) return false;
  for (const auto& folder : result.Unlisted) Log(Q("Could not open folder " + folder.Folder));
  Walking = false;
  // The walk entered sub-folders in this pane; it shows where it started again (cached).
  if (!upload && S(Folder()) != start) ChangeFolder(Q(start));
  return true;
}

void THostView::DeleteOnServer(const std::map<std::string, QStringList>& names) {
  if (Walking || !Connected()) return;
  Walking = true;
  const std::shared_ptr<bool> alive = Alive;
  const std::string start = S(Folder());
  for (const auto& [folder, entries] : names) {
    if (!ChangeFolderAndWait(Q(folder)) || !*alive) {
      if (!*alive) return;
      Log(Q("Could not open folder " + folder));
      continue;
    }
    ListView()->ClearSelection();
    std::vector<int> rows;
    for (const QString& name : entries) {
      const int row = Rows->FindCaption(name);
      if (row >= 0) rows.push_back(row);
    }
    ListView()->SelectRows(rows);
    DeleteLevel(folder);
    if (!*alive) return;
  }
  Walking = false;
  RebuildTree();
  ChangeFolder(Q(start));
}

bool THostView::UploadFile(TCustomView& source) {
  const QModelIndexList selected = source.ListView()->SelectedItems();
  if (!Connected() || selected.isEmpty()) return false;
  const QModelIndex item = selected.first();
  TransferKind = TFetchKind::Upload;
  const std::string name = S(source.GetItemName(item));
  Ftp->Upload(S(source.Folder()) + name, S(Folder()) + name, Preferences().TransferModeFor(name));
  return true;
}

bool THostView::FetchSelected(TCustomView& other, TFetchKind kind) {
  const QModelIndexList selected = ListView()->SelectedItems();
  if (!Connected() || selected.isEmpty()) return false;
  RememberCommand([this, to = QPointer<TCustomView>(&other), kind] {
    if (to) FetchSelected(*to, kind);
  });
  // Files to view, open or edit go to this run's private folder.
  const bool download = kind == TFetchKind::Download;
  std::string target = download ? S(other.Folder()) : PrivateFolder();
  if (target.empty()) return false;
  EnsureTrailingSeparator(target, other.Seperator());
  FetchedFiles.clear();
  FetchQueue.clear();
  TransferKind = kind;
  for (const QModelIndex& item : selected) {
    const std::string name = NameBytes(item);
    // A remote name never becomes a path of its own on this machine.
    if (!IsSafeLocalName(name)) {
      Log(Q("\"" + name + "\" cannot be a local file name; not transferred"));
      continue;
    }
    // Nothing but a file of ours is written to there: a link in its place goes first.
    const std::string local = download ? target + name : PrivateFilePath(name);
    if (local.empty()) continue;
    FetchQueue.push_back({S(Folder()) + name, local, Preferences().TransferModeFor(name)});
    FetchedFrom[local] = S(Folder()) + name;
  }
  ListView()->setEnabled(false);
  StartNextFetch();
  return true;
}

void THostView::StartNextFetch() {
  if (FetchQueue.empty()) {
    ListView()->setEnabled(true);
    return;
  }
  const TFetch next = FetchQueue.front();
  FetchQueue.pop_front();
  FetchedFiles << Q(next.Local);
  Ftp->Download(next.Remote, next.Local, next.Mode);
}

bool THostView::DeleteSelected(bool confirm) {
  const QModelIndexList selected = ListView()->SelectedItems();
  if (selected.isEmpty() || Busy() || !Connected()) return false;
  if (confirm) {
    // One entry is named in the question: the selected one, wherever the focus is.
    const QModelIndex focused = ListView()->FocusedItem();
    const QModelIndex named = selected.size() > 1 && focused.isValid() ? focused : selected.first();
    if (!ConfirmDelete || !ConfirmDelete(static_cast<int>(selected.size()), GetItemName(named),
                                         IsFolder(named) && !IsLink(named))) {
      return false;
    }
  }
  Walking = true;
  const std::string start = S(Folder());
  std::shared_ptr<bool> alive = Alive;
  DeleteLevel(start);
  if (!*alive) return false;
  Walking = false;
  RebuildTree();
  RefreshFolder();
  return true;
}

// Deletes the selection of the folder shown: files first, then each folder's contents, the
// folder itself after them. A folder whose contents cannot be listed is left as it is.
void THostView::DeleteLevel(const std::string& folder) {
  std::vector<std::string> files;
  std::vector<std::string> subFolders;
  for (const QModelIndex& item : ListView()->SelectedItems()) {
    (IsFolder(item) && !IsLink(item) ? subFolders : files).push_back(NameBytes(item));
    if (!IsFolder(item) || IsLink(item)) {
      emit FileChanging(BuildUrl(item));
    }
  }
  for (const auto& name : files) Ftp->DeleteFile(folder + name);
  std::shared_ptr<bool> alive = Alive;
  for (const auto& name : subFolders) {
    const std::string entered = folder + name + "/";
    const bool listed = ChangeFolderAndWait(Q(entered));
    if (!*alive) return;
    if (!listed) {
      Log(Q("Could not open folder " + entered));
      continue;
    }
    ListView()->SelectAll();
    DeleteLevel(entered);
    if (!*alive) return;
    Ftp->ChangeFolder(folder);
    if (folder + name != "/") Ftp->RemoveFolder(folder + name);
    DropFolder(entered);
    TreeList.erase(entered);
    ChangeFolder(Q(folder));
  }
}

bool THostView::ShowProperties() {
  const QModelIndexList selected = ListView()->SelectedItems();
  if (selected.isEmpty()) return false;
  std::vector<TPropertyEntry> entries;
  for (const QModelIndex& item : selected) {
    const TItemRecord* record = RecordOf(item);
    TPropertyEntry entry;
    entry.Name = GetItemName(item);
    entry.Type = Rows->TypeText(item.row());
    entry.Size = record ? record->Size : 0;
    entry.Modified = GetItemDate(item);
    entry.Attributes = record ? record->Attributes : 0;
    entry.Icon = Rows->data(item, Qt::DecorationRole).value<QIcon>();
    entries.push_back(std::move(entry));
  }
  const bool editable = Ftp->UnixListing != 0;
  std::optional<uint16_t> attributes;
  if (AskProperties) {
    attributes = AskProperties(entries, Folder(), editable);
  } else {
    TfrmProperties dialog(entries, Folder(), editable, ListView());
    if (dialog.exec() == QDialog::Accepted && dialog.Changed()) attributes = dialog.Attributes();
  }
  if (!attributes || !editable) return true;
  for (const QModelIndex& item : selected)
    Ftp->ChangeMode(S(Folder()) + NameBytes(item), *attributes);
  return true;
}

}  // namespace pelmar
