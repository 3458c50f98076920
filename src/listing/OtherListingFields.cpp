#include "listing/OtherListingFields.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "listing/ListingFields.h"
#include "platform/AsciiText.h"
#include "platform/Numbers.h"

namespace pelmar::other_listings {
namespace {

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

}  // namespace

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

bool ReadClock(std::string_view text, int& hour, int& minute, bool& nextDay, bool twelveHour) {
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

std::optional<TDateTime> AddDay(std::optional<TDateTime> value, bool nextDay) {
  if (value && nextDay) *value += 1;
  return value;
}

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

bool NamedMonthDate(std::string_view text, int& year, int& month, int& day) {
  const size_t a = text.find('-');
  const size_t b = text.rfind('-');
  if (a == std::string_view::npos || a == b) return false;
  const auto d = Small(text.substr(0, a), 2);
  const int m = MonthName(text.substr(a + 1, b - a - 1));
  const std::string_view digits = text.substr(b + 1);
  const auto y = digits.size() == 2 || digits.size() == 4 ? Small(digits, 4) : std::nullopt;
  if (!d || m == 0 || !y) return false;
  day = *d;
  month = m;
  year = digits.size() == 4 ? *y : *y < 70 ? 2000 + *y : 1900 + *y;
  return true;
}

std::optional<TDateTime> DateAndClock(std::string_view date, std::string_view clock,
                                      TDateReader read, bool twelveHour) {
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

}  // namespace pelmar::other_listings
