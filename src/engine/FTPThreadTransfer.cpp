// Transfers over the data connection: listings, downloads and uploads, with resume, the size
// and checksum checks, replacement through a temporary name and the server's file time.

#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <vector>

#include "engine/AsciiConversion.h"
#include "engine/Checksums.h"
#include "engine/EngineSettings.h"
#include "engine/FTPThread.h"
#include "engine/NumberFormat.h"
#include "engine/RequestArgs.h"
#include "platform/Numbers.h"
#include "platform/Tick.h"
#include "platform/WinSockErrors.h"

namespace pelmar {
namespace {

// A request's argument at `at` read as a byte count; -1 when missing or not a number.
int64_t NumberArgument(const std::vector<std::string>& args, size_t at) {
  if (args.size() <= at) return -1;
  return ReadNumber(args[at]).value_or(-1);
}

// The size the caller's listing gave for a download: its fourth argument; -1 when unknown.
int64_t KnownSizeArgument(const std::vector<std::string>& args) {
  return NumberArgument(args, 3);
}

// The offset of a resume request: its third argument, 0 when there is none.
int64_t OffsetArgument(const std::vector<std::string>& args) {
  return std::max<int64_t>(NumberArgument(args, 2), 0);
}

}  // namespace

void TFTPThread::ServeType(const TArgs& args) {
  // The type stays until changed: one TYPE per connection and type, not one per file.
  if (!RequestArg(args, 0).empty() && TypeLetter == RequestArg(args, 0)[0]) return;
  SendCommand("TYPE " + RequestArg(args, 0));
  const int reply = ReadReply();
  TypeLetter = reply == 200 && !RequestArg(args, 0).empty() ? RequestArg(args, 0)[0] : 0;
}

bool TFTPThread::Transfer(const std::string& command, bool receive, int64_t offset,
                          TTransferStream& stream) {
  // Active mode goes on after a refused PORT (the command's own reply ends it, as servers
  // expect); passive mode has no data connection to go on with.
  // A download's time, where the listing did not give it exactly, is asked before the data
  // port and answered with it.
  const bool timeAhead = receive && IsFileTransfer && command.rfind("RETR ", 0) == 0 &&
                         EngineSettings().KeepTimes.load() && ListedServerTime < 0 && HasMdtm;
  TimeAnsweredAhead = -1;
  PortAskedAhead = false;
  DataAheadEnded = false;
  DataAheadError = 0;
  if (timeAhead) {
    SendCommand("MDTM " + command.substr(5));
    TimeAskedAhead = true;
  }
  // Without REST in between, passive mode's EPSV takes the command along (one round trip).
  const bool prepared = PrepareDataPort(offset == 0 ? command : std::string());
  ReadTimeAskedAhead();  // where the data port failed before its command went
  if (!prepared && PassiveMode()) {
    DrainCommandSentAhead();
    CloseSocket(DataSocket);
    PostError(0, "Unable to complete transfer");
    return false;
  }
  bool ok = true;
  DataFailed = false;
  if (offset > 0) {
    const int64_t position = stream.Seek(offset);
    SendCommand("REST " + std::to_string(position));
    ok = ReadReply() == 350;
  }
  if (ok) {
    if (!CommandSentAhead) SendCommand(command);
    CommandSentAhead = false;
    if (receive) ReadDataAhead(MayAskPortAhead(receive));
    const int reply = ReadReply();
    ok = reply == 150 || reply == 125;
    // A refusal is the transfer's last reply: the port asked at the data's end answers next.
    if (!ok) PortAnswersNext();
    if (!ok && QuietRefusal && reply >= 500) {
      RefusedReply = reply;
      CloseSocket(DataSocket);
      return false;
    }
  }
  AnnouncedSize = ok && receive && IsFileTransfer ? ParseAnnouncedSize(LastReplyLine) : -1;
  if (ok && receive && IsFileTransfer && AnnouncedSize < 0 &&
      LastReplyLine.find(" bytes)") != std::string::npos) {
    Log("The size the server announced does not read as a byte count and is not used: " +
        LastReplyLine);
  }
  if (ok) {
    const int64_t start = GetTickCount();
    TransferUnanswered = false;
    const int64_t bytes = DataLoop(stream, receive);
    const double seconds = static_cast<double>(GetTickCount() - start) * 0.001;
    // The next data port is asked for as a download's data has ended, before its final reply
    // (if the data did not end before the 150 already).
    if (!PortAskedAhead && !TransferUnanswered && !DataFailed && MayAskPortAhead(receive))
      AskPortAhead();
    if (TransferUnanswered) PortAnswersNext();
    const int reply = TransferUnanswered ? 0 : FinalTransferReply();
    ok = (reply == 225 || reply == 226 || reply == 250) && !DataFailed;
    if (ok && receive && IsFileTransfer && offset == 0) {
      const auto* file = dynamic_cast<const TSequentialFileStream*>(&stream);
      ok = ReceivedWhole(command.substr(5), stream, bytes, file && file->Replacing());
    }
    if (ok && receive && ResumeExpected >= 0 && stream.Position() != ResumeExpected) {
      PostError(kErrorResumeMismatch,
                "The resumed file " + FileName + " came to " + std::to_string(stream.Position()) +
                    " bytes instead of the server's " + std::to_string(ResumeExpected) +
                    "; the server did not continue where the file ended");
      ResumeMismatch = true;
      ok = false;
    }
    if (ok && !receive && IsFileTransfer) ok = ServerHasWhole(command.substr(5), bytes);
    // A binary file's checksum, where the server computes one: before a replacement takes
    // the old file's place.
    ChecksumFailed = false;
    if (ok && IsFileTransfer && TypeLetter == 'I' && !HashCommand.empty() &&
        EngineSettings().VerifyTransfers.load() &&
        (command.rfind("RETR ", 0) == 0 || command.rfind("STOR ", 0) == 0)) {
      ok = VerifyChecksum(command.substr(5), stream, command[0]);
    }
    if (ok && !stream.Finish()) {
      PostError(stream.ErrorCode(), stream.ErrorText());
      ok = false;
    }
    RenameFailed = false;
    if (ok && !RenameAfterStore.empty()) {
      ok = RenameOver(command.substr(5), RenameAfterStore);
      RenameFailed = !ok;
    }
    if (ok) Log(TransferStatisticsLine(bytes, seconds, EngineNumberFormat()));
    // The file's time on the server goes with the end of its download, so that whoever
    // finishes the file gives it that time.
    if (ok && receive && IsFileTransfer && EngineSettings().KeepTimes.load() &&
        command.rfind("RETR ", 0) == 0) {
      DoneServerTime = ListedServerTime >= 0 ? ListedServerTime : TimeAnsweredAhead;
    }
    PostProgress(pkDone, bytes, ok);
    DoneServerTime = -1;
  }
  CloseSocket(DataSocket);
  std::string().swap(DataAhead);  // a refused transfer's data is dropped unwritten
  if (!ok) PostError(0, "Unable to complete transfer");
  return ok;
}

bool TFTPThread::ReceivedWhole(const std::string& remote, const TTransferStream& stream,
                               int64_t wireBytes, bool replacing) {
  const bool announced = AnnouncedSize >= 0;
  const int64_t expected = announced ? AnnouncedSize : ExpectedSize;
  if (expected < 0) return true;
  // Text mode changes line ends on the way: what the file holds may be less than the server's
  // size, but what came over the wire (CR LF for each line end) never is.
  const bool text = TypeLetter == 'A';
  const int64_t got = text ? wireBytes : stream.Position();
  if (got >= expected) {
    if (got > expected && !text) {
      Log("The server sent " + std::to_string(got) + " bytes of " + remote + ", more than the " +
          std::to_string(expected) + " it had said; the file changed while it was read");
    }
    return true;
  }
  const std::string from = announced ? "the server announced" : ExpectedFrom;
  PostError(kErrorShortTransfer, "The download of " + remote + " came to " + std::to_string(got) +
                                     " bytes instead of the " + std::to_string(expected) +
                                     " bytes " + from +
                                     (replacing ? "; the local file was left as it was" : ""));
  return false;
}

std::optional<int64_t> TFTPThread::AskServerSize(const std::string& remote) {
  SendCommand("SIZE " + remote);
  if (ReadReply() != 213) return std::nullopt;
  const auto size = ParseSizeReply(LastReplyLine);
  if (!size)
    Log("The server's size does not read as a byte count and is not used: " + LastReplyLine);
  return size;
}

bool TFTPThread::ServerHasWhole(const std::string& remote, int64_t bytes) {
  // Text mode changes the size on the way; a server without SIZE cannot tell.
  if (TypeLetter != 'I' || (!HasSize && ResumedUpload.empty())) return true;
  const auto size = AskServerSize(remote);
  if (!size || *size == bytes) return true;
  const bool resumed = !ResumedUpload.empty();
  UploadSizeFailed = true;
  PostError(resumed ? kErrorResumeMismatch : kErrorShortTransfer,
            (RenameAfterStore.empty() ? "The server's copy of " + remote
                                      : "The new copy of " + RenameAfterStore) +
                " came to " + std::to_string(*size) + " bytes instead of " + std::to_string(bytes) +
                (resumed ? "; the server did not continue where its copy ended"
                         : WrongUploadFate(remote)));
  return false;
}

std::string TFTPThread::WrongUploadFate(const std::string& stored) {
  // A replacement was stored under a temporary name: the old file is untouched.
  if (!RenameAfterStore.empty()) {
    StoredRemoved = RemoveQuietly(stored);
    return "; the server's " + RenameAfterStore + " was left as it was";
  }
  StoredRemoved = RemoveQuietly(stored);
  return StoredRemoved
             ? "; the wrong copy was deleted from the server"
             : "; the wrong copy could not be deleted from the server (" + LastReplyLine + ")";
}

bool TFTPThread::VerifyChecksum(const std::string& remote, const TTransferStream& stream,
                                char command) {
  const auto local = FileDigest(stream.LocalPath(), HashAlgorithm);
  SendCommand(HashCommand + " " + remote);
  ReadReply();
  const auto server = DigestInReply(LastReplyLine, HashAlgorithm);
  if (!local || !server) {
    Log("Could not compare the " + HashAlgorithm + " of " + remote +
        (server ? ": the local file could not be read" : ": the server gave none"));
    return true;
  }
  if (*local == *server) {
    Log(HashAlgorithm + " of " + remote + " matches the server's");
    return true;
  }
  ChecksumFailed = true;
  const std::string fate = command == 'R'          ? "; the copy is wrong and was not kept"
                           : ResumedUpload.empty() ? WrongUploadFate(remote)
                                                   : "; the server's copy is wrong";
  const std::string named =
      RenameAfterStore.empty() ? remote : "the new copy of " + RenameAfterStore;
  PostError(kErrorChecksumMismatch, "The " + HashAlgorithm + " of " + named + " (" + *local +
                                        ") is not the server's (" + *server + ")" + fate);
  return false;
}

void TFTPThread::ServeList(const std::string& folder) {
  IsFileTransfer = 0;
  try {
    TMemoryStream listing;
    // MLSD gives exact facts (UTC times to the second, sizes, whole names); a folder the
    // server will not list that way is listed with LIST, and a server that does not know the
    // command after all is not asked again on this log-on.
    bool listed = false;
    if (!folder.empty()) {
      // A named folder: "MLSD path" saves changing into it (one round trip). Whatever the
      // server does not list so is listed as before, from inside the folder.
      if (HasMlst && MlsdTakesPath) {
        TMemoryStream byPath;
        QuietRefusal = true;
        RefusedReply = 0;
        listed = Transfer("MLSD " + folder, true, 0, byPath);
        QuietRefusal = false;
        if (RefusedReply == 500 || RefusedReply == 501 || RefusedReply == 502)
          MlsdTakesPath = false;
        if (!listed && RefusedReply == 0) {
          // Taken, then failed: reported already, as any failed listing.
          IsFileTransfer = 1;
          return;
        }
        // Links named without their targets need LIST's lines, from inside the folder.
        if (listed && HasUntargetedLinks(byPath.Bytes())) listed = false;
        if (listed) listing.Bytes() = std::move(byPath.Bytes());
      }
      if (!listed) {
        if (!CommandWithFallback("CWD " + folder, 250)) {
          IsFileTransfer = 1;
          return;
        }
        // The folder is there, yet MLSD would not list it by its path: from now on it is
        // entered first.
        if (RefusedReply != 0) MlsdTakesPath = false;
      }
    }
    if (!listed && HasMlst) {
      QuietRefusal = true;
      RefusedReply = 0;
      listed = Transfer("MLSD", true, 0, listing);
      QuietRefusal = false;
      if (RefusedReply == 500 || RefusedReply == 502) HasMlst = false;
    }
    // A listing that failed after the server took MLSD was reported already.
    const bool tryList = !listed && (!HasMlst || RefusedReply != 0);
    if (listed && HasUntargetedLinks(listing.Bytes())) {
      // Some servers name a link in MLSD without its target: LIST's line for it does, and a
      // listing may mix the two kinds of line.
      TMemoryStream classic;
      if (Transfer("LIST", true, 0, classic)) {
        listing.Bytes() = WithListedLinks(listing.Bytes(), classic.Bytes());
      }
    }
    if (listed || (tryList && Transfer("LIST", true, 0, listing))) {
      auto record = std::make_shared<TListingData>();
      // Moved as it is: the room it grew into beyond the text was never written, and a large
      // listing's unwritten pages take no memory; giving that room back would copy the text,
      // holding a large listing twice.
      record->Bytes = std::move(listing.Bytes());
      PostEvent(evListing, std::move(record));
    }
  } catch (...) {
    // A broken control connection shows up as the failing step's error event; the next
    // request on it fails in turn and is handled by the dispatcher.
    CloseSocket(DataSocket);
  }
  IsFileTransfer = 1;
}

void TFTPThread::ServeDownload(const TArgs& args) {
  const std::string& localName = RequestArg(args, 0);
  const std::string& remote = RequestArg(args, 1);
  FileName = localName;
  int64_t offset = Shared->ServerCanResume.load() ? OffsetArgument(args) : 0;
  ExpectedSize = KnownSizeArgument(args);
  ExpectedFrom = "the listing gave";
  const bool onlyNew = RequestArg(args, 4) == kDownloadNewOnly;
  TSequentialFileStream stream(localName, offset > 0 ? fmOpenWriteExclusive
                                          : onlyNew  ? fmCreateNew
                                                     : fmCreate);
  if (stream.DestinationTaken()) {
    PostError(kErrorDestinationTaken, stream.ErrorText());
    return;
  }
  // Resuming past the end of the local file would leave a hole of zeros in it.
  if (offset > stream.Size()) offset = stream.Size();
  if (offset > 0) {
    // The server's size says whether the local file can be the start of the server's at all,
    // and what the file must come to: a server may accept REST and then send everything.
    ResumeExpected = AskServerSize(remote).value_or(-1);
    if (ResumeExpected < 0) ResumeExpected = ExpectedSize;
    if (ResumeExpected >= 0 && stream.Size() > ResumeExpected) {
      PostError(kErrorLocalFileLarger,
                "The local file " + localName + " (" + std::to_string(stream.Size()) +
                    " bytes) is larger than the server's (" + std::to_string(ResumeExpected) +
                    " bytes); it is another file and was not resumed");
      return;
    }
  } else if (ExpectedSize < 0 && TypeLetter == 'I' && HasSize) {
    // Nothing else says what the file comes to; a server that closes the data connection
    // early and confirms anyway must not leave a short file that looks whole.
    if (const auto size = AskServerSize(remote)) {
      ExpectedSize = *size;
      ExpectedFrom = "SIZE gave";
    }
  }
  ListedServerTime = NumberArgument(args, 5);
  Transfer("RETR " + remote, true, offset, stream);
  ListedServerTime = -1;
  // What a resume that came out at the wrong size appended is not the file's continuation:
  // the partial file goes back to what it was.
  if (ResumeMismatch) stream.Truncate(offset);
  if (ChecksumFailed) stream.Discard(offset);
}

void TFTPThread::ServeUpload(const TArgs& args) {
  const int64_t offset = Shared->ServerCanResume.load() ? OffsetArgument(args) : 0;
  const std::string& remote = RequestArg(args, 1);
  TSequentialFileStream stream(RequestArg(args, 0), fmOpenReadDenyWrite);
  if (offset > stream.Size()) {
    PostError(kErrorServerFileLarger,
              "The server's copy of " + remote + " (" + std::to_string(offset) +
                  " bytes) is larger than the local file (" + std::to_string(stream.Size()) +
                  " bytes); it is another file and was not resumed");
    return;
  }
  ResumedUpload = offset > 0 ? remote : std::string();
  UploadSizeFailed = false;
  ChecksumFailed = false;
  StoredRemoved = false;
  // A file already on the server is replaced through a temporary name beside it, renamed over
  // it only once the new copy is whole: a broken or wrong upload leaves the old file as it was.
  bool replacing = false;
  if (offset == 0 && TypeLetter == 'I' && HasSize && RequestArg(args, 3) != kUploadKnownNew) {
    SendCommand("SIZE " + remote);
    replacing = ReadReply() == 213;
  }
  const std::string storeAs = replacing ? TemporaryUploadName(remote) : remote;
  RenameAfterStore = replacing ? remote : std::string();
  const bool sent = Transfer("STOR " + storeAs, false, offset, stream);
  RenameAfterStore.clear();
  if (replacing && !sent && !RenameFailed && !StoredRemoved) {
    // A broken replacement: its temporary copy goes; the old file never changed.
    RemoveQuietly(storeAs);
    Log("The server's " + remote + " was left as it was");
  }
  if (sent && HasMfmt && EngineSettings().KeepTimes.load()) SetServerTime(args);
}

bool TFTPThread::RemoveQuietly(const std::string& remote) {
  SendCommand("DELE " + remote);
  return ReadReply() / 100 == 2;
}

bool TFTPThread::RenameOver(const std::string& from, const std::string& to) {
  auto rename = [&] {
    SendCommand("RNFR " + from);
    if (ReadReply() != 350) return false;
    SendCommand("RNTO " + to);
    return ReadReply() / 100 == 2;
  };
  if (rename()) return true;
  // Some servers (Windows ones) rename only onto a free name: the old file goes first, now
  // that the whole new copy is there.
  const std::string refusal = LastReplyLine;
  if (RemoveQuietly(to) && rename()) return true;
  PostError(0, "The new copy of " + to + " is on the server as " + from +
                   "; it could not be renamed over the old file (" + refusal + ")");
  return false;
}

void TFTPThread::SetServerTime(const TArgs& args) {
  // The local file's time, to the second, in UTC as MFMT takes it. A refusal only shows in
  // the log: the file itself arrived.
  struct stat info {};
  std::tm utc{};
  if (::stat(RequestArg(args, 0).c_str(), &info) != 0 || !::gmtime_r(&info.st_mtime, &utc)) {
    return;
  }
  char stamp[32];
  if (std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &utc) == 0) return;
  SendCommand("MFMT " + std::string(stamp) + " " + RequestArg(args, 1));
  ReadReply();
}

}  // namespace pelmar
