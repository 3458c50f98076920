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

bool Unfinished(TTransferState state) {
  return state == tsPending || state == tsActive;
}

// What an item has still to bring.
int64_t Remainder(const TTransferItem& item) {
  return std::max<int64_t>(item.Size - item.RestartOffset - item.BytesDone, 0);
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
  connection->SetPortAhead(true);
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

void TTransferItems::Start(TTransferItem& item, TFTPComponent& connection) {
  if (item.State != tsActive) {
    item.LastReply.clear();
    item.FailureText.clear();
    item.Retryable = false;
    item.FirstRequest = connection.LastRequest() + 1;
    if (!item.Upload && !item.IsFolder) {
      int64_t size = 0;
      item.DestExisted = RegularFileSize(item.DestFolder + item.FileName, size);
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
                         .NewOnly = item.DestWasFree && item.Attempts == 0 && !item.Refetched,
                         .ServerTime = item.ServerTime});
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
  if (item.State == tsActive && inPlace &&
      RegularFileSize(item.DestFolder + item.FileName, there)) {
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
