#pragma once
// The transfer queue kept on disk (queue.sqlite3 in the data folder), so that a crash, a power
// cut or a quit does not lose what was queued: every pending or running item is one row, written
// when its state changes and every few seconds of its progress; an item that ends leaves it at
// once. Passwords are never written: the site file, the keyring or the person supplies them
// again. The file and SQLite's files beside it are the owner's only (0600).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/EventTarget.h"
#include "settings/DataFolder.h"
#include "transfers/TransferQueue.h"

struct sqlite3;

namespace pelmar {

// One row: an item as it was when last written.
struct TStoredTransfer {
  int64_t Row = 0;
  TServer Server;  // without its password
  std::string SourceFolder;
  std::string DestFolder;
  std::string FileName;
  std::string DestRoot;
  int64_t Size = 0;
  TDateTime FileDate = 0;
  int64_t RestartOffset = 0;
  int64_t BytesDone = 0;
  bool Upload = false;
  bool IsFolder = false;
  bool Running = false;  // it was running, not waiting, when the program ended
  // A running download wrote into the destination file itself (it was resuming it, or there
  // was no file), not into a temporary file beside an older one.
  bool InPlace = false;
};

// One row's columns as the file holds them, before anything is trusted: a damaged file (or
// one another program wrote) may hold any number in any of them.
struct TStoredRow {
  int64_t Row = 0;
  std::string Host;
  int64_t Port = 0;
  std::string User;
  std::string Account;
  int64_t Encryption = 0;
  int64_t Upload = 0;
  int64_t IsFolder = 0;
  std::string SourceFolder;
  std::string DestFolder;
  std::string FileName;
  std::string DestRoot;
  int64_t Size = 0;
  double FileDate = 0;
  int64_t RestartOffset = 0;
  int64_t BytesDone = 0;
  int64_t Running = 0;
  int64_t InPlace = 0;
  int64_t Protocol = prFtp;
  std::string KeyFile;
};

// The transfer a row describes; nothing, with `problem` saying why, when a number in it is out
// of its range (a port, an unknown encryption or protocol, a negative size or offset, a date
// that is no number): such a row is left out, never guessed at. An offset past the size stays: the
// transfer itself tells the person about it.
std::optional<TStoredTransfer> StoredTransferFromRow(const TStoredRow& row, std::string& problem);

class TQueueStore final : public ITransferListener {
 public:
  // Opens the file, or makes it. Only a file that SQLite proves damaged (or that holds another
  // program's table) is renamed aside (its name with ".set-aside-" and the date) and a new one
  // made; Problem() says so and names it. A file that cannot be used now (a full disk, an I/O
  // error, a lock) stays as it is: the queue is kept in memory, and the file is tried again at
  // the next change. A file from a newer Pelmar is left alone and not tried again. Only one
  // program keeps the file at a time: another one running leaves this store unusable, and
  // InUseElsewhere() true.
  TQueueStore(std::string path, std::shared_ptr<TEventTarget> target);
  ~TQueueStore() override;
  TQueueStore(const TQueueStore&) = delete;
  TQueueStore& operator=(const TQueueStore&) = delete;

  // What the person should be told once about the file ("" when nothing).
  const std::string& Problem() const { return ProblemText; }
  // The queue is on disk as it is now (as of the last write).
  bool Usable() const { return Db != nullptr && !WriteFailing; }
  bool InUseElsewhere() const { return LockFd < 0 && Busy; }

  // The items a previous run left unfinished, in queue order; a row that does not read is left
  // out (and in the file) with a line to OnLog.
  std::vector<TStoredTransfer> Unfinished();

  // From now on every item of `queue` is kept here.
  void Follow(TTransferItems& queue);
  // Puts a stored item back into the followed queue under its own row: waiting when `resume`,
  // else stopped (cancelled, and its row dropped). False when the queue already had it.
  bool Restore(const TStoredTransfer& stored, const std::string& password, bool resume);

