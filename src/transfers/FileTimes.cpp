#include "transfers/FileTimes.h"

#include <cmath>
#include <cstdint>

namespace pelmar {
namespace {

// Whole seconds since the zero date, parts of a second dropped. The small allowance keeps a
// whole second stored as a fraction of a day (12:00:00 as 11:59:59.99999...) on its second.
int64_t WholeSeconds(TDateTime value) {
  return static_cast<int64_t>(std::floor(value * 86400.0 + 1e-4));
}

}  // namespace

bool FileTimeNewer(TDateTime mine, TDateTime theirs) {
  if (!(mine > 0) || !(theirs > 0)) return false;  // an unknown time says nothing
  const int64_t mineSeconds = WholeSeconds(mine);
  const int64_t theirSeconds = WholeSeconds(theirs);
  if (mineSeconds % 86400 == 0 || theirSeconds % 86400 == 0) {
    // Only the day is known on one side: the same day says nothing finer.
    if (mineSeconds / 86400 == theirSeconds / 86400) return false;
  }
  if (mineSeconds % 60 == 0 || theirSeconds % 60 == 0) return mineSeconds / 60 > theirSeconds / 60;
  return mineSeconds > theirSeconds;
}

}  // namespace pelmar
