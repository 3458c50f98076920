// Feeds arbitrary names, as a server may list them, to the check every name from a server
// passes before it becomes part of a local path, and to the check of a destination folder
// built from such names.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transfers/TransferQueue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  // A name that passes can be joined to a folder without leaving it.
  if (pelmar::IsSafeLocalName(name) &&
      (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
       name.find('\0') != std::string::npos)) {
    std::abort();
  }
  // The same bytes as the folders below a download's root: accepted only when every level is
  // a safe name, so the folder stays inside the root.
  const std::string root = "/home/user/Downloads/";
  const std::string folder = root + name;
  if (pelmar::DestinationProblem(root, folder).empty()) {
    size_t at = root.size();
    while (at < folder.size()) {
      const size_t slash = folder.find('/', at);
      const size_t end = slash == std::string::npos ? folder.size() : slash;
      if (!pelmar::IsSafeLocalName(folder.substr(at, end - at))) std::abort();
      at = end + 1;
    }
  }
  return 0;
}
