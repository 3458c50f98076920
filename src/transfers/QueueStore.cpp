#include "transfers/QueueStore.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/Tick.h"
#include "settings/Preferences.h"

namespace pelmar {
namespace {

constexpr int kSchemaVersion = 1;
// Progress of a running item is written at most this often.
constexpr int64_t kProgressWriteMs = 3000;
constexpr int kCommitMs = 250;

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS transfers (
  row INTEGER PRIMARY KEY,
  host TEXT NOT NULL, port INTEGER NOT NULL, user TEXT NOT NULL, account TEXT NOT NULL,
  encryption INTEGER NOT NULL,
  upload INTEGER NOT NULL, folder INTEGER NOT NULL,
  source_folder TEXT NOT NULL, dest_folder TEXT NOT NULL, file_name TEXT NOT NULL,
  dest_root TEXT NOT NULL,
  size INTEGER NOT NULL, modified REAL NOT NULL,
  restart_offset INTEGER NOT NULL, bytes_done INTEGER NOT NULL,
  running INTEGER NOT NULL, in_place INTEGER NOT NULL);
)";

// A prepared statement freed however its scope is left.
class TStatement {
 public:
  TStatement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &Handle, nullptr) != SQLITE_OK) Handle = nullptr;
  }
  ~TStatement() { sqlite3_finalize(Handle); }
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;
  explicit operator bool() const { return Handle != nullptr; }
  sqlite3_stmt* operator*() const { return Handle; }

  void Bind(int at, int64_t value) { sqlite3_bind_int64(Handle, at, value); }
  void Bind(int at, double value) { sqlite3_bind_double(Handle, at, value); }
  void Bind(int at, const std::string& value) {
    sqlite3_bind_text(Handle, at, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
  }
  std::string Text(int column) const {
    const auto* text = sqlite3_column_text(Handle, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<size_t>(sqlite3_column_bytes(Handle, column)))
                : std::string();
  }
  int64_t Int(int column) const { return sqlite3_column_int64(Handle, column); }
  // Ready to run again with new values.
  void Reset() {
    sqlite3_reset(Handle);
    sqlite3_clear_bindings(Handle);
  }

 private:
  sqlite3_stmt* Handle = nullptr;
};

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

std::string DateSuffix() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

}  // namespace

