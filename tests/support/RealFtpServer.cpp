#include "support/RealFtpServer.h"

#include "support/ServerProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace pelmar::test {
namespace {

constexpr int kStartTimeoutMs = 15000;
// ProFTPD and Pure-FTPd as scripts/setup.sh unpacks them.
const std::string kServers = PELMAR_SOURCE_DIR "/build/servers";
// SHA-512 crypt of kPassword (`openssl passwd -6`): cheap to check, unlike Pure-FTPd's default.
constexpr const char* kPasswordHash =
    "$6$pelmarsalt$t2TDhQirBYapzcoMAMQUh6OIZQ4F.etJ7Cy/Khg/GlyR08AGSTHXB/ZlXEYk/W./"
    "Oq25wROyPn6zddv8YkIy3.";
// Pure-FTPd never lets root log on; its sessions run as nobody.
constexpr unsigned kPureFtpdUid = 65534;

}  // namespace

std::string ServerName(TServerKind kind) {
  // In the order of TServerKind.
  static const char* const kNames[] = {"pyftpdlib", "vsftpd", "ProFTPD", "PureFTPd"};
  return kNames[static_cast<int>(kind)];
}

std::vector<TServerKind> AllServerKinds() {
  return {TServerKind::Pyftpdlib, TServerKind::Vsftpd, TServerKind::Proftpd, TServerKind::PureFtpd};
}

std::string TRealFtpServer::CannotRun(TServerKind kind) {
  if (::geteuid() == 0) return {};
  if (kind == TServerKind::Vsftpd) return "vsftpd needs root";
  if (kind == TServerKind::PureFtpd) return "Pure-FTPd needs root";
  return {};
}

std::string TRealFtpServer::User() const {
  return Kind_ == TServerKind::Pyftpdlib || Kind_ == TServerKind::Vsftpd ? "anonymous" : kUser;
}

std::string TRealFtpServer::Password() const {
  return User() == "anonymous" ? "test@example.com" : kPassword;
}

std::string TRealFtpServer::Url() const {
  const std::string account = User() == "anonymous" ? "" : User() + ":" + Password() + "@";
  return "ftp://" + account + Host() + ":" + std::to_string(Port_) + "/";
}

void TRealFtpServer::HandOver(const std::string& path) const {
  if (Kind_ == TServerKind::PureFtpd) {
    [[maybe_unused]] const int rc = ::chown(path.c_str(), kPureFtpdUid, kPureFtpdUid);
  }
}

TRealFtpServer::TRealFtpServer(TServerKind kind, TServerOptions options)
    : Kind_(kind), Options(options) {
  Dir = MakeTempDir();
  Root_ = Dir + "/root/";
  ::mkdir(Root_.c_str(), 0777);
  ::chmod(Root_.c_str(), 0777);
  // In the order of TServerKind.
  static constexpr void (TRealFtpServer::*kStarts[])() = {
      &TRealFtpServer::StartPyftpdlib, &TRealFtpServer::StartVsftpd, &TRealFtpServer::StartProftpd,
      &TRealFtpServer::StartPureFtpd};
  // The free port a server is given may be taken by another test before the server binds
  // it; a server that exits at start is tried again on another port.
  for (int attempt = 0; attempt < 5 && !Started(); ++attempt) {
    if (attempt > 0 && Pid > 0) break;  // running but not listening: a real failure
    Error.clear();
    (this->*kStarts[static_cast<int>(kind)])();
  }
}

void TRealFtpServer::StartListening(const std::vector<std::string>& args, uint16_t port) {
  Pid = Spawn(args);
  if (Pid < 0) {
    Error = "cannot start " + args[0] + " (did scripts/setup.sh run?)";
    return;
  }
  // These servers say nothing when they are ready; wait until one accepts or exits.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Accepts(port, Options.Ipv6)) {
      Port_ = port;
      return;
    }
    int status = 0;
    if (::waitpid(Pid, &status, WNOHANG) == Pid) {
      Pid = -1;
      Error = args[0] + " exited at start";
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Error = args[0] + " did not start listening";
}

