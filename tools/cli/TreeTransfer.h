#pragma once
// get -r / put -r: whole folders through the transfer queue, its pool and the queuing
// decision, as the panes use them.

#include <string>

#include "CliSession.h"
#include "FtpUrl.h"

namespace pelmar {

// How existing files at the destination are treated: ask on the terminal, replace, skip, or
// resume.
enum class TExistingPolicy { Ask, Replace, Skip, Resume };

// Runs the transfer; returns the process exit status. Failed items are listed on stderr.
// Downloaded files keep the time their listing gave them unless `keepTimes` is false; LIST
// times are the server's clock, `timeOffsetMinutes` ahead of this machine's.
int TransferTree(TCliSession& session, const TFtpUrl& url, const std::string& localPath,
                 bool upload, TExistingPolicy policy, bool keepTimes = true,
                 int timeOffsetMinutes = 0);

}  // namespace pelmar
