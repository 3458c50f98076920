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

// ".name.pelmar-upload" beside `remote`: where an upload that replaces a file is stored until it
// is whole (both protocols).
inline std::string TemporaryUploadName(const std::string& remote) {
  const size_t slash = remote.find_last_of('/');
  const size_t at = slash == std::string::npos ? 0 : slash + 1;
  return remote.substr(0, at) + "." + remote.substr(at) + ".pelmar-upload";
}

// An upload's fourth argument when the caller's listing showed no file of that name.
inline const std::string kUploadKnownNew = "new";

}  // namespace pelmar
