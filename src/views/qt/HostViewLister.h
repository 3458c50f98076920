#pragma once
// The remote pane's folders as walks and comparisons read them (an internal header of the
// pane's files).

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "transfers/TreeWalk.h"
#include "ui/QtText.h"
#include "views/qt/HostView.h"

namespace pelmar {

// The remote side of a walk. As the source it enters each folder in the pane (which lists it
// once and caches it); as the destination it only looks at what the cache already holds.
class THostView::TRemoteLister : public IFolderLister {
 public:
  TRemoteLister(THostView& view, bool enter) : View(view), Alive(view.Alive), Enter(enter) {}
  std::optional<std::vector<TWalkEntry>> List(const std::string& folder) override {
    // The pane may be closed while a walk waits for a folder: then the walk ends here.
    if (!*Alive) return std::nullopt;
    if (!View.Folders.Names(folder)) {
      if (!Enter) return std::vector<TWalkEntry>{};
      if (!View.ChangeFolderAndWait(Q(folder)) || !*Alive) return std::nullopt;
    }
    const auto* rows = View.Folders.Names(folder);
    if (!rows) return std::nullopt;
    std::vector<TWalkEntry> entries;
    for (const auto& row : *rows) {
      const TItemRecord* record = View.Folders.Record(row);
      if (!record) continue;
      // The same rule as pelmar-cli: a link to a folder is walked as a folder.
      entries.push_back(RemoteWalkEntry(row.Name, record->Attributes, record->Size,
                                        record->Modified, record->Unique));
    }
    Identities.Note(folder, entries);
    if (CheckCase && !View.ServerFoldsCase) View.CheckCaseFolding(folder, entries);
    return entries;
  }
  std::string FolderIdentity(const std::string& path) const override { return Identities.Of(path); }
  std::string LastError() const override { return "the folder could not be listed"; }
  bool FoldsCase() const override { return View.ServerFoldsCase.value_or(false); }

  // Listings are looked at until one tells whether the server folds case.
  bool CheckCase = false;

 private:
  THostView& View;
  std::shared_ptr<bool> Alive;
  bool Enter;
  TRemoteIdentities Identities;
};

}  // namespace pelmar
