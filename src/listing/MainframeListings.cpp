#include "listing/OtherListingFamilies.h"

#include "listing/ListingFields.h"
#include "listing/OtherListingFields.h"
#include "platform/AsciiText.h"
#include "platform/Numbers.h"

namespace pelmar::other_listings {

namespace {

// "02/23/00", "23/02/00", "98/11/10", "18.09.06": a date in the server job's format, read as
// the separator suggests. Slashes: month first; when the first part cannot be a month, year
// first, else day first. Dots, the European separator: day first, else year first. Where there
// is a choice, a reading that is impossible or in the future gives way to the next.
std::optional<TDateTime> As400Date(std::string_view d, int hour, int minute, const TDate& today) {
  if (d.size() != 8 || (d[2] != '/' && d[2] != '.') || d[5] != d[2]) return std::nullopt;
  const auto x = Small(d.substr(0, 2), 2);
  const auto y = Small(d.substr(3, 2), 2);
  const auto z = Small(d.substr(6, 2), 2);
  if (!x || !y || !z) return std::nullopt;
  const auto latest = ListingDate(today.Year, today.Month, today.Day, 23, 59);
  auto read = [&](int year, int month, int day) -> std::optional<TDateTime> {
    const auto value = ListingDate(year + (year < 70 ? 2000 : 1900), month, day, hour, minute);
    if (!value || (latest && *value > *latest + 1)) return std::nullopt;
    return value;
  };
  if (d[2] == '.') {
    if (const auto dayFirst = read(*z, *y, *x)) return dayFirst;
    return read(*x, *y, *z);
  }
  if (*x <= 12) return ListingDate(*z + (*z < 70 ? 2000 : 1900), *x, *y, hour, minute);
  if (const auto yearFirst = read(*x, *y, *z)) return yearFirst;
  return read(*z, *y, *x);
}

}  // namespace

// AS/400: "QSYS  77824 02/23/00 15:09:55 *DIR QSYS/", "QDOC 8192 98/11/10 10:32:35 *FILE A.B".
std::optional<TParsedLine> As400(std::string_view line, const std::vector<TField>& f,
                                 const TDate& today) {
  if (f.size() < 6 || f[4].Text.size() < 2 || f[4].Text[0] != '*') return std::nullopt;
  const auto size = ListingNumber(f[1].Text);
  int hour = 0;
  int minute = 0;
  bool nextDay = false;
  if (!size || !ReadClock(f[3].Text, hour, minute, nextDay)) return std::nullopt;
  const auto date = AddDay(As400Date(f[2].Text, hour, minute, today), nextDay);
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

// MVS datasets: "WYOSPT 3420   2003/05/21  1  200  FB  80  8053  PS  INCOMING.RPTBM023" (volume,
// unit, last referred, extents, tracks used, record format, record length, block size,
// organization, name), without the unit column on newer systems; extents and tracks may run
// together ("213000", "1+++++") or show "????" (not known) and "++++" (too many to show).
// Also "**NONE**" for a date never referred to, VSAM clusters, "Migrated  NAME", and the
// heading line. The sizes are tracks and records, not bytes: no byte count can be told, and a
// made-up one would fail downloads as short, so the size is 0.
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
  // Migrated datasets, and VSAM clusters ("VSAM  NAME", or after their volume and unit).
  if ((f.size() == 2 &&
       (f[0].Text == "Migrated" || f[0].Text == "ARCIVE" || f[0].Text == "VSAM")) ||
      (f.size() == 4 && f[2].Text == "VSAM")) {
    auto parsed = Entry(std::string(f.back().Text), 0, 0, 0);
    parsed.UnixLayout = false;
    return parsed;
  }
  if (f.size() < 8 || f.size() > 10) return std::nullopt;
  auto isDate = [](std::string_view text) {
    int year = 0;
    int month = 0;
    int day = 0;
    return text == "**NONE**" || (text.size() == 10 && WholeDate(text, year, month, day));
  };
  const size_t referred = isDate(f[2].Text) ? 2 : isDate(f[1].Text) ? 1 : 0;
  const size_t n = f.size();
  const size_t recfm = n - 5;
  if (referred == 0 || recfm <= referred + 1 || recfm > referred + 3) return std::nullopt;
  // Extents and tracks used: digits, then maybe "+" or "?" marks; or marks alone.
  for (size_t i = referred + 1; i < recfm; ++i) {
    const std::string_view count = f[i].Text;
    const size_t marks = count.find_first_not_of("0123456789");
    if (marks != std::string_view::npos &&
        count.find_first_not_of(count[marks] == '+' ? "+" : "?", marks) != std::string_view::npos) {
      return std::nullopt;
    }
  }
  if (f[recfm].Text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ?") != std::string_view::npos ||
      !AllDigits(f[n - 4].Text) || !AllDigits(f[n - 3].Text)) {
    return std::nullopt;
  }
  TDateTime modified = 0;
  if (f[referred].Text != "**NONE**") {
    int year = 0;
    int month = 0;
    int day = 0;
    WholeDate(f[referred].Text, year, month, day);
    const auto date = ListingDate(year, month, day, 0, 0);
    if (!date) return std::nullopt;
    modified = *date;
  }
  // PS, PO, PO-E, DA, VS, or "??" for a dataset never opened.
  const std::string_view dsorg = f[n - 2].Text;
  const bool partitioned = dsorg == "PO" || dsorg == "PO-E";
  if (dsorg.size() < 2 || dsorg.size() > 4 ||
      dsorg.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ-?") != std::string_view::npos) {
    return std::nullopt;
  }
  auto parsed = Entry(std::string(f[n - 1].Text), partitioned ? iaFolder : 0, 0, modified);
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

}  // namespace pelmar::other_listings
