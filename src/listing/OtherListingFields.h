#pragma once
// The readers the recognizers of other servers' listings share (OtherListingFamilies.h):
// fields of a line, small numbers, sizes, times of day and dates in the forms servers print
// them, and the entry a recognized line makes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "listing/ListingParser.h"
#include "platform/DateTime.h"

namespace pelmar::other_listings {

struct TField {
  std::string_view Text;
  size_t Start = 0;
  size_t End = 0;
};

// The last second of the year 9999: a later epoch time is no date.
inline constexpr int64_t kMaxEpoch = 253402300799;

inline bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
inline bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
inline bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

// The blank-separated fields of a line, with where each starts and ends.
std::vector<TField> Fields(std::string_view line);

// A number of at most `maxDigits` decimal digits.
std::optional<int> Small(std::string_view text, size_t maxDigits);

// `text` without the trailing characters that are in `marks`.
std::string_view WithoutTrailing(std::string_view text, std::string_view marks);

// A time of day: "9:05", "10:30", "10:30:59", "10:30:59.25", and with "AM"/"PM" when
// `twelveHour` allows it. "24:00" is the next day's midnight (`nextDay`).
bool ReadClock(std::string_view text, int& hour, int& minute, bool& nextDay,
               bool twelveHour = false);

// `value` a day later when `nextDay` ("24:00").
std::optional<TDateTime> AddDay(std::optional<TDateTime> value, bool nextDay);

// A whole date in one field: "1999/10/12", "2004.07.15", "24-04-2003", "15.07.2004",
// "2005-06-07", "10/12/1999"; the fields are year, month, day.
bool WholeDate(std::string_view text, int& year, int& month, int& day);

// "12-18-97" (OS/2, DOS), with years past 99 printed as 100, 101, ... (1900 + n).
bool ShortDate(std::string_view text, int& year, int& month, int& day);

// Day, month name and year between dashes: "12-JAN-1998" (VMS), "01-jun-99"; two-digit years
// before 70 are 20xx.
bool NamedMonthDate(std::string_view text, int& year, int& month, int& day);

// A date in one field, read by `read`, and a time of day in the next ("2002/10/11 09:37").
using TDateReader = bool (*)(std::string_view, int&, int&, int&);
std::optional<TDateTime> DateAndClock(std::string_view date, std::string_view clock,
                                      TDateReader read, bool twelveHour = false);

// A size as Unix-like servers print it: "12345", "33.5k", "2M", "1.2G", or glued to a long
// group name ("longgroup123456", when `glued` allows it).
std::optional<int64_t> SizeText(std::string_view text, bool glued);

// The entry of a recognized line; a folder's size is 0.
TParsedLine Entry(std::string name, uint16_t attributes, int64_t size, TDateTime modified);

// Dates of Unix-like lines (OtherListingDates.cpp).

struct TDateFound {
  TDateTime Value = 0;
  size_t Last = 0;  // the date's last field
};

// 1..12 for a month name in one of many languages ("Okt.", "Juli", "janv.", "szept", "mars",
// "January"); 0 otherwise.
int MonthName(std::string_view text);

// A day: "15", "15.", "15,", "15日".
std::optional<int> Day(std::string_view text);

// A time or a year after a day and month at fields[at]: "10:30", "24:00", "2004", "2004年".
// A time may be followed by a year ("02:27 2014") when a name still follows.
std::optional<TDateFound> TimeOrYear(const std::vector<TField>& f, size_t at, int month, int day,
                                     const TDate& today);

// Whether a field has the shape of a date, readable or not ("01-jun-99", "2004.13.45",
// "2003年"): such a field is no name.
bool LooksLikeDate(std::string_view text);

// The date that starts at fields[i] of a Unix-like line, in any of the forms servers use.
std::optional<TDateFound> UnixDate(const std::vector<TField>& f, size_t i, const TDate& today);

}  // namespace pelmar::other_listings
