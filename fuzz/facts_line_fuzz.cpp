// Feeds arbitrary bytes to the MLSD facts-line reader as one line.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "listing/FactsLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const auto parsed = pelmar::ParseFactsLine(line);
  if (!parsed) return 0;
  // Only a facts line is read as one, and an entry never has a name that is not in the line,
  // a negative size or a date that is no number.
  if (!pelmar::LooksLikeFacts(line)) std::abort();
  if (parsed->Kind == pelmar::TLineKind::Entry) {
    const pelmar::TRemoteItem& item = parsed->Item;
    if (item.Name.empty() || item.Size < 0 || !std::isfinite(item.Modified)) std::abort();
  }
  return 0;
}
