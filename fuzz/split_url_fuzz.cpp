// Feeds arbitrary text to Split URL: it must never crash, and the parts must come from the
// text itself.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "text/TextUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string url(reinterpret_cast<const char*>(data), size);
  const pelmar::TSplitUrl parts = pelmar::SplitUrl(url, "default@example.com");
  if (parts.Folder.empty() || parts.Folder[0] != '/') std::abort();
  if (parts.FileName.find('/') != std::string::npos) std::abort();
  if (parts.Host.size() > url.size()) std::abort();
  return 0;
}
