#include "listing/ListingParser.h"
#include "platform/AsciiText.h"

#include "listing/FactsLine.h"
#include "listing/FieldScanner.h"
#include "listing/ListingFields.h"
#include "listing/OtherListings.h"
#include "platform/Numbers.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

namespace pelmar {
namespace {

// The GB2312 character for "month", which some Chinese servers print after a numeric month.
constexpr std::string_view kGbMonth = "\xD4\xC2";

struct TToken {
  size_t Start = 0;
  size_t End = 0;  // one past the last character
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Listing lines are mostly runs of padding and words; these step over them eight bytes at a
// time (on little-endian machines; elsewhere byte by byte).
constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHighs = 0x8080808080808080ULL;

// The lowest byte of the result is set where `v` has its first zero byte.
inline uint64_t ZeroBytes(uint64_t v) {
  return (v - kOnes) & ~v & kHighs;
}

inline uint64_t Load8(const char* at) {
  uint64_t v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

// Bit 7 of each byte set where that byte of `v` is not zero (exact: no carries across bytes).
inline uint64_t NonZeroBytes(uint64_t v) {
  constexpr uint64_t kLows = 0x7F7F7F7F7F7F7F7FULL;
  return (((v & kLows) + kLows) | v) & kHighs;
}

// The first position at or after `p` that is neither a space nor a tab.
inline size_t SkipBlanks(std::string_view text, size_t p) {
  if constexpr (std::endian::native == std::endian::little) {
    while (p + 8 <= text.size()) {
      const uint64_t v = Load8(text.data() + p);
      const uint64_t other = NonZeroBytes(v ^ (kOnes * ' ')) & NonZeroBytes(v ^ (kOnes * '\t'));
      if (other != 0) return p + static_cast<size_t>(__builtin_ctzll(other) >> 3);
      p += 8;
    }
  }
  while (p < text.size() && IsBlank(text[p])) ++p;
  return p;
}

// The first position at or after `p` that is not a space.
inline size_t SkipSpaces(std::string_view text, size_t p) {
  if constexpr (std::endian::native == std::endian::little) {
    while (p + 8 <= text.size()) {
      const uint64_t other = Load8(text.data() + p) ^ (kOnes * ' ');
      if (other != 0) return p + static_cast<size_t>(__builtin_ctzll(other) >> 3);
      p += 8;
    }
  }
  while (p < text.size() && text[p] == ' ') ++p;
  return p;
}

// The first position at or after `p` that holds a blank or tab.
inline size_t SkipWord(std::string_view text, size_t p) {
  if constexpr (std::endian::native == std::endian::little) {
    while (p + 8 <= text.size()) {
      const uint64_t v = Load8(text.data() + p);
      const uint64_t blanks = ZeroBytes(v ^ (kOnes * ' ')) | ZeroBytes(v ^ (kOnes * '\t'));
      if (blanks != 0) return p + static_cast<size_t>(__builtin_ctzll(blanks) >> 3);
      p += 8;
    }
  }
  while (p < text.size() && !IsBlank(text[p])) ++p;
  return p;
}

// Position of `c` in a short field (a plain loop: cheaper than a library call here).
size_t Find(std::string_view text, char c) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == c) return i;
  }
  return std::string_view::npos;
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The blank-separated fields of the line from `from`, at most `max` of them.
template <size_t N>
size_t Tokenize(std::string_view line, size_t from, std::array<TToken, N>& tokens) {
  size_t count = 0;
  size_t i = from;
  while (count < N) {
    i = SkipBlanks(line, i);
    if (i >= line.size()) break;
    const size_t start = i;
    i = SkipWord(line, i);
    tokens[count++] = {start, i};
  }
  return count;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

// A whole decimal number that fits in int64_t.
std::optional<int64_t> Number(std::string_view text) {
  return ReadNumber(text);
}

// A number of at most `maxDigits` digits and nothing else.
inline std::optional<int> SmallNumber(std::string_view text, size_t maxDigits) {
  if (text.size() > maxDigits) return std::nullopt;
  const auto value = ReadNumber(text, std::numeric_limits<int>::max());
  if (!value) return std::nullopt;
  return static_cast<int>(*value);
}

// 1..12 for "Jan".."Dec" (any letter case), else 0.
int EnglishMonth(std::string_view text) {
  if (text.size() != 3) return 0;
  // The three letters, lower-cased, as one number.
  const unsigned key = static_cast<unsigned>(AsciiLower(text[0])) << 16 |
                       static_cast<unsigned>(AsciiLower(text[1])) << 8 |
                       static_cast<unsigned>(AsciiLower(text[2]));
  static constexpr char kMonths[] = "janfebmaraprmayjunjulaugsepoctnovdec";
  for (int m = 0; m < 12; ++m) {
    const char* name = kMonths + 3 * m;
    const unsigned candidate = static_cast<unsigned>(name[0]) << 16 |
                               static_cast<unsigned>(name[1]) << 8 | static_cast<unsigned>(name[2]);
    if (key == candidate) return m + 1;
  }
  return 0;
}

// 1..12 for "3" followed by the GB2312 month character, else 0.
int GbMonth(std::string_view text) {
  if (text.size() < kGbMonth.size() + 1 || text.substr(text.size() - kGbMonth.size()) != kGbMonth) {
    return 0;
  }
  const auto month = SmallNumber(text.substr(0, text.size() - kGbMonth.size()), 2);
  return month && *month >= 1 && *month <= 12 ? *month : 0;
}

// "10:30" or "9:05" (also "10:30:59", seconds dropped).
bool ReadTime(std::string_view text, int& hour, int& minute) {
  const size_t colon = Find(text.substr(0, 3), ':');
  if (colon == std::string_view::npos || colon == 0) return false;
  const auto h = SmallNumber(text.substr(0, colon), 2);
  std::string_view rest = text.substr(colon + 1);
  if (rest.size() > 2 && rest[2] == ':') rest = rest.substr(0, 2);
  const auto m = rest.size() == 2 ? SmallNumber(rest, 2) : std::nullopt;
  if (!h || !m || *h > 23 || *m > 59) return false;
  hour = *h;
  minute = *m;
  return true;
}

std::optional<TDateTime> Encode(int year, int month, int day, int hour, int minute) {
  const auto date = TryEncodeDate(year, month, day);
  const auto time = TryEncodeTime(hour, minute, 0, 0);
  if (!date || !time) return std::nullopt;
  return *date + *time;
}

// A date printed without a year is recent: if this year's date would be more than a day
// ahead of today, the file is from last year.
std::optional<TDateTime> EncodeRecent(const TDate& today, int month, int day, int hour,
                                      int minute) {
  // Every line of a listing asks about the same day.
  thread_local TDate cachedDay{0, 0, 0};
  thread_local std::optional<TDateTime> cachedValue;
  if (cachedDay.Year != today.Year || cachedDay.Month != today.Month ||
      cachedDay.Day != today.Day) {
    cachedDay = today;
    cachedValue = TryEncodeDate(today.Year, today.Month, today.Day);
  }
  const auto& todayValue = cachedValue;
  const auto time = TryEncodeTime(hour, minute, 0, 0);
  if (!time) return std::nullopt;
  const auto thisYear = TryEncodeDate(today.Year, month, day);
  if (thisYear && todayValue && *thisYear <= *todayValue + 1) return *thisYear + *time;
  const auto lastYear = TryEncodeDate(today.Year - 1, month, day);
  if (!lastYear) return std::nullopt;
  return *lastYear + *time;
}

// Which bytes may stand where: 1 for the type letter, 2 for a permission letter.
constexpr std::array<uint8_t, 256> kPermissionChars = [] {
  std::array<uint8_t, 256> table{};
  for (const char c : std::string_view("-dlcbpsDn")) table[static_cast<uint8_t>(c)] |= 1;
  for (const char c : std::string_view("rwxsStTlL-")) table[static_cast<uint8_t>(c)] |= 2;
  return table;
}();

// "drwxr-xr-x", optionally followed by "+" (ACL), "@" (extended attributes) or "." (SELinux).
bool IsPermissionText(std::string_view text) {
  if (text.size() == 11 && (text[10] == '+' || text[10] == '@' || text[10] == '.')) {
    text = text.substr(0, 10);
  }
  if (text.size() != 10 || !(kPermissionChars[static_cast<uint8_t>(text[0])] & 1)) return false;
  for (size_t i = 1; i < 10; ++i) {
    if (!(kPermissionChars[static_cast<uint8_t>(text[i])] & 2)) return false;
  }
  return true;
}

uint16_t AttributesFromPermissions(std::string_view text) {
  uint16_t attributes = 0;
  if (text[0] == 'd') attributes |= iaFolder;
  if (text[0] == 'l') attributes |= iaLink;
  static constexpr char kLetters[] = "rwxrwxrwx";
  for (int i = 0; i < 9; ++i) {
    if (text[static_cast<size_t>(i) + 1] == kLetters[i]) {
      attributes |= static_cast<uint16_t>(iaOwnerRead << i);
    }
  }
  return attributes;
}

// The size field that ends just before the date, at tokens[at]. Device files show
// "major, minor" (or "major,minor") there and get size 0.
std::optional<int64_t> SizeBefore(std::string_view line, const TToken* tokens, size_t at) {
  const std::string_view field = line.substr(tokens[at].Start, tokens[at].End - tokens[at].Start);
  if (const size_t comma = Find(field, ','); comma != std::string_view::npos) {
    if (AllDigits(field.substr(0, comma)) && AllDigits(field.substr(comma + 1))) return 0;
    return std::nullopt;
  }
  if (!AllDigits(field)) return std::nullopt;
  if (at >= 2) {
    const std::string_view before =
        line.substr(tokens[at - 1].Start, tokens[at - 1].End - tokens[at - 1].Start);
    if (before.size() >= 2 && before.back() == ',' &&
        AllDigits(before.substr(0, before.size() - 1))) {
      return 0;
    }
  }
  return Number(field);
}

struct TDateMatch {
  TDateTime Modified = 0;
  size_t LastToken = 0;  // the last field of the date
  size_t NameStart = 0;  // where the name begins: one blank after the date
};

// Tries to read a date whose first field is tokens[i].
std::optional<TDateMatch> DateAt(std::string_view line, const TToken* tokens, size_t count,
                                 size_t i, const TDate& today) {
  auto text = [&](size_t k) {
    return line.substr(tokens[k].Start, tokens[k].End - tokens[k].Start);
  };
  int hour = 0;
  int minute = 0;
  const std::string_view first = text(i);
  // Most fields are not a date: tell by the shape before reading anything.
  const bool monthShape = first.size() == 3 || (first.size() >= 3 && first.back() == kGbMonth[1]);
  const bool yearShape = first.size() == 4;
  const bool isoShape = first.size() == 10 && first[4] == '-';
  if (!monthShape && !yearShape && !isoShape) return std::nullopt;
  // "Jan 15 10:30", "Jan 15  2020", and the same with "3" + GB2312 month character.
  int month = monthShape ? EnglishMonth(first) : 0;
  if (month == 0 && monthShape) month = GbMonth(first);
  if (month != 0 && i + 2 < count) {
    const auto day = SmallNumber(text(i + 1), 2);
    if (!day) return std::nullopt;
    std::optional<TDateTime> value;
    if (ReadTime(text(i + 2), hour, minute)) {
      value = EncodeRecent(today, month, *day, hour, minute);
    } else if (const auto year = SmallNumber(text(i + 2), 4); year && text(i + 2).size() == 4) {
      value = Encode(*year, month, *day, 0, 0);
    }
    if (!value) return std::nullopt;
    return TDateMatch{*value, i + 2, tokens[i + 2].End + 1};
  }
  // "2010  3" + GB2312 month + " 15 name": year, month, day.
  if (yearShape && AllDigits(first) && i + 2 < count) {
    const int gbMonth = GbMonth(text(i + 1));
    const auto day = SmallNumber(text(i + 2), 2);
    if (gbMonth == 0 || !day) return std::nullopt;
    const auto value = Encode(*SmallNumber(text(i), 4), gbMonth, *day, 0, 0);
    if (!value) return std::nullopt;
    return TDateMatch{*value, i + 2, tokens[i + 2].End + 1};
  }
  // ISO: "2020-01-15 10:30" (ls --time-style=long-iso), also with seconds and a zone.
  const std::string_view iso = first;
  if (isoShape && iso[7] == '-' && i + 1 < count) {
    const auto year = SmallNumber(iso.substr(0, 4), 4);
    const auto mon = SmallNumber(iso.substr(5, 2), 2);
    const auto day = SmallNumber(iso.substr(8, 2), 2);
    std::string_view time = text(i + 1);
    const size_t dot = Find(time, '.');
    if (dot != std::string_view::npos) time = time.substr(0, dot);
    if (!year || !mon || !day || !ReadTime(time, hour, minute)) return std::nullopt;
    const auto value = Encode(*year, *mon, *day, hour, minute);
    if (!value) return std::nullopt;
    // A time zone ("+0100") may follow the time; it belongs to the date, not to the name.
    size_t nameStart = tokens[i + 1].End + 1;
    const std::string_view after = line.substr(std::min(nameStart, line.size()));
    if (after.size() > 6 && (after[0] == '+' || after[0] == '-') && AllDigits(after.substr(1, 4)) &&
        IsBlank(after[5])) {
      nameStart += 6;
    }
    return TDateMatch{*value, i + 1, nameStart};
  }
  return std::nullopt;
}

// The common layout, "perms links owner group size Mon DD HH:MM|YYYY name", read in one pass
// from left to right. Returns false for anything else, which then goes through the general
// field search (that search gives the same result for every line this accepts).
bool ParseStandardUnix(std::string_view line, const TDate& today, TParsedLine& result) {
  const size_t n = line.size();
  size_t p = 10;
  if (p < n && (line[p] == '+' || line[p] == '@' || line[p] == '.')) ++p;
  auto skipBlanks = [&] {
    const size_t from = p;
    p = SkipSpaces(line, p);
    return p > from && p < n;
  };
  auto digits = [&] {
    const size_t from = p;
    while (p < n && IsDigit(line[p])) ++p;
    return line.substr(from, p - from);
  };
  auto word = [&] {
    const size_t from = p;
    p = SkipWord(line, p);
    return line.substr(from, p - from);
  };
  if (!skipBlanks() || digits().empty() || !skipBlanks()) return false;
  // An owner named like a month could be the start of a date for the general search.
  if (EnglishMonth(word()) != 0 || !skipBlanks()) return false;
  if (word().empty() || !skipBlanks()) return false;
  const std::string_view sizeText = digits();
  if (sizeText.empty() || !skipBlanks()) return false;
  const int month = EnglishMonth(word());
  if (month == 0 || !skipBlanks()) return false;
  const auto day = SmallNumber(digits(), 2);
  if (!day || !skipBlanks()) return false;
  const std::string_view when = word();
  if (p + 1 >= n || line[p] != ' ') return false;
  int hour = 0;
  int minute = 0;
  std::optional<TDateTime> modified;
  if (ReadTime(when, hour, minute)) {
    modified = EncodeRecent(today, month, *day, hour, minute);
  } else if (when.size() == 4 && AllDigits(when)) {
    modified = Encode(*SmallNumber(when, 4), month, *day, 0, 0);
  }
  const auto size = Number(sizeText);
  if (!modified || !size) return false;
  result.Item.Attributes = AttributesFromPermissions(line);
  result.Item.Size = (result.Item.Attributes & iaFolder) ? 0 : *size;
  result.Item.Modified = *modified;
  result.Item.Name.assign(line.substr(p + 1));
  result.Kind = TLineKind::Entry;
  return true;
}

void ParseUnix(std::string_view line, const TDate& today, TParsedLine& result) {
  result.UnixLayout = true;
  if (ParseStandardUnix(line, today, result)) return;
  result.Kind = TLineKind::Unreadable;
  // Permissions, link count, owner, group, size, three date fields, with room for servers
  // that add or drop a column. Fields are cut one at a time and the date looked for as soon
  // as there are enough of them: the first place, after at least a size field, where a date
  // reads is the date, so a name that looks like one (it comes later) is never mistaken.
  std::array<TToken, 12> tokens;
  size_t count = 0;
  TFieldScanner fields(line);
  size_t start = 0;
  size_t end = 0;
  while (count < tokens.size() && fields.Next(start, end)) {
    tokens[count++] = {start, end};
    // A date needs two or three fields; try the one that starts two fields back, and an ISO
    // date (two fields) that starts one field back, once its fields are all here.
    for (size_t back : {size_t{2}, size_t{1}}) {
      if (count < back + 3) continue;
      const size_t first = count - 1 - back;
      const auto date = DateAt(line, tokens.data(), count, first, today);
      if (!date || date->LastToken + 1 != count) continue;
      const auto size = SizeBefore(line, tokens.data(), first - 1);
      if (!size) continue;
      const size_t nameStart = date->NameStart;
      if (nameStart >= line.size()) return;  // no name
      const std::string_view permissions =
          line.substr(tokens[0].Start, tokens[0].End - tokens[0].Start);
      result.Item.Name.assign(line.substr(nameStart));
      result.Item.Attributes = AttributesFromPermissions(permissions);
      result.Item.Size = (result.Item.Attributes & iaFolder) ? 0 : *size;
      result.Item.Modified = date->Modified;
      result.Kind = TLineKind::Entry;
      return;
    }
  }
  return;
}

// "01-15-98" or "01-15-2020".
bool ReadDosDate(std::string_view text, int& year, int& month, int& day) {
  if ((text.size() != 8 && text.size() != 10) || text[2] != '-' || text[5] != '-') return false;
  const auto m = SmallNumber(text.substr(0, 2), 2);
  const auto d = SmallNumber(text.substr(3, 2), 2);
  const auto y = SmallNumber(text.substr(6), 4);
  if (!m || !d || !y) return false;
  month = *m;
  day = *d;
  year = text.size() == 10 ? *y : (*y < 80 ? 2000 + *y : 1900 + *y);
  return true;
}

// The classic IIS columns, "MM-DD-YY  HH:MMAM" then the size (or "<DIR>") ending at column 38
// and the name from column 39, read without cutting fields. Returns false for anything else,
// which the general DOS reader then takes (it gives the same result for what this accepts).
bool ParseClassicDos(std::string_view line, TParsedLine& result) {
  constexpr size_t kSizeEnd = 38;  // one past the size field
  constexpr size_t kName = 39;
  if (line.size() <= kName || line[2] != '-' || line[5] != '-' || line[8] != ' ' ||
      line[9] != ' ' || line[12] != ':' || line[17] != ' ' || line[kSizeEnd] != ' ') {
    return false;
  }
  const auto month = SmallNumber(line.substr(0, 2), 2);
  const auto day = SmallNumber(line.substr(3, 2), 2);
  const auto year = SmallNumber(line.substr(6, 2), 2);
  auto hour = SmallNumber(line.substr(10, 2), 2);
  const auto minute = SmallNumber(line.substr(13, 2), 2);
  const char half = static_cast<char>(line[15] & ~0x20);  // upper case
  if (!month || !day || !year || !hour || !minute || (half != 'A' && half != 'P') ||
      (line[16] != 'M' && line[16] != 'm') || *hour < 1 || *hour > 12 || *minute > 59) {
    return false;
  }
  int h = *hour;
  if (half == 'P' && h < 12) h += 12;
  if (half == 'A' && h == 12) h = 0;
  // The size field: blanks, then digits up to column 38; or "<DIR>" at columns 24 to 28.
  size_t digits = kSizeEnd;
  while (digits > 18 && IsDigit(line[digits - 1])) --digits;
  const std::string_view padding = line.substr(18, digits - 18);
  if (digits < kSizeEnd) {
    const auto size = Number(line.substr(digits, kSizeEnd - digits));
    if (padding.find_first_not_of(' ') != std::string_view::npos || !size) return false;
    result.Item.Size = *size;
    result.Item.Attributes = 0;
  } else if (line.substr(24, 5) == "<DIR>" &&
             line.substr(18, 6).find_first_not_of(' ') == std::string_view::npos &&
             line.substr(29, 9).find_first_not_of(' ') == std::string_view::npos) {
    result.Item.Size = 0;
    result.Item.Attributes = iaFolder;
  } else {
    return false;
  }
  const auto modified = Encode(*year < 80 ? 2000 + *year : 1900 + *year, *month, *day, h, *minute);
  if (!modified) return false;
  result.Item.Modified = *modified;
  result.Item.Name.assign(line.substr(kName));
  result.Kind = TLineKind::Entry;
  return true;
}

[[gnu::always_inline]] inline void ParseDos(std::string_view line, TParsedLine& result) {
  result.UnixLayout = false;
  if (ParseClassicDos(line, result)) return;
  result.Kind = TLineKind::Unreadable;
  std::array<TToken, 4> tokens;
  const size_t count = Tokenize(line, 0, tokens);
  auto text = [&](size_t k) {
    return line.substr(tokens[k].Start, tokens[k].End - tokens[k].Start);
  };
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  if (count < 3 || !ReadDosDate(text(0), year, month, day)) return;
  std::string_view time = text(1);
  size_t next = 2;
  std::string_view half;  // "AM" / "PM"
  if (time.size() > 2 && !IsDigit(time.back())) {
    half = time.substr(time.size() - 2);
    time = time.substr(0, time.size() - 2);
  } else if (count > 3 &&
             (EqualsIgnoringCase(text(2), "AM") || EqualsIgnoringCase(text(2), "PM"))) {
    half = text(2);
    next = 3;
  }
  if (!ReadTime(time, hour, minute)) return;
  if (!half.empty()) {
    if (!EqualsIgnoringCase(half, "AM") && !EqualsIgnoringCase(half, "PM")) return;
    if (hour < 1 || hour > 12) return;
    if (EqualsIgnoringCase(half, "PM") && hour < 12) hour += 12;
    if (EqualsIgnoringCase(half, "AM") && hour == 12) hour = 0;  // 12:30AM is half past midnight
  }
  if (next >= count) return;
  const std::string_view sizeField = text(next);
  size_t nameStart = tokens[next].End + 1;
  if (sizeField == "<DIR>") {
    result.Item.Attributes = iaFolder;
    // The size column is blank for folders: the name starts where it would after a size.
    constexpr size_t kDirPadding = 10;
    const size_t padded = tokens[next].End + kDirPadding;
    bool blankPadding = padded < line.size();
    for (size_t k = tokens[next].End; blankPadding && k < padded; ++k) {
      blankPadding = IsBlank(line[k]);
    }
    nameStart = blankPadding ? padded : tokens[next].End;
    while (!blankPadding && nameStart < line.size() && IsBlank(line[nameStart])) ++nameStart;
  } else {
    const auto size = Number(sizeField);
    if (!size) return;
    result.Item.Size = *size;
  }
  if (nameStart >= line.size()) return;
  const auto modified = Encode(year, month, day, hour, minute);
  if (!modified) return;
  result.Item.Name = std::string(line.substr(nameStart));
  result.Item.Modified = *modified;
  result.Kind = TLineKind::Entry;
  return;
}

// Kept out of line: only lines the Unix and DOS rules reject come here.
[[gnu::noinline, gnu::cold]] void ReadOtherListing(std::string_view line, const TDate& today,
                                                   TParsedLine& parsed) {
  if (auto other = ParseOtherListing(line, today)) {
    parsed = std::move(*other);
  } else if (auto facts = ParseFactsLine(line)) {
    // MLSD facts ended by a tab or without their last ";".
    parsed = std::move(*facts);
  } else if (line.size() < 10 && parsed.Item.Name.empty()) {
    // Too short to be any entry (a stray word, a banner fragment): not worth a complaint.
    parsed = TParsedLine{};
  }
}

}  // namespace

std::optional<int64_t> ListingNumber(std::string_view text) {
  return Number(text);
}
int ListingEnglishMonth(std::string_view text) {
  return EnglishMonth(text);
}
bool IsListingPermissions(std::string_view text) {
  return IsPermissionText(text);
}
uint16_t ListingPermissionAttributes(std::string_view text) {
  return AttributesFromPermissions(text);
}
std::optional<TDateTime> ListingDate(int year, int month, int day, int hour, int minute) {
  return Encode(year, month, day, hour, minute);
}
std::optional<TDateTime> ListingRecentDate(const TDate& today, int month, int day, int hour,
                                           int minute) {
  return EncodeRecent(today, month, day, hour, minute);
}

// Every path returns `parsed` itself, so the entry is built in place: the common Unix and DOS
// lines copy nothing.
TParsedLine ParseListingLine(std::string_view line, const TDate& today) {
  TParsedLine parsed;
  // MLSD lines, and the LIST answers of servers that send the same facts: no Unix or DOS
  // line starts with "fact=value;".
  if (LooksLikeClosedFacts(line)) {
    if (auto facts = ParseFactsLine(line)) {
      parsed = std::move(*facts);
      return parsed;
    }
  }
  size_t first = 0;
  while (first < line.size() && IsBlank(line[first])) ++first;
  if (first == line.size()) return parsed;
  if (line.size() >= 5 && EqualsIgnoringCase(line.substr(0, 5), "total")) return parsed;
  std::array<TToken, 1> head;
  Tokenize(line, 0, head);
  const std::string_view firstField = line.substr(head[0].Start, head[0].End - head[0].Start);
  if (IsPermissionText(firstField)) {
    ParseUnix(line, today, parsed);
  } else if (firstField.size() >= 8 && IsDigit(firstField[0]) && firstField[2] == '-') {
    ParseDos(line, parsed);
  } else {
    parsed.Kind = TLineKind::Unreadable;
  }
  // Lines these rules reject go to the other servers' recognizers.
  if (parsed.Kind == TLineKind::Unreadable) [[unlikely]] {
    ReadOtherListing(line, today, parsed);
  }
  return parsed;
}

std::string PermissionLetters(uint16_t attributes) {
  static constexpr char kLetters[] = "rwxrwxrwx";
  std::string out(9, '-');
  for (int i = 0; i < 9; ++i) {
    if (attributes & (iaOwnerRead << i)) out[static_cast<size_t>(i)] = kLetters[i];
  }
  return out;
}

}  // namespace pelmar
