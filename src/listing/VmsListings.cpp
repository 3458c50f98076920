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

// The size field in 512-byte blocks, used or used/allocated ("213/216"), or in bytes with a
// unit ("2KB", "1.5MB").
std::optional<int64_t> VmsBytes(std::string_view text) {
  const size_t slash = text.find('/');
  if (slash != std::string_view::npos && !AllDigits(text.substr(slash + 1))) return std::nullopt;
  if (const auto blocks = ListingNumber(text.substr(0, slash))) return CheckedProduct(*blocks, 512);
  if (slash == std::string_view::npos && text.size() > 2 && AsciiLower(text.back()) == 'b' &&
      std::string_view("kmg").find(static_cast<char>(AsciiLower(text[text.size() - 2]))) !=
          std::string_view::npos &&
      IsDigit(text[0])) {
    return SizeText(text.substr(0, text.size() - 1), false);
  }
  return std::nullopt;
}

}  // namespace

// VMS: "NAME.TXT;1   2/3   12-JAN-1998 12:34:56  [GROUP,OWNER]  (RWED,RWED,RE,)"; sizes are
// 512-byte blocks (or bytes with a unit), the time may be missing, and some servers put the
// owner, or the date and time, before the size. "NAME.DIR;1" is the folder NAME.
std::optional<TParsedLine> Vms(const std::vector<TField>& f) {
  if (f.size() < 3 || !IsVmsName(f[0].Text)) return std::nullopt;
  size_t at = 1;
  // "[GROUP,OWNER]" before the size; a blank may follow its comma.
  if (f[at].Text.front() == '[') {
    while (at < f.size() && f[at].Text.back() != ']') ++at;
    ++at;
  }
  if (at + 1 >= f.size()) return std::nullopt;
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  bool nextDay = false;
  // The date, and its time where a field with a colon follows (it must then read as one).
  const auto readDate = [&](size_t& i) {
    if (i >= f.size() || !NamedMonthDate(f[i].Text, year, month, day)) return false;
    ++i;
    if (i < f.size() && IsDigit(f[i].Text.front()) &&
        f[i].Text.find(':') != std::string_view::npos) {
      if (!ReadClock(f[i].Text, hour, minute, nextDay)) return false;
      ++i;
    }
    return true;
  };
  auto bytes = VmsBytes(f[at].Text);
  if (bytes) {
    ++at;
    if (!readDate(at)) return std::nullopt;
  } else {
    // Some servers put the date and time before the size.
    if (!readDate(at) || at >= f.size()) return std::nullopt;
    bytes = VmsBytes(f[at].Text);
    if (!bytes) return std::nullopt;
    ++at;
  }
  const auto date = AddDay(ListingDate(year, month, day, hour, minute), nextDay);
  if (!date) return std::nullopt;
  // What may follow: the owner in brackets and the protection in parentheses.
  for (size_t i = at; i < f.size(); ++i) {
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
