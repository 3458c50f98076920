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

bool Unfinished(TTransferState state) {
  return state == tsPending || state == tsActive;
}

// What an item has still to bring.
int64_t Remainder(const TTransferItem& item) {
  return std::max<int64_t>(item.Size - item.RestartOffset - item.BytesDone, 0);
}

// The size of a regular file itself (a link is not the item's file, whatever it leads to).
bool LocalFileSize(const std::string& path, int64_t& size) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  size = static_cast<int64_t>(info.st_size);
  return true;
}

}  // namespace

std::string LocalNameProblem(const std::string& name) {
  if (name.empty()) return "an empty name";
  if (name == "." || name == "..") return "\"" + name + "\" names a folder itself";
  if (name.find('/') != std::string::npos) return "\"" + name + "\" contains \"/\"";
  if (name.find('\0') != std::string::npos) return "the name contains a NUL character";
  return {};
}

bool IsSafeLocalName(const std::string& name) {
  return LocalNameProblem(name).empty();
}

std::string DestinationProblem(const std::string& root, const std::string& folder) {
  if (root.empty()) return {};
  if (folder.compare(0, root.size(), root) != 0) return "it is outside " + root;
  // Every level below the root came from the server as a folder name.
  for (size_t at = root.size(); at < folder.size();) {
    const size_t slash = folder.find('/', at);
    const size_t end = slash == std::string::npos ? folder.size() : slash;
    if (const std::string problem = LocalNameProblem(folder.substr(at, end - at));
        !problem.empty()) {
      return problem;
    }
    at = end + 1;
  }
  return {};
}

TTransferItems::TTransferItems(std::shared_ptr<TEventTarget> target) : Target(std::move(target)) {}

TTransferItems::~TTransferItems() {
  *Alive = false;
  for (ITransferListener* listener : std::vector(Listeners)) listener->QueueDestroyed();
  for (auto& connection : Connections) {
    // Reports still on their way must not reach items that are gone.
    connection->ClearHandlers();
  }
  while (!Connections.empty()) Connections.pop_back();
  while (!Items.empty()) Items.pop_back();
}

bool TTransferItems::IsDuplicate(const TTransferItem& item) const {
  for (const auto& other : Items) {
    if (other->State != tsPending && other->State != tsActive) continue;
    if (other->FileName == item.FileName && other->Size == item.Size &&
        other->FileDate == item.FileDate && other->SourceFolder == item.SourceFolder &&
        other->DestFolder == item.DestFolder && other->Site() == item.Site() &&
        other->RestartOffset == item.RestartOffset && other->Upload == item.Upload &&
        other->IsFolder == item.IsFolder) {
      return true;
    }
  }
  return false;
}

int TTransferItems::Add(std::unique_ptr<TTransferItem>& item) {
  if (IsDuplicate(*item)) {
    if (ShowMessage) ShowMessage("\"" + item->FileName + "\" is already in the transfer queue");
    return -1;
  }
  item->Owner = this;
  item->Id = ++LastId;
  item->Server = Intern(item->Server);
  Items.push_back(std::move(item));
  TTransferItem& added = *Items.back();
  ById[added.Id] = &added;
  if (!AnyActive()) {
    // A new batch: a server that refused a connection in the last one may take them now.
    StartTicks = GetTickCount();
    BytesResumed = BytesDone = BytesLeft = 0;
    FilesDone = 0;
    LoweredLimits.clear();
  }
  CountState(added, added.State, 1);
  // A stopped item (put back from an earlier run) is no part of the batch.
  if (Unfinished(added.State)) {
    BytesResumed += added.RestartOffset;
    BytesLeft += Remainder(added);
  }
  Notify(&ITransferListener::ItemAdded, added);
  StartNext();
  return static_cast<int>(Items.size()) - 1;
}

void TTransferItems::AddFailed(std::unique_ptr<TTransferItem>& item, const std::string& why) {
  item->Owner = this;
  item->Id = ++LastId;
  item->Server = Intern(item->Server);
  item->State = tsFailed;
  item->FailureText = why;
  Items.push_back(std::move(item));
  TTransferItem& added = *Items.back();
  ById[added.Id] = &added;
  CountState(added, tsFailed, 1);
  Notify(&ITransferListener::ItemAdded, added);
  Notify(&ITransferListener::ItemStateChanged, added);
}

std::shared_ptr<const TServer> TTransferItems::Intern(std::shared_ptr<const TServer> server) {
  if (!server) server = std::make_shared<const TServer>();
  for (const auto& known : Servers) {
    if (known == server || *known == *server) return known;
  }
  Servers.push_back(server);
  return server;
}

TTransferItem* TTransferItems::FindItem(uint64_t id) const {
  const auto found = ById.find(id);
  return found != ById.end() ? found->second : nullptr;
}

