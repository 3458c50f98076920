#pragma once
// The remote pane's memory of the folders it has listed this session: for each folder path
// (ending in "/") the names of its last listing with their records in the item cache, or
// nothing yet while the listing is awaited.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "listing/ItemCache.h"

namespace pelmar {

struct TRemoteRow {
  std::string Name;  // as listed; "name -> target" for a link
  int Record = -1;   // index in the item cache
};

class TFolderCache {
 public:
  explicit TFolderCache(TItemCache& cache) : Cache(cache) {}
  ~TFolderCache() { Clear(); }
  TFolderCache(const TFolderCache&) = delete;
  TFolderCache& operator=(const TFolderCache&) = delete;

  bool Contains(const std::string& path) const { return Folders.count(path) != 0; }
  // The names of a listed folder; nullptr when it is not cached or still awaited.
  const std::vector<TRemoteRow>* Names(const std::string& path) const;
  // Marks the folder as awaited (keeps a listing it already has).
  void Expect(const std::string& path);
  // Takes a listing for the folder; the records of an earlier one are released.
  void Store(const std::string& path, std::vector<TRemoteRow> rows);
  // Replaces or adds one entry of a cached folder; false when the folder has no listing.
  bool Update(const std::string& path, const std::string& name, const TItemRecord& record);
  // Renames an entry of a cached folder (exact name).
  void Rename(const std::string& path, const std::string& oldName, const std::string& newName);
  // Forgets the folder and releases its records.
  void Drop(const std::string& path);
  void Clear();
  std::vector<std::string> Paths() const;
  const TItemRecord* Record(const TRemoteRow& row) const { return Cache.Get(row.Record); }

 private:
  void Release(std::optional<std::vector<TRemoteRow>>& rows);

  TItemCache& Cache;
  std::map<std::string, std::optional<std::vector<TRemoteRow>>> Folders;
};

// Order of two rows for a sort column (1 Name, 2 Size, 3 Type, 4 Modified; negative for
// descending): folders before files, then by the column; descending reverses everything.
// `typeText` gives a row's Type column. Returns <0, 0 or >0.
int CompareRemoteRows(const TRemoteRow& a, const TItemRecord& ra, const std::string& typeA,
                      const TRemoteRow& b, const TItemRecord& rb, const std::string& typeB,
                      int sortColumn);

}  // namespace pelmar
