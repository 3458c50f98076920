#pragma once
// The transfer queue: files and folders waiting to move, run several at a time in the
// background over a pool of engine connections of its own.

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "engine/FTPComponent.h"
#include "platform/EventTarget.h"
#include "transfers/TransferItem.h"

namespace pelmar {

// What the queue needs of the main window: its status line and whether the progress window
// should show itself.
class ITransferHost {
 public:
  virtual ~ITransferHost() = default;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual bool ShowTransferInfo() const = 0;
  virtual void ShowProgressWindow() = 0;
};

// Whoever shows the queue (the progress window, the transfer manager's rows) listens to it.
// An item's state changes only through the queue's calls, and every change is told here.
class ITransferListener {
 public:
  virtual ~ITransferListener() = default;
  virtual void ItemAdded(TTransferItem&) {}
  virtual void ItemStateChanged(TTransferItem&) {}
  virtual void ItemStarted(TTransferItem&) {}
  virtual void ItemFinished(TTransferItem&) {}
  // Bytes moved, or the size the server reported anew.
  virtual void ItemProgress(TTransferItem&) {}
  // The item leaves the queue and is freed once this returns: forget it.
  virtual void ItemRemoved(TTransferItem&) {}
  // Items changed places: the queue's order is the new one.
  virtual void QueueReordered() {}
  // The queue is going away: a listener that outlives it forgets it.
  virtual void QueueDestroyed() {}
};

// Where the person moves the chosen waiting items in the queue.
enum TQueueMove : uint8_t { qmUp, qmDown, qmTop, qmBottom };

class TTransferItems {
 public:
  explicit TTransferItems(std::shared_ptr<TEventTarget> target);
  ~TTransferItems();
  TTransferItems(const TTransferItems&) = delete;
  TTransferItems& operator=(const TTransferItems&) = delete;

  // Takes the item unless it duplicates a pending or active one (then the message
  // "\"name\" is already in the transfer queue" is shown and -1 returned; the caller keeps it).
  int Add(std::unique_ptr<TTransferItem>& item);
  // Adds an item that failed before it could run (a name a server may not give us), so that
  // it is reported like any other failure.
  void AddFailed(std::unique_ptr<TTransferItem>& item, const std::string& why);
  int IndexOf(const TTransferItem* item) const;
  // The item with this Id while it is in the queue; nullptr once it is gone.
  TTransferItem* FindItem(uint64_t id) const;
  int Count() const { return static_cast<int>(Items.size()); }
  TTransferItem& Item(int index) const { return *Items[static_cast<size_t>(index)]; }
  int CountInState(TTransferState state) const { return StateCounts[state]; }
  TTransferItem* FirstInState(TTransferState state) const;
  void Move(int from, int to);
  // The waiting items among `ids` move as one block, in their order, one place up or down
  // (past the item before the first or after the last of them) or to the top or bottom; the
  // others keep their order. Running and ended items do not move. False when nothing moved.
  bool MoveItems(const std::vector<uint64_t>& ids, TQueueMove where);
  // Whether MoveItems would change the order.
  bool CanMove(const std::vector<uint64_t>& ids, TQueueMove where) const;
  // Takes the finished items and the skipped ones out of the queue; waiting, running, failed and
  // cancelled ones stay (they may be re-submitted). How many went.
  int RemoveFinished();
  int64_t ElapsedTicks() const;
  int PercentDone() const;
  // Starts pending items while fewer than Simultaneous() run (and fewer than the site allows);
  // an item inside a folder that is still to be made waits for it. True when one started.
  bool StartNext();
  // How many items run at once: `Parallel` when set, else the preference (1..10).
  int Parallel = 0;
  int Simultaneous() const;
  // How many may run at once to this server now (lowered when it refused a connection).
  int SiteLimit(const TServer& server) const;
  TFTPComponent* AcquireConnection(const TTransferItem& item);
  void DisconnectAll();

  void Start(TTransferItem& item, TFTPComponent& connection);
  // A pending item is cancelled; a running one is aborted and cancelled.
  void Cancel(TTransferItem& item);
  // The person skipped the item: cancelled as above, and named skipped, with the partial file a
  // running download leaves.
  void Skip(TTransferItem& item);
  // Every pending item, then every running one.
  void CancelAll();
  // A cancelled or failed item waits its turn again; when nothing else is waiting or running it
  // starts at once, as a batch of its own.
  void Resubmit(TTransferItem& item);

  int PoolSize() const { return static_cast<int>(Connections.size()); }
  // Whether any connection of the pool has its control connection open.
  bool AnyConnected() const {
    for (const auto& connection : Connections)
      if (connection->IsConnected()) return true;
    return false;
  }
  // A pane is going away: no item may name it as its source or destination any more.
  void ForgetView(const void* sourceView, const ITransferDestination* destView);

  // Batch totals: BytesResumed were there before (the resumed starts of its items), BytesDone
  // moved in this session, BytesLeft still to come; the three make the batch's size.
  int64_t StartTicks = 0;
  int64_t BytesResumed = 0;
  int64_t BytesDone = 0;
  int64_t BytesLeft = 0;
  int FilesDone = 0;

  std::function<void(TFTPComponent& sender)> OnConnected;
  std::function<void(TFTPComponent& sender)> OnDisconnected;
  std::function<void(TFTPComponent& sender, int code, const std::string& text)> OnError;
  std::function<void(TFTPComponent& sender, const std::string& text)> OnLog;
  // Listeners are not owned; one that goes away removes itself first.
  void AddListener(ITransferListener* listener);
  void RemoveListener(ITransferListener* listener);

