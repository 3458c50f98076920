// Downloads and uploads over SFTP: many reads or writes outstanding at once, so that the speed
// does not hang on the round trip; resume by offset; the size checks; a replacement through a
// temporary name; the file's time both ways.

#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <map>

#include "engine/EngineSettings.h"
#include "engine/EventRecords.h"
#include "engine/Messages.h"
#include "engine/NumberFormat.h"
#include "engine/RequestArgs.h"
#include "engine/SftpSession.h"
#include "platform/Numbers.h"
#include "platform/Tick.h"

namespace pelmar {
namespace {

// Requests of this many bytes, this many outstanding: as OpenSSH's client does by default
// (2 MiB in flight).
constexpr uint32_t kChunk = 64 * 1024;
constexpr size_t kOutstanding = 32;
constexpr int64_t kProgressIntervalMs = 700;

int64_t NumberArgument(const std::vector<std::string>& args, size_t at) {
  if (args.size() <= at) return -1;
  return ReadNumber(args[at]).value_or(-1);
}

}  // namespace

bool TSftpSession::ProgressDue(int64_t count, int64_t& lastReport) {
  // An abort is looked for after every block, not only at a report (see the FTP data loop).
  if (Worker.Waits().TakeAbort()) return true;
  const int64_t now = GetTickCount();
  if (now - lastReport < kProgressIntervalMs) return false;
  lastReport = now;
  PostProgress(pkProgress, true, count);
  return false;
}

void TSftpSession::AbandonAll(std::vector<uint32_t>& ids) {
  for (const uint32_t id : ids) Sftp->Abandon(id);
  ids.clear();
}

int64_t TSftpSession::ReceiveFile(const std::string& handle, int64_t offset, int64_t size,
                                  TTransferStream& stream) {
  struct TRead {
    uint32_t Id;
    uint64_t Offset;
    uint32_t Length;
  };
  std::deque<TRead> pending;
  // Data that came ahead of the file's position (the rest of a short read is asked for again
  // and arrives after later blocks).
  std::map<uint64_t, std::string> ahead;
  uint64_t next = static_cast<uint64_t>(offset);
  uint64_t position = next;
  bool atEnd = false;
  int64_t lastReport = GetTickCount();
  auto abandon = [&] {
    for (const TRead& read : pending) Sftp->Abandon(read.Id);
    pending.clear();
  };
  auto write = [&](std::string_view data) {
    if (stream.Write(data.data(), data.size())) {
      position += data.size();
      return true;
    }
    Worker.PostError(stream.ErrorCode(), stream.ErrorText());
    return false;
  };
  Worker.ArmWatchdog("waiting for data");
  for (;;) {
    // One request past the known size finds the end (or that the file grew).
    while (!atEnd && pending.size() < kOutstanding &&
           (size < 0 || next <= static_cast<uint64_t>(size))) {
      pending.push_back({Sftp->SendRead(handle, next, kChunk), next, kChunk});
      next += kChunk;
    }
    if (pending.empty()) break;
    auto reply = Sftp->TakeReply(pending.front().Id);
    if (!reply) {
      if (!Sftp->Pump(true) || ProgressDue(static_cast<int64_t>(position), lastReport)) {
        abandon();
        if (Worker.AbortFlags().Aborted) Worker.PostEvent(evAborted);
        return -1;
      }
      continue;
    }
    const TRead read = pending.front();
    pending.pop_front();
    Worker.Waits().ArmWatchdog();
    TSftpReader reader(*reply);
    const uint8_t type = reader.Byte();
    reader.U32();
    if (type == SSH_FXP_STATUS) {
      const uint32_t status = reader.U32();
      if (status == SSH_FX_EOF && reader.Ok()) {
        atEnd = true;
        // Reads past the end all say so; only the first end counts.
        continue;
      }
      abandon();
      Sftp->StatusOk(*reply, "READ");
      return -1;
    }
    const std::string_view data = reader.String();
    if (type != SSH_FXP_DATA || !reader.Ok() || data.empty() || data.size() > read.Length) {
      abandon();
      Worker.PostError(0, "The server sent an unreadable answer to a read");
      return -1;
    }
    const uint64_t reached = read.Offset + data.size();
    if (data.size() < read.Length && !atEnd &&
        (size < 0 || reached < static_cast<uint64_t>(size))) {
      // A short read is no end of file: the rest is asked for again.
      const uint32_t length = read.Length - static_cast<uint32_t>(data.size());
      pending.push_back({Sftp->SendRead(handle, reached, length), reached, length});
    }
    if (read.Offset != position) {
      ahead.emplace(read.Offset, std::string(data));
      continue;
    }
    if (!write(data)) {
      abandon();
      return -1;
    }
    for (auto found = ahead.find(position); found != ahead.end(); found = ahead.find(position)) {
      const std::string chunk = std::move(found->second);
      ahead.erase(found);
      if (!write(chunk)) {
        abandon();
        return -1;
      }
    }
    if (ProgressDue(static_cast<int64_t>(position), lastReport)) {
      abandon();
      Worker.PostEvent(evAborted);
      return -1;
    }
  }
  Worker.Waits().DisarmWatchdog();
  if (!ahead.empty()) {
    Worker.PostError(0, "The server's data had a gap at byte " + std::to_string(position));
    return -1;
  }
  return static_cast<int64_t>(position);
}

int64_t TSftpSession::SendFile(const std::string& handle, int64_t offset, TTransferStream& stream) {
  struct TWrite {
    uint32_t Id;
    uint32_t Length;
  };
  std::deque<TWrite> pending;
  std::vector<char> buffer(kChunk);
  uint64_t position = static_cast<uint64_t>(offset);
  int64_t acknowledged = offset;
  bool atEnd = false;
  int64_t lastReport = GetTickCount();
  auto abandon = [&] {
    for (const TWrite& write : pending) Sftp->Abandon(write.Id);
    pending.clear();
  };
  Worker.ArmWatchdog("sending data");
  for (;;) {
    while (!atEnd && pending.size() < kOutstanding) {
      const long got = stream.Read(buffer.data(), buffer.size());
      if (got < 0) {
        abandon();
        Worker.PostError(0, stream.ErrorText());
        return -1;
      }
      if (got == 0) {
        atEnd = true;
        break;
      }
      const auto length = static_cast<uint32_t>(got);
      pending.push_back({Sftp->SendWrite(handle, position, buffer.data(), length), length});
      position += length;
    }
    if (pending.empty()) break;
    auto reply = Sftp->TakeReply(pending.front().Id);
    if (!reply) {
      if (!Sftp->Pump(true) || ProgressDue(acknowledged, lastReport)) {
        abandon();
        if (Worker.AbortFlags().Aborted) Worker.PostEvent(evAborted);
        return -1;
      }
      continue;
    }
    const TWrite done = pending.front();
    pending.pop_front();
    Worker.Waits().ArmWatchdog();
    if (!Sftp->StatusOk(*reply, "WRITE")) {
      abandon();
      return -1;
    }
    acknowledged += done.Length;
    if (ProgressDue(acknowledged, lastReport)) {
      abandon();
      Worker.PostEvent(evAborted);
      return -1;
    }
  }
  Worker.Waits().DisarmWatchdog();
  return acknowledged;
}

void TSftpSession::ServeDownload(const TArgs& args) {
  const std::string& localName = RequestArg(args, 0);
  const std::string remote = FullPath(RequestArg(args, 1));
  int64_t offset = std::max<int64_t>(NumberArgument(args, 2), 0);
  const int64_t listed = NumberArgument(args, 3);
  const bool onlyNew = RequestArg(args, 4) == kDownloadNewOnly;
  TSequentialFileStream stream(localName, offset > 0 ? fmOpenWriteExclusive
                                          : onlyNew  ? fmCreateNew
                                                     : fmCreate);
  if (stream.DestinationTaken()) {
    Worker.PostError(kErrorDestinationTaken, stream.ErrorText());
    return;
  }
  // Resuming past the end of the local file would leave a hole of zeros in it.
  offset = std::min(offset, stream.Size());
  const auto handle = Sftp->Open(remote, kSftpOpenRead);
  if (!handle) {
    if (!Sftp->Failed()) Worker.PostError(0, "Unable to complete transfer");
    return;
  }
  const auto attributes = Sftp->HandleStat(*handle);
  const int64_t size =
      attributes && attributes->HasSize() ? static_cast<int64_t>(attributes->Size) : -1;
  const int64_t expected = size >= 0 ? size : listed;
  if (offset > 0 && expected >= 0 && stream.Size() > expected) {
    Sftp->Close(*handle);
    Worker.PostError(kErrorLocalFileLarger,
                     "The local file " + localName + " (" + std::to_string(stream.Size()) +
                         " bytes) is larger than the server's (" + std::to_string(expected) +
                         " bytes); it is another file and was not resumed");
    return;
  }
  if (offset > 0) stream.Seek(offset);
  PostProgress(pkStart, true, offset);
  const int64_t start = GetTickCount();
  const int64_t count = ReceiveFile(*handle, offset, size, stream);
  const double seconds = static_cast<double>(GetTickCount() - start) * 0.001;
  bool ok = count >= 0;
  if (!Sftp->Failed()) Sftp->Close(*handle);
  if (ok && expected >= 0 && count < expected) {
    const std::string from = size >= 0 ? "the server's attributes gave" : "the listing gave";
    Worker.PostError(kErrorShortTransfer,
                     "The download of " + remote + " came to " + std::to_string(count) +
                         " bytes instead of the " + std::to_string(expected) + " bytes " + from +
                         (stream.Replacing() ? "; the local file was left as it was" : ""));
    ok = false;
  }
  if (ok && !stream.Finish()) {
    Worker.PostError(stream.ErrorCode(), stream.ErrorText());
    ok = false;
  }
  if (ok) {
    Worker.Log("226 " + TransferStatisticsLine(count - offset, seconds, EngineNumberFormat()));
  }
  const bool keepTime =
      ok && EngineSettings().KeepTimes.load() && attributes && attributes->HasTimes();
  PostProgress(pkDone, true, std::max<int64_t>(count, 0), ok,
               keepTime ? static_cast<int64_t>(attributes->ModifyTime) : -1);
  if (!ok) Worker.PostError(0, "Unable to complete transfer");
}

bool TSftpSession::ReplaceWith(const std::string& temporary, const std::string& target) {
  if (Sftp->Rename(temporary, target, true)) return true;
  if (Sftp->Failed()) return false;
  // Without posix-rename a plain rename refuses a taken name: the old file goes first, now that
  // the whole new copy is there.
  const std::string refusal = Sftp->LastError();
  if (!Sftp->HasPosixRename() && Sftp->Remove(target) && Sftp->Rename(temporary, target, false)) {
    return true;
  }
  Worker.PostError(0, "The new copy of " + target + " is on the server as " + temporary +
                          "; it could not be renamed over the old file (" + refusal + ")");
  return false;
}

void TSftpSession::ServeUpload(const TArgs& args) {
  const std::string& localName = RequestArg(args, 0);
  const std::string remote = FullPath(RequestArg(args, 1));
  int64_t offset = std::max<int64_t>(NumberArgument(args, 2), 0);
  const bool knownNew = RequestArg(args, 3) == kUploadKnownNew;
  TSequentialFileStream stream(localName, fmOpenReadDenyWrite);
  const int64_t localSize = stream.Size();
  bool replacing = false;
  std::optional<TSftpAttributes> existing;
  if (offset > 0 || !knownNew) {
    existing = Sftp->Stat(remote, true, true);
    if (Sftp->Failed()) return;
    if (existing && existing->IsFolder()) {
      Worker.PostError(0, "The server has a folder named " + remote);
      return;
    }
    // A resume continues where the server's copy really ends.
    if (offset > 0)
      offset = existing && existing->HasSize() ? static_cast<int64_t>(existing->Size) : 0;
    replacing = offset == 0 && existing.has_value();
  }
  if (offset > localSize) {
    Worker.PostError(kErrorServerFileLarger,
                     "The server's copy of " + remote + " (" + std::to_string(offset) +
                         " bytes) is larger than the local file (" + std::to_string(localSize) +
                         " bytes); it is another file and was not resumed");
    return;
  }
  // A replacement is written beside the old file and renamed over it once whole; a new file is
  // made exclusively, so that one that appeared meanwhile is not overwritten.
  const std::string storeAs = replacing ? TemporaryUploadName(remote) : remote;
  const uint32_t flags = offset > 0  ? kSftpOpenWrite
                         : replacing ? kSftpOpenWrite | kSftpOpenCreate | kSftpOpenTruncate
                                     : kSftpOpenWrite | kSftpOpenCreate | kSftpOpenExclusive;
  // A replacement keeps the old file's permissions (an executable stays one); a new file gets
  // the local file's, as OpenSSH's client gives them.
  TSftpAttributes mode;
  mode.Flags = kSftpAttrPermissions;
  struct stat local {};
  mode.Permissions = replacing && existing->HasPermissions() ? existing->Permissions & 07777
                     : ::stat(localName.c_str(), &local) == 0
                         ? static_cast<uint32_t>(local.st_mode & 0777)
                         : 0644;
  const auto handle = Sftp->Open(storeAs, flags, mode);
  if (!handle) {
    if (!Sftp->Failed()) Worker.PostError(0, "Unable to complete transfer");
    return;
  }
  if (offset > 0) stream.Seek(offset);
  PostProgress(pkStart, true, offset);
  const int64_t start = GetTickCount();
  const int64_t count = SendFile(*handle, offset, stream);
  const double seconds = static_cast<double>(GetTickCount() - start) * 0.001;
  bool ok = count >= 0;
  if (ok) {
    // The server's copy must come to the local file's size.
    const auto written = Sftp->HandleStat(*handle);
    if (written && written->HasSize() && static_cast<int64_t>(written->Size) != localSize) {
      Worker.PostError(offset > 0 ? kErrorResumeMismatch : kErrorShortTransfer,
                       "The server's copy of " + remote + " came to " +
                           std::to_string(written->Size) + " bytes instead of " +
                           std::to_string(localSize));
      ok = false;
    }
  }
  // The local file's time goes with the close, only onto a copy known to be whole (a partial
  // copy with the original's time would pass for it later).
  struct stat info {};
  if (ok && EngineSettings().KeepTimes.load() && ::stat(localName.c_str(), &info) == 0) {
    TSftpAttributes times;
    times.Flags = kSftpAttrTimes;
    times.AccessTime = static_cast<uint32_t>(info.st_atime);
    times.ModifyTime = static_cast<uint32_t>(info.st_mtime);
    // A server that keeps no times is no failed upload; a refused close is.
    bool timesSet = false;
    ok = Sftp->CloseWithTimes(*handle, times, timesSet);
  } else if (!Sftp->Failed()) {
    ok = Sftp->Close(*handle) && ok;
  }
  bool renameFailed = false;
  if (ok && replacing) {
    ok = ReplaceWith(storeAs, remote);
    renameFailed = !ok;
  }
  // A broken replacement's temporary copy goes; the old file never changed. One that only
  // could not be renamed is the whole new file and stays.
  if (!ok && replacing && !renameFailed && !Sftp->Failed()) {
    Sftp->Remove(storeAs);
    Worker.Log("The server's " + remote + " was left as it was");
  }
  if (ok) {
    Worker.Log("226 " + TransferStatisticsLine(count - offset, seconds, EngineNumberFormat()));
  }
  PostProgress(pkDone, true, std::max<int64_t>(count, 0), ok);
  if (!ok) Worker.PostError(0, "Unable to complete transfer");
}

}  // namespace pelmar
