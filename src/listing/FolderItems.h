#pragma once
// What a remote pane keeps of one listed folder, and the rules for taking an entry into it:
// the file mask (folders always pass), no "." and "..", links without an extension in their
// target shown as folders, the running byte total, and the folder-tree hook.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "listing/ItemCache.h"
#include "listing/RemoteItem.h"

namespace pelmar {

class TFolderItems {
 public:
  explicit TFolderItems(TItemCache& cache) : Cache(cache) {}

  // Lower-case masks; empty means everything.
  std::vector<std::string> Masks;
  // Called for each entry that was listed as a folder (not for links shown as folders).
  std::function<void(const std::string& name)> OnFolderListed;

  // Takes a parsed entry in; returns its cache index, or -1 when the rules left it out.
  int Add(const TRemoteItem& item);

  // Name -> cache index, in listing order.
  const std::vector<std::pair<std::string, int>>& Names() const { return NameList; }
  // Hands the names over (the records stay in the cache) and empties the list.
  std::vector<std::pair<std::string, int>> TakeNames() { return std::move(NameList); }
  int64_t TotalBytes() const { return Total; }
  void Clear();

 private:
  TItemCache& Cache;
  std::vector<std::pair<std::string, int>> NameList;
  int64_t Total = 0;
};

// True when a link's target has no extension, so the link is taken for a folder.
bool LinkLooksLikeFolder(const std::string& name);

}  // namespace pelmar
