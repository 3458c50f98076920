#pragma once
// Blocking TCP socket calls for a worker thread, the stand-in for WinSock 1.1 blocking sockets
// with a blocking hook. Sockets are non-blocking underneath; a call that would block waits in
// poll() on the socket and on the thread queue's wake descriptor. The wait ends with error
// 10004 (WSAEINTR) as soon as an abort message is in the queue (it is consumed and Aborted
// set) or the armed watchdog has run for more than the time-out. Errors are left in
// LastSocketError() as WinSock codes.

#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

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

// Resolves a host: a dotted address is used as it is; a name goes through getaddrinfo (IPv4).
bool ResolveHost(const std::string& host, in_addr& address);

int SocketCreate();
bool SocketConnect(TBlockingContext& ctx, int s, const sockaddr_in& address);
bool SocketBind(int s, const sockaddr_in& address);
bool SocketListen(int s, int backlog);
bool SocketLocalName(int s, sockaddr_in& address);
bool SocketPeerName(int s, sockaddr_in& address);
// Returns the accepted socket, or -1.
int SocketAccept(TBlockingContext& ctx, int s, sockaddr_in* peer);
// Bytes sent (> 0), or -1 on error.
long SocketSend(TBlockingContext& ctx, int s, const char* data, size_t length);
// Bytes received (> 0), 0 when the peer closed, -1 on error.
long SocketRecv(TBlockingContext& ctx, int s, char* buffer, size_t length);

// Graceful close: shut down the sending side, wait briefly for the peer's close (at most the
// time-out, capped at kCloseLingerMs, or until an abort), then close. Sets s to -1.
inline constexpr int kCloseLingerMs = 2000;
void SocketCloseGracefully(TBlockingContext& ctx, int& s);

}  // namespace pelmar
