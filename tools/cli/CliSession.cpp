#include "CliSession.h"

#include <sys/stat.h>

#include <cstdio>

#include "engine/WorkerRegistry.h"
#include "settings/Preferences.h"
#include "views/ListingPass.h"

namespace pelmar {
namespace {

constexpr std::chrono::hours kNoLimit{24 * 365};

bool IsFinalReplyLine(const std::string& line) {
  return line.size() >= 4 && line[3] == ' ' && line[0] >= '1' && line[0] <= '5' &&
         std::isdigit(static_cast<unsigned char>(line[1])) &&
         std::isdigit(static_cast<unsigned char>(line[2]));
}

// Log texts may carry their own CR LF; the terminal gets plain lines.
void PrintLogLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out += c;
  }
  if (out.empty() || out.back() != '\n') out += '\n';
  std::fputs(out.c_str(), stderr);
}

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
    if (VerboseLog) PrintLogLine(text);
    if (IsFinalReplyLine(text)) LastReply = text;
    if (text == "PWD") ReplyBeforeMarker = LastReply;
  };
  Ftp->OnError = [this](TFTPComponent&, int, const std::string& text) {
    ++Errors;
    if (LastError.empty()) LastError = text;
  };
  Ftp->OnLoggedIn = [this](TFTPComponent&) { LoggedIn = true; };
  Ftp->OnConnectFailed = [this](TFTPComponent&) { ConnectFailed = true; };
  Ftp->OnDisconnected = [this](TFTPComponent&) { ++Disconnects; };
  Ftp->OnFolder = [this](TFTPComponent&, const std::string& path, uint8_t kind) {
    if (kind != fkCurrent) return;
    LastFolder = path;
    ++FolderReports;
  };
  Ftp->OnProgress = [this](TFTPComponent&, uint8_t kind, bool, int64_t) {
    if (kind == pkDone) ++DoneReports;
  };
  Ftp->OnListing = [this](TFTPComponent&, std::string& text) {
    ListingText = text;
    ++Listings;
  };
}

TCliSession::~TCliSession() {
  Ftp.reset();
  ShutdownEngine(std::chrono::milliseconds(2000));
}

void TCliSession::Fail(const std::string& text, const std::string& reply) {
  LastError = text;
  if (!reply.empty()) LastError += " (" + reply + ")";
}

bool TCliSession::Connect(const TFtpUrl& url) {
  const TPreferences& preferences = Preferences();
  Ftp->Host = url.Host;
  Ftp->Port = url.Port;
  Ftp->User = url.User;
  Ftp->Password =
      url.Password.empty() && url.User == "anonymous" ? preferences.EMail : url.Password;
  if (preferences.FirewallEnabled) {
    Ftp->FirewallType = static_cast<uint8_t>(preferences.FirewallType);
    Ftp->FirewallHost = preferences.FirewallHost;
    Ftp->FirewallPort = preferences.FirewallPortNumber();
    Ftp->FirewallUser = preferences.FirewallUser;
    Ftp->FirewallPassword = preferences.FirewallPassword;
    Ftp->ConnectViaFirewall();
  } else {
    Ftp->Connect();
  }
  Target->RunUntil([&] { return LoggedIn || ConnectFailed; }, kNoLimit);
  if (LoggedIn) {
    if (!WaitForRequests()) return false;
    HomeFolder = LastFolder;
    return true;
  }
  const std::string reason = LastError.empty() ? "could not log on" : LastError;
  LastError.clear();
  Fail(reason, LastReply);
  return false;
}

bool TCliSession::WaitForRequests() {
  const int folders = FolderReports;
  const int disconnects = Disconnects;
  Ftp->GetFolder();
  Target->RunUntil([&] { return FolderReports > folders || Disconnects > disconnects; }, kNoLimit);
  if (Disconnects > disconnects) {
    Fail(LastError.empty() ? "connection lost" : LastError, LastReply);
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

std::optional<std::string> TCliSession::List() {
  LastError.clear();
  const int listings = Listings;
  Ftp->List();
  if (!WaitForRequests()) return std::nullopt;
  if (Listings == listings) {
    Fail(LastError.empty() ? "listing failed" : LastError, ReplyBeforeMarker);
    return std::nullopt;
  }
  return ListingText;
}

std::optional<std::string> TCliSession::ListFolder(const std::string& relativeFolder) {
  std::string folder = HomeFolder;
  if (folder.empty() || folder.back() != '/') folder += '/';
  folder += relativeFolder;
  if (!ChangeFolder(folder)) return std::nullopt;
  return List();
}

bool TCliSession::TransferSucceeded(int errorsBefore, int doneBefore, const char* failure) {
  if (!WaitForRequests()) return false;
  if (Errors == errorsBefore && DoneReports > doneBefore) return true;
  Fail(LastError.empty() ? failure : LastError, ReplyBeforeMarker);
  return false;
}

bool TCliSession::Download(const std::string& remote, const std::string& local, bool resume) {
  LastError.clear();
  const int errors = Errors;
  const int done = DoneReports;
  struct stat info {};
  if (resume && ::stat(local.c_str(), &info) == 0 && info.st_size > 0) {
    if (!Ftp->ServerCanResume()) {
      if (VerboseLog) PrintLogLine("The server cannot resume; fetching the whole file");
    }
    Ftp->ResumeDownload(remote, local, Preferences().TransferModeFor(remote),
                        static_cast<int64_t>(info.st_size));
  } else {
    Ftp->Download(remote, local, Preferences().TransferModeFor(remote));
  }
  return TransferSucceeded(errors, done, "download failed");
}

bool TCliSession::Upload(const std::string& local, const std::string& remote, bool resume) {
  LastError.clear();
  int64_t offset = 0;
  std::string remoteName = remote;
  if (resume) {
    if (!Ftp->ServerCanResume()) {
      LastError = "the server cannot resume uploads";
      return false;
    }
    // The listing is of the current folder, so go where the file is and name it from there.
    const std::string folder = FolderOf(remote);
    if (!folder.empty() && !ChangeFolder(folder)) return false;
    auto listing = List();
    if (!listing) return false;
    offset = SizeInListing(*listing, BaseName(remote)).value_or(0);
    remoteName = BaseName(remote);
  }
  const int errors = Errors;
  const int done = DoneReports;
  if (offset > 0) {
    Ftp->ResumeUpload(local, remoteName, Preferences().TransferModeFor(local), offset);
  } else {
    Ftp->Upload(local, remoteName, Preferences().TransferModeFor(local));
  }
  return TransferSucceeded(errors, done, "upload failed");
}

void TCliSession::Quit() {
  if (!Ftp->LoggedIn) return;
  const int disconnects = Disconnects;
  Ftp->Disconnect();
  Target->RunUntil([&] { return Disconnects > disconnects; }, kNoLimit);
}

}  // namespace pelmar
