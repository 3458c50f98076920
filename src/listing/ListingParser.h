#pragma once
// Reads one line of a LIST or MLSD reply: MLSD facts (FactsLine.h), the Unix "ls -l" layout
// (with English month names, numeric months followed by the GB2312 month character, or ISO
// dates) and the DOS layout of Windows servers ("01-15-98  10:30AM  <DIR>  name").

#include <string_view>

#include "listing/RemoteItem.h"
#include "platform/DateTime.h"

namespace pelmar {

enum class TLineKind {
  Entry,       // Item holds the entry
  NotAnEntry,  // "total 12", a blank line, a line too short to be anything: skipped quietly
  Unreadable,  // looks like it should be an entry but does not read as one
};

struct TParsedLine {
  TLineKind Kind = TLineKind::NotAnEntry;
  bool UnixLayout = true;  // which layout an entry was read in
  // The time is exact and in UTC (an MLSD line), not the server's local time of a LIST line.
  bool ExactTime = false;
  TRemoteItem Item;
};

// `line` without its line end. `today` decides the year of time-form ("Jan 15 10:30") dates.
TParsedLine ParseListingLine(std::string_view line, const TDate& today);

}  // namespace pelmar
