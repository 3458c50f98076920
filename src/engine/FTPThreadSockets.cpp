// The worker's socket steps: opening the control connection, closing, and error reports.

#include <arpa/inet.h>
#include <unistd.h>

#include <vector>

#include "engine/FTPThread.h"
#include "platform/Numbers.h"
#include "platform/WinSockErrors.h"

namespace pelmar {
namespace {

// A port text that is not a number from 1 to 65535 means the FTP port.
uint16_t PortFromText(const std::string& text) {
  const auto port = ReadNumber(text, 65535);
  return port && *port >= 1 ? static_cast<uint16_t>(*port) : 21;
}

}  // namespace

bool TFTPThread::ConnectSocket(const std::string& host, const std::string& port) {
  CloseControlSocket();
  LastVerb.clear();  // the next reply is a greeting
  LastReplyLine.clear();
  std::vector<TNetAddress> addresses;
  if (!ResolveHost(host, addresses)) {
    ReportSocketError();
    return false;
  }
  // Each address in the resolver's order until one answers (IPv6 and IPv4 alike); only the
  // last failure is reported, and a retry of the session tries them all again.
  int s = -1;
  for (size_t i = 0; i < addresses.size(); ++i) {
    TNetAddress address = addresses[i];
    address.SetPort(PortFromText(port));
    s = SocketCreate(address.Family());
    if (s < 0) continue;
    ArmWatchdog("connecting to " + host + " port " + std::to_string(address.Port()));
    const bool connected = SocketConnect(Blocking, s, address);
    Blocking.DisarmWatchdog();
    if (connected) break;
    const bool aborted = AbortState.Aborted != 0;
    if (i + 1 < addresses.size() && !aborted) {
      const int error = LastSocketError();
      ::close(s);
      s = -1;
      SetLastSocketError(error);
      continue;
    }
    CheckSocketError(true, s);
    return false;
  }
  if (CheckSocketError(s < 0, s)) return false;
  SocketSendAtOnce(s);
  Shared->ControlSocket = s;
  return true;
}

void TFTPThread::CloseSocket(int& s) {
  if (&s == &DataSocket && DataTls) {
    if (s >= 0) DataTls->Close(Blocking);
    DataTls.reset();
  }
  SocketCloseGracefully(Blocking, s);
}

void TFTPThread::CloseControlSocket() {
  if (Sftp && Sftp->OwnsSocket()) {
    // The SSH connection holds the socket and closes it with the session; no one may reach it
    // by its number any more before that (an abort shuts the control socket down).
    Shared->ControlSocket = -1;
    Sftp->Close();
    return;
  }
  if (ControlTls) {
    if (Control() >= 0) ControlTls->Close(Blocking);
    ControlTls.reset();
  }
  ProtectData = false;
  int s = Shared->ControlSocket.load();
  CloseSocket(s);
  Shared->ControlSocket = s;
  ReplyBuffer.Clear();  // what a closed connection left unread belongs to no later reply
}

bool TFTPThread::CheckSocketError(bool failed, int& s) {
  if (!failed) return false;
  ReportSocketError();
  if (&s == &DataSocket || s != Shared->ControlSocket.load()) {
    CloseSocket(s);
  } else {
    CloseControlSocket();
  }
  return true;
}

void TFTPThread::ReportSocketError() {
  const int code = LastSocketError();
  if (code == 0 || code == WSAENOTSOCK) return;
  if (TimedOut()) {
    PostError(WSAETIMEDOUT, TimedOutText());
  } else {
    PostError(code, WinSockErrorText(code));
  }
}

void TFTPThread::ArmWatchdog(std::string step) {
  WatchedStep = std::move(step);
  Blocking.ArmWatchdog();
}

bool TFTPThread::TimedOut() const {
  return LastSocketError() == WSAEINTR && !AbortState.Aborted;
}

std::string TFTPThread::TimedOutText() const {
  const int ms = Blocking.TimeoutMs.load();
  std::string limit = std::to_string(ms / 1000);
  if (ms % 1000 != 0) {
    // Tenths for the sub-second limits of tests and impatient settings ("0.3 s").
    limit += "." + std::to_string(ms % 1000 / 100);
  }
  return "timed out after " + limit + " s " + WatchedStep;
}

}  // namespace pelmar
