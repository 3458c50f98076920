// Reading one row of the kept queue (QueueStore.h) without SQLite: what each column must hold.

#include <cmath>

#include "transfers/QueueStore.h"

namespace pelmar {

std::optional<TStoredTransfer> StoredTransferFromRow(const TStoredRow& row, std::string& problem) {
  problem.clear();
  if (row.Port < 1 || row.Port > 65535) {
    problem = "the port " + std::to_string(row.Port) + " is not one";
  } else if (row.Encryption < enPlain || row.Encryption > enImplicitTls) {
    // Never read as plain FTP: that would send the password unprotected.
    problem = "the encryption " + std::to_string(row.Encryption) + " is unknown";
  } else if (row.Protocol != prFtp && row.Protocol != prSftp) {
    problem = "the protocol " + std::to_string(row.Protocol) + " is unknown";
  } else if (row.Size < 0 || row.RestartOffset < 0 || row.BytesDone < 0) {
    problem = "a size or offset is negative";
  } else if (!std::isfinite(row.FileDate)) {
    problem = "the file's date is no date";
  }
  if (!problem.empty()) return std::nullopt;
  TStoredTransfer stored;
  stored.Row = row.Row;
  stored.Server.Host = row.Host;
  stored.Server.Port = static_cast<int>(row.Port);
  stored.Server.User = row.User;
  stored.Server.Account = row.Account;
  stored.Server.Encryption = static_cast<TEncryption>(row.Encryption);
  stored.Server.Protocol = static_cast<TProtocol>(row.Protocol);
  stored.Server.KeyFile = row.KeyFile;
  stored.Upload = row.Upload != 0;
  stored.IsFolder = row.IsFolder != 0;
  stored.SourceFolder = row.SourceFolder;
  stored.DestFolder = row.DestFolder;
  stored.FileName = row.FileName;
  stored.DestRoot = row.DestRoot;
  stored.Size = row.Size;
  stored.FileDate = row.FileDate;
  stored.RestartOffset = row.RestartOffset;
  stored.BytesDone = row.BytesDone;
  stored.Running = row.Running != 0;
  stored.InPlace = row.InPlace != 0;
  return stored;
}

}  // namespace pelmar
