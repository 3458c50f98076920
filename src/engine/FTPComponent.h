#pragma once
// One FTP connection as the user interface sees it. Every operation posts a request to the
// component's worker thread and returns at once; results come back as events, delivered on
// the event target's thread in posting order.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/ConnectRequest.h"
#include "engine/EngineHooks.h"
#include "engine/EventRecords.h"
#include "engine/Messages.h"
#include "engine/Server.h"
#include "engine/WorkerShared.h"
#include "platform/EventTarget.h"

namespace pelmar {

// What the caller knows of a download: the size its listing gave (-1 unknown), checked against
// what arrives, and whether the local name must still be free when data comes.
struct TDownloadFacts {
  int64_t ListedSize = -1;
  bool NewOnly = false;
  // The file's time on the server (UTC seconds) when the caller's listing gave it exactly:
  // the engine reports it instead of asking with MDTM. -1: unknown.
  int64_t ServerTime = -1;
};

class TFTPComponent;

using TNotifyEvent = std::function<void(TFTPComponent& sender)>;
using TErrorEvent = std::function<void(TFTPComponent& sender, int code, const std::string& text)>;
using TFolderEvent =
    std::function<void(TFTPComponent& sender, const std::string& path, uint8_t kind)>;
using TLogEvent = std::function<void(TFTPComponent& sender, const std::string& text)>;
using TListingEvent = std::function<void(TFTPComponent& sender, std::string& text)>;
using TProgressEvent =
    std::function<void(TFTPComponent& sender, uint8_t kind, bool isFile, int64_t count)>;
using TFileSizeEvent =
    std::function<void(TFTPComponent& sender, const std::string& fileName, int64_t size)>;
// Hands a person's decision about a certificate to the worker that waits for it. May be kept
// and called later, once; after the component or its worker is gone it does nothing.
using TCertificateAnswer = std::function<void(TTrustDecision decision)>;
using TCertificateEvent = std::function<void(
    TFTPComponent& sender, const TCertificateEventData& question, TCertificateAnswer answer)>;

class TFTPComponent {
 public:
  // `startWorker` false leaves the worker to StartWorker(), so that messages can be queued
  // before it looks at any (tests of the queue's rules use this).
  explicit TFTPComponent(std::shared_ptr<TEventTarget> target, bool startWorker = true);
  void StartWorker();
  ~TFTPComponent();
  TFTPComponent(const TFTPComponent&) = delete;
  TFTPComponent& operator=(const TFTPComponent&) = delete;

  // Seconds counted by the keep-alive timer since the last request was posted.
  int IdleSeconds = 0;

  // Connection parameters, set before Connect or ConnectViaFirewall.
  uint8_t FirewallType = 0;
  std::string FirewallHost;
  int FirewallPort = 21;
  std::string FirewallUser;
  std::string FirewallPassword;
  std::string Host;
  int Port = 21;
  std::string User;
  std::string Password;
  std::string Account;
  TEncryption Encryption = enPlain;
  TProtocol Protocol = prFtp;
  std::string KeyFile;
  // The log-on values above as one value, and set from one.
  TServer Server() const {
    return {Host, Port, User, Password, Account, Encryption, Protocol, KeyFile};
  }
  void SetServer(const TServer& server) {
    Host = server.Host;
    Port = server.Port;
    User = server.User;
    Password = server.Password;
    Account = server.Account;
    Encryption = server.Encryption;
    Protocol = server.Protocol;
    KeyFile = server.KeyFile;
  }

  // Written by the worker's resume probe before evLoggedIn.
  uint8_t ServerCanResume() const { return Shared->ServerCanResume.load(); }
  // For connections that move file after file (the transfer queue's): in passive mode each
  // transfer's end asks the server for the next data port, so the two answers travel
  // together. A browsing connection asks only when it needs one.
  void SetPortAhead(bool on) { Shared->PortAhead = on; }
  uint8_t UnixListing = 0;  // written by the listing parser
  uint8_t LoggedIn = 0;     // 1 from evLoggedIn until evDisconnected
  // While OnProgress reports pkDone: false when the transfer failed after it had started (the
  // server's final reply was no success); the error event follows that report.
  bool TransferCompleted = true;
  // The server's time of the file whose download just ended (UTC seconds), -1 when unknown;
  // valid while OnProgress reports pkDone.
  int64_t LastServerTime = -1;

