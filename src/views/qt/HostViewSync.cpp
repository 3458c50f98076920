// Synchronize in the remote pane: comparing its folder with the local pane's, and carrying out
// the plan the person saw. Copies go through the queue (binary unless text mode was asked
// for), none over a destination file that changed since the preview; once they have ended,
// the deletions, none where a copy failed, of an entry that changed, or past the limit; then
// the copies are looked for and both panes show their folders afresh.

#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "engine/EngineSettings.h"
#include "settings/Preferences.h"
#include "text/TextUtils.h"
#include "transfers/CaseFolding.h"
#include "transfers/SyncRun.h"
#include "transfers/TransferQueue.h"
#include "ui/QtText.h"
#include "views/qt/HostView.h"
#include "views/qt/HostViewLister.h"

namespace pelmar {
namespace {

// A pane's mask as the list of lower-case wildcards it names.
std::vector<std::string> MaskWords(const QString& mask) {
  std::vector<std::string> words;
  const QString text = mask.toLower().replace(u';', u' ').replace(u',', u' ');
  for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) words.push_back(S(word));
  return words;
}

// Only files both panes' masks let through take part: a file hidden on one side must not look
// missing there, or it would be copied over.
class TMaskedLister : public IFolderLister {
 public:
  TMaskedLister(IFolderLister& inner, std::vector<std::vector<std::string>> masks)
      : Inner(inner), Masks(std::move(masks)) {}
  std::optional<std::vector<TWalkEntry>> List(const std::string& folder) override {
    auto entries = Inner.List(folder);
    if (!entries) return entries;
    std::erase_if(*entries, [this](const TWalkEntry& entry) {
      if (entry.IsFolder) return false;
      return std::any_of(Masks.begin(), Masks.end(), [&](const std::vector<std::string>& masks) {
        return !MatchesMask(entry.Name, masks);
      });
    });
    return entries;
  }
  std::string LastError() const override { return Inner.LastError(); }
  bool FoldsCase() const override { return Inner.FoldsCase(); }

 private:
  IFolderLister& Inner;
  std::vector<std::vector<std::string>> Masks;
};

std::string StepPath(const TSyncStep& step) {
  return step.Folder + step.Name + (step.IsFolder ? "/" : "");
}

}  // namespace

// One Synchronize after OK: the plan, which of its copies the queue still runs, and what came
// of them.
class THostView::TSyncRun : public ITransferListener {
 public:
  TSyncRun(THostView& view, TTransferItems& queue, TCustomView& local, const TSyncPlan& plan)
      : View(view), Queue(&queue), Local(&local), Plan(plan) {
    queue.AddListener(this);
  }
  ~TSyncRun() override {
    if (Queue) Queue->RemoveListener(this);
  }
  void ItemStateChanged(TTransferItem& item) override {
    const auto found = Waiting.find(item.Id);
    if (found == Waiting.end()) return;
    if (item.State == tsDone) {
      Copied.push_back(found->second);
    } else if (item.State == tsFailed || item.State == tsCancelled) {
      Failed.push_back(found->second);
    } else {
      return;
    }
    Waiting.erase(found);
    if (Waiting.empty()) View.FinishSyncSoon();
  }
  void QueueDestroyed() override {
    Queue = nullptr;
    for (const auto& [id, step] : Waiting) Failed.push_back(step);
    Waiting.clear();
    View.FinishSyncSoon();
  }
  // Whether the step's copy goes to the server.
  bool ToServer(const TSyncStep& step) const { return Upload != step.Back; }

  THostView& View;
  TTransferItems* Queue;
  QPointer<TCustomView> Local;
  TSyncPlan Plan;
  bool Upload = false;
  int64_t MaxDelete = -1;
  std::string LocalRoot;
  std::string RemoteRoot;
  std::map<uint64_t, const TSyncStep*> Waiting;  // copies the queue still runs
  std::vector<const TSyncStep*> Copied;
  std::vector<const TSyncStep*> Failed;
  int Changed = 0;         // copies left alone: their destination changed since the preview
  bool Finishing = false;  // the deletions and checks are under way
};