void TRealFtpServer::StartProftpd() {
  const uint16_t port = FreePort();
  const bool root = ::geteuid() == 0;
  const passwd* self = ::getpwuid(::geteuid());
  const group* selfGroup = ::getgrgid(::getegid());
  const std::string userName = self ? self->pw_name : "root";
  const std::string groupName = selfGroup ? selfGroup->gr_name : "root";
  std::string home = Root_;
  home.pop_back();
  // Its own account files: ProFTPD refuses ones that others may read.
  const std::string users = Dir + "/proftpd.passwd";
  const std::string groups = Dir + "/proftpd.group";
  std::ofstream(users) << kUser << ":" << kPasswordHash << ":" << ::geteuid() << ":" << ::getegid()
                       << "::" << home << ":/bin/sh\n";
  std::ofstream(groups) << groupName << ":x:" << ::getegid() << ":\n";
  ::chmod(users.c_str(), 0600);
  ::chmod(groups.c_str(), 0600);
  Config = Dir + "/proftpd.conf";
  std::ofstream(Config) << "ServerType standalone\nServerName \"Pelmar test ProFTPD\"\n"
                        << "DefaultAddress 127.0.0.1\nPort " << port << "\nUseIPv6 off\n"
                        << "User " << userName << "\nGroup " << groupName << "\n"
                        << (root ? "RootLogin on\n" : "")
                        << "AuthOrder mod_auth_file.c\nAuthUserFile " << users << "\n"
                        << "AuthGroupFile " << groups << "\nAuthPAM off\n"
                        << "RequireValidShell off\n"
                        << "ScoreboardFile " << Dir << "/proftpd.scoreboard\n"
                        << "PidFile " << Dir << "/proftpd.pid\n"
                        << "DelayTable " << Dir << "/proftpd.delay\n"
                        << "<IfModule mod_delay.c>\nDelayEngine off\n</IfModule>\n"
                        << "WtmpLog off\nUseReverseDNS off\nUmask 022\nAllowOverwrite on\n"
                        << "AllowStoreRestart " << (Options.StoreRestart ? "on" : "off") << "\n"
                        << "MaxInstances 100\n";
  StartListening({kServers + "/usr/sbin/proftpd", "-n", "-q", "-c", Config}, port);
}

void TRealFtpServer::StartPureFtpd() {
  // Its sessions run as nobody: what the test writes into the served folder must stay
  // writable for them.
  ::umask(0);
  const uint16_t port = FreePort();
  const std::string users = Dir + "/pureftpd.passwd";
  const std::string database = Dir + "/pureftpd.pdb";
  // "/./" in the home folder shuts the user in (chroot), so the log-on folder is "/".
  std::ofstream(users) << kUser << ":" << kPasswordHash << ":" << kPureFtpdUid << ":"
                       << kPureFtpdUid << "::" << Root_ << "./::::::::::::\n";
  const std::string makeDatabase = "'" + kServers + "/usr/bin/pure-pw' mkdb '" + database +
                                   "' -f '" + users + "' >/dev/null 2>&1";
  if (std::system(makeDatabase.c_str()) != 0) {
    Error = "pure-pw could not make the user database (did scripts/setup.sh run?)";
    return;
  }
  StartListening(
      {kServers + "/usr/sbin/pure-ftpd", "-S", "127.0.0.1," + std::to_string(port), "-4", "-E",
       "-H", "-A", "-f", "none", "-l", "puredb:" + database, "-g", Dir + "/pureftpd.pid"},
      port);
}

void TRealFtpServer::StartPyftpdlib() {
  // It binds a port of its own choosing and prints it: a port picked here beforehand could be
  // taken meanwhile by another test's server, which would then be taken for this one.
  std::vector<std::string> args = {"/usr/bin/python3",
                                   PELMAR_SOURCE_DIR "/tests/support/servers/pyftpd.py",
                                   "--root=" + Root_,
                                   "--user=" + std::string(kUser),
                                   "--password=" + std::string(kPassword),
                                   std::string("--host=") + (Options.Ipv6 ? "::1" : "127.0.0.1"),
                                   "--port=0",
                                   "--rate=" + std::to_string(Options.Rate),
                                   "--list-offset=" + std::to_string(Options.ListOffsetMinutes),
                                   "--refuse-transfers=" + Options.RefuseTransfersOf};
  if (!Options.Certificate.empty()) {
    args.push_back("--certfile=" + Options.Certificate);
    if (Options.ImplicitTls) args.push_back("--implicit");
    if (Options.PlainData) args.push_back("--plain-data");
  }
  for (const auto& [on, flag] :
       {std::pair{Options.HostileNames, "--hostile-names"},
        std::pair{Options.DishonestRest, "--dishonest-rest"},
        std::pair{Options.ShortData, "--short-data"}, std::pair{Options.FoldCase, "--fold-case"}}) {
    if (on) args.push_back(flag);
  }
  if (Options.Checksums != TServerOptions::TChecksums::None) {
    args.push_back(Options.Checksums == TServerOptions::TChecksums::Right ? "--checksums=right"
                                                                          : "--checksums=wrong");
  }
  int out = -1;
  Pid = Spawn(args, out);
  if (Pid < 0) {
    Error = "cannot start " + args[0];
    return;
  }
  const std::string line = ReadLine(out, kStartTimeoutMs);
  ::close(out);
  const int port = std::atoi(line.c_str());
  if (port <= 0 || port > 65535) {
    Error = "pyftpd.py did not say its port";
    return;
  }
  Port_ = static_cast<uint16_t>(port);
}

