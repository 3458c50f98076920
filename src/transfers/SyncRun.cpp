#include "transfers/SyncRun.h"

#include <algorithm>
#include <cmath>

#include "transfers/CaseFolding.h"

namespace pelmar {
namespace {

const TWalkEntry* Find(const std::vector<TWalkEntry>& entries, const std::string& name,
                       bool foldCase) {
  for (const TWalkEntry& entry : entries) {
    if (entry.Name == name) return &entry;
  }
  if (!foldCase) return nullptr;
  const std::string folded = FoldedName(name);
  for (const TWalkEntry& entry : entries) {
    if (FoldedName(entry.Name) == folded) return &entry;
  }
  return nullptr;
}

bool SameTime(TDateTime a, TDateTime b) {
  return std::fabs(a - b) * 86400.0 < 0.5;
}

}  // namespace

bool InUnsureFolder(const std::string& folder, const std::vector<std::string>& unsure) {
  return std::any_of(unsure.begin(), unsure.end(), [&](const std::string& failed) {
    return folder.compare(0, failed.size(), failed) == 0;
  });
}

std::vector<std::string> UnsureFolders(const TSyncPlan& plan,
                                       const std::vector<const TSyncStep*>& failedCopies) {
  std::vector<std::string> unsure = plan.Unlisted;
  for (const TSyncStep* step : failedCopies) unsure.push_back(step->Folder);
  std::sort(unsure.begin(), unsure.end());
  unsure.erase(std::unique(unsure.begin(), unsure.end()), unsure.end());
  return unsure;
}

TDeletionChoice ChooseDeletions(const TSyncPlan& plan, const std::vector<std::string>& unsure,
                                int64_t maxDelete) {
  TDeletionChoice choice;
  for (const TSyncStep& step : plan.Steps) {
    if (step.Kind != TSyncKind::Delete) continue;
    choice.Entries += std::max<int64_t>(step.Entries, 1);
    (InUnsureFolder(step.Folder, unsure) ? choice.Held : choice.Go).push_back(&step);
  }
  choice.OverLimit = maxDelete >= 0 && choice.Entries > maxDelete;
  if (choice.OverLimit) {
    choice.Go.clear();
    choice.Held.clear();
  }
  return choice;
}

std::string ChangedSincePlan(const TSyncStep& step, const std::vector<TWalkEntry>& now,
                             bool foldCase) {
  if (step.Kind == TSyncKind::Copy) {
    if (step.IsFolder) return "";  // made if missing, kept if there
    const TWalkEntry* entry = Find(now, step.Replaces ? step.ThereName : step.Name, foldCase);
    if (!step.Replaces) return entry ? "it was made since" : "";
    if (!entry) return "";  // gone: nothing is lost by writing it
    if (entry->IsFolder) return "it is a folder now";
    if (entry->Size != step.ThereSize) {
      return std::to_string(entry->Size) + " bytes instead of " + std::to_string(step.ThereSize);
    }
    return SameTime(entry->Modified, step.ThereModified) ? "" : "its time changed";
  }
  const TWalkEntry* entry = Find(now, step.Name, foldCase);
  if (!entry) return "it is gone";
  if (entry->IsFolder != step.IsFolder)
    return step.IsFolder ? "it is a file now" : "it is a folder now";
  if (step.IsFolder) return "";  // its contents go with it, whatever they are now
  if (entry->Size != step.Size) {
    return std::to_string(entry->Size) + " bytes instead of " + std::to_string(step.Size);
  }
  return SameTime(entry->Modified, step.Modified) ? "" : "its time changed";
}

bool Arrived(const TSyncStep& step, const std::vector<TWalkEntry>& now) {
  if (Find(now, step.Name, false)) return true;
  const TWalkEntry* other = Find(now, step.Name, true);
  return other && other->IsFolder == step.IsFolder && (step.IsFolder || other->Size == step.Size);
}

}  // namespace pelmar
