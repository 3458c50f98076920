#include "listing/OtherListingFamilies.h"

#include "listing/ListingFields.h"
#include "listing/OtherListingFields.h"
#include "platform/AsciiText.h"
#include "platform/Numbers.h"

namespace pelmar::other_listings {

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

}  // namespace pelmar::other_listings
