#include "views/qt/HostView.h"
#include "listing/TimeOffset.h"

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
#include "settings/Preferences.h"
#include "text/TextUtils.h"
#include "text/UrlText.h"
#include "transfers/CaseFolding.h"
#include "transfers/qt/ConfirmDialogs.h"
#include "ui/Prompter.h"
#include "ui/QtText.h"
#include "ui/TreeCombo.h"

namespace pelmar {
namespace {

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

}  // namespace

THostView::THostView(QWidget* parent, std::shared_ptr<TEventTarget> target)
    : TCustomView(parent, '/'),
      Ftp(std::make_unique<TFTPComponent>(std::move(target))),
      Folders(ItemCache()),
      Rows(new TRemoteListModel(ItemCache(), this)),
      DeferTimer(new QTimer(this)) {
  ListView()->SetAccessibleName(QStringLiteral("Server files"));
  ListView()->SetModel(Rows);
  ListView()->setEnabled(false);
  QHeaderView* header = ListView()->Details()->header();
  header->setSectionResizeMode(QHeaderView::Interactive);
  // A click sorts by that column, a second click on it the other way; the header shows it.
  header->setSortIndicatorShown(true);
  header->setSortIndicator(TRemoteListModel::colName, Qt::AscendingOrder);
  connect(header, &QHeaderView::sectionClicked, this, [this, header](int section) {
    const int column = section + 1;
    SortColumn = SortColumn == column ? -SortColumn : column;
    const Qt::SortOrder order = SortColumn > 0 ? Qt::AscendingOrder : Qt::DescendingOrder;
    header->setSortIndicator(section, order);
    Rows->sort(section, order);
  });
  Rows->OnCaptionEdited = [this](int row, const QString& text) { CaptionEdited(row, text); };
  DeferTimer->setSingleShot(true);
  DeferTimer->setInterval(1000);
  connect(DeferTimer, &QTimer::timeout, this, [this] {
    TCustomView* destination = OnTransfer ? OnTransfer(*this) : nullptr;
    if (destination) SendSelection(destination);
  });
  ConfirmDelete = [this](int count, const QString& name, bool folder) {
    return ConfirmRemoteDelete(ListView(), count, name, folder);
  };
  BindEngine();
}

void THostView::SetSort(int key) {
  if (key == 0 || std::abs(key) > TRemoteListModel::colCount) return;
  SortColumn = key;
  ListView()->ShowSortKey(key);
  Rows->SortRows(SortColumn);
}

THostView::~THostView() {
  *Alive = false;
  Rows->Clear();  // the rows it shows belong to the cache, which goes first
  // A wait for a folder must not go on into a pane that is gone.
  if (WaitLoop) WaitLoop->quit();
  Ftp->ClearHandlers();
}

void THostView::BindEngine() {
  Ftp->OnAborted = [this](TFTPComponent&) { UpdateState(usTransferError); };
  Ftp->OnConnectFailed = [this](TFTPComponent&) {
    UpdateState(usConnectFailed);
    if (!Resuming) return;
    // Logging on again failed: the session ends as any other would.
    Resuming = false;
    EndSession();
  };
  Ftp->OnConnected = [this](TFTPComponent&) { UpdateState(usGreeting); };
  Ftp->OnDisconnected = [this](TFTPComponent&) { Disconnected(); };
  Ftp->OnError = [this](TFTPComponent&, int, const std::string& text) {
    if (WaitLoop) {
      WaitFailed = true;
      WaitLoop->quit();
    }
    UpdateState(usIdle);
    UpdateState(usError);
    Log(QStringLiteral("Error: ") + Q(text));
  };
  Ftp->OnFolder = [this](TFTPComponent&, const std::string& path, uint8_t kind) {
    FolderArrived(path, kind);
  };
  Ftp->OnLog = [this](TFTPComponent&, const std::string& text) { Log(Q(text)); };
  Ftp->OnLoggedIn = [this](TFTPComponent&) {
    SessionOpen = true;
    if (Resuming) {
      Resumed();
      return;
    }
    UpdateState(usConnected);
    Rows->Clear();
    Rows->Editable = true;
    ListView()->setEnabled(true);
    if (!FolderBytes().empty()) Ftp->ChangeFolder(FolderBytes());
    Ftp->GetFolder();
  };
  Ftp->OnListing = [this](TFTPComponent&, std::string& text) { ListingArrived(text); };
  Ftp->OnFileTime = [this](TFTPComponent&, const std::string& name, int64_t time) {
    if (TimeWait && name == TimeWaitPath) {
      TimeWait(time);
      return;
    }
    if (name != ZoneProbePath || time < 0) return;
    ZoneProbePath.clear();
    if (const auto minutes = ListedTimeOffset(ZoneProbeListed, static_cast<std::time_t>(time))) {
      emit ServerTimeZoneFound(*minutes);
    }
  };
  Ftp->OnProgress = [this](TFTPComponent&, uint8_t kind, bool isFile, int64_t count) {
    ProgressArrived(kind, isFile, count);
  };
}

bool THostView::Connected() const {
  // A session being made again takes commands: they wait behind the log-on.
  return Ftp->IsConnected() || Resuming;
}

std::string THostView::FolderBytes() const {
  return S(Folder());
}

void THostView::Log(const QString& text) {
  LogEntries.append(text);
  while (LogEntries.size() > kMaxLogEntries) LogEntries.removeFirst();
  emit Logged(text);
}

void THostView::UpdateState(int code, int value) {
  emit StateUpdated(code, value);
}

void THostView::Connect(const QString& host, int port, const QString& user, const QString& password,
                        const QString& account, const QString& folder, const QString& selectName,
                        TEncryption encryption) {
  ServerTimeOffset = 0;  // a site's own offset and check are set after this
  ZoneCheckWanted = false;
  ServerFoldsCase.reset();
  SiteName.clear();
  SetFolder(folder);
  PendingName = selectName;
  Ftp->Host = S(host);
  Ftp->Port = port;
  Ftp->User = S(user);
  Ftp->Password = S(password);
  Ftp->Account = S(account);
  Ftp->Encryption = encryption;
  SessionOpen = false;
  Resuming = false;
  LastCommand = nullptr;
  if (Ftp->IsConnected()) Ftp->Disconnect();
  const TPreferences& preferences = Preferences();
  ConnectAsPreferred(*Ftp, preferences);
  UpdateState(usBusy);
}

void THostView::Disconnect() {
  SessionOpen = false;
  LastCommand = nullptr;
  if (Ftp->IsBusy()) Ftp->Abort();
  Ftp->Disconnect();
}

void THostView::Stop() {
  BuildingList = false;
  if (WaitLoop) {
    WaitFailed = true;
    WaitLoop->quit();
  }
}

void THostView::ReportUnreadableListing(const std::string& folder) {
  // The lines were logged one by one; the box says so once per folder and connection, after
  // the list is shown (a refresh of the same folder would only repeat it).
  if (!ServerErrorShown.insert(folder).second) return;
  const QString text = Q(ServerErrorText(Ftp->Host, Ftp->Port));
  QTimer::singleShot(0, this, [this, text] {
    Prompter().Error(ListView()->window(), Q(kServerErrorCaption), text);
  });
}

void THostView::Disconnected() {
  ServerErrorShown.clear();
  // While logging on again: the closed connection's last reports, or a failed log-on, which
  // its own report ends.
  if (Resuming) return;
  const bool nested = WaitLoop || Walking;
  if (WaitLoop) {
    WaitFailed = true;
    WaitLoop->quit();
  }
  if (SessionOpen) {
    // The server closed the session (a command's request found it closed: an idle
    // connection is not watched). Log on again with the same values; the pane keeps what it
    // shows. The command runs again once the pane is back in its folder, unless it was part
    // of a walk or a delete, which ended with its failure.
    SessionOpen = false;
    Resuming = true;
    const auto recent = std::chrono::milliseconds(EngineSettings().FTPTimeout.load() * 2 + 1000);
    if (nested || std::chrono::steady_clock::now() - LastCommandTime > recent) {
      LastCommand = nullptr;
    }
    Log(QStringLiteral("The server closed the connection; logging on again"));
    UpdateState(usBusy);
    ConnectAsPreferred(*Ftp, Preferences());
    return;
  }
  EndSession();
}

void THostView::Resumed() {
  Resuming = false;
  // A walk or a wait that went on meanwhile sent its own requests behind the log-on.
  if (Busy()) return;
  const std::string folder = FolderBytes();
  const std::function<void()> command = std::exchange(LastCommand, nullptr);
  if (!folder.empty()) Ftp->ChangeFolder(folder);
  if (command) {
    command();
  } else {
    Ftp->GetFolder();
  }
}

void THostView::RememberCommand(std::function<void()> command) {
  LastCommand = std::move(command);
  LastCommandTime = std::chrono::steady_clock::now();
}

void THostView::EndSession() {
  SessionOpen = false;
  LastCommand = nullptr;
  ListView()->setEnabled(false);
  Rows->Editable = false;
  LogEntries.clear();
  Rows->Clear();
  Folders.Clear();
  if (Tree) Tree->ClearTree();
  TreeList.clear();
  TotalSize = 0;
  RefreshStatus();
  UpdateState(usDisconnected);
}

QString THostView::Mask() const {
  if (MaskList.empty()) return QStringLiteral("*.*");
  QStringList masks;
  for (const auto& mask : MaskList) masks << Q(mask);
  return masks.join(u';');
}

void THostView::SetMask(const QString& text) {
  TCustomView::SetMask(text);
  if (text == Mask()) return;
  MaskList.clear();
  const QString words = text.toLower().replace(u';', u' ');
  for (const QString& word :
       words.split(QRegularExpression(QStringLiteral("[ ,]")), Qt::SkipEmptyParts)) {
    MaskList.push_back(S(word));
  }
  // Masks are applied while a listing is read: the folder is listed again.
  RefreshFolder();
}

const TItemRecord* THostView::RecordOf(const QModelIndex& item) const {
  return item.isValid() ? Rows->RecordAt(item.row()) : nullptr;
}

std::string THostView::NameBytes(const QModelIndex& item) const {
  return item.isValid() ? LinkName(Rows->RowAt(item.row()).Name) : std::string();
}

QString THostView::GetItemName(const QModelIndex& item) const {
  return item.isValid() ? Rows->data(item.siblingAtColumn(0), Qt::EditRole).toString() : QString();
}

QString THostView::GetItemPath(const QModelIndex& item) const {
  return Q(S(Folder()) + NameBytes(item));
}

bool THostView::IsFolder(const QModelIndex& item) const {
  const TItemRecord* record = RecordOf(item);
  return record && (record->Attributes & iaFolder);
}

bool THostView::IsLink(const QModelIndex& item) const {
  const TItemRecord* record = RecordOf(item);
  return record && (record->Attributes & iaLink);
}

int64_t THostView::GetItemSize(const QModelIndex& item) const {
  const TItemRecord* record = RecordOf(item);
  return record ? record->Size : 0;
}

QDateTime THostView::GetItemDate(const QModelIndex& item) const {
  const TItemRecord* record = RecordOf(item);
  return record ? ToDateTime(record->Modified) : QDateTime();
}

bool THostView::OpenItem(const QModelIndex& item) {
  if (!IsFolder(item)) return false;
  return ChangeFolder(GetItemPath(item) + QStringLiteral("/"));
}

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

void THostView::CaptionEdited(int row, const QString& text) {
  const QModelIndex item = Rows->index(row, 0);
  const QString old = GetItemName(item);
  // A "/" would move the entry into another folder on the server.
  if (text.isEmpty() || text == old || text.contains(u'/') || !Connected()) {
    QApplication::beep();
    return;
  }
  emit FileChanging(BuildUrl(item));
  const std::string folder = S(Folder());
  const std::string listed = Rows->RowAt(row).Name;
  const std::string oldName = NameBytes(item);
  const std::string newName = S(text);
  Ftp->Rename(folder + oldName, folder + newName);
  const std::string target = LinkTarget(listed);
  const std::string newListed = target.empty() && listed.find(" -> ") == std::string::npos
                                    ? newName
                                    : newName + " -> " + target;
  Folders.Rename(folder, listed, newListed);
  Rows->RowChanged(row);
  // The entry moves to its place under the new name; the view's selection follows it.
  Rows->SortRows(SortColumn);
  if (IsFolder(item)) {
    // What was known below the old name is known under the new one only by listing it again.
    const std::string oldPath = folder + oldName + "/";
    QStandardItem* treeNode = nullptr;
    if (const auto node = TreeList.find(oldPath); node != TreeList.end()) treeNode = node->second;
    ForgetTreeBelow(oldPath);
    if (treeNode) {
      treeNode->removeRows(0, treeNode->rowCount());
      treeNode->setText(text);
      treeNode->setData(Q(folder + newName + "/"), Qt::UserRole);
      TreeList[folder + newName + "/"] = treeNode;
      if (Tree) Tree->SortChildren(treeNode->parent());
      if (Tree) Tree->SetDimmed(treeNode, true);
    }
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

QString THostView::BuildUrl(const QModelIndex& item) const {
  // An address is copied, shown and kept: it names the user, never the password.
  return Q(FtpAddress(Ftp->Encryption, Ftp->User, Ftp->Host, Ftp->Port, S(GetItemPath(item))));
}

void THostView::UpdateItem(const std::string& folderText, const std::string& name,
                           uint16_t attributes, int64_t size, TDateTime modified) {
  if (name.empty()) return;
  const std::string folder = WithSlash(folderText);
  const bool isFolder = attributes & iaFolder;
  TItemRecord record{attributes, size, modified};
  // The list may show that folder's rows, which the update may move.
  const bool shown = Folders.Names(folder) && Rows->Source() == Folders.Names(folder);
  if (shown) Rows->Clear();
  if (!Folders.Update(folder, name, record)) return;
  if (shown || folder == S(Folder()) || isFolder) ChangeFolder(Q(folder));
}

void THostView::ProgressArrived(uint8_t kind, bool isFile, int64_t count) {
  const int64_t position = kind == pkStart ? 0 : kind == pkProgress ? count : -1;
  if (kind == pkDone) {
    UpdateState(usIdle);
    if (isFile && TransferKind >= TFetchKind::Download) {
      UpdateState(usFileDone, SelectedCount());
      if (!FetchQueue.empty()) {
        StartNextFetch();
      } else {
        ListView()->setEnabled(true);
        const TFetchKind fetched = TransferKind;
        TransferKind = TFetchKind::None;
        emit Transferred(FetchedFiles, fetched);
      }
    }
  }
  emit Progressed(position);
}

}  // namespace pelmar
