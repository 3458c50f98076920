#include "listing/FolderCache.h"

#include <algorithm>

#include "listing/RemoteItem.h"
#include "platform/AsciiText.h"
#include "text/TextUtils.h"

namespace pelmar {

const std::vector<TRemoteRow>* TFolderCache::Names(const std::string& path) const {
  const auto it = Folders.find(path);
  if (it == Folders.end() || !it->second) return nullptr;
  return &*it->second;
}

void TFolderCache::Expect(const std::string& path) {
  Folders.try_emplace(path);
}

void TFolderCache::Store(const std::string& path, std::vector<TRemoteRow> rows) {
  auto& slot = Folders[path];
  Release(slot);
  slot = std::move(rows);
}

bool TFolderCache::Update(const std::string& path, const std::string& name,
                          const TItemRecord& record) {
  const auto it = Folders.find(path);
  if (it == Folders.end() || !it->second) return false;
  auto& rows = *it->second;
  const int index = Cache.Add(record);
  for (auto& row : rows) {
    if (LinkName(row.Name) == name) {
      Cache.Release(row.Record);
      row = {name, index};
      return true;
    }
  }
  rows.push_back({name, index});
  return true;
}

void TFolderCache::Rename(const std::string& path, const std::string& oldName,
                          const std::string& newName) {
  const auto it = Folders.find(path);
  if (it == Folders.end() || !it->second) return;
  for (auto& row : *it->second) {
    if (row.Name == oldName) row.Name = newName;
  }
}

void TFolderCache::Drop(const std::string& path) {
  const auto it = Folders.find(path);
  if (it == Folders.end()) return;
  Release(it->second);
  Folders.erase(it);
}

void TFolderCache::Clear() {
  for (auto& [path, rows] : Folders) Release(rows);
  Folders.clear();
}

std::vector<std::string> TFolderCache::Paths() const {
  std::vector<std::string> paths;
  for (const auto& [path, rows] : Folders) paths.push_back(path);
  return paths;
}

void TFolderCache::Release(std::optional<std::vector<TRemoteRow>>& rows) {
  if (!rows) return;
  for (const auto& row : *rows) Cache.Release(row.Record);
  rows.reset();
}

namespace {

int CompareText(const std::string& a, const std::string& b) {
  const std::string la = AsciiLower(a);
  const std::string lb = AsciiLower(b);
  return la < lb ? -1 : la > lb ? 1 : 0;
}

template <typename T>
int CompareValues(T a, T b) {
  return a < b ? -1 : a > b ? 1 : 0;
}

}  // namespace

int CompareRemoteRows(const TRemoteRow& a, const TItemRecord& ra, const std::string& typeA,
                      const TRemoteRow& b, const TItemRecord& rb, const std::string& typeB,
                      int sortColumn) {
  const bool folderA = (ra.Attributes & iaFolder) != 0;
  const bool folderB = (rb.Attributes & iaFolder) != 0;
  const int column = sortColumn < 0 ? -sortColumn : sortColumn;
  int result = 0;
  if (folderA != folderB) {
    result = folderA ? -1 : 1;
  } else if (folderA) {
    result = column < 4 ? CompareText(LinkName(a.Name), LinkName(b.Name))
                        : CompareValues(ra.Modified, rb.Modified);
  } else {
    switch (column) {
      case 2:
        result = CompareValues(ra.Size, rb.Size);
        break;
      case 3:
        result = CompareText(typeA, typeB);
        break;
      case 4:
        result = CompareValues(ra.Modified, rb.Modified);
        break;
      default:
        result = CompareText(LinkName(a.Name), LinkName(b.Name));
    }
  }
  return sortColumn < 0 ? -result : result;
}

}  // namespace pelmar
