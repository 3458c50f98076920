#pragma once
// What queue, walk and mirror tests share: folders held in memory or read from the served
// folder's disk, their entries, and answers that always replace.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "transfers/CaseFolding.h"
#include "transfers/QueueDecision.h"
#include "transfers/TreeWalk.h"

namespace pelmar::test {

inline TWalkEntry File(const std::string& name, int64_t size = 1, TDateTime modified = 0) {
  TWalkEntry entry;
  entry.Name = name;
  entry.Size = size;
  entry.Modified = modified;
  return entry;
}
inline TWalkEntry Folder(const std::string& name) {
  TWalkEntry entry;
  entry.Name = name;
  entry.IsFolder = true;
  return entry;
}
inline TWalkEntry Link(const std::string& name, const std::string& target, bool folder) {
  TWalkEntry entry = folder ? Folder(name) : File(name);
  entry.IsLink = true;
  entry.Target = std::make_shared<const std::string>(target);
  return entry;
}
// A local pipe, socket or device.
inline TWalkEntry Special(const std::string& name) {
  TWalkEntry entry = File(name, 0);
  entry.Special = true;
  return entry;
}

// Folders held in memory: "sub/" -> its entries, "" the starting folder, which is Home on its
// side. A folder not in the map cannot be listed. One that folds case finds "Docs/" under
// "docs/", as a Windows server would. Every folder asked for is recorded.
class TMapLister : public IFolderLister {
 public:
  std::optional<std::vector<TWalkEntry>> List(const std::string& folder) override {
    Listed.push_back(folder);
    for (const auto& [path, entries] : Folders) {
      if (path == folder || (Folds && FoldedName(path) == FoldedName(folder))) return entries;
    }
    return std::nullopt;
  }
  std::string LastError() const override { return "550 No such directory"; }
  std::string AbsolutePath(const std::string& folder) const override { return Home + folder; }
  bool FoldsCase() const override { return Folds; }

  std::map<std::string, std::vector<TWalkEntry>> Folders;
  std::vector<std::string> Listed;
  std::string Home = "/home/u/";
  bool Folds = false;
};

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

// Answers Yes to every question, and records whether each offered answers to all.
class TAlwaysReplace : public IQueueQuestions {
 public:
  TAnswer AskOverwrite(const std::string&, const TQuestionFiles& files, bool) override {
    OfferedAll.push_back(files.OfferAll);
    return TAnswer::Yes;
  }
  TAnswer AskRestart(const std::string&, const TQuestionFiles& files) override {
    OfferedAll.push_back(files.OfferAll);
    return TAnswer::Yes;
  }
  std::vector<bool> OfferedAll;
};

}  // namespace pelmar::test
