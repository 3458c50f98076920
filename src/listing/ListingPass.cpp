#include "listing/ListingPass.h"

#include "listing/OtherListings.h"

#include <cstring>

#include "listing/ListingParser.h"

namespace pelmar {
namespace {

constexpr const char* kSupportAddress = "support@pelmar.app";

// The next line of `text` from `at`, advancing `at` past its line end. Lines end at LF, with
// one CR before it dropped; only a text without any LF (old Mac style) is cut at CRs. A CR
// elsewhere is part of the line: macOS names its folder icon files "Icon" and a CR.
std::string_view NextLine(std::string_view text, size_t& at, bool crOnly) {
  const size_t start = at;
  const void* found = std::memchr(text.data() + start, crOnly ? '\r' : '\n', text.size() - start);
  size_t end =
      found ? static_cast<size_t>(static_cast<const char*>(found) - text.data()) : text.size();
  at = found ? end + 1 : end;
  if (!crOnly && end > start && text[end - 1] == '\r') --end;
  return text.substr(start, end - start);
}

}  // namespace

TListingPassResult TListingPass::ListingReceived(std::string_view text, const TDate& today,
                                                 const TListingHooks& hooks) {
  TListingPassResult result;
  BuildingList = true;
  int sincePause = 0;
  size_t at = 0;
  const bool crOnly = std::memchr(text.data(), '\n', text.size()) == nullptr;
  // A VMS name that filled its line: its entry goes on in the next one.
  std::string held;
  std::string joined;
  while (BuildingList && at < text.size()) {
    std::string_view line = NextLine(text, at, crOnly);
    joined.clear();
    if (!held.empty()) {
      joined = held + " " + std::string(line);
      held.clear();
      line = joined;
    }
    TParsedLine parsed = ParseListingLine(line, today);
    if (parsed.Kind != TLineKind::Entry && joined.empty() && at < text.size() &&
        IsVmsNameAlone(line)) [[unlikely]] {
      held = std::string(line);
      continue;
    }
    if (parsed.Kind == TLineKind::Entry) {
      if (TimeOffsetMinutes != 0 && !parsed.ExactTime && parsed.Item.Modified != 0) {
        parsed.Item.Modified -= TimeOffsetMinutes / (24.0 * 60.0);
      }
      if (parsed.ExactTime && parsed.Item.Modified != 0) parsed.Item.Attributes |= iaExactTime;
      if (hooks.SetUnixListing) hooks.SetUnixListing(parsed.UnixLayout);
      ++result.Entries;
      result.ExactTimes += parsed.ExactTime ? 1 : 0;
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
