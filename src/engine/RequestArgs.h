#pragma once

#include <string>
#include <vector>

namespace pelmar {

// A request's argument by position; missing arguments read as empty strings.
inline const std::string& RequestArg(const std::vector<std::string>& args, size_t index) {
  static const std::string empty;
  return index < args.size() ? args[index] : empty;
}

// A download's fifth argument when nothing may be at the local name yet: a file or link that
// appeared there since the transfer was decided is left alone.
inline const std::string kDownloadNewOnly = "new";

// An upload's fourth argument when the caller's listing showed no file of that name.
inline const std::string kUploadKnownNew = "new";

}  // namespace pelmar
