#include "listing/OtherListings.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "listing/ListingFields.h"
#include "platform/AsciiText.h"
#include "platform/Numbers.h"

namespace pelmar {
namespace {

struct TField {
  std::string_view Text;
  size_t Start = 0;
  size_t End = 0;
};

// The last second of the year 9999: a later epoch time is no date.
constexpr int64_t kMaxEpoch = 253402300799;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

std::vector<TField> Fields(std::string_view line) {
  std::vector<TField> fields;
  size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (at >= line.size()) break;
    const size_t start = at;
    while (at < line.size() && !IsBlank(line[at])) ++at;
    fields.push_back({line.substr(start, at - start), start, at});
  }
  return fields;
}

std::optional<int> Small(std::string_view text, size_t maxDigits) {
  if (text.size() > maxDigits) return std::nullopt;
  const auto value = ReadNumber(text, std::numeric_limits<int>::max());
  if (!value) return std::nullopt;
  return static_cast<int>(*value);
}

std::string_view WithoutTrailing(std::string_view text, std::string_view marks) {
  while (!text.empty() && marks.find(text.back()) != std::string_view::npos) {
    text.remove_suffix(1);
  }
  return text;
}

// A time of day: "9:05", "10:30", "10:30:59", "10:30:59.25", and with "AM"/"PM" when
// `twelveHour` allows it. "24:00" is the next day's midnight (`nextDay`).
bool ReadClock(std::string_view text, int& hour, int& minute, bool& nextDay,
               bool twelveHour = false) {
  nextDay = false;
  int shift = -1;  // -1: 24-hour clock
  if (twelveHour && text.size() > 2) {
    const std::string suffix = AsciiLower(text.substr(text.size() - 2));
    if (suffix == "am" || suffix == "pm") {
      shift = suffix == "pm" ? 12 : 0;
      text.remove_suffix(2);
    }
  }
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2) return false;
  const auto h = Small(text.substr(0, colon), 2);
  std::string_view rest = text.substr(colon + 1);
  if (rest.size() > 2) {
    // Seconds (and hundredths) are dropped, but must read.
    if (rest[2] != ':') return false;
    std::string_view seconds = rest.substr(3);
    const size_t dot = seconds.find('.');
    if (dot != std::string_view::npos) {
      if (!AllDigits(seconds.substr(dot + 1))) return false;
      seconds = seconds.substr(0, dot);
    }
    const auto s = Small(seconds, 2);
    if (!s || *s > 59) return false;
    rest = rest.substr(0, 2);
  }
  const auto m = rest.size() == 2 ? Small(rest, 2) : std::nullopt;
  if (!h || !m || *m > 59) return false;
  hour = *h;
  minute = *m;
  if (shift >= 0) {
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + shift;
  }
  if (hour == 24 && minute == 0 && shift < 0) {
    hour = 0;
    nextDay = true;
  }
  return hour <= 23;
}

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

// 1..12 for a month name in one of these languages ("Okt.", "Juli", "janv.", "szept", "mars",
// "January"); 0 otherwise.
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

std::optional<TDateTime> AddDay(std::optional<TDateTime> value, bool nextDay) {
  if (value && nextDay) *value += 1;
  return value;
}

struct TDateFound {
  TDateTime Value = 0;
  size_t Last = 0;  // the date's last field
};

