#include "support/RealSshServer.h"

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/Files.h"
#include "support/ServerProcess.h"

namespace pelmar::test {
namespace {

constexpr int kStartTimeoutMs = 15000;
constexpr const char* kSshd = "/usr/sbin/sshd";

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

void Restore(const char* name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}

}  // namespace

std::string TRealSshServer::CannotRun(TSshServerKind kind) {
  if (kind == TSshServerKind::Scripted) return {};
  if (::access(kSshd, X_OK) != 0) return "sshd is not installed (openssh-server)";
  // Its privilege separation folder, /run/sshd, and log-ons as another user need root.
  if (::geteuid() != 0) return "sshd needs root";
  return {};
}

void TRealSshServer::MakeKey(const std::string& path) {
  const std::string command =
      "ssh-keygen -q -t ed25519 -N '' -C pelmar-test -f '" + path + "' </dev/null >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) Error = "ssh-keygen failed for " + path;
}

TRealSshServer::TRealSshServer(TSshServerKind kind, std::vector<std::string> switches)
    : Kind(kind), Switches(std::move(switches)) {
  Dir = MakeTempDir();
  Root_ = Dir + "/root/";
  Home_ = Dir + "/home/";
  for (const std::string& folder : {Root_, Home_, Home_ + ".ssh/", Dir + "/keys/"}) {
    ::mkdir(folder.c_str(), 0700);
  }
  MakeKey(Dir + "/hostkey");
  MakeKey(Dir + "/otherhostkey");
  MakeKey(Home_ + ".ssh/id_ed25519");
  MakeKey(KeyFile());
  std::ofstream(Dir + "/authorized_keys")
      << ReadFile(Home_ + ".ssh/id_ed25519.pub") << ReadFile(KeyFile() + ".pub");

  SavedHome = Variable("HOME");
  SavedAgent = Variable("SSH_AUTH_SOCK");
  ::setenv("HOME", Home_.substr(0, Home_.size() - 1).c_str(), 1);
  ::unsetenv("SSH_AUTH_SOCK");
  if (!Error.empty()) return;
  if (kind == TSshServerKind::OpenSsh) {
    // A free port may be taken by another test before sshd binds it: try another one.
    for (int attempt = 0; attempt < 5 && !Started() && Pid < 0; ++attempt) StartSshd();
  } else {
    StartScripted();
  }
}

void TRealSshServer::StartSshd() {
  Error.clear();
  ::mkdir("/run/sshd", 0755);
  const uint16_t port = FreePort();
  const std::string config = Dir + "/sshd_config";
  std::ofstream(config) << "Port " << port << "\nListenAddress 127.0.0.1\n"
                        << "HostKey " << Dir << "/hostkey\n"
                        << "PidFile " << Dir << "/sshd.pid\n"
                        << "AuthorizedKeysFile " << Dir << "/authorized_keys\n"
                        << "StrictModes no\nUsePAM no\nPermitRootLogin yes\n"
                        << "PasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                        << "MaxStartups 100\nSubsystem sftp internal-sftp\n";
  int out = -1;
  // -D: in the foreground, so that it is our child; -E: its log (and its sessions') to a file.
  Pid = Spawn({kSshd, "-D", "-f", config, "-E", Dir + "/sshd.log"}, out);
  if (Pid < 0) {
    Error = "cannot start sshd";
    return;
  }
  ::close(out);
  // sshd says nothing when it is ready: wait until it accepts connections or exits.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Accepts(port, false)) {
      Port_ = port;
      return;
    }
    if (::waitpid(Pid, nullptr, WNOHANG) == Pid) {
      Pid = -1;
      Error = "sshd exited at start: " + ReadFile(Dir + "/sshd.log");
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Error = "sshd did not start listening";
}

void TRealSshServer::StartScripted() {
  std::vector<std::string> args = {
      "/usr/bin/python3", PELMAR_SOURCE_DIR "/tests/support/servers/sftpd.py",
      "--root",           Root_,
      "--host-key",       Dir + "/hostkey"};
  args.insert(args.end(), Switches.begin(), Switches.end());
  int out = -1;
  Pid = Spawn(args, out);
  if (Pid < 0) {
    Error = "cannot start /usr/bin/python3";
    return;
  }
  // It prints its port once it listens.
  const std::string line = ReadLine(out, kStartTimeoutMs);
  ::close(out);
  const int port = std::atoi(line.c_str());
  if (port <= 0 || port > 65535) {
    Error = "sftpd.py did not start (said \"" + line + "\")";
    return;
  }
  Port_ = static_cast<uint16_t>(port);
}

TRealSshServer::~TRealSshServer() {
  for (const int pid : {Pid, AgentPid}) {
    if (pid <= 0) continue;
    // sshd's sessions are its children.
    const std::vector<int> tree = ProcessTree(pid);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    for (size_t i = 1; i < tree.size(); ++i) ::kill(tree[i], SIGKILL);
  }
  if (AgentOut >= 0) ::close(AgentOut);
  Restore("HOME", SavedHome);
  Restore("SSH_AUTH_SOCK", SavedAgent);
  if (!Dir.empty()) {
    const std::string command = "rm -rf '" + Dir + "'";
    [[maybe_unused]] const int rc = std::system(command.c_str());
  }
}

std::string TRealSshServer::User() const {
  if (Kind == TSshServerKind::Scripted) return kUser;
  const passwd* self = ::getpwuid(::geteuid());
  return self ? self->pw_name : "root";
}

std::string TRealSshServer::Url() const {
  const std::string account = Kind == TSshServerKind::Scripted ? User() + ":" + kPassword : User();
  const std::string path = Kind == TSshServerKind::Scripted ? "" : "%2F" + Root_.substr(1);
  return "sftp://" + account + "@127.0.0.1:" + std::to_string(Port_) + "/" + path;
}

std::string TRealSshServer::Fingerprint(bool other) const {
  const std::string key = Dir + (other ? "/otherhostkey.pub" : "/hostkey.pub");
  // "256 SHA256:... comment (ED25519)"
  return CommandOutput("ssh-keygen -lf '" + key + "' | cut -d' ' -f2");
}

std::string TRealSshServer::KnownHostsLine(bool other) const {
  // "ssh-ed25519 AAAA... comment": the type and the key, without the comment.
  std::istringstream key(ReadFile(Dir + (other ? "/otherhostkey.pub" : "/hostkey.pub")));
  std::string type, blob;
  key >> type >> blob;
  return "[127.0.0.1]:" + std::to_string(Port_) + " " + type + " " + blob + "\n";
}

void TRealSshServer::TrustHostKey(bool other) const {
  std::ofstream(KnownHostsFile()) << KnownHostsLine(other);
}

void TRealSshServer::SetDefaultKey(bool present) const {
  const std::string key = Home_ + ".ssh/id_ed25519";
  const std::string away = Dir + "/keys/default";
  for (const char* suffix : {"", ".pub"}) {
    const std::string from = (present ? away : key) + suffix;
    const std::string to = (present ? key : away) + suffix;
    ::rename(from.c_str(), to.c_str());
  }
}

bool TRealSshServer::StartAgent() {
  if (AgentPid > 0) return true;
  const std::string socket = Dir + "/agent.sock";
  // -D: in the foreground; it prints its variables once its socket listens.
  AgentPid = Spawn({"/usr/bin/ssh-agent", "-D", "-a", socket}, AgentOut);
  if (AgentPid < 0 || ReadLine(AgentOut, kStartTimeoutMs).empty()) return false;
  ::setenv("SSH_AUTH_SOCK", socket.c_str(), 1);
  const std::string add = "ssh-add -q '" + KeyFile() + "' </dev/null >/dev/null 2>&1";
  return std::system(add.c_str()) == 0;
}

}  // namespace pelmar::test
