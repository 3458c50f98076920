#include "views/ListingPass.h"

#include <cstring>

#include "views/ListingParser.h"

namespace pelmar {
namespace {

constexpr const char* kSupportAddress = "support@pelmar.app";

// True when some CR in the text is not followed by an LF (old Mac line ends).
bool HasLoneCr(std::string_view text) {
  for (size_t at = 0;;) {
    const void* cr = std::memchr(text.data() + at, '\r', text.size() - at);
    if (!cr) return false;
    at = static_cast<size_t>(static_cast<const char*>(cr) - text.data()) + 1;
    if (at >= text.size() || text[at] != '\n') return true;
  }
}

// The next line of `text` from `at`: a line ends at CR LF, LF or (when `loneCr`) a lone CR.
// Advances `at` past the line end.
std::string_view NextLine(std::string_view text, size_t& at, bool loneCr) {
  const size_t start = at;
  const char* begin = text.data() + start;
  const void* lf = std::memchr(begin, '\n', text.size() - start);
  size_t end = lf ? static_cast<size_t>(static_cast<const char*>(lf) - text.data()) : text.size();
  at = lf ? end + 1 : end;
  if (loneCr) {
    if (const void* cr = std::memchr(begin, '\r', end - start)) {
      end = static_cast<size_t>(static_cast<const char*>(cr) - text.data());
      at = end + 1;
      if (at < text.size() && text[at] == '\n') ++at;
    }
  } else if (end > start && text[end - 1] == '\r') {
    --end;
  }
  return text.substr(start, end - start);
}

}  // namespace

TListingPassResult TListingPass::ListingReceived(std::string_view text, const TDate& today,
                                                 const TListingHooks& hooks) {
  TListingPassResult result;
  BuildingList = true;
  int sincePause = 0;
  size_t at = 0;
  const bool loneCr = HasLoneCr(text);
  while (BuildingList && at < text.size()) {
    const std::string_view line = NextLine(text, at, loneCr);
    TParsedLine parsed = ParseListingLine(line, today);
    if (parsed.Kind == TLineKind::Entry) {
      if (hooks.SetUnixListing) hooks.SetUnixListing(parsed.UnixLayout);
      ++result.Entries;
      if (hooks.AddItem) hooks.AddItem(parsed.Item);
    } else if (parsed.Kind == TLineKind::Unreadable) {
      ++result.Unreadable;
      if (hooks.Log) hooks.Log("Unreadable listing line: " + std::string(line));
    }
    if (++sincePause > kLinesPerPause) {
      sincePause = 0;
      if (hooks.ProcessPendingEvents) hooks.ProcessPendingEvents();
    }
  }
  result.Stopped = !BuildingList;
  BuildingList = false;
  if (result.Unreadable > 0 && hooks.ShowServerError) hooks.ShowServerError();
  return result;
}

std::string ServerErrorText(const std::string& host, int port) {
  return std::string(
             "You have encountered an FTP server with a non-standard\r\n"
             "directory layout. Please notify ") +
         kSupportAddress + " of\r\nthe following address:\r\n\r\nftp://" + host + ":" +
         std::to_string(port) + "/";
}

}  // namespace pelmar
