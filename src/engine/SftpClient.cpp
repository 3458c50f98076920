#include "engine/SftpClient.h"

#include <array>

#include "platform/WinSockErrors.h"

namespace pelmar {
namespace {

// The server's extensions worth knowing.
constexpr std::string_view kPosixRename = "posix-rename@openssh.com";

}  // namespace

TSftpClient::TSftpClient(TSshConnection& ssh, TWorkerServices& worker) : Ssh(ssh), Worker(worker) {
  Ssh.SetReceiver([this](const char* data, size_t length) { Input.Append(data, length); });
}

TSftpClient::~TSftpClient() {
  Ssh.SetReceiver(nullptr);
}

uint32_t TSftpClient::Queue(TSftpWriter& writer) {
  Output += writer.Take();
  return NextId - 1;
}

bool TSftpClient::Pump(bool wait) {
  if (ConnectionFailed) return false;
  bool moved = false;
  while (OutputAt < Output.size()) {
    const long n = Ssh.Send(Output.data() + OutputAt, Output.size() - OutputAt);
    if (n < 0) {
      Broken("the connection failed while sending: " + Ssh.ErrorText());
      return false;
    }
    if (n == 0) break;
    OutputAt += static_cast<size_t>(n);
    moved = true;
  }
  if (OutputAt == Output.size()) {
    Output.clear();
    OutputAt = 0;
  }
  for (;;) {
    const long n = Ssh.Receive();
    if (n < 0) {
      Broken("the server closed the connection");
      return false;
    }
    if (n == 0) break;
    moved = true;
  }
  while (auto body = Input.Next()) {
    TSftpReader reader(*body);
    const uint8_t type = reader.Byte();
    const uint32_t id = type == SSH_FXP_VERSION ? 0 : reader.U32();
    if (!reader.Ok()) {
      Broken("the server sent a broken SFTP reply");
      return false;
    }
    if (Abandoned.erase(id)) continue;
    Replies[id] = std::move(*body);
  }
  if (Input.Broken()) {
    Broken("the server sent an SFTP reply larger than " + std::to_string(kMaxSftpPacket >> 10) +
           " KiB");
    return false;
  }
  if (moved || !wait) return true;
  return WaitForConnection();
}

bool TSftpClient::WaitForConnection() {
  if (Ssh.Wait()) return true;
  if (Worker.AbortFlags().Aborted) return false;
  if (Worker.TimedOut()) {
    Broken(Worker.TimedOutText(), WSAETIMEDOUT);
  } else {
    Broken("the connection failed: " + Ssh.ErrorText());
  }
  return false;
}

std::optional<std::string> TSftpClient::TakeReply(uint32_t id) {
  const auto found = Replies.find(id);
  if (found == Replies.end()) return std::nullopt;
  std::string body = std::move(found->second);
  Replies.erase(found);
  return body;
}

std::optional<std::string> TSftpClient::Await(uint32_t id, const std::string& what) {
  Worker.ArmWatchdog("waiting for the server's answer to " + what);
  for (;;) {
    if (auto reply = TakeReply(id)) {
      Worker.Waits().DisarmWatchdog();
      return reply;
    }
    if (!Pump(true)) {
      Worker.Waits().DisarmWatchdog();
      return std::nullopt;
    }
  }
}

void TSftpClient::Broken(const std::string& why, int code) {
  if (ConnectionFailed) return;
  ConnectionFailed = true;
  Error = why;
  Worker.PostError(code ? code : WSAECONNRESET, why);
}

void TSftpClient::Refused(const std::string& what, uint32_t status, const std::string& message) {
  Status = status;
  Error = SftpStatusText(status, message);
  // The outcome in the form of the FTP dialogue's replies, so that one reader of the log serves
  // both: a refusal is permanent (5xx) unless the connection itself went (4xx).
  const int code = status == SSH_FX_NO_CONNECTION || status == SSH_FX_CONNECTION_LOST ? 421 : 550;
  if (QuietRefusals) return;
  Worker.Log(std::to_string(code) + " " + what + ": " + Error);
}

bool TSftpClient::StatusOk(const std::string& body, const std::string& what) {
  TSftpReader reader(body);
  const uint8_t type = reader.Byte();
  reader.U32();
  if (type != SSH_FXP_STATUS) {
    Refused(what, SSH_FX_BAD_MESSAGE, "unexpected reply");
    return false;
  }
  const uint32_t status = reader.U32();
  const std::string message(reader.String());
  if (status == SSH_FX_OK) {
    Status = SSH_FX_OK;
    return true;
  }
  Refused(what, status, reader.Ok() ? message : std::string());
  return false;
}

bool TSftpClient::Start() {
  TSftpWriter init(SSH_FXP_INIT, std::nullopt);
  init.U32(3);
  Output += init.Take();
  Worker.Log("SFTP: INIT (version 3)");
  const auto reply = Await(0, "INIT");
  if (!reply) return false;
  TSftpReader reader(*reply);
  const uint8_t type = reader.Byte();
  const uint32_t version = reader.U32();
  if (type != SSH_FXP_VERSION || !reader.Ok() || version < 3) {
    Broken("the server does not speak SFTP version 3");
    return false;
  }
  std::string extensions;
  while (reader.Ok() && !reader.AtEnd()) {
    const std::string_view name = reader.String();
    reader.String();
    if (!reader.Ok()) break;
    if (name == kPosixRename) PosixRename = true;
    if (!extensions.empty()) extensions += ", ";
    extensions += name;
  }
  Worker.Log("SFTP: version " + std::to_string(version) +
             (extensions.empty() ? "" : "; extensions " + extensions));
  return true;
}

std::optional<std::string> TSftpClient::HandleReply(uint32_t id, const std::string& what) {
  const auto reply = Await(id, what);
  if (!reply) return std::nullopt;
  TSftpReader reader(*reply);
  if (reader.Byte() == SSH_FXP_HANDLE) {
    reader.U32();
    const std::string handle(reader.String());
    if (reader.Ok() && !handle.empty() && handle.size() <= 256) return handle;
    Refused(what, SSH_FX_BAD_MESSAGE, "unreadable handle");
    return std::nullopt;
  }
  StatusOk(*reply, what);
  return std::nullopt;
}

std::optional<std::string> TSftpClient::RealPath(const std::string& path) {
  const std::string what = "REALPATH " + path;
  Worker.Log(what);
  TSftpWriter request(SSH_FXP_REALPATH, NextId++);
  request.String(path);
  const auto reply = Await(Queue(request), what);
  if (!reply) return std::nullopt;
  TSftpReader reader(*reply);
  if (reader.Byte() != SSH_FXP_NAME) {
    StatusOk(*reply, what);
    return std::nullopt;
  }
  reader.U32();
  const uint32_t count = reader.U32();
  const std::string name(reader.String());
  if (!reader.Ok() || count != 1 || name.empty() || name[0] != '/') {
    Refused(what, SSH_FX_BAD_MESSAGE, "no usable path in the answer");
    return std::nullopt;
  }
  return name;
}

std::optional<TSftpAttributes> TSftpClient::Stat(const std::string& path, bool followLinks,
                                                 bool quiet) {
  const std::string what = (followLinks ? "STAT " : "LSTAT ") + path;
  struct TQuiet {
    bool& Flag;
    ~TQuiet() { Flag = false; }
  } restore{QuietRefusals};
  QuietRefusals = quiet;
  TSftpWriter request(followLinks ? SSH_FXP_STAT : SSH_FXP_LSTAT, NextId++);
  request.String(path);
  const auto reply = Await(Queue(request), what);
  if (!reply) return std::nullopt;
  TSftpReader reader(*reply);
  if (reader.Byte() != SSH_FXP_ATTRS) {
    StatusOk(*reply, what);
    return std::nullopt;
  }
  reader.U32();
  const TSftpAttributes attributes = reader.Attributes();
  if (!reader.Ok()) {
    Refused(what, SSH_FX_BAD_MESSAGE, "unreadable attributes");
    return std::nullopt;
  }
  return attributes;
}

std::optional<TSftpAttributes> TSftpClient::HandleStat(const std::string& handle) {
  TSftpWriter request(SSH_FXP_FSTAT, NextId++);
  request.String(handle);
  const auto reply = Await(Queue(request), "FSTAT");
  if (!reply) return std::nullopt;
  TSftpReader reader(*reply);
  if (reader.Byte() != SSH_FXP_ATTRS) {
    StatusOk(*reply, "FSTAT");
    return std::nullopt;
  }
  reader.U32();
  const TSftpAttributes attributes = reader.Attributes();
  if (!reader.Ok()) return std::nullopt;
  return attributes;
}

std::optional<std::string> TSftpClient::Open(const std::string& path, uint32_t flags,
                                             const TSftpAttributes& attributes) {
  const std::string what = "OPEN " + path;
  Worker.Log(what + ((flags & kSftpOpenWrite) ? " (write)" : " (read)"));
  TSftpWriter request(SSH_FXP_OPEN, NextId++);
  request.String(path).U32(flags).Attributes(attributes);
  return HandleReply(Queue(request), what);
}

std::optional<std::string> TSftpClient::OpenFolder(const std::string& path) {
  const std::string what = "OPENDIR " + path;
  Worker.Log(what);
  TSftpWriter request(SSH_FXP_OPENDIR, NextId++);
  request.String(path);
  return HandleReply(Queue(request), what);
}

bool TSftpClient::Close(const std::string& handle) {
  TSftpWriter request(SSH_FXP_CLOSE, NextId++);
  request.String(handle);
  const auto reply = Await(Queue(request), "CLOSE");
  return reply && StatusOk(*reply, "CLOSE");
}

bool TSftpClient::CloseWithTimes(const std::string& handle, const TSftpAttributes& times,
                                 bool& timesSet) {
  Worker.Log("FSETSTAT (times) and CLOSE");
  TSftpWriter setTimes(SSH_FXP_FSETSTAT, NextId++);
  setTimes.String(handle).Attributes(times);
  const uint32_t timesId = Queue(setTimes);
  TSftpWriter close(SSH_FXP_CLOSE, NextId++);
  close.String(handle);
  const uint32_t closeId = Queue(close);
  const auto timesReply = Await(timesId, "FSETSTAT");
  timesSet = timesReply && StatusOk(*timesReply, "FSETSTAT");
  if (ConnectionFailed) return false;
  if (timesSet) Worker.Log("200 FSETSTAT: done");
  const auto closeReply = Await(closeId, "CLOSE");
  return closeReply && StatusOk(*closeReply, "CLOSE");
}

bool TSftpClient::ReadFolder(const std::string& handle, std::vector<TSftpName>& names) {
  TSftpWriter request(SSH_FXP_READDIR, NextId++);
  request.String(handle);
  const auto reply = Await(Queue(request), "READDIR");
  if (!reply) return false;
  TSftpReader reader(*reply);
  if (reader.Byte() != SSH_FXP_NAME) {
    // The folder's end comes as an EOF status.
    TSftpReader status(*reply);
    status.Byte();
    status.U32();
    if (status.U32() == SSH_FX_EOF && status.Ok()) {
      Status = SSH_FX_EOF;
      return false;
    }
    StatusOk(*reply, "READDIR");
    return false;
  }
  reader.U32();
  const uint32_t count = reader.U32();
  for (uint32_t i = 0; i < count && reader.Ok(); ++i) {
    TSftpName entry;
    entry.Name = reader.String();
    entry.LongName = reader.String();
    entry.Attributes = reader.Attributes();
    if (reader.Ok()) names.push_back(std::move(entry));
  }
  if (!reader.Ok()) {
    Refused("READDIR", SSH_FX_BAD_MESSAGE, "unreadable entries");
    return false;
  }
  return true;
}

bool TSftpClient::SimpleRequest(uint8_t type, const std::string& path, const std::string& what) {
  Worker.Log(what);
  TSftpWriter request(type, NextId++);
  request.String(path);
  if (type == SSH_FXP_MKDIR) request.Attributes({});
  const auto reply = Await(Queue(request), what);
  if (!reply || !StatusOk(*reply, what)) return false;
  // MKD's reply for a folder made, as the FTP dialogue gives it.
  Worker.Log(type == SSH_FXP_MKDIR ? "257 \"" + path + "\" created" : "250 " + what + ": done");
  return true;
}

bool TSftpClient::Remove(const std::string& path) {
  return SimpleRequest(SSH_FXP_REMOVE, path, "REMOVE " + path);
}

bool TSftpClient::MakeFolder(const std::string& path) {
  return SimpleRequest(SSH_FXP_MKDIR, path, "MKDIR " + path);
}

bool TSftpClient::RemoveFolder(const std::string& path) {
  return SimpleRequest(SSH_FXP_RMDIR, path, "RMDIR " + path);
}

bool TSftpClient::Rename(const std::string& from, const std::string& to, bool replace) {
  const bool posix = replace && PosixRename;
  const std::string what = (posix ? "RENAME (posix) " : "RENAME ") + from + " " + to;
  Worker.Log(what);
  std::optional<std::string> reply;
  if (posix) {
    TSftpWriter request(SSH_FXP_EXTENDED, NextId++);
    request.String(kPosixRename).String(from).String(to);
    reply = Await(Queue(request), what);
  } else {
    TSftpWriter request(SSH_FXP_RENAME, NextId++);
    request.String(from).String(to);
    reply = Await(Queue(request), what);
  }
  if (!reply || !StatusOk(*reply, what)) return false;
  Worker.Log("250 " + what + ": done");
  return true;
}

bool TSftpClient::SetAttributes(const std::string& path, const TSftpAttributes& attributes) {
  const std::string what = "SETSTAT " + path;
  Worker.Log(what);
  TSftpWriter request(SSH_FXP_SETSTAT, NextId++);
  request.String(path).Attributes(attributes);
  const auto reply = Await(Queue(request), what);
  if (!reply || !StatusOk(*reply, what)) return false;
  Worker.Log("200 " + what + ": done");
  return true;
}

uint32_t TSftpClient::SendRead(const std::string& handle, uint64_t offset, uint32_t length) {
  TSftpWriter request(SSH_FXP_READ, NextId++);
  request.String(handle).U64(offset).U32(length);
  return Queue(request);
}

uint32_t TSftpClient::SendWrite(const std::string& handle, uint64_t offset, const char* data,
                                uint32_t length) {
  TSftpWriter request(SSH_FXP_WRITE, NextId++);
  request.String(handle).U64(offset).U32(length);
  std::copy(data, data + length, request.Reserve(length));
  return Queue(request);
}

}  // namespace pelmar
