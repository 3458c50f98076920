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
#include "engine/ReplyParsing.h"
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
  Ftp->OnLog = [this](TFTPComponent& sender, const std::string& text) {
    // A final reply of 4xx or 5xx to the rename request: the server refused it.
    if (RenameRequest != 0 && sender.EventRequest() == RenameRequest &&
        FinalReplyCode(text) >= 400) {
      RenameRefused = true;
    }
    Log(Q(text));
  };
  Ftp->OnMarker = [this](TFTPComponent& sender) {
    if (RenameMarker == 0 || sender.EventRequest() != RenameMarker) return;
    RenameRequest = RenameMarker = 0;
    if (RenameRefused) RefreshFolder();
  };
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
  Connect(TServer{.Host = S(host),
                  .Port = port,
                  .User = S(user),
                  .Password = S(password),
                  .Account = S(account),
                  .Encryption = encryption},
          folder, selectName);
}

void THostView::Connect(const TServer& server, const QString& folder, const QString& selectName) {
  ServerTimeOffset = 0;  // a site's own offset and check are set after this
  ZoneCheckWanted = false;
  ServerFoldsCase.reset();
  SiteName.clear();
  SetFolder(folder);
  PendingName = selectName;
  Ftp->SetServer(server);
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
  RenameRequest = Ftp->LastRequest();
  RenameRefused = false;
  Ftp->PostMarker();
  RenameMarker = Ftp->LastRequest();
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

QString THostView::BuildUrl(const QModelIndex& item) const {
  // An address is copied, shown and kept: it names the user, never the password.
  return Q(FtpAddress(Ftp->Server(), S(GetItemPath(item))));
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
