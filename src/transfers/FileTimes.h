#pragma once
// The one rule by which two listed times of the same file are ordered, shared by Compare Folders
// and Synchronize so that both call the same pair of files alike.

#include "platform/DateTime.h"

namespace pelmar {

// Whether `mine` is later than `theirs`, to what both sides know: to the second where both
// are exact (parts of a second are dropped: servers keep none, and a local file's fraction
// says nothing the other side could match), to the minute where one side has only minutes (a
// listed time, seconds 0), and to the day where one has only the day (an old listed date,
// midnight). An unknown time (0) is never later nor earlier.
bool FileTimeNewer(TDateTime mine, TDateTime theirs);

}  // namespace pelmar
