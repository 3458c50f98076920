#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

const sockaddr_in& AsV4(const sockaddr_storage& storage) {
  return *reinterpret_cast<const sockaddr_in*>(&storage);
}
const sockaddr_in6& AsV6(const sockaddr_storage& storage) {
  return *reinterpret_cast<const sockaddr_in6*>(&storage);
}
sockaddr_in& AsV4(sockaddr_storage& storage) {
  return *reinterpret_cast<sockaddr_in*>(&storage);
}
sockaddr_in6& AsV6(sockaddr_storage& storage) {
  return *reinterpret_cast<sockaddr_in6*>(&storage);
}

bool WouldBlock(int err) {
  return err == EAGAIN || err == EWOULDBLOCK;
}

// Waits until one of `count` sockets is ready for `events`, with an extra bound of
// `capDeadline` on top of the watchdog (used by the graceful close). The ready socket's index,
// or -1 (10004) when aborted or timed out.
int WaitCapped(TBlockingContext& ctx, const int* sockets, int count, short events,
               int64_t capDeadline) {
  for (;;) {
    if (ctx.TakeAbort()) {
      SetLastSocketError(WSAEINTR);
      return -1;
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
        return -1;
      }
      timeout = static_cast<int>(std::min<int64_t>(remaining, 1 << 30));
    }
    pollfd fds[3] = {{ctx.Queue.WakeDescriptor(), POLLIN, 0}, {-1, events, 0}, {-1, events, 0}};
    for (int i = 0; i < count && i < 2; ++i) fds[i + 1].fd = sockets[i];
    const int ready = ::poll(fds, static_cast<nfds_t>(std::min(count, 2) + 1), timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      FailWithErrno();
      return -1;
    }
    for (int i = 0; i < count && i < 2; ++i) {
      if (fds[i + 1].revents != 0) return i;
    }
    if (fds[0].revents != 0) ctx.Queue.DrainWake();
  }
}

