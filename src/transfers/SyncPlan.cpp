#include "transfers/SyncPlan.h"

#include <cmath>
#include <map>
#include <optional>
#include <tuple>

#include "transfers/TransferQueue.h"

namespace pelmar {
namespace {

constexpr double kSecond = 1.0 / 86400.0;

// Seconds into the day, rounded (times are fractions of days).
int64_t SecondsOfDay(TDateTime value) {
  return std::llround((value - std::floor(value)) * 86400.0) % 86400;
}

// Whether an entry takes part. "." and ".." never do; a name that would leave its folder (a
// hostile server's "../x" or "a/b") is listed as left alone, and never copied, entered or
// deleted.
std::string TooDeep() {
  return "more than " + std::to_string(kMaxWalkDepth) + " levels deep";
}

bool TakesPart(TSyncPlan& plan, const std::string& folder, const TWalkEntry& entry) {
  if (entry.Name.empty() || entry.Name == "." || entry.Name == "..") return false;
  if (const std::string problem = LocalNameProblem(entry.Name); !problem.empty()) {
    plan.Steps.push_back({TSyncKind::Conflict, folder, entry.Name, false, entry.Size,
                          entry.Modified, "not a usable name: " + problem});
    return false;
  }
  return true;
}

class TPlanner {
 public:
  TPlanner(IFolderLister& source, const std::string& sourceRoot, IFolderLister& destination,
           const std::string& destinationRoot, bool deleteExtra, TSameContent sameContent)
      : Source(source),
        SourceRoot(sourceRoot),
        Destination(destination),
        DestinationRoot(destinationRoot),
        DeleteExtra(deleteExtra),
        SameContent(std::move(sameContent)) {}

  TSyncPlan Run() {
    Level("", true, 1);
    return std::move(Plan);
  }

 private:
  // `destinationThere`: the destination has this folder (else everything in it is new).
  void Level(const std::string& folder, bool destinationThere, int depth) {
    const auto listed = Source.List(SourceRoot + folder);
    if (!listed) {
      Plan.Unlisted.push_back(folder);
      return;
    }
    std::map<std::string, TWalkEntry> there;
    if (destinationThere) {
      for (auto& entry :
           Destination.List(DestinationRoot + folder).value_or(std::vector<TWalkEntry>{})) {
        if (TakesPart(Plan, folder, entry)) there.emplace(entry.Name, entry);
      }
    }
    std::vector<std::pair<std::string, bool>> folders;  // walked after the files of the level
    for (const TWalkEntry& entry : *listed) {
      if (!TakesPart(Plan, folder, entry)) continue;
      const auto found = there.find(entry.Name);
      std::optional<TWalkEntry> other;
      if (found != there.end()) {
        other = std::move(found->second);
        there.erase(found);  // what is left is not in the source
      }
      // Never read, nor written over (writing to a pipe waits for a reader).
      if (entry.Special || (other && other->Special)) {
        Add(TSyncKind::Conflict, folder, entry,
            entry.Special ? kSpecialEntryText
                          : "a pipe, socket or device of that name at the destination");
        continue;
      }
      if (entry.IsFolder && entry.IsLink) {
        // It may lead anywhere, back into the tree too: left alone, and said so.
        Add(TSyncKind::Conflict, folder, entry, "a link to a folder is not mirrored");
        continue;
      }
      if (entry.IsFolder) {
        if (other && !other->IsFolder) {
          Add(TSyncKind::Conflict, folder, entry, "a file of that name at the destination");
        } else if (depth < kMaxWalkDepth) {
          if (!other) Add(TSyncKind::Copy, folder, entry, "new");
          folders.emplace_back(entry.Name, other.has_value());
        } else {
          Add(TSyncKind::Conflict, folder, entry, TooDeep());
        }
        continue;
      }
      if (other && other->IsFolder) {
        Add(TSyncKind::Conflict, folder, entry, "a folder of that name at the destination");
      } else if (!other) {
        Add(TSyncKind::Copy, folder, entry, "new");
      } else if (other->Size != entry.Size) {
        Add(TSyncKind::Copy, folder, entry, "size differs");
      } else if (const auto same =
                     SameContent ? SameContent(folder, entry, *other) : std::optional<bool>{}) {
        if (*same) {
          ++Plan.Same;
        } else {
          Add(TSyncKind::Copy, folder, entry, "content differs");
        }
      } else if (SourceNewer(entry.Modified, other->Modified)) {
        Add(TSyncKind::Copy, folder, entry, "newer");
      } else {
        ++Plan.Same;
      }
    }
    if (DeleteExtra) {
      for (const auto& [name, entry] : there) {
        Add(TSyncKind::Delete, folder, entry, "not in the source");
      }
    }
    for (const auto& [name, exists] : folders) Level(folder + name + "/", exists, depth + 1);
  }

