#include "listing/FactsLine.h"

#include <algorithm>

#include "platform/AsciiText.h"
#include "platform/Numbers.h"

namespace pelmar {
namespace {

// FNV-1a of the fact's text; never 0, which stands for none.
uint64_t UniqueNumber(std::string_view text) {
  uint64_t hash = 14695981039346656037ull;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash == 0 ? 1 : hash;
}

// "0755", "755" or "100644": the permission bits of the last three octal digits.
std::optional<uint16_t> ModeBits(std::string_view text) {
  // pyftpdlib writes the mode as Python prints octal numbers: "0o644".
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'o' || text[1] == 'O'))
    text.remove_prefix(2);
  if (text.empty() || text.size() > 7) return std::nullopt;
  unsigned mode = 0;
  for (char c : text) {
    if (c < '0' || c > '7') return std::nullopt;
    mode = mode * 8 + static_cast<unsigned>(c - '0');
  }
  static constexpr uint16_t kBits[9] = {iaOtherExec, iaOtherWrite, iaOtherRead,
                                        iaGroupExec, iaGroupWrite, iaGroupRead,
                                        iaOwnerExec, iaOwnerWrite, iaOwnerRead};
  uint16_t bits = 0;
  for (unsigned bit = 0; bit < 9; ++bit) {
    if (mode & (1u << bit)) bits |= kBits[bit];
  }
  return bits;
}

// The facts of RFC 3659 and the extensions servers add ("UNIX.mode", "OS.unix=slink", "x.hash"),
// and Pure-FTPd's "sizd".
bool KnownFact(std::string_view name) {
  const std::string lower = AsciiLower(name);
  for (const char* known : {"size", "sizd", "modify", "create", "type", "unique", "perm", "lang",
                            "media-type", "charset"}) {
    if (lower == known) return true;
  }
  for (const char* prefix : {"unix.", "os.", "x."}) {
    if (lower.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

// Where the facts end: at the first blank (a space, or a tab some servers send), after a run of
// "fact=value;" pairs. Some servers leave out the last ";": then only facts known by name count,
// so that no other server's line ("a=b  1014196 ...") is taken for one. npos when the line holds
// no facts.
size_t FactsEnd(std::string_view line) {
  size_t end = 0;
  while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
  if (end == 0 || end == line.size()) return std::string_view::npos;
  std::string_view facts = line.substr(0, end);
  const bool closed = facts.back() == ';';
  if (closed) facts.remove_suffix(1);
  for (size_t at = 0;;) {
    const size_t semicolon = facts.find(';', at);
    const std::string_view fact = facts.substr(at, semicolon - at);
    const size_t equals = fact.find('=');
    if (equals == std::string_view::npos || equals == 0) return std::string_view::npos;
    if (!closed && !KnownFact(fact.substr(0, equals))) return std::string_view::npos;
    if (semicolon == std::string_view::npos) return end;
    at = semicolon + 1;
  }
}

}  // namespace

bool LooksLikeFacts(std::string_view line) {
  return FactsEnd(line) != std::string_view::npos;
}

std::optional<TParsedLine> ParseFactsLine(std::string_view line) {
  const size_t blank = FactsEnd(line);
  if (blank == std::string_view::npos) return std::nullopt;
  const std::string_view facts = line.substr(0, blank);
  const std::string_view name = line.substr(blank + 1);
  TParsedLine parsed;
  parsed.Kind = TLineKind::Unreadable;
  parsed.UnixLayout = false;
  if (name.empty()) return parsed;
  TRemoteItem& item = parsed.Item;
  std::string_view linkTarget;
  bool link = false;
  bool bad = false;
  for (size_t at = 0; at < facts.size();) {
    const size_t end = std::min(facts.find(';', at), facts.size());
    const std::string_view fact = facts.substr(at, end - at);
    at = end + 1;
    const size_t equals = fact.find('=');
    const std::string key = AsciiLower(std::string(fact.substr(0, equals)));
    const std::string_view value = fact.substr(equals + 1);
    if (key == "type") {
      const std::string type = AsciiLower(std::string(value));
      if (type == "cdir" || type == "pdir") return TParsedLine{};
      if (type == "dir") {
        item.Attributes |= iaFolder;
      } else if (type.rfind("os.unix=slink", 0) == 0 || type.rfind("os.unix=symlink", 0) == 0) {
        link = true;
        const size_t colon = value.find(':');
        if (colon != std::string_view::npos) linkTarget = value.substr(colon + 1);
      }
    } else if (key == "size") {
      const auto size = ReadNumber(value);
      if (size) item.Size = *size;
      bad |= !size;
    } else if (key == "modify") {
      const auto time = ParseFtpTimestamp(value);
      if (time) item.Modified = DateTimeFromTimeT(*time);
      bad |= !time;
    } else if (key == "unique") {
      item.Unique = UniqueNumber(value);
    } else if (key == "unix.mode") {
      if (const auto bits = ModeBits(value)) {
        item.Attributes |= *bits;
        parsed.UnixLayout = true;
      } else {
        bad = true;
      }
    }
  }
  // A fact the line needs that does not read makes the whole line unreadable, never an entry
  // with a made-up size or date.
  if (bad) return parsed;
  if (item.Attributes & iaFolder) item.Size = 0;
  item.Name = std::string(name);
  if (link) {
    item.Attributes |= iaLink;
    if (!linkTarget.empty()) item.Name += " -> " + std::string(linkTarget);
  }
  parsed.Kind = TLineKind::Entry;
  parsed.ExactTime = true;
  return parsed;
}

}  // namespace pelmar