void TRealFtpServer::StartVsftpd() {
  const std::string empty = Dir + "/empty";
  ::mkdir(empty.c_str(), 0755);
  const uint16_t port = FreePort();
  Config = Dir + "/vsftpd.conf";
  std::ofstream(Config) << (Options.Ipv6 ? "listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n"
                                         : "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n")
                        << "listen_port=" << port << "\n"
                        << "background=NO\nanonymous_enable=YES\nlocal_enable=NO\n"
                        << "anon_root=" << Root_ << "\n"
                        << "no_anon_password=YES\nwrite_enable=YES\nanon_upload_enable=YES\n"
                        << "anon_mkdir_write_enable=YES\nanon_other_write_enable=YES\n"
                        << "anon_world_readable_only=NO\nanon_umask=022\n"
                        << "run_as_launching_user=YES\nseccomp_sandbox=NO\n"
                        << "secure_chroot_dir=" << empty << "\n"
                        << "connect_from_port_20=NO\npasv_enable=YES\nport_enable=YES\n"
                        << "xferlog_enable=NO\ndirmessage_enable=NO\nuse_localtime=YES\n"
                        << "max_per_ip=" << Options.MaxPerIp << "\nmax_clients=0\n";
  if (!Options.Certificate.empty()) {
    std::ofstream(Config, std::ios::app)
        << "ssl_enable=YES\nrsa_cert_file=" << Options.Certificate << "\n"
        << "require_ssl_reuse=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\n"
        << "force_anon_data_ssl=YES\nimplicit_ssl=" << (Options.ImplicitTls ? "YES" : "NO") << "\n";
  }
  StartListening({"/usr/sbin/vsftpd", Config}, port);
}

TTlsCertificates::TTlsCertificates() {
  const std::string dir = MakeTempDir();
  const std::string command =
      "/usr/bin/python3 " PELMAR_SOURCE_DIR "/tests/support/servers/makecert.py " + dir;
  if (dir.empty() || std::system(command.c_str()) != 0) return;
  Dir = dir;
  // Read when the process's TLS context is made, which is after this in every test.
  ::setenv("SSL_CERT_FILE", File("ca").c_str(), 1);
}

TTlsCertificates::~TTlsCertificates() {
  if (!Dir.empty()) std::filesystem::remove_all(Dir);
}

std::string TTlsCertificates::Fingerprint(const std::string& name) const {
  return CommandOutput("openssl x509 -noout -fingerprint -sha256 -in " + File(name) +
                       " | cut -d= -f2");
}

TRealFtpServer::~TRealFtpServer() {
  if (Pid > 0) {
    // Session processes (and Pure-FTPd's root helpers) are children of the listener.
    const std::vector<int> tree = ProcessTree(Pid);
    ::kill(Pid, SIGTERM);
    ::waitpid(Pid, nullptr, 0);
    for (size_t i = 1; i < tree.size(); ++i) ::kill(tree[i], SIGKILL);
  }
  // vsftpd's session processes leave the listener's process group: they are found by their
  // command line, which names our own configuration file.
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator(Config.empty() ? "" : "/proc", error)) {
    std::ifstream file(entry.path() / "cmdline");
    const std::string commandLine(std::istreambuf_iterator<char>(file), {});
    if (commandLine.find(Config) != std::string::npos) {
      ::kill(std::atoi(entry.path().filename().c_str()), SIGKILL);
    }
  }
  if (!Dir.empty()) std::filesystem::remove_all(Dir, error);
}

}  // namespace pelmar::test
