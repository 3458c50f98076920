#pragma once
// What queue tests share: a lister that reads the served folder from disk, and answers that
// always replace.

#include <optional>
#include <string>
#include <vector>

#include "transfers/QueueDecision.h"
#include "transfers/TreeWalk.h"

namespace pelmar::test {

// Lists the server's folders straight from its disk: remote "sub/" is Root + "sub/".
class TServerDiskLister : public IFolderLister {
 public:
  explicit TServerDiskLister(std::string root) : Root(std::move(root)) {}
  std::optional<std::vector<TWalkEntry>> List(const std::string& folder) override {
    return Local.List(Root + folder);
  }

 private:
  std::string Root;
  TLocalFolderLister Local;
};

class TAlwaysReplace : public IQueueQuestions {
 public:
  TAnswer AskOverwrite(const std::string&, const TQuestionFiles&, bool) override {
    return TAnswer::Yes;
  }
  TAnswer AskRestart(const std::string&, const TQuestionFiles&) override { return TAnswer::Yes; }
};

}  // namespace pelmar::test
