#include "Mirror.h"

#include <cstdio>
#include <filesystem>
#include <map>

#include "CliQueue.h"
#include "RemoteLister.h"
#include "TerminalText.h"
#include "engine/Checksums.h"
#include "settings/Preferences.h"
#include "transfers/SyncPlan.h"
#include "transfers/SyncRun.h"
#include "transfers/TransferQueue.h"

namespace pelmar {
namespace {

std::string StepPath(const TSyncStep& step) {
  return step.Folder + step.Name + (step.IsFolder ? "/" : "");
}

void Line(const std::string& text) {
  std::fprintf(stderr, "pelmar-cli: %s\n", TerminalText(text).c_str());
}

// Deletes a destination entry the source no longer has: a folder with everything in it.
bool DeleteEntry(TCliSession& session, TRemoteLister& remote, bool remoteSide,
                 const std::string& path, bool folder) {
  if (!remoteSide) {
    std::error_code error;
    std::filesystem::remove_all(path, error);
    if (error) {
      std::fprintf(stderr, "%s: %s\n", TerminalText(path).c_str(), error.message().c_str());
      return false;
    }
    return true;
  }
  bool ok = true;
  if (folder) {
    const auto entries = remote.List(WithSlash(path));
    if (!entries) {
      std::fprintf(stderr, "%s/: Could not open folder: %s\n", TerminalText(path).c_str(),
                   TerminalText(remote.LastError()).c_str());
      return false;
    }
    for (const TWalkEntry& entry : *entries) {
      if (entry.Name == "." || entry.Name == "..") continue;
      // A link is deleted itself, never what it leads to.
      ok = DeleteEntry(session, remote, true, WithSlash(path) + entry.Name,
                       entry.IsFolder && !entry.IsLink) &&
           ok;
    }
  }
  // The listing walked the connection elsewhere: the path must not depend on where it is.
  if (ok && !session.Remove(remote.AbsolutePath(path), folder)) {
    std::fprintf(
        stderr, "%s: %s\n", TerminalText(path).c_str(),
        TerminalText(session.FailureReply().empty() ? session.Error() : session.FailureReply())
            .c_str());
    return false;
  }
  return ok;
}

// One side's folders as they are now, each listed once.
class TListedNow {
 public:
  TListedNow(IFolderLister& lister, std::string root) : Lister(lister), Root(std::move(root)) {}
  const std::vector<TWalkEntry>* Of(const std::string& folder) {
    auto found = Listed.find(folder);
    if (found == Listed.end()) found = Listed.emplace(folder, Lister.List(Root + folder)).first;
    return found->second ? &*found->second : nullptr;
  }

 private:
  IFolderLister& Lister;
  std::string Root;
  std::map<std::string, std::optional<std::vector<TWalkEntry>>> Listed;
};

// What the run came to, for the summary line and the exit status.
struct TOutcome {
  int Copies = 0;
  int CopyFailures = 0;
  int Deletes = 0;  // deletion steps planned
  int Deleted = 0;
  int DeleteFailures = 0;
  int Held = 0;     // not deleted: a copy or listing failed in their folder
  int Changed = 0;  // not deleted: changed since compared
  int Gone = 0;     // copied, but not at the destination afterwards
  bool OverLimit = false;

  bool Clean() const {
    return CopyFailures + DeleteFailures + Held + Changed + Gone == 0 && !OverLimit;
  }
  void Print(int64_t maxDelete) const {
    std::string text = std::to_string(Copies - CopyFailures) + " of " + std::to_string(Copies) +
                       " copied, " + std::to_string(Deleted) + " of " + std::to_string(Deletes) +
                       " deleted";
    std::vector<std::string> notes;
    if (OverLimit)
      notes.push_back("none deleted: more than --max-delete " + std::to_string(maxDelete));
    if (Held > 0) {
      notes.push_back(std::to_string(Held) +
                      " not deleted: a copy or listing failed in their folder");
    }
    if (Changed > 0)
      notes.push_back(std::to_string(Changed) + " not deleted: changed since compared");
    if (Gone > 0) notes.push_back(std::to_string(Gone) + " copied but missing afterwards");
    for (size_t i = 0; i < notes.size(); ++i) text += (i == 0 ? " (" : "; ") + notes[i];
    if (!notes.empty()) text += ")";
    std::fprintf(stderr, "%s\n", text.c_str());
  }
};

class TMirrorRun {
 public:
  TMirrorRun(TCliSession& session, const TFtpUrl& url, const std::string& localPath,
             const TMirrorRequest& request)
      : Session(session),
        Url(url),
        Request(request),
        RemoteRoot(WithSlash(url.Path)),
        LocalRoot(WithSlash(localPath)),
        LocalPath(localPath),
        Remote(session) {}

