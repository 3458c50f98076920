#include "views/ListingParser.h"

#include <array>
#include <cstdint>
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

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The blank-separated fields of the line from `from`, at most `max` of them.
template <size_t N>
size_t Tokenize(std::string_view line, size_t from, std::array<TToken, N>& tokens) {
  size_t count = 0;
  size_t i = from;
  while (count < N) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    const size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
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
  if (!AllDigits(text)) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    const int digit = c - '0';
    if (value > (std::numeric_limits<int64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<int> SmallNumber(std::string_view text, size_t maxDigits) {
  if (text.size() > maxDigits) return std::nullopt;
  const auto value = Number(text);
  if (!value) return std::nullopt;
  return static_cast<int>(*value);
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// 1..12 for "Jan".."Dec" (any letter case), else 0.
int EnglishMonth(std::string_view text) {
  static constexpr std::string_view kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                 "jul", "aug", "sep", "oct", "nov", "dec"};
  if (text.size() != 3) return 0;
  for (int m = 0; m < 12; ++m) {
    if (EqualsNoCase(text, kMonths[m])) return m + 1;
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
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2) return false;
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
  const auto todayValue = TryEncodeDate(today.Year, today.Month, today.Day);
  const auto thisYear = TryEncodeDate(today.Year, month, day);
  const int year = thisYear && todayValue && *thisYear <= *todayValue + 1 ? today.Year
                                                                          : today.Year - 1;
  return Encode(year, month, day, hour, minute);
}

// "drwxr-xr-x", optionally followed by "+" (ACL), "@" (extended attributes) or "." (SELinux).
bool IsPermissionText(std::string_view text) {
  if (text.size() == 11 && (text[10] == '+' || text[10] == '@' || text[10] == '.')) {
    text = text.substr(0, 10);
  }
  if (text.size() != 10) return false;
  if (std::string_view("-dlcbpsDn").find(text[0]) == std::string_view::npos) return false;
  for (size_t i = 1; i < 10; ++i) {
    if (std::string_view("rwxsStTlL-").find(text[i]) == std::string_view::npos) return false;
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
  if (field.find(',') != std::string_view::npos) {
    const size_t comma = field.find(',');
    if (AllDigits(field.substr(0, comma)) && AllDigits(field.substr(comma + 1))) return 0;
    return std::nullopt;
  }
  if (!AllDigits(field)) return std::nullopt;
  if (at >= 2) {
    const std::string_view before =
        line.substr(tokens[at - 1].Start, tokens[at - 1].End - tokens[at - 1].Start);
    if (before.size() >= 2 && before.back() == ',' && AllDigits(before.substr(0, before.size() - 1))) {
      return 0;
    }
  }
  return Number(field);
}

struct TDateMatch {
  TDateTime Modified = 0;
  size_t LastToken = 0;  // the name starts one blank after this token
};

// Tries to read a date whose first field is tokens[i].
std::optional<TDateMatch> DateAt(std::string_view line, const TToken* tokens, size_t count,
                                 size_t i, const TDate& today) {
  auto text = [&](size_t k) {
    return line.substr(tokens[k].Start, tokens[k].End - tokens[k].Start);
  };
  int hour = 0;
  int minute = 0;
  // "Jan 15 10:30", "Jan 15  2020", and the same with "3" + GB2312 month character.
  int month = EnglishMonth(text(i));
  if (month == 0) month = GbMonth(text(i));
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
    return TDateMatch{*value, i + 2};
  }
  // "2010  3" + GB2312 month + " 15 name": year, month, day.
  if (text(i).size() == 4 && AllDigits(text(i)) && i + 2 < count) {
    const int gbMonth = GbMonth(text(i + 1));
    const auto day = SmallNumber(text(i + 2), 2);
    if (gbMonth == 0 || !day) return std::nullopt;
    const auto value = Encode(*SmallNumber(text(i), 4), gbMonth, *day, 0, 0);
    if (!value) return std::nullopt;
    return TDateMatch{*value, i + 2};
  }
  // ISO: "2020-01-15 10:30" (ls --time-style=long-iso), also with seconds and a zone.
  const std::string_view iso = text(i);
  if (iso.size() == 10 && iso[4] == '-' && iso[7] == '-' && i + 1 < count) {
    const auto year = SmallNumber(iso.substr(0, 4), 4);
    const auto mon = SmallNumber(iso.substr(5, 2), 2);
    const auto day = SmallNumber(iso.substr(8, 2), 2);
    std::string_view time = text(i + 1);
    const size_t dot = time.find('.');
    if (dot != std::string_view::npos) time = time.substr(0, dot);
    if (!year || !mon || !day || !ReadTime(time, hour, minute)) return std::nullopt;
    const auto value = Encode(*year, *mon, *day, hour, minute);
    if (!value) return std::nullopt;
    size_t last = i + 1;
    if (i + 2 < count) {
      const std::string_view zone = text(i + 2);
      if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-') && AllDigits(zone.substr(1))) {
        last = i + 2;
      }
    }
    return TDateMatch{*value, last};
  }
  return std::nullopt;
}

TParsedLine ParseUnix(std::string_view line, const TDate& today) {
  TParsedLine result;
  result.Kind = TLineKind::Unreadable;
  result.UnixLayout = true;
  // Permissions, link count, owner, group, size, three date fields, with room for servers
  // that add or drop a column.
  std::array<TToken, 12> tokens;
  const size_t count = Tokenize(line, 0, tokens);
  const std::string_view permissions =
      line.substr(tokens[0].Start, tokens[0].End - tokens[0].Start);
  // The date is the first place, after at least a size field, where a date reads; a name that
  // looks like a date comes after the real one.
  for (size_t i = 2; i + 1 < count; ++i) {
    const auto date = DateAt(line, tokens.data(), count, i, today);
    if (!date) continue;
    const auto size = SizeBefore(line, tokens.data(), i - 1);
    if (!size) continue;
    const size_t nameStart = tokens[date->LastToken].End + 1;
    if (nameStart >= line.size()) return result;  // no name
    result.Item.Name = std::string(line.substr(nameStart));
    result.Item.Attributes = AttributesFromPermissions(permissions);
    result.Item.Size = (result.Item.Attributes & iaFolder) ? 0 : *size;
    result.Item.Modified = date->Modified;
    result.Kind = TLineKind::Entry;
    return result;
  }
  return result;
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

TParsedLine ParseDos(std::string_view line) {
  TParsedLine result;
  result.Kind = TLineKind::Unreadable;
  result.UnixLayout = false;
  std::array<TToken, 4> tokens;
  const size_t count = Tokenize(line, 0, tokens);
  auto text = [&](size_t k) {
    return line.substr(tokens[k].Start, tokens[k].End - tokens[k].Start);
  };
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  if (count < 3 || !ReadDosDate(text(0), year, month, day)) return result;
  std::string_view time = text(1);
  size_t next = 2;
  std::string_view half;  // "AM" / "PM"
  if (time.size() > 2 && !IsDigit(time.back())) {
    half = time.substr(time.size() - 2);
    time = time.substr(0, time.size() - 2);
  } else if (count > 3 && (EqualsNoCase(text(2), "AM") || EqualsNoCase(text(2), "PM"))) {
    half = text(2);
    next = 3;
  }
  if (!ReadTime(time, hour, minute)) return result;
  if (!half.empty()) {
    if (!EqualsNoCase(half, "AM") && !EqualsNoCase(half, "PM")) return result;
    if (hour < 1 || hour > 12) return result;
    if (EqualsNoCase(half, "PM") && hour < 12) hour += 12;
    if (EqualsNoCase(half, "AM") && hour == 12) hour = 0;  // 12:30AM is half past midnight
  }
  if (next >= count) return result;
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
    if (!size) return result;
    result.Item.Size = *size;
  }
  if (nameStart >= line.size()) return result;
  const auto modified = Encode(year, month, day, hour, minute);
  if (!modified) return result;
  result.Item.Name = std::string(line.substr(nameStart));
  result.Item.Modified = *modified;
  result.Kind = TLineKind::Entry;
  return result;
}

}  // namespace

TParsedLine ParseListingLine(std::string_view line, const TDate& today) {
  size_t first = 0;
  while (first < line.size() && IsBlank(line[first])) ++first;
  if (first == line.size()) return {};
  if (line.size() >= 5 && EqualsNoCase(line.substr(0, 5), "total")) return {};
  std::array<TToken, 1> head;
  Tokenize(line, 0, head);
  const std::string_view firstField = line.substr(head[0].Start, head[0].End - head[0].Start);
  if (IsPermissionText(firstField)) return ParseUnix(line, today);
  if (firstField.size() >= 8 && IsDigit(firstField[0]) && firstField[2] == '-') {
    return ParseDos(line);
  }
  // Too short to be any entry (a stray word, a banner fragment): not worth a complaint.
  if (line.size() < 10) return {};
  TParsedLine unreadable;
  unreadable.Kind = TLineKind::Unreadable;
  return unreadable;
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