  // Where messages go (a message box in the application).
  std::function<void(const std::string& text)> ShowMessage;
  ITransferHost* Host = nullptr;

 private:
  void SetState(TTransferItem& item, TTransferState state);
  template <typename TMethod>
  void Notify(TMethod method, TTransferItem& item);
  void NotifyReordered();
  // The queue's indices in their order after MoveItems; empty when the order stays.
  std::vector<size_t> MovedOrder(const std::vector<uint64_t>& ids, TQueueMove where) const;
  bool IsDuplicate(const TTransferItem& item) const;
  std::shared_ptr<const TServer> Intern(std::shared_ptr<const TServer> server);
  void BindReports(TTransferItem& item, TFTPComponent& connection);
  void ProgressReport(TTransferItem& item, uint8_t kind, int64_t count);
  void ErrorReport(TTransferItem& item, TFTPComponent& sender, int code, const std::string& text);
  void DisconnectedReport(TTransferItem& item, TFTPComponent& sender);
  void FileSizeReport(TTransferItem& item, const std::string& path, int64_t size);
  void Fail(TTransferItem& item, const std::string& why);
  // False (with the item failed) when a download's name or folder may not be used locally.
  bool LocalPathAllowed(TTransferItem& item);
  // A folder of a download is made here, without the server.
  void StartLocalFolder(TTransferItem& item);
  // Ends the item's run with a failure: the connection is replaced, and the item runs again
  // (when the failure may pass and its tries are not used up) or fails for good.
  void RunFailed(TTransferItem& item, TFTPComponent* sender, const std::string& why);
  // Whether the connection's report in progress belongs to this item's current run.
  static bool Current(const TTransferItem& item, const TFTPComponent& sender);
  // After a resumed download: false (with the item failed) when the file is not the size
  // the listing gave.
  bool ResumedSizeRight(TTransferItem& item);
  // Keeps why the item failed: the server's refusal when its last reply was one.
  void NoteFailure(TTransferItem& item, const std::string& text);
  // Takes a connection out of the pool and frees it once its current event is handled.
  void Retire(TFTPComponent& connection);
  bool InPool(const TFTPComponent& connection) const;
  bool AnyActive() const { return StateCounts[tsActive] > 0; }
  // A folder item still to be made (pending or running) holds back what goes into it.
  using TFolderKey = std::tuple<const TServer*, uint8_t, std::string>;
  static TFolderKey FolderKeyOf(const TTransferItem& folder);
  bool WaitsForFolder(const TTransferItem& item) const;
  void CountState(const TTransferItem& item, TTransferState state, int step);
  // A log-on refused while other items of its site run: that site gets fewer connections and
  // the item waits again. False when the refusal is the item's own failure.
  bool SiteRefusedConnection(TTransferItem& item, TFTPComponent& sender);
  // A connection's report for the item that ran on it last, looked up by its Id: the item may
  // have left the queue since.
  void LostItemDisconnected(TFTPComponent& sender);

  void FolderReport(TTransferItem& item, TFTPComponent& sender, uint8_t kind);
  // The PWD behind a folder upload's MKD was answered.
  void FolderMarkerReport(TFTPComponent& sender);

  std::shared_ptr<TEventTarget> Target;
  std::vector<std::unique_ptr<TTransferItem>> Items;
  // Folder uploads waiting for the PWD sent behind their MKD, per connection, in order: a
  // refused MKD (the folder is already there) reports nothing else. An item removed meanwhile
  // leaves nullptr.
  std::map<const TFTPComponent*, std::deque<TTransferItem*>> FolderMarkers;
  std::vector<std::shared_ptr<TFTPComponent>> Connections;
  std::array<int, 5> StateCounts{};
  std::vector<ITransferListener*> Listeners;
  std::unordered_map<uint64_t, TTransferItem*> ById;
  // Every server of the items, once: items share these values.
  std::vector<std::shared_ptr<const TServer>> Servers;
  uint64_t LastId = 0;
  std::map<TFolderKey, int> OpenFolders;
  std::map<const TServer*, int> ActivePerSite;
  std::map<const TServer*, int> LoweredLimits;
  // StartNext runs one pass at a time; a call from inside it (an item that ended at once)
  // asks the running pass to look again.
  bool Starting = false;
  bool StartAgain = false;
  size_t ScanFrom = 0;  // items before this one are not pending
  std::shared_ptr<bool> Alive = std::make_shared<bool>(true);
};

template <typename TMethod>
void TTransferItems::Notify(TMethod method, TTransferItem& item) {
  // A listener may add or remove listeners while it is told.
  const std::vector<ITransferListener*> listeners = Listeners;
  for (ITransferListener* listener : listeners) {
    if (std::find(Listeners.begin(), Listeners.end(), listener) != Listeners.end()) {
      (listener->*method)(item);
    }
  }
}

// A remote name is used as a local file or folder name only when it is a plain name: not
// empty, ".", "..", and without "/" or NUL. Every name that comes from a server passes here
// before it becomes part of a local path.
bool IsSafeLocalName(const std::string& name);
// Why `name` from a server may not become a local name; empty when it may.
std::string LocalNameProblem(const std::string& name);
// Why a download's destination folder is not `root` followed by safe names; empty when it is.
std::string DestinationProblem(const std::string& root, const std::string& folder);

}  // namespace pelmar