  int Run() {
    Remote.Note = Line;
    Remote.CheckCase = true;
    if (Request.TimeOffsetMinutes) {
      Remote.TimeOffsetMinutes = *Request.TimeOffsetMinutes;
    } else {
      Remote.CheckTimeZone = true;
    }
    const TSyncPlan plan = Plan();
    // The checks are made; later listings read as the plan's did.
    Remote.CheckCase = Remote.CheckTimeZone = false;
    const int status = Carry(plan);
    return status;
  }

 private:
  IFolderLister& DestinationLister() {
    return Request.Upload ? static_cast<IFolderLister&>(Remote) : Local;
  }
  const std::string& SourceRoot() const { return Request.Upload ? LocalRoot : RemoteRoot; }
  const std::string& DestinationRoot() const { return Request.Upload ? RemoteRoot : LocalRoot; }

  TSyncPlan Plan() {
    TMirrorOptions options;
    options.DeleteExtra = Request.DeleteExtra;
    if (Request.TextMode) {
      options.TextMode = [](const std::string& name) {
        return Preferences().TransferModeFor(name) == 0;
      };
    }
    if (Request.ByChecksum) {
      options.SameContent = [this](const std::string& folder, const TWalkEntry& entry,
                                   const TWalkEntry&) -> std::optional<bool> {
        // The browsing connection walks the folders: the path must not depend on where it is.
        const auto server = Session.Checksum(Remote.AbsolutePath(RemoteRoot + folder) + entry.Name);
        if (!server) return std::nullopt;
        const auto here = FileDigest(LocalRoot + folder + entry.Name, server->first);
        if (!here) return std::nullopt;
        return *here == server->second;
      };
    }
    if (Request.DryRun) {
      // Printed as planned; a tree's copies are counted, not held (a folder may have a
      // million). Deletions stay for the --max-delete count, conflicts for their report.
      options.Planned = [this](const TSyncStep& step) {
        if (step.Kind == TSyncKind::Conflict) return true;
        std::printf("%s %s (%s)\n", step.Kind == TSyncKind::Copy ? "copy" : "delete",
                    TerminalText(StepPath(step)).c_str(), step.Why.c_str());
        DryRunCopies += step.Kind == TSyncKind::Copy;
        return step.Kind != TSyncKind::Copy;
      };
    }
    return Request.Upload ? PlanMirror(Local, LocalRoot, Remote, RemoteRoot, options)
                          : PlanMirror(Remote, RemoteRoot, Local, LocalRoot, options);
  }

  int Carry(const TSyncPlan& plan) {
    for (const std::string& folder : plan.Unlisted) {
      std::fprintf(stderr, "%s: Could not open folder\n",
                   TerminalText(SourceRoot() + folder).c_str());
    }
    TOutcome outcome;
    outcome.Copies = DryRunCopies;
    int leftAlone = 0;  // entries left alone keep the folders from being alike
    for (const TSyncStep& step : plan.Steps) {
      if (step.Kind == TSyncKind::Conflict) {
        Line(StepPath(step) + " left alone: " + step.Why);
      }
      outcome.Copies += step.Kind == TSyncKind::Copy;
      leftAlone += step.Kind == TSyncKind::Conflict;
      outcome.Deletes += step.Kind == TSyncKind::Delete;
    }
    const bool alike = plan.Unlisted.empty() && leftAlone == 0;
    const std::string destination = TerminalText(!Request.Upload    ? LocalPath
                                                 : Url.Path.empty() ? "the log-on folder"
                                                                    : Url.Path);
    if (outcome.Copies == 0 && outcome.Deletes == 0) {
      if (alike) {
        std::fprintf(stderr, "Nothing to transfer: %s is up to date (%d files alike)\n",
                     destination.c_str(), plan.Same);
        return 0;
      }
      std::fprintf(stderr,
                   "Nothing to transfer, but %s is not like the source (%zu folders "
                   "could not be listed, %d entries left alone)\n",
                   destination.c_str(), plan.Unlisted.size(), leftAlone);
      return 1;
    }
    // Before anything moves: a source that suddenly looks empty must not empty the destination.
    const TDeletionChoice planned = ChooseDeletions(plan, {}, Request.MaxDelete);
    outcome.OverLimit = planned.OverLimit;
    if (planned.OverLimit) {
      Line(std::to_string(planned.Entries) + " entries would be deleted, more than --max-delete " +
           std::to_string(Request.MaxDelete) + ": nothing is deleted");
    }
    if (Request.DryRun) {
      std::fprintf(stderr, "Would copy %d and delete %d; nothing was changed\n", outcome.Copies,
                   planned.OverLimit ? 0 : outcome.Deletes);
      return alike && !planned.OverLimit ? 0 : 1;
    }
    if (!MakeDestination()) return 1;
    std::vector<const TSyncStep*> failed;
    std::vector<const TSyncStep*> copied;
    Copy(plan, copied, failed);
    outcome.CopyFailures = static_cast<int>(failed.size());
    Delete(plan, UnsureFolders(plan, failed), outcome);
    outcome.Gone = LookForCopies(copied);
    outcome.Print(Request.MaxDelete);
    return outcome.Clean() && alike ? 0 : 1;
  }

