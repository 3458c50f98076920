#include "listing/OtherListingFamilies.h"

#include "listing/ListingFields.h"
#include "listing/OtherListingFields.h"
#include "platform/AsciiText.h"
#include "platform/Numbers.h"

namespace pelmar::other_listings {

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

}  // namespace pelmar::other_listings
