#include "views/ListingPass.h"

#include "views/ListingParser.h"

namespace pelmar {
namespace {

constexpr const char* kSupportAddress = "support@pelmar.app";

// The next line of `text` from `at`: a line ends at CR LF, LF or a lone CR. Advances `at`.
std::string_view NextLine(std::string_view text, size_t& at) {
  const size_t start = at;
  size_t end = start;
  while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
  at = end;
  if (at < text.size()) {
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
    ++at;
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
  while (BuildingList && at < text.size()) {
    const std::string_view line = NextLine(text, at);
    const TParsedLine parsed = ParseListingLine(line, today);
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
  return std::string("You have encountered an FTP server with a non-standard\r\n"
                     "directory layout. Please notify ") +
         kSupportAddress + " of\r\nthe following address:\r\n\r\nftp://" + host + ":" +
         std::to_string(port) + "/";
}

}  // namespace pelmar