  // A missing destination is made first, as for -r, from the log-on folder (the comparison
  // walked the browsing connection elsewhere).
  bool MakeDestination() {
    if (Request.Upload) {
      if (Url.Path.empty() ||
          (Session.ChangeFolder(Session.LoginFolder()) && Session.MakeFolders(Url.Path))) {
        return true;
      }
      Line(Session.Error());
      return false;
    }
    std::error_code made;
    std::filesystem::create_directories(LocalPath, made);
    return true;
  }

  void Copy(const TSyncPlan& plan, std::vector<const TSyncStep*>& copied,
            std::vector<const TSyncStep*>& failed) {
    TKeepTimes times;  // outlives the queue
    TTransferItems queue(Session.EventTarget());
    if (!Request.Upload && Request.KeepTimes) queue.AddListener(&times);
    ReportQueue(queue, Session);
    const TTransferItem model = ItemTemplate(Url, Request.Upload);
    std::vector<std::pair<uint64_t, const TSyncStep*>> queued;
    for (const TSyncStep& step : plan.Steps) {
      if (step.Kind != TSyncKind::Copy) continue;
      auto item = std::make_unique<TTransferItem>(model);
      item->SourceFolder = SourceRoot() + step.Folder;
      item->DestFolder = DestinationRoot() + step.Folder;
      // Names from the server become local names only below the folder this command writes to.
      if (!Request.Upload) item->DestRoot = LocalRoot;
      item->FileName = step.Name;
      item->IsFolder = step.IsFolder ? 1 : 0;
      item->Size = step.Size;
      item->FileDate = step.Modified;
      item->Mode = Request.TextMode ? TTransferItem::kModeByName : TTransferItem::kModeBinary;
      // The comparison found no local file of that name: one that appears before the data
      // comes is left alone.
      item->DestWasFree = !step.IsFolder && !step.Replaces;
      const int index = queue.Add(item);
      if (index < 0) {
        failed.push_back(&step);
      } else {
        queued.emplace_back(queue.Item(index).Id, &step);
      }
    }
    queue.StartNext();
    RunQueue(queue, Session);
    for (const auto& [id, step] : queued) {
      const TTransferItem* item = queue.FindItem(id);
      (item && item->State == tsDone ? copied : failed).push_back(step);
    }
    queue.DisconnectAll();
  }

  void Delete(const TSyncPlan& plan, const std::vector<std::string>& unsure, TOutcome& outcome) {
    const TDeletionChoice choice = ChooseDeletions(plan, unsure, Request.MaxDelete);
    for (const TSyncStep* step : choice.Held) {
      Line(StepPath(*step) + " not deleted: a copy or listing failed in its folder");
    }
    outcome.Held = static_cast<int>(choice.Held.size());
    TListedNow now(DestinationLister(), DestinationRoot());
    for (const TSyncStep* step : choice.Go) {
      const auto* entries = now.Of(step->Folder);
      if (!entries) {
        Line(StepPath(*step) + " not deleted: its folder cannot be listed now");
        ++outcome.Held;
        continue;
      }
      if (const std::string why = ChangedSincePlan(*step, *entries, plan.FoldsCase); !why.empty()) {
        Line(StepPath(*step) + " not deleted: it changed since it was compared (" + why + ")");
        ++outcome.Changed;
        continue;
      }
      // A name from the server that cannot be a local name names no local file to delete.
      if (!Request.Upload && !LocalNameProblem(step->Name).empty()) {
        ++outcome.DeleteFailures;
        continue;
      }
      const std::string path = DestinationRoot() + step->Folder + step->Name;
      if (DeleteEntry(Session, Remote, Request.Upload, path, step->IsFolder && !step->IsLink)) {
        ++outcome.Deleted;
      } else {
        ++outcome.DeleteFailures;
      }
    }
  }

  // Copied files that are not at the destination now: something (a deletion of a name the
  // server took for the same entry, another program) took them away.
  int LookForCopies(const std::vector<const TSyncStep*>& copied) {
    TListedNow now(DestinationLister(), DestinationRoot());
    int gone = 0;
    for (const TSyncStep* step : copied) {
      if (step->IsFolder) continue;
      const auto* entries = now.Of(step->Folder);
      if (entries && Arrived(*step, *entries)) continue;
      Line(StepPath(*step) + " was copied but is not at the destination now");
      ++gone;
    }
    return gone;
  }

  TCliSession& Session;
  const TFtpUrl& Url;
  const TMirrorRequest& Request;
  std::string RemoteRoot;
  std::string LocalRoot;
  std::string LocalPath;
  TRemoteLister Remote;
  int DryRunCopies = 0;  // copies a dry run printed and did not keep
  TLocalFolderLister Local;
};

}  // namespace

int Mirror(TCliSession& session, const TFtpUrl& url, const std::string& localPath,
           const TMirrorRequest& request) {
  return TMirrorRun(session, url, localPath, request).Run();
}

}  // namespace pelmar