  // Writes what is waiting to be written now (the store batches the writes of one moment); a
  // file that could not be used is tried again first.
  void Flush();

  // Lines for the log: a write that failed (a full disk; once until a write succeeds again),
  // the file usable again, a file set aside while the program ran.
  std::function<void(const std::string& text)> OnLog;

  void ItemAdded(TTransferItem& item) override;
  void ItemStateChanged(TTransferItem& item) override;
  void ItemProgress(TTransferItem& item) override;
  void ItemRemoved(TTransferItem& item) override { MarkDirty(item); }
  // The rows are written anew in the queue's order, so that a restart finds that order.
  void QueueReordered() override;
  void QueueDestroyed() override {
    Flush();
    // What could not be written goes with the items.
    Dirty.clear();
    DirtySet.clear();
    Queue = nullptr;
  }

 private:
  enum class TOpened { Yes, Damaged, NotNow, Newer };
  // Takes the lock beside the file, then opens it; `why` says what stood in the way.
  TOpened Open(std::string& why);
  TOpened OpenFile(std::string& why);
  // Opens the file, setting a damaged one aside; false when the queue stays in memory
  // (ProblemText says why).
  bool OpenOrSetAside();
  // After the file could not be used: opens it, and writes every waiting and running item.
  bool Reopen();
  void Close();
  // False (with ProblemText set) when the file could not be renamed.
  bool SetAside(const std::string& why);
  bool Exec(const char* sql);
  // `now`: written at once, not with the writes of the moment.
  void MarkDirty(TTransferItem& item, bool now = false);
  // Writes what changed a moment from now, with the other changes of that moment.
  void MarkDirtyLater();
  bool Insert(const TTransferItem& item);
  bool Update(const TTransferItem& item);
  bool Erase(uint64_t itemId);
  bool EraseRow(int64_t row);
  // A write that failed: told once; a file found damaged meanwhile is set aside.
  void WriteFailed(int code, const std::string& why);
  void Tell(const std::string& text) {
    if (OnLog) OnLog(text);
  }

  std::string Path;
  std::shared_ptr<TEventTarget> Target;
  sqlite3* Db = nullptr;
  struct TStatements;
  std::unique_ptr<TStatements> Statements;
  int CommitTimer = 0;
  int LockFd = -1;  // an exclusive lock on the file beside it, held while the store lives
  bool Busy = false;
  // The file could not be used (at the start or since): tried again at the next change.
  bool RetryOpen = false;
  std::string ProblemText;
  bool WriteFailing = false;  // the last write failed; told once until one succeeds
  TTransferItems* Queue = nullptr;
  // Items changed since the last write by Id, in the order they first changed (new rows keep
  // the queue's order); one no longer in the queue loses its row.
  std::vector<uint64_t> Dirty;
  std::unordered_set<uint64_t> DirtySet;
  // The queue was reordered: every row is written again, in its order.
  bool Reordered = false;
  bool Renumber();
  // Item Id -> its row, and when its progress was last written.
  struct TRowOf {
    int64_t Row = 0;
    int64_t WrittenTicks = 0;
  };
  std::unordered_map<uint64_t, TRowOf> Rows;
  // What a write in progress changed in Rows (the earlier value, or none), undone when the
  // transaction fails.
  std::vector<std::pair<uint64_t, std::optional<TRowOf>>> RowsBefore;
  int64_t AdoptRow = 0;  // the row the item being restored keeps
  std::shared_ptr<bool> Alive = std::make_shared<bool>(true);
};

// The item to queue again for a stored one: a download that was running resumes from what is on
// disk when it wrote in place (a whole file, or a text-mode one, is fetched again beside it); an
// upload that was running is sent whole again.
std::unique_ptr<TTransferItem> RestoredItem(const TStoredTransfer& stored,
                                            const std::string& password);

}  // namespace pelmar
