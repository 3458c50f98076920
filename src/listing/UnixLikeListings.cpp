#include "listing/OtherListingFamilies.h"

#include "listing/ListingFields.h"
#include "listing/OtherListingFields.h"
#include "platform/AsciiText.h"
#include "platform/Numbers.h"

namespace pelmar::other_listings {

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
    // These layouts pad the date to a width of its own: the name is the next field on.
    if (date->Last + 1 >= f.size()) continue;
    const size_t nameStart = f[date->Last + 1].Start;
    auto parsed = Entry(std::string(line.substr(nameStart)), attributes, *size, date->Value);
    return parsed;
  }
  // Without a date: "perms links owner group size name", unless what would be the name holds
  // what reads as a date (then it is a line with a date that does not read).
  if (f.size() >= 6 && AllDigits(f[1].Text) && AllDigits(f[4].Text) && MonthName(f[5].Text) == 0 &&
      !AllDigits(f[5].Text) && !LooksLikeDate(f[5].Text)) {
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

// VShell's older layout, without permissions: "206876  Apr 04, 2000 21:06 name"; a folder's
// name ends in "/", which is no part of it.
std::optional<TParsedLine> VShell(std::string_view line, const std::vector<TField>& f) {
  if (f.size() < 6 || !AllDigits(f[0].Text) || f[2].Text.size() < 2 || f[2].Text.back() != ',' ||
      f[3].Text.size() != 4) {
    return std::nullopt;
  }
  const auto size = ListingNumber(f[0].Text);
  const int month = ListingEnglishMonth(f[1].Text);
  const auto day = Small(f[2].Text.substr(0, f[2].Text.size() - 1), 2);
  const auto year = Small(f[3].Text, 4);
  int hour = 0;
  int minute = 0;
  bool nextDay = false;
  if (!size || month == 0 || !day || !year || !ReadClock(f[4].Text, hour, minute, nextDay)) {
    return std::nullopt;
  }
  const auto date = AddDay(ListingDate(*year, month, *day, hour, minute), nextDay);
  std::string_view name = line.substr(f[4].End + 1);
  const bool folder = name.back() == '/';
  if (folder) name.remove_suffix(1);
  if (!date || name.empty()) return std::nullopt;
  auto parsed = Entry(std::string(name), folder ? iaFolder : 0, *size, *date);
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

}  // namespace pelmar::other_listings