TSyncPlan THostView::PlanSync(TCustomView& local, bool upload, bool bothWays, bool deleteExtra,
                              bool textMode) {
  if (!Connected() || Walking) return {};
  Walking = true;
  // The pane may be closed while the comparison waits for a folder.
  const std::shared_ptr<bool> alive = Alive;
  const std::string start = S(Folder());
  std::string localRoot = S(local.Folder());
  EnsureTrailingSeparator(localRoot, local.Seperator());
  TRemoteLister remoteFolders(*this, true);
  remoteFolders.CheckCase = true;
  TLocalFolderLister localFolders;
  const std::vector<std::vector<std::string>> masks{MaskWords(local.Mask()), MaskWords(Mask())};
  TMaskedLister remote(remoteFolders, masks);
  TMaskedLister files(localFolders, masks);
  TMirrorOptions options{.DeleteExtra = deleteExtra};
  if (textMode) {
    options.TextMode = [](const std::string& name) {
      return Preferences().TransferModeFor(name) == 0;
    };
  }
  TSyncPlan plan = bothWays ? PlanBothWays(files, localRoot, remote, start)
                   : upload ? PlanMirror(files, localRoot, remote, start, options)
                            : PlanMirror(remote, start, files, localRoot, options);
  if (!*alive) return {};
  Walking = false;
  // The comparison entered sub-folders in this pane; it shows where it started again (cached).
  if (S(Folder()) != start) ChangeFolder(Q(start));
  return plan;
}

void THostView::CheckCaseFolding(const std::string& folder,
                                 const std::vector<TWalkEntry>& entries) {
  // DOS (Windows, IIS), VMS and the other non-Unix layouts come from systems whose names are
  // one whatever their case; otherwise a file's name with its case swapped is asked about.
  if (ListedOtherLayout) {
    ServerFoldsCase = true;
  } else {
    TCaseProbe probe;
    probe.FileTime = [this, &folder](const std::string& name) {
      return FileTimeAndWait(folder + name);
    };
    ServerFoldsCase = ProbeCaseFolding(entries, probe);
  }
  if (ServerFoldsCase.value_or(false)) {
    Log(QStringLiteral(
        "The server takes names that differ only in case for the same entry; Synchronize "
        "compares them so"));
  }
}

std::optional<int64_t> THostView::FileTimeAndWait(const std::string& path) {
  if (WaitLoop || !Connected()) return std::nullopt;
  QEventLoop loop;
  WaitLoop = &loop;
  WaitFailed = false;
  std::optional<int64_t> answer;
  TimeWaitPath = path;
  TimeWait = [&answer, &loop](int64_t time) {
    if (time >= 0) answer = time;
    loop.quit();
  };
  const std::weak_ptr<bool> alive = Alive;
  const QPointer<THostView> self(this);
  QTimer limit;
  limit.setSingleShot(true);
  connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
  limit.start(EngineSettings().FTPTimeout.load() * 2 + 1000);
  Ftp->AskFileTime(path);
  loop.exec();
  if (alive.expired() || !self) return std::nullopt;
  TimeWait = nullptr;
  TimeWaitPath.clear();
  WaitLoop = nullptr;
  return answer;
}

std::optional<std::vector<TWalkEntry>> THostView::ListAfresh(const std::string& path) {
  // A second try: the report of a folder change posted before (a deletion going back to its
  // folder) can end the first wait.
  for (int attempt = 0; attempt < 2; ++attempt) {
    DropFolder(path);
    TRemoteLister lister(*this, true);
    if (auto entries = lister.List(path)) return entries;
    if (!*Alive) break;
  }
  return std::nullopt;
}

int THostView::QueueSync(const TSyncPlan& plan, TCustomView& local, bool upload, bool textMode,
                         int64_t maxDelete) {
  if (!Queue || SyncRun || Walking) return -1;
  auto run = std::make_shared<TSyncRun>(*this, *Queue, local, plan);
  run->Upload = upload;
  run->MaxDelete = maxDelete;
  run->LocalRoot = S(local.Folder());
  EnsureTrailingSeparator(run->LocalRoot, local.Seperator());
  run->RemoteRoot = S(Folder());
  SyncRun = run;
  const std::shared_ptr<bool> alive = Alive;
  const std::map<const TSyncStep*, std::string> changed = ChangedSincePreview(*run);
  if (!*alive) return -1;
  const auto server = std::make_shared<const TServer>(Ftp->Server());
  for (const TSyncStep& step : run->Plan.Steps) {
    if (step.Kind != TSyncKind::Copy) continue;
    if (const auto found = changed.find(&step); found != changed.end()) {
      Log(Q("Synchronize: " + StepPath(step) + " changed since the comparison (" + found->second +
            "); left alone"));
      ++run->Changed;
      continue;
    }
    // Two-way plans copy some steps the other way.
    const bool up = run->ToServer(step);
    auto item = std::make_unique<TTransferItem>();
    item->Server = server;
    item->Upload = up ? 1 : 0;
    TCustomView* serverPane = this;
    item->SourceView = up ? &local : serverPane;
    item->DestView = up ? static_cast<ITransferDestination*>(this) : &local;
    item->SourceFolder = (up ? run->LocalRoot : run->RemoteRoot) + step.Folder;
    item->DestFolder = (up ? run->RemoteRoot : run->LocalRoot) + step.Folder;
    // Names from the server become local names only below the shown local folder.
    if (!up) item->DestRoot = run->LocalRoot;
    item->FileName = step.Name;
    item->IsFolder = step.IsFolder ? 1 : 0;
    item->Size = step.Size;
    item->FileDate = step.Modified;
    item->Mode = textMode ? TTransferItem::kModeByName : TTransferItem::kModeBinary;
    // The preview found no local file of that name: one that appears before the data comes
    // is left alone.
    item->DestWasFree = !step.IsFolder && !step.Replaces;
    // The queue may run an item as it takes it (a local folder is made at once).
    const int index = Queue->Add(item);
    const TTransferState state = index < 0 ? tsFailed : Queue->Item(index).State;
    if (state == tsDone) {
      run->Copied.push_back(&step);
    } else if (state == tsFailed || state == tsCancelled) {
      run->Failed.push_back(&step);
    } else {
      run->Waiting.emplace(Queue->Item(index).Id, &step);
    }
  }
  const int queued = static_cast<int>(run->Waiting.size() + run->Copied.size());
  Queue->StartNext();
  if (run->Waiting.empty()) FinishSyncSoon();
  return queued;
}

