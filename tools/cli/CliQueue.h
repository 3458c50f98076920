#pragma once
// What pelmar-cli's folder transfers and mirrors share: the queue's items, its messages on
// stderr, running it to its end, and downloaded files keeping their listed times.

#include <string>

#include "CliSession.h"
#include "FtpUrl.h"
#include "transfers/TransferQueue.h"

namespace pelmar {

// As the desktop program does: a finished download gets the date it was listed with.
struct TKeepTimes : ITransferListener {
  void ItemFinished(TTransferItem& item) override;
};

// The queue's messages and, with -v, its connections' dialogue on stderr.
void ReportQueue(TTransferItems& queue, TCliSession& session);

// What every item of the command shares: the server and the direction.
TTransferItem ItemTemplate(const TFtpUrl& url, bool upload);

// Runs the queue to its end; each failed item is named with its reason. Returns the failures.
int RunQueue(TTransferItems& queue, TCliSession& session);

// A folder path with its trailing "/" (empty stays empty: the log-on folder).
std::string WithSlash(std::string folder);

}  // namespace pelmar
