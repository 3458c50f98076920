#include "transfers/SyncPlan.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>

#include "transfers/CaseFolding.h"
#include "transfers/FileTimes.h"
#include "transfers/TransferQueue.h"

namespace pelmar {
namespace {

constexpr const char* kCaseTwin =
    "another name differs from it only in case, and the server takes both for one entry";

std::string TooDeep() {
  return "more than " + std::to_string(kMaxWalkDepth) + " levels deep";
}

// Whether an entry takes part. "." and ".." never do; a name that would leave its folder (a
// hostile server's "../x" or "a/b") is listed as left alone, and never copied, entered or
// deleted.
bool TakesPart(TSyncPlan& plan, const std::string& folder, const TWalkEntry& entry) {
  if (entry.Name.empty() || entry.Name == "." || entry.Name == "..") return false;
  if (const std::string problem = LocalNameProblem(entry.Name); !problem.empty()) {
    plan.Steps.push_back({TSyncKind::Conflict, folder, entry.Name, false, entry.Size,
                          entry.Modified, "not a usable name: " + problem});
    return false;
  }
  return true;
}

std::vector<TWalkEntry> TakingPart(TSyncPlan& plan, const std::string& folder,
                                   std::vector<TWalkEntry> listed) {
  std::vector<TWalkEntry> entries;
  entries.reserve(listed.size());
  for (TWalkEntry& entry : listed) {
    if (TakesPart(plan, folder, entry)) entries.push_back(std::move(entry));
  }
  return entries;
}

void SortByName(std::vector<TWalkEntry>& entries) {
  std::sort(entries.begin(), entries.end(),
            [](const TWalkEntry& x, const TWalkEntry& y) { return x.Name < y.Name; });
}

// Pairs each entry of `a` with the entry of `b` of its name or, where `fold`, one whose name
// differs only in case. Exact names are paired first, so none loses its partner to another.
std::vector<std::optional<size_t>> Partners(const std::vector<TWalkEntry>& a,
                                            const std::vector<TWalkEntry>& b, bool fold) {
  std::vector<std::optional<size_t>> partner(a.size());
  std::vector<bool> taken(b.size(), false);
  std::unordered_map<std::string, size_t> exact;
  for (size_t j = 0; j < b.size(); ++j) exact.emplace(b[j].Name, j);
  for (size_t i = 0; i < a.size(); ++i) {
    const auto found = exact.find(a[i].Name);
    if (found == exact.end() || taken[found->second]) continue;
    partner[i] = found->second;
    taken[found->second] = true;
  }
  if (!fold) return partner;
  std::multimap<std::string, size_t> folded;
  for (size_t j = 0; j < b.size(); ++j) {
    if (!taken[j]) folded.emplace(FoldedName(b[j].Name), j);
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (partner[i]) continue;
    auto [from, to] = folded.equal_range(FoldedName(a[i].Name));
    for (; from != to; ++from) {
      if (taken[from->second]) continue;
      partner[i] = from->second;
      taken[from->second] = true;
      break;
    }
  }
  return partner;
}

// The folded names that more than one of `entries` have.
std::set<std::string> CaseTwins(const std::vector<TWalkEntry>& entries) {
  std::map<std::string, int> seen;
  for (const TWalkEntry& entry : entries) ++seen[FoldedName(entry.Name)];
  std::set<std::string> twins;
  for (const auto& [name, count] : seen) {
    if (count > 1) twins.insert(name);
  }
  return twins;
}

class TPlanner {
 public:
  TPlanner(IFolderLister& source, const std::string& sourceRoot, IFolderLister& destination,
           const std::string& destinationRoot, const TMirrorOptions& options)
      : Source(source),
        SourceRoot(sourceRoot),
        Destination(destination),
        DestinationRoot(destinationRoot),
        Options(options) {}

  TSyncPlan Run() {
    Level("", true, 1);
    Plan.Steps.shrink_to_fit();  // where most entries were alike, the room made is not needed
    return std::move(Plan);
  }

