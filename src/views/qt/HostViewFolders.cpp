// THostView: changing folder, the listings that arrive and the folder tree of the server box.

#include <QApplication>
#include <QEventLoop>
#include <QHeaderView>
#include <QRegularExpression>
#include <QStandardItem>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdlib>
#include "engine/EngineSettings.h"
#include "listing/FolderItems.h"
#include "listing/ListingPass.h"
#include "listing/TimeOffset.h"
#include "settings/Preferences.h"
#include "text/TextUtils.h"
#include "text/UrlText.h"
#include "transfers/CaseFolding.h"
#include "transfers/qt/ConfirmDialogs.h"
#include "ui/Prompter.h"
#include "ui/QtText.h"
#include "ui/TreeCombo.h"
#include "views/qt/HostView.h"

namespace pelmar {
namespace {

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

}  // namespace

bool THostView::ChangeFolder(const QString& pathText) {
  if (!Connected()) return false;
  const std::string path = WithSlash(S(pathText));
  RememberCommand([this, path] { ChangeFolder(Q(path)); });
  TotalSize = -1;
  if (Folders.Contains(path)) {
    ShowInTree(path, true);
    if (Folders.Names(path)) {
      ShowFromCache(path);
    } else {
      Ftp->List();
    }
    return true;
  }
  Rows->Clear();
  UpdateState(usBusy);
  Ftp->ChangeFolder(path);
  Ftp->GetFolder();
  return true;
}

void THostView::ShowFromCache(const std::string& path) {
  SetFolder(Q(path));
  BuildingList = true;
  // One model reset for the whole folder: no item is made per row.
  Rows->SetRows(Folders.Names(path));
  Rows->SortRows(SortColumn);
  BuildingList = false;
  UpdateState(usIdle);
  TotalSize = -1;
  RefreshStatus();
}

bool THostView::ChangeFolderAndWait(const QString& pathText) {
  // One wait at a time: a second one from inside the first would pull the pane away.
  if (WaitLoop || !Connected()) return false;
  const std::string path = WithSlash(S(pathText));
  if (!ChangeFolder(Q(path))) return false;
  if (Folders.Names(path)) return true;
  QEventLoop loop;
  WaitLoop = &loop;
  WaitFailed = false;
  std::weak_ptr<bool> alive = Alive;
  QTimer limit;
  limit.setSingleShot(true);
  // The engine ends a silent server with its own time-out; this is the last resort.
  connect(&limit, &QTimer::timeout, &loop, [&loop, this, alive] {
    if (!alive.expired()) WaitFailed = true;
    loop.quit();
  });
  limit.start(EngineSettings().FTPTimeout.load() * 2 + 1000);
  const QPointer<THostView> self(this);
  WaitPath = path;
  CheckWait = [this, path, &loop] {
    if (Folders.Names(path)) loop.quit();
  };
  loop.exec();
  if (alive.expired() || !self) return false;
  CheckWait = nullptr;
  WaitLoop = nullptr;
  return !WaitFailed && Folders.Names(path) != nullptr;
}

bool THostView::FolderUp() {
  std::string folder = S(Folder());
  if (!ParentFolder(folder)) return false;
  return ChangeFolder(Q(folder));
}

bool THostView::MakeFolder(const QString& name, bool) {
  // By its whole path: a session made again may not be in the pane's folder yet.
  const std::string path = name.startsWith(u'/') ? S(name) : FolderBytes() + S(name);
  Ftp->MakeFolder(path);
  RefreshFolder();
  return true;
}

void THostView::RefreshFolder() {
  if (Busy() || !Connected()) return;
  const std::string path = S(Folder());
  // The folder's tree node stays (the box shows it throughout); the listing that follows
  // adds its new sub-folders and takes away those gone.
  DropFolder(path);
  ChangeFolder(Q(path));
}

bool THostView::RenameItem(const QString& oldPath, const QString& newPath) {
  Ftp->Rename(S(oldPath), S(newPath));
  RefreshFolder();
  return true;
}

void THostView::DropFolder(const std::string& path) {
  if (Rows->Source() && Rows->Source() == Folders.Names(path)) Rows->Clear();
  Folders.Drop(path);
}

void THostView::FolderArrived(const std::string& pathText, uint8_t kind) {
  if (kind != fkCurrent) return;
  std::string path = WithSlash(pathText);
  // A server that folds case may name the folder a wait is for in its own spelling.
  if (WaitLoop && path != WaitPath && ServerFoldsCase.value_or(false) &&
      FoldedName(path) == FoldedName(WaitPath)) {
    path = WaitPath;
  }
  // The server stayed elsewhere: it refused the folder a wait is for (a refused CWD reports
  // no error of its own).
  if (WaitLoop && path != WaitPath) {
    WaitFailed = true;
    WaitLoop->quit();
  }
  SetFolder(Q(path));
  Folders.Expect(path);
  ChangeFolder(Q(path));
}

void THostView::ListingArrived(std::string& text) {
  const std::string path = S(Folder());
  std::vector<TRemoteRow> rows;
  TFolderItems items(ItemCache());
  items.Masks = MaskList;
  std::vector<std::string> subFolders;
  items.OnFolderListed = [&subFolders](const std::string& name) { subFolders.push_back(name); };
  TListingPass pass;
  pass.TimeOffsetMinutes = ServerTimeOffset;
  pass.BuildingList = BuildingList = true;
  std::shared_ptr<bool> alive = Alive;
  TListingHooks hooks;
  // The newest file of the listing may tell the server's time zone.
  const TDateTime now = DateTimeFromTimeT(std::time(nullptr));
  const TRemoteItem* newest = nullptr;
  TRemoteItem probe;
  hooks.AddItem = [&](TRemoteItem& item) {
    if (ZoneCheckWanted && BetterZoneProbe(item, newest, now)) {
      probe = item;
      newest = &probe;
    }
    if (*alive) items.Add(item);
  };
  hooks.SetUnixListing = [this, alive](bool unixLayout) {
    if (*alive) Ftp->UnixListing = unixLayout ? 1 : 0;
  };
  hooks.ProcessPendingEvents = [&pass, this, alive] {
    QCoreApplication::processEvents();
    if (!*alive || !BuildingList) pass.BuildingList = false;
  };
  hooks.Log = [this, alive](const std::string& line) {
    if (*alive) Log(Q(line));
  };
  const TListingPassResult result = pass.ListingReceived(text, Today(), hooks);
  if (!*alive) {
    for (const auto& [name, index] : items.Names()) ItemCache().Release(index);
    return;
  }
  const int64_t total = items.TotalBytes();
  BuildingList = false;
  {
    auto names = items.TakeNames();
    rows.reserve(names.size());
    for (auto& [name, index] : names) rows.push_back({std::move(name), index});
  }
  if (result.Unreadable > 0) ReportUnreadableListing(path);
  ListedOtherLayout = result.ExactTimes == 0 && result.Entries > 0 && Ftp->UnixListing == 0;
  if (ZoneCheckWanted && newest && result.ExactTimes == 0) {
    ZoneCheckWanted = false;
    ZoneProbePath = path + newest->Name;
    ZoneProbeListed = newest->Modified + ServerTimeOffset / (24.0 * 60.0);
    Ftp->AskFileTime(ZoneProbePath);
  }
  Rows->Clear();  // it may show the listing this one replaces
  Folders.Store(path, std::move(rows));
  PruneTree(path, subFolders);
  for (const auto& name : subFolders) ShowInTree(path + name + "/", false);
  ShowInTree(path, true);
  Rows->SetRows(Folders.Names(path));
  Rows->SortRows(SortColumn);
  TotalSize = total;
  RefreshStatus();
  UpdateState(usIdle);
  if (CheckWait) CheckWait();
  AfterListing();
}

void THostView::AfterListing() {
  if (PendingName.isEmpty()) return;
  const int row = Rows->FindCaption(PendingName);
  PendingName.clear();
  TCustomView* target = OnTransfer ? OnTransfer(*this) : nullptr;
  if (row < 0 || !target) return;
  const QModelIndex item = Rows->index(row, 0);
  ListView()->ClearSelection();
  ListView()->Select(item, true);
  if (IsFolder(item)) {
    DeferTimer->start();
  } else {
    SendSelection(target);
  }
}

void THostView::ForgetTreeBelow(const std::string& path) {
  for (auto it = TreeList.lower_bound(path); it != TreeList.end() && it->first.starts_with(path);) {
    it = TreeList.erase(it);
  }
  for (const std::string& cached : Folders.Paths()) {
    if (cached.starts_with(path)) DropFolder(cached);
  }
}

void THostView::PruneTree(const std::string& path, const std::vector<std::string>& subFolders) {
  std::vector<std::string> gone;
  for (auto it = TreeList.upper_bound(path); it != TreeList.end() && it->first.starts_with(path);
       ++it) {
    const std::string rest = it->first.substr(path.size());
    if (rest.find('/') + 1 != rest.size()) continue;  // deeper than a child
    if (std::find(subFolders.begin(), subFolders.end(), rest.substr(0, rest.size() - 1)) ==
        subFolders.end()) {
      gone.push_back(it->first);
    }
  }
  for (const std::string& child : gone) {
    QStandardItem* node = TreeList[child];
    ForgetTreeBelow(child);
    if (node && node->parent()) node->parent()->removeRow(node->row());
  }
}

void THostView::SetTreeCombo(TTreeCombo* combo) {
  Tree = combo;
  RebuildTree();
}

void THostView::ShowInTree(const std::string& path, bool select) {
  if (!Tree || !ListView()->isVisible() || !Connected()) return;
  static const QIcon closed = QIcon::fromTheme(
      QStringLiteral("folder"), QApplication::style()->standardIcon(QStyle::SP_DirClosedIcon));
  static const QIcon network =
      QIcon::fromTheme(QStringLiteral("network-server"),
                       QApplication::style()->standardIcon(QStyle::SP_DriveNetIcon));
  if (TreeList.empty()) {
    QStandardItem* root = Tree->AddNode(nullptr, QStringLiteral("Server"), network);
    root->setData(QString(QStringLiteral("/")), Qt::UserRole);
    TreeList["/"] = root;
  }
  QStandardItem* node = TreeList["/"];
  std::string prefix = "/";
  size_t at = 1;
  while (at < path.size()) {
    const size_t slash = path.find('/', at);
    if (slash == std::string::npos) break;
    const std::string part = path.substr(at, slash - at);
    prefix += part + "/";
    at = slash + 1;
    if (part.empty()) continue;
    auto found = TreeList.find(prefix);
    if (found == TreeList.end()) {
      QStandardItem* child = Tree->AddNode(node, Q(part), closed);
      child->setData(Q(prefix), Qt::UserRole);
      TreeList[prefix] = child;
      Tree->SortChildren(node);
      found = TreeList.find(prefix);
    }
    node = found->second;
    Tree->SetDimmed(node, Folders.Names(prefix) == nullptr);
  }
  Tree->SetDimmed(node, Folders.Names(path) == nullptr);
  if (!select && node->parent()) Tree->Expand(node->parent());
  if (select) Tree->SelectSilently(node);
}

void THostView::RebuildTree() {
  if (!Tree) return;
  Tree->ClearTree();
  TreeList.clear();
  for (const auto& path : Folders.Paths()) ShowInTree(path, false);
  ShowInTree(S(Folder()), true);
}

std::string THostView::TreePath(const QStandardItem* node) const {
  return node ? S(node->data(Qt::UserRole).toString()) : std::string();
}

}  // namespace pelmar
