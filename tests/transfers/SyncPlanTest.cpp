// The mirror's plan: what is copied, deleted or left alone as a conflict, and how times from
// listings of different precision compare.

#include "transfers/SyncPlan.h"

#include <gtest/gtest.h>

#include <map>

namespace pelmar {
namespace {

// Folders as maps of entries: "sub/" -> its entries. A folder not in the map cannot be listed.
class TMapLister : public IFolderLister {
 public:
  std::optional<std::vector<TWalkEntry>> List(const std::string& folder) override {
    const auto found = Folders.find(folder);
    if (found == Folders.end()) return std::nullopt;
    return found->second;
  }
  std::map<std::string, std::vector<TWalkEntry>> Folders;
};

TDateTime At(int day, int hour, int minute, int second) {
  return *TryEncodeDate(2026, 6, day) + *TryEncodeTime(hour, minute, second, 0);
}

TWalkEntry File(const char* name, int64_t size, TDateTime modified) {
  return {name, false, size, modified, false, ""};
}
TWalkEntry Folder(const char* name) {
  return {name, true, 0, 0, false, ""};
}
// A local pipe, socket or device.
TWalkEntry Special(const char* name) {
  TWalkEntry entry = File(name, 0, 0);
  entry.Special = true;
  return entry;
}

std::vector<std::string> Describe(const TSyncPlan& plan) {
  std::vector<std::string> lines;
  for (const TSyncStep& step : plan.Steps) {
    const char* kind = step.Kind == TSyncKind::Copy     ? "copy "
                       : step.Kind == TSyncKind::Delete ? "delete "
                                                        : "conflict ";
    lines.push_back(kind + std::string(step.Back ? "<- " : "") + step.Folder + step.Name +
                    (step.IsFolder ? "/" : "") + " (" + step.Why + ")");
  }
  return lines;
}

TEST(SyncPlan, WhatIsCopiedDeletedAndLeftAlone) {
  const TDateTime noon = At(10, 12, 0, 30);
  TMapLister source;
  source.Folders[""] = {File("same", 5, noon),
                        File("bigger", 9, noon),
                        File("newer", 5, noon + 0.5),
                        File("older", 5, noon - 1),
                        File("missing", 5, noon),
                        Folder("sub"),
                        Folder("newdir"),
                        File("clash", 1, noon),
                        Folder("clashdir"),
                        {"ln", true, 0, 0, true, "sub"},
                        Special("fifo"),
                        File("onpipe", 1, noon)};
  source.Folders["sub/"] = {File("inner", 3, noon)};
  source.Folders["newdir/"] = {File("deep", 4, noon)};
  source.Folders["clashdir/"] = {};
  TMapLister destination;
  destination.Folders[""] = {
      File("same", 5, noon),     File("bigger", 5, noon), File("newer", 5, noon),
      File("older", 5, noon),    Folder("sub"),           Folder("clash"),
      File("clashdir", 1, noon), File("extra", 1, noon),  Folder("olddir"),
      Special("onpipe")};
  destination.Folders["sub/"] = {File("inner", 3, noon), File("gone", 1, noon)};

  EXPECT_EQ(Describe(PlanMirror(source, "", destination, "", false)),
            (std::vector<std::string>{
                "copy bigger (size differs)", "copy newer (newer)", "copy missing (new)",
                "copy newdir/ (new)", "conflict clash (a folder of that name at the destination)",
                "conflict clashdir/ (a file of that name at the destination)",
                "conflict ln/ (a link to a folder is not mirrored)",
                "conflict fifo (not a file or folder (a pipe, socket or device))",
                "conflict onpipe (a pipe, socket or device of that name at the destination)",
                "copy newdir/deep (new)"}));
  const TSyncPlan withDelete = PlanMirror(source, "", destination, "", true);
  const auto lines = Describe(withDelete);
  for (const char* expected :
       {"delete extra (not in the source)", "delete olddir/ (not in the source)",
        "delete sub/gone (not in the source)"}) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
  }
  EXPECT_EQ(withDelete.Same, 3) << "same, older, sub/inner";

