#include "support/RealFtpServer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace pelmar::test {
namespace {

constexpr int kStartTimeoutMs = 15000;

std::string MakeTempDir() {
  std::string pattern = "/tmp/pelmar-server-XXXXXX";
  if (!::mkdtemp(pattern.data())) return {};
  return pattern;
}

uint16_t FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(s);
  return ntohs(a.sin_port);
}

bool Accepts(uint16_t port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(s);
  return ok;
}

// Starts `argv` with stdout into a pipe (returned in `out`) and stdin joined to stderr.
int Spawn(const std::vector<std::string>& args, int& out) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, 2, 0);  // vsftpd reports start-up errors on fd 0
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (rc != 0) {
    ::close(pipeFds[0]);
    return -1;
  }
  out = pipeFds[0];
  return pid;
}

}  // namespace

std::string ServerName(TServerKind kind) {
  return kind == TServerKind::Pyftpdlib ? "pyftpdlib" : "vsftpd";
}

std::string TRealFtpServer::CannotRun(TServerKind kind) {
  if (kind == TServerKind::Vsftpd && ::geteuid() != 0) return "vsftpd needs root";
  return {};
}

TRealFtpServer::TRealFtpServer(TServerKind kind) : Kind(kind) {
  Dir = MakeTempDir();
  Root_ = Dir + "/root/";
  ::mkdir(Root_.c_str(), 0777);
  ::chmod(Root_.c_str(), 0777);
  if (kind == TServerKind::Pyftpdlib) {
    StartPyftpdlib();
  } else {
    StartVsftpd();
  }
}

void TRealFtpServer::StartPyftpdlib() {
  int out = -1;
  Pid = Spawn({"/usr/bin/python3", PELMAR_SOURCE_DIR "/tests/support/servers/pyftpd.py", "--root",
               Root_, "--user", kUser, "--password", kPassword},
              out);
  if (Pid < 0) {
    Error = "cannot start /usr/bin/python3";
    return;
  }
  std::string line;
  pollfd fd{out, POLLIN, 0};
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (line.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) break;
    char c[64];
    const ssize_t n = ::read(out, c, sizeof c);
    if (n <= 0) break;
    line.append(c, static_cast<size_t>(n));
  }
  ::close(out);
  const int port = std::atoi(line.c_str());
  if (port <= 0) {
    Error = "pyftpdlib did not start (is python3-pyftpdlib installed?)";
    return;
  }
  Port_ = static_cast<uint16_t>(port);
}

void TRealFtpServer::StartVsftpd() {
  const std::string empty = Dir + "/empty";
  ::mkdir(empty.c_str(), 0755);
  const uint16_t port = FreePort();
  Config = Dir + "/vsftpd.conf";
  std::ofstream(Config) << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n"
                        << "listen_port=" << port << "\n"
                        << "background=NO\nanonymous_enable=YES\nlocal_enable=NO\n"
                        << "anon_root=" << Root_ << "\n"
                        << "no_anon_password=YES\nwrite_enable=YES\nanon_upload_enable=YES\n"
                        << "anon_mkdir_write_enable=YES\nanon_other_write_enable=YES\n"
                        << "anon_world_readable_only=NO\nanon_umask=022\n"
                        << "run_as_launching_user=YES\nseccomp_sandbox=NO\n"
                        << "secure_chroot_dir=" << empty << "\n"
                        << "connect_from_port_20=NO\npasv_enable=NO\nport_enable=YES\n"
                        << "xferlog_enable=NO\ndirmessage_enable=NO\nuse_localtime=YES\n"
                        << "max_per_ip=0\nmax_clients=0\n";
  int out = -1;
  Pid = Spawn({"/usr/sbin/vsftpd", Config}, out);
  if (Pid < 0) {
    Error = "cannot start /usr/sbin/vsftpd (is vsftpd installed?)";
    return;
  }
  ::close(out);
  // vsftpd says nothing when it is ready; wait until it accepts or exits.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Accepts(port)) {
      Port_ = port;
      return;
    }
    int status = 0;
    if (::waitpid(Pid, &status, WNOHANG) == Pid) {
      Pid = -1;
      Error = "vsftpd exited at start";
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Error = "vsftpd did not start listening";
}

void TRealFtpServer::StopSessions() {
  // vsftpd's session processes leave the listener's process group: find them by their
  // command line, which names our own configuration file.
  if (Config.empty()) return;
  DIR* proc = ::opendir("/proc");
  if (!proc) return;
  while (dirent* entry = ::readdir(proc)) {
    const int pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    std::ifstream cmdline("/proc/" + std::string(entry->d_name) + "/cmdline");
    std::stringstream text;
    text << cmdline.rdbuf();
    if (text.str().find(Config) != std::string::npos) ::kill(pid, SIGKILL);
  }
  ::closedir(proc);
}

TRealFtpServer::~TRealFtpServer() {
  if (Pid > 0) {
    ::kill(Pid, SIGTERM);
    ::waitpid(Pid, nullptr, 0);
  }
  StopSessions();
  if (!Dir.empty()) {
    const std::string command = "rm -rf '" + Dir + "'";
    [[maybe_unused]] int rc = std::system(command.c_str());
  }
}

}  // namespace pelmar::test
