#pragma once
// The transfer queue: files and folders waiting to move, run one at a time in the background
// over a pool of engine connections of its own.

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
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

class TTransferItems {
 public:
  using TItemEvent = std::function<void(TTransferItems& queue, TTransferItem& item)>;

  explicit TTransferItems(std::shared_ptr<TEventTarget> target);
  ~TTransferItems();
  TTransferItems(const TTransferItems&) = delete;
  TTransferItems& operator=(const TTransferItems&) = delete;

  // Takes the item unless it duplicates a pending or active one (then the message
  // "\"name\" is already in the transfer queue" is shown and -1 returned; the caller keeps it).
  int Add(std::unique_ptr<TTransferItem>& item);
  int IndexOf(const TTransferItem* item) const;
  int Count() const { return static_cast<int>(Items.size()); }
  TTransferItem& Item(int index) const { return *Items[static_cast<size_t>(index)]; }
  int CountInState(TTransferState state) const { return StateCounts[state]; }
  TTransferItem* FirstInState(TTransferState state) const;
  void Move(int from, int to);
  int64_t ElapsedTicks() const;
  int PercentDone() const;
  bool StartNext();
  TFTPComponent* AcquireConnection(const TTransferItem& item);
  void DisconnectAll();

  void Start(TTransferItem& item, TFTPComponent& connection);
  void Cancel(TTransferItem& item);
  void SetState(TTransferItem& item, TTransferState state);
  // A cancelled or failed item waits its turn again; when nothing else is waiting or running it
  // starts at once, as a batch of its own.
  void Resubmit(TTransferItem& item);

  int PoolSize() const { return static_cast<int>(Connections.size()); }
  // A pane is going away: no item may name it as its source or destination any more.
  void ForgetView(const void* sourceView, const ITransferDestination* destView);

  // Batch totals.
  int64_t StartTicks = 0;
  int64_t BytesDone = 0;
  int64_t BytesLeft = 0;
  int FilesDone = 0;

  std::function<void(TFTPComponent& sender)> OnConnected;
  std::function<void(TFTPComponent& sender)> OnDisconnected;
  std::function<void(TFTPComponent& sender, int code, const std::string& text)> OnError;
  std::function<void(TFTPComponent& sender, const std::string& text)> OnLog;
  TItemEvent OnAdded;
  TItemEvent OnStateChanged;
  TItemEvent OnItemStarted;
  TItemEvent OnItemFinished;
  TItemEvent OnProgress;

  // Where messages go (a message box in the application).
  std::function<void(const std::string& text)> ShowMessage;
  ITransferHost* Host = nullptr;

 private:
  bool IsDuplicate(const TTransferItem& item) const;
  void BindReports(TTransferItem& item, TFTPComponent& connection);
  void ProgressReport(TTransferItem& item, uint8_t kind, int64_t count);
  void ErrorReport(TTransferItem& item, TFTPComponent& sender, int code, const std::string& text);
  void DisconnectedReport(TTransferItem& item, TFTPComponent& sender);
  void FileSizeReport(TTransferItem& item, const std::string& path, int64_t size);
  void Fail(TTransferItem& item, const std::string& why);
  // Keeps why the item failed: the server's refusal when its last reply was one.
  void NoteFailure(TTransferItem& item, const std::string& text);
  // Takes a connection out of the pool and frees it once its current event is handled.
  void Retire(TFTPComponent& connection);
  bool InPool(const TFTPComponent& connection) const;
  bool AnyActive() const { return StateCounts[tsActive] > 0; }

  void FolderReport(TTransferItem& item, TFTPComponent& sender, uint8_t kind);

  std::shared_ptr<TEventTarget> Target;
  std::vector<std::unique_ptr<TTransferItem>> Items;
  // Folder uploads waiting for the PWD sent behind their MKD, per connection, in order: a
  // refused MKD (the folder is already there) reports nothing else.
  std::map<const TFTPComponent*, std::deque<TTransferItem*>> FolderMarkers;
  std::vector<std::shared_ptr<TFTPComponent>> Connections;
  std::array<int, 5> StateCounts{};
  std::shared_ptr<bool> Alive = std::make_shared<bool>(true);
};

// A remote name is used as a local file name only when it is a plain name.
bool IsSafeLocalName(const std::string& name);

}  // namespace pelmar
