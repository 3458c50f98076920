#pragma once
// The worker thread of one engine component: owns the control and data sockets, serves the
// posted requests one at a time, and posts events back to the component.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/EventRecords.h"
#include "engine/Messages.h"
#include "engine/ReplyParsing.h"
#include "engine/SftpSession.h"
#include "engine/TransferStreams.h"
#include "engine/WorkerServices.h"
#include "engine/WorkerShared.h"
#include "platform/Sockets.h"
#include "platform/TlsChannel.h"

namespace pelmar {

// Serves FTP itself; a log-on to an SFTP server hands the connection's requests to its
// TSftpSession, which uses the same loop, events, waits and abort.
class TFTPThread final : public TWorkerServices {
 public:
  explicit TFTPThread(std::shared_ptr<TWorkerShared> shared);
  TFTPThread(const TFTPThread&) = delete;
  TFTPThread& operator=(const TFTPThread&) = delete;

  // Starts the worker on its own detached thread; it ends after WM_QUIT.
  static void Start(std::shared_ptr<TWorkerShared> shared);

  void Execute();

 private:
  using TArgs = std::vector<std::string>;

  // Loop and dispatch (FTPThread.cpp).
  void Dispatch(uint8_t kind, const TArgs& args);
  void Serve(uint8_t kind, const TArgs& args);
  // Returns false when the loop must end (a WM_QUIT was among the dropped messages).
  bool HandleCancel();
  void PostEvent(int code, std::shared_ptr<TEventRecord> record = nullptr) override;
  void PostError(int code, const std::string& text) override;
  void Log(const std::string& text) override;
  TBlockingContext& Waits() override { return Blocking; }
  TAbortState& AbortFlags() override { return AbortState; }
  TWorkerShared& SharedState() override { return *Shared; }

  // Sockets (FTPThreadSockets.cpp).
  bool ConnectSocket(const std::string& host, const std::string& port);
  void CloseSocket(int& s);
  void CloseControlSocket();
  bool CheckSocketError(bool failed, int& s);
  void ReportSocketError();
  // Starts the watchdog for a blocking step; `step` finishes the sentence "timed out after
  // N s ..." should the step run out of time.
  void ArmWatchdog(std::string step) override;
  // The last socket call ended because the watchdog ran out, not because of an abort.
  bool TimedOut() const override;
  std::string TimedOutText() const override;
  int Control() const { return Shared->ControlSocket.load(); }

  // TLS (FTPThreadTls.cpp).
  // Before the greeting (implicit) or after it (AUTH TLS); throws when the connection must
  // not go on. False when the server refused AUTH and plain FTP is acceptable.
  bool StartTls(bool implicit);
  void HandshakeControl();
  // Accepts a verified certificate, one trusted before, or asks a person.
  bool CertificateAccepted(const TCertificateInfo& certificate);
  // PBSZ and PROT P after the log-on.
  void ProtectDataConnections();
  bool HandshakeData();
  long ControlSend(const char* data, size_t length);
  long ControlRecv(char* buffer, size_t length);
  long DataSend(const char* data, size_t length);
  long DataRecv(char* buffer, size_t length);

  // Control connection (FTPThreadControl.cpp).
  void SendCommand(const std::string& command);
  int ReadReply();
  bool CommandWithFallback(const std::string& command, int expected);
  void ReportFinalLine(int code, const std::string& line);
  // "the server's reply to PWD", "the server's greeting": what ReadReply waits for.
  std::string AwaitedReply() const;

  // Session (FTPThreadSession.cpp).
  void ServeConnect(uint8_t kind, const TArgs& args);
  bool Login(const std::string& user, const std::string& password, const std::string& account);
  bool FirewallLogin(int firewallType, const std::string& firewallUser,
                     const std::string& firewallPassword, const std::string& host,
                     const std::string& port, const std::string& user, const std::string& password,
                     const std::string& account);
  void SendPassword(const std::string& password);
  void ProbeResume();
  // What FEAT names, once per log-on.
  struct TFeatures {
    bool Utf8 = false;
    bool RestStream = false;
    std::string MlstFacts;               // "type*;size*;modify*;..."
    std::string HashList;                // "SHA-256;SHA-1*;MD5"
    std::vector<std::string> XCommands;  // "XSHA256", "XMD5", ...
  };
  // FEAT; sets HasMfmt, HasMdtm, HasSize and HasMlst.
  TFeatures AskFeatures();
  // OPTS UTF8, the checksum command and the MLSD facts.
  void UseFeatures(const TFeatures& features);
  void ChooseChecksum(const std::string& hashList, const std::vector<std::string>& xCommands);
  void ServeQuit();
  // SFTP (FTPThreadSftp.cpp).
  void ServeSftpConnect(uint8_t kind, const TServer& server);
  void ServeSftpQuit();

