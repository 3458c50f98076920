// TTransferItems: what the connections report about the items they run (progress, sizes,
// errors, disconnections), and the end of a run that failed.
#include "transfers/TransferQueue.h"

#include "platform/AsciiText.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/EngineSettings.h"
#include "engine/ReplyParsing.h"
#include "platform/Tick.h"
#include "settings/Preferences.h"
#include "transfers/MulDiv.h"

namespace pelmar {
namespace {

// Tries of one item after its first run failed in a way that may pass. The preference counts
// log-on attempts, where below 1 means no limit; an item is not retried without end.
int ItemRetries() {
  const int retries = EngineSettings().FTPRetries.load();
  return retries >= 1 ? retries : 3;
}

}  // namespace

void TTransferItems::BindReports(TTransferItem& item, TFTPComponent& connection) {
  // The item is named by its Id: it may leave the queue (Remove finished) while its connection
  // still has reports on their way.
  const uint64_t id = item.Id;
  std::weak_ptr<bool> alive = Alive;
  auto live = [alive] { return !alive.expired(); };
  // The item the report is for while it runs on `sender`; nullptr otherwise.
  auto current = [this, id](const TFTPComponent& sender) -> TTransferItem* {
    TTransferItem* target = FindItem(id);
    return target && Current(*target, sender) ? target : nullptr;
  };
  connection.OnConnected = [this, live](TFTPComponent& sender) {
    if (live() && OnConnected) OnConnected(sender);
  };
  // Reports of requests posted before this item's run (the item before it on this connection
  // ends with its error, and its last reports may come after that) only go to the log.
  connection.OnDisconnected = [this, id, live](TFTPComponent& sender) {
    if (!live()) return;
    if (TTransferItem* target = FindItem(id)) {
      DisconnectedReport(*target, sender);
    } else {
      LostItemDisconnected(sender);
    }
  };
  connection.OnError = [this, current, live](TFTPComponent& sender, int code,
                                             const std::string& text) {
    if (!live()) return;
    if (TTransferItem* target = current(sender)) {
      ErrorReport(*target, sender, code, text);
    } else if (OnLog) {
      OnLog(sender, text);
    }
  };
  connection.OnFolder = [this, current, live](TFTPComponent& sender, const std::string&,
                                              uint8_t kind) {
    if (!live()) return;
    // Each PWD sent behind an MKD answers for its own folder item, even when that item was
    // finished by the MKD's 257 already and another item has started on the connection since.
    if (kind == fkCurrent) {
      FolderMarkerReport(sender);
    } else if (TTransferItem* target = current(sender)) {
      FolderReport(*target, sender, kind);
    }
  };
  connection.OnLog = [this, current, live](TFTPComponent& sender, const std::string& text) {
    if (!live()) return;
    TTransferItem* target = current(sender);
    if (target && FinalReplyCode(text) != 0) target->LastReply = text;
    if (OnLog) OnLog(sender, text);
  };
  connection.OnLoggedIn = [this, current, live](TFTPComponent& sender) {
    if (!live()) return;
    if (TTransferItem* target = current(sender)) Start(*target, sender);
  };
  connection.OnProgress = [this, current, live](TFTPComponent& sender, uint8_t kind, bool,
                                                int64_t count) {
    if (!live()) return;
    TTransferItem* target = current(sender);
    if (!target) return;
    // A transfer that failed after it started reports its end first and its error next: the
    // error report fails the item. Finishing it here would call it done and hand the error to
    // the next item on this connection.
    if (kind == pkDone && !sender.TransferCompleted) kind = pkProgress;
    // The server's exact time of a download replaces the listed one (minutes, server time).
    if (kind == pkDone && !target->Upload && sender.LastServerTime >= 0) {
      target->FileDate = DateTimeFromTimeT(static_cast<std::time_t>(sender.LastServerTime));
    }
    ProgressReport(*target, kind, count);
  };
  connection.OnFileSize = [this, current, live](TFTPComponent& sender, const std::string& path,
                                                int64_t size) {
    if (!live()) return;
    if (TTransferItem* target = current(sender)) FileSizeReport(*target, path, size);
  };
}

bool TTransferItems::Current(const TTransferItem& item, const TFTPComponent& sender) {
  return item.State == tsActive && item.Connection == &sender &&
         sender.EventRequest() >= item.FirstRequest;
}

void TTransferItems::NoteFailure(TTransferItem& item, const std::string& text) {
  if (!item.FailureText.empty()) return;
  const int code = FinalReplyCode(item.LastReply);
  item.FailureText = code >= 400 ? item.LastReply : text;
}

bool TTransferItems::ResumedSizeRight(TTransferItem& item) {
  if (item.Upload || item.IsFolder || item.RestartOffset <= 0 || item.Size <= 0) return true;
  const std::string local = item.DestFolder + item.FileName;
  int64_t size = 0;
  if (!RegularFileSize(local, size) || size == item.Size) return true;
  // What arrived is not the continuation of the partial file (a server that took REST and
  // sent the whole file): the partial file goes back to what it was, and the whole file is
  // fetched beside it.
  if (::truncate(local.c_str(), static_cast<off_t>(item.RestartOffset)) != 0) {
    Fail(item, "Unable to restore " + local + ": " + std::strerror(errno));
    return false;
  }
  item.RefetchWhole = true;
  RunFailed(item, item.Connection,
            "The resumed file " + local + " came to " + std::to_string(size) +
                " bytes instead of the server's " + std::to_string(item.Size));
  return false;
}

void TTransferItems::ProgressReport(TTransferItem& item, uint8_t kind, int64_t count) {
  if (kind == pkDone && !ResumedSizeRight(item)) return;
  const int64_t run = std::max<int64_t>(count - item.RestartOffset, 0);
  const int64_t delta = run - item.BytesDone;
  item.BytesDone = run;
  BytesDone += delta;
  BytesLeft -= delta;
  Notify(&ITransferListener::ItemProgress, item);
  if (kind != pkDone) return;
  Notify(&ITransferListener::ItemFinished, item);
  if (item.DestView) {
    item.DestView->EntryArrived(item.DestFolder,
                                item.DestName.empty() ? item.FileName : item.DestName,
                                item.IsFolder != 0, item.Size, item.FileDate);
  }
  FilesDone++;
  // Idle connections are kept for the next items, as many as may run at once.
  if (PoolSize() > Simultaneous() && item.Connection && InPool(*item.Connection)) {
    Retire(*item.Connection);
  }
  if (item.State == tsActive) SetState(item, tsDone);
  StartNext();
}

void TTransferItems::FolderReport(TTransferItem& item, TFTPComponent&, uint8_t kind) {
  if (kind == fkCreated || kind == fkRemoved) ProgressReport(item, pkDone, 0);
}

void TTransferItems::FolderMarkerReport(TFTPComponent& sender) {
  auto& markers = FolderMarkers[&sender];
  if (markers.empty()) return;
  TTransferItem* waiting = markers.front();
  markers.pop_front();
  // The MKD was answered without a folder report (typically 550: it exists already). A
  // folder that really could not be made shows up when the files meant for it fail.
  if (waiting && waiting->State == tsActive && waiting->Connection == &sender) {
    ProgressReport(*waiting, pkDone, 0);
  }
}

void TTransferItems::ErrorReport(TTransferItem& item, TFTPComponent& sender, int code,
                                 const std::string& text) {
  if (OnError) {
    OnError(sender, code, text);
  } else if (OnLog) {
    OnLog(sender, text);
  }
  if (!Current(item, sender)) return;
  if (item.LoggingOn) {
    // The engine tries the log-on again as often as the preferences say; its outcome (logged
    // on, or disconnected) decides. The error says why, should it fail.
    NoteFailure(item, text);
    return;
  }
  // The first error of a run says why it failed. What may pass on another connection: a
  // socket error (reset, time-out) and the replies that say the connection failed; not a
  // refusal, a local file that cannot be written, nor a resume that went wrong.
  const int reply = FinalReplyCode(item.LastReply);
  if (code == kErrorDestinationTaken) {
    item.DestExisted = true;  // what is there now is not this item's partial file
  } else if (code == kErrorResumeMismatch) {
    item.RefetchWhole = true;
  } else if (code >= 10000 && code < kErrorLocalFileLarger) {
    item.Retryable = true;
  } else if (code == 0 && (reply == 421 || reply == 425 || reply == 426)) {
    item.Retryable = text.rfind("Unable to write", 0) != 0 && text.rfind("Unable to read", 0) != 0;
  }
  RunFailed(item, &sender, text);
}

void TTransferItems::DisconnectedReport(TTransferItem& item, TFTPComponent& sender) {
  if (OnDisconnected) OnDisconnected(sender);
  // A log-on that failed, or a connection lost in the middle, reports no error of its own:
  // without this the item would stay active and the queue would stop. The engine has tried
  // the log-on as often as the preferences say already; a connection lost later may pass.
  if (Current(item, sender)) {
    if (SiteRefusedConnection(item, sender)) return;
    const int reply = FinalReplyCode(item.LastReply);
    if (!item.LoggingOn && reply / 100 != 5) item.Retryable = true;
    RunFailed(item, &sender, item.LoggingOn ? "Could not log on" : "Connection closed");
    return;
  }
  if (!InPool(sender) && item.Connection == &sender && item.State != tsActive) {
    item.Connection = nullptr;
  }
  StartNext();
}

void TTransferItems::LostItemDisconnected(TFTPComponent& sender) {
  if (OnDisconnected) OnDisconnected(sender);
  StartNext();
}

bool TTransferItems::SiteRefusedConnection(TTransferItem& item, TFTPComponent& sender) {
  if (!item.LoggingOn) return false;
  // Refused while other items of the same server run, or while we hold another logged-on
  // connection to it: the server allows no more (421 "too many connections", or a log-on
  // turned down). A log-on that fails alone is the item's own failure; so is, in the end, a
  // password every connection is refused with (each refusal lowers the count until one fails
  // alone).
  const int others = ActivePerSite[item.Server.get()] - 1;
  const int held = static_cast<int>(
      std::count_if(Connections.begin(), Connections.end(), [&](const auto& connection) {
        return connection.get() != &sender && connection->LoggedIn &&
               connection->Server() == item.Site();
      }));
  const int allowed = std::max(others, held);
  if (allowed <= 0) return false;
  const TServer* site = item.Server.get();
  const bool first = LoweredLimits.count(site) == 0;
  LoweredLimits[site] = std::min(allowed, SiteLimit(*site));
  if (first && OnLog) {
    OnLog(sender, item.Site().Host + " refused another connection; at most " +
                      std::to_string(LoweredLimits[site]) +
                      " transfers at a time to it for the rest of this batch");
  }
  if (InPool(sender)) Retire(sender);
  item.Connection = nullptr;
  item.LoggingOn = false;
  item.FailureText.clear();
  item.LastReply.clear();
  SetState(item, tsPending);
  StartNext();
  return true;
}

void TTransferItems::RunFailed(TTransferItem& item, TFTPComponent* sender, const std::string& why) {
  NoteFailure(item, why);
  // After a failure the connection may still have a reply or a half-closed data connection
  // on its way: the next run logs on afresh instead of inheriting that.
  const bool canResume = sender && sender->ServerCanResume() != 0;
  if (sender && InPool(*sender)) Retire(*sender);
  BytesDone -= item.BytesDone;
  BytesLeft += item.BytesDone;
  item.BytesDone = 0;
  const bool inPlace =
      !item.Upload && !item.IsFolder && (item.RestartOffset > 0 || !item.DestExisted);
  const std::string local = item.DestFolder + item.FileName;
  int64_t arrived = 0;
  const bool partial = inPlace && RegularFileSize(local, arrived) && arrived > 0;
  const int64_t resumedBefore = item.RestartOffset;
  std::string again;
  if (item.RefetchWhole && !item.Refetched) {
    // A download goes into a temporary file beside the partial one, which stays until the
    // whole file is in; an upload replaces the server's wrong copy.
    item.Refetched = true;
    item.RestartOffset = 0;
    again = (item.Upload ? "Sending " : "Fetching ") + item.FileName + " whole: " + why;
  } else if (item.Retryable && !item.RefetchWhole && item.Attempts < ItemRetries()) {
    item.Attempts++;
    const bool text = item.TransferMode() == 0;
    item.RestartOffset = partial && canResume && !text ? arrived : 0;
    again = "Trying " + item.FileName + " again (" + std::to_string(item.Attempts) + " of " +
            std::to_string(ItemRetries()) + ")" +
            (item.RestartOffset > 0 ? " from byte " + std::to_string(item.RestartOffset) : "") +
            ": " + why;
  }
  item.RefetchWhole = false;
  item.Connection = nullptr;
  // A partial file this item made is its own to go on with, on a retry or a re-submit.
  if (partial && !item.Upload) item.DestWasFree = false;
  // The next run starts from elsewhere in the file: the batch's figures follow.
  BytesResumed += item.RestartOffset - resumedBefore;
  BytesLeft -= item.RestartOffset - resumedBefore;
  if (!again.empty()) {
    if (OnLog && sender) OnLog(*sender, again);
    // The run that failed first says most of what went wrong; a retry that fails at its log-on
    // (the server is gone) would hide it.
    if (item.FirstFailureText.empty()) item.FirstFailureText = item.FailureText;
    SetState(item, tsPending);
  } else {
    // A partial download stays for a resume; the reports of the item say how much of it.
    if (partial && !item.Upload) item.PartialBytes = arrived;
    SetState(item, tsFailed);
  }
  StartNext();
}

void TTransferItems::FileSizeReport(TTransferItem& item, const std::string& path, int64_t size) {
  // After REST some servers announce the bytes still to come, others the whole file.
  if (item.Upload || size == item.Size || item.RestartOffset > 0) return;
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (folder != item.DestFolder || name != item.FileName) return;
  BytesLeft += size - item.Size;
  item.Size = size;
  Notify(&ITransferListener::ItemProgress, item);
}

}  // namespace pelmar
