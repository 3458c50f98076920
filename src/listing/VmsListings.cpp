#include "listing/OtherListingFamilies.h"

#include "listing/ListingFields.h"
#include "listing/OtherListings.h"
#include "platform/AsciiText.h"
#include "platform/Numbers.h"

namespace pelmar {
namespace other_listings {
namespace {

// "NAME.TXT;1" or "[.SUB]NAME.DIR;3": a VMS file name with its version.
bool IsVmsName(std::string_view text) {
  const size_t semicolon = text.rfind(';');
  return semicolon != std::string_view::npos && semicolon > 0 &&
         AllDigits(text.substr(semicolon + 1));
}

}  // namespace

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

}  // namespace other_listings

bool IsVmsNameAlone(std::string_view line) {
  const auto f = other_listings::Fields(line);
  return f.size() == 1 && other_listings::IsVmsName(f[0].Text);
}

}  // namespace pelmar
