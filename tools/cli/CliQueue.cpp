#include "CliQueue.h"

#include <cstdio>

#include "TerminalText.h"
#include "settings/Preferences.h"
#include "text/TextUtils.h"
#include "transfers/ProgressTexts.h"

namespace pelmar {

void TKeepTimes::ItemFinished(TTransferItem& item) {
  if (!item.Upload && !item.IsFolder && item.FileDate != 0) {
    SetFileDate(item.DestFolder + item.FileName, item.FileDate);
  }
}

void ReportQueue(TTransferItems& queue, TCliSession& session) {
  queue.ShowMessage = [](const std::string& text) {
    std::fprintf(stderr, "pelmar-cli: %s\n", TerminalText(text).c_str());
  };
  // Failed items are listed with their paths at the end; -v shows every error as it comes.
  queue.OnError = [&session](TFTPComponent&, int, const std::string& text) {
    if (session.Verbose()) std::fprintf(stderr, "[queue] Error: %s\n", TerminalText(text).c_str());
  };
  if (session.Verbose()) {
    queue.OnLog = [](TFTPComponent&, const std::string& text) {
      std::fprintf(stderr, "[queue] %s\n", LogLineText(text).c_str());
    };
  }
}

TTransferItem ItemTemplate(const TFtpUrl& url, bool upload) {
  TTransferItem item;
  item.Server = std::make_shared<const TServer>(
      TServer{.Host = url.Host,
              .Port = url.Port,
              .User = url.User,
              .Password = url.Password.empty() && url.User == "anonymous" ? Preferences().EMail
                                                                          : url.Password,
              .Encryption = url.Encryption,
              .Protocol = url.Protocol,
              .KeyFile = url.KeyFile});
  item.Upload = upload ? 1 : 0;
  return item;
}

int RunQueue(TTransferItems& queue, TCliSession& session) {
  session.EventTarget()->RunUntil(
      [&] { return queue.CountInState(tsPending) == 0 && queue.CountInState(tsActive) == 0; },
      std::chrono::hours(24 * 365));
  int failed = 0;
  for (int i = 0; i < queue.Count(); ++i) {
    const TTransferItem& done = queue.Item(i);
    if (done.State == tsDone) continue;
    ++failed;
    const std::string line = done.FailureLine();
    const std::string why = line.empty() ? done.StatusText() : line;
    std::fprintf(stderr, "%s: %s\n", TerminalText(done.SourceFolder + done.FileName).c_str(),
                 TerminalText(why).c_str());
  }
  return failed;
}

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace pelmar
