#include "support/ScriptedFtpServer.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace pelmar::test {
namespace {

constexpr int kDataConnectTimeoutMs = 5000;

sockaddr* AsAddr(sockaddr_in& a) {
  return reinterpret_cast<sockaddr*>(&a);
}

void SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

}  // namespace

TScriptedFtpServer::TScriptedFtpServer(std::vector<TScript> scripts, bool concurrently)
    : Scripts(std::move(scripts)), Concurrent(concurrently) {
  ListenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof address;
  if (ListenFd < 0 || ::bind(ListenFd, AsAddr(address), sizeof address) != 0 ||
      ::listen(ListenFd, 8) != 0 || ::getsockname(ListenFd, AsAddr(address), &len) != 0) {
    throw std::runtime_error("scripted server: cannot listen");
  }
  ListenPort = ntohs(address.sin_port);
  StopFd = eventfd(0, EFD_CLOEXEC);
  GateFd = eventfd(0, EFD_CLOEXEC);
  Thread = std::thread([this] { Run(); });
}

TScriptedFtpServer::~TScriptedFtpServer() {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(StopFd, &one, sizeof one);
  Thread.join();
  ::close(ListenFd);
  ::close(StopFd);
  ::close(GateFd);
}

void TScriptedFtpServer::Run() {
  for (size_t index = 0;; ++index) {
    pollfd fds[2] = {{ListenFd, POLLIN, 0}, {StopFd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 || fds[1].revents) break;
    const int fd = ::accept4(ListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    {
      std::lock_guard lock(Mutex);
      ConnectionCount++;
      Changed.notify_all();
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto play = [this, fd, index] {
      if (index < Scripts.size()) Play(fd, Scripts[index]);
      ::close(fd);
      if (index < Scripts.size()) {
        std::lock_guard lock(Mutex);
        Done = ++Finished == Scripts.size();
        Changed.notify_all();
      }
    };
    if (Concurrent) {
      Players.emplace_back(play);
    } else {
      play();
    }
  }
  for (auto& player : Players) player.join();
}

bool TScriptedFtpServer::ReadLine(int fd, std::string& buffer, std::string& line) {
  for (;;) {
    const size_t end = buffer.find("\r\n");
    if (end != std::string::npos) {
      line = buffer.substr(0, end);
      buffer.erase(0, end + 2);
      return true;
    }
    pollfd fds[2] = {{fd, POLLIN, 0}, {StopFd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 || fds[1].revents) return false;
    char chunk[4096];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(n));
  }
}

void TScriptedFtpServer::Record(const std::string& command, std::string& lastPort) {
  std::lock_guard lock(Mutex);
  Received.push_back(command);
  if (command.rfind("PORT ", 0) == 0) lastPort = command.substr(5);
  Changed.notify_all();
}

int TScriptedFtpServer::ConnectBack(const std::string& sourceAddress, const std::string& port) {
  unsigned a[6] = {};
  if (std::sscanf(port.c_str(), "%u,%u,%u,%u,%u,%u", &a[0], &a[1], &a[2], &a[3], &a[4], &a[5]) !=
      6) {
    return -1;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (!sourceAddress.empty()) {
    sockaddr_in source{};
    source.sin_family = AF_INET;
    inet_pton(AF_INET, sourceAddress.c_str(), &source.sin_addr);
    ::bind(fd, AsAddr(source), sizeof source);
  }
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_addr.s_addr = htonl((a[0] << 24) | (a[1] << 16) | (a[2] << 8) | a[3]);
  target.sin_port = htons(static_cast<uint16_t>(a[4] * 256 + a[5]));
  timeval timeout{kDataConnectTimeoutMs / 1000, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  if (::connect(fd, AsAddr(target), sizeof target) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void TScriptedFtpServer::Play(int fd, const TScript& script) {
  std::string buffer;
  std::string line;
  std::string lastPort;  // arguments of this connection's latest PORT command
  // What the script opened besides the control connection, closed at its end.
  struct TFd {
    int Fd = -1;
    ~TFd() {
      if (Fd >= 0) ::close(Fd);
    }
  } held, passive, fillers[3];
  // A data connection: accepted on the passive port when there is one, else made to the
  // address of the last PORT.
  auto openData = [&](const std::string& source) {
    if (passive.Fd < 0) return ConnectBack(source, lastPort);
    pollfd ready{passive.Fd, POLLIN, 0};
    const int data = ::poll(&ready, 1, kDataConnectTimeoutMs) > 0
                         ? ::accept4(passive.Fd, nullptr, nullptr, SOCK_CLOEXEC)
                         : -1;
    ::close(passive.Fd);
    passive.Fd = -1;
    return data;
  };
  for (const auto& step : script.Steps) {
    switch (step.Kind) {
      case TScriptStep::TKind::Send:
        SendAll(fd, step.Text);
        break;
      case TScriptStep::TKind::Pause: {
        pollfd stop{StopFd, POLLIN, 0};
        if (::poll(&stop, 1, step.Millis) > 0) return;
        break;
      }
      case TScriptStep::TKind::Read:
        if (!ReadLine(fd, buffer, line)) return;
        Record(line, lastPort);
        break;
      case TScriptStep::TKind::Close:
        return;
      case TScriptStep::TKind::SendData:
      case TScriptStep::TKind::DataFrom: {
        const bool foreign = step.Kind == TScriptStep::TKind::DataFrom;
        const int data = openData(foreign ? step.Text : "");
        if (data >= 0) {
          SendAll(data, foreign ? std::string("x") : step.Text);
          ::close(data);
        }
        break;
      }
      case TScriptStep::TKind::ReceiveData: {
        const int data = openData("");
        if (data < 0) break;
        char chunk[65536];
        for (;;) {
          const ssize_t n = ::recv(data, chunk, sizeof chunk, 0);
          if (n <= 0) break;
          std::lock_guard lock(Mutex);
          UploadedBytes.append(chunk, static_cast<size_t>(n));
        }
        ::close(data);
        break;
      }
      case TScriptStep::TKind::Gate: {
        pollfd fds[2] = {{GateFd, POLLIN, 0}, {StopFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 || fds[1].revents) return;
        break;
      }
      case TScriptStep::TKind::DataHold:
        held.Fd = openData("");
        if (held.Fd >= 0) SendAll(held.Fd, step.Text);
        break;
      case TScriptStep::TKind::DataMore:
        if (held.Fd >= 0) SendAll(held.Fd, step.Text);
        break;
      case TScriptStep::TKind::CloseData:
        if (held.Fd >= 0) ::close(held.Fd);
        held.Fd = -1;
        break;
      case TScriptStep::TKind::ResetData:
        if (held.Fd >= 0) {
          const linger abort{1, 0};  // closing then sends RST
          ::setsockopt(held.Fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
          ::close(held.Fd);
        }
        held.Fd = -1;
        break;
      case TScriptStep::TKind::WaitClose:
        while (ReadLine(fd, buffer, line)) Record(line, lastPort);
        return;
      case TScriptStep::TKind::Passive:
      case TScriptStep::TKind::PassiveFull: {
        if (passive.Fd >= 0) ::close(passive.Fd);
        passive.Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof address;
        ::bind(passive.Fd, AsAddr(address), sizeof address);
        const bool full = step.Kind == TScriptStep::TKind::PassiveFull;
        ::listen(passive.Fd, full ? 0 : 1);
        ::getsockname(passive.Fd, AsAddr(address), &len);
        if (full) {
          // Connections nobody accepts fill the queue; a further handshake is dropped.
          for (TFd& filler : fillers) {
            filler.Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            ::connect(filler.Fd, AsAddr(address), sizeof address);
          }
          pollfd settle{StopFd, POLLIN, 0};
          ::poll(&settle, 1, 100);
        }
        const unsigned port = ntohs(address.sin_port);
        std::string reply = step.Text;
        auto put = [&reply](const std::string& name, unsigned value) {
          for (size_t at; (at = reply.find(name)) != std::string::npos;) {
            reply.replace(at, name.size(), std::to_string(value));
          }
        };
        put("{port}", port);
        put("{p1}", port / 256);
        put("{p2}", port % 256);
        SendAll(fd, reply + "\r\n");
        break;
      }
    }
  }
  // After the script: record whatever else arrives until the client closes or the test ends.
  while (ReadLine(fd, buffer, line)) Record(line, lastPort);
}

std::vector<std::string> TScriptedFtpServer::Commands() const {
  std::lock_guard lock(Mutex);
  return Received;
}

bool TScriptedFtpServer::WaitForCommands(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(Mutex);
  return Changed.wait_for(lock, timeout, [&] { return Received.size() >= count; });
}

bool TScriptedFtpServer::WaitDone(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(Mutex);
  return Changed.wait_for(lock, timeout, [&] { return Done; });
}

bool TScriptedFtpServer::WaitForConnections(int count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(Mutex);
  return Changed.wait_for(lock, timeout, [&] { return ConnectionCount.load() >= count; });
}

void TScriptedFtpServer::OpenGate() {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(GateFd, &one, sizeof one);
}

std::string TScriptedFtpServer::Uploaded() const {
  std::lock_guard lock(Mutex);
  return UploadedBytes;
}

}  // namespace pelmar::test
