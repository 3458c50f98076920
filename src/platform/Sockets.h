#pragma once
// Blocking TCP socket calls for a worker thread, the stand-in for WinSock 1.1 blocking sockets
// with a blocking hook. Sockets are non-blocking underneath; a call that would block waits in
// poll() on the socket and on the thread queue's wake descriptor. The wait ends with error
// 10004 (WSAEINTR) as soon as an abort message is in the queue (it is consumed and Aborted
// set) or the armed watchdog has run for more than the time-out. Errors are left in
// LastSocketError() as WinSock codes.

#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ThreadQueue.h"

namespace pelmar {

struct TAbortState {
  uint8_t Aborted = 0;        // 1 once an abort message was consumed; the worker resets it
  int64_t WatchdogStart = 0;  // tick at which the current blocking step began; 0 = disarmed
};

// What a blocking call needs to know about its thread: where abort messages arrive, which
// message number means "abort", and the watchdog with its time-out.
struct TBlockingContext {
  TThreadQueue& Queue;
  unsigned AbortMessage;
  TAbortState& State;
  const std::atomic<int>& TimeoutMs;

  void ArmWatchdog();
  void DisarmWatchdog() { State.WatchdogStart = 0; }
  bool WatchdogExpired() const;
  // Removes a waiting abort message, if any; sets Aborted and returns true when one was there.
  bool TakeAbort();
};

// Waits until the socket is ready for `events` (POLLIN/POLLOUT). False with 10004 when the
// wait was aborted or timed out.
bool WaitForSocket(TBlockingContext& ctx, int s, short events);
// Waits until `first` or `second` has something to read (or its peer closed): 0 or 1 for which
// (the first when both), -1 (10004) when aborted or timed out.
int WaitForEitherReadable(TBlockingContext& ctx, int first, int second);

// Waits, with no watchdog (a person may be deciding), until `message` is in the queue; takes
// it into `out`. False when an abort message arrives or `quitMessage` is waiting.
bool WaitForThreadMessage(TBlockingContext& ctx, unsigned message, unsigned quitMessage,
                          TThreadMessage& out);

// An IPv4 or IPv6 socket address.
struct TNetAddress {
  sockaddr_storage Storage{};
  socklen_t Length = 0;

  int Family() const { return Storage.ss_family; }
  bool IsV6() const { return Family() == AF_INET6; }
  uint16_t Port() const;
  void SetPort(uint16_t port);
  // "127.0.0.1", "::1"; an IPv4-mapped IPv6 address is shown as its IPv4 address.
  std::string HostText() const;
  // The same host, whatever the ports (an IPv4 address and its IPv4-mapped form are one).
  bool SameHost(const TNetAddress& other) const;
  // The IPv4 address in host byte order, for PORT; 0 when there is none.
  uint32_t V4() const;
  static TNetAddress FromV4(uint32_t hostOrder, uint16_t port);
  // The wildcard address of a family, port 0.
  static TNetAddress Any(int family);
  const sockaddr* Addr() const { return reinterpret_cast<const sockaddr*>(&Storage); }
  sockaddr* Addr() { return reinterpret_cast<sockaddr*>(&Storage); }
};

// Every address of a host, in the resolver's order. A literal IPv4 or IPv6 address (without
// brackets) is used as it is and never looked up.
bool ResolveHost(const std::string& host, std::vector<TNetAddress>& addresses);

int SocketCreate(int family = AF_INET);
bool SocketConnect(TBlockingContext& ctx, int s, const TNetAddress& address);
bool SocketBind(int s, const TNetAddress& address);
bool SocketListen(int s, int backlog);
// Each write goes out at once, not held back until the peer acknowledges the one before
// (Nagle). For a control connection, where a command sent behind another would otherwise
// wait a round trip, or the peer's delayed acknowledgement, before it leaves.
void SocketSendAtOnce(int s);
bool SocketLocalName(int s, TNetAddress& address);
bool SocketPeerName(int s, TNetAddress& address);
// Returns the accepted socket, or -1.
int SocketAccept(TBlockingContext& ctx, int s, TNetAddress* peer);
// Bytes sent (> 0), or -1 on error.
long SocketSend(TBlockingContext& ctx, int s, const char* data, size_t length);
// Bytes received (> 0), 0 when the peer closed, -1 on error.
long SocketRecv(TBlockingContext& ctx, int s, char* buffer, size_t length);

// Graceful close: shut down the sending side, wait briefly for the peer's close (at most the
// time-out, capped at kCloseLingerMs, or until an abort), then close. Sets s to -1.
inline constexpr int kCloseLingerMs = 2000;
void SocketCloseGracefully(TBlockingContext& ctx, int& s);

}  // namespace pelmar
