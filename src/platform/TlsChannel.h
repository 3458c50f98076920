#pragma once
// TLS (OpenSSL) over one of our non-blocking sockets, with the same blocking rules as the
// plain socket calls: a call that would block waits in WaitForSocket(), so an abort message
// or the watchdog ends a handshake, a read or a write exactly as for a plain socket.

#include <cstddef>
#include <memory>
#include <string>

#include "platform/Sockets.h"

typedef struct ssl_st SSL;
typedef struct ssl_session_st SSL_SESSION;

namespace pelmar {

// What a person needs to decide about a server's certificate.
struct TCertificateInfo {
  std::string Subject;
  std::string Issuer;
  std::string ValidFrom;  // "Jan  1 00:00:00 2026 GMT", as OpenSSL prints it
  std::string ValidUntil;
  std::string Fingerprint;  // SHA-256, "AB:CD:..."
  std::string Problem;      // why verification failed; empty when it passed
};

// "AB:CD:EF" from "abcdef", "AB:CD:EF" or "ab cd ef"; empty when the text is not hex pairs.
std::string NormalizeFingerprint(const std::string& text);

// Frees what TLS keeps per thread (its random generators, its error queue); a thread that
// used TLS calls it as its last step, so that nothing of it is left when the program ends.
void ReleaseTlsThreadState();

class TTlsChannel {
 public:
  TTlsChannel();
  ~TTlsChannel();
  TTlsChannel(const TTlsChannel&) = delete;
  TTlsChannel& operator=(const TTlsChannel&) = delete;

  // The client handshake on the connected socket `s`; `host` is checked against the
  // certificate (a name, or a literal IPv4/IPv6 address). A data connection passes its
  // control connection as `resumeFrom`, so the server sees the same TLS session. False with
  // ErrorText() set when the handshake failed or was aborted (LastSocketError 10004).
  bool Handshake(TBlockingContext& ctx, int s, const std::string& host,
                 const TTlsChannel* resumeFrom = nullptr);
  // As SocketSend and SocketRecv: bytes (> 0), 0 when the peer closed, -1 on error.
  long Send(TBlockingContext& ctx, const char* data, size_t length);
  long Recv(TBlockingContext& ctx, char* buffer, size_t length);
  // Sends the TLS close alert, so that the server sees a complete transfer; does not wait for
  // the peer's alert (the socket's graceful close does the waiting).
  void Close(TBlockingContext& ctx);

  bool Active() const { return Ssl != nullptr; }
  bool SessionReused() const;
  TCertificateInfo Certificate() const;
  // The SHA-256 fingerprint alone ("AB:CD:..."); empty without a certificate.
  std::string Fingerprint() const;
  // "TLSv1.3, TLS_AES_256_GCM_SHA384".
  std::string Description() const;
  const std::string& ErrorText() const { return Error; }

 private:
  // Waits for what OpenSSL asked for after a call returned `result`; false ends the call.
  bool WaitFor(TBlockingContext& ctx, int result, const char* step);

  SSL* Ssl = nullptr;
  int Socket = -1;
  long Verified = 0;  // the handshake's verification result (X509_V_OK = 0)
  std::string Error;
};

}  // namespace pelmar
