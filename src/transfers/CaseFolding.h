#pragma once
// Servers that do not tell upper from lower case in names (Windows, IIS, many NAS): there
// "README.TXT" and "readme.txt" name one file, so writing one overwrites the other and deleting
// one deletes both. How such a server is recognised, and names compared as it compares them.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "transfers/TreeWalk.h"

namespace pelmar {

// `name` with its letters in lower case: ASCII, and the Latin, Greek and Cyrillic letters of a
// UTF-8 name. Bytes that are not UTF-8 stay as they are.
std::string FoldedName(const std::string& name);

// `name` with the case of each ASCII letter swapped ("ReadMe" -> "rEADmE").
std::string SwappedCase(const std::string& name);

// What a probe asks of the server, by names of the listed folder: a file's time (MDTM; nothing
// when it gives none) and whether a folder can be entered.
struct TCaseProbe {
  std::function<std::optional<int64_t>(const std::string& name)> FileTime;
  std::function<bool(const std::string& name)> EntersFolder;
};

// Whether the server that listed `entries` (one folder's) folds case: a file asked for by its
// name with the case swapped (a name the listing does not have) answers with the file's own
// time, or such a name of a folder can be entered. Nothing when the listing offers no name to
// try or the server answers neither way.
std::optional<bool> ProbeCaseFolding(const std::vector<TWalkEntry>& entries,
                                     const TCaseProbe& probe);

}  // namespace pelmar
