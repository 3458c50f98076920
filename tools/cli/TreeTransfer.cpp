#include "TreeTransfer.h"
#include "TerminalText.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "engine/Checksums.h"
#include "settings/Preferences.h"
#include "transfers/ProgressTexts.h"
#include "transfers/SyncPlan.h"
#include "transfers/TransferQueue.h"
#include "transfers/TreeWalk.h"
#include "views/FolderItems.h"
#include "views/ListingPass.h"
#include "views/TextUtils.h"

namespace pelmar {
namespace {

// Lists remote folders through the browsing connection, relative to the login folder.
class TRemoteLister : public IFolderLister {
 public:
  explicit TRemoteLister(TCliSession& session) : Session(session) {}
  std::optional<std::vector<TWalkEntry>> List(const std::string& folder) override {
    const auto text = Session.ListFolder(folder);
    if (!text) return std::nullopt;
    std::vector<TWalkEntry> entries;
    TListingHooks hooks;
    hooks.AddItem = [&](TRemoteItem& item) {
      if (item.Name == "." || item.Name == "..") return;
      entries.push_back(WalkEntry(item));
    };
    TListingPass pass;
    pass.ListingReceived(*text, Today(), hooks);
    Identities.Note(folder, entries);
    return entries;
  }
  std::string FolderIdentity(const std::string& path) const override { return Identities.Of(path); }
  std::string LastError() const override {
    return Session.FailureReply().empty() ? Session.Error() : Session.FailureReply();
  }
  std::string AbsolutePath(const std::string& folder) const override {
    std::string home = Session.LoginFolder();
    if (home.empty() || home.back() != '/') home += '/';
    return !folder.empty() && folder[0] == '/' ? folder : home + folder;
  }

 private:
  TCliSession& Session;
  TRemoteIdentities Identities;
};

class TPolicyQuestions : public IQueueQuestions {
 public:
  explicit TPolicyQuestions(TExistingPolicy policy) : Policy(policy) {}
  TAnswer AskOverwrite(const std::string& name, int64_t existingSize, TDateTime, int64_t newSize,
                       TDateTime, bool canRecover) override {
    switch (Policy) {
      case TExistingPolicy::Replace:
        return TAnswer::Yes;
      case TExistingPolicy::Skip:
        return TAnswer::No;
      case TExistingPolicy::Resume:
        // As large: taken as complete. Larger: another file, which cannot be the start of
        // the new one; it is replaced. A text-mode file cannot be resumed: it is sent whole.
        if (existingSize == newSize) return TAnswer::No;
        if (existingSize > newSize) {
          Note("\"" + name + "\" is larger at the destination than at the source; replacing it");
        }
        return canRecover ? TAnswer::Recovery : TAnswer::Yes;
      default:
        return Ask("\"" + name + "\" exists (" + std::to_string(existingSize) + " bytes; new " +
                       std::to_string(newSize) + " bytes). Replace?",
                   canRecover, "\"" + name + "\" exists");
    }
  }
  void Note(const std::string& text) override {
    std::fprintf(stderr, "pelmar-cli: %s\n", TerminalText(text).c_str());
  }
  TAnswer AskRestart(const std::string& name) override {
    switch (Policy) {
      case TExistingPolicy::Replace:
        return TAnswer::No;
      case TExistingPolicy::Skip:
        return TAnswer::Closed;
      case TExistingPolicy::Resume:
        return TAnswer::Yes;
      default:
        return Ask("\"" + name + "\" looks half transferred. Resume it?", false,
                   "\"" + name + "\" looks half transferred");
    }
  }

