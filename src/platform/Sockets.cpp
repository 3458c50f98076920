#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/Tick.h"
#include "platform/WinSockErrors.h"

namespace pelmar {
namespace {

void FailWithErrno() {
  SetLastSocketError(WinSockCodeFromErrno(errno));
}

bool NoSocket(int s) {
  if (s >= 0) return false;
  SetLastSocketError(WSAENOTSOCK);
  return true;
}

const sockaddr* AsAddr(const sockaddr_in& a) {
  return reinterpret_cast<const sockaddr*>(&a);
}
sockaddr* AsAddr(sockaddr_in& a) {
  return reinterpret_cast<sockaddr*>(&a);
}

bool WouldBlock(int err) {
  return err == EAGAIN || err == EWOULDBLOCK;
}

// Waits with an extra bound of `capMs` on top of the watchdog (used by the graceful close).
bool WaitCapped(TBlockingContext& ctx, int s, short events, int64_t capDeadline) {
  for (;;) {
    if (ctx.TakeAbort()) {
      SetLastSocketError(WSAEINTR);
      return false;
    }
    int64_t deadline = capDeadline;
    if (ctx.State.WatchdogStart >= 1) {
      // The step has timed out once strictly more than the time-out has passed.
      const int64_t watchdogEnd = ctx.State.WatchdogStart + ctx.TimeoutMs.load() + 1;
      deadline = deadline > 0 ? std::min(deadline, watchdogEnd) : watchdogEnd;
    }
    int timeout = -1;
    if (deadline > 0) {
      const int64_t remaining = deadline - GetTickCount();
      if (remaining <= 0) {
        SetLastSocketError(WSAEINTR);
        return false;
      }
      timeout = static_cast<int>(std::min<int64_t>(remaining, 1 << 30));
    }
    pollfd fds[2] = {{s, events, 0}, {ctx.Queue.WakeDescriptor(), POLLIN, 0}};
    const int ready = ::poll(fds, 2, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      FailWithErrno();
      return false;
    }
    if (fds[0].revents != 0) return true;
    if (fds[1].revents != 0) ctx.Queue.DrainWake();
  }
}

}  // namespace

void TBlockingContext::ArmWatchdog() {
  State.WatchdogStart = GetTickCount();
}

bool TBlockingContext::WatchdogExpired() const {
  return State.WatchdogStart >= 1 && GetTickCount() - State.WatchdogStart > TimeoutMs.load();
}

bool TBlockingContext::TakeAbort() {
  if (!Queue.Peek(AbortMessage, true)) return false;
  State.Aborted = 1;
  return true;
}

bool WaitForSocket(TBlockingContext& ctx, int s, short events) {
  return WaitCapped(ctx, s, events, 0);
}

bool ResolveHost(const std::string& host, in_addr& address) {
  if (inet_pton(AF_INET, host.c_str(), &address) == 1) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0 || found == nullptr) {
    SetLastSocketError(rc != 0 ? WinSockCodeFromGai(rc) : WSAHOST_NOT_FOUND);
    return false;
  }
  address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

int SocketCreate() {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (s < 0) FailWithErrno();
  return s;
}

bool SocketConnect(TBlockingContext& ctx, int s, const sockaddr_in& address) {
  if (NoSocket(s)) return false;
  if (::connect(s, AsAddr(address), sizeof address) == 0) return true;
  if (errno != EINPROGRESS) {
    FailWithErrno();
    return false;
  }
  if (!WaitForSocket(ctx, s, POLLOUT)) return false;
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0) {
    FailWithErrno();
    return false;
  }
  if (err != 0) {
    SetLastSocketError(WinSockCodeFromErrno(err));
    return false;
  }
  return true;
}

bool SocketBind(int s, const sockaddr_in& address) {
  if (NoSocket(s)) return false;
  if (::bind(s, AsAddr(address), sizeof address) == 0) return true;
  FailWithErrno();
  return false;
}

bool SocketListen(int s, int backlog) {
  if (NoSocket(s)) return false;
  if (::listen(s, backlog) == 0) return true;
  FailWithErrno();
  return false;
}

bool SocketLocalName(int s, sockaddr_in& address) {
  if (NoSocket(s)) return false;
  socklen_t len = sizeof address;
  if (::getsockname(s, AsAddr(address), &len) == 0) return true;
  FailWithErrno();
  return false;
}

bool SocketPeerName(int s, sockaddr_in& address) {
  if (NoSocket(s)) return false;
  socklen_t len = sizeof address;
  if (::getpeername(s, AsAddr(address), &len) == 0) return true;
  FailWithErrno();
  return false;
}

int SocketAccept(TBlockingContext& ctx, int s, sockaddr_in* peer) {
  if (NoSocket(s)) return -1;
  for (;;) {
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const int accepted = ::accept4(s, AsAddr(from), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (accepted >= 0) {
      if (peer) *peer = from;
      return accepted;
    }
    if (errno == EINTR || errno == ECONNABORTED) continue;
    if (!WouldBlock(errno)) {
      FailWithErrno();
      return -1;
    }
    if (!WaitForSocket(ctx, s, POLLIN)) return -1;
  }
}

long SocketSend(TBlockingContext& ctx, int s, const char* data, size_t length) {
  if (NoSocket(s)) return -1;
  for (;;) {
    const ssize_t n = ::send(s, data, length, MSG_NOSIGNAL);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (!WouldBlock(errno)) {
      FailWithErrno();
      return -1;
    }
    if (!WaitForSocket(ctx, s, POLLOUT)) return -1;
  }
}

long SocketRecv(TBlockingContext& ctx, int s, char* buffer, size_t length) {
  if (NoSocket(s)) return -1;
  for (;;) {
    const ssize_t n = ::recv(s, buffer, length, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (!WouldBlock(errno)) {
      FailWithErrno();
      return -1;
    }
    if (!WaitForSocket(ctx, s, POLLIN)) return -1;
  }
}

void SocketCloseGracefully(TBlockingContext& ctx, int& s) {
  if (s < 0) return;
  const int lastError = LastSocketError();  // a close never changes what a caller reports
  if (::shutdown(s, SHUT_WR) == 0 || errno != ENOTCONN) {
    // Give the peer a moment to close its side; a silent peer must not hold the worker.
    const int64_t cap = GetTickCount() + std::min(ctx.TimeoutMs.load(), kCloseLingerMs) + 1;
    char discard[256];
    for (;;) {
      const ssize_t n = ::recv(s, discard, sizeof discard, 0);
      if (n >= 0 || (errno != EINTR && !WouldBlock(errno))) break;
      if (errno == EINTR) continue;
      if (!WaitCapped(ctx, s, POLLIN, cap)) break;
    }
  }
  ::close(s);
  s = -1;
  SetLastSocketError(lastError);
}

}  // namespace pelmar
