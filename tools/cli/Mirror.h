#pragma once
// mirror: makes the destination hold what the source holds (the local folder when uploading,
// else the server's folder), through the transfer queue.

#include <cstdint>
#include <optional>
#include <string>

#include "CliSession.h"
#include "FtpUrl.h"

namespace pelmar {

struct TMirrorRequest {
  bool Upload = false;       // the local folder is the source
  bool DeleteExtra = false;  // --delete: what the source no longer has goes
  bool DryRun = false;       // only print the plan
  bool KeepTimes = true;
  bool ByChecksum = false;  // files of the same size are compared by checksum where possible
  // --ascii: names the preferences send in text mode go so, and their times alone decide;
  // otherwise everything goes in binary, so that sizes and bytes stay as they are.
  bool TextMode = false;
  int64_t MaxDelete = -1;  // --max-delete: more deletions than this, and none happens
  // --time-offset (minutes the server's clock is ahead); without it, one recent file's MDTM
  // tells it when the server lists with LIST.
  std::optional<int> TimeOffsetMinutes;
};

// Copies what is missing, of another size or newer; deletes (after the copies, and only where
// nothing failed) what the source no longer has when asked. Returns the exit status: 1 when
// anything failed or the folders are not alike afterwards.
int Mirror(TCliSession& session, const TFtpUrl& url, const std::string& localPath,
           const TMirrorRequest& request);

}  // namespace pelmar