 private:
  // `destinationThere`: the destination has this folder (else everything in it is new).
  void Level(const std::string& folder, bool destinationThere, int depth) {
    auto listed = Source.List(SourceRoot + folder);
    if (!listed) {
      Plan.Unlisted.push_back(folder);
      return;
    }
    std::vector<TWalkEntry> there;
    if (destinationThere) {
      if (auto found = Destination.List(DestinationRoot + folder)) {
        there = TakingPart(Plan, folder, std::move(*found));
      }
    }
    // In name order, so that the plan reads as a listing does; the listing itself is moved,
    // not copied (a folder may hold a million entries).
    std::vector<TWalkEntry> entries = TakingPart(Plan, folder, std::move(*listed));
    listed.reset();
    SortByName(entries);
    // Asked after the listings: the first one may be what tells. Only a destination that folds
    // case makes two names one entry; a source's names are written as they are.
    const bool fold = Destination.FoldsCase();
    Plan.FoldsCase = Plan.FoldsCase || fold;
    const auto partner = Partners(entries, there, fold);
    const std::set<std::string> twins = fold ? CaseTwins(entries) : std::set<std::string>{};
    std::vector<bool> matched(there.size(), false);
    // The entries copied, or not there by their exact names: on a server that folds case, a
    // destination entry whose name differs from one of them only in case is that entry.
    std::vector<bool> spare(entries.size(), false);
    // Room for a step per entry made at once where the steps would outgrow it: growing by
    // doubling would hold the old and the new array together, for a large folder hundreds of
    // megabytes. Not where the steps are handed over as they come.
    if (const size_t needed = Plan.Steps.size() + entries.size();
        !Options.Planned && needed > Plan.Steps.capacity()) {
      Plan.Steps.reserve(std::max(needed, Plan.Steps.capacity() * 2));
    }
    Folders.clear();
    std::vector<std::pair<std::string, bool>> folders;  // walked after the files of the level
    for (size_t i = 0; i < entries.size(); ++i) {
      const TWalkEntry& entry = entries[i];
      const TWalkEntry* other = partner[i] ? &there[*partner[i]] : nullptr;
      if (other) matched[*partner[i]] = true;
      const size_t steps = Steps;
      if (twins.count(FoldedName(entry.Name)) > 0) {
        Add(TSyncKind::Conflict, folder, entry, kCaseTwin);
      } else {
        Compare(folder, entry, other, depth);
      }
      spare[i] = Steps > steps || !other || other->Name != entry.Name;
    }
    folders.swap(Folders);
    if (Options.DeleteExtra) {
      std::vector<TWalkEntry> extra;
      for (size_t j = 0; j < there.size(); ++j) {
        if (!matched[j]) extra.push_back(there[j]);
      }
      SortByName(extra);
      // Folded names no deletion of this level may have, asked only of the names to delete.
      std::set<std::string> candidates;
      for (const TWalkEntry& entry : extra) candidates.insert(FoldedName(entry.Name));
      std::set<std::string> spared;
      for (size_t i = 0; i < entries.size() && !candidates.empty(); ++i) {
        if (!spare[i]) continue;
        if (std::string name = FoldedName(entries[i].Name); candidates.count(name) > 0) {
          spared.insert(std::move(name));
        }
      }
      for (const TWalkEntry& entry : extra) {
        if (spared.count(FoldedName(entry.Name)) > 0) {
          Add(TSyncKind::Conflict, folder, entry,
              "its name differs only in case from one in the source; not deleted");
        } else {
          AddDeletion(folder, entry, depth);
        }
      }
    }
    for (const auto& [name, exists] : folders) Level(folder + name + "/", exists, depth + 1);
  }

  void Compare(const std::string& folder, const TWalkEntry& entry, const TWalkEntry* other,
               int depth) {
    // Never read, nor written over (writing to a pipe waits for a reader).
    if (entry.Special || (other && other->Special)) {
      Add(TSyncKind::Conflict, folder, entry,
          entry.Special ? kSpecialEntryText
                        : "a pipe, socket or device of that name at the destination");
      return;
    }
    if (entry.IsFolder && entry.IsLink) {
      // It may lead anywhere, back into the tree too: left alone, and said so.
      Add(TSyncKind::Conflict, folder, entry, "a link to a folder is not mirrored");
      return;
    }
    if (entry.IsFolder) {
      if (other && !other->IsFolder) {
        Add(TSyncKind::Conflict, folder, entry, "a file of that name at the destination");
      } else if (depth < kMaxWalkDepth) {
        if (!other) Add(TSyncKind::Copy, folder, entry, "new");
        Folders.emplace_back(entry.Name, other != nullptr);
      } else {
        Add(TSyncKind::Conflict, folder, entry, TooDeep());
      }
      return;
    }
    if (other && other->IsFolder) {
      Add(TSyncKind::Conflict, folder, entry, "a folder of that name at the destination");
      return;
    }
    if (!other) {
      Add(TSyncKind::Copy, folder, entry, "new");
      return;
    }
    const bool sizeTells = !(Options.TextMode && Options.TextMode(entry.Name));
    std::optional<bool> same;
    if (other->Size == entry.Size && Options.SameContent) {
      same = Options.SameContent(folder, entry, *other);
    }
    if (sizeTells && other->Size != entry.Size) {
      AddCopy(folder, entry, *other, "size differs");
    } else if (same) {
      if (*same) {
        ++Plan.Same;
      } else {
        AddCopy(folder, entry, *other, "content differs");
      }
    } else if (SourceNewer(entry.Modified, other->Modified)) {
      AddCopy(folder, entry, *other, "newer");
    } else {
      ++Plan.Same;
    }
  }

