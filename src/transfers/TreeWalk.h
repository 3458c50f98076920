#pragma once
// Turns a selection of files and folders into queue items: at each level the files first, then
// each folder as a folder item followed by its contents, depth first; nothing of a folder is
// queued when its folder item is refused or its contents cannot be listed. Every file goes
// through the queuing decision. Links to folders are entered unless they lead back into what
// is being walked; the walk never goes deeper than kMaxWalkDepth levels. Local pipes, sockets
// and devices are never opened: they are skipped, and so is a file whose destination is one.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/DateTime.h"
#include "transfers/QueueDecision.h"
#include "transfers/TransferItem.h"

namespace pelmar {

class TTransferItems;

// Deep enough for any real tree; loops are caught by the folders' identities, not by this.
inline constexpr int kMaxWalkDepth = 256;

struct TWalkEntry {
  std::string Name;  // a link's own name, without " -> target"
  int64_t Size = 0;
  TDateTime Modified = 0;
  uint64_t Unique = 0;  // the server's identity of the entry (TRemoteItem::Unique)
  // A server file's time in UTC seconds when its listing gave it exactly; -1 otherwise.
  int64_t ServerTime = -1;
  // A link's target as the link states it (remote); null when unknown. Held apart: links are
  // few, and a folder may list a million entries.
  std::shared_ptr<const std::string> Target;
  bool IsFolder = false;
  bool IsLink = false;
  // A local pipe, socket or device (or a link to one): reading it could wait for ever.
  bool Special = false;

  std::string LinkTarget() const { return Target ? *Target : std::string(); }
};

// Why a walk or a mirror leaves alone a local pipe, socket or device.
inline constexpr const char* kSpecialEntryText = "not a file or folder (a pipe, socket or device)";

// A remote listing's entry as the walk sees it. A link is asked for by its own name, and it
// counts as a folder when its target looks like one (no extension), as the panes and
// pelmar-cli both decide.
TWalkEntry RemoteWalkEntry(const std::string& listedName, uint16_t attributes, int64_t size,
                           TDateTime modified, uint64_t unique = 0);

// What a remote lister knows of its folders' identities: the unique facts of the folders it
// has seen listed, by path ("sub/dir/"). A server that follows links lists a linked folder as
// a plain folder under every name that reaches it; the same identity tells it is one folder.
class TRemoteIdentities {
 public:
  void Note(const std::string& folder, const std::vector<TWalkEntry>& entries);
  std::string Of(const std::string& path) const;

 private:
  std::map<std::string, uint64_t> Known;
};

// Lists one folder of either side; nullopt when it cannot be listed (or does not exist).
class IFolderLister {
 public:
  virtual ~IFolderLister() = default;
  virtual std::optional<std::vector<TWalkEntry>> List(const std::string& folder) = 0;
  // Why the last List() failed (the server's reply, the system's error), when known.
  virtual std::string LastError() const { return {}; }
  // The folder as an absolute path (remote folders may be relative to the log-on folder).
  virtual std::string AbsolutePath(const std::string& folder) const { return folder; }
  // Something equal for every path that reaches the same folder (device and inode), or empty
  // when the side cannot tell.
  virtual std::string FolderIdentity(const std::string&) const { return {}; }
  // Whether this side takes names that differ only in case for one entry (a server on
  // Windows): known once a listing has told it.
  virtual bool FoldsCase() const { return false; }
};

// Lists local folders. A link to a folder counts as a folder; its target is not read.
class TLocalFolderLister : public IFolderLister {
 public:
  std::optional<std::vector<TWalkEntry>> List(const std::string& folder) override;
  std::string LastError() const override { return Error; }
  std::string FolderIdentity(const std::string& folder) const override;

 private:
  std::string Error;
};

struct TUnlistedFolder {
  std::string Folder;  // source folder, with its trailing separator
  std::string Reason;  // the lister's error, may be empty
};

struct TWalkResult {
  int Queued = 0;
  int Skipped = 0;  // by the decision, not files or folders, folders not entered
  int Refused = 0;  // duplicates, and names from the server that cannot be local names
  std::vector<TUnlistedFolder> Unlisted;
  std::vector<std::string> Loops;    // folders not entered: reached again through a link
  std::vector<std::string> TooDeep;  // folders not entered: below the depth limit
  std::vector<std::string> Missing;  // selected names the source folder does not have
};

class TWalk {
 public:
  // `templateItem` holds the connection values, direction and views copied into every item.
  TWalk(TTransferItems& queue, IFolderLister& source, IFolderLister& destination,
        IQueueQuestions& questions, const TTransferItem& templateItem, bool serverCanResume)
      : Queue(queue),
        Source(source),
        Destination(destination),
        Questions(questions),
        Template(templateItem),
        ServerCanResume(serverCanResume) {}

  TAnswerMemory Memory;  // one command's answers
  // Lines for the message log: folders the walk did not enter, and why.
  std::function<void(const std::string& line)> Log;

  // Queues the selected names of `sourceFolder` into `destFolder` (both with a trailing "/").
  TWalkResult Run(const std::string& sourceFolder, const std::string& destFolder,
                  const std::vector<std::string>& selection);

 private:
  void Level(const std::string& sourceFolder, const std::string& destFolder,
             const std::vector<TWalkEntry>& entries, int depth, TWalkResult& result);
  // False (with a log line) when `entry` of `sourceFolder` must not be entered.
  bool MayEnter(const std::string& sourceFolder, const TWalkEntry& entry, int depth,
                TWalkResult& result);

  TTransferItems& Queue;
  IFolderLister& Source;
  IFolderLister& Destination;
  IQueueQuestions& Questions;
  TTransferItem Template;
  bool ServerCanResume;
  std::set<std::string> Entered;  // identities of the folders walked so far
  std::string Root;               // the destination folder of Run()
};

// True when a link in `linkFolder` (absolute, with a trailing "/") whose target is `target`
// leads to that folder or one of its parents.
bool LinkLeadsUpward(const std::string& linkFolder, const std::string& target);

}  // namespace pelmar
