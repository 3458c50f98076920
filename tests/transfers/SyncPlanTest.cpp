// The mirror's plan: what is copied, deleted or left alone as a conflict, and how times from
// listings of different precision compare.

#include "transfers/SyncPlan.h"

#include <gtest/gtest.h>

#include "transfers/QueueSupport.h"
#include "transfers/SyncRun.h"

namespace pelmar::test {
namespace {

TDateTime At(int day, int hour, int minute, int second) {
  return *TryEncodeDate(2026, 6, day) + *TryEncodeTime(hour, minute, second, 0);
}

std::vector<std::string> Describe(const TSyncPlan& plan) {
  std::vector<std::string> lines;
  for (const TSyncStep& step : plan.Steps) {
    const char* kind = step.Kind == TSyncKind::Copy     ? "copy "
                       : step.Kind == TSyncKind::Delete ? "delete "
                                                        : "conflict ";
    lines.push_back(kind + std::string(step.Back ? "<- " : "") + step.Folder + step.Name +
                    (step.IsFolder ? "/" : "") + " (" + step.Why + ")" +
                    (step.Entries > 1 ? " " + std::to_string(step.Entries) + " entries" : ""));
  }
  return lines;
}

TEST(SyncPlan, WhatIsCopiedDeletedAndLeftAlone) {
  const TDateTime noon = At(10, 12, 0, 30);
  TMapLister source;
  source.Folders[""] = {
      File("same", 5, noon),      File("bigger", 9, noon),  File("newer", 5, noon + 0.5),
      File("older", 5, noon - 1), File("missing", 5, noon), Folder("sub"),
      Folder("newdir"),           File("clash", 1, noon),   Folder("clashdir"),
      Link("ln", "sub", true),    Special("fifo"),          File("onpipe", 1, noon)};
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
  destination.Folders["olddir/"] = {File("x", 1, noon), Folder("deep")};
  destination.Folders["olddir/deep/"] = {File("y", 1, noon)};

  EXPECT_EQ(
      Describe(PlanMirror(source, "", destination, "", {})),
      (std::vector<std::string>{
          "copy bigger (size differs)", "conflict clash (a folder of that name at the destination)",
          "conflict clashdir/ (a file of that name at the destination)",
          "conflict fifo (not a file or folder (a pipe, socket or device))",
          "conflict ln/ (a link to a folder is not mirrored)", "copy missing (new)",
          "copy newdir/ (new)", "copy newer (newer)",
          "conflict onpipe (a pipe, socket or device of that name at the destination)",
          "copy newdir/deep (new)"}))
      << "in name order, whatever the listing's";
  const TSyncPlan withDelete = PlanMirror(source, "", destination, "", {.DeleteExtra = true});
  const auto lines = Describe(withDelete);
  for (const char* expected :
       {"delete extra (not in the source)", "delete olddir/ (not in the source) 4 entries",
        "delete sub/gone (not in the source)"}) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
  }
  EXPECT_EQ(withDelete.Same, 3) << "same, older, sub/inner";

  // A mirror of a mirror has nothing to do.
  TMapLister copy = source;
  EXPECT_TRUE(PlanMirror(source, "", copy, "", {.DeleteExtra = true}).Steps.size() == 2u)
      << "only the link and the pipe, which are never mirrored";
  source.Folders.erase("sub/");
  EXPECT_EQ(PlanMirror(source, "", copy, "", {}).Unlisted, std::vector<std::string>{"sub/"});