  void Add(TSyncKind kind, const std::string& folder, const TWalkEntry& entry,
           const std::string& why) {
    Plan.Steps.push_back(
        {kind, folder, entry.Name, entry.IsFolder, entry.Size, entry.Modified, why});
  }

  IFolderLister& Source;
  std::string SourceRoot;
  IFolderLister& Destination;
  std::string DestinationRoot;
  bool DeleteExtra;
  TSameContent SameContent;
  TSyncPlan Plan;
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
  std::map<std::string, TWalkEntry> Entries(IFolderLister& lister, const std::string& root,
                                            const std::string& folder, bool there) {
    const std::string path = root + folder;
    std::map<std::string, TWalkEntry> entries;
    if (!there) return entries;
    const auto listed = lister.List(path);
    if (!listed) {
      Plan.Unlisted.push_back(path);
      return entries;
    }
    for (const TWalkEntry& entry : *listed) {
      if (TakesPart(Plan, folder, entry)) entries.emplace(entry.Name, entry);
    }
    return entries;
  }

  void Level(const std::string& folder, bool aThere, bool bThere, int depth) {
    auto a = Entries(A, ARoot, folder, aThere);
    auto b = Entries(B, BRoot, folder, bThere);
    std::vector<std::tuple<std::string, bool, bool>> folders;  // name, on A, on B
    const auto one = [&](const TWalkEntry& entry, bool back) {
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
    for (const auto& [name, entry] : a) {
      const auto other = b.find(name);
      if (other == b.end()) {
        one(entry, false);
        continue;
      }
      const TWalkEntry& there = other->second;
      if (entry.Special || there.Special) {
        Add(TSyncKind::Conflict, folder, entry, kSpecialEntryText, false);
      } else if (entry.IsFolder != there.IsFolder) {
        Add(TSyncKind::Conflict, folder, entry, "a file on one side, a folder on the other", false);
      } else if (entry.IsFolder) {
        if (entry.IsLink || there.IsLink) {
          Add(TSyncKind::Conflict, folder, entry, "a link to a folder is not synchronized", false);
        } else if (depth < kMaxWalkDepth) {
          folders.emplace_back(name, true, true);
        } else {
          Add(TSyncKind::Conflict, folder, entry, TooDeep(), false);
        }
      } else if (SourceNewer(entry.Modified, there.Modified)) {
        Add(TSyncKind::Copy, folder, entry, "newer", false);
      } else if (SourceNewer(there.Modified, entry.Modified)) {
        Add(TSyncKind::Copy, folder, there, "newer", true);
      } else if (entry.Size != there.Size) {
        Add(TSyncKind::Conflict, folder, entry, "sizes differ, times do not tell which is newer",
            false);
      } else {
        ++Plan.Same;
      }
    }
    for (const auto& [name, entry] : b) {
      if (a.count(name) == 0) one(entry, true);
    }
    for (const auto& [name, onA, onB] : folders) Level(folder + name + "/", onA, onB, depth + 1);
  }

  void Add(TSyncKind kind, const std::string& folder, const TWalkEntry& entry,
           const std::string& why, bool back) {
    Plan.Steps.push_back(
        {kind, folder, entry.Name, entry.IsFolder, entry.Size, entry.Modified, why, back});
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
                     bool deleteExtra, TSameContent sameContent) {
  return TPlanner(source, sourceRoot, destination, destinationRoot, deleteExtra,
                  std::move(sameContent))
      .Run();
}

bool SourceNewer(TDateTime source, TDateTime destination) {
  if (source == 0 || destination == 0) return false;  // an unknown time says nothing
  const int64_t sourceSeconds = SecondsOfDay(source);
  const int64_t destinationSeconds = SecondsOfDay(destination);
  if (sourceSeconds == 0 || destinationSeconds == 0) {
    // Only the day is known on one side.
    if (std::floor(source + kSecond / 2) == std::floor(destination + kSecond / 2)) return false;
  }
  if (sourceSeconds % 60 == 0 || destinationSeconds % 60 == 0) {
    const auto minute = [](TDateTime value) { return std::floor(value * 1440.0 + 1e-6); };
    return minute(source) > minute(destination);
  }
  return source > destination + kSecond / 2;
}

}  // namespace pelmar