void TTransferItems::AddListener(ITransferListener* listener) {
  if (std::find(Listeners.begin(), Listeners.end(), listener) == Listeners.end()) {
    Listeners.push_back(listener);
  }
}

void TTransferItems::RemoveListener(ITransferListener* listener) {
  Listeners.erase(std::remove(Listeners.begin(), Listeners.end(), listener), Listeners.end());
}

int TTransferItems::IndexOf(const TTransferItem* item) const {
  for (size_t i = 0; i < Items.size(); ++i) {
    if (Items[i].get() == item) return static_cast<int>(i);
  }
  return -1;
}

TTransferItem* TTransferItems::FirstInState(TTransferState state) const {
  for (const auto& item : Items) {
    if (item->State == state) return item.get();
  }
  return nullptr;
}

void TTransferItems::Move(int from, int to) {
  if (from < 0 || to < 0 || from >= Count() || to >= Count() || from == to) return;
  auto moved = std::move(Items[static_cast<size_t>(from)]);
  Items.erase(Items.begin() + from);
  Items.insert(Items.begin() + to, std::move(moved));
  ScanFrom = 0;
  NotifyReordered();
}

int64_t TTransferItems::ElapsedTicks() const {
  return GetTickCount() - StartTicks;
}

int TTransferItems::PercentDone() const {
  const int64_t there = BytesResumed + BytesDone;
  int64_t percent = std::clamp<int64_t>(MulDiv(100, there, there + BytesLeft), 0, 100);
  if (percent == 100 && BytesLeft > 0) percent = 99;
  return static_cast<int>(percent);
}

int TTransferItems::Simultaneous() const {
  return std::clamp(Parallel > 0 ? Parallel : Preferences().SimultaneousTransfers, 1,
                    kMaxSimultaneousTransfers);
}

int TTransferItems::SiteLimit(const TServer& server) const {
  const auto lowered = LoweredLimits.find(&server);
  const int all = Simultaneous();
  return lowered == LoweredLimits.end() ? all : std::min(lowered->second, all);
}

TTransferItems::TFolderKey TTransferItems::FolderKeyOf(const TTransferItem& folder) {
  return {folder.Server.get(), folder.Upload, folder.DestFolder + folder.FileName + "/"};
}

bool TTransferItems::WaitsForFolder(const TTransferItem& item) const {
  if (OpenFolders.empty()) return false;
  // By the destination: what goes into a folder is named by it there.
  const std::string& folder = item.DestFolder;
  for (size_t slash = folder.find('/'); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    if (OpenFolders.count({item.Server.get(), item.Upload, folder.substr(0, slash + 1)}) > 0) {
      return true;
    }
  }
  return false;
}

void TTransferItems::CountState(const TTransferItem& item, TTransferState state, int step) {
  StateCounts[state] += step;
  if (state == tsActive) ActivePerSite[item.Server.get()] += step;
  if (item.IsFolder && (state == tsPending || state == tsActive)) {
    const TFolderKey key = FolderKeyOf(item);
    if ((OpenFolders[key] += step) <= 0) OpenFolders.erase(key);
  }
}

bool TTransferItems::StartNext() {
  if ((CountInState(tsPending) > 0 || AnyActive()) && Host && Host->ShowTransferInfo()) {
    Host->ShowProgressWindow();
  }
  if (Starting) {
    StartAgain = true;
    return false;
  }
  Starting = true;
  bool started = false;
  do {
    StartAgain = false;
    while (ScanFrom < Items.size() && Items[ScanFrom]->State != tsPending) ++ScanFrom;
    // While items run, the next ones are looked for among the first few hundred waiting (a
    // later pass looks again); with none running, among all of them.
    const size_t lookAhead = AnyActive() ? 256 : Items.size();
    size_t looked = 0;
    for (size_t i = ScanFrom;
         i < Items.size() && looked < lookAhead && CountInState(tsActive) < Simultaneous(); ++i) {
      TTransferItem& next = *Items[i];
      if (next.State != tsPending) continue;
      ++looked;
      if (ActivePerSite[next.Server.get()] >= SiteLimit(next.Site()) || WaitsForFolder(next)) {
        continue;
      }
      Start(next, *AcquireConnection(next));
      started = true;
    }
  } while (StartAgain);
  Starting = false;
  return started;
}

TFTPComponent* TTransferItems::AcquireConnection(const TTransferItem& item) {
  // A connection is taken when an active item runs on it. The engine's busy flag is no guide
  // here: right after an item's last report its worker is still tidying up that request, and
  // a request posted a moment ago does not show yet; requests queue behind each other anyway.
  auto running = [this](const TFTPComponent* connection) {
    return std::any_of(Items.begin(), Items.end(), [connection](const auto& other) {
      return other->State == tsActive && other->Connection == connection;
    });
  };
  for (const auto& connection : Connections) {
    if (connection->Server() == item.Site() && !running(connection.get())) {
      return connection.get();
    }
  }
  auto connection = std::make_shared<TFTPComponent>(Target);
  connection->SetServer(item.Site());
  Connections.push_back(connection);
  return connection.get();
}

