#pragma once
// Listing lines of servers that write neither the common Unix "ls -l" layout nor the Windows
// one: Unix variants (numeric, day-first, localized and Asian dates, suffixed sizes, the VShell
// date), VShell's older layout, DOS lines with the year first or grouped sizes, EPLF, NetWare,
// OS/2, VMS, AS/400, MVS datasets, and a numeric layout of mode, owner ids, size and epoch. They
// are tried only on lines the Unix and DOS rules reject, one after the other, and each takes a line
// only when every field it needs reads: a line none takes stays unreadable.

#include <optional>
#include <string_view>

#include "listing/ListingParser.h"

namespace pelmar {

std::optional<TParsedLine> ParseOtherListing(std::string_view line, const TDate& today);

// A VMS entry whose name filled its line ("LONGNAME.TXT;1"): the rest of the entry follows on
// the next line, which is read together with it.
bool IsVmsNameAlone(std::string_view line);

}  // namespace pelmar