// A time or a year after a day and month at fields[at]: "10:30", "24:00", "2004", "2004年".
// A time may be followed by a year ("02:27 2014") when a name still follows.
std::optional<TDateFound> TimeOrYear(const std::vector<TField>& f, size_t at, int month, int day,
                                     const TDate& today) {
  if (at >= f.size()) return std::nullopt;
  int hour = 0;
  int minute = 0;
  bool nextDay = false;
  if (ReadClock(f[at].Text, hour, minute, nextDay)) {
    if (at + 2 < f.size() && f[at + 1].Text.size() == 4 && AllDigits(f[at + 1].Text)) {
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

// A day: "15", "15.", "15,", "15日".
std::optional<int> Day(std::string_view text) {
  const auto day = MarkedNumber(WithoutTrailing(text, ".,"), kDayMarks, 2, true);
  if (!day || *day < 1 || *day > 31) return std::nullopt;
  return day;
}

// A whole date in one field: "1999/10/12", "2004.07.15", "24-04-2003", "15.07.2004",
// "2005-06-07", "10/12/1999"; the fields are year, month, day.
bool WholeDate(std::string_view text, int& year, int& month, int& day) {
  if (text.size() < 8 || text.size() > 10) return false;
  const size_t mark = text.find_first_not_of("0123456789");
  if (mark == std::string_view::npos) return false;
  const char separator = text[mark];
  if (separator != '/' && separator != '.' && separator != '-') return false;
  std::array<std::string_view, 3> parts;
  size_t part = 0;
  size_t from = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == separator) {
      if (part == 3) return false;
      parts[part++] = text.substr(from, i - from);
      from = i + 1;
    }
  }
  if (part != 3) return false;
  const auto a = Small(parts[0], 4);
  const auto b = Small(parts[1], 2);
  const auto c = Small(parts[2], 4);
  if (!a || !b || !c) return false;
  if (parts[0].size() == 4) {  // year first
    year = *a;
    month = *b;
    day = *c;
  } else if (parts[2].size() == 4) {  // year last: day first, unless that cannot be
    year = *c;
    day = *a;
    month = *b;
    if (month > 12 || separator == '/') std::swap(day, month);  // "10/12/1999": US order
    if (month > 12) std::swap(day, month);
  } else {
    return false;
  }
  return year >= 1900 && month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

// The date that starts at fields[i] of a Unix-like line, in any of the forms servers use.
std::optional<TDateFound> UnixDate(const std::vector<TField>& f, size_t i, const TDate& today) {
  const std::string_view first = f[i].Text;
  // "Okt. 15 10:30", "Oct 08, 2002 09:47", "Juli 3 2004"
  if (const int month = MonthName(first); month != 0 && i + 1 < f.size()) {
    if (const auto day = Day(f[i + 1].Text)) return TimeOrYear(f, i + 2, month, *day, today);
    return std::nullopt;
  }
  // "12月 15日 10:30", "5월 12 2003"
  if (const auto month = MarkedNumber(first, kMonthMarks, 2, false);
      month && *month >= 1 && *month <= 12 && i + 1 < f.size()) {
    if (const auto day = Day(f[i + 1].Text)) return TimeOrYear(f, i + 2, *month, *day, today);
    return std::nullopt;
  }
  if (!IsDigit(first[0])) return std::nullopt;
  // "2003年4月5日": year, month and day in one field, maybe followed by a time.
  if (const auto ymd = MarkedDate(first)) {
    int hour = 0;
    int minute = 0;
    bool nextDay = false;
    if (i + 2 < f.size() && ReadClock(f[i + 1].Text, hour, minute, nextDay)) {
      const auto value = ListingDate(ymd->Year, ymd->Month, ymd->Day, hour, minute);
      if (value) return TDateFound{*AddDay(value, nextDay), i + 1};
    }
    const auto value = ListingDate(ymd->Year, ymd->Month, ymd->Day, 0, 0);
    if (!value) return std::nullopt;
    return TDateFound{*value, i};
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
  // "1999/10/12 17:12", "2004.07.15", "24-04-2003 17:12"
  int year = 0;
  int month = 0;
  int day = 0;
  if (WholeDate(first, year, month, day)) {
    int hour = 0;
    int minute = 0;
    bool nextDay = false;
    if (i + 2 < f.size() && ReadClock(f[i + 1].Text, hour, minute, nextDay)) {
      const auto value = ListingDate(year, month, day, hour, minute);
      if (!value) return std::nullopt;
      return TDateFound{*AddDay(value, nextDay), i + 1};
    }
    const auto value = ListingDate(year, month, day, 0, 0);
    if (!value) return std::nullopt;
    return TDateFound{*value, i};
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

// "33.5k", "2M", "1.2G", "3T": a number of binary kilo-, mega-, giga- or terabytes; nothing when
// the bytes do not fit in int64_t.
std::optional<int64_t> SuffixedSize(std::string_view text) {
  if (text.size() < 2) return std::nullopt;
  const char unit = static_cast<char>(AsciiLower(text.back()));
  const int shift = unit == 'k' ? 10 : unit == 'm' ? 20 : unit == 'g' ? 30 : unit == 't' ? 40 : -1;
  if (shift < 0) return std::nullopt;
  const std::string_view number = text.substr(0, text.size() - 1);
  const size_t dot = number.find('.');
  const auto whole = ReadNumber(number.substr(0, dot));
  if (!whole) return std::nullopt;
  const auto bytes = CheckedProduct(*whole, int64_t{1} << shift);
  if (dot == std::string_view::npos || !bytes) return bytes;
  // The fraction's share, below one unit, rounded to the nearest byte.
  const std::string_view fraction = number.substr(dot + 1);
  if (fraction.empty() || !AllDigits(fraction)) return std::nullopt;
  const double part = std::strtod(("0." + std::string(fraction)).c_str(), nullptr);
  return CheckedSum(*bytes, std::llround(part * static_cast<double>(int64_t{1} << shift)));
}

// A size as Unix-like servers print it: "12345", "33.5k", "2M", "1.2G", or glued to a long
// group name ("longgroup123456", when `glued` allows it).
std::optional<int64_t> SizeText(std::string_view text, bool glued) {
  if (const auto plain = ListingNumber(text)) return plain;
  if (const auto suffixed = SuffixedSize(text)) return suffixed;
  if (glued) {
    size_t digits = text.size();
    while (digits > 0 && IsDigit(text[digits - 1])) --digits;
    if (digits > 0 && digits < text.size() && !IsDigit(text[0])) {
      return ListingNumber(text.substr(digits));
    }
  }
  return std::nullopt;
}

TParsedLine Entry(std::string name, uint16_t attributes, int64_t size, TDateTime modified) {
  TParsedLine parsed;
  parsed.Kind = TLineKind::Entry;
  parsed.Item.Name = std::move(name);
  parsed.Item.Attributes = attributes;
  parsed.Item.Size = (attributes & iaFolder) ? 0 : size;
  parsed.Item.Modified = modified;
  return parsed;
}

// Unix "ls -l" lines in the layouts the Unix rule does not read.
std::optional<TParsedLine> UnixVariant(std::string_view line, const std::vector<TField>& f,
                                       const TDate& today) {
  if (f.size() < 4 || !IsListingPermissions(f[0].Text)) return std::nullopt;
  const uint16_t attributes = ListingPermissionAttributes(f[0].Text);
  for (size_t i = 2; i + 1 < f.size(); ++i) {
    const auto size = SizeText(f[i - 1].Text, i >= 3);
    if (!size) continue;
    const auto date = UnixDate(f, i, today);
    if (!date) continue;
    const size_t nameStart = f[date->Last].End + 1;
    if (nameStart >= line.size()) continue;
    auto parsed = Entry(std::string(line.substr(nameStart)), attributes, *size, date->Value);
    return parsed;
  }
  // Without a date: "perms links owner group size name", unless what would be the name holds
  // what reads as a date (then it is a line with a date that does not read).
  if (f.size() >= 6 && AllDigits(f[1].Text) && AllDigits(f[4].Text) && MonthName(f[5].Text) == 0 &&
      !AllDigits(f[5].Text)) {
    for (size_t i = 5; i < f.size(); ++i) {
      int hour = 0;
      int minute = 0;
      bool nextDay = false;
      if (f[i].Text.find(':') != std::string_view::npos &&
          (ReadClock(f[i].Text, hour, minute, nextDay) || AllDigits(f[i].Text.substr(0, 2)))) {
        return std::nullopt;
      }
    }
    const auto size = ListingNumber(f[4].Text);
    if (!size) return std::nullopt;
    return Entry(std::string(line.substr(f[4].End + 1)), attributes, *size, 0);
  }
  return std::nullopt;
}

// EPLF: "+i8388621.44468,m839956783,r,s10376,\tRFCEPLF".
std::optional<TParsedLine> Eplf(std::string_view line) {
  if (line.empty() || line[0] != '+') return std::nullopt;
  const size_t tab = line.find('\t');
  if (tab == std::string_view::npos || tab + 1 >= line.size()) return std::nullopt;
  const std::string_view facts = line.substr(1, tab - 1);
  bool folder = false;
  bool file = false;
  int64_t size = 0;
  TDateTime modified = 0;
  for (size_t at = 0; at < facts.size();) {
    size_t end = facts.find(',', at);
    if (end == std::string_view::npos) end = facts.size();
    const std::string_view fact = facts.substr(at, end - at);
    at = end + 1;
    if (fact.empty()) continue;
    if (fact == "/") folder = true;
    if (fact == "r") file = true;
    if (fact[0] == 's') {
      const auto value = ListingNumber(fact.substr(1));
      if (!value) return std::nullopt;
      size = *value;
    }
    if (fact[0] == 'm') {
      const auto value = ReadNumber(fact.substr(1), kMaxEpoch);
      if (!value) return std::nullopt;
      modified = DateTimeFromTimeT(static_cast<std::time_t>(*value));
    }
  }
  if (!folder && !file) return std::nullopt;
  auto parsed = Entry(std::string(line.substr(tab + 1)), folder ? iaFolder : 0, size, modified);
  parsed.ExactTime = modified != 0;
  return parsed;
}

// "0100644 500 101 12345 123456789 name": octal mode, user and group ids, size, epoch.
std::optional<TParsedLine> NumericUnix(std::string_view line, const std::vector<TField>& f) {
  if (f.size() < 6 || f[0].Text.size() < 5 || f[0].Text.size() > 7 ||
      f[0].Text.find_first_not_of("01234567") != std::string_view::npos) {
    return std::nullopt;
  }
  for (size_t i = 1; i <= 4; ++i) {
    if (!AllDigits(f[i].Text)) return std::nullopt;
  }
  unsigned mode = 0;
  for (const char c : f[0].Text) mode = mode * 8 + static_cast<unsigned>(c - '0');
  const unsigned type = mode & 0170000;
  if (type != 0100000 && type != 0040000 && type != 0120000) return std::nullopt;
  static constexpr uint16_t kBits[9] = {iaOtherExec, iaOtherWrite, iaOtherRead,
                                        iaGroupExec, iaGroupWrite, iaGroupRead,
                                        iaOwnerExec, iaOwnerWrite, iaOwnerRead};
  uint16_t attributes = type == 0040000 ? iaFolder : type == 0120000 ? iaLink : 0;
  for (unsigned bit = 0; bit < 9; ++bit) {
    if (mode & (1u << bit)) attributes |= kBits[bit];
  }
  const auto size = ListingNumber(f[3].Text);
  const auto epoch = ReadNumber(f[4].Text, kMaxEpoch);
  if (!size || !epoch) return std::nullopt;
  auto parsed = Entry(std::string(line.substr(f[5].Start)), attributes, *size,
                      DateTimeFromTimeT(static_cast<std::time_t>(*epoch)));
  parsed.ExactTime = true;
  return parsed;
}

// "12-18-97" (OS/2, DOS), with years past 99 printed as 100, 101, ... (1900 + n).
bool ShortDate(std::string_view text, int& year, int& month, int& day) {
  const size_t a = text.find('-');
  const size_t b = text.find('-', a + 1);
  if (a == std::string_view::npos || b == std::string_view::npos) return false;
  const auto m = Small(text.substr(0, a), 2);
  const auto d = Small(text.substr(a + 1, b - a - 1), 2);
  const auto y = Small(text.substr(b + 1), 4);
  if (!m || !d || !y) return false;
  const size_t digits = text.size() - b - 1;
  year = digits == 4 ? *y : digits == 3 ? 1900 + *y : *y < 70 ? 2000 + *y : 1900 + *y;
  month = *m;
  day = *d;
  return digits >= 2;
}

// A date in one field, read by `read`, and a time of day in the next ("2002/10/11 09:37").
using TDateReader = bool (*)(std::string_view, int&, int&, int&);
std::optional<TDateTime> DateAndClock(std::string_view date, std::string_view clock,
                                      TDateReader read, bool twelveHour = false) {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  bool nextDay = false;
  if (!read(date, year, month, day) || !ReadClock(clock, hour, minute, nextDay, twelveHour)) {
    return std::nullopt;
  }
  return AddDay(ListingDate(year, month, day, hour, minute), nextDay);
}

// DOS/IIS lines the DOS rule does not read: "2002-09-02  18:48  <DIR>  name",
// "09-02-2002  06:48PM  9,730  name".
std::optional<TParsedLine> DosVariant(std::string_view line, const std::vector<TField>& f) {
  if (f.size() < 4) return std::nullopt;
  // Year first ("2002-09-02"), else month first as DOS writes it ("09-02-2002", "09-02-02").
  const bool yearFirst = f[0].Text.size() == 10 && AllDigits(f[0].Text.substr(0, 4));
  const auto date = DateAndClock(f[0].Text, f[1].Text, yearFirst ? WholeDate : ShortDate, true);
  if (!date) return std::nullopt;
  const std::string_view sizeText = f[2].Text;
  bool folder = sizeText == "<DIR>";
  int64_t size = 0;
  if (!folder) {
    // "9,730" or "9.730": groups of three after the first.
    std::string digits;
    for (size_t i = 0; i < sizeText.size(); ++i) {
      const char c = sizeText[i];
      if (c == ',' || c == '.') {
        if (i == 0 || (sizeText.size() - i - 1) % 4 != 3) return std::nullopt;
      } else {
        digits += c;
      }
    }
    const auto value = ListingNumber(digits);
    if (!value) return std::nullopt;
    size = *value;
  }
  auto parsed = Entry(std::string(line.substr(f[3].Start)), folder ? iaFolder : 0, size, *date);
  parsed.UnixLayout = false;
  return parsed;
}

// NetWare: "d [R----F--] supervisor 512 Jan 16 18:53 login".
std::optional<TParsedLine> NetWare(std::string_view line, const std::vector<TField>& f,
                                   const TDate& today) {
  if (f.size() < 8 || (f[0].Text != "d" && f[0].Text != "-") || f[1].Text.size() < 3 ||
      f[1].Text.front() != '[' || f[1].Text.back() != ']') {
    return std::nullopt;
  }
  const auto size = ListingNumber(f[3].Text);
  const int month = ListingEnglishMonth(f[4].Text);
  const auto day = Day(f[5].Text);
  if (!size || month == 0 || !day) return std::nullopt;
  const auto date = TimeOrYear(f, 6, month, *day, today);
  // NetWare pads the name column: the name starts at its first character.
  if (!date || date->Last + 1 >= f.size()) return std::nullopt;
  return Entry(std::string(line.substr(f[date->Last + 1].Start)), f[0].Text == "d" ? iaFolder : 0,
               *size, date->Value);
}

// OS/2: "     0           DIR   12-18-97   19:04  name", "  7536  A  07-13-98  20:26  name".
std::optional<TParsedLine> Os2(std::string_view line, const std::vector<TField>& f) {
  if (f.size() < 4 || !AllDigits(f[0].Text)) return std::nullopt;
  size_t at = 1;
  bool folder = false;
  // Attribute fields: "DIR", "A", "R", "H", "S" and their runs.
  while (at < f.size() && f[at].Text.size() <= 3 &&
         f[at].Text.find_first_not_of("DIRAHS") == std::string_view::npos) {
    folder |= f[at].Text == "DIR";
    ++at;
  }
  if (at + 2 >= f.size()) return std::nullopt;
  const auto date = DateAndClock(f[at].Text, f[at + 1].Text, ShortDate);
  const auto size = ListingNumber(f[0].Text);
  if (!date || !size) return std::nullopt;
  auto parsed =
      Entry(std::string(line.substr(f[at + 2].Start)), folder ? iaFolder : 0, *size, *date);
  parsed.UnixLayout = false;
  return parsed;
}

// "NAME.TXT;1" or "[.SUB]NAME.DIR;3": a VMS file name with its version.
bool IsVmsName(std::string_view text) {
  const size_t semicolon = text.rfind(';');
  return semicolon != std::string_view::npos && semicolon > 0 &&
         AllDigits(text.substr(semicolon + 1));
}

// VMS: "NAME.TXT;1   2/3   12-JAN-1998 12:34:56  [GROUP,OWNER]  (RWED,RWED,RE,)"; sizes are
// 512-byte blocks, used/allocated; "NAME.DIR;1" is the folder NAME.
std::optional<TParsedLine> Vms(const std::vector<TField>& f) {
  if (f.size() < 4 || !IsVmsName(f[0].Text)) return std::nullopt;
  const std::string_view blocks = f[1].Text.substr(0, f[1].Text.find('/'));
  const auto used = ListingNumber(blocks);
  const auto bytes = used ? CheckedProduct(*used, 512) : std::nullopt;
  if (!bytes) return std::nullopt;
  if (const size_t slash = f[1].Text.find('/');
      slash != std::string_view::npos && !AllDigits(f[1].Text.substr(slash + 1))) {
    return std::nullopt;
  }
  // "12-JAN-1998"
  const std::string_view dateText = f[2].Text;
  const size_t a = dateText.find('-');
  const size_t b = dateText.rfind('-');
  if (a == std::string_view::npos || a == b) return std::nullopt;
  const auto day = Small(dateText.substr(0, a), 2);
  const int month = ListingEnglishMonth(dateText.substr(a + 1, b - a - 1));
  const auto year = Small(dateText.substr(b + 1), 4);
  int hour = 0;
  int minute = 0;
  bool nextDay = false;
  if (!day || month == 0 || !year || !ReadClock(f[3].Text, hour, minute, nextDay)) {
    return std::nullopt;
  }
  const auto date = AddDay(ListingDate(*year, month, *day, hour, minute), nextDay);
  if (!date) return std::nullopt;
  // What may follow: the owner in brackets and the protection in parentheses.
  for (size_t i = 4; i < f.size(); ++i) {
    const char c = f[i].Text.front();
    if (c != '[' && c != '(' && f[i - 1].Text.back() != ',') return std::nullopt;
  }
  std::string name(f[0].Text);
  const size_t semicolon = name.rfind(';');
  const std::string base = name.substr(0, semicolon);
  const bool folder = base.size() > 4 && AsciiLower(base.substr(base.size() - 4)) == ".dir";
  if (folder) name = base.substr(0, base.size() - 4);
  auto parsed = Entry(name, folder ? iaFolder : 0, *bytes, *date);
  parsed.UnixLayout = false;
  return parsed;
}

// AS/400: "QSYS  77824 02/23/00 15:09:55 *DIR QSYS/", "QDOC 8192 98/11/10 10:32:35 *FILE A.B".
std::optional<TParsedLine> As400(std::string_view line, const std::vector<TField>& f) {
  if (f.size() < 6 || f[4].Text.size() < 2 || f[4].Text[0] != '*') return std::nullopt;
  const auto size = ListingNumber(f[1].Text);
  const std::string_view d = f[2].Text;
  if (!size || d.size() != 8 || d[2] != '/' || d[5] != '/') return std::nullopt;
  auto x = Small(d.substr(0, 2), 2);
  auto y = Small(d.substr(3, 2), 2);
  const auto z = Small(d.substr(6, 2), 2);
  int hour = 0;
  int minute = 0;
  bool nextDay = false;
  if (!x || !y || !z || !ReadClock(f[3].Text, hour, minute, nextDay)) return std::nullopt;
  // Month first ("02/23/00") unless the first part cannot be a month ("98/11/10": year first).
  int year = *z;
  int month = *x;
  int day = *y;
  if (*x > 12) {
    year = *x;
    month = *y;
    day = *z;
  }
  year += year < 70 ? 2000 : 1900;
  const auto date = AddDay(ListingDate(year, month, day, hour, minute), nextDay);
  if (!date) return std::nullopt;
  std::string name(line.substr(f[5].Start));
  const std::string type(f[4].Text);
  bool folder = type == "*DIR" || type == "*LIB" || type == "*FLR";
  if (!name.empty() && name.back() == '/') {
    folder = true;
    name.pop_back();
  }
  if (name.empty()) return std::nullopt;
  auto parsed = Entry(name, folder ? iaFolder : 0, *size, *date);
  parsed.UnixLayout = false;
  return parsed;
}

// MVS datasets: "WYOSPT 3420   2003/05/21  1  200  FB  80  8053  PS  INCOMING.RPTBM023",
// "**NONE**" for a date never referred to, "Migrated  NAME", and the heading line.
std::optional<TParsedLine> MvsDataset(const std::vector<TField>& f) {
  if (f.size() >= 2 && f[0].Text == "Volume" && f[1].Text == "Unit") return TParsedLine{};
  // Tape volumes and pseudo folders of a catalog listing.
  if (f.size() == 3 && f[1].Text == "Tape") {
    auto parsed = Entry(std::string(f[2].Text), 0, 0, 0);
    parsed.UnixLayout = false;
    return parsed;
  }
  if (f.size() == 3 && f[0].Text == "Pseudo" && f[1].Text == "Directory") {
    auto parsed = Entry(std::string(f[2].Text), iaFolder, 0, 0);
    parsed.UnixLayout = false;
    return parsed;
  }
  if (f.size() == 2 && (f[0].Text == "Migrated" || f[0].Text == "ARCIVE")) {
    auto parsed = Entry(std::string(f[1].Text), 0, 0, 0);
    parsed.UnixLayout = false;
    return parsed;
  }
  if (f.size() != 10) return std::nullopt;
  int year = 0;
  int month = 0;
  int day = 0;
  TDateTime modified = 0;
  if (f[2].Text != "**NONE**") {
    if (f[2].Text.size() != 10 || !WholeDate(f[2].Text, year, month, day)) return std::nullopt;
    const auto date = ListingDate(year, month, day, 0, 0);
    if (!date) return std::nullopt;
    modified = *date;
  }
  for (const size_t i : {3u, 4u, 6u, 7u}) {
    if (!AllDigits(f[i].Text)) return std::nullopt;
  }
  // PS, PO, PO-E, DA, VS, or "??" for a dataset never opened.
  const std::string_view dsorg = f[8].Text;
  const bool partitioned = dsorg == "PO" || dsorg == "PO-E";
  if (dsorg.size() < 2 || dsorg.size() > 4 ||
      dsorg.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ-?") != std::string_view::npos) {
    return std::nullopt;
  }
  // The size is in tracks of the volume's geometry; no byte count can be told from it.
  auto parsed = Entry(std::string(f[9].Text), partitioned ? iaFolder : 0, 0, modified);
  parsed.UnixLayout = false;
  return parsed;
}

// MVS PDS members (SYST says MVS): "MEMBER1  01.03 2002/09/12 2002/10/11 09:37  11  8  0 KKK",
// after the heading "Name  VV.MM  Created  Changed  Size  Init  Mod  Id". Sizes are lines.
std::optional<TParsedLine> MvsMember(const std::vector<TField>& f) {
  if (f.size() >= 2 && f[0].Text == "Name" && f[1].Text == "VV.MM") return TParsedLine{};
  if (f.size() < 8 || f.size() > 9 || f[0].Text.size() > 8) return std::nullopt;
  const std::string_view version = f[1].Text;
  if (version.size() != 5 || version[2] != '.' || !AllDigits(version.substr(0, 2)) ||
      !AllDigits(version.substr(3))) {
    return std::nullopt;
  }
  int year = 0;
  int month = 0;
  int day = 0;
  // Created, then changed with its time: the changed date is the one shown.
  const auto date = DateAndClock(f[3].Text, f[4].Text, WholeDate);
  if (!WholeDate(f[2].Text, year, month, day) || !date || !AllDigits(f[5].Text) ||
      !AllDigits(f[6].Text) || !AllDigits(f[7].Text)) {
    return std::nullopt;
  }
  auto parsed = Entry(std::string(f[0].Text), 0, 0, *date);
  parsed.UnixLayout = false;
  return parsed;
}

// z/VM: "PROFILE  EXEC     V         75          2          1 1999-06-16  9:44:41 USER01":
// file name, type, record format, record length, records, blocks, date, time, owner. The file
// is "PROFILE.EXEC"; its size is records times the record length (the most for V records).
std::optional<TParsedLine> Zvm(const std::vector<TField>& f) {
  if (f.size() < 8 || f.size() > 9 || f[0].Text.size() > 8 || f[1].Text.size() > 8 ||
      (f[2].Text != "F" && f[2].Text != "V") || !AllDigits(f[3].Text) || !AllDigits(f[4].Text) ||
      !AllDigits(f[5].Text)) {
    return std::nullopt;
  }
  const auto date =
      f[6].Text.size() == 10 ? DateAndClock(f[6].Text, f[7].Text, WholeDate) : std::nullopt;
  const auto length = ListingNumber(f[3].Text);
  const auto records = ListingNumber(f[4].Text);
  const auto bytes = length && records ? CheckedProduct(*length, *records) : std::nullopt;
  if (!date || !bytes) return std::nullopt;
  auto parsed = Entry(std::string(f[0].Text) + "." + std::string(f[1].Text), 0, *bytes, *date);
  parsed.UnixLayout = false;
  return parsed;
}

// HP NonStop (Guardian): "ALTLOG  101  15672  30-Jun-04 14:29:20  255,255 "NUNU"": name, file
// code, end of file (bytes), date, time, owner, security.
std::optional<TParsedLine> NonStop(const std::vector<TField>& f) {
  if (f.size() < 6 || f.size() > 7 || !AllDigits(f[1].Text) || !AllDigits(f[2].Text)) {
    return std::nullopt;
  }
  const std::string_view d = f[3].Text;
  if (d.size() != 9 || d[2] != '-' || d[6] != '-') return std::nullopt;
  const auto day = Small(d.substr(0, 2), 2);
  const int month = ListingEnglishMonth(d.substr(3, 3));
  const auto year = Small(d.substr(7), 2);
  int hour = 0;
  int minute = 0;
  bool nextDay = false;
  const std::string_view owner = f[5].Text;
  const size_t comma = owner.find(',');
  if (!day || month == 0 || !year || !ReadClock(f[4].Text, hour, minute, nextDay) ||
      comma == std::string_view::npos || !AllDigits(owner.substr(0, comma)) ||
      !AllDigits(owner.substr(comma + 1))) {
    return std::nullopt;
  }
  const auto date =
      AddDay(ListingDate(*year + (*year < 70 ? 2000 : 1900), month, *day, hour, minute), nextDay);
  const auto size = ListingNumber(f[2].Text);
  if (!date || !size) return std::nullopt;
  auto parsed = Entry(std::string(f[0].Text), 0, *size, *date);
  parsed.UnixLayout = false;
  return parsed;
}

// Microware OS-9: "0.0  98/09/10 1425  d-ewrewr  5A  300  SYS": owner, date, time as hhmm,
// attributes, sector and byte count in hexadecimal, name.
std::optional<TParsedLine> Os9(std::string_view line, const std::vector<TField>& f) {
  if (f.size() < 7) return std::nullopt;
  const std::string_view owner = f[0].Text;
  const size_t dot = owner.find('.');
  if (dot == std::string_view::npos || !AllDigits(owner.substr(0, dot)) ||
      !AllDigits(owner.substr(dot + 1))) {
    return std::nullopt;
  }
  const std::string_view d = f[1].Text;
  const std::string_view t = f[2].Text;
  const std::string_view attributes = f[3].Text;
  if (d.size() != 8 || d[2] != '/' || d[5] != '/' || t.size() != 4 || !AllDigits(t) ||
      attributes.size() != 8 || attributes.find_first_not_of("d-ewr") != std::string_view::npos) {
    return std::nullopt;
  }
  const auto yy = Small(d.substr(0, 2), 2);
  const auto mm = Small(d.substr(3, 2), 2);
  const auto dd = Small(d.substr(6, 2), 2);
  const auto hour = Small(t.substr(0, 2), 2);
  const auto minute = Small(t.substr(2), 2);
  if (!yy || !mm || !dd || !hour || !minute || *hour > 23 || *minute > 59) return std::nullopt;
  const auto date = ListingDate(*yy + (*yy < 70 ? 2000 : 1900), *mm, *dd, *hour, *minute);
  int64_t bytes = 0;
  for (const char c : f[5].Text) {
    const char lower = static_cast<char>(AsciiLower(c));
    const int digit = IsDigit(c) ? c - '0' : lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
    if (digit < 0 || bytes > (int64_t{1} << 56)) return std::nullopt;
    bytes = bytes * 16 + digit;
  }
  if (!date) return std::nullopt;
  return Entry(std::string(line.substr(f[6].Start)), attributes[0] == 'd' ? iaFolder : 0, bytes,
               *date);
}

// VxWorks: "  1234      JAN-14-2004  14:23:10   file.txt", "512  Jan-01-1980  00:00:00  SUB <DIR>".
// Nortel wfFtp: "nortel.conf  1014196  06/03/04  Thur.  10:20:03".
std::optional<TParsedLine> Embedded(std::string_view line, const std::vector<TField>& f) {
  int hour = 0;
  int minute = 0;
  bool nextDay = false;
  if (f.size() >= 4 && AllDigits(f[0].Text) && f[1].Text.size() == 11 && f[1].Text[3] == '-' &&
      f[1].Text[6] == '-' && ReadClock(f[2].Text, hour, minute, nextDay)) {
    const int month = ListingEnglishMonth(f[1].Text.substr(0, 3));
    const auto day = Small(f[1].Text.substr(4, 2), 2);
    const auto year = Small(f[1].Text.substr(7), 4);
    if (month == 0 || !day || !year) return std::nullopt;
    const auto date = AddDay(ListingDate(*year, month, *day, hour, minute), nextDay);
    const auto size = ListingNumber(f[0].Text);
    if (!date || !size) return std::nullopt;
    std::string name(line.substr(f[3].Start));
    const bool folder = f.back().Text == "<DIR>" && f.size() >= 5;
    if (folder) name = std::string(line.substr(f[3].Start, f[f.size() - 2].End - f[3].Start));
    auto parsed = Entry(name, folder ? iaFolder : 0, *size, *date);
    parsed.UnixLayout = false;
    return parsed;
  }
  if (f.size() == 5 && AllDigits(f[1].Text) && f[2].Text.size() == 8 && f[2].Text[2] == '/' &&
      f[2].Text[5] == '/' && f[3].Text.back() == '.' &&
      ReadClock(f[4].Text, hour, minute, nextDay)) {
    const auto mm = Small(f[2].Text.substr(0, 2), 2);
    const auto dd = Small(f[2].Text.substr(3, 2), 2);
    const auto yy = Small(f[2].Text.substr(6, 2), 2);
    if (!mm || !dd || !yy) return std::nullopt;
    const auto date =
        AddDay(ListingDate(*yy + (*yy < 70 ? 2000 : 1900), *mm, *dd, hour, minute), nextDay);
    const auto size = ListingNumber(f[1].Text);
    if (!date || !size) return std::nullopt;
    auto parsed = Entry(std::string(f[0].Text), 0, *size, *date);
    parsed.UnixLayout = false;
    return parsed;
  }
  return std::nullopt;
}

// Connect:Enterprise: "-C--E-----FTP B QUA1I1  18128  41 Aug 12 13:56 QUA1I1.X25": the flags,
// the batch owner and counts, then an "ls -l" date and the name.
std::optional<TParsedLine> ConnectEnterprise(std::string_view line, const std::vector<TField>& f,
                                             const TDate& today) {
  if (f.size() < 8 || f[0].Text.size() != 13 || f[0].Text.substr(10) != "FTP" ||
      (f[0].Text[0] != '-' && f[0].Text[0] != 'd')) {
    return std::nullopt;
  }
  for (size_t i = 3; i + 1 < f.size(); ++i) {
    const auto size = ListingNumber(f[i - 1].Text);
    const int month = ListingEnglishMonth(f[i].Text);
    if (!size || month == 0 || i + 2 >= f.size()) continue;
    const auto day = Day(f[i + 1].Text);
    if (!day) continue;
    const auto date = TimeOrYear(f, i + 2, month, *day, today);
    if (!date || f[date->Last].End + 1 >= line.size()) continue;
    return Entry(std::string(line.substr(f[date->Last].End + 1)),
                 f[0].Text[0] == 'd' ? iaFolder : 0, *size, date->Value);
  }
  return std::nullopt;
}

}  // namespace

bool IsVmsNameAlone(std::string_view line) {
  const auto f = Fields(line);
  return f.size() == 1 && IsVmsName(f[0].Text);
}

namespace {

// Lines around the entries: VMS's "Directory DISK$USER:[ANONYMOUS]" and "Total of 2 files, 3/4
// blocks.", HP NonStop's column heading.
bool IsHeadingOrTotal(const std::vector<TField>& f) {
  if (f.size() == 2 && f[0].Text == "Directory" && f[1].Text.back() == ']') return true;
  if (f.size() >= 4 && f[0].Text == "Total" && f[1].Text == "of" && AllDigits(f[2].Text)) {
    return true;
  }
  return f.size() >= 4 && f[0].Text == "File" && f[1].Text == "Code" && f[2].Text == "EOF";
}

}  // namespace

std::optional<TParsedLine> ParseOtherListing(std::string_view line, const TDate& today) {
  if (auto eplf = Eplf(line)) return eplf;
  const std::vector<TField> f = Fields(line);
  if (f.empty()) return std::nullopt;
  if (IsHeadingOrTotal(f)) return TParsedLine{};
  for (auto* recognize : {&NumericUnix, &DosVariant, &Os2, &As400}) {
    if (auto parsed = recognize(line, f)) return parsed;
  }
  if (auto parsed = UnixVariant(line, f, today)) return parsed;
  if (auto parsed = NetWare(line, f, today)) return parsed;
  if (auto parsed = Vms(f)) return parsed;
  if (auto parsed = MvsDataset(f)) return parsed;
  if (auto parsed = MvsMember(f)) return parsed;
  if (auto parsed = Zvm(f)) return parsed;
  if (auto parsed = NonStop(f)) return parsed;
  if (auto parsed = Os9(line, f)) return parsed;
  if (auto parsed = Embedded(line, f)) return parsed;
  if (auto parsed = ConnectEnterprise(line, f, today)) return parsed;
  return std::nullopt;
}

}  // namespace pelmar