void TTransferItems::DisconnectAll() {
  while (!Connections.empty()) {
    TFTPComponent& connection = *Connections.back();
    connection.Disconnect();
    // Freeing it posts the worker's quit behind the disconnect, so QUIT still goes out.
    Retire(connection);
  }
}

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

void TTransferItems::Start(TTransferItem& item, TFTPComponent& connection) {
  if (item.State != tsActive) {
    item.LastReply.clear();
    item.FailureText.clear();
    item.Retryable = false;
    item.FirstRequest = connection.LastRequest() + 1;
    if (!item.Upload && !item.IsFolder) {
      int64_t size = 0;
      item.DestExisted = LocalFileSize(item.DestFolder + item.FileName, size);
    }
  }
  SetState(item, tsActive);
  BindReports(item, connection);
  item.Connection = &connection;
  item.StartTicks = GetTickCount();
  // A run moves its bytes anew (a run stopped earlier left its count here).
  BytesDone -= item.BytesDone;
  BytesLeft += item.BytesDone;
  item.BytesDone = 0;
  Notify(&ITransferListener::ItemStarted, item);
  const TPreferences& preferences = Preferences();
  if (!item.Upload && item.IsFolder) {
    // Making a local folder needs no server.
    StartLocalFolder(item);
    return;
  }
  if (item.LoggingOn && connection.LoggedIn) {
    // What went wrong in the log-on's earlier attempts is no reason any more.
    item.FailureText.clear();
    item.LastReply.clear();
  }
  item.LoggingOn = !connection.LoggedIn;
  if (!connection.LoggedIn) {
    if (Host) Host->SetStatusText("Logging on to " + item.Site().Host + "...");
    connection.SetServer(item.Site());
    ConnectAsPreferred(connection, preferences);
    return;
  }
  const int mode = item.TransferMode();
  if (item.Upload) {
    if (item.IsFolder) {
      connection.MakeFolder(item.DestFolder + item.FileName);
      connection.GetFolder();
      FolderMarkers[&connection].push_back(&item);
      return;
    }
    // Only the name on the server is lower-cased; the local file keeps its own name.
    const std::string remoteName =
        preferences.ConfirmLowerCase ? AsciiLower(item.FileName) : item.FileName;
    item.DestName = remoteName == item.FileName ? std::string() : remoteName;
    const std::string source = item.SourceFolder + item.FileName;
    const std::string destination = item.DestFolder + remoteName;
    if (item.RestartOffset > 0) {
      connection.ResumeUpload(source, destination, mode, item.RestartOffset);
    } else {
      // A name the walk found free needs no question whether it replaces a file, unless an
      // earlier run of this item may have left part of it there.
      connection.Upload(
          source, destination, mode,
          item.DestWasFree && item.DestName.empty() && item.Attempts == 0 && !item.Refetched);
    }
    return;
  }
  if (!LocalPathAllowed(item)) return;
  const std::string source = item.SourceFolder + item.FileName;
  const std::string destination = item.DestFolder + item.FileName;
  // The listed size is checked against what arrives. A file this item made on an earlier run
  // is its own to go on with.
  if (item.RestartOffset > 0) {
    connection.ResumeDownload(source, destination, mode, item.RestartOffset, item.Size);
  } else {
    connection.Download(source, destination, mode,
                        {.ListedSize = item.Size,
                         .NewOnly = item.DestWasFree && item.Attempts == 0 && !item.Refetched});
  }
}

bool TTransferItems::LocalPathAllowed(TTransferItem& item) {
  if (!IsSafeLocalName(item.FileName)) {
    Fail(item, "\"" + item.FileName + "\" cannot be a local file name; not transferred");
    return false;
  }
  if (const std::string problem = DestinationProblem(item.DestRoot, item.DestFolder);
      !problem.empty()) {
    Fail(item, "The folder " + item.DestFolder + " cannot be written to (" + problem +
                   "); not transferred");
    return false;
  }
  return true;
}

void TTransferItems::StartLocalFolder(TTransferItem& item) {
  if (!LocalPathAllowed(item)) return;
  const std::string folder = item.DestFolder + item.FileName;
  if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
    Fail(item, "Unable to create folder " + folder + ": " + std::strerror(errno));
    return;
  }
  ProgressReport(item, pkDone, 0);
}

void TTransferItems::Fail(TTransferItem& item, const std::string& why) {
  if (OnLog && item.Connection) OnLog(*item.Connection, why);
  item.FailureText = why;
  if (item.State == tsActive) SetState(item, tsFailed);
  StartNext();
}

