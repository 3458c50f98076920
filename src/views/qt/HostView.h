#pragma once
// The remote pane: its own engine connection for browsing, every listing it received cached
// for the session, the list and folder tree built from them, renaming and deleting on the
// server, and whole selections walked into the transfer queue.

#include <QPointer>
#include <QStringList>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "engine/FTPComponent.h"
#include "listing/FolderCache.h"
#include "settings/qt/PropertiesDialog.h"
#include "transfers/QueueDecision.h"
#include "transfers/SyncPlan.h"
#include "ui/TreeCombo.h"
#include "views/qt/CustomView.h"
#include "views/qt/RemoteListModel.h"

class QEventLoop;
class QStandardItem;
class QTimer;

namespace pelmar {

class TEventTarget;

// Update-state codes a pane sends its owner (StateUpdated); 0 is the status refresh with the
// selection count.
enum TUpdateState : int {
  usSelection = 0,
  usGreeting = 36,
  usError = 66,
  usBusy = 128,
  usIdle = 129,
  usConnected = 130,
  usDisconnected = 131,
  usConnectFailed = 132,
  usFileDone = 133,
  usAllDone = 134,
  usTransferError = 136,
};

// What a transfer of the pane's own is for: the file goes to the other pane's folder
// (Download) or to this run's private folder for a program (Open, View, Edit).
enum class TFetchKind : uint8_t {
  None = 0,
  Upload = 1,
  Download = 2,
  Open = 3,
  View = 4,
  Edit = 5
};

class THostView : public TCustomView {
  Q_OBJECT
 public:
  static constexpr int kMaxLogEntries = 800;

  THostView(QWidget* parent, std::shared_ptr<TEventTarget> target);
  ~THostView() override;

  bool Animating = false;
  // True while the list is filled from a listing or the cache; clearing it (Stop) ends that.
  bool BuildingList = false;
  int SortColumn = 1;  // 1 Name, 2 Size, 3 Type, 4 Modified; negative: descending
  QString PendingName;
  QStringList LogEntries;
  std::vector<std::string> MaskList;
  TFetchKind TransferKind = TFetchKind::None;
  QStringList FetchedFiles;

  // Who answers the transfer queue's questions (dialogs when null).
  IQueueQuestions* Questions = nullptr;
  // The delete confirmation (count, name of the selected item, whether it is a folder);
  // true for Yes. Unless replaced, the delete question over this pane, through the prompter.
  std::function<bool(int count, const QString& name, bool folder)> ConfirmDelete;

  TFTPComponent& Engine() { return *Ftp; }
  bool Connected() const;
  // The site's "Server time zone offset" for this connection's LIST times (minutes).
  void SetServerTimeOffset(int minutes) { ServerTimeOffset = minutes; }
  int ServerTimeOffsetMinutes() const { return ServerTimeOffset; }
  // The site-manager site this pane is connected to; empty for an address.
  QString SiteName;
  // The next listing in the server's local time (LIST) asks the server for one recent file's
  // exact time (MDTM); ServerTimeZoneFound then tells how far its clock is ahead.
  void CheckServerTimeZone() { ZoneCheckWanted = true; }
  // Logs on to `server` (its protocol, protection and key file included) and opens `folder`,
  // selecting `selectName` there.
  void Connect(const TServer& server, const QString& folder, const QString& selectName);
  // The same for plain FTP or FTP over TLS.
  void Connect(const QString& host, int port, const QString& user, const QString& password,
               const QString& account, const QString& folder, const QString& selectName,
               TEncryption encryption = enPlain);
  void Disconnect();
  // Stops a refill, a listing pass and a wait for a folder (the main window's Stop).
  void Stop();
  // The entry's address with the user (percent-encoded) but never the password.
  QString BuildUrl(const QModelIndex& item) const;
  bool FetchSelected(TCustomView& other, TFetchKind kind);
  // The server path a file fetched by this pane came from; empty when it fetched none there.
  std::string RemotePathOf(const QString& local) const {
    const auto found = FetchedFrom.find(local.toStdString());
    return found == FetchedFrom.end() ? std::string() : found->second;
  }
  bool UploadFile(TCustomView& source);
  void SetTreeCombo(TTreeCombo* combo);
  // Sorts by a column counted from 1 (Name), descending when negative.
  void SetSort(int key);
  int Sort() const { return SortColumn; }
  TTreeCombo* TreeCombo() const { return Tree; }
  void ShowInTree(const std::string& path, bool select);
  void RebuildTree();
  // Takes `path` and everything below it out of the tree's index and the listing cache.
  void ForgetTreeBelow(const std::string& path);
  // Takes away the tree nodes under `path` whose folders its new listing no longer holds.
  void PruneTree(const std::string& path, const std::vector<std::string>& subFolders);
  // The folder path registered for a tree node, or empty.
  std::string TreePath(const QStandardItem* node) const;
  // A walk or refill is running: another one, a delete or a refresh must wait.
  bool Busy() const { return BuildingList || Walking || WaitLoop != nullptr; }
  TRemoteListModel& Model() { return *Rows; }
  const TFolderCache& Cache() const { return Folders; }

