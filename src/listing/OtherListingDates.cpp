#include "listing/OtherListingFields.h"

#include "listing/ListingFields.h"
#include "platform/AsciiText.h"

namespace pelmar::other_listings {
namespace {

// Month names as servers in many languages print them, lower-cased, without a final dot.
struct TMonthName {
  std::string_view Name;
  int Month;
};
constexpr TMonthName kMonthNames[] = {
    // English, and what other languages share with it
    {"jan", 1},
    {"feb", 2},
    {"mar", 3},
    {"apr", 4},
    {"may", 5},
    {"jun", 6},
    {"jul", 7},
    {"aug", 8},
    {"sep", 9},
    {"oct", 10},
    {"nov", 11},
    {"dec", 12},
    {"sept", 9},
    // German
    {"j\xC3\xA4n", 1},
    {"m\xC3\xA4r", 3},
    {"m\xC3\xA4rz", 3},
    {"mrz", 3},
    {"mai", 5},
    {"juni", 6},
    {"juli", 7},
    {"okt", 10},
    {"dez", 12},
    // French
    {"janv", 1},
    {"f\xC3\xA9vr", 2},
    {"fevr", 2},
    {"mars", 3},
    {"avr", 4},
    {"juin", 6},
    {"juil", 7},
    {"ao\xC3\xBBt", 8},
    {"aout", 8},
    {"d\xC3\xA9"
     "c",
     12},
    // Spanish, Italian, Portuguese
    {"ene", 1},
    {"abr", 4},
    {"ago", 8},
    {"dic", 12},
    {"gen", 1},
    {"mag", 5},
    {"giu", 6},
    {"lug", 7},
    {"set", 9},
    {"ott", 10},
    {"fev", 2},
    {"out", 10},
    // Dutch, Swedish
    {"mrt", 3},
    {"mei", 5},
    {"maj", 5},
    // Hungarian
    {"febr", 2},
    {"m\xC3\xA1rc", 3},
    {"\xC3\xA1pr", 4},
    {"m\xC3\xA1j", 5},
    {"j\xC3\xBAn", 6},
    {"j\xC3\xBAl", 7},
    {"szept", 9},
};

// The month marker after a number in Chinese, Japanese and Korean listings, in UTF-8 and in
// the legacy encodings (GB2312 is read by the Unix rule itself).
constexpr std::string_view kMonthMarks[] = {
    "\xE6\x9C\x88",  // 月 UTF-8
    "\xEC\x9B\x94",  // 월 UTF-8
    "\xB7\xEE",      // 月 EUC-JP
    "\x8C\x8E",      // 月 Shift_JIS
    "\xBF\xF9",      // 월 EUC-KR
    "\xD4\xC2",      // 月 GB2312
};
constexpr std::string_view kDayMarks[] = {"\xE6\x97\xA5", "\xEC\x9D\xBC", "\xC6\xFC",
                                          "\x93\xFA",     "\xC0\xCF",     "\xC8\xD5"};
constexpr std::string_view kYearMarks[] = {"\xE5\xB9\xB4", "\xEB\x85\x84", "\xC7\xAF",
                                           "\x94\x4E",     "\xB3\xE2",     "\xC4\xEA"};

// The number before one of `marks` ("12月" -> 12); `optional` also takes a bare number.
template <size_t N>
std::optional<int> MarkedNumber(std::string_view text, const std::string_view (&marks)[N],
                                size_t maxDigits, bool optional) {
  for (const std::string_view mark : marks) {
    if (text.size() > mark.size() && text.substr(text.size() - mark.size()) == mark) {
      return Small(text.substr(0, text.size() - mark.size()), maxDigits);
    }
  }
  return optional ? Small(text, maxDigits) : std::nullopt;
}

// A month's number followed by a marker in an encoding not named above: one to three bytes,
// none of them ASCII ("8\xA4\xEB", Big5). Asked only of a field in a date's place.
std::optional<int> MonthWithAnyMark(std::string_view text) {
  const size_t digits = text.find_first_not_of("0123456789");
  if (digits == 0 || digits == std::string_view::npos || text.size() - digits > 3) {
    return std::nullopt;
  }
  for (const char c : text.substr(digits)) {
    if (static_cast<unsigned char>(c) < 0x80) return std::nullopt;
  }
  return Small(text.substr(0, digits), 2);
}

std::optional<int> MarkedMonth(std::string_view text) {
  if (const auto month = MarkedNumber(text, kMonthMarks, 2, false)) return month;
  return MonthWithAnyMark(text);
}

// "2003年4月5日" (the markers in any of the encodings above, each after its number).
std::optional<TDate> MarkedDate(std::string_view text) {
  const auto cut = [&text](const auto& marks) -> std::optional<int> {
    for (const std::string_view mark : marks) {
      const size_t at = text.find(mark);
      if (at != std::string_view::npos && at > 0) {
        const auto number = Small(text.substr(0, at), 4);
        text.remove_prefix(at + mark.size());
        return number;
      }
    }
    return std::nullopt;
  };
  const auto year = cut(kYearMarks);
  const auto month = year ? cut(kMonthMarks) : std::nullopt;
  const auto day = month ? cut(kDayMarks) : std::nullopt;
  if (!day || !text.empty() || *year < 1900 || *month < 1 || *month > 12) return std::nullopt;
  return TDate{*year, *month, *day};
}

// A whole date whose last field is fields[at], and the time in the next field when one reads
// there and a name still follows.
std::optional<TDateFound> ClockAfterDate(const std::vector<TField>& f, size_t at, int year,
                                         int month, int day) {
  int hour = 0;
  int minute = 0;
  bool nextDay = false;
  if (at + 2 < f.size() && ReadClock(f[at + 1].Text, hour, minute, nextDay)) {
    const auto value = ListingDate(year, month, day, hour, minute);
    if (!value) return std::nullopt;
    return TDateFound{*AddDay(value, nextDay), at + 1};
  }
  const auto value = ListingDate(year, month, day, 0, 0);
  if (!value) return std::nullopt;
  return TDateFound{*value, at};
}

}  // namespace

int MonthName(std::string_view text) {
  text = WithoutTrailing(text, ".,");
  if (text.size() < 3 || text.size() > 10 || IsDigit(text[0])) return 0;
  std::string lower = AsciiLower(text);
  // Upper-case accented first letters of UTF-8 month names: "Ä" -> "ä", "Á" -> "á", ...
  for (size_t i = 0; i + 1 < lower.size(); ++i) {
    const auto next = static_cast<unsigned char>(lower[i + 1]);
    if (static_cast<unsigned char>(lower[i]) == 0xC3 && next >= 0x80 && next <= 0x9E) {
      lower[i + 1] = static_cast<char>(next + 0x20);
    }
  }
  for (const auto& [name, month] : kMonthNames) {
    if (lower == name) return month;
  }
  // Longer forms of the same names: "january", "juillet", "dezember".
  if (lower.size() > 4) {
    for (const auto& [name, month] : kMonthNames) {
      if (name.size() >= 3 && lower.compare(0, name.size(), name) == 0) {
        bool letters = true;
        for (size_t i = name.size(); i < lower.size(); ++i) {
          letters &= (lower[i] >= 'a' && lower[i] <= 'z');
        }
        if (letters) return month;
      }
    }
  }
  return 0;
}

std::optional<int> Day(std::string_view text) {
  const auto day = MarkedNumber(WithoutTrailing(text, ".,"), kDayMarks, 2, true);
  if (!day || *day < 1 || *day > 31) return std::nullopt;
  return day;
}

std::optional<TDateFound> TimeOrYear(const std::vector<TField>& f, size_t at, int month, int day,
                                     const TDate& today) {
  if (at >= f.size()) return std::nullopt;
  int hour = 0;
  int minute = 0;
  bool nextDay = false;
  if (ReadClock(f[at].Text, hour, minute, nextDay)) {
    // ls writes a time only for recent files, and then no year: a number after the time starts
    // the name ("02:27 2014 Invoices"), unless the name after it starts with a digit as well
    // ("02:27 2014 2014-report", a time and its year).
    if (at + 2 < f.size() && f[at + 1].Text.size() == 4 && AllDigits(f[at + 1].Text) &&
        IsDigit(f[at + 2].Text[0])) {
      const auto value = ListingDate(*Small(f[at + 1].Text, 4), month, day, hour, minute);
      if (value) return TDateFound{*AddDay(value, nextDay), at + 1};
    }
    const auto value = ListingRecentDate(today, month, day, hour, minute);
    if (!value) return std::nullopt;
    return TDateFound{*AddDay(value, nextDay), at};
  }
  const auto year = MarkedNumber(f[at].Text, kYearMarks, 4, true);
  if (!year || *year < 1900) return std::nullopt;
  // VShell: "Oct 08, 2002 09:47".
  if (at + 2 < f.size() && ReadClock(f[at + 1].Text, hour, minute, nextDay)) {
    const auto value = ListingDate(*year, month, day, hour, minute);
    if (value) return TDateFound{*AddDay(value, nextDay), at + 1};
  }
  const auto value = ListingDate(*year, month, day, 0, 0);
  if (!value) return std::nullopt;
  return TDateFound{*value, at};
}

bool LooksLikeDate(std::string_view text) {
  if (text.empty() || !IsDigit(text[0])) return false;
  int year = 0;
  int month = 0;
  int day = 0;
  if (NamedMonthDate(text, year, month, day)) return true;
  // "2004.13.45": three numbers, the year first or last, whatever they hold.
  const size_t mark = text.find_first_not_of("0123456789");
  if (text.size() >= 8 && text.size() <= 10 && mark != std::string_view::npos &&
      (text[mark] == '.' || text[mark] == '/' || text[mark] == '-')) {
    const size_t second = text.find(text[mark], mark + 1);
    const size_t last = text.size() - 1 - second;
    if (second != std::string_view::npos &&
        text.find(text[mark], second + 1) == std::string_view::npos && (mark == 4 || last == 4) &&
        text.find_first_not_of(std::string("0123456789") + text[mark]) == std::string_view::npos) {
      return true;
    }
  }
  // A number with a year, month or day marker: "2003年", "13月".
  for (const auto* marks : {&kYearMarks, &kMonthMarks, &kDayMarks}) {
    for (const std::string_view m : *marks) {
      if (const size_t at = text.find(m); at != std::string_view::npos && at > 0) return true;
    }
  }
  return false;
}

std::optional<TDateFound> UnixDate(const std::vector<TField>& f, size_t i, const TDate& today) {
  const std::string_view first = f[i].Text;
  // "Okt. 15 10:30", "Oct 08, 2002 09:47", "Juli 3 2004"
  if (const int month = MonthName(first); month != 0 && i + 1 < f.size()) {
    if (const auto day = Day(f[i + 1].Text)) return TimeOrYear(f, i + 2, month, *day, today);
    return std::nullopt;
  }
  // "12月 15日 10:30", "5월 12 2003"
  if (const auto month = MarkedMonth(first);
      month && *month >= 1 && *month <= 12 && i + 1 < f.size()) {
    if (const auto day = Day(f[i + 1].Text)) return TimeOrYear(f, i + 2, *month, *day, today);
    return std::nullopt;
  }
  if (!IsDigit(first[0])) return std::nullopt;
  // "2003年4月5日": year, month and day in one field, maybe followed by a time.
  if (const auto ymd = MarkedDate(first)) {
    return ClockAfterDate(f, i, ymd->Year, ymd->Month, ymd->Day);
  }
  // "2003年 4月 5日", "2003 5월 12일": the year, then the month and the day each in a field of its
  // own with its marker (the day's may be missing).
  if (i + 2 < f.size()) {
    const auto year = MarkedNumber(first, kYearMarks, 4, true);
    const auto month = MarkedMonth(f[i + 1].Text);
    if (year && *year >= 1900 && month) {
      const auto day = Day(f[i + 2].Text);
      if (!day || *month < 1 || *month > 12) return std::nullopt;
      return ClockAfterDate(f, i + 2, *year, *month, *day);
    }
  }
  // "01 oct 2004", "29 Jul 02:27 2014"
  if (i + 1 < f.size()) {
    if (const int month = MonthName(f[i + 1].Text); month != 0) {
      const auto day = Day(first);
      if (!day) return std::nullopt;
      return TimeOrYear(f, i + 2, month, *day, today);
    }
  }
  // "09-26 13:45", "09-26 2000"
  if (first.size() == 5 && first[2] == '-') {
    const auto month = Small(first.substr(0, 2), 2);
    const auto day = Small(first.substr(3), 2);
    if (!month || !day || *month < 1 || *month > 12) return std::nullopt;
    return TimeOrYear(f, i + 1, *month, *day, today);
  }
  // "1999/10/12 17:12", "2004.07.15", "24-04-2003 17:12", "01-jun-99"
  int year = 0;
  int month = 0;
  int day = 0;
  if (WholeDate(first, year, month, day) || NamedMonthDate(first, year, month, day)) {
    return ClockAfterDate(f, i, year, month, day);
  }
  // "3 29 03:26": numeric month and day
  if (i + 2 < f.size() && first.size() <= 2) {
    const auto m = Small(first, 2);
    const auto d = Small(f[i + 1].Text, 2);
    if (!m || !d || *m < 1 || *m > 12 || *d < 1 || *d > 31) return std::nullopt;
    return TimeOrYear(f, i + 2, *m, *d, today);
  }
  return std::nullopt;
}

}  // namespace pelmar::other_listings
