#pragma once
// The pass over a whole LIST reply: cuts it into lines, reads each one, and hands every entry
// to the folder's owner. Lines that cannot be read are named in the log and skipped; the
// server-error message comes once per listing when there was at least one.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "listing/RemoteItem.h"
#include "platform/DateTime.h"

namespace pelmar {

struct TListingHooks {
  // Every entry read, in listing order (the owner filters, stores and shows it; it may move
  // from the item).
  std::function<void(TRemoteItem& item)> AddItem;
  // Which layout the server uses: true for Unix (permissions can be changed).
  std::function<void(bool unixLayout)> SetUnixListing;
  // Lets pending user-interface events run; the owner may clear BuildingList meanwhile.
  std::function<void()> ProcessPendingEvents;
  std::function<void(const std::string& text)> Log;
  // At most once per listing, after the pass, when some line could not be read.
  std::function<void()> ShowServerError;
};

struct TListingPassResult {
  int Entries = 0;
  int Unreadable = 0;
  bool Stopped = false;  // BuildingList was cleared from outside
  int ExactTimes = 0;    // entries whose time is exact (MLSD lines)
};

class TListingPass {
 public:
  // Pending events get a chance to run after this many lines.
  static constexpr int kLinesPerPause = 200;

  // True while a pass runs; clearing it ends the pass after the current line.
  bool BuildingList = false;
  // How far the server's clock is ahead of this machine's (its site's "Server time zone
  // offset"): taken off the local times of LIST lines; exact MLSD times need nothing.
  int TimeOffsetMinutes = 0;

  TListingPassResult ListingReceived(std::string_view text, const TDate& today,
                                     const TListingHooks& hooks);
};

// The message shown when a server's listing had lines that could not be read.
std::string ServerErrorText(const std::string& host, int port);
inline constexpr const char* kServerErrorCaption = "FTP Server Error";

}  // namespace pelmar
