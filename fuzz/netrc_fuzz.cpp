// Feeds arbitrary bytes to pelmar-cli's .netrc reader, then looks an entry up in what it read.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Credentials.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto entries = pelmar::ParseNetrc(text);
  // Every entry starts at a "machine" or "default" word, each at least 7 bytes of the text.
  if (entries.size() > size / 7 + 1) std::abort();
  const std::string host = entries.empty() ? "a.example" : entries.front().Machine;
  const auto entry = pelmar::FindNetrcEntry(entries, host, "");
  if (entry && !entry->Machine.empty() && entry->Machine != host) std::abort();
  return 0;
}
