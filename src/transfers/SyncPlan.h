#pragma once
// What a mirror must do so that a destination folder holds what a source folder holds: the
// files to copy (missing, of another size, or newer at the source), the entries to delete
// (no longer at the source, when asked), and the conflicts it leaves alone (a file on one
// side where the other has a folder). Both sides are read through folder listers, local or
// remote; nothing is changed here.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/DateTime.h"
#include "transfers/TreeWalk.h"

namespace pelmar {

enum class TSyncKind : uint8_t { Copy, Delete, Conflict };

struct TSyncStep {
  TSyncKind Kind = TSyncKind::Copy;
  std::string Folder;  // below the roots: "" or "sub/dir/"
  std::string Name;
  bool IsFolder = false;  // a folder to make (its contents follow as steps) or to delete whole
  int64_t Size = 0;       // of the source's file; a deletion's: of the destination's entry
  TDateTime Modified = 0;
  std::string Why;  // "new", "size differs", "newer", "not in the source", a conflict's reason
  // Two-way plans: the copy goes from the destination side to the source side.
  bool Back = false;
  bool IsLink = false;  // a deletion of a link: the link goes, never what it leads to
  // A copy over a file the destination has: that file's name, size and time as compared, so
  // that one changed since is not overwritten.
  bool Replaces = false;
  std::string ThereName = {};
  int64_t ThereSize = 0;
  TDateTime ThereModified = 0;
  // A deletion: the entries it removes, a folder's contents counted.
  int64_t Entries = 0;
};

struct TSyncPlan {
  std::vector<TSyncStep> Steps;
  std::vector<std::string> Unlisted;  // source folders that could not be listed
  int Same = 0;                       // files already alike
  bool Both = false;                  // a two-way plan
  // Names that differ only in case were taken for one entry (a side folds case).
  bool FoldsCase = false;
};

// Compares `sourceRoot` and `destinationRoot` (each ending with "/", or empty for the log-on
// folder) level by level, up to the walk's depth limit.
// `sameContent`, when given, decides about two files of the same size by their content
// (checksums) instead of their times; it answers nothing when it cannot tell.
using TSameContent = std::function<std::optional<bool>(
    const std::string& folder, const TWalkEntry& source, const TWalkEntry& destination)>;

struct TMirrorOptions {
  bool DeleteExtra = false;  // what the source no longer has is to be deleted
  TSameContent SameContent = {};
  // Names sent in text mode: their size changes where line ends differ (CR LF on the
  // server), so their times alone decide.
  std::function<bool(const std::string& name)> TextMode = {};
  // Each step as it is planned, in plan order; one it answers false for is not kept in the
  // plan. A dry run prints a tree's copies this way rather than holding a step for each.
  std::function<bool(const TSyncStep& step)> Planned = {};
};

// Where a side folds case, a name matches the other side's entry of the same name or, failing
// that, one whose name differs only in case; two source names that differ only in case are
// left alone (they would land on one entry). Whatever the sides, an entry whose name differs
// only in case from a source name that is copied (or has no entry of its exact name there) is
// never deleted: on a server that folds case it is the same entry.
TSyncPlan PlanMirror(IFolderLister& source, const std::string& sourceRoot,
                     IFolderLister& destination, const std::string& destinationRoot,
                     const TMirrorOptions& options);

// Both ways: whatever one side lacks is copied to it, and of two files of the same name the
// newer one goes over the older. Two that differ in size but not in time (both changed, or
// times that say nothing) are conflicts, listed and left alone. Nothing is deleted.
TSyncPlan PlanBothWays(IFolderLister& source, const std::string& sourceRoot,
                       IFolderLister& destination, const std::string& destinationRoot);

// Whether a file's time at the source is later than at the destination: to the second where
// both are exact, to the minute where one side has only minutes (a listed time), and to the
// day where one has only the day (an old listed date, midnight).
bool SourceNewer(TDateTime source, TDateTime destination);

}  // namespace pelmar
