#pragma once
// Real FTP servers for integration tests: pyftpdlib, vsftpd, ProFTPD and Pure-FTPd. Each
// instance serves a fresh temporary folder on 127.0.0.1 and a free port and is stopped, with
// every session process it started, when the object goes. vsftpd and Pure-FTPd need root;
// ProFTPD and Pure-FTPd run from the copies scripts/setup.sh unpacks into build/servers.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace pelmar::test {

enum class TServerKind { Pyftpdlib, Vsftpd, Proftpd, PureFtpd };

std::string ServerName(TServerKind kind);
inline void PrintTo(TServerKind kind, std::ostream* out) {
  *out << ServerName(kind);
}
// Every kind, for parameterised suites.
std::vector<TServerKind> AllServerKinds();

struct TServerOptions {
  // ProFTPD's AllowStoreRestart: off (its default) answers a restarted STOR with 451.
  bool StoreRestart = true;
  // pyftpdlib and vsftpd only: listen on ::1 instead of 127.0.0.1.
  bool Ipv6 = false;
  // pyftpdlib and vsftpd only: FTP over TLS required of every log-on and data connection,
  // with this key and certificate (a file of TTlsCertificates); TLS from the first byte when
  // ImplicitTls.
  std::string Certificate = {};
  bool ImplicitTls = false;
  // pyftpdlib only: accepts PROT P but keeps data connections in clear (a broken server).
  bool PlainData = false;
  // pyftpdlib only: the listing of every folder named "trap" also names entries that no
  // honest server has ("../../..", "../escape.txt", "a/b", a name holding a terminal escape
  // sequence), as a hostile server would.
  bool HostileNames = false;
  // pyftpdlib only: REST is answered 350 but ignored (whole files are sent), SIZE is unknown.
  bool DishonestRest = false;
  // pyftpdlib only: XSHA256 and XMD5 answered with right or wrong checksums (else not at all).
  enum class TChecksums { None, Right, Wrong } Checksums = TChecksums::None;
  // pyftpdlib only: every download sends half the file and is confirmed with 226 as whole.
  bool ShortData = false;
  // pyftpdlib only: bytes per second each data connection moves at most (0: no limit).
  int Rate = 0;
  // pyftpdlib only: names resolve whatever their case, as on a Windows server.
  bool FoldCase = false;
  // pyftpdlib only: no MLSD, and LIST times this many minutes ahead of the files' own (a
  // server whose clock is in another time zone); MDTM stays exact.
  int ListOffsetMinutes = 0;
  // pyftpdlib only: RETR and STOR of paths containing this text are refused with 550.
  std::string RefuseTransfersOf = {};
  // vsftpd only: connections it takes from one address at once (0: any number); the next
  // one is answered "421 There are too many connections from your internet address."
  int MaxPerIp = 0;
};

// Certificates made for one test in a temporary folder (tests/support/servers/makecert.py):
// an authority the process trusts from then on (SSL_CERT_FILE), and server certificates.
class TTlsCertificates {
 public:
  TTlsCertificates();
  ~TTlsCertificates();
  bool Made() const { return !Dir.empty(); }
  // "good", "expired", "wrongname" or "selfsigned".
  std::string File(const std::string& name) const { return Dir + "/" + name + ".pem"; }
  // The SHA-256 fingerprint of a certificate, "AB:CD:...".
  std::string Fingerprint(const std::string& name) const;

 private:
  std::string Dir;
};

class TRealFtpServer {
 public:
  explicit TRealFtpServer(TServerKind kind, TServerOptions options = {});
  ~TRealFtpServer();
  TRealFtpServer(const TRealFtpServer&) = delete;
  TRealFtpServer& operator=(const TRealFtpServer&) = delete;

  // Why the server cannot run here (empty when it can): vsftpd and Pure-FTPd need root.
  static std::string CannotRun(TServerKind kind);

  bool Started() const { return Port_ != 0; }
  const std::string& StartError() const { return Error; }
  uint16_t Port() const { return Port_; }
  // The served folder, with a trailing "/"; it is the log-on folder.
  const std::string& Root() const { return Root_; }
  // The account tests log on with: anonymous where the server has it, else the named one.
  std::string User() const;
  std::string Password() const;
  // Whether the named account below exists (vsftpd serves anonymous users only).
  bool HasNamedAccount() const { return Kind_ != TServerKind::Vsftpd; }
  static constexpr const char* kUser = "pelmar";
  static constexpr const char* kPassword = "secret";
  // An ftp:// address of the root for the account above, with a trailing "/".
  std::string Url() const;
  // The address the server listens on, as an address writes it ("127.0.0.1", "[::1]").
  std::string Host() const { return Options.Ipv6 ? "[::1]" : "127.0.0.1"; }
  // Makes a file the test wrote into the served folder belong to the account the sessions run
  // as, so that the server may change its mode (Pure-FTPd's sessions are not root).
  void HandOver(const std::string& path) const;
  // Pure-FTPd makes a refused log-on wait a few seconds; tests set the engine's time-out above.
  static constexpr int kSlowRefusalMs = 20000;

 private:
  void StartPyftpdlib();
  void StartVsftpd();
  void StartProftpd();
  void StartPureFtpd();
  // Starts `args` and waits until `port` accepts connections.
  void StartListening(const std::vector<std::string>& args, uint16_t port);

  TServerKind Kind_;
  TServerOptions Options;
  std::string Dir;  // temporary folder holding the root and the configuration
  std::string Root_;
  std::string Config;
  int Pid = -1;
  uint16_t Port_ = 0;
  std::string Error;
};

}  // namespace pelmar::test
