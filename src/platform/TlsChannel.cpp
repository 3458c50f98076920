#include "platform/TlsChannel.h"

#include <arpa/inet.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <memory>

#include "platform/WinSockErrors.h"

namespace pelmar {
namespace {

// One client context for the process: TLS 1.2 at least, the system's certificate store.
// Verification never stops the handshake by itself; its result is read afterwards, so that
// a person can decide about a certificate that failed.
SSL_CTX* ClientContext() {
  static SSL_CTX* const context = [] {
    // OpenSSL writes to the socket with write(), which raises SIGPIPE on a connection the
    // server has closed; the failed call is reported as an error instead.
    std::signal(SIGPIPE, SIG_IGN);
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) return ctx;
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // The hashed certificate folder finds an issuer when it is needed; reading the whole
    // bundle file up front cost every program start about 20 ms of CPU. A certificate file
    // named by SSL_CERT_FILE is read as it is; systems with a bundle file only are served
    // by VerifyWithBundle().
    if (std::getenv("SSL_CERT_FILE")) {
      SSL_CTX_set_default_verify_file(ctx);
    } else {
      SSL_CTX_set_default_verify_dir(ctx);
    }
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
    // A server that closes a data connection without the close alert ends the stream as
    // plain FTP does; the transfer's final reply still says whether it was complete.
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    return ctx;
  }();
  return context;
}

std::string OpenSslErrors() {
  std::string text;
  while (const unsigned long code = ERR_get_error()) {
    char line[256];
    ERR_error_string_n(code, line, sizeof line);
    if (!text.empty()) text += "; ";
    text += line;
  }
  return text;
}

std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  return length > 0 ? std::string(data, static_cast<size_t>(length)) : std::string();
}

std::string NameText(const X509_NAME* name) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
  X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
  return BioText(bio.get());
}

std::string TimeText(const ASN1_TIME* time) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
  ASN1_TIME_print(bio.get(), time);
  return BioText(bio.get());
}

// Verifies the peer's chain again against the system's bundle file, for systems whose
// certificate folder has no hashed names; the result of the handshake's verification
// otherwise.
long VerifyWithBundle(SSL* ssl, long verified) {
  if (verified != X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY || std::getenv("SSL_CERT_FILE")) {
    return verified;
  }
  X509* leaf = SSL_get0_peer_certificate(ssl);
  std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> store(X509_STORE_new(), X509_STORE_free);
  std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)> context(X509_STORE_CTX_new(),
                                                                          X509_STORE_CTX_free);
  if (!leaf || !store || !context ||
      X509_STORE_load_file(store.get(), X509_get_default_cert_file()) != 1 ||
      X509_STORE_CTX_init(context.get(), store.get(), leaf, SSL_get_peer_cert_chain(ssl)) != 1) {
    ERR_clear_error();
    return verified;
  }
  X509_STORE_CTX_set_default(context.get(), "ssl_server");
  X509_VERIFY_PARAM_set1(X509_STORE_CTX_get0_param(context.get()), SSL_get0_param(ssl));
  const long result =
      X509_verify_cert(context.get()) == 1 ? X509_V_OK : X509_STORE_CTX_get_error(context.get());
  ERR_clear_error();
  return result;
}

bool IsAddressLiteral(const std::string& host) {
  unsigned char buffer[sizeof(in6_addr)];
  return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

}  // namespace

std::string NormalizeFingerprint(const std::string& text) {
  std::string digits;
  for (const char c : text) {
    if (c == ':' || c == ' ') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
    digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (digits.empty() || digits.size() % 2 != 0) return {};
  std::string result;
  for (size_t i = 0; i < digits.size(); i += 2) {
    if (i > 0) result += ':';
    result += digits.substr(i, 2);
  }
  return result;
}

void ReleaseTlsThreadState() {
  OPENSSL_thread_stop();
}

TTlsChannel::TTlsChannel() = default;

TTlsChannel::~TTlsChannel() {
  if (Ssl) SSL_free(Ssl);
}

bool TTlsChannel::WaitFor(TBlockingContext& ctx, int result, const char* step) {
  const int error = SSL_get_error(Ssl, result);
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
    if (WaitForSocket(ctx, Socket, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT)) return true;
    Error = std::string("TLS ") + step + " interrupted";
    return false;
  }
  std::string reason = OpenSslErrors();
  if (reason.empty()) {
    reason = error == SSL_ERROR_SYSCALL ? "the connection was closed" : "TLS protocol error";
  }
  Error = std::string("TLS ") + step + " failed: " + reason;
  SetLastSocketError(WSAECONNRESET);
  return false;
}

