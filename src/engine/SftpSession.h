#pragma once
// A component's requests served over SFTP: the same requests and the same events as the FTP
// dialogue, so that nothing above the engine knows which protocol a connection speaks. The
// server has no current folder of its own here: the session keeps it and sends whole paths.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/Server.h"
#include "engine/SftpClient.h"
#include "engine/SshConnection.h"
#include "engine/TransferStreams.h"
#include "engine/WorkerServices.h"

namespace pelmar {

class TSftpSession {
 public:
  using TArgs = std::vector<std::string>;
  // Opens the TCP connection to a host and port; -1 when it failed (reported already).
  using TConnector = std::function<int(const std::string& host, int port)>;

  explicit TSftpSession(TWorkerServices& worker);

  // Configuration, connection, host key, log-on, the SFTP subsystem and the log-in folder.
  // False when any step failed (reported); `retry` says whether another attempt may pass.
  bool LogOn(const TServer& server, const TConnector& connect, bool& retry);
  void Serve(uint8_t kind, const TArgs& args);
  // Ends the connection (the socket too).
  void Close();
  // Logged on, and the connection has not failed since.
  bool Connected() const;
  // libssh holds the socket: closing the session closes it.
  bool OwnsSocket() const { return Ssh && Ssh->HoldsSocket(); }

 private:
  // A path of a request: absolute as given, else within the current folder.
  std::string FullPath(const std::string& path) const;
  void ServeChangeFolder(const std::string& path);
  void ServeList(const std::string& folder);
  void ServeDownload(const TArgs& args);
  void ServeUpload(const TArgs& args);
  void ServeFileTime(const std::string& path);
  void ServeChangeMode(const std::string& digits, const std::string& path);
  void PostFolder(const std::string& path, uint8_t kind);
  void PostProgress(uint8_t kind, bool isFile, int64_t count, bool completed = true,
                    int64_t serverTime = -1);

  // Transfers (SftpTransfers.cpp). Each returns the bytes moved, -1 when it failed (reported).
  int64_t ReceiveFile(const std::string& handle, int64_t offset, int64_t size,
                      TTransferStream& stream);
  int64_t SendFile(const std::string& handle, int64_t offset, TTransferStream& stream);
  // Once per progress interval: a progress event, and whether the person aborted (reported).
  bool ProgressDue(int64_t count, int64_t& lastReport);
  // The end of an aborted or failed transfer: its outstanding requests are abandoned.
  void AbandonAll(std::vector<uint32_t>& ids);
  // Puts the whole new copy in the old file's place.
  bool ReplaceWith(const std::string& temporary, const std::string& target);

  TWorkerServices& Worker;
  std::unique_ptr<TSshConnection> Ssh;
  std::unique_ptr<TSftpClient> Sftp;
  std::string CurrentFolder = "/";
};

}  // namespace pelmar