  QString Mask() const override;
  void SetMask(const QString& text) override;
  bool ReceiveSelection(TCustomView& source) override;
  // Uploaded through the queue as the Upload command would (a move is a copy here).
  bool ReceiveDroppedFiles(const QStringList& paths, bool move) override;
  bool OpenItem(const QModelIndex& item) override;
  QString GetItemName(const QModelIndex& item) const override;
  QString GetItemPath(const QModelIndex& item) const override;
  bool IsFolder(const QModelIndex& item) const override;
  bool IsLink(const QModelIndex& item) const override;
  int64_t GetItemSize(const QModelIndex& item) const override;
  QDateTime GetItemDate(const QModelIndex& item) const override;
  bool ChangeFolder(const QString& path) override;
  bool ChangeFolderAndWait(const QString& path) override;
  bool FolderUp() override;
  bool MakeFolder(const QString& name, bool edit) override;
  bool DeleteSelected(bool confirm) override;
  // The properties dialog for the selection; a permission change goes to every selected entry
  // (only while the listings are Unix style).
  bool ShowProperties() override;
  // Shows the properties; the new permission bits when they were changed and confirmed.
  std::function<std::optional<uint16_t>(const std::vector<TPropertyEntry>& entries,
                                        const QString& location, bool editable)>
      AskProperties;
  void RefreshFolder() override;
  bool RenameItem(const QString& oldPath, const QString& newPath) override;
  bool SendSelection(TCustomView* target) override;
  // Synchronize: what must be copied between this pane's folder and `local`'s shown folder,
  // one way (the walk enters the server's folders as it compares), and queuing those copies.
  // `bothWays`: each side gets what it lacks and the newer of two files (steps marked Back go
  // from the server to `local`).
  // `deleteExtra` (one way only): what the source no longer has is to be deleted.
  // `textMode`: files the preferences send in text mode go so, compared by time only
  // (otherwise everything goes in binary).
  TSyncPlan PlanSync(TCustomView& local, bool upload, bool bothWays = false,
                     bool deleteExtra = false, bool textMode = false);
  // Queues the copies (none over a destination file that changed since the preview); once
  // they have ended, deletes what the plan deletes (the person saw and chose it), except in
  // folders where a copy failed, entries that changed since, and everything when more than
  // `maxDelete` entries (not below 0) would go; then both panes show their folders afresh.
  // The copies queued; -1 while the last Synchronize is still running.
  int QueueSync(const TSyncPlan& plan, TCustomView& local, bool upload, bool textMode = false,
                int64_t maxDelete = -1);
  // A Synchronize is still copying or deleting.
  bool Synchronizing() const { return SyncRun != nullptr; }
  bool AcceptsDrop() const override { return Connected(); }
  void UpdateItem(const std::string& folder, const std::string& name, uint16_t attributes,
                  int64_t size, TDateTime modified) override;

 signals:
  // A line of the FTP dialogue or of the pane's own messages.
  void Logged(const QString& text);
  // Bytes of the pane's own transfer so far; -1 when it ended.
  void Progressed(qint64 position);
  // The pane's own fetch arrived: the files, and what they were fetched for.
  void Transferred(const QStringList& files, TFetchKind kind);
  // Minutes the server's listed times are ahead of this computer's (CheckServerTimeZone).
  void ServerTimeZoneFound(int minutes);