std::map<const TSyncStep*, std::string> THostView::ChangedSincePreview(TSyncRun& run) {
  std::map<const TSyncStep*, std::string> changed;
  // What lies in folders the run makes was not there to change.
  std::vector<std::string> madeUp;
  std::vector<std::string> madeDown;
  for (const TSyncStep& step : run.Plan.Steps) {
    if (step.Kind == TSyncKind::Copy && step.IsFolder) {
      (run.ToServer(step) ? madeUp : madeDown).push_back(step.Folder + step.Name + "/");
    }
  }
  const std::shared_ptr<bool> alive = Alive;
  const std::string start = S(Folder());
  Walking = true;
  std::map<std::pair<bool, std::string>, std::optional<std::vector<TWalkEntry>>> listed;
  TLocalFolderLister localFolders;
  for (const TSyncStep& step : run.Plan.Steps) {
    if (step.Kind != TSyncKind::Copy || step.IsFolder) continue;
    const bool up = run.ToServer(step);
    if (InUnsureFolder(step.Folder, up ? madeUp : madeDown)) continue;
    auto found = listed.find({up, step.Folder});
    if (found == listed.end()) {
      auto now = up ? ListAfresh(run.RemoteRoot + step.Folder)
                    : localFolders.List(run.LocalRoot + step.Folder);
      if (!*alive) return {};
      found = listed.emplace(std::make_pair(up, step.Folder), std::move(now)).first;
    }
    const std::string why = found->second
                                ? ChangedSincePlan(step, *found->second, run.Plan.FoldsCase)
                                : std::string("its folder cannot be listed");
    if (!why.empty()) changed.emplace(&step, why);
  }
  Walking = false;
  if (S(Folder()) != start) ChangeFolder(Q(start));
  return changed;
}

void THostView::FinishSyncSoon() {
  QTimer::singleShot(0, this, [this] { FinishSync(); });
}

