#pragma once
// get -r / put -r: whole folders through the transfer queue, its pool and the queuing
// decision, as the panes use them.

#include <string>

#include "CliSession.h"
#include "FtpUrl.h"
#include "transfers/TreeWalk.h"
#include "views/RemoteItem.h"

namespace pelmar {

// How existing files at the destination are treated: ask on the terminal, replace, skip, or
// resume.
enum class TExistingPolicy { Ask, Replace, Skip, Resume };

// A listed remote entry as the walk sees it: a plain file's name is its whole name, even with
// " -> " in it; a link is named without its target and walked as a folder when its target has
// no extension.
TWalkEntry WalkEntry(const TRemoteItem& item);

// mirror: makes the destination hold what the source holds (the local folder when `upload`,
// else the server's): copies what is missing, of another size or newer, deletes what the
// source no longer has when `deleteExtra`, and only prints the plan when `dryRun`. Returns the
// exit status: 1 when anything failed.
// `byChecksum`: files of the same size are compared by checksum where the server computes one.
int Mirror(TCliSession& session, const TFtpUrl& url, const std::string& localPath, bool upload,
           bool deleteExtra, bool dryRun, bool keepTimes, bool byChecksum = false);

// Runs the transfer; returns the process exit status. Failed items are listed on stderr.
// Downloaded files keep the time their listing gave them unless `keepTimes` is false.
int TransferTree(TCliSession& session, const TFtpUrl& url, const std::string& localPath,
                 bool upload, TExistingPolicy policy, bool keepTimes = true);

}  // namespace pelmar
