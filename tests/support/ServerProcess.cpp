#include "support/ServerProcess.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

extern char** environ;

namespace pelmar::test {

std::vector<int> ProcessTree(int root) {
  std::map<int, std::vector<int>> children;
  DIR* proc = ::opendir("/proc");
  if (!proc) return {root};
  while (dirent* entry = ::readdir(proc)) {
    const int pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
    std::string text;
    std::getline(stat, text);
    const size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(text.substr(close + 1));
    std::string state;
    int parent = 0;
    fields >> state >> parent;
    children[parent].push_back(pid);
  }
  ::closedir(proc);
  std::vector<int> tree{root};
  for (size_t i = 0; i < tree.size(); ++i) {
    for (int child : children[tree[i]]) tree.push_back(child);
  }
  return tree;
}

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

bool Accepts(uint16_t port, bool v6) {
  const int s = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
  bool ok = false;
  if (v6) {
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    a.sin6_port = htons(port);
    ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  } else {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ::close(s);
  return ok;
}

namespace {

// Starts `args` with stdin joined to stderr (vsftpd reports start-up errors on fd 0) and stdout
// into `stdoutFd`, or /dev/null when it is -1; the process's id, or -1.
int SpawnWithStdout(const std::vector<std::string>& args, int stdoutFd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdoutFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, 2, 0);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

}  // namespace

int Spawn(const std::vector<std::string>& args) {
  return SpawnWithStdout(args, -1);
}

int Spawn(const std::vector<std::string>& args, int& out) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  const int pid = SpawnWithStdout(args, pipeFds[1]);
  ::close(pipeFds[1]);
  if (pid < 0) {
    ::close(pipeFds[0]);
    return -1;
  }
  out = pipeFds[0];
  return pid;
}

std::string ReadLine(int fd, int timeoutMs) {
  std::string line;
  pollfd wait{fd, POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char c = 0;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0) return {};
    if (::read(fd, &c, 1) != 1) return {};
    if (c == '\n') return line;
    line += c;
  }
}

std::string CommandOutput(const std::string& command) {
  std::string text;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char chunk[512];
    while (std::fgets(chunk, sizeof chunk, pipe)) text += chunk;
    ::pclose(pipe);
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace pelmar::test
