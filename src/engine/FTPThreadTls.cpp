// FTP over TLS: AUTH TLS or TLS from the first byte on the control connection, the
// certificate decision, PBSZ/PROT P, and TLS on every data connection, resuming the control
// connection's session (servers such as vsftpd insist on it).

#include "engine/CertificateTrust.h"
#include "engine/Exceptions.h"
#include "engine/FTPThread.h"
#include "platform/WinSockErrors.h"

namespace pelmar {

bool TFTPThread::StartTls(bool implicit) {
  if (!implicit) {
    SendCommand("AUTH TLS");
    if (ReadReply() != 234) {
      if (Encryption == enExplicitIfOffered) {
        Log("The server does not offer FTP over TLS; going on without encryption");
        return false;
      }
      NoRetry = true;
      PostError(0, "The server refused FTP over TLS (AUTH TLS); nothing more was sent");
      throw EControlSocketException();
    }
  }
  HandshakeControl();
  return true;
}

void TFTPThread::HandshakeControl() {
  ControlTls = std::make_unique<TTlsChannel>();
  ArmWatchdog("in the TLS handshake");
  const bool ok = ControlTls->Handshake(Blocking, Control(), TlsHost);
  Blocking.DisarmWatchdog();
  if (!ok) {
    // A server that cannot complete a handshake will not do better on the next attempt.
    NoRetry = !AbortState.Aborted;
    if (TimedOut()) {
      PostError(WSAETIMEDOUT, TimedOutText());
    } else {
      PostError(0, ControlTls->ErrorText());
    }
    ControlTls.reset();
    throw EControlSocketException();
  }
  const TCertificateInfo certificate = ControlTls->Certificate();
  Log("TLS connection established: " + ControlTls->Description());
  Log("Certificate: " + certificate.Subject + " (issued by " + certificate.Issuer + ")");
  if (!CertificateAccepted(certificate)) {
    NoRetry = true;
    // An abort while the person was deciding is no refusal; the abort speaks for itself.
    if (!AbortState.Aborted) {
      PostError(0, "The server's certificate was refused; nothing more was sent");
    }
    throw EControlSocketException();
  }
}

bool TFTPThread::CertificateAccepted(const TCertificateInfo& certificate) {
  if (certificate.Problem.empty()) return true;
  Log("The certificate could not be verified: " + certificate.Problem);
  if (certificate.Fingerprint.empty()) return false;
  const TTrustLookup lookup = CertificateTrust().Check(TlsHost, TlsPort, certificate.Fingerprint);
  if (lookup == TTrustLookup::Trusted) {
    Log("The certificate was trusted before (SHA-256 " + certificate.Fingerprint + ")");
    return true;
  }
  if (lookup == TTrustLookup::Changed) {
    Log("Warning: the server presents another certificate than the one trusted before");
  }
  // An answer left over from an earlier question (given after its connection was aborted)
  // must not decide this one.
  while (Shared->Queue.Peek(WM_FTPTRUST, true)) {
  }
  auto question = std::make_shared<TCertificateEventData>();
  question->Host = TlsHost;
  question->Port = TlsPort;
  question->Certificate = certificate;
  question->Changed = lookup == TTrustLookup::Changed;
  PostEvent(evCertificate, std::move(question));
  TThreadMessage answer;
  if (!WaitForThreadMessage(Blocking, WM_FTPTRUST, WM_QUIT, answer)) return false;
  if (answer.WParam == tdTrustOnce) {
    CertificateTrust().TrustOnce(TlsHost, TlsPort, certificate.Fingerprint);
    Log("The certificate is trusted for this session");
    return true;
  }
  if (answer.WParam == tdTrustAlways) {
    std::string error;
    if (!CertificateTrust().TrustAlways(TlsHost, TlsPort, certificate.Fingerprint, error)) {
      Log(error);
    }
    Log("The certificate is trusted from now on");
    return true;
  }
  return false;
}

void TFTPThread::ProtectDataConnections() {
  SendCommand("PBSZ 0");
  ReadReply();
  SendCommand("PROT P");
  if (ReadReply() == 200) {
    ProtectData = true;
    return;
  }
  if (Encryption == enExplicitIfOffered) {
    Log("The server refused to protect data connections; files and listings go unencrypted");
    return;
  }
  NoRetry = true;
  PostError(0, "The server refused to protect data connections (PROT P)");
  throw EControlSocketException();
}

bool TFTPThread::HandshakeData() {
  if (!ProtectData) return true;
  DataTls = std::make_unique<TTlsChannel>();
  ArmWatchdog("in the TLS handshake of the data connection");
  bool ok = DataTls->Handshake(Blocking, DataSocket, TlsHost, ControlTls.get());
  Blocking.DisarmWatchdog();
  std::string problem = DataTls->ErrorText();
  // The data connection must come from the server we decided about: the same certificate.
  if (ok && DataTls->Fingerprint() != ControlTls->Fingerprint()) {
    ok = false;
    problem = "The data connection presented another certificate than the control connection";
  }
  if (ok) return true;
  DataFailed = true;
  if (AbortState.Aborted) return false;
  if (TimedOut()) {
    PostError(WSAETIMEDOUT, TimedOutText());
  } else {
    PostError(0, problem);
  }
  DataTls.reset();  // a broken TLS layer gets no close alert
  return false;
}

long TFTPThread::ControlSend(const char* data, size_t length) {
  if (ControlTls) return ControlTls->Send(Blocking, data, length);
  return SocketSend(Blocking, Control(), data, length);
}

long TFTPThread::ControlRecv(char* buffer, size_t length) {
  if (ControlTls) return ControlTls->Recv(Blocking, buffer, length);
  return SocketRecv(Blocking, Control(), buffer, length);
}

long TFTPThread::DataSend(const char* data, size_t length) {
  if (DataTls) return DataTls->Send(Blocking, data, length);
  return SocketSend(Blocking, DataSocket, data, length);
}

long TFTPThread::DataRecv(char* buffer, size_t length) {
  if (DataTls) return DataTls->Recv(Blocking, buffer, length);
  return SocketRecv(Blocking, DataSocket, buffer, length);
}

}  // namespace pelmar
