#pragma once
// The queue file's table and the statements that write it, shared by the store's opening and
// writing halves.

#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "transfers/QueueStore.h"

namespace pelmar {

// 2: the protocol and key file of each item's server (version 1 kept FTP items only). A file
// of version 2 is left alone by version 1, which would take SFTP items for FTP ones.
inline constexpr int kSchemaVersion = 2;
inline constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS transfers (
  row INTEGER PRIMARY KEY,
  host TEXT NOT NULL, port INTEGER NOT NULL, user TEXT NOT NULL, account TEXT NOT NULL,
  encryption INTEGER NOT NULL,
  upload INTEGER NOT NULL, folder INTEGER NOT NULL,
  source_folder TEXT NOT NULL, dest_folder TEXT NOT NULL, file_name TEXT NOT NULL,
  dest_root TEXT NOT NULL,
  size INTEGER NOT NULL, modified REAL NOT NULL,
  restart_offset INTEGER NOT NULL, bytes_done INTEGER NOT NULL,
  running INTEGER NOT NULL, in_place INTEGER NOT NULL,
  protocol INTEGER NOT NULL DEFAULT 0, key_file TEXT NOT NULL DEFAULT '');
)";

// What version 1's table lacks; its items are FTP items.
inline constexpr const char* kSchemaFrom1 =
    "ALTER TABLE transfers ADD COLUMN protocol INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE transfers ADD COLUMN key_file TEXT NOT NULL DEFAULT '';";

// Every column, in the order Unfinished() reads them.
inline constexpr const char* kColumns =
    "row, host, port, user, account, encryption, upload, folder, source_folder, dest_folder, "
    "file_name, dest_root, size, modified, restart_offset, bytes_done, running, in_place, "
    "protocol, key_file";

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

// Prepared once per file: the writes run for every item, thousands in a batch.
struct TQueueStore::TStatements {
  explicit TStatements(sqlite3* db)
      : Insert(db,
               "INSERT INTO transfers (host, port, user, account, encryption, upload, folder, "
               "source_folder, dest_folder, file_name, dest_root, size, modified, "
               "restart_offset, bytes_done, running, in_place, protocol, key_file) "
               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        Update(db,
               "UPDATE transfers SET size = ?, modified = ?, restart_offset = ?, bytes_done = ?, "
               "running = ?, in_place = ? WHERE row = ?"),
        Erase(db, "DELETE FROM transfers WHERE row = ?") {}
  bool Ready() const { return Insert && Update && Erase; }
  TStatement Insert;
  TStatement Update;
  TStatement Erase;
};

}  // namespace pelmar
