#include "transfers/CaseFolding.h"

#include <algorithm>

namespace pelmar {
namespace {

// The lower-case letter of an upper-case one in U+0080..U+07FF (two UTF-8 bytes); every
// other code point is its own.
char32_t LowerLetter(char32_t c) {
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;  // Latin-1: À..Þ
  if (c == 0x178) return 0xFF;                               // Ÿ
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A: pairs, upper first, the pair boundary moving at ĸ and ŉ.
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return c % 2 == 1 ? c + 1 : c;
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    return c % 2 == 0 ? c + 1 : c;
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;  // Greek
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;                // Cyrillic А..Я
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;                // Ѐ..Џ
  return c;
}

bool HasAsciiLetter(const std::string& name) {
  return std::any_of(name.begin(), name.end(),
                     [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

// The first entry of the kind whose swapped name changes and is not listed itself.
const TWalkEntry* Candidate(const std::vector<TWalkEntry>& entries, bool folder) {
  for (const TWalkEntry& entry : entries) {
    if (entry.IsFolder != folder || entry.IsLink || !HasAsciiLetter(entry.Name)) continue;
    const std::string swapped = SwappedCase(entry.Name);
    const bool listed = std::any_of(entries.begin(), entries.end(),
                                    [&](const TWalkEntry& other) { return other.Name == swapped; });
    if (!listed) return &entry;
  }
  return nullptr;
}

}  // namespace

std::string FoldedName(const std::string& name) {
  std::string folded;
  folded.reserve(name.size());
  for (size_t at = 0; at < name.size();) {
    const auto lead = static_cast<unsigned char>(name[at]);
    if (lead >= 'A' && lead <= 'Z') {
      folded += static_cast<char>(lead + ('a' - 'A'));
      ++at;
      continue;
    }
    const bool twoBytes = (lead & 0xE0) == 0xC0 && at + 1 < name.size() &&
                          (static_cast<unsigned char>(name[at + 1]) & 0xC0) == 0x80;
    if (!twoBytes) {
      folded += name[at++];
      continue;
    }
    const char32_t lower = LowerLetter(static_cast<char32_t>(
        ((lead & 0x1F) << 6) | (static_cast<unsigned char>(name[at + 1]) & 0x3F)));
    folded += static_cast<char>(0xC0 | (lower >> 6));
    folded += static_cast<char>(0x80 | (lower & 0x3F));
    at += 2;
  }
  return folded;
}

std::string SwappedCase(const std::string& name) {
  std::string swapped = name;
  for (char& c : swapped) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - ('a' - 'A'));
    } else if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c + ('a' - 'A'));
    }
  }
  return swapped;
}

std::optional<bool> ProbeCaseFolding(const std::vector<TWalkEntry>& entries,
                                     const TCaseProbe& probe) {
  if (const TWalkEntry* file = Candidate(entries, false); file && probe.FileTime) {
    // Without MDTM (or with the file refused) the folder below is tried instead.
    if (const auto own = probe.FileTime(file->Name)) {
      const auto other = probe.FileTime(SwappedCase(file->Name));
      return other && *other == *own;
    }
  }
  if (const TWalkEntry* folder = Candidate(entries, true); folder && probe.EntersFolder) {
    if (probe.EntersFolder(SwappedCase(folder->Name))) return true;
    // Only a folder that can be entered by its own name tells anything.
    if (probe.EntersFolder(folder->Name)) return false;
  }
  return std::nullopt;
}

}  // namespace pelmar