  // Files sent in text mode change size on the way: their times alone decide.
  const TMirrorOptions text{.TextMode = [](const std::string& name) { return name != "newer"; }};
  const auto byTime = Describe(PlanMirror(source, "", destination, "", text));
  EXPECT_EQ(std::count(byTime.begin(), byTime.end(), "copy newer (newer)"), 1);
  EXPECT_EQ(std::count(byTime.begin(), byTime.end(), "copy bigger (size differs)"), 0)
      << "bigger is as new as its copy";
}

// A hostile server's names that would leave their folder are never copied, entered or deleted,
// whichever side they are on and whichever way the plan goes.
TEST(SyncPlan, NamesThatLeaveTheirFolderAreLeftAlone) {
  const TDateTime noon = At(10, 12, 0, 30);
  TMapLister hostile;
  hostile.Folders[""] = {Folder("../.."), File("a/b", 1, noon), File("ok", 1, noon)};
  TMapLister plain;
  plain.Folders[""] = {};
  for (const TSyncPlan& plan : {PlanMirror(hostile, "", plain, "", {.DeleteExtra = true}),
                                PlanBothWays(hostile, "", plain, ""),
                                PlanMirror(plain, "", hostile, "", {.DeleteExtra = true}),
                                PlanBothWays(plain, "", hostile, "")}) {
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

// On a server that folds case (Windows, IIS, NAS), "readme.txt" and "README.TXT" are one file:
// writing one and deleting the other would leave nothing. Where the server is known to fold
// case they are compared as one entry; where it is not known, an entry whose name differs only
// in case from a source name that is copied is never deleted.
TEST(SyncPlan, NamesThatDifferOnlyInCase) {
  const TDateTime noon = At(10, 12, 0, 30);
  const struct {
    const char* Name;
    bool Folds;
    std::vector<TWalkEntry> Source, Destination;
    std::vector<std::string> Steps;
  } cases[] = {
      {"known to fold: alike",
       true,
       {File("readme.txt", 5, noon), Folder("Docs")},
       {File("README.TXT", 5, noon), Folder("docs")},
       {"copy Docs/new (new)", "delete Docs/old (not in the source)"}},
      {"known to fold: changed",
       true,
       {File("readme.txt", 6, noon)},
       {File("README.TXT", 5, noon)},
       {"copy readme.txt (size differs)"}},
      {"known to fold: two source names for one entry",
       true,
       {File("a.txt", 1, noon), File("A.TXT", 1, noon), File("b", 1, noon)},
       {File("a.txt", 1, noon)},
       {"conflict A.TXT (another name differs from it only in case, and the server takes both "
        "for one entry)",
        "conflict a.txt (another name differs from it only in case, and the server takes both "
        "for one entry)",
        "copy b (new)"}},
      {"known to fold, the entry listed under two cases: the other is never deleted",
       true,
       {File("readme.txt", 5, noon)},
       {File("README.TXT", 5, noon), File("Readme.txt", 5, noon)},
       {"conflict Readme.txt (its name differs only in case from one in the source; not "
        "deleted)"}},
      {"not known to fold",
       false,
       {File("readme.txt", 5, noon), Folder("Docs")},
       {File("README.TXT", 5, noon), Folder("docs")},
       {"copy Docs/ (new)", "copy readme.txt (new)",
        "conflict README.TXT (its name differs only in case from one in the source; not deleted)",
        "conflict docs/ (its name differs only in case from one in the source; not deleted)",
        "copy Docs/new (new)"}},
      {"case-sensitive, both names there",
       false,
       {File("readme.txt", 5, noon)},
       {File("readme.txt", 5, noon), File("README.TXT", 5, noon)},
       {"delete README.TXT (not in the source)"}},
  };
  for (const auto& c : cases) {
    TMapLister source;
    source.Folders[""] = c.Source;
    source.Folders["Docs/"] = {File("new", 1, noon)};
    TMapLister destination;
    destination.Folds = c.Folds;
    destination.Folders[""] = c.Destination;
    destination.Folders["docs/"] = {File("old", 1, noon)};
    const TSyncPlan plan = PlanMirror(source, "", destination, "", {.DeleteExtra = true});
    EXPECT_EQ(Describe(plan), c.Steps) << c.Name;
    EXPECT_EQ(plan.FoldsCase, c.Folds) << c.Name;
  }
  EXPECT_EQ(FoldedName("Straße ÄÖÜ ĀĹŸ ΣΩ ДЖЁ \xff"), "straße äöü āĺÿ σω джё \xff");
}

// How a server that folds case is recognised: a name with its case swapped answers as the
// listed one does (MDTM gives the same time, or the folder can be entered).
TEST(SyncPlan, CaseFoldingProbe) {
  const std::vector<TWalkEntry> listing = {File("1234", 1, 0), File("Report.doc", 1, 0),
                                           File("rEPORT.DOC", 1, 0), File("Notes.txt", 1, 0),
                                           Folder("Docs")};
  const struct {
    const char* Name;
    std::map<std::string, int64_t> Times;  // names MDTM answers
    std::vector<std::string> Folders;      // names CWD enters
    std::optional<bool> Folds;
    std::vector<std::string> Asked;
  } cases[] = {
      {"MDTM resolves the swapped name",
       {{"Notes.txt", 7}, {"nOTES.TXT", 7}},
       {},
       true,
       {"time Notes.txt", "time nOTES.TXT"}},
      {"MDTM refuses it",
       {{"Notes.txt", 7}},
       {"Docs", "dOCS"},
       false,
       {"time Notes.txt", "time nOTES.TXT"}},
      {"no MDTM: the folder tells", {}, {"Docs", "dOCS"}, true, {"time Notes.txt", "enter dOCS"}},
      {"no MDTM, case-sensitive",
       {},
       {"Docs"},
       false,
       {"time Notes.txt", "enter dOCS", "enter Docs"}},
      {"nothing answers", {}, {}, std::nullopt, {"time Notes.txt", "enter dOCS", "enter Docs"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> asked;
    TCaseProbe probe;
    probe.FileTime = [&](const std::string& name) -> std::optional<int64_t> {
      asked.push_back("time " + name);
      const auto found = c.Times.find(name);
      return found == c.Times.end() ? std::nullopt : std::optional<int64_t>(found->second);
    };
    probe.EntersFolder = [&](const std::string& name) {
      asked.push_back("enter " + name);
      return std::find(c.Folders.begin(), c.Folders.end(), name) != c.Folders.end();
    };
    EXPECT_EQ(ProbeCaseFolding(listing, probe), c.Folds) << c.Name;
    EXPECT_EQ(asked, c.Asked) << c.Name;
  }
  EXPECT_EQ(ProbeCaseFolding({File("1234", 1, 0)}, {}), std::nullopt) << "no letters to swap";
}

// After the copies: no deletion in or below a folder where a listing or copy failed, none at
// all past the limit, none of an entry that changed since the comparison; copies looked for.
TEST(SyncRun, WhatMayBeDeletedAndWhatArrived) {
  const TDateTime noon = At(10, 12, 0, 30);
  TSyncPlan plan;
  plan.Unlisted = {"gone/"};
  const auto step = [](TSyncKind kind, const char* folder, const char* name, int64_t entries) {
    TSyncStep made{kind, folder, name, false, 5, At(10, 12, 0, 30), ""};
    made.Entries = entries;
    return made;
  };
  plan.Steps = {step(TSyncKind::Copy, "a/", "new", 0),  step(TSyncKind::Delete, "", "x", 1),
                step(TSyncKind::Delete, "a/", "y", 3),  step(TSyncKind::Delete, "a/b/", "z", 1),
                step(TSyncKind::Delete, "ab/", "w", 1), step(TSyncKind::Delete, "gone/", "v", 1)};
  const auto names = [](const std::vector<const TSyncStep*>& steps) {
    std::string text;
    for (const TSyncStep* s : steps) text += s->Folder + s->Name + " ";
    return text;
  };
  const struct {
    bool CopyFailed;
    int64_t Limit;
    std::string Go, Held;
    bool Over;
  } cases[] = {
      {false, -1, "x a/y a/b/z ab/w ", "gone/v ", false},
      {true, -1, "x ab/w ", "a/y a/b/z gone/v ", false},
      {false, 7, "x a/y a/b/z ab/w ", "gone/v ", false},
      {false, 6, "", "", true},
  };
  for (const auto& c : cases) {
    std::vector<const TSyncStep*> failed;
    if (c.CopyFailed) failed.push_back(&plan.Steps[0]);
    const TDeletionChoice choice = ChooseDeletions(plan, UnsureFolders(plan, failed), c.Limit);
    EXPECT_EQ(names(choice.Go), c.Go) << c.Limit;
    EXPECT_EQ(names(choice.Held), c.Held) << c.Limit;
    EXPECT_EQ(choice.OverLimit, c.Over) << c.Limit;
    EXPECT_EQ(choice.Entries, 7);
  }

  TSyncStep replaces = step(TSyncKind::Copy, "", "f", 0);
  replaces.Replaces = true;
  replaces.ThereName = "F";
  replaces.ThereSize = 4;
  replaces.ThereModified = noon;
  const TSyncStep deletion = step(TSyncKind::Delete, "", "f", 1);
  const TSyncStep fresh = step(TSyncKind::Copy, "", "f", 0);
  const struct {
    const TSyncStep* Step;
    std::vector<TWalkEntry> Now;
    bool Fold;
    std::string Changed;
  } checks[] = {
      {&deletion, {File("f", 5, noon)}, false, ""},
      {&deletion, {File("f", 6, noon)}, false, "6 bytes instead of 5"},
      {&deletion, {File("f", 5, noon + 1.0 / 1440)}, false, "its time changed"},
      {&deletion, {Folder("f")}, false, "it is a folder now"},
      {&deletion, {File("F", 5, noon)}, false, "it is gone"},
      {&deletion, {File("F", 5, noon)}, true, ""},
      {&replaces, {File("F", 4, noon)}, false, ""},
      {&replaces, {File("F", 9, noon)}, false, "9 bytes instead of 4"},
      {&replaces, {}, false, ""},
      {&fresh, {}, false, ""},
      {&fresh, {File("f", 1, noon)}, false, "it was made since"},
  };
  for (const auto& c : checks) {
    EXPECT_EQ(ChangedSincePlan(*c.Step, c.Now, c.Fold), c.Changed) << c.Changed;
  }
  EXPECT_TRUE(Arrived(fresh, {File("f", 5, noon)}));
  EXPECT_TRUE(Arrived(fresh, {File("F", 5, noon)})) << "a server that kept its spelling";
  EXPECT_FALSE(Arrived(fresh, {File("F", 3, noon)}));
  EXPECT_FALSE(Arrived(fresh, {File("g", 5, noon)}));
}

// Both ways the newer copy wins; on a server that folds case, one entry under two spellings is
// alike or left alone, never copied beside itself.
TEST(SyncPlan, BothWaysTheNewerWinsAndConflictsAreListed) {
  const TDateTime noon = At(10, 12, 0, 30);
  TMapLister local;
  local.Folders[""] = {File("here-only", 1, noon),   File("newer-here", 2, noon + 0.1),
                       File("newer-there", 3, noon), File("both-changed", 4, noon),
                       File("same", 5, noon),        Folder("shared"),
                       File("same.txt", 5, noon),    File("changed.txt", 5, noon + 0.1)};
  local.Folders["shared/"] = {};
  TMapLister server;
  server.Folds = true;
  server.Folders[""] = {File("newer-here", 2, noon),
                        File("newer-there", 9, noon + 0.1),
                        File("both-changed", 40, noon),
                        File("same", 5, noon),
                        Folder("there-dir"),
                        Folder("shared"),
                        File("SAME.TXT", 5, noon),
                        File("Changed.txt", 5, noon)};
  server.Folders["there-dir/"] = {File("inner", 1, noon)};
  server.Folders["shared/"] = {File("deep", 1, noon)};
  const TSyncPlan plan = PlanBothWays(local, "", server, "");
  EXPECT_TRUE(plan.Both);
  EXPECT_EQ(Describe(plan),
            (std::vector<std::string>{
                "conflict both-changed (sizes differ, times do not tell which is newer)",
                "conflict changed.txt (the other side's name differs only in case (Changed.txt))",
                "copy here-only (new)", "copy newer-here (newer)", "copy <- newer-there (newer)",
                "copy <- there-dir/ (new)", "copy <- shared/deep (new)",
                "copy <- there-dir/inner (new)"}));
  EXPECT_EQ(plan.Same, 2);
}

TEST(SyncPlan, TimesCompareToWhatBothSidesKnow) {
  const struct {
    TDateTime Source, Destination;
    bool Newer;
  } cases[] = {
      {At(10, 12, 0, 45), At(10, 12, 0, 30), true},  // exact on both sides
      {At(10, 12, 0, 45), At(10, 12, 0, 45), false},
      {At(10, 12, 0, 45) + 0.7 / 86400, At(10, 12, 0, 45), false},  // a local part of a second
      {At(10, 12, 0, 45), At(10, 12, 0, 0), false},                 // a listed minute
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
}  // namespace pelmar::test
