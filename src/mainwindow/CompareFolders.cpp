#include "mainwindow/CompareFolders.h"

#include <unordered_map>

#include "transfers/FileTimes.h"
#include "ui/QtText.h"

namespace pelmar {

std::vector<int> CompareOneWay(const std::vector<TCompareEntry>& a,
                               const std::vector<TCompareEntry>& b, bool ignoreSize,
                               bool ignoreDate) {
  // One pass over each side instead of a search of `b` per entry: folders of many thousand
  // entries compare at once.
  std::unordered_map<QString, int> firstOfName;
  firstOfName.reserve(b.size());
  for (int row = static_cast<int>(b.size()) - 1; row >= 0; --row) {
    firstOfName[b[static_cast<size_t>(row)].Name.toCaseFolded()] = row;
  }
  std::vector<int> selected;
  for (size_t row = 0; row < a.size(); ++row) {
    const TCompareEntry& mine = a[row];
    const auto found = firstOfName.find(mine.Name.toCaseFolded());
    bool select = found == firstOfName.end();
    if (!select) {
      const TCompareEntry& theirs = b[static_cast<size_t>(found->second)];
      select = (!ignoreSize && mine.Size > theirs.Size) ||
               (!ignoreDate && FileTimeNewer(FromDateTime(mine.Date), FromDateTime(theirs.Date)));
    }
    if (select) selected.push_back(static_cast<int>(row));
  }
  return selected;
}

}  // namespace pelmar