  TNotifyEvent OnAborted;
  TNotifyEvent OnConnectFailed;
  TNotifyEvent OnConnected;
  TNotifyEvent OnDisconnected;
  TErrorEvent OnError;
  TFolderEvent OnFolder;
  TLogEvent OnLog;
  TNotifyEvent OnLoggedIn;
  // The answer to PostMarker: every request before it has been served.
  TNotifyEvent OnMarker;
  TListingEvent OnListing;
  TProgressEvent OnProgress;
  TFileSizeEvent OnFileSize;
  // The answer to AskFileTime: the file's time on the server in UTC seconds, -1 for none.
  TFileSizeEvent OnFileTime;
  // The answer to AskChecksum: the algorithm and the digest (both empty when there is none).
  std::function<void(TFTPComponent& sender, const std::string& fileName,
                     const std::string& algorithm, const std::string& digest)>
      OnChecksum;
  // Without a handler the application's certificate hook asks (EngineHooks.h); without
  // either the certificate is refused.
  TCertificateEvent OnCertificate;

  // Drops every handler: reports still on their way reach no one (for an owner that goes).
  void ClearHandlers();

  void Connect();
  void ConnectViaFirewall();
  // Interrupts the current step, drops everything queued and, when logged on, quits.
  void Disconnect();
  void Abort();
  void GetFolder();
  // Asks for OnMarker once the requests posted before have been served; nothing goes to the
  // server (a caller waiting for a batch of requests need not spend a PWD on it).
  void PostMarker();
  void ChangeFolder(const std::string& path);
  // Lists the current folder, or `folder` (a path the server understands) without changing
  // into it where the server lists a named folder (MLSD path); else it changes into it first.
  void List(const std::string& folder = {});
  void Download(const std::string& remoteName, const std::string& localName, int mode,
                TDownloadFacts facts = {});
  // `knownNew`: the caller's listing of the server folder has no such name, so the upload need
  // not ask whether it replaces a file (one round trip less per file).
  void Upload(const std::string& localName, const std::string& remoteName, int mode,
              bool knownNew = false);
  void ResumeDownload(const std::string& remoteName, const std::string& localName, int mode,
                      int64_t offset, int64_t listedSize = -1);
  void ResumeUpload(const std::string& localName, const std::string& remoteName, int mode,
                    int64_t offset);
  void DeleteFile(const std::string& name);
  void Rename(const std::string& oldName, const std::string& newName);
  void MakeFolder(const std::string& name);
  void RemoveFolder(const std::string& name);
  void KeepAlive();
  void ChangeMode(const std::string& name, uint16_t attributes);
  // Asks the server for a file's time (MDTM, where FEAT names it); answered by OnFileTime.
  void AskFileTime(const std::string& name);
  // Asks the server for a file's checksum (HASH or an X command, where FEAT names one).
  void AskChecksum(const std::string& name);

  bool IsConnected() const { return Shared->ControlSocket.load() != -1; }
  bool IsBusy() const { return Shared->CurrentRequest.load() != 0; }

  TEventTarget& Target() const { return *Shared->Target; }

  // Runs one event on the target's thread; records are owned by the caller.
  void HandleEvent(int code, TEventRecord* record);

  // Requests are numbered from 1 in posting order. While a handler runs, EventRequest() is
  // the number of the request whose serving produced the event, so an owner that posts
  // requests for several jobs in turn can tell which job a late report belongs to.
  uint64_t LastRequest() const { return LastSerial; }
  uint64_t EventRequest() const { return DeliveringRequest; }

 private:
  TConnectRequest LogOnRequest(bool viaFirewall) const;
  TCertificateAnswer CertificateAnswer() const;
  TPassphraseAnswer PassphraseAnswer() const;
  void PostRequest(uint8_t kind, std::vector<std::string> args);
  void PostType(int mode);
  void PostMessage(unsigned message, const char* failureFormat);

  std::shared_ptr<TWorkerShared> Shared;
  std::shared_ptr<TComponentAnchor> Anchor;
  bool WorkerStarted = false;
  uint64_t LastSerial = 0;
  uint64_t DeliveringRequest = 0;
  friend void DeliverEvent(TFTPComponent&, int, TEventRecord*, uint64_t);
};

// Called by the worker's posted tasks on the target's thread; `request` is the serial of the
// request the worker was serving when it posted the event.
void DeliverEvent(TFTPComponent& component, int code, TEventRecord* record, uint64_t request);

// The permission digits for SITE CHMOD from remote attribute bits: 4 owner read ... 1024
// others execute; 644 for rw-r--r--, written without leading zeros.
std::string ChangeModeText(uint16_t attributes);

}  // namespace pelmar
