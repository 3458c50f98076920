#include "listing/OtherListings.h"

#include <vector>

#include "listing/OtherListingFamilies.h"

namespace pelmar {
namespace {

using other_listings::AllDigits;
using other_listings::TField;

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
  using namespace other_listings;
  if (auto eplf = Eplf(line)) return eplf;
  const std::vector<TField> f = Fields(line);
  if (f.empty()) return std::nullopt;
  if (IsHeadingOrTotal(f)) return TParsedLine{};
  for (auto* recognize : {&NumericUnix, &DosVariant, &Os2}) {
    if (auto parsed = recognize(line, f)) return parsed;
  }
  if (auto parsed = As400(line, f, today)) return parsed;
  if (auto parsed = VShell(line, f)) return parsed;
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
