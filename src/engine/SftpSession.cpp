#include "engine/SftpSession.h"

#include "engine/EngineSettings.h"
#include "engine/EventRecords.h"
#include "engine/Messages.h"
#include "engine/RequestArgs.h"

namespace pelmar {
namespace {

// The folder part of a path ("/a/b" for "/a/b/c"; "/" for "/c").
std::string ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

TSftpSession::TSftpSession(TWorkerServices& worker) : Worker(worker) {}

bool TSftpSession::LogOn(const TServer& server, const TConnector& connect, bool& retry) {
  retry = false;
  Close();
  Ssh = std::make_unique<TSshConnection>(Worker);
  if (!Ssh->Configure(server)) return false;
  const int socket = connect(Ssh->Host(), Ssh->Port());
  if (socket < 0) {
    retry = true;
    return false;
  }
  if (!Ssh->Handshake(socket)) {
    retry = !Worker.AbortFlags().Aborted;
    return false;
  }
  Worker.PostEvent(evConnected);
  // A host key refused, or a log-on turned down, would only be refused again.
  if (!Ssh->HostKeyAccepted()) return false;
  if (!Ssh->Authenticate(server.Password)) {
    if (!Worker.AbortFlags().Aborted) Worker.Log("Failed to Log in to Host");
    return false;
  }
  if (!Ssh->OpenSftpChannel()) return false;
  Sftp = std::make_unique<TSftpClient>(*Ssh, Worker);
  if (!Sftp->Start()) return false;
  // Paths of the address are relative to the log-in folder, as with FTP.
  if (const auto home = Sftp->RealPath(".")) {
    CurrentFolder = *home;
  } else if (Sftp->Failed()) {
    return false;
  }
  Worker.SharedState().ServerCanResume = 1;
  Worker.Log("\r\nServer can resume broken downloads\r\n");
  return true;
}

void TSftpSession::Close() {
  Sftp.reset();
  Ssh.reset();
}

bool TSftpSession::Connected() const {
  return Sftp && !Sftp->Failed();
}

std::string TSftpSession::FullPath(const std::string& path) const {
  if (!path.empty() && path[0] == '/') return path;
  if (path.empty() || path == ".") return CurrentFolder;
  return CurrentFolder == "/" ? "/" + path : CurrentFolder + "/" + path;
}

void TSftpSession::PostFolder(const std::string& path, uint8_t kind) {
  auto record = std::make_shared<TFolderEventData>();
  record->Path = path;
  record->Kind = kind;
  Worker.PostEvent(evFolder, std::move(record));
}

void TSftpSession::PostProgress(uint8_t kind, bool isFile, int64_t count, bool completed,
                                int64_t serverTime) {
  auto record = std::make_shared<TProgressData>();
  record->Kind = kind;
  record->IsFile = isFile ? 1 : 0;
  record->Count = count;
  record->Completed = completed ? 1 : 0;
  record->ServerTime = kind == pkDone ? serverTime : -1;
  Worker.PostEvent(evProgress, std::move(record));
}

void TSftpSession::Serve(uint8_t kind, const TArgs& args) {
  if (!Connected()) {
    Worker.PostError(0, "Not connected");
    return;
  }
  const std::string& first = RequestArg(args, 0);
  switch (kind) {
    case rqGetFolder:
      Worker.Log("257 \"" + CurrentFolder + "\" is the current folder");
      PostFolder(CurrentFolder, fkCurrent);
      break;
    case rqChangeFolder:
      ServeChangeFolder(first);
      break;
    case rqList:
      ServeList(first.empty() ? CurrentFolder : FullPath(first));
      break;
    case rqDownload:
    case rqResumeDownload:
      ServeDownload(args);
      break;
    case rqUpload:
    case rqResumeUpload:
      ServeUpload(args);
      break;
    case rqDelete:
      Sftp->Remove(FullPath(first));
      break;
    case rqRename:
      Sftp->Rename(FullPath(first), FullPath(RequestArg(args, 1)), false);
      break;
    case rqMakeFolder:
      if (Sftp->MakeFolder(FullPath(first))) PostFolder(FullPath(first), fkCreated);
      break;
    case rqRemoveFolder:
      if (Sftp->RemoveFolder(FullPath(first))) PostFolder(FullPath(first), fkRemoved);
      break;
    case rqKeepAlive:
      Sftp->Stat(CurrentFolder);
      break;
    case rqChangeMode:
      ServeChangeMode(first, RequestArg(args, 1));
      break;
    case rqFileTime:
      ServeFileTime(first);
      break;
    case rqChecksum: {
      // OpenSSH computes no checksums; transfers are checked by size.
      auto record = std::make_shared<TChecksumEventData>();
      record->FileName = first;
      Worker.PostEvent(evChecksum, std::move(record));
      break;
    }
    default:  // TYPE: SFTP moves files as they are
      break;
  }
}

void TSftpSession::ServeChangeFolder(const std::string& path) {
  const std::string wanted = path == ".." ? ParentOf(CurrentFolder) : FullPath(path);
  const auto real = Sftp->RealPath(wanted);
  if (!real) return;
  const auto attributes = Sftp->Stat(*real);
  if (!attributes) return;
  if (!attributes->IsFolder()) {
    Worker.Log("550 " + *real + ": not a folder");
    return;
  }
  CurrentFolder = *real;
  Worker.Log("250 \"" + CurrentFolder + "\" is the current folder");
  PostFolder(CurrentFolder, fkChanged);
}

void TSftpSession::ServeList(const std::string& folder) {
  const auto handle = Sftp->OpenFolder(folder);
  if (!handle) {
    Worker.PostError(0, "Unable to complete transfer");
    return;
  }
  PostProgress(pkStart, false, 0);
  TMemoryStream listing;
  std::vector<TSftpName> names;
  size_t entries = 0;
  bool ok = true;
  while (ok) {
    names.clear();
    if (!Sftp->ReadFolder(*handle, names)) {
      ok = Sftp->LastStatus() == SSH_FX_EOF && !Sftp->Failed();
      break;
    }
    for (const TSftpName& entry : names) {
      const auto line = SftpFactsLine(entry);
      if (!line) {
        if (entry.Name != "." && entry.Name != "..") {
          Worker.Log("A name the listing cannot carry (a line break in it) is left out: " +
                     entry.Name.substr(0, entry.Name.find_first_of("\r\n")) + "...");
        }
        continue;
      }
      if (!listing.Write(line->data(), line->size()) || !listing.Write("\r\n", 2)) {
        Worker.PostError(0, listing.ErrorText());
        ok = false;
        break;
      }
      ++entries;
    }
  }
  if (!Sftp->Failed()) Sftp->Close(*handle);
  PostProgress(pkDone, false, listing.Position(), ok);
  if (!ok) {
    if (!Sftp->Failed()) Worker.PostError(0, "Unable to complete transfer");
    return;
  }
  Worker.Log("226 " + std::to_string(entries) + " entries listed");
  auto record = std::make_shared<TListingData>();
  record->Bytes = std::move(listing.Bytes());  // as it is (see ServeList)
  Worker.PostEvent(evListing, std::move(record));
}

void TSftpSession::ServeFileTime(const std::string& path) {
  auto record = std::make_shared<TFileTimeEventData>();
  record->FileName = path;
  if (const auto attributes = Sftp->Stat(FullPath(path)); attributes && attributes->HasTimes()) {
    record->Time = attributes->ModifyTime;
  }
  Worker.PostEvent(evFileTime, std::move(record));
}

void TSftpSession::ServeChangeMode(const std::string& digits, const std::string& path) {
  TSftpAttributes attributes;
  attributes.Flags = kSftpAttrPermissions;
  // The digits are octal, as SITE CHMOD takes them.
  uint32_t bits = 0;
  for (const char c : digits) {
    if (c < '0' || c > '7') {
      Worker.Log("550 Unusable permissions: " + digits);
      return;
    }
    bits = bits * 8 + static_cast<uint32_t>(c - '0');
  }
  if (digits.empty() || bits > 07777) {
    Worker.Log("550 Unusable permissions: " + digits);
    return;
  }
  attributes.Permissions = bits;
  Sftp->SetAttributes(FullPath(path), attributes);
}

}  // namespace pelmar