  // Remote operations (FTPThreadRemoteOps.cpp).
  void ServeSimpleCommand(uint8_t kind, const TArgs& args);
  // MDTM: the file's time on the server in UTC seconds, -1 when it gives none.
  int64_t AskServerTime(const std::string& path);
  // The reply to an MDTM already sent, read as AskServerTime reads it.
  int64_t ReadServerTime();
  // Reads the answer to the MDTM sent ahead of the current download's data port, if it is
  // still to come (see TimeAskedAhead).
  void ReadTimeAskedAhead();
  // After a binary file transfer: true when the server's checksum of `remote` matches the local
  // file's, or when there is no checksum to compare (said in the log).
  // `command` is 'R' for a download, 'S' for an upload (the message says what was kept).
  bool VerifyChecksum(const std::string& remote, const TTransferStream& stream, char command);
  // After an upload: MFMT with the local file's time.
  void SetServerTime(const TArgs& args);

  // Data connection and transfers (FTPThreadTransfer.cpp).
  // Opens the data connection's side that comes before the command: the listening port
  // announced with PORT (active), or the connection to the server's port (passive).
  // `ahead`: the transfer command, which passive mode may send right behind EPSV (see
  // CommandSentAhead).
  bool PrepareDataPort(const std::string& ahead = {});
  bool OpenPassiveData(const std::string& ahead);
  // Connects DataSocket to the control connection's peer at `port`. `report`: a failure is
  // an error event; otherwise it is only logged (the caller asks for another port).
  bool ConnectDataPort(const TNetAddress& server, uint16_t port, bool report);
  // Reads the final reply to a command sent ahead whose transfer will not take place.
  void DrainCommandSentAhead();
  bool AcceptDataConnection();
  void HintPassiveMode();
  static bool PassiveMode();
  bool Transfer(const std::string& command, bool receive, int64_t offset, TTransferStream& stream);
  int64_t DataLoop(TTransferStream& stream, bool receive);
  bool ReportCheck(int64_t count, int64_t& lastReport);
  // A download that the server confirmed: true when it holds every byte the server said the
  // file has (the 150 reply, else SIZE, else the listing); else reports the shortfall.
  // `wireBytes`: what came over the data connection (in text mode more than the file holds).
  bool ReceivedWhole(const std::string& remote, const TTransferStream& stream, int64_t wireBytes,
                     bool replacing);
  // After a binary upload the server's copy must come to the local file's size (SIZE).
  bool ServerHasWhole(const std::string& remote, int64_t bytes);
  // SIZE's answer for `remote`: nothing when it is refused or its number does not read (a
  // number too large for a byte count among them; logged).
  std::optional<int64_t> AskServerSize(const std::string& remote);
  void PostProgress(uint8_t kind, int64_t count, bool completed = true);
  void AbortOrError();
  void ServeType(const TArgs& args);
  void ServeList(const std::string& folder);
  void ServeDownload(const TArgs& args);
  void ServeUpload(const TArgs& args);
  // DELE without an error event; true when the server deleted it.
  bool RemoveQuietly(const std::string& remote);
  // An upload from the start proved wrong: its stored copy is deleted (a replacement's
  // temporary one, or the new file); says, for the error message, what is on the server.
  std::string WrongUploadFate(const std::string& stored);
  // Renames the whole new copy over the old file (deleting it first where the server will
  // not rename onto a taken name); on failure says what is on the server.
  bool RenameOver(const std::string& from, const std::string& to);

