#pragma once
// Working out a server's time zone from one file: the time its LIST line gives (the server's
// local time, to the minute) against the exact time MDTM gives for it (UTC).

#include <ctime>
#include <optional>
#include <string>

#include "listing/RemoteItem.h"
#include "platform/DateTime.h"

namespace pelmar {

// Minutes the listed time is ahead of the exact one, to the nearest quarter hour; nothing when
// the two are more than a day apart (then they are not one moment in two time zones).
std::optional<int> ListedTimeOffset(TDateTime listed, std::time_t exact);

// "5 hours ahead of", "2.5 hours behind", "the same as": how a server's clock stands to this
// computer's.
std::string TimeOffsetText(int minutes);

// Whether a listed time can tell the time zone: a LIST time to the minute, from the last half
// year (older lines give only the day).
bool ListedTimeTellsZone(TDateTime listed, TDateTime now);

// Whether the listed `item` is a better file to ask the exact time of than `best` (nullptr:
// none yet): a plain file (not a folder or link) whose time tells the zone, the newest wins.
bool BetterZoneProbe(const TRemoteItem& item, const TRemoteItem* best, TDateTime now);

}  // namespace pelmar
