// Feeds arbitrary bytes to the listing pass as one LIST reply, through the same rules a pane
// applies to each entry.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "listing/FolderItems.h"
#include "listing/ItemCache.h"
#include "listing/ListingPass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  pelmar::TItemCache cache;
  pelmar::TFolderItems folder(cache);
  folder.Masks = {"*.txt", "a?c*"};
  pelmar::TListingHooks hooks;
  hooks.AddItem = [&](const pelmar::TRemoteItem& item) {
    if (item.Name.empty() || item.Size < 0) std::abort();
    // A CR may belong to a name ("Icon" and a CR); an LF always ends the line.
    if (item.Name.find('\n') != std::string::npos) std::abort();
    folder.Add(item);
  };
  hooks.Log = [](const std::string&) {};
  pelmar::TListingPass pass;
  pass.ListingReceived(text, pelmar::TDate{2026, 6, 15}, hooks);
  return 0;
}
