#pragma once
// Carrying out a mirror's plan without losing what should stay, for pelmar-cli's mirror and
// the window's Synchronize. Deletions come after the copies, and none happens in a folder
// where this run could not be sure what the source holds (a listing or a copy failed there or
// above, as rsync does after an I/O error), none of an entry that changed since it was
// compared, and none at all when there are more than the limit. Copies are looked for
// afterwards.

#include <cstdint>
#include <string>
#include <vector>

#include "transfers/SyncPlan.h"

namespace pelmar {

// Whether `folder` ("a/b/") is one of `unsure` or lies below one ("" holds everything).
bool InUnsureFolder(const std::string& folder, const std::vector<std::string>& unsure);

// The folders where deleting is not safe after this run: those whose source listing failed
// and those in which a copy failed (`failedCopies`).
std::vector<std::string> UnsureFolders(const TSyncPlan& plan,
                                       const std::vector<const TSyncStep*>& failedCopies);

struct TDeletionChoice {
  std::vector<const TSyncStep*> Go;    // to delete, each checked at the destination first
  std::vector<const TSyncStep*> Held;  // in a folder where a listing or a copy failed
  int64_t Entries = 0;                 // what the plan deletes, folders' contents counted
  bool OverLimit = false;              // more than the limit: nothing is deleted (Go, Held empty)
};

// `maxDelete` below 0: no limit.
TDeletionChoice ChooseDeletions(const TSyncPlan& plan, const std::vector<std::string>& unsure,
                                int64_t maxDelete);

// Why the destination's entry is no longer what the plan compared (a deletion's entry, the
// file a copy replaces, or no file where a new one goes): gone, made, another kind, size or
// time. Empty when it is as it was. `now`:
// its folder's entries as listed now; `foldCase`: the destination takes names that differ
// only in case for one entry.
std::string ChangedSincePlan(const TSyncStep& step, const std::vector<TWalkEntry>& now,
                             bool foldCase);

// Whether a copied file is at the destination: by its name, or under a name that differs only
// in case with the size it was sent with (a server that folds case keeps the name it had).
bool Arrived(const TSyncStep& step, const std::vector<TWalkEntry>& now);

}  // namespace pelmar
