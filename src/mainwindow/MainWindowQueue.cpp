// The transfer queue kept on disk: following it, and offering what an earlier run left.

#include <map>
#include <optional>
#include <tuple>

#include <QPointer>

#include "mainwindow/MainWindow.h"
#include "platform/qt/QtEventTarget.h"
#include "settings/DataFolder.h"
#include "settings/Preferences.h"
#include "settings/SiteFile.h"
#include "transfers/QueueStore.h"
#include "transfers/TransferQueue.h"
#include "ui/Prompter.h"
#include "ui/QtText.h"

namespace pelmar {
namespace {

// The password a site of the site file keeps for this log-on; nothing when no site matches.
std::optional<std::string> SitePassword(const TServer& server) {
  TSiteFile file(DataFolder() + kSiteFileName);
  if (!file.Open().empty()) return std::nullopt;
  const std::string email = Preferences().EMail;
  for (const std::string& name : file.ReadSiteNames()) {
    const TSite site = file.ReadSite(name, email);
    bool ok = false;
    const int port = Q(site.Port).toInt(&ok);
    if (site.Host == server.Host && ok && port == server.Port && site.User == server.User &&
        site.Encryption == server.Encryption && site.Protocol == server.Protocol) {
      return site.Password;
    }
  }
  return std::nullopt;
}

bool IsAnonymous(const std::string& user) {
  return user == "anonymous" || user == "ftp";
}

}  // namespace

void TfrmMain::KeepQueueIn(const std::string& path) {
  KeptQueue = std::make_unique<TQueueStore>(path, Target);
  KeptQueue->OnLog = [this](const std::string& text) { AppendLogLine(Q(text)); };
  KeptQueue->Follow(*Transfers);
}

void TfrmMain::OfferUnfinishedTransfers() {
  if (!KeptQueue || OfferingUnfinished) return;
  OfferingUnfinished = true;
  const QPointer<TfrmMain> alive(this);
  OfferUnfinishedTransfersOnce();
  if (alive) OfferingUnfinished = false;
}

void TfrmMain::OfferUnfinishedTransfersOnce() {
  if (!KeptQueue->Problem().empty()) {
    AppendLogLine(Q(KeptQueue->Problem()));
    // A second window of the program is no fault worth a box.
    if (!KeptQueue->InUseElsewhere()) {
      Prompter().Error(this, QStringLiteral("Pelmar"), Q(KeptQueue->Problem()));
    }
  }
  const std::vector<TStoredTransfer> rows = KeptQueue->Unfinished();
  if (rows.empty()) return;
  const QString question =
      rows.size() == 1
          ? QStringLiteral("1 transfer was not finished. Continue it now?")
          : QStringLiteral("%1 transfers were not finished. Continue them now?").arg(rows.size());
  // Every question is asked before the first item is put back. Each box runs an event loop of
  // its own: asked in between, the items put back before it ran, reported and ended under it,
  // and whatever the person did meanwhile (closing the window) met a queue half rebuilt.
  const QPointer<TfrmMain> alive(this);
  const bool shown = isVisible();
  const bool resume = Prompter().Confirm(this, QStringLiteral("Pelmar"), question);
  // One password per log-on: the site file's, the e-mail address for anonymous log-ons, none
  // for SFTP (its keys are tried; a refusal fails the items), else the person's. A refused
  // prompt leaves that log-on's items stopped.
  using TKey = std::tuple<std::string, int, std::string, std::string, int, int, std::string>;
  std::map<TKey, std::optional<std::string>> passwords;
  auto keyOf = [](const TServer& server) {
    return TKey{server.Host,       server.Port,     server.User,   server.Account,
                server.Encryption, server.Protocol, server.KeyFile};
  };
  for (const TStoredTransfer& row : rows) {
    if (!resume || !alive || !KeptQueue) break;
    const TServer& server = row.Server;
    if (passwords.count(keyOf(server)) > 0) continue;
    std::optional<std::string> password = SitePassword(server);
    if (!password && server.Protocol == prSftp) password = std::string();
    if (!password && IsAnonymous(server.User)) password = Preferences().EMail;
    if (!password && AskPassword) {
      const QString typed = AskPassword(Q(server.User + "@" + server.Host));
      if (!typed.isEmpty()) password = S(typed);
    }
    passwords.emplace(keyOf(server), password);
  }
  // Closed (or quit) while a question was open: the rows stay for the next start.
  if (!alive || !KeptQueue || (shown && !isVisible())) return;
  for (const TStoredTransfer& row : rows) {
    const auto found = passwords.find(keyOf(row.Server));
    const bool go = resume && found != passwords.end() && found->second.has_value();
    KeptQueue->Restore(row, go ? *found->second : std::string(), go);
  }
  if (Transfers->CountInState(tsPending) > 0) Transfers->StartNext();
}

}  // namespace pelmar