 private:
  int ServerTimeOffset = 0;
  std::map<std::string, std::string> FetchedFrom;  // local path -> server path
  bool ZoneCheckWanted = false;
  std::string ZoneProbePath;  // the file asked about, and the time its LIST line gave
  TDateTime ZoneProbeListed = 0;
  class TRemoteLister;
  friend class TRemoteLister;
  class TSyncRun;
  friend class TSyncRun;
  std::shared_ptr<TSyncRun> SyncRun;
  // Whether the server takes names that differ only in case for one entry: unknown until a
  // listing told (CheckCaseFolding).
  std::optional<bool> ServerFoldsCase;
  bool ListedOtherLayout = false;  // the last listing: LIST lines of a non-Unix layout
  // FileTimeAndWait: the file asked about, and where its answer goes.
  std::string TimeWaitPath;
  std::function<void(int64_t time)> TimeWait;
  // Synchronize (HostViewSync.cpp).
  void CheckCaseFolding(const std::string& folder, const std::vector<TWalkEntry>& entries);
  // The server's time of a file (MDTM), waited for; nothing when it gives none.
  std::optional<int64_t> FileTimeAndWait(const std::string& path);
  // A server folder's entries as listed now, its cached listing dropped first.
  std::optional<std::vector<TWalkEntry>> ListAfresh(const std::string& path);
  // The copies whose destination file changed since the preview, and how.
  std::map<const TSyncStep*, std::string> ChangedSincePreview(TSyncRun& run);
  void FinishSyncSoon();
  void FinishSync();

  void BindEngine();
  void Log(const QString& text);
  void UpdateState(int code, int value = 0);
  void ShowFromCache(const std::string& path);
  void ListingArrived(std::string& text);
  void AfterListing();
  // Shows the "FTP Server Error" box for a listing with unreadable lines (once per folder).
  void ReportUnreadableListing(const std::string& folder);
  void FolderArrived(const std::string& path, uint8_t kind);
  void Disconnected();
  // The session is over: the pane empties and reports itself disconnected.
  void EndSession();
  // Logged on again after the server had closed the session: back to the folder, then the
  // command that found the session closed.
  void Resumed();
  // A command that may run again when its request finds the session closed.
  void RememberCommand(std::function<void()> command);
  void ProgressArrived(uint8_t kind, bool isFile, int64_t count);
  void CaptionEdited(int row, const QString& text);
  void StartNextFetch();
  void DeleteLevel(const std::string& folder);
  // Deletes these entries (names by folder) on the server, folders with their contents.
  void DeleteOnServer(const std::map<std::string, QStringList>& names);
  // Forgets a folder's listing (and stops showing it first when it is shown).
  void DropFolder(const std::string& path);
  // Walks the selection of `source` into `destination` through the transfer queue.
  bool WalkSelection(TCustomView& source, TCustomView& destination, bool upload);
  // The walk behind it: `names` in `sourceFolder` (of `source`, when a pane shows it).
  bool WalkNames(TCustomView* source, const QString& sourceFolder, const QStringList& names,
                 TCustomView& destination, bool upload);
  std::string FolderBytes() const;
  std::string NameBytes(const QModelIndex& item) const;
  const TItemRecord* RecordOf(const QModelIndex& item) const;

  std::unique_ptr<TFTPComponent> Ftp;
  TFolderCache Folders;
  TRemoteListModel* Rows;
  QPointer<TTreeCombo> Tree;
  std::map<std::string, QStandardItem*> TreeList;
  QTimer* DeferTimer;
  struct TFetch {
    std::string Remote;
    std::string Local;
    int Mode;
  };
  std::deque<TFetch> FetchQueue;
  // ChangeFolderAndWait: the running wait and why it ended.
  QEventLoop* WaitLoop = nullptr;
  bool WaitFailed = false;
  std::function<void()> CheckWait;  // ends the wait once its folder is listed
  std::string WaitPath;
  bool Walking = false;
  // Logged on, and not closed by the person (Disconnect, or Connect for another session). A
  // session the server closes is made again with the same values (Resuming until then).
  bool SessionOpen = false;
  bool Resuming = false;
  // A rename shown before the server answered: its request, the marker behind it, and whether
  // the server refused it (the folder is then listed again, to show what is really there).
  uint64_t RenameRequest = 0;
  uint64_t RenameMarker = 0;
  bool RenameRefused = false;
  std::function<void()> LastCommand;
  std::chrono::steady_clock::time_point LastCommandTime;
  std::shared_ptr<bool> Alive = std::make_shared<bool>(true);
  std::set<std::string> ServerErrorShown;  // folders whose unreadable listing was reported
};

}  // namespace pelmar
