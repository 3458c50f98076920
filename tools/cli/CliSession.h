#pragma once
// Drives one engine component from a command-line program: each operation posts its requests
// and runs the plain event target until the outcome is known.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "FtpUrl.h"
#include "engine/FTPComponent.h"
#include "platform/PlainEventTarget.h"

namespace pelmar {

class TCliSession {
 public:
  explicit TCliSession(bool verbose);
  ~TCliSession();

  bool Connect(TFtpUrl& url);
  bool ChangeFolder(const std::string& path);
  // Makes the folder `path` and its missing parents on the server.
  bool MakeFolders(const std::string& path);
  std::optional<std::string> List();
  // Deletes a file (DELE) or an empty folder (RMD) on the server; false with Error() when the
  // server refuses.
  bool Remove(const std::string& path, bool folder);
  // The server's checksum of a file: the algorithm and its digest; nothing when the server
  // computes none.
  std::optional<std::pair<std::string, std::string>> Checksum(const std::string& path);
  // The server's time of a file (MDTM, UTC seconds); nothing when it gives none.
  std::optional<int64_t> FileTime(const std::string& path);
  // A failure that left part of a new file says so in Error().
  bool Download(const std::string& remote, const std::string& local, bool resume);
  bool Upload(const std::string& local, const std::string& remote, bool resume);
  // Gives `local` the server's time of the file just downloaded (MDTM, UTC, to the second), as
  // curl -R does. False when the server gave none or the time could not be set.
  bool KeepServerTime(const std::string& local);
  void Quit();

  // The folder the server put us in at log-on (absolute, as PWD reports it).
  const std::string& LoginFolder() const { return HomeFolder; }
  bool Verbose() const { return VerboseLog; }
  bool ServerCanResume() const { return Ftp->ServerCanResume() != 0; }
  std::shared_ptr<TPlainEventTarget> EventTarget() const { return Target; }
  // The entries of a folder relative to the login folder; nullopt when it cannot be listed.
  std::optional<std::string> ListFolder(const std::string& relativeFolder);

  // Why the last operation failed, in one line.
  const std::string& Error() const { return LastError; }
  // The server's reply behind the last failure, when there was one.
  const std::string& FailureReply() const { return LastFailureReply; }

 private:
  // Posts a marker behind what was posted and waits for its answer: everything before it is
  // then done (nothing goes to the server for it). False when the connection was lost instead.
  bool WaitForRequests();
  // PWD: the server's current folder in LastFolder.
  bool AskCurrentFolder();
  // The listing a request posted after `listings` listings brought, or nullopt (said so, with
  // `failure` where the engine gave no reason).
  std::optional<std::string> ListingAfter(int listings, const std::string& failure);
  // After a transfer was posted: true when it ended with its last report and no error.
  bool TransferSucceeded(int errorsBefore, int doneBefore, const char* failure);
  // Sets the error line: `text`, and the server's reply that explains it when there is one.
  void Fail(const std::string& text, const std::string& reply);
  // Posts one transfer (resumed at `offset` when above 0) and waits for its outcome.
  bool RunTransfer(bool upload, const std::string& local, const std::string& remote,
                   int64_t offset);
  // Follows the log for a restarted transfer that the server refused (REST or the command).
  void WatchRestart(const std::string& logLine);
  // A line on stderr about what the program does instead of what was asked.
  void Note(const std::string& text) const;
  bool DownloadOnce(const std::string& remote, const std::string& local, bool resume);
  // The size of a remote file by the listing of its folder.
  std::optional<int64_t> ListedSize(const std::string& remote);
  // Whether `name` goes in text mode, which cannot be resumed (and a note saying so).
  bool TextMode(const std::string& name) const;

  std::shared_ptr<TPlainEventTarget> Target;
  std::unique_ptr<TFTPComponent> Ftp;
  bool VerboseLog;
  std::string LastError;
  std::string LastFailureReply;
  std::string ChecksumAlgorithm;  // the last checksum answer
  std::string ChecksumDigest;
  int LastErrorCode = 0;      // the code of the error behind LastError
  bool SizeAsked = false;     // SIZE went out, its reply not seen yet
  bool SizeAnswered = false;  // the last transfer's SIZE got its 213
  // REST seen (1), accepted with 350 (2); the refusal of REST or of the command after it.
  int RestStep = 0;
  std::string RestartRefusal;
  std::string LastReply;          // the last final reply line in the log
  std::string ReplyBeforeMarker;  // the final reply before the marker was answered
  std::string ListingText;
  std::string HomeFolder;
  std::string LastFolder;  // the latest PWD answer
  int Disconnects = 0;
  int FolderReports = 0;
  bool LogOnRefused = false;   // the server turned the log-on down (not the connection)
  uint64_t MarkerRequest = 0;  // the request number of the marker waited for
  bool MarkerAnswered = false;
  int Errors = 0;
  int DoneReports = 0;
  int Listings = 0;
  int64_t DoneServerTime = -1;  // the server's time of the last download, -1 for none
  int64_t AskedFileTime = -1;   // the answer to the last FileTime
  bool LoggedIn = false;
  bool ConnectFailed = false;
};

}  // namespace pelmar
