#pragma once
// Reads one line of an MLSD reply (RFC 3659): "fact=value;fact=value; name". The facts give
// the type, the exact size, the modification time in UTC to the second and, from Unix
// servers, the permission bits; the name is everything after the one blank that ends the
// facts, taken whole (blanks, tabs, " -> ", leading and trailing spaces). Some servers end the
// facts with a tab, or leave out their last ";" (then only facts known by name count). Some
// send such lines as their LIST answer too, so the listing parser tries this first.

#include <optional>
#include <string_view>

#include "listing/ListingParser.h"

namespace pelmar {

// Whether `line` starts with a run of "fact=value;" pairs followed by a blank.
bool LooksLikeFacts(std::string_view line);

// The common shape, told cheaply before the Unix and DOS rules: the first space comes right
// after a ";". Lines of the other shapes are read after those rules reject them.
inline bool LooksLikeClosedFacts(std::string_view line) {
  const size_t blank = line.find(' ');
  return blank != std::string_view::npos && blank > 0 && line[blank - 1] == ';';
}

// The entry of a facts line; "cdir" and "pdir" entries (the folder itself and its parent) are
// NotAnEntry. Nothing when the line is no facts line at all.
std::optional<TParsedLine> ParseFactsLine(std::string_view line);

}  // namespace pelmar
