// The queue file: the lock that keeps it to one program, opening it, and setting aside one that
// SQLite proves damaged.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "transfers/QueueStore.h"
#include "transfers/QueueStoreSql.h"

namespace pelmar {
namespace {

std::string DateSuffix() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

}  // namespace

bool TQueueStore::OpenOrSetAside() {
  std::string why;
  switch (Open(why)) {
    case TOpened::Yes:
      return true;
    case TOpened::Newer:
      Close();
      ProblemText = "The transfer queue file " + Path +
                    " was written by a newer Pelmar; it is "
                    "left as it is, and transfers are kept in memory only";
      return false;
    case TOpened::NotNow:
      Close();
      if (Busy) {
        ProblemText =
            "Another Pelmar keeps the transfer queue; this one keeps its transfers "
            "in memory only";
        return false;
      }
      RetryOpen = true;
      ProblemText = "The transfer queue file " + Path + " cannot be used now (" + why +
                    "); transfers are kept in memory until it can be written again";
      return false;
    case TOpened::Damaged:
      break;
  }
  if (!SetAside(why)) return false;
  if (Open(why) == TOpened::Yes) return true;
  Close();
  RetryOpen = true;
  ProblemText += "; the new one cannot be used now (" + why +
                 "), so transfers are kept in memory until it can";
  return false;
}

TQueueStore::TOpened TQueueStore::Open(std::string& why) {
  // Two programs continuing the same transfers would write the same files.
  if (LockFd < 0) {
    LockFd = ::open((Path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (LockFd < 0) {
      why = std::strerror(errno);
      return TOpened::NotNow;
    }
    if (::flock(LockFd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(LockFd);
      LockFd = -1;
      Busy = error == EWOULDBLOCK;
      why = std::strerror(error);
      return TOpened::NotNow;
    }
  }
  return OpenFile(why);
}

TQueueStore::TOpened TQueueStore::OpenFile(std::string& why) {
  Close();
  // The owner's only, as every file of the data folder; SQLite gives its -wal and -shm files
  // the permissions of the file itself. Files an earlier version made readable are narrowed.
  const int fd = ::open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    why = std::strerror(errno);
    return TOpened::NotNow;
  }
  ::fchmod(fd, 0600);
  ::close(fd);
  for (const char* suffix : {"-wal", "-shm"}) ::chmod((Path + suffix).c_str(), 0600);
  // SQLite's word that the file itself is broken; anything else (a full disk, an I/O error, a
  // lock) may pass.
  const auto failed = [this, &why](int code) {
    why = Db ? sqlite3_errmsg(Db) : sqlite3_errstr(code);
    code &= 0xFF;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB ? TOpened::Damaged : TOpened::NotNow;
  };
  if (const int code =
          sqlite3_open_v2(Path.c_str(), &Db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
      code != SQLITE_OK) {
    return failed(code);
  }
  sqlite3_busy_timeout(Db, 2000);
  int64_t version = 0;
  {
    TStatement query(Db, "PRAGMA user_version");
    const int code = query ? sqlite3_step(*query) : sqlite3_errcode(Db);
    if (code != SQLITE_ROW) return failed(code);
    version = query.Int(0);
    if (version > kSchemaVersion) {
      why = "it was written by a newer Pelmar";
      return TOpened::Newer;
    }
  }
  {
    TStatement check(Db, "PRAGMA quick_check");
    const int code = check ? sqlite3_step(*check) : sqlite3_errcode(Db);
    if (code != SQLITE_ROW) return failed(code);
    if (check.Text(0) != "ok") {
      why = "it is damaged";
      return TOpened::Damaged;
    }
  }
  // WAL: a crash at any moment leaves the file readable, and a commit needs no sync of its own.
  if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=NORMAL") || !Exec(kSchema)) {
    return failed(sqlite3_errcode(Db));
  }
  // A version 1 queue gains its columns in one step (another program's table fails the probe
  // below either way).
  if (version == 1) {
    if (!Exec("BEGIN") || !Exec(kSchemaFrom1) || !Exec("COMMIT")) {
      const int code = sqlite3_errcode(Db);
      Exec("ROLLBACK");
      if ((code & 0xFF) != SQLITE_ERROR) return failed(code);
    }
  }
  if (!Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str())) {
    return failed(sqlite3_errcode(Db));
  }
  // The columns must be the ones this version writes: another program's table of that name
  // is no queue of ours, and never will be.
  TStatement probe(Db, (std::string("SELECT ") + kColumns + " FROM transfers LIMIT 0").c_str());
  if (!probe) {
    if ((sqlite3_errcode(Db) & 0xFF) != SQLITE_ERROR) return failed(sqlite3_errcode(Db));
    why = "it is not a transfer queue of this Pelmar";
    return TOpened::Damaged;
  }
  Statements = std::make_unique<TStatements>(Db);
  if (!Statements->Ready()) return failed(sqlite3_errcode(Db));
  return TOpened::Yes;
}

bool TQueueStore::SetAside(const std::string& why) {
  Close();
  std::string aside = Path + ".set-aside-" + DateSuffix();
  // A file set aside earlier in the same second keeps its name.
  for (int n = 2; ::access(aside.c_str(), F_OK) == 0; ++n) {
    aside = Path + ".set-aside-" + DateSuffix() + "-" + std::to_string(n);
  }
  const auto failed = [&] {
    ProblemText = "The transfer queue file " + Path + " could not be used (" + why +
                  ") nor set aside (" + std::strerror(errno) +
                  "); transfers are kept in memory only";
    return false;
  };
  if (std::rename(Path.c_str(), aside.c_str()) != 0) return failed();
  // Its journal goes with it: left beside a new file it would be read into that one.
  for (const char* suffix : {"-wal", "-shm"}) {
    if (std::rename((Path + suffix).c_str(), (aside + suffix).c_str()) != 0 && errno != ENOENT) {
      return failed();
    }
  }
  ProblemText = "The transfer queue file " + Path + " could not be used (" + why +
                "); it was set aside as " + aside + " and a new one started";
  return true;
}

}  // namespace pelmar