  static TSyncStep Step(TSyncKind kind, const std::string& folder, const TWalkEntry& entry,
                        const std::string& why) {
    return {kind, folder, entry.Name, entry.IsFolder, entry.Size, entry.Modified, why};
  }

  void Keep(TSyncStep step) {
    ++Steps;
    if (!Options.Planned || Options.Planned(step)) Plan.Steps.push_back(std::move(step));
  }

  void Add(TSyncKind kind, const std::string& folder, const TWalkEntry& entry,
           const std::string& why) {
    Keep(Step(kind, folder, entry, why));
  }

  // A copy over the destination's file `there`.
  void AddCopy(const std::string& folder, const TWalkEntry& entry, const TWalkEntry& there,
               const std::string& why) {
    TSyncStep step = Step(TSyncKind::Copy, folder, entry, why);
    step.Replaces = true;
    step.ThereName = there.Name;
    step.ThereSize = there.Size;
    step.ThereModified = there.Modified;
    Keep(std::move(step));
  }

  void AddDeletion(const std::string& folder, const TWalkEntry& entry, int depth) {
    TSyncStep step = Step(TSyncKind::Delete, folder, entry, "not in the source");
    step.IsLink = entry.IsLink;
    // A link goes itself; a folder with everything in it, which is counted.
    const int64_t below = entry.IsFolder && !entry.IsLink
                              ? CountBelow(DestinationRoot + folder + entry.Name + "/", depth + 1)
                              : 0;
    step.Entries = 1 + below;
    Keep(std::move(step));
  }

  // The entries in a destination folder and its folders (what cannot be listed counts none).
  int64_t CountBelow(const std::string& path, int depth) {
    if (depth > kMaxWalkDepth) return 0;
    const auto listed = Destination.List(path);
    if (!listed) return 0;
    int64_t count = 0;
    for (const TWalkEntry& entry : *listed) {
      if (entry.Name.empty() || entry.Name == "." || entry.Name == "..") continue;
      ++count;
      if (entry.IsFolder && !entry.IsLink && IsSafeLocalName(entry.Name)) {
        count += CountBelow(path + entry.Name + "/", depth + 1);
      }
    }
    return count;
  }

  IFolderLister& Source;
  std::string SourceRoot;
  IFolderLister& Destination;
  std::string DestinationRoot;
  const TMirrorOptions& Options;
  TSyncPlan Plan;
  size_t Steps = 0;                                   // planned so far, kept in the plan or not
  std::vector<std::pair<std::string, bool>> Folders;  // the level's folders to walk
};

// Both sides at once: each folder's entries are matched by name.
class TTwoWayPlanner {
 public:
  TTwoWayPlanner(IFolderLister& a, const std::string& aRoot, IFolderLister& b,
                 const std::string& bRoot)
      : A(a), ARoot(aRoot), B(b), BRoot(bRoot) {}

  TSyncPlan Run() {
    Plan.Both = true;
    Level("", true, true, 1);
    return std::move(Plan);
  }

 private:
  std::vector<TWalkEntry> Entries(IFolderLister& lister, const std::string& root,
                                  const std::string& folder, bool there) {
    const std::string path = root + folder;
    if (!there) return {};
    auto listed = lister.List(path);
    if (!listed) {
      Plan.Unlisted.push_back(path);
      return {};
    }
    auto entries = TakingPart(Plan, folder, std::move(*listed));
    SortByName(entries);
    return entries;
  }

