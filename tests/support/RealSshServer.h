#pragma once
// SSH servers for SFTP tests, each on 127.0.0.1 and a free port, serving a fresh temporary
// folder, with a fresh ed25519 host key, and stopped with every process it started when the
// object goes:
// - OpenSSH's sshd (internal-sftp) as the current user, with key log-on only (password log-on
//   would need PAM).
// - A scripted read-only server (tests/support/servers/sftpd.py, on paramiko) with password and
//   keyboard-interactive log-on and switches that make it misbehave (see its --help).
// While the object lives, HOME is a test folder of its own: .ssh/ with an unencrypted default
// key (id_ed25519) and no known_hosts; SSH_AUTH_SOCK is unset unless StartAgent() set it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelmar::test {

enum class TSshServerKind { OpenSsh, Scripted };

class TRealSshServer {
 public:
  // `switches`: the scripted server's command-line switches.
  explicit TRealSshServer(TSshServerKind kind, std::vector<std::string> switches = {});
  ~TRealSshServer();
  TRealSshServer(const TRealSshServer&) = delete;
  TRealSshServer& operator=(const TRealSshServer&) = delete;

  // Why the server cannot run here (empty when it can): sshd is missing or needs root.
  static std::string CannotRun(TSshServerKind kind);

  bool Started() const { return Port_ != 0; }
  const std::string& StartError() const { return Error; }
  uint16_t Port() const { return Port_; }
  // The served folder on this machine, with a trailing "/".
  const std::string& Root() const { return Root_; }
  // sshd: the current user's name; scripted: kUser (password kPassword).
  std::string User() const;
  static constexpr const char* kUser = "pelmar";
  static constexpr const char* kPassword = "secret";
  // sftp://user@127.0.0.1:PORT/ and the served folder with a trailing "/": for sshd its path
  // (its "/" as %2F), for the scripted server none (it serves the folder as "/").
  std::string Url() const;

  // The host key's fingerprint as OpenSSH prints it ("SHA256:..."); with `other`, that of
  // another key, for a known_hosts that remembers a different key.
  std::string Fingerprint(bool other = false) const;
  // The known_hosts line of the host key (or another one) for this port, with its line end.
  std::string KnownHostsLine(bool other = false) const;
  // Writes $HOME/.ssh/known_hosts holding that line.
  void TrustHostKey(bool other = false) const;
  std::string KnownHostsFile() const { return Home_ + ".ssh/known_hosts"; }

  // A second authorized key, outside $HOME/.ssh (for KeyFile, --identity and the agent).
  std::string KeyFile() const { return Dir + "/keys/extra"; }
  // Takes the default key out of $HOME/.ssh (or puts it back).
  void SetDefaultKey(bool present) const;
  // Starts ssh-agent holding KeyFile() and points SSH_AUTH_SOCK at it. False when it failed.
  bool StartAgent();

 private:
  void StartSshd();
  void StartScripted();
  void MakeKey(const std::string& path);

  TSshServerKind Kind;
  std::vector<std::string> Switches;
  std::string Dir;  // temporary folder holding everything
  std::string Root_;
  std::string Home_;
  std::optional<std::string> SavedHome;
  std::optional<std::string> SavedAgent;
  int Pid = -1;
  int AgentPid = -1;
  int AgentOut = -1;
  uint16_t Port_ = 0;
  std::string Error;
};

}  // namespace pelmar::test