// Prepared once per file: the writes run for every item, thousands in a batch.
struct TQueueStore::TStatements {
  explicit TStatements(sqlite3* db)
      : Insert(db,
               "INSERT INTO transfers (host, port, user, account, encryption, upload, folder, "
               "source_folder, dest_folder, file_name, dest_root, size, modified, "
               "restart_offset, bytes_done, running, in_place) "
               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        Update(db,
               "UPDATE transfers SET size = ?, modified = ?, restart_offset = ?, bytes_done = ?, "
               "running = ?, in_place = ? WHERE row = ?"),
        Erase(db, "DELETE FROM transfers WHERE row = ?") {}
  bool Ready() const { return Insert && Update && Erase; }
  TStatement Insert;
  TStatement Update;
  TStatement Erase;
};

TQueueStore::TQueueStore(std::string path, std::shared_ptr<TEventTarget> target)
    : Path(std::move(path)), Target(std::move(target)) {
  // Two programs continuing the same transfers would write the same files.
  LockFd = ::open((Path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (LockFd < 0 || ::flock(LockFd, LOCK_EX | LOCK_NB) != 0) {
    Busy = LockFd >= 0;
    if (LockFd >= 0) ::close(LockFd);
    LockFd = -1;
    ProblemText = Busy ? "Another Pelmar keeps the transfer queue; this one keeps its transfers "
                         "in memory only"
                       : "The transfer queue cannot be kept in " + Path + " (" +
                             std::strerror(errno) + "); transfers are kept in memory only";
    return;
  }
  std::string why;
  if (OpenFile(why)) return;
  SetAside(why);
  if (!OpenFile(why)) {
    Close();
    ProblemText = "The transfer queue cannot be kept in " + Path + " (" + why +
                  "); transfers are kept in memory only";
  }
}

TQueueStore::~TQueueStore() {
  *Alive = false;
  if (Queue) Queue->RemoveListener(this);
  Flush();
  Close();
  if (LockFd >= 0) ::close(LockFd);
}

bool TQueueStore::OpenFile(std::string& why) {
  Close();
  if (sqlite3_open_v2(Path.c_str(), &Db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    why = Db ? sqlite3_errmsg(Db) : "out of memory";
    return false;
  }
  sqlite3_busy_timeout(Db, 2000);
  int version = -1;
  {
    TStatement query(Db, "PRAGMA user_version");
    if (query && sqlite3_step(*query) == SQLITE_ROW) version = static_cast<int>(query.Int(0));
  }
  if (version < 0) {
    why = sqlite3_errmsg(Db);
    return false;
  }
  if (version > kSchemaVersion) {
    why = "it was written by a newer Pelmar";
    return false;
  }
  {
    TStatement check(Db, "PRAGMA quick_check");
    if (!check || sqlite3_step(*check) != SQLITE_ROW || check.Text(0) != "ok") {
      why = "it is damaged";
      return false;
    }
  }
  // WAL: a crash at any moment leaves the file readable, and a commit needs no sync of its own.
  if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=NORMAL") || !Exec(kSchema) ||
      !Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str())) {
    why = sqlite3_errmsg(Db);
    return false;
  }
  // The columns must be the ones this version writes.
  TStatement probe(Db,
                   "SELECT row, host, port, user, account, encryption, upload, folder, "
                   "source_folder, dest_folder, file_name, dest_root, size, modified, "
                   "restart_offset, bytes_done, running, in_place FROM transfers LIMIT 0");
  if (!probe) {
    why = "it is not a transfer queue of this Pelmar";
    return false;
  }
  Statements = std::make_unique<TStatements>(Db);
  if (!Statements->Ready()) {
    why = sqlite3_errmsg(Db);
    return false;
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

void TQueueStore::SetAside(const std::string& why) {
  Close();
  const std::string aside = Path + ".set-aside-" + DateSuffix();
  struct stat info {};
  if (::stat(Path.c_str(), &info) != 0) return;
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::rename((Path + suffix).c_str(), (aside + suffix).c_str());
  }
  ProblemText = "The transfer queue file " + Path + " could not be used (" + why +
                "); it was set aside as " + aside + " and a new one started";
}

bool TQueueStore::Exec(const char* sql) {
  return Db && sqlite3_exec(Db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void TQueueStore::MarkDirty(TTransferItem& item) {
  if (!Db || !DirtySet.insert(&item).second) return;
  Dirty.push_back(&item);
  if (CommitTimer) return;
  // What changes within a quarter of a second is written together, as the items are then: an
  // item that started and ended meanwhile costs one write. A crash loses at most that moment:
  // an item comes back as it was a little earlier, which costs a file fetched again, never a
  // wrong one.
  std::weak_ptr<bool> alive = Alive;
  CommitTimer = Target->StartTimer(kCommitMs, [this, alive] {
    if (!alive.expired()) Flush();
  });
}

void TQueueStore::Flush() {
  if (CommitTimer) Target->KillTimer(CommitTimer);
  CommitTimer = 0;
  if (Dirty.empty() || !Db) return;
  if (!Exec("BEGIN")) return WriteFailed();
  for (TTransferItem* item : Dirty) {
    if (item->State == tsPending || item->State == tsActive) {
      if (Rows.count(item->Id)) {
        Update(*item);
      } else {
        Insert(*item);  // new, or started again after it had ended
      }
    } else {
      Erase(item->Id);
    }
  }
  Dirty.clear();
  DirtySet.clear();
  if (!Exec("COMMIT")) {
    WriteFailed();
    Exec("ROLLBACK");
  }
}

void TQueueStore::WriteFailed() {
  if (WriteProblemTold || !OnWriteProblem) return;
  WriteProblemTold = true;
  OnWriteProblem("The transfer queue could not be written to " + Path + ": " +
                 (Db ? sqlite3_errmsg(Db) : "not open"));
}

std::vector<TStoredTransfer> TQueueStore::Unfinished() {
  std::vector<TStoredTransfer> rows;
  if (!Db) return rows;
  Flush();
  TStatement query(Db,
                   "SELECT row, host, port, user, account, encryption, upload, folder, "
                   "source_folder, dest_folder, file_name, dest_root, size, modified, "
                   "restart_offset, bytes_done, running, in_place FROM transfers ORDER BY row");
  while (query && sqlite3_step(*query) == SQLITE_ROW) {
    TStoredTransfer row;
    row.Row = query.Int(0);
    row.Server.Host = query.Text(1);
    row.Server.Port = static_cast<int>(query.Int(2));
    row.Server.User = query.Text(3);
    row.Server.Account = query.Text(4);
    const int64_t encryption = query.Int(5);
    row.Server.Encryption = encryption >= enPlain && encryption <= enImplicitTls
                                ? static_cast<TEncryption>(encryption)
                                : enPlain;
    row.Upload = query.Int(6) != 0;
    row.IsFolder = query.Int(7) != 0;
    row.SourceFolder = query.Text(8);
    row.DestFolder = query.Text(9);
    row.FileName = query.Text(10);
    row.DestRoot = query.Text(11);
    row.Size = query.Int(12);
    row.FileDate = sqlite3_column_double(*query, 13);
    row.RestartOffset = query.Int(14);
    row.BytesDone = query.Int(15);
    row.Running = query.Int(16) != 0;
    row.InPlace = query.Int(17) != 0;
    rows.push_back(std::move(row));
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
  MarkDirty(item);
}

void TQueueStore::ItemProgress(TTransferItem& item) {
  auto found = Rows.find(item.Id);
  if (found == Rows.end() || item.State != tsActive) return;
  const int64_t now = GetTickCount();
  if (now - found->second.WrittenTicks < kProgressWriteMs) return;
  found->second.WrittenTicks = now;
  MarkDirty(item);
}

void TQueueStore::Insert(TTransferItem& item) {
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
  if (sqlite3_step(*insert) != SQLITE_DONE) return WriteFailed();
  Rows[item.Id] = {sqlite3_last_insert_rowid(Db), GetTickCount()};
}

void TQueueStore::Update(const TTransferItem& item) {
  const auto found = Rows.find(item.Id);
  if (found == Rows.end()) return;
  TStatement& update = Statements->Update;
  update.Reset();
  BindProgress(update, 1, item);
  update.Bind(7, found->second.Row);
  if (sqlite3_step(*update) != SQLITE_DONE) WriteFailed();
}

void TQueueStore::Erase(uint64_t itemId) {
  const auto found = Rows.find(itemId);
  if (found == Rows.end()) return;
  const int64_t row = found->second.Row;
  Rows.erase(found);
  EraseRow(row);
}

void TQueueStore::EraseRow(int64_t row) {
  TStatement& erase = Statements->Erase;
  erase.Reset();
  erase.Bind(1, row);
  if (sqlite3_step(*erase) != SQLITE_DONE) WriteFailed();
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
