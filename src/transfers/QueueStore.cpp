#include "transfers/QueueStore.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include "platform/Tick.h"
#include "settings/Preferences.h"
#include "transfers/QueueStoreSql.h"

namespace pelmar {
namespace {

// Progress of a running item is written at most this often.
constexpr int64_t kProgressWriteMs = 3000;
constexpr int kCommitMs = 250;

bool InPlaceNow(const TTransferItem& item) {
  return !item.Upload && !item.IsFolder && (item.RestartOffset > 0 || !item.DestExisted);
}

// What changes while an item runs (size, modified, restart_offset, bytes_done, running,
// in_place), from the statement's parameter `first` on.
void BindProgress(TStatement& statement, int first, const TTransferItem& item) {
  statement.Bind(first, item.Size);
  statement.Bind(first + 1, item.FileDate);
  statement.Bind(first + 2, item.RestartOffset);
  statement.Bind(first + 3, item.BytesDone);
  statement.Bind(first + 4, int64_t{item.State == tsActive});
  statement.Bind(first + 5, int64_t{item.State == tsActive && InPlaceNow(item)});
}

}  // namespace

TQueueStore::TQueueStore(std::string path, std::shared_ptr<TEventTarget> target)
    : Path(std::move(path)), Target(std::move(target)) {
  OpenOrSetAside();
}

TQueueStore::~TQueueStore() {
  *Alive = false;
  if (Queue) Queue->RemoveListener(this);
  Flush();
  Close();
  if (LockFd >= 0) ::close(LockFd);
}

bool TQueueStore::Reopen() {
  if (Db) return true;
  if (!RetryOpen) return false;
  RetryOpen = false;
  ProblemText.clear();
  if (!OpenOrSetAside()) {
    // Told only when it is given up; a file that cannot be used now is tried at each change.
    if (!RetryOpen) Tell(ProblemText);
    return false;
  }
  if (!ProblemText.empty()) Tell(ProblemText);
  Tell("The transfer queue is kept in " + Path + " again");
  // Nothing of this run is in the file yet: every waiting and running item is written.
  Rows.clear();
  for (int i = 0; Queue && i < Queue->Count(); ++i) {
    TTransferItem& item = Queue->Item(i);
    if (item.State == tsPending || item.State == tsActive) MarkDirty(item);
  }
  return true;
}

void TQueueStore::Close() {
  if (CommitTimer) Target->KillTimer(CommitTimer);
  CommitTimer = 0;
  Dirty.clear();
  DirtySet.clear();
  Statements.reset();
  if (Db) sqlite3_close_v2(Db);
  Db = nullptr;
}

bool TQueueStore::Exec(const char* sql) {
  return Db && sqlite3_exec(Db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void TQueueStore::MarkDirty(TTransferItem& item, bool now) {
  if (!Db && !RetryOpen) return;
  // While the file cannot be used, Reopen() takes every item.
  if (Db && DirtySet.insert(item.Id).second) Dirty.push_back(item.Id);
  if (now) return Flush();
  MarkDirtyLater();
}

void TQueueStore::MarkDirtyLater() {
  if (CommitTimer) return;
  // What changes within a quarter of a second is written together, as the items are then: an
  // item that started and progressed meanwhile costs one write. A crash loses at most that
  // moment of progress: an item comes back as it was a little earlier, which costs bytes
  // fetched again, never a wrong file.
  std::weak_ptr<bool> alive = Alive;
  CommitTimer = Target->StartTimer(kCommitMs, [this, alive] {
    if (!alive.expired()) Flush();
  });
}

void TQueueStore::Flush() {
  if (CommitTimer) Target->KillTimer(CommitTimer);
  CommitTimer = 0;
  if (!Reopen() || (Dirty.empty() && !Reordered)) return;
  RowsBefore.clear();
  bool written = Exec("BEGIN");
  if (written && Reordered) written = Renumber();
  for (size_t i = 0; written && i < Dirty.size(); ++i) {
    // An item removed from the queue is told while it is still there: it is gone by now.
    const TTransferItem* item = Queue ? Queue->FindItem(Dirty[i]) : nullptr;
    if (item && item->State != tsPending && item->State != tsActive) item = nullptr;
    if (item) {
      // New, or started again after it had ended.
      written = Rows.count(item->Id) ? Update(*item) : Insert(*item);
    } else {
      written = Erase(Dirty[i]);
    }
  }
  if (written) written = Exec("COMMIT");
  if (!written) {
    // The changes stay waiting for the next try, and the rows as the file still has them.
    const int code = sqlite3_errcode(Db);
    const std::string why = sqlite3_errmsg(Db);
    Exec("ROLLBACK");
    for (auto undo = RowsBefore.rbegin(); undo != RowsBefore.rend(); ++undo) {
      if (undo->second) {
        Rows[undo->first] = *undo->second;
      } else {
        Rows.erase(undo->first);
      }
    }
    RowsBefore.clear();
    return WriteFailed(code, why);
  }
  RowsBefore.clear();
  Dirty.clear();
  DirtySet.clear();
  Reordered = false;
  if (WriteFailing) {
    WriteFailing = false;
    Tell("The transfer queue is written to " + Path + " again");
  }
}

void TQueueStore::WriteFailed(int code, const std::string& why) {
  if ((code & 0xFF) == SQLITE_CORRUPT || (code & 0xFF) == SQLITE_NOTADB) {
    // The file broke while the program ran: set aside, and a new one takes every item.
    WriteFailing = false;
    Rows.clear();
    if (!SetAside(why)) return Tell(ProblemText);
    Tell(ProblemText);
    RetryOpen = true;
    Reopen();
    return;
  }
  if (WriteFailing) return;
  WriteFailing = true;
  Tell("The transfer queue could not be written to " + Path + ": " + why +
       "; it is tried again at the next change");
}

std::vector<TStoredTransfer> TQueueStore::Unfinished() {
  std::vector<TStoredTransfer> rows;
  if (!Db) return rows;
  Flush();
  TStatement query(Db,
                   (std::string("SELECT ") + kColumns + " FROM transfers ORDER BY row").c_str());
  while (query && sqlite3_step(*query) == SQLITE_ROW) {
    TStoredRow row;
    row.Row = query.Int(0);
    row.Host = query.Text(1);
    row.Port = query.Int(2);
    row.User = query.Text(3);
    row.Account = query.Text(4);
    row.Encryption = query.Int(5);
    row.Upload = query.Int(6);
    row.IsFolder = query.Int(7);
    row.SourceFolder = query.Text(8);
    row.DestFolder = query.Text(9);
    row.FileName = query.Text(10);
    row.DestRoot = query.Text(11);
    row.Size = query.Int(12);
    row.FileDate = sqlite3_column_double(*query, 13);
    row.RestartOffset = query.Int(14);
    row.BytesDone = query.Int(15);
    row.Running = query.Int(16);
    row.InPlace = query.Int(17);
    row.Protocol = query.Int(18);
    row.KeyFile = query.Text(19);
    std::string problem;
    if (auto stored = StoredTransferFromRow(row, problem)) {
      rows.push_back(std::move(*stored));
    } else {
      Tell("A transfer kept in " + Path + " (row " + std::to_string(row.Row) +
           ") does not read and is left out: " + problem);
    }
  }
  return rows;
}

void TQueueStore::Follow(TTransferItems& queue) {
  if (Queue) Queue->RemoveListener(this);
  Queue = &queue;
  queue.AddListener(this);
}

bool TQueueStore::Restore(const TStoredTransfer& stored, const std::string& password, bool resume) {
  auto item = RestoredItem(stored, password);
  // Stopped items are shown for this session; their rows go, and starting one again writes
  // it anew.
  if (!resume) item->State = tsCancelled;
  AdoptRow = stored.Row;
  const bool added = Queue && Queue->Add(item) >= 0;
  AdoptRow = 0;
  if (!added && Db) {
    Exec("BEGIN");
    EraseRow(stored.Row);
    Exec("COMMIT");
  }
  return added;
}

void TQueueStore::ItemAdded(TTransferItem& item) {
  if (AdoptRow != 0 && Db) Rows[item.Id] = {AdoptRow, GetTickCount()};
  MarkDirty(item);
}

void TQueueStore::ItemStateChanged(TTransferItem& item) {
  // An item that ended leaves the file at once: a crash a moment later must not fetch a
  // finished file again.
  MarkDirty(item, item.State != tsPending && item.State != tsActive);
}

void TQueueStore::QueueReordered() {
  if (!Db && !RetryOpen) return;
  Reordered = true;
  MarkDirtyLater();
}

bool TQueueStore::Renumber() {
  // Rows are read back by their number: the kept items get new ones, in the queue's order.
  for (int i = 0; Queue && i < Queue->Count(); ++i) {
    const TTransferItem& item = Queue->Item(i);
    if (item.State != tsPending && item.State != tsActive) continue;
    if (!Erase(item.Id) || !Insert(item)) return false;
  }
  return true;
}

void TQueueStore::ItemProgress(TTransferItem& item) {
  auto found = Rows.find(item.Id);
  if (found == Rows.end() || item.State != tsActive) return;
  const int64_t now = GetTickCount();
  if (now - found->second.WrittenTicks < kProgressWriteMs) return;
  found->second.WrittenTicks = now;
  MarkDirty(item);
}

bool TQueueStore::Insert(const TTransferItem& item) {
  TStatement& insert = Statements->Insert;
  insert.Reset();
  const TServer& server = item.Site();
  insert.Bind(1, server.Host);
  insert.Bind(2, int64_t{server.Port});
  insert.Bind(3, server.User);
  insert.Bind(4, server.Account);
  insert.Bind(5, int64_t{server.Encryption});
  insert.Bind(6, int64_t{item.Upload});
  insert.Bind(7, int64_t{item.IsFolder});
  insert.Bind(8, item.SourceFolder);
  insert.Bind(9, item.DestFolder);
  insert.Bind(10, item.FileName);
  insert.Bind(11, item.DestRoot);
  BindProgress(insert, 12, item);
  insert.Bind(18, int64_t{server.Protocol});
  insert.Bind(19, server.KeyFile);
  if (sqlite3_step(*insert) != SQLITE_DONE) return false;
  RowsBefore.emplace_back(item.Id, std::nullopt);
  Rows[item.Id] = {sqlite3_last_insert_rowid(Db), GetTickCount()};
  return true;
}

bool TQueueStore::Update(const TTransferItem& item) {
  const auto found = Rows.find(item.Id);
  if (found == Rows.end()) return true;
  TStatement& update = Statements->Update;
  update.Reset();
  BindProgress(update, 1, item);
  update.Bind(7, found->second.Row);
  return sqlite3_step(*update) == SQLITE_DONE;
}

bool TQueueStore::Erase(uint64_t itemId) {
  const auto found = Rows.find(itemId);
  if (found == Rows.end()) return true;
  RowsBefore.emplace_back(itemId, found->second);
  const int64_t row = found->second.Row;
  Rows.erase(found);
  return EraseRow(row);
}

bool TQueueStore::EraseRow(int64_t row) {
  TStatement& erase = Statements->Erase;
  erase.Reset();
  erase.Bind(1, row);
  return sqlite3_step(*erase) == SQLITE_DONE;
}

std::unique_ptr<TTransferItem> RestoredItem(const TStoredTransfer& stored,
                                            const std::string& password) {
  auto item = std::make_unique<TTransferItem>();
  TServer server = stored.Server;
  server.Password = password;
  item->Server = std::make_shared<const TServer>(std::move(server));
  item->SourceFolder = stored.SourceFolder;
  item->DestFolder = stored.DestFolder;
  item->FileName = stored.FileName;
  item->DestRoot = stored.DestRoot;
  item->Size = stored.Size;
  item->FileDate = stored.FileDate;
  item->Upload = stored.Upload;
  item->IsFolder = stored.IsFolder;
  item->RestartOffset = stored.RestartOffset;
  if (!stored.Running || stored.IsFolder) return item;
  item->RestartOffset = 0;
  if (stored.Upload || !stored.InPlace) return item;
  // What the interrupted run wrote is the start of the server's file: it is continued, unless
  // it is text (line ends were converted) or as long as the file already, which says nothing
  // about whether it is complete.
  struct stat info {};
  const std::string local = stored.DestFolder + stored.FileName;
  if (::stat(local.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
      info.st_size < stored.Size && Preferences().TransferModeFor(stored.FileName) != 0) {
    item->RestartOffset = static_cast<int64_t>(info.st_size);
  }
  return item;
}

}  // namespace pelmar
