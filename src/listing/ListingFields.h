#pragma once
// The field readers of the Unix and DOS listing rules, for the recognizers of other servers'
// listings (OtherListings.h).

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/DateTime.h"

namespace pelmar {

// A whole decimal number that fits in int64_t.
std::optional<int64_t> ListingNumber(std::string_view text);
// 1..12 for "Jan".."Dec" (any letter case), else 0.
int ListingEnglishMonth(std::string_view text);
// "drwxr-xr-x" (with "+", "@" or "." after it).
bool IsListingPermissions(std::string_view text);
// The folder and link flags and permission bits of such a text.
uint16_t ListingPermissionAttributes(std::string_view text);
// A date and time; nothing when it is impossible.
std::optional<TDateTime> ListingDate(int year, int month, int day, int hour, int minute);
// A date printed without its year: this year's, or last year's when that would be more than a
// day ahead of `today`.
std::optional<TDateTime> ListingRecentDate(const TDate& today, int month, int day, int hour,
                                           int minute);

}  // namespace pelmar
