#pragma once
// One file or folder to move between this machine and a server.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/Messages.h"
#include "engine/Server.h"
#include "platform/DateTime.h"

namespace pelmar {

class TFTPComponent;
class TTransferItems;

enum TTransferState : uint8_t {
  tsPending = 0,
  tsActive = 1,
  tsDone = 2,
  tsCancelled = 3,
  tsFailed = 4,
};

// Where a finished entry is announced, so that a pane showing that folder lists it.
class ITransferDestination {
 public:
  virtual ~ITransferDestination() = default;
  virtual void EntryArrived(const std::string& folder, const std::string& name, bool isFolder,
                            int64_t size, TDateTime modified) = 0;
};

struct TTransferItem {
  TTransferItems* Owner = nullptr;
  uint64_t Id = 0;  // given by the queue, unique in it: how windows refer to an item
  // Where the item goes or comes from; the queue keeps one value per server for all its items.
  std::shared_ptr<const TServer> Server = std::make_shared<const TServer>();
  const TServer& Site() const { return *Server; }
  // Source and destination folders end with their separator: Folder + FileName is a path.
  std::string SourceFolder;
  std::string DestFolder;
  std::string FileName;
  int64_t Size = 0;
  TDateTime FileDate = 0;
  // A download's time on the server in UTC seconds, when the listing gave it exactly (the
  // engine then need not ask for it); -1 otherwise.
  int64_t ServerTime = -1;
  int64_t RestartOffset = 0;
  uint8_t Upload = 0;
  uint8_t IsFolder = 0;
  TTransferState State = tsPending;
  void* SourceView = nullptr;
  ITransferDestination* DestView = nullptr;
  TFTPComponent* Connection = nullptr;
  int64_t StartTicks = 0;
  int64_t BytesDone = 0;  // this run, without RestartOffset
  // The name at the destination when it differs from FileName (a lower-cased upload).
  std::string DestName;
  // The last final reply line the server sent while this item ran on its connection.
  std::string LastReply;
  // Why a failed item failed: the server's refusal ("550 No such file") when there was one,
  // else the error's text.
  std::string FailureText;
  // When the item was tried again: why its first run failed.
  std::string FirstFailureText;
  // The folder the command that queued this item writes into (with its separator): a
  // download's DestFolder is this folder plus folder names from the server, each checked
  // before it becomes part of a local path. Empty: DestFolder alone is the destination.
  std::string DestRoot;
  // The first request posted for this item's current run on its connection: reports of
  // earlier requests belong to the items before it.
  uint64_t FirstRequest = 0;
  int Attempts = 0;           // runs that failed and were tried again
  bool Retryable = false;     // the failure of this run may pass on another connection
  bool RefetchWhole = false;  // a resume came out wrong: fetch the whole file once more
  bool Refetched = false;     // ... and that was done already
  bool DestExisted = false;   // a download's local file was there when this run started
  // The walk found nothing at the destination's name and decided without asking. A download
  // leaves alone whatever appears there before the data comes (the item fails saying so); an
  // upload skips asking the server whether it replaces a file.
  bool DestWasFree = false;
  bool LoggingOn = false;  // this run waits for its connection's log-on
  // The transfer type: kModeByName lets the preferences decide by the file's name (under Auto,
  // text extensions in text mode); else the engine's mode (0 text, 1 binary, ...). Mirrors
  // and Synchronize send binary, so that sizes and bytes stay as they are.
  int8_t Mode = kModeByName;
  static constexpr int8_t kModeByName = -1;
  static constexpr int8_t kModeBinary = 1;
  // The person skipped it while it ran, or it failed; a download leaves what arrived,
  // PartialBytes of Size (-1 when no partial file stays).
  bool Skipped = false;
  int64_t PartialBytes = -1;

  // The engine's mode this item is sent in (0 for text).
  int TransferMode() const;
  // "Download Pending", "Done", "Aborted due to Error", ...
  std::string StatusText() const;
  // Why a failed item failed, for a person: "10054 Connection reset by peer; tried again 3
  // times, last: Could not log on (partial kept: 3,000,000 of 10,000,000 bytes)".
  std::string FailureLine() const;
  // StatusText, and for a failed item its FailureLine after a colon.
  std::string StatusWithReason() const;
  int64_t ElapsedTicks() const;
  // Bytes at the destination: the resumed start and this run's.
  int64_t BytesThere() const { return RestartOffset + BytesDone; }
  // 0..100 of the whole file.
  int PercentDone() const;
};

// The size of a regular file itself (a link is not an item's file, whatever it leads to); false
// for anything else or nothing.
bool RegularFileSize(const std::string& path, int64_t& size);

}  // namespace pelmar
