#include "TreeTransfer.h"

#include <cstdio>
#include <iostream>

#include "settings/Preferences.h"
#include "transfers/TransferQueue.h"
#include "transfers/TreeWalk.h"
#include "views/ListingPass.h"

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
      // A link's own name is what a transfer of it asks for.
      const size_t arrow = item.Name.find(" -> ");
      if (arrow != std::string::npos) item.Name.resize(arrow);
      entries.push_back({item.Name,
                         (item.Attributes & iaFolder) != 0 && !(item.Attributes & iaLink),
                         item.Size, item.Modified});
    };
    TListingPass pass;
    pass.ListingReceived(*text, Today(), hooks);
    return entries;
  }

 private:
  TCliSession& Session;
};

class TPolicyQuestions : public IQueueQuestions {
 public:
  explicit TPolicyQuestions(TExistingPolicy policy) : Policy(policy) {}
  TAnswer AskOverwrite(const std::string& name, int64_t existingSize, TDateTime, int64_t newSize,
                       TDateTime) override {
    switch (Policy) {
      case TExistingPolicy::Replace:
        return TAnswer::Yes;
      case TExistingPolicy::Skip:
        return TAnswer::No;
      case TExistingPolicy::Resume:
        return existingSize < newSize ? TAnswer::Recovery : TAnswer::No;
      default:
        return Ask("\"" + name + "\" exists (" + std::to_string(existingSize) + " bytes; new " +
                       std::to_string(newSize) + " bytes). Replace?",
                   existingSize < newSize);
    }
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
        return Ask("\"" + name + "\" looks half transferred. Resume it?", false);
    }
  }

 private:
  static TAnswer Ask(const std::string& question, bool canRecover) {
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

int TransferTree(TCliSession& session, const TFtpUrl& url, const std::string& localPath,
                 bool upload, TExistingPolicy policy) {
  TTransferItems queue(session.EventTarget());
  queue.ShowMessage = [](const std::string& text) {
    std::fprintf(stderr, "pelmar-cli: %s\n", text.c_str());
  };
  queue.OnError = [](TFTPComponent&, int, const std::string& text) {
    std::fprintf(stderr, "pelmar-cli: %s\n", text.c_str());
  };
  if (session.Verbose()) {
    queue.OnLog = [](TFTPComponent&, const std::string& text) {
      std::fprintf(stderr, "[queue] %s\n", text.c_str());
    };
  }
  TTransferItem item;
  item.Host = url.Host;
  item.Port = url.Port;
  item.User = url.User;
  item.Password =
      url.Password.empty() && url.User == "anonymous" ? Preferences().EMail : url.Password;
  item.Upload = upload ? 1 : 0;

  TRemoteLister remote(session);
  TLocalFolderLister local;
  TPolicyQuestions questions(policy);
  TWalkResult result;
  if (upload) {
    const auto [sourceFolder, name] = SplitLast(localPath);
    TWalk walk{queue, local, remote, questions, item, session.ServerCanResume(), {}};
    result = walk.Run(sourceFolder.empty() ? "./" : sourceFolder, WithSlash(url.Path), {name});
  } else {
    const auto [sourceFolder, name] = SplitLast(url.Path);
    TWalk walk{queue, remote, local, questions, item, session.ServerCanResume(), {}};
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
  for (const auto& folder : result.Unlisted) {
    std::fprintf(stderr, "pelmar-cli: cannot list %s\n", folder.c_str());
  }
  session.EventTarget()->RunUntil(
      [&] { return queue.CountInState(tsPending) == 0 && queue.CountInState(tsActive) == 0; },
      std::chrono::hours(24 * 365));
  int failed = 0;
  for (int i = 0; i < queue.Count(); ++i) {
    const TTransferItem& done = queue.Item(i);
    if (done.State == tsDone) continue;
    ++failed;
    std::fprintf(stderr, "%s%s: %s\n", done.SourceFolder.c_str(), done.FileName.c_str(),
                 done.StatusText().c_str());
  }
  std::fprintf(stderr, "%d of %d items done, %d skipped\n", queue.Count() - failed, queue.Count(),
               result.Skipped);
  queue.DisconnectAll();
  return failed == 0 && result.Unlisted.empty() ? 0 : 1;
}

}  // namespace pelmar
