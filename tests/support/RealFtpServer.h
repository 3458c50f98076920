#pragma once
// Real FTP servers for integration tests: pyftpdlib (any user, any port) and vsftpd (needs
// root). Each instance serves a fresh temporary folder on 127.0.0.1 and a free port and is
// stopped, with every session process it started, when the object goes.

#include <cstdint>
#include <string>
#include <vector>

namespace pelmar::test {

enum class TServerKind { Pyftpdlib, Vsftpd };

std::string ServerName(TServerKind kind);

class TRealFtpServer {
 public:
  explicit TRealFtpServer(TServerKind kind);
  ~TRealFtpServer();
  TRealFtpServer(const TRealFtpServer&) = delete;
  TRealFtpServer& operator=(const TRealFtpServer&) = delete;

  // Why the server cannot run here (empty when it can): vsftpd needs root.
  static std::string CannotRun(TServerKind kind);

  bool Started() const { return Port_ != 0; }
  const std::string& StartError() const { return Error; }
  uint16_t Port() const { return Port_; }
  // The served folder, with a trailing "/".
  const std::string& Root() const { return Root_; }
  // The named account (pyftpdlib only; vsftpd serves anonymous users).
  static constexpr const char* kUser = "pelmar";
  static constexpr const char* kPassword = "secret";

 private:
  void StartPyftpdlib();
  void StartVsftpd();
  void StopSessions();

  TServerKind Kind;
  std::string Dir;  // temporary folder holding the root and the configuration
  std::string Root_;
  std::string Config;
  int Pid = -1;
  uint16_t Port_ = 0;
  std::string Error;
};

}  // namespace pelmar::test
