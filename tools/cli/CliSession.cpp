#include "CliSession.h"
#include "Credentials.h"
#include "TerminalText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <utility>

#include "engine/ReplyParsing.h"
#include "engine/WorkerRegistry.h"
#include "listing/ListingPass.h"
#include "settings/Preferences.h"

namespace pelmar {
namespace {

constexpr std::chrono::hours kNoLimit{24 * 365};

// The size of the file `name` in a listing.
std::optional<int64_t> SizeInListing(const std::string& listing, const std::string& name) {
  std::optional<int64_t> size;
  TListingHooks hooks;
  hooks.AddItem = [&](TRemoteItem& item) {
    if (item.Name == name && !(item.Attributes & iaFolder)) size = item.Size;
  };
  TListingPass pass;
  pass.ListingReceived(listing, Today(), hooks);
  return size;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

TCliSession::TCliSession(bool verbose)
    : Target(std::make_shared<TPlainEventTarget>()),
      Ftp(std::make_unique<TFTPComponent>(Target)),
      VerboseLog(verbose) {
  Ftp->OnLog = [this](TFTPComponent&, const std::string& text) {
    if (VerboseLog) {
      std::fprintf(stderr, "%s\n", LogLineText(text).c_str());
    }
    if (FinalReplyCode(text) != 0) LastReply = text;
    if (text == "Failed to Log in to Host") LogOnRefused = true;
    WatchRestart(text);
    // Whether the engine could check a resumed download's size with SIZE.
    if (text.rfind("SIZE ", 0) == 0) {
      SizeAsked = true;
    } else if (SizeAsked && FinalReplyCode(text) != 0) {
      SizeAsked = false;
      SizeAnswered = FinalReplyCode(text) == 213;
    }
  };
  Ftp->OnError = [this](TFTPComponent&, int code, const std::string& text) {
    ++Errors;
    if (LastError.empty()) {
      LastError = text;
      LastErrorCode = code;
    }
  };
  Ftp->OnLoggedIn = [this](TFTPComponent&) { LoggedIn = true; };
  // The replies before the marker answered the requests before it.
  Ftp->OnMarker = [this](TFTPComponent& sender) {
    if (sender.EventRequest() != MarkerRequest) return;
    ReplyBeforeMarker = LastReply;
    MarkerAnswered = true;
  };
  Ftp->OnConnectFailed = [this](TFTPComponent&) { ConnectFailed = true; };
  Ftp->OnDisconnected = [this](TFTPComponent&) { ++Disconnects; };
  Ftp->OnFolder = [this](TFTPComponent&, const std::string& path, uint8_t kind) {
    if (kind != fkCurrent) return;
    LastFolder = path;
    ++FolderReports;
  };
  Ftp->OnProgress = [this](TFTPComponent& sender, uint8_t kind, bool, int64_t) {
    if (kind != pkDone) return;
    ++DoneReports;
    DoneServerTime = sender.LastServerTime;
  };
  Ftp->OnChecksum = [this](TFTPComponent&, const std::string&, const std::string& algorithm,
                           const std::string& digest) {
    ChecksumAlgorithm = algorithm;
    ChecksumDigest = digest;
  };
  Ftp->OnFileTime = [this](TFTPComponent&, const std::string&, int64_t time) {
    AskedFileTime = time;
  };
  Ftp->OnListing = [this](TFTPComponent&, std::string& text) {
    ListingText = std::move(text);
    ++Listings;
  };
}

TCliSession::~TCliSession() {
  Ftp.reset();
  ShutdownEngine(std::chrono::milliseconds(2000));
}

void TCliSession::Fail(const std::string& text, const std::string& reply) {
  LastError = text;
  LastFailureReply = reply;
  // Only a refusal explains a failure; a positive reply ("200 Switching to Binary mode",
  // "125 Data connection already open") quoted after it would mislead.
  if (FinalReplyCode(reply) >= 400) LastError += " (" + reply + ")";
}

void TCliSession::WatchRestart(const std::string& logLine) {
  if (logLine.rfind("REST ", 0) == 0) {
    RestStep = 1;
    return;
  }
  const int code = FinalReplyCode(logLine);
  if (code == 0 || RestStep == 0) return;
  if (RestStep == 1 && code == 350) {
    RestStep = 2;
    return;
  }
  // REST itself refused (text mode on some servers), or the command after it refused.
  if (code >= 400) RestartRefusal = logLine;
  RestStep = 0;
}

bool TCliSession::Connect(TFtpUrl& url) {
  const TPreferences& preferences = Preferences();
  Ftp->Host = url.Host;
  Ftp->Port = url.Port;
  Ftp->Encryption = url.Encryption;
  Ftp->Protocol = url.Protocol;
  Ftp->KeyFile = url.KeyFile;
  Ftp->User = url.User;
  Ftp->Password =
      url.Password.empty() && url.User == "anonymous" ? preferences.EMail : url.Password;
  ConnectAsPreferred(*Ftp, preferences);
  Target->RunUntil([&] { return LoggedIn || ConnectFailed; }, kNoLimit);
  // SSH tries keys first; a password is asked for once none was accepted.
  if (!LoggedIn && url.Protocol == prSftp && url.Password.empty() && LogOnRefused &&
      ::isatty(STDIN_FILENO)) {
    const std::string who = (url.User.empty() ? "" : url.User + "@") + url.Host;
    if (auto asked = AskPasswordOnTerminal("Password for " + who + ": ");
        asked && !asked->empty()) {
      url.Password = *asked;
      Ftp->Password = *asked;
      ConnectFailed = false;
      LogOnRefused = false;
      LastError.clear();
      ConnectAsPreferred(*Ftp, preferences);
      Target->RunUntil([&] { return LoggedIn || ConnectFailed; }, kNoLimit);
    }
  }
  if (LoggedIn) {
    if (!AskCurrentFolder()) return false;
    HomeFolder = LastFolder;
    return true;
  }
  const std::string reason = LastError.empty() ? "could not log on" : LastError;
  LastError.clear();
  Fail(reason, LastReply);
  return false;
}

bool TCliSession::WaitForRequests() {
  const int disconnects = Disconnects;
  MarkerAnswered = false;
  Ftp->PostMarker();
  MarkerRequest = Ftp->LastRequest();
  Target->RunUntil([&] { return MarkerAnswered || Disconnects > disconnects; }, kNoLimit);
  if (Disconnects > disconnects) {
    Fail(LastError.empty() ? "connection lost" : LastError, LastReply);
    return false;
  }
  return true;
}

bool TCliSession::AskCurrentFolder() {
  const int folders = FolderReports;
  Ftp->GetFolder();
  if (!WaitForRequests()) return false;
  if (FolderReports == folders) {
    Fail("the server answered PWD with \"" + ReplyBeforeMarker + "\"", "");
    return false;
  }
  return true;
}

bool TCliSession::ChangeFolder(const std::string& path) {
  LastError.clear();
  Ftp->ChangeFolder(path);
  if (!WaitForRequests()) return false;
  if (ReplyBeforeMarker.rfind("250", 0) == 0) return true;
  Fail("cannot change to " + path, ReplyBeforeMarker);
  return false;
}

std::optional<std::pair<std::string, std::string>> TCliSession::Checksum(const std::string& path) {
  ChecksumAlgorithm.clear();
  ChecksumDigest.clear();
  Ftp->AskChecksum(path);
  if (!WaitForRequests() || ChecksumDigest.empty()) return std::nullopt;
  return std::make_pair(ChecksumAlgorithm, ChecksumDigest);
}

std::optional<int64_t> TCliSession::FileTime(const std::string& path) {
  AskedFileTime = -1;
  Ftp->AskFileTime(path);
  if (!WaitForRequests() || AskedFileTime < 0) return std::nullopt;
  return AskedFileTime;
}

bool TCliSession::Remove(const std::string& path, bool folder) {
  LastError.clear();
  if (folder) {
    Ftp->RemoveFolder(path);
  } else {
    Ftp->DeleteFile(path);
  }
  if (!WaitForRequests()) return false;
  if (ReplyBeforeMarker.rfind("2", 0) != 0) {
    Fail("cannot delete " + path, ReplyBeforeMarker);
    return false;
  }
  return true;
}

bool TCliSession::MakeFolders(const std::string& path) {
  // Like mkdir -p, one level at a time from the login folder (or the root for an absolute
  // path): a level that is there answers CWD, a missing one is made first. Afterwards the
  // session is back where it started, since the paths that follow are relative to it.
  auto step = [this](const std::string& folder) {
    Ftp->ChangeFolder(folder);
    return WaitForRequests() && ReplyBeforeMarker.rfind("250", 0) == 0;
  };
  if (path.rfind('/', 0) == 0) return true;  // absolute paths name folders that must exist
  std::vector<std::string> levels;
  for (size_t start = 0; start < path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) levels.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  size_t entered = 0;
  bool ok = true;
  for (const std::string& level : levels) {
    if (!step(level)) {
      Ftp->MakeFolder(level);
      if (!WaitForRequests() || ReplyBeforeMarker.rfind("257", 0) != 0 || !step(level)) {
        Fail("cannot create " + level, ReplyBeforeMarker);
        ok = false;
        break;
      }
    }
    ++entered;
  }
  for (; entered > 0; --entered) step("..");
  LastError.clear();
  return ok;
}

std::optional<std::string> TCliSession::List() {
  LastError.clear();
  const int listings = Listings;
  Ftp->List();
  return ListingAfter(listings, "listing failed");
}

std::optional<std::string> TCliSession::ListFolder(const std::string& relativeFolder) {
  // An absolute folder (an address with %2F) is itself, not a folder under the log-in one.
  std::string folder = relativeFolder.rfind('/', 0) == 0 ? std::string() : HomeFolder;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  folder += relativeFolder;
  // Listed by its path where the server can (no change of folder, one round trip less).
  LastError.clear();
  const int listings = Listings;
  Ftp->List(folder);
  return ListingAfter(listings, "cannot list " + folder);
}

std::optional<std::string> TCliSession::ListingAfter(int listings, const std::string& failure) {
  if (!WaitForRequests()) return std::nullopt;
  if (Listings == listings) {
    Fail(LastError.empty() ? failure : LastError, ReplyBeforeMarker);
    return std::nullopt;
  }
  return std::exchange(ListingText, {});  // handed over, not copied: it may be a gigabyte
}

bool TCliSession::TransferSucceeded(int errorsBefore, int doneBefore, const char* failure) {
  if (!WaitForRequests()) return false;
  if (Errors == errorsBefore && DoneReports > doneBefore) return true;
  Fail(LastError.empty() ? failure : LastError, ReplyBeforeMarker);
  return false;
}

bool TCliSession::RunTransfer(bool upload, const std::string& local, const std::string& remote,
                              int64_t offset) {
  LastError.clear();
  LastErrorCode = 0;
  LastFailureReply.clear();
  RestartRefusal.clear();
  SizeAnswered = false;
  const int errors = Errors;
  const int done = DoneReports;
  const int mode = Preferences().TransferModeFor(upload ? local : remote);
  if (upload && offset > 0) {
    Ftp->ResumeUpload(local, remote, mode, offset);
  } else if (upload) {
    Ftp->Upload(local, remote, mode);
  } else if (offset > 0) {
    Ftp->ResumeDownload(remote, local, mode, offset);
  } else {
    Ftp->Download(remote, local, mode);
  }
  return TransferSucceeded(errors, done, upload ? "upload failed" : "download failed");
}

std::optional<int64_t> TCliSession::ListedSize(const std::string& remote) {
  const std::string folder = FolderOf(remote);
  std::optional<int64_t> size;
  if (folder.empty() || ChangeFolder(folder)) {
    if (const auto listing = List()) size = SizeInListing(*listing, BaseName(remote));
  }
  // Later paths are relative to the log-on folder again.
  if (!folder.empty()) ChangeFolder(HomeFolder);
  return size;
}

bool TCliSession::Download(const std::string& remote, const std::string& local, bool resume) {
  DoneServerTime = -1;
  const bool existed = ::access(local.c_str(), F_OK) == 0;
  const bool ok = DownloadOnce(remote, local, resume);
  struct stat info {};
  if (!ok && !existed && ::stat(local.c_str(), &info) == 0 && info.st_size > 0) {
    LastError += " (the partial file of " + std::to_string(info.st_size) +
                 " bytes is kept; --resume continues it)";
  }
  return ok;
}

bool TCliSession::KeepServerTime(const std::string& local) {
  if (DoneServerTime < 0) return false;
  const timespec times[2] = {{static_cast<time_t>(DoneServerTime), 0},
                             {static_cast<time_t>(DoneServerTime), 0}};
  return ::utimensat(AT_FDCWD, local.c_str(), times, 0) == 0;
}

bool TCliSession::DownloadOnce(const std::string& remote, const std::string& local, bool resume) {
  struct stat info {};
  int64_t offset = 0;
  if (resume && TextMode(remote)) {
    resume = false;
  }
  if (resume && ::stat(local.c_str(), &info) == 0 && info.st_size > 0) {
    if (Ftp->ServerCanResume()) {
      offset = static_cast<int64_t>(info.st_size);
    } else {
      Note("the server cannot resume; fetching the whole file");
    }
  }
  const bool ok = RunTransfer(false, local, remote, offset);
  if (ok && offset > 0 && !SizeAnswered) {
    // Without SIZE the engine could not check the result: the listing tells what the file
    // must come to. A server may have ignored REST, or had less than the local file.
    const auto listed = ListedSize(remote);
    if (listed && ::stat(local.c_str(), &info) == 0 && info.st_size != *listed) {
      if (::truncate(local.c_str(), static_cast<off_t>(offset)) != 0) {
        Fail("cannot restore " + local, "");
        return false;
      }
      Note("the resumed file came to " + std::to_string(info.st_size) +
           " bytes instead of the server's " + std::to_string(*listed) +
           "; fetching the whole file");
      return RunTransfer(false, local, remote, 0);
    }
  }
  if (ok || offset == 0) return ok;
  // The whole file is fetched into a temporary file beside the local one, which stays as it
  // is until the new one is complete.
  if (LastErrorCode == kErrorLocalFileLarger) {
    Note(
        "the local file is larger than the server's, so it is another file; fetching the "
        "whole file in its place");
    return RunTransfer(false, local, remote, 0);
  }
  if (LastErrorCode == kErrorResumeMismatch) {
    Note("the server did not continue where the local file ended; fetching the whole file");
    return RunTransfer(false, local, remote, 0);
  }
  if (RestartRefusal.empty()) return ok;
  Note("the server refused to resume (" + RestartRefusal + "); fetching the whole file");
  return RunTransfer(false, local, remote, 0);
}

bool TCliSession::Upload(const std::string& local, const std::string& remote, bool resume) {
  LastError.clear();
  int64_t offset = 0;
  std::string remoteName = remote;
  if (resume && TextMode(local)) {
    resume = false;
  }
  if (resume && !Ftp->ServerCanResume()) {
    Note("the server cannot resume; sending the whole file");
  } else if (resume) {
    // The listing is of the current folder, so go where the file is and name it from there.
    const std::string folder = FolderOf(remote);
    if (!folder.empty() && !ChangeFolder(folder)) return false;
    auto listing = List();
    if (!listing) return false;
    offset = SizeInListing(*listing, BaseName(remote)).value_or(0);
    remoteName = BaseName(remote);
    struct stat info {};
    if (offset > 0 && ::stat(local.c_str(), &info) == 0 && offset > info.st_size) {
      // Nothing of the local file is missing there: the server's copy is another file.
      Note("the server's copy (" + std::to_string(offset) +
           " bytes) is larger than the local "
           "file (" +
           std::to_string(info.st_size) +
           " bytes), so it is another file; sending "
           "the whole file in its place");
      offset = 0;
    }
  }
  const bool ok = RunTransfer(true, local, remoteName, offset);
  if (ok || offset == 0) return ok;
  if (LastErrorCode == kErrorResumeMismatch) {
    Note("the server did not continue where its copy ended; sending the whole file");
    return RunTransfer(true, local, remoteName, 0);
  }
  if (RestartRefusal.empty()) return ok;
  Note("the server refused to resume (" + RestartRefusal + "); sending the whole file");
  return RunTransfer(true, local, remoteName, 0);
}

bool TCliSession::TextMode(const std::string& name) const {
  if (Preferences().TransferModeFor(name) != 0) return false;
  // Bytes on disk (LF line ends) are not bytes on the wire (CR LF): no offset is right.
  Note("\"" + BaseName(name) +
       "\" is transferred in text mode, which cannot be resumed; transferring it whole");
  return true;
}

void TCliSession::Note(const std::string& text) const {
  std::fprintf(stderr, "pelmar-cli: %s\n", TerminalText(text).c_str());
}

void TCliSession::Quit() {
  if (!Ftp->LoggedIn) return;
  const int disconnects = Disconnects;
  Ftp->Disconnect();
  Target->RunUntil([&] { return Disconnects > disconnects; }, kNoLimit);
}

}  // namespace pelmar
