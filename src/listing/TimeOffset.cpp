#include "listing/TimeOffset.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace pelmar {

std::optional<int> ListedTimeOffset(TDateTime listed, std::time_t exact) {
  const double minutes = (listed - DateTimeFromTimeT(exact)) * 24.0 * 60.0;
  if (!std::isfinite(minutes) || std::fabs(minutes) > 24.0 * 60.0) return std::nullopt;
  // The listed time lacks the seconds: a file written at 10:00:59 lists as 10:00.
  return static_cast<int>(std::lround(minutes / 15.0)) * 15;
}

std::string TimeOffsetText(int minutes) {
  if (minutes == 0) return "the same as";
  char hours[32];
  const int whole = std::abs(minutes);
  if (whole % 60 == 0) {
    std::snprintf(hours, sizeof hours, "%d", whole / 60);
  } else {
    std::snprintf(hours, sizeof hours, "%g", whole / 60.0);
  }
  return std::string(hours) + (whole == 60 ? " hour " : " hours ") +
         (minutes > 0 ? "ahead of" : "behind");
}

bool ListedTimeTellsZone(TDateTime listed, TDateTime now) {
  return listed > now - 180 && listed < now + 2;
}

bool BetterZoneProbe(const TRemoteItem& item, const TRemoteItem* best, TDateTime now) {
  return (item.Attributes & (iaFolder | iaLink)) == 0 && ListedTimeTellsZone(item.Modified, now) &&
         (!best || item.Modified > best->Modified);
}

}  // namespace pelmar