bool WaitCapped(TBlockingContext& ctx, int s, short events, int64_t capDeadline) {
  return WaitCapped(ctx, &s, 1, events, capDeadline) == 0;
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

int WaitForEitherReadable(TBlockingContext& ctx, int first, int second) {
  const int sockets[2] = {first, second};
  return WaitCapped(ctx, sockets, 2, POLLIN, 0);
}

bool WaitForThreadMessage(TBlockingContext& ctx, unsigned message, unsigned quitMessage,
                          TThreadMessage& out) {
  for (;;) {
    if (ctx.TakeAbort() || ctx.Queue.Peek(quitMessage, false)) return false;
    if (auto found = ctx.Queue.Peek(message, true)) {
      out = std::move(*found);
      return true;
    }
    pollfd wake{ctx.Queue.WakeDescriptor(), POLLIN, 0};
    if (::poll(&wake, 1, -1) > 0) ctx.Queue.DrainWake();
  }
}

uint16_t TNetAddress::Port() const {
  if (IsV6()) return ntohs(AsV6(Storage).sin6_port);
  return Family() == AF_INET ? ntohs(AsV4(Storage).sin_port) : 0;
}

void TNetAddress::SetPort(uint16_t port) {
  if (IsV6()) {
    AsV6(Storage).sin6_port = htons(port);
  } else if (Family() == AF_INET) {
    AsV4(Storage).sin_port = htons(port);
  }
}

uint32_t TNetAddress::V4() const {
  if (Family() == AF_INET) return ntohl(AsV4(Storage).sin_addr.s_addr);
  if (IsV6() && IN6_IS_ADDR_V4MAPPED(&AsV6(Storage).sin6_addr)) {
    const uint8_t* b = AsV6(Storage).sin6_addr.s6_addr;
    return uint32_t{b[12]} << 24 | uint32_t{b[13]} << 16 | uint32_t{b[14]} << 8 | b[15];
  }
  return 0;
}

std::string TNetAddress::HostText() const {
  char text[INET6_ADDRSTRLEN] = "";
  if (IsV6() && !IN6_IS_ADDR_V4MAPPED(&AsV6(Storage).sin6_addr)) {
    inet_ntop(AF_INET6, &AsV6(Storage).sin6_addr, text, sizeof text);
  } else {
    in_addr v4{};
    v4.s_addr = htonl(V4());
    inet_ntop(AF_INET, &v4, text, sizeof text);
  }
  return text;
}

bool TNetAddress::SameHost(const TNetAddress& other) const {
  if (IsV6() && other.IsV6() && !IN6_IS_ADDR_V4MAPPED(&AsV6(Storage).sin6_addr)) {
    return IN6_ARE_ADDR_EQUAL(&AsV6(Storage).sin6_addr, &AsV6(other.Storage).sin6_addr);
  }
  const uint32_t mine = V4();
  return mine != 0 && mine == other.V4();
}

TNetAddress TNetAddress::FromV4(uint32_t hostOrder, uint16_t port) {
  TNetAddress address;
  sockaddr_in& v4 = AsV4(address.Storage);
  v4.sin_family = AF_INET;
  v4.sin_addr.s_addr = htonl(hostOrder);
  v4.sin_port = htons(port);
  address.Length = sizeof v4;
  return address;
}

TNetAddress TNetAddress::Any(int family) {
  TNetAddress address;
  if (family == AF_INET6) {
    sockaddr_in6& v6 = AsV6(address.Storage);
    v6.sin6_family = AF_INET6;
    v6.sin6_addr = in6addr_any;
    address.Length = sizeof v6;
    return address;
  }
  return FromV4(INADDR_ANY, 0);
}

bool ResolveHost(const std::string& hostText, std::vector<TNetAddress>& addresses) {
  addresses.clear();
  // A literal IPv6 address may come in the brackets of an address ("[::1]").
  const bool bracketed = hostText.size() > 2 && hostText.front() == '[' && hostText.back() == ']';
  const std::string host = bracketed ? hostText.substr(1, hostText.size() - 2) : hostText;
  TNetAddress literal;
  if (inet_pton(AF_INET, host.c_str(), &AsV4(literal.Storage).sin_addr) == 1) {
    literal.Storage.ss_family = AF_INET;
    literal.Length = sizeof(sockaddr_in);
    addresses.push_back(literal);
    return true;
  }
  if (inet_pton(AF_INET6, host.c_str(), &AsV6(literal.Storage).sin6_addr) == 1) {
    literal.Storage.ss_family = AF_INET6;
    literal.Length = sizeof(sockaddr_in6);
    addresses.push_back(literal);
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0 || found == nullptr) {
    SetLastSocketError(rc != 0 ? WinSockCodeFromGai(rc) : WSAHOST_NOT_FOUND);
    return false;
  }
  for (const addrinfo* at = found; at; at = at->ai_next) {
    if ((at->ai_family != AF_INET && at->ai_family != AF_INET6) ||
        at->ai_addrlen > sizeof(sockaddr_storage)) {
      continue;
    }
    TNetAddress address;
    std::memcpy(&address.Storage, at->ai_addr, at->ai_addrlen);
    address.Length = at->ai_addrlen;
    addresses.push_back(address);
  }
  freeaddrinfo(found);
  if (addresses.empty()) SetLastSocketError(WSAHOST_NOT_FOUND);
  return !addresses.empty();
}

int SocketCreate(int family) {
  const int s = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (s < 0) FailWithErrno();
  return s;
}

bool SocketConnect(TBlockingContext& ctx, int s, const TNetAddress& address) {
  if (NoSocket(s)) return false;
  if (::connect(s, address.Addr(), address.Length) == 0) return true;
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

bool SocketBind(int s, const TNetAddress& address) {
  if (NoSocket(s)) return false;
  if (::bind(s, address.Addr(), address.Length) == 0) return true;
  FailWithErrno();
  return false;
}

void SocketSendAtOnce(int s) {
  if (s < 0) return;
  const int one = 1;
  // Only a lost optimisation when refused, so the result is not checked.
  (void)::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool SocketListen(int s, int backlog) {
  if (NoSocket(s)) return false;
  if (::listen(s, backlog) == 0) return true;
  FailWithErrno();
  return false;
}

bool SocketLocalName(int s, TNetAddress& address) {
  if (NoSocket(s)) return false;
  address.Length = sizeof address.Storage;
  if (::getsockname(s, address.Addr(), &address.Length) == 0) return true;
  FailWithErrno();
  return false;
}

bool SocketPeerName(int s, TNetAddress& address) {
  if (NoSocket(s)) return false;
  address.Length = sizeof address.Storage;
  if (::getpeername(s, address.Addr(), &address.Length) == 0) return true;
  FailWithErrno();
  return false;
}

int SocketAccept(TBlockingContext& ctx, int s, TNetAddress* peer) {
  if (NoSocket(s)) return -1;
  for (;;) {
    TNetAddress from;
    from.Length = sizeof from.Storage;
    const int accepted = ::accept4(s, from.Addr(), &from.Length, SOCK_NONBLOCK | SOCK_CLOEXEC);
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