  std::shared_ptr<TWorkerShared> Shared;
  // The SFTP connection, while the last log-on was one.
  std::unique_ptr<TSftpSession> Sftp;
  TAbortState AbortState;
  TBlockingContext Blocking;
  int DataSocket = -1;
  std::string FileName;
  uint8_t IsFileTransfer = 1;
  uint8_t QuietLog = 0;
  uint64_t ServingRequest = 0;  // the serial of the request being served, carried by its events
  bool LoggingOn = false;       // between connecting and the log-on's outcome
  std::string WatchedStep;      // what the armed watchdog waits for, for a time-out's text
  std::string LastVerb;         // the verb of the last command sent ("RETR")
  std::string EchoedSecret;     // the password just sent: "***" where its reply repeats it
  char TypeLetter = 0;          // the TYPE the server accepted last on this connection; 0 unknown
  std::string LastReplyLine;    // the final line of the last reply read
  std::vector<std::string> ReplyLines;  // every line of the last reply read
  bool PassiveData = false;             // DataSocket is a passive connection already made
  bool EpsvRefused = false;             // this log-on's server has no EPSV: PASV only
  // EPSV has worked on this log-on: the transfer command may go right behind the next one,
  // saving a round trip per file (servers read their commands in order).
  bool EpsvProven = false;
  bool CommandSentAhead = false;  // the current transfer's command went behind its EPSV
  bool HasMfmt = false;           // FEAT named MFMT: a file's time can be set
  bool HasMdtm = false;           // FEAT named MDTM: a file's time can be asked
  bool HasMlst = false;           // FEAT named MLST: folders are listed with MLSD
  bool MlsdTakesPath = true;      // "MLSD path" has not been refused on this log-on
  bool HasSize = false;           // FEAT named SIZE: a file's size can be asked
  // How the server computes a file's checksum: "HASH" (with HashAlgorithm chosen by OPTS
  // HASH) or "XSHA256", "XSHA1", "XMD5", "XCRC"; empty when it offers none.
  std::string HashCommand;
  std::string HashAlgorithm;
  bool ChecksumFailed = false;  // the last transfer's checksum did not match
  // The command of the next data transfer may be refused without an error event: the
  // refusal's code is left here and the caller tries another command.
  bool QuietRefusal = false;
  int RefusedReply = 0;
  int64_t DoneServerTime = -1;  // goes with the next pkDone (see TProgressData)
  // The download's time on the server as the caller's listing gave it exactly; -1: ask MDTM.
  int64_t ListedServerTime = -1;
  // The data port asked for as the last download's data ended (EPSV sent before its final
  // reply was read): its answer comes after that reply (PortReplyDue: the next to read), and
  // the port it names serves the next transfer if that comes soon (ReadyPort, 0: none).
  bool PortReplyDue = false;
  uint16_t ReadyPort = 0;
  int64_t ReadyPortTicks = 0;  // when that EPSV went
  // EPSV for the next transfer, sent as this download's data has ended.
  void AskPortAhead();
  // The transfer's final reply, with the answer to a port asked ahead where it comes first.
  int FinalTransferReply();
  // The transfer's last reply has been read: a port asked ahead answers next.
  void PortAnswersNext();
  void ReadPortAhead();
  void TakeReadyPort(int reply);
  // Connects to the port asked ahead, the transfer's command (`ahead`) going before the
  // port's answer is read. False when there is none or it is gone (the command's refusal read).
  bool UseReadyPort(const TNetAddress& server, const std::string& ahead);
  // Whether the next data port may be asked for before this transfer's replies are read.
  bool MayAskPortAhead(bool receive) const;
  // A passive download's data, read while its 150 is still on the way: held here, written
  // nowhere until the 150 says the server took the command (DataLoop starts with it).
  // DataAheadEnded: the server closed the data connection after it.
  void ReadDataAhead(bool askPort);
  std::string DataAhead;
  bool DataAheadEnded = false;
  int DataAheadError = 0;       // the data connection broke while read ahead (its error code)
  bool PortAskedAhead = false;  // this transfer asked the next port; its answer not yet due
  // The download's MDTM went before its data port, so that its answer comes back with the
  // data port's (one round trip for both), and no reply of it can fall between the transfer's.
  bool TimeAskedAhead = false;     // its answer is still to be read
  int64_t TimeAnsweredAhead = -1;  // what it answered (-1: no time)
  TReplyFramer ReplyBuffer;        // bytes of the control connection not yet read as lines
  // This log-on's protection: what was asked for, the host and port the certificate must
  // belong to, and the TLS layers of the two connections (null when plain).
  TEncryption Encryption = enPlain;
  std::string TlsHost;
  int TlsPort = 0;
  std::unique_ptr<TTlsChannel> ControlTls;
  std::unique_ptr<TTlsChannel> DataTls;
  bool ProtectData = false;     // PROT P accepted: every data connection is TLS
  int64_t ResumeExpected = -1;  // a resumed download's size by SIZE; -1 when unknown
  // What the file being downloaded should come to: by SIZE or the caller's listing (with where
  // that came from, for the message), and by the 150 reply; -1 when unknown.
  int64_t ExpectedSize = -1;
  std::string ExpectedFrom;
  int64_t AnnouncedSize = -1;
  bool ResumeMismatch = false;      // the resumed download did not come out at that size
  std::string ResumedUpload;        // the server's name of a resumed upload, checked by SIZE after
  std::string RenameAfterStore;     // the name a stored replacement is renamed to once it is whole
  bool RenameFailed = false;        // ... and the rename was refused
  bool UploadSizeFailed = false;    // the server's copy did not come to the local file's size
  bool StoredRemoved = false;       // ... and the wrong copy was deleted
  bool DataFailed = false;          // the data connection broke in a way the reply may not show
  bool TransferUnanswered = false;  // an abort's reply showed the command's will not come
  bool NoRetry = false;             // a refusal another connection attempt would only repeat
};

}  // namespace pelmar
