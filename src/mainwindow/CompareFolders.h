#pragma once
// Folder comparison: which entries of one side the other side lacks, or has smaller or older.

#include <QDateTime>
#include <QString>
#include <vector>

namespace pelmar {

struct TCompareEntry {
  QString Name;
  int64_t Size = 0;  // folders count as 0 on both sides
  QDateTime Date;
};

// The rows of `a` to select against `b`: those without a namesake in `b` (names compared
// without regard to case; the first namesake from the top counts), and those larger, else
// newer, than it unless sizes or dates are ignored. Times are ordered by Synchronize's rule
// (FileTimeNewer): to the second, or to the minute where one side has only the minute.
std::vector<int> CompareOneWay(const std::vector<TCompareEntry>& a,
                               const std::vector<TCompareEntry>& b, bool ignoreSize,
                               bool ignoreDate);

}  // namespace pelmar
