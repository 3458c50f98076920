#pragma once
// The SFTP dialogue over one SSH channel: numbered requests, their replies (matched by number,
// so that many can be outstanding), and the requests the worker needs, each logged as the FTP
// dialogue is: the request, then its outcome.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/SftpPackets.h"
#include "engine/SshConnection.h"
#include "engine/WorkerServices.h"

namespace pelmar {

class TSftpClient {
 public:
  TSftpClient(TSshConnection& ssh, TWorkerServices& worker);
  ~TSftpClient();
  TSftpClient(const TSftpClient&) = delete;
  TSftpClient& operator=(const TSftpClient&) = delete;

  // INIT and VERSION; notes the extensions the server offers.
  bool Start();
  bool HasPosixRename() const { return PosixRename; }

  // Each returns nothing (or false) when the server refused or the connection failed;
  // Failed() tells the two apart, LastError() says why.
  std::optional<std::string> RealPath(const std::string& path);
  // `quiet`: a refusal is not logged (a probe whose "no such file" is an answer).
  std::optional<TSftpAttributes> Stat(const std::string& path, bool followLinks = true,
                                      bool quiet = false);
  std::optional<std::string> Open(const std::string& path, uint32_t flags,
                                  const TSftpAttributes& attributes = {});
  std::optional<std::string> OpenFolder(const std::string& path);
  std::optional<TSftpAttributes> HandleStat(const std::string& handle);
  bool Close(const std::string& handle);
  // Sets the open file's times and closes it, both requests sent at once (one round trip).
  // True when the close succeeded; a refusal of the times is logged and only reported.
  bool CloseWithTimes(const std::string& handle, const TSftpAttributes& times, bool& timesSet);
  // One READDIR: false at the end of the folder or on a failure (see Failed()).
  bool ReadFolder(const std::string& handle, std::vector<TSftpName>& names);
  bool Remove(const std::string& path);
  bool MakeFolder(const std::string& path);
  bool RemoveFolder(const std::string& path);
  // Onto a name that is free; with `replace` onto a taken one too (posix-rename, where offered).
  bool Rename(const std::string& from, const std::string& to, bool replace);
  bool SetAttributes(const std::string& path, const TSftpAttributes& attributes);

  // Pipelined transfers: requests are sent without waiting for the replies.
  uint32_t SendRead(const std::string& handle, uint64_t offset, uint32_t length);
  uint32_t SendWrite(const std::string& handle, uint64_t offset, const char* data, uint32_t length);
  // Sends what is queued and takes what arrived; with `wait`, first waits until something can
  // move when nothing did. False when the connection failed (or the wait was aborted).
  bool Pump(bool wait);
  // The reply to `id`, once it arrived (taken out).
  std::optional<std::string> TakeReply(uint32_t id);
  // Replies to these requests are thrown away when they come (an abandoned transfer's).
  void Abandon(uint32_t id) { Abandoned.insert(id); }
  // Bytes queued for sending; a transfer stops adding requests past a bound.
  size_t Queued() const { return Output.size() - OutputAt; }

  // The outcome of a STATUS reply (`body` is the whole reply); Ok when it was SSH_FX_OK.
  bool StatusOk(const std::string& body, const std::string& what);
  bool Failed() const { return ConnectionFailed; }
  uint32_t LastStatus() const { return Status; }
  const std::string& LastError() const { return Error; }

 private:
  uint32_t Queue(TSftpWriter& writer);
  // The reply to one request, waiting for it.
  std::optional<std::string> Await(uint32_t id, const std::string& what);
  std::optional<std::string> HandleReply(uint32_t id, const std::string& what);
  bool SimpleRequest(uint8_t type, const std::string& path, const std::string& what);
  void Refused(const std::string& what, uint32_t status, const std::string& message);
  bool QuietRefusals = false;
  void Broken(const std::string& why, int code = 0);
  // Until the connection can move bytes; false (the connection broken) when it cannot.
  bool WaitForConnection();

  TSshConnection& Ssh;
  TWorkerServices& Worker;
  uint32_t NextId = 1;
  std::string Output;
  size_t OutputAt = 0;
  TSftpFramer Input;
  std::map<uint32_t, std::string> Replies;
  std::set<uint32_t> Abandoned;
  bool PosixRename = false;
  bool ConnectionFailed = false;
  uint32_t Status = 0;
  std::string Error;
};

}  // namespace pelmar