  void Level(const std::string& folder, bool aThere, bool bThere, int depth) {
    const auto a = Entries(A, ARoot, folder, aThere);
    const auto b = Entries(B, BRoot, folder, bThere);
    const bool fold = A.FoldsCase() || B.FoldsCase();
    Plan.FoldsCase = Plan.FoldsCase || fold;
    const auto partner = Partners(a, b, fold);
    std::set<std::string> twins;
    if (fold) {
      twins = CaseTwins(a);
      twins.merge(CaseTwins(b));
    }
    std::vector<bool> taken(b.size(), false);
    std::vector<std::tuple<std::string, bool, bool>> folders;  // name, on A, on B
    const auto one = [&](const TWalkEntry& entry, bool back) {
      if (twins.count(FoldedName(entry.Name)) > 0) {
        Add(TSyncKind::Conflict, folder, entry, kCaseTwin, back);
        return;
      }
      if (entry.IsFolder && entry.IsLink) {
        Add(TSyncKind::Conflict, folder, entry, "a link to a folder is not synchronized", back);
        return;
      }
      if (entry.Special) return Add(TSyncKind::Conflict, folder, entry, kSpecialEntryText, back);
      if (entry.IsFolder && depth >= kMaxWalkDepth) {
        return Add(TSyncKind::Conflict, folder, entry, TooDeep(), back);
      }
      Add(TSyncKind::Copy, folder, entry, "new", back);
      if (entry.IsFolder) folders.emplace_back(entry.Name, !back, back);
    };
    for (size_t i = 0; i < a.size(); ++i) {
      const TWalkEntry& entry = a[i];
      if (!partner[i]) {
        one(entry, false);
        continue;
      }
      taken[*partner[i]] = true;
      const TWalkEntry& there = b[*partner[i]];
      if (entry.Special || there.Special) {
        Add(TSyncKind::Conflict, folder, entry, kSpecialEntryText, false);
        continue;
      }
      if (there.Name != entry.Name) {
        // One entry on the side that folds case: alike, or left alone (a copy either way
        // would write the other side's name beside it).
        if (entry.IsFolder || there.IsFolder || entry.Size != there.Size ||
            SourceNewer(entry.Modified, there.Modified) ||
            SourceNewer(there.Modified, entry.Modified)) {
          Add(TSyncKind::Conflict, folder, entry,
              "the other side's name differs only in case (" + there.Name + ")", false);
        } else {
          ++Plan.Same;
        }
        continue;
      }
      if (entry.IsFolder != there.IsFolder) {
        Add(TSyncKind::Conflict, folder, entry, "a file on one side, a folder on the other", false);
      } else if (entry.IsFolder) {
        if (entry.IsLink || there.IsLink) {
          Add(TSyncKind::Conflict, folder, entry, "a link to a folder is not synchronized", false);
        } else if (depth < kMaxWalkDepth) {
          folders.emplace_back(entry.Name, true, true);
        } else {
          Add(TSyncKind::Conflict, folder, entry, TooDeep(), false);
        }
      } else if (SourceNewer(entry.Modified, there.Modified)) {
        Add(TSyncKind::Copy, folder, entry, "newer", false, &there);
      } else if (SourceNewer(there.Modified, entry.Modified)) {
        Add(TSyncKind::Copy, folder, there, "newer", true, &entry);
      } else if (entry.Size != there.Size) {
        Add(TSyncKind::Conflict, folder, entry, "sizes differ, times do not tell which is newer",
            false);
      } else {
        ++Plan.Same;
      }
    }
    for (size_t j = 0; j < b.size(); ++j) {
      if (!taken[j]) one(b[j], true);
    }
    for (const auto& [name, onA, onB] : folders) Level(folder + name + "/", onA, onB, depth + 1);
  }

  // `replaced`: the file the copy goes over.
  void Add(TSyncKind kind, const std::string& folder, const TWalkEntry& entry,
           const std::string& why, bool back, const TWalkEntry* replaced = nullptr) {
    Plan.Steps.push_back(
        {kind, folder, entry.Name, entry.IsFolder, entry.Size, entry.Modified, why, back});
    if (!replaced) return;
    TSyncStep& step = Plan.Steps.back();
    step.Replaces = true;
    step.ThereName = replaced->Name;
    step.ThereSize = replaced->Size;
    step.ThereModified = replaced->Modified;
  }

  IFolderLister& A;
  std::string ARoot;
  IFolderLister& B;
  std::string BRoot;
  TSyncPlan Plan;
};

}  // namespace

TSyncPlan PlanBothWays(IFolderLister& source, const std::string& sourceRoot,
                       IFolderLister& destination, const std::string& destinationRoot) {
  return TTwoWayPlanner(source, sourceRoot, destination, destinationRoot).Run();
}

TSyncPlan PlanMirror(IFolderLister& source, const std::string& sourceRoot,
                     IFolderLister& destination, const std::string& destinationRoot,
                     const TMirrorOptions& options) {
  return TPlanner(source, sourceRoot, destination, destinationRoot, options).Run();
}

bool SourceNewer(TDateTime source, TDateTime destination) {
  return FileTimeNewer(source, destination);
}

}  // namespace pelmar
