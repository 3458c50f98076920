// A log-on to an SFTP server: the attempts as for FTP, with the connection then served by the
// SFTP session.

#include <cstdio>

#include "engine/EngineSettings.h"
#include "engine/FTPThread.h"

namespace pelmar {

void TFTPThread::ServeSftpConnect(uint8_t kind, const TServer& server) {
  struct TLogOnGuard {
    bool& Flag;
    explicit TLogOnGuard(bool& flag) : Flag(flag) { Flag = true; }
    ~TLogOnGuard() { Flag = false; }
  } logOnGuard(LoggingOn);
  CloseControlSocket();
  if (kind == rqConnectViaFirewall) {
    PostError(0, "SFTP cannot go through an FTP firewall; nothing was sent");
    PostEvent(evDisconnected);
    PostEvent(evConnectFailed);
    return;
  }
  Sftp = std::make_unique<TSftpSession>(*this);
  const auto connect = [this](const std::string& host, int port) {
    return ConnectSocket(host, std::to_string(port)) ? Control() : -1;
  };
  bool loggedOn = false;
  for (int attempt = 1;; ++attempt) {
    char line[64];
    std::snprintf(line, sizeof line, ", attempt %d", attempt);
    Log("Attempting to connect to " + server.Host + line + "\r\n");
    bool retry = false;
    loggedOn = Sftp->LogOn(server, connect, retry);
    const int retries = EngineSettings().FTPRetries.load();
    if (loggedOn || AbortState.Aborted || !retry || (retries >= 1 && attempt + 1 > retries)) break;
    CloseControlSocket();
  }
  if (loggedOn && !AbortState.Aborted) {
    PostEvent(evLoggedIn);
    return;
  }
  CloseControlSocket();
  Sftp.reset();
  PostEvent(evDisconnected);
  PostEvent(evConnectFailed);
}

void TFTPThread::ServeSftpQuit() {
  // The session stays, closed: a request after it is answered "Not connected".
  CloseControlSocket();
  PostEvent(evDisconnected);
}

}  // namespace pelmar
