#pragma once
// Turns a selection of files and folders into queue items: at each level the files first, then
// each folder as a folder item followed by its contents, depth first; nothing of a folder is
// queued when its folder item is refused. Every file goes through the queuing decision.

#include <optional>
#include <string>
#include <vector>

#include "platform/DateTime.h"
#include "transfers/QueueDecision.h"
#include "transfers/TransferItem.h"

namespace pelmar {

class TTransferItems;

struct TWalkEntry {
  std::string Name;
  bool IsFolder = false;
  int64_t Size = 0;
  TDateTime Modified = 0;
};

// Lists one folder of either side; nullopt when it cannot be listed (or does not exist).
class IFolderLister {
 public:
  virtual ~IFolderLister() = default;
  virtual std::optional<std::vector<TWalkEntry>> List(const std::string& folder) = 0;
};

// Lists local folders.
class TLocalFolderLister : public IFolderLister {
 public:
  std::optional<std::vector<TWalkEntry>> List(const std::string& folder) override;
};

struct TWalkResult {
  int Queued = 0;
  int Skipped = 0;                    // by the decision
  int Refused = 0;                    // duplicates
  std::vector<std::string> Unlisted;  // source folders that could not be listed
};

struct TWalk {
  TTransferItems& Queue;
  IFolderLister& Source;
  IFolderLister& Destination;
  IQueueQuestions& Questions;
  // Connection values, direction and views copied into every item.
  TTransferItem Template;
  bool ServerCanResume = true;
  TAnswerMemory Memory;  // one command's answers

  // Queues the selected names of `sourceFolder` into `destFolder` (both with a trailing "/").
  TWalkResult Run(const std::string& sourceFolder, const std::string& destFolder,
                  const std::vector<std::string>& selection);

 private:
  void Level(const std::string& sourceFolder, const std::string& destFolder,
             const std::vector<TWalkEntry>& entries, TWalkResult& result);
};

}  // namespace pelmar