void THostView::FinishSync() {
  // Copies that ended while others were still being queued: the last one to end finishes.
  if (!SyncRun || !SyncRun->Waiting.empty() || SyncRun->Finishing) return;
  if (Busy()) {
    // The person is browsing or deleting: the run waits its turn.
    QTimer::singleShot(250, this, [this] { FinishSync(); });
    return;
  }
  // Kept until the panes show the result: until then it is still running.
  const std::shared_ptr<TSyncRun> run = SyncRun;
  run->Finishing = true;
  if (!Connected()) {
    Log(QStringLiteral("Synchronize: the connection is closed; nothing was deleted"));
    SyncRun.reset();
    return;
  }
  const std::shared_ptr<bool> alive = Alive;
  const std::string shown = S(Folder());
  int deleted = 0;
  int deletes = 0;
  int held = 0;
  int changed = 0;
  const TDeletionChoice choice =
      ChooseDeletions(run->Plan, UnsureFolders(run->Plan, run->Failed), run->MaxDelete);
  for (const TSyncStep& step : run->Plan.Steps) deletes += step.Kind == TSyncKind::Delete;
  if (choice.OverLimit) {
    Log(Q("Synchronize: " + std::to_string(choice.Entries) + " entries to delete, more than " +
          std::to_string(run->MaxDelete) + ": nothing was deleted"));
  }
  for (const TSyncStep* step : choice.Held) {
    Log(Q("Synchronize: " + StepPath(*step) +
          " not deleted: a copy or listing failed in its folder"));
    ++held;
  }
  // Each deletion's entry is looked at as it is now; one that changed since the preview stays.
  Walking = true;
  std::map<std::string, std::optional<std::vector<TWalkEntry>>> before;
  std::map<std::string, QStringList> serverDeletes;  // folder -> names
  std::vector<const TSyncStep*> sent;                // deletions asked of the server
  TLocalFolderLister localFolders;
  for (const TSyncStep* step : choice.Go) {
    auto found = before.find(step->Folder);
    if (found == before.end()) {
      auto now = run->Upload ? ListAfresh(run->RemoteRoot + step->Folder)
                             : localFolders.List(run->LocalRoot + step->Folder);
      if (!*alive) return;
      found = before.emplace(step->Folder, std::move(now)).first;
    }
    if (!found->second) {
      Log(Q("Synchronize: " + StepPath(*step) + " not deleted: its folder cannot be listed"));
      ++held;
      continue;
    }
    if (const std::string why = ChangedSincePlan(*step, *found->second, run->Plan.FoldsCase);
        !why.empty()) {
      Log(Q("Synchronize: " + StepPath(*step) + " changed since the comparison (" + why +
            "); not deleted"));
      ++changed;
      continue;
    }
    if (run->Upload) {
      serverDeletes[run->RemoteRoot + step->Folder] << Q(step->Name);
      sent.push_back(step);
      continue;
    }
    // A link goes itself, never what it leads to.
    if (!IsSafeLocalName(step->Name)) continue;
    std::error_code error;
    const std::string path = run->LocalRoot + step->Folder + step->Name;
    std::filesystem::remove_all(path, error);
    if (error) {
      Log(Q("Could not delete " + path + ": " + error.message()));
    } else {
      ++deleted;
    }
  }
  Walking = false;
  if (!serverDeletes.empty()) DeleteOnServer(serverDeletes);
  if (!*alive) return;

  // The copies are looked for, and the server's deletions, as the folders are now.
  Walking = true;
  std::map<std::pair<bool, std::string>, std::optional<std::vector<TWalkEntry>>> after;
  const auto now = [&](bool toServer, const std::string& folder) {
    auto found = after.find({toServer, folder});
    if (found == after.end()) {
      auto listed = toServer ? ListAfresh(run->RemoteRoot + folder)
                             : localFolders.List(run->LocalRoot + folder);
      found = after.emplace(std::make_pair(toServer, folder), std::move(listed)).first;
    }
    return found->second ? &*found->second : nullptr;
  };
  for (const TSyncStep* step : sent) {
    const auto* entries = now(true, step->Folder);
    if (!*alive) return;
    const bool there =
        entries && std::any_of(entries->begin(), entries->end(),
                               [&](const TWalkEntry& e) { return e.Name == step->Name; });
    if (entries && !there) ++deleted;
  }
  int gone = 0;
  for (const TSyncStep* step : run->Copied) {
    if (step->IsFolder) continue;
    const auto* entries = now(run->ToServer(*step), step->Folder);
    if (!*alive) return;
    if (entries && Arrived(*step, *entries)) continue;
    Log(Q("Synchronize: " + StepPath(*step) + " was copied but is not at the destination now"));
    ++gone;
  }
  Walking = false;

  int copies = 0;
  for (const TSyncStep& step : run->Plan.Steps) copies += step.Kind == TSyncKind::Copy;
  std::string summary = "Synchronize: " + std::to_string(run->Copied.size()) + " of " +
                        std::to_string(copies) + " copied, " + std::to_string(deleted) + " of " +
                        std::to_string(deletes) + " deleted";
  if (choice.OverLimit) summary += "; nothing deleted: more than " + std::to_string(run->MaxDelete);
  if (held > 0) summary += "; " + std::to_string(held) + " not deleted: a copy or listing failed";
  if (changed + run->Changed > 0) {
    summary += "; " + std::to_string(changed + run->Changed) + " changed since the comparison";
  }
  if (gone > 0) summary += "; " + std::to_string(gone) + " copies missing afterwards";
  Log(Q(summary));
  // Both panes show their folders as they are now.
  DropFolder(shown);
  ChangeFolderAndWait(Q(shown));
  if (!*alive) return;
  if (run->Local) run->Local->RefreshFolder();
  SyncRun.reset();
}

}  // namespace pelmar