bool TTlsChannel::Handshake(TBlockingContext& ctx, int s, const std::string& host,
                            const TTlsChannel* resumeFrom) {
  ERR_clear_error();
  SSL_CTX* context = ClientContext();
  if (Ssl) SSL_free(Ssl);
  Ssl = context ? SSL_new(context) : nullptr;
  Socket = s;
  if (!Ssl || SSL_set_fd(Ssl, s) != 1) {
    Error = "TLS could not be set up: " + OpenSslErrors();
    SetLastSocketError(WSAECONNRESET);
    return false;
  }
  X509_VERIFY_PARAM* param = SSL_get0_param(Ssl);
  if (IsAddressLiteral(host)) {
    X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
  } else {
    // Server name indication (the macro for it casts in the old style).
    SSL_ctrl(Ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
             const_cast<char*>(host.c_str()));
    X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
  }
  if (resumeFrom && resumeFrom->Ssl) {
    if (SSL_SESSION* session = SSL_get1_session(resumeFrom->Ssl)) {
      SSL_set_session(Ssl, session);
      SSL_SESSION_free(session);
    }
  }
  for (;;) {
    const int result = SSL_connect(Ssl);
    if (result == 1) {
      Verified = VerifyWithBundle(Ssl, SSL_get_verify_result(Ssl));
      return true;
    }
    if (!WaitFor(ctx, result, "handshake")) return false;
  }
}

long TTlsChannel::Send(TBlockingContext& ctx, const char* data, size_t length) {
  ERR_clear_error();
  for (;;) {
    size_t written = 0;
    const int result = SSL_write_ex(Ssl, data, length, &written);
    if (result == 1) return static_cast<long>(written);
    if (!WaitFor(ctx, result, "write")) return -1;
  }
}

long TTlsChannel::Recv(TBlockingContext& ctx, char* buffer, size_t length) {
  ERR_clear_error();
  for (;;) {
    size_t got = 0;
    const int result = SSL_read_ex(Ssl, buffer, length, &got);
    if (result == 1) return static_cast<long>(got);
    if (SSL_get_error(Ssl, result) == SSL_ERROR_ZERO_RETURN) return 0;
    if (!WaitFor(ctx, result, "read")) return -1;
  }
}

void TTlsChannel::Close(TBlockingContext& ctx) {
  if (!Ssl) return;
  ERR_clear_error();
  // One attempt that may wait for room to send the alert; the peer's answer is not awaited.
  for (int tries = 0; tries < 2; ++tries) {
    const int result = SSL_shutdown(Ssl);
    if (result >= 0) break;
    if (SSL_get_error(Ssl, result) != SSL_ERROR_WANT_WRITE) break;
    if (!WaitForSocket(ctx, Socket, POLLOUT)) break;
  }
  ERR_clear_error();
  SSL_free(Ssl);
  Ssl = nullptr;
}

bool TTlsChannel::SessionReused() const {
  return Ssl && SSL_session_reused(Ssl) == 1;
}

std::string TTlsChannel::Fingerprint() const {
  const X509* certificate = Ssl ? SSL_get0_peer_certificate(Ssl) : nullptr;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  std::string text;
  if (!certificate || X509_digest(certificate, EVP_sha256(), digest, &length) != 1) return text;
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned int i = 0; i < length; ++i) {
    if (i > 0) text += ':';
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 15];
  }
  return text;
}

TCertificateInfo TTlsChannel::Certificate() const {
  TCertificateInfo info;
  X509* certificate = Ssl ? SSL_get1_peer_certificate(Ssl) : nullptr;
  if (!certificate) {
    info.Problem = "the server sent no certificate";
    return info;
  }
  info.Subject = NameText(X509_get_subject_name(certificate));
  info.Issuer = NameText(X509_get_issuer_name(certificate));
  info.ValidFrom = TimeText(X509_get0_notBefore(certificate));
  info.ValidUntil = TimeText(X509_get0_notAfter(certificate));
  X509_free(certificate);
  info.Fingerprint = Fingerprint();
  if (Verified != X509_V_OK) info.Problem = X509_verify_cert_error_string(Verified);
  return info;
}

std::string TTlsChannel::Description() const {
  if (!Ssl) return {};
  return std::string(SSL_get_version(Ssl)) + ", " + SSL_get_cipher_name(Ssl);
}

}  // namespace pelmar