void TTransferItems::CancelAll() {
  // The pending ones first: cancelling the running one makes the queue look for the next.
  for (auto& item : Items) {
    if (item->State == tsPending) SetState(*item, tsCancelled);
  }
  for (auto& item : Items) {
    if (item->State == tsActive) Cancel(*item);
  }
}

void TTransferItems::Cancel(TTransferItem& item) {
  if (item.State == tsPending) {
    SetState(item, tsCancelled);
    return;
  }
  if (item.State != tsActive) return;
  SetState(item, tsCancelled);
  if (!item.Connection) return;
  item.Connection->Abort();
  // Its worker is still winding down the aborted request, and its late reports belong to this
  // item: the next item gets a connection of its own.
  if (!InPool(*item.Connection)) return;
  Retire(*item.Connection);
  // The retired connection's reports go with it, so none of them will start the next item.
  // Starting it from the event loop lets a caller that cancels the pending items too (the
  // progress window's Cancel) do so first.
  std::weak_ptr<bool> alive = Alive;
  Target->Post([this, alive] {
    if (!alive.expired()) StartNext();
  });
}

void TTransferItems::Skip(TTransferItem& item) {
  if (item.State != tsPending && item.State != tsActive) return;
  item.Skipped = true;
  item.PartialBytes = -1;
  const bool inPlace =
      !item.Upload && !item.IsFolder && (item.RestartOffset > 0 || !item.DestExisted);
  int64_t there = 0;
  if (item.State == tsActive && inPlace && LocalFileSize(item.DestFolder + item.FileName, there)) {
    // The file may hold a buffer more than was reported, or less than was read.
    there = std::max(there, item.BytesThere());
    if (there > 0 && there < item.Size) item.PartialBytes = there;
  }
  Cancel(item);
}

void TTransferItems::SetState(TTransferItem& item, TTransferState state) {
  if (item.State == state) return;
  if (item.Owner == this) {
    CountState(item, item.State, -1);
    CountState(item, state, 1);
  }
  // The batch's figures: what a skipped or failed item will not bring leaves them, and comes
  // back when it is started again.
  if (item.Owner == this && state != tsDone && Unfinished(item.State) != Unfinished(state)) {
    BytesLeft += Unfinished(state) ? Remainder(item) : -Remainder(item);
  }
  item.State = state;
  if (state == tsPending) ScanFrom = 0;
  if (item.Owner == this) Notify(&ITransferListener::ItemStateChanged, item);
}

void TTransferItems::Resubmit(TTransferItem& item) {
  if ((item.State != tsCancelled && item.State != tsFailed) || item.Owner != this) return;
  item.FailureText.clear();
  item.FirstFailureText.clear();
  item.Attempts = 0;
  item.Refetched = false;
  item.Skipped = false;
  item.PartialBytes = -1;
  if (!AnyActive() && CountInState(tsPending) == 0) {
    StartTicks = GetTickCount();
    BytesResumed = item.RestartOffset;
    BytesDone = item.BytesDone;
    BytesLeft = 0;  // the item's remainder joins as it waits again
    FilesDone = 0;
  }
  SetState(item, tsPending);
  StartNext();
}

bool TTransferItems::ResumedSizeRight(TTransferItem& item) {
  if (item.Upload || item.IsFolder || item.RestartOffset <= 0 || item.Size <= 0) return true;
  const std::string local = item.DestFolder + item.FileName;
  int64_t size = 0;
  if (!LocalFileSize(local, size) || size == item.Size) return true;
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
  const bool partial = inPlace && LocalFileSize(local, arrived) && arrived > 0;
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

void TTransferItems::ForgetView(const void* sourceView, const ITransferDestination* destView) {
  for (auto& item : Items) {
    if (item->SourceView == sourceView) item->SourceView = nullptr;
    if (item->DestView == destView) item->DestView = nullptr;
  }
}

bool TTransferItems::InPool(const TFTPComponent& connection) const {
  return std::any_of(Connections.begin(), Connections.end(),
                     [&](const auto& c) { return c.get() == &connection; });
}

void TTransferItems::Retire(TFTPComponent& connection) {
  auto it = std::find_if(Connections.begin(), Connections.end(),
                         [&](const auto& c) { return c.get() == &connection; });
  std::shared_ptr<TFTPComponent> retired;
  if (it != Connections.end()) {
    retired = *it;
    Connections.erase(it);
  }
  for (auto& item : Items) {
    if (item->Connection == &connection && item->State != tsActive) item->Connection = nullptr;
  }
  FolderMarkers.erase(&connection);
  // The connection may be in the middle of delivering this very report: free it afterwards.
  if (retired) Target->Post([retired] {});
}

}  // namespace pelmar
