#include "TreeTransfer.h"

#include "CliQueue.h"
#include "RemoteLister.h"
#include "TerminalText.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "settings/Preferences.h"
#include "transfers/TransferQueue.h"
#include "transfers/TreeWalk.h"

namespace pelmar {
namespace {

class TPolicyQuestions : public IQueueQuestions {
 public:
  explicit TPolicyQuestions(TExistingPolicy policy) : Policy(policy) {}
  TAnswer AskOverwrite(const std::string& name, const TQuestionFiles& files,
                       bool canRecover) override {
    const int64_t existingSize = files.ExistingSize;
    const int64_t newSize = files.NewSize;
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
                   canRecover, files.OfferAll, "\"" + name + "\" exists");
    }
  }
  void Note(const std::string& text) override {
    std::fprintf(stderr, "pelmar-cli: %s\n", TerminalText(text).c_str());
  }
  TAnswer AskRestart(const std::string& name, const TQuestionFiles& files) override {
    switch (Policy) {
      case TExistingPolicy::Replace:
        return TAnswer::No;
      case TExistingPolicy::Skip:
        return TAnswer::Closed;
      case TExistingPolicy::Resume:
        return TAnswer::Yes;
      default:
        return Ask("\"" + name + "\" looks half transferred. Resume it?", false, files.OfferAll,
                   "\"" + name + "\" looks half transferred");
    }
  }

 private:
  // Only a person at a terminal answers: a script's input is no answer, and a pipe left open
  // would be waited on for ever. Without one the file is left as it is (`unasked` says which).
  TAnswer Ask(const std::string& question, bool canRecover, bool offerAll,
              const std::string& unasked) {
    if (!::isatty(STDIN_FILENO)) {
      Note(unasked +
           "; left as it is (no terminal to ask; --existing replace, skip or resume "
           "decides)");
      return TAnswer::Closed;
    }
    for (;;) {
      std::fprintf(stderr, "%s [y]es, [n]o%s%s: ", question.c_str(),
                   offerAll ? ", [a]ll yes, no to all [N]" : "", canRecover ? ", [r]esume" : "");
      std::string answer;
      if (!std::getline(std::cin, answer)) return TAnswer::Closed;
      if (answer == "y") return TAnswer::Yes;
      if (answer == "n") return TAnswer::No;
      if (answer == "a" && offerAll) return TAnswer::YesToAll;
      if (answer == "N" && offerAll) return TAnswer::NoToAll;
      if (answer == "r" && canRecover) return TAnswer::Recovery;
    }
  }
  TExistingPolicy Policy;
};

// "a/b/c" -> ("a/b/", "c"); "c" -> ("", "c").
std::pair<std::string, std::string> SplitLast(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {"", path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

}  // namespace

int TransferTree(TCliSession& session, const TFtpUrl& url, const std::string& localPath,
                 bool upload, TExistingPolicy policy, bool keepTimes, int timeOffsetMinutes) {
  TKeepTimes times;  // outlives the queue
  TTransferItems queue(session.EventTarget());
  if (!upload && keepTimes) queue.AddListener(&times);
  ReportQueue(queue, session);
  const TTransferItem item = ItemTemplate(url, upload);

  // The policy decides about every file already there, so each case must come to a question.
  Preferences().ConfirmOverwrites = true;
  Preferences().ConfirmRestarts = true;
  Preferences().TryToResume = 2;
  TRemoteLister remote(session);
  remote.TimeOffsetMinutes = timeOffsetMinutes;
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

}  // namespace pelmar