 private:
  // Only a person at a terminal answers: a script's input is no answer, and a pipe left open
  // would be waited on for ever. Without one the file is left as it is (`unasked` says which).
  TAnswer Ask(const std::string& question, bool canRecover, const std::string& unasked) {
    if (!::isatty(STDIN_FILENO)) {
      Note(unasked +
           "; left as it is (no terminal to ask; --existing replace, skip or resume "
           "decides)");
      return TAnswer::Closed;
    }
    for (;;) {
      std::fprintf(stderr, "%s [y]es, [n]o, [a]ll yes, no to all [N]%s: ", question.c_str(),
                   canRecover ? ", [r]esume" : "");
      std::string answer;
      if (!std::getline(std::cin, answer)) return TAnswer::Closed;
      if (answer == "y") return TAnswer::Yes;
      if (answer == "n") return TAnswer::No;
      if (answer == "a") return TAnswer::YesToAll;
      if (answer == "N") return TAnswer::NoToAll;
      if (answer == "r" && canRecover) return TAnswer::Recovery;
    }
  }
  TExistingPolicy Policy;
};

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

// "a/b/c" -> ("a/b/", "c"); "c" -> ("", "c").
std::pair<std::string, std::string> SplitLast(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {"", path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

}  // namespace

TWalkEntry WalkEntry(const TRemoteItem& item) {
  return RemoteWalkEntry(item.Name, item.Attributes, item.Size, item.Modified, item.Unique);
}

namespace {

// As the desktop program does: a finished download gets the date it was listed with.
struct TKeepTimes : ITransferListener {
  void ItemFinished(TTransferItem& item) override {
    if (!item.Upload && !item.IsFolder && item.FileDate != 0) {
      SetFileDate(item.DestFolder + item.FileName, item.FileDate);
    }
  }
};

// The queue's messages and, with -v, its connections' dialogue on stderr.
void Report(TTransferItems& queue, TCliSession& session) {
  queue.ShowMessage = [](const std::string& text) {
    std::fprintf(stderr, "pelmar-cli: %s\n", TerminalText(text).c_str());
  };
  // Failed items are listed with their paths at the end; -v shows every error as it comes.
  queue.OnError = [&session](TFTPComponent&, int, const std::string& text) {
    if (session.Verbose()) std::fprintf(stderr, "[queue] Error: %s\n", TerminalText(text).c_str());
  };
  if (session.Verbose()) {
    queue.OnLog = [](TFTPComponent&, const std::string& text) {
      std::fprintf(stderr, "[queue] %s\n", LogLineText(text).c_str());
    };
  }
}

// What every item of the command shares: the server and the direction.
TTransferItem ItemTemplate(const TFtpUrl& url, bool upload) {
  TTransferItem item;
  item.Server = std::make_shared<const TServer>(
      TServer{.Host = url.Host,
              .Port = url.Port,
              .User = url.User,
              .Password = url.Password.empty() && url.User == "anonymous" ? Preferences().EMail
                                                                          : url.Password,
              .Encryption = url.Encryption});
  item.Upload = upload ? 1 : 0;
  return item;
}

// Runs the queue to its end; each failed item is named with its reason. Returns the failures.
int RunQueue(TTransferItems& queue, TCliSession& session) {
  session.EventTarget()->RunUntil(
      [&] { return queue.CountInState(tsPending) == 0 && queue.CountInState(tsActive) == 0; },
      std::chrono::hours(24 * 365));
  int failed = 0;
  for (int i = 0; i < queue.Count(); ++i) {
    const TTransferItem& done = queue.Item(i);
    if (done.State == tsDone) continue;
    ++failed;
    const std::string why = done.FailureText.empty() ? done.StatusText() : done.FailureText;
    std::fprintf(stderr, "%s: %s\n", TerminalText(done.SourceFolder + done.FileName).c_str(),
                 TerminalText(why).c_str());
  }
  return failed;
}

}  // namespace

int TransferTree(TCliSession& session, const TFtpUrl& url, const std::string& localPath,
                 bool upload, TExistingPolicy policy, bool keepTimes) {
  TKeepTimes times;  // outlives the queue
  TTransferItems queue(session.EventTarget());
  if (!upload && keepTimes) queue.AddListener(&times);
  Report(queue, session);
  const TTransferItem item = ItemTemplate(url, upload);

  // The policy decides about every file already there, so each case must come to a question.
  Preferences().ConfirmOverwrites = true;
  Preferences().ConfirmRestarts = true;
  Preferences().TryToResume = 2;
  TRemoteLister remote(session);
  TLocalFolderLister local;
  TPolicyQuestions questions(policy);
  TWalkResult result;
  if (policy == TExistingPolicy::Resume && !session.ServerCanResume()) {
    std::fprintf(stderr, "pelmar-cli: the server cannot resume; files already there are %s\n",
                 upload ? "sent whole" : "fetched whole");
  }
  auto log = [](const std::string& line) {
    std::fprintf(stderr, "pelmar-cli: %s\n", TerminalText(line).c_str());
  };
  // A missing destination folder is made with its parents, as cp -r and mirrors do.
  if (upload && !url.Path.empty() && !session.MakeFolders(url.Path)) return 1;
  if (!upload) {
    std::error_code error;
    std::filesystem::create_directories(localPath, error);
    if (error) {
      std::fprintf(stderr, "pelmar-cli: cannot create %s: %s\n", localPath.c_str(),
                   error.message().c_str());
      return 1;
    }
  }
  if (upload) {
    const auto [sourceFolder, name] = SplitLast(localPath);
    TWalk walk(queue, local, remote, questions, item, session.ServerCanResume());
    walk.Log = log;
    result = walk.Run(sourceFolder.empty() ? "./" : sourceFolder, WithSlash(url.Path), {name});
  } else {
    const auto [sourceFolder, name] = SplitLast(url.Path);
    TWalk walk(queue, remote, local, questions, item, session.ServerCanResume());
    walk.Log = log;
    if (name.empty()) {
      std::vector<std::string> all;
      for (const auto& entry : remote.List("").value_or(std::vector<TWalkEntry>{})) {
        all.push_back(entry.Name);
      }
      result = walk.Run("", WithSlash(localPath), all);
    } else {
      result = walk.Run(sourceFolder, WithSlash(localPath), {name});
    }
  }

  const int failed = RunQueue(queue, session);
  for (const auto& folder : result.Unlisted) {
    std::fprintf(stderr, "%s: Could not open folder: %s\n", TerminalText(folder.Folder).c_str(),
                 folder.Reason.empty() ? "cannot be listed" : folder.Reason.c_str());
  }
  std::fprintf(stderr, "%d of %d items done, %d skipped", queue.Count() - failed, queue.Count(),
               result.Skipped);
  if (!result.Missing.empty()) {
    const size_t count = result.Missing.size();
    std::fprintf(stderr, ", %zu name%s not found", count, count == 1 ? "" : "s");
  }
  if (!result.Unlisted.empty()) {
    const size_t count = result.Unlisted.size();
    std::fprintf(stderr, ", %zu folder%s could not be listed", count, count == 1 ? "" : "s");
  }
  std::fputs("\n", stderr);
  queue.DisconnectAll();
  return failed == 0 && result.Unlisted.empty() && result.TooDeep.empty() && result.Missing.empty()
             ? 0
             : 1;
}

namespace {

std::string StepPath(const TSyncStep& step) {
  return step.Folder + step.Name + (step.IsFolder ? "/" : "");
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

}  // namespace

int Mirror(TCliSession& session, const TFtpUrl& url, const std::string& localPath, bool upload,
           bool deleteExtra, bool dryRun, bool keepTimes, bool byChecksum) {
  const std::string remoteRoot = WithSlash(url.Path);
  const std::string localRoot = WithSlash(localPath);
  TRemoteLister remote(session);
  TLocalFolderLister local;
  TSameContent sameContent;
  if (byChecksum) {
    sameContent = [&](const std::string& folder, const TWalkEntry& entry,
                      const TWalkEntry&) -> std::optional<bool> {
      // The browsing connection walks the folders: the path must not depend on where it is.
      const auto server = session.Checksum(remote.AbsolutePath(remoteRoot + folder) + entry.Name);
      if (!server) return std::nullopt;
      const auto here = FileDigest(localRoot + folder + entry.Name, server->first);
      if (!here) return std::nullopt;
      return *here == server->second;
    };
  }
  const TSyncPlan plan =
      upload ? PlanMirror(local, localRoot, remote, remoteRoot, deleteExtra, sameContent)
             : PlanMirror(remote, remoteRoot, local, localRoot, deleteExtra, sameContent);
  for (const std::string& folder : plan.Unlisted) {
    std::fprintf(stderr, "%s: Could not open folder\n",
                 TerminalText((upload ? localRoot : remoteRoot) + folder).c_str());
  }
  int copies = 0;
  int deletes = 0;
  // Entries left alone keep the folders from being alike: the exit status says so.
  int leftAlone = 0;
  for (const TSyncStep& step : plan.Steps) {
    if (step.Kind == TSyncKind::Conflict) {
      std::fprintf(stderr, "pelmar-cli: %s left alone: %s\n", TerminalText(StepPath(step)).c_str(),
                   step.Why.c_str());
    }
    copies += step.Kind == TSyncKind::Copy;
    leftAlone += step.Kind == TSyncKind::Conflict;
    deletes += step.Kind == TSyncKind::Delete;
    if (dryRun && step.Kind != TSyncKind::Conflict) {
      std::printf("%s %s (%s)\n", step.Kind == TSyncKind::Copy ? "copy" : "delete",
                  TerminalText(StepPath(step)).c_str(), step.Why.c_str());
    }
  }
  const std::string destination = upload ? url.Path : localPath;
  if (copies == 0 && deletes == 0) {
    std::fprintf(stderr, "Nothing to transfer: %s is up to date (%d files alike)\n",
                 TerminalText(destination).c_str(), plan.Same);
    return plan.Unlisted.empty() && leftAlone == 0 ? 0 : 1;
  }
  if (dryRun) {
    std::fprintf(stderr, "Would copy %d and delete %d; nothing was changed\n", copies, deletes);
    return plan.Unlisted.empty() && leftAlone == 0 ? 0 : 1;
  }

  // A missing destination is made first, as for -r, from the log-on folder (the comparison
  // walked the browsing connection elsewhere).
  if (upload && !url.Path.empty() &&
      (!session.ChangeFolder(session.LoginFolder()) || !session.MakeFolders(url.Path))) {
    return 1;
  }
  std::error_code made;
  if (!upload) std::filesystem::create_directories(localPath, made);
  TKeepTimes times;  // outlives the queue
  TTransferItems queue(session.EventTarget());
  if (!upload && keepTimes) queue.AddListener(&times);
  Report(queue, session);
  const TTransferItem model = ItemTemplate(url, upload);
  const std::string& sourceRoot = upload ? localRoot : remoteRoot;
  const std::string& destinationRoot = upload ? remoteRoot : localRoot;
  for (const TSyncStep& step : plan.Steps) {
    if (step.Kind != TSyncKind::Copy) continue;
    auto item = std::make_unique<TTransferItem>(model);
    item->SourceFolder = sourceRoot + step.Folder;
    item->DestFolder = destinationRoot + step.Folder;
    // Names from the server become local names only below the folder this command writes to.
    if (!upload) item->DestRoot = localRoot;
    item->FileName = step.Name;
    item->IsFolder = step.IsFolder ? 1 : 0;
    item->Size = step.Size;
    item->FileDate = step.Modified;
    queue.Add(item);
  }
  queue.StartNext();
  const int copyFailures = RunQueue(queue, session);
  queue.DisconnectAll();
  int deleteFailures = 0;
  for (const TSyncStep& step : plan.Steps) {
    if (step.Kind != TSyncKind::Delete) continue;
    // A name from the server that cannot be a local name names no local file to delete.
    if (!upload && !LocalNameProblem(step.Name).empty()) {
      ++deleteFailures;
      continue;
    }
    const std::string path = destinationRoot + step.Folder + step.Name;
    if (!DeleteEntry(session, remote, upload, path, step.IsFolder)) ++deleteFailures;
  }
  std::fprintf(stderr, "%d of %d copied, %d of %d deleted\n", copies - copyFailures, copies,
               deletes - deleteFailures, deletes);
  return copyFailures + deleteFailures + leftAlone == 0 && plan.Unlisted.empty() ? 0 : 1;
}

}  // namespace pelmar