  // A mirror of a mirror has nothing to do.
  TMapLister copy = source;
  EXPECT_TRUE(PlanMirror(source, "", copy, "", true).Steps.size() == 2u)
      << "only the link and the pipe, which are never mirrored";
  source.Folders.erase("sub/");
  EXPECT_EQ(PlanMirror(source, "", copy, "", false).Unlisted, std::vector<std::string>{"sub/"});
}

// A hostile server's names that would leave their folder are never copied, entered or deleted,
// whichever side they are on and whichever way the plan goes.
TEST(SyncPlan, NamesThatLeaveTheirFolderAreLeftAlone) {
  const TDateTime noon = At(10, 12, 0, 30);
  TMapLister hostile;
  hostile.Folders[""] = {Folder("../.."), File("a/b", 1, noon), File("ok", 1, noon)};
  TMapLister plain;
  plain.Folders[""] = {};
  for (const TSyncPlan& plan :
       {PlanMirror(hostile, "", plain, "", true), PlanBothWays(hostile, "", plain, ""),
        PlanMirror(plain, "", hostile, "", true), PlanBothWays(plain, "", hostile, "")}) {
    int conflicts = 0;
    for (const TSyncStep& step : plan.Steps) {
      if (step.Kind == TSyncKind::Conflict) {
        ++conflicts;
      } else {
        EXPECT_EQ(step.Name, "ok") << "only the plain name takes part";
      }
    }
    EXPECT_EQ(conflicts, 2);
  }
}

TEST(SyncPlan, BothWaysTheNewerWinsAndConflictsAreListed) {
  const TDateTime noon = At(10, 12, 0, 30);
  TMapLister local;
  local.Folders[""] = {File("here-only", 1, noon),   File("newer-here", 2, noon + 0.1),
                       File("newer-there", 3, noon), File("both-changed", 4, noon),
                       File("same", 5, noon),        Folder("shared")};
  local.Folders["shared/"] = {};
  TMapLister server;
  server.Folders[""] = {File("newer-here", 2, noon),
                        File("newer-there", 9, noon + 0.1),
                        File("both-changed", 40, noon),
                        File("same", 5, noon),
                        Folder("there-dir"),
                        Folder("shared")};
  server.Folders["there-dir/"] = {File("inner", 1, noon)};
  server.Folders["shared/"] = {File("deep", 1, noon)};
  const TSyncPlan plan = PlanBothWays(local, "", server, "");
  EXPECT_TRUE(plan.Both);
  EXPECT_EQ(Describe(plan),
            (std::vector<std::string>{
                "conflict both-changed (sizes differ, times do not tell which is newer)",
                "copy here-only (new)", "copy newer-here (newer)", "copy <- newer-there (newer)",
                "copy <- there-dir/ (new)", "copy <- shared/deep (new)",
                "copy <- there-dir/inner (new)"}));
  EXPECT_EQ(plan.Same, 1);
}

TEST(SyncPlan, TimesCompareToWhatBothSidesKnow) {
  const struct {
    TDateTime Source, Destination;
    bool Newer;
  } cases[] = {
      {At(10, 12, 0, 45), At(10, 12, 0, 30), true},  // exact on both sides
      {At(10, 12, 0, 45), At(10, 12, 0, 45), false},
      {At(10, 12, 0, 45), At(10, 12, 0, 0), false},  // a listed minute
      {At(10, 12, 1, 5), At(10, 12, 0, 0), true},
      {At(10, 12, 0, 45), At(10, 0, 0, 0), false},  // a listed day
      {At(11, 0, 0, 10), At(10, 0, 0, 0), true},
      {At(10, 12, 0, 0), 0, false},  // unknown
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SourceNewer(c.Source, c.Destination), c.Newer)
        << FormatDateTimeMinutes(c.Source) << " vs " << FormatDateTimeMinutes(c.Destination);
  }
}

}  // namespace
}  // namespace pelmar
