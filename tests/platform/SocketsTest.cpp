#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/Tick.h"
#include "platform/WinSockErrors.h"
#include "support/ServerProcess.h"

namespace pelmar {
namespace {

constexpr unsigned kAbort = 1035;
constexpr unsigned kOther = 1034;

// A connected pair of TCP sockets on loopback: Client (non-blocking, ours) and Peer.
struct TLoopbackPair {
  int Client = -1;
  int Peer = -1;
  TLoopbackPair() {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    Client = SocketCreate();
    ::connect(Client, reinterpret_cast<sockaddr*>(&a), sizeof a);
    Peer = ::accept(listener, nullptr, nullptr);
    ::close(listener);
  }
  ~TLoopbackPair() {
    if (Client >= 0) ::close(Client);
    if (Peer >= 0) ::close(Peer);
  }
};

class SocketsTest : public ::testing::Test {
 protected:
  TThreadQueue Queue;
  TAbortState State;
  std::atomic<int> TimeoutMs{60000};
  TBlockingContext Ctx{Queue, kAbort, State, TimeoutMs};
};

// A recv with nothing to read ends at once on an abort posted from another thread, else at the
// time-out; other messages wake the wait without ending it, and stay queued for the worker.
TEST_F(SocketsTest, ABlockedRecvEndsOnAnAbortOrAtTheTimeOut) {
  const struct {
    const char* Name;
    std::vector<unsigned> Posted;
    int TimeoutMs;
  } cases[] = {{"an abort", {kAbort}, 60000},
               {"other messages", {kOther, kOther}, 200},
               {"silence", {}, 150}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TLoopbackPair pair;
    TThreadQueue queue;
    TAbortState state;
    const std::atomic<int> timeout{c.TimeoutMs};
    TBlockingContext ctx{queue, kAbort, state, timeout};
    const bool abort = !c.Posted.empty() && c.Posted[0] == kAbort;
    const int64_t start = GetTickCount();
    ctx.ArmWatchdog();
    std::thread poster([&] {
      for (const unsigned message : c.Posted) queue.Post({message, 0, {}});
    });
    char buffer[16];
    EXPECT_EQ(SocketRecv(ctx, pair.Client, buffer, sizeof buffer), -1);
    poster.join();
    EXPECT_EQ(LastSocketError(), WSAEINTR);
    EXPECT_EQ(state.Aborted, abort ? 1 : 0) << "a time-out is not an abort";
    EXPECT_EQ(GetTickCount() - start < c.TimeoutMs, abort);
    EXPECT_FALSE(queue.Peek(kAbort, false)) << "the abort message is consumed";
    EXPECT_EQ(queue.Peek(kOther, false).has_value(), c.Posted.size() == 2);
  }
}

// A peer's close reads as 0. Closing clears the handle, keeps the error a caller is about to
// report, does not wait long for a silent peer; no socket at all is refused.
TEST_F(SocketsTest, PeerCloseAndClosing) {
  TLoopbackPair closed;
  ::close(closed.Peer);
  closed.Peer = -1;
  char buffer[16];
  EXPECT_EQ(SocketRecv(Ctx, closed.Client, buffer, sizeof buffer), 0);
  SetLastSocketError(10054);
  SocketCloseGracefully(Ctx, closed.Client);
  EXPECT_EQ(closed.Client, -1);
  EXPECT_EQ(LastSocketError(), 10054);
  TLoopbackPair silent;  // the peer never closes
  const int64_t start = GetTickCount();
  SocketCloseGracefully(Ctx, silent.Client);
  EXPECT_EQ(silent.Client, -1);
  EXPECT_LT(GetTickCount() - start, kCloseLingerMs + 1000);
  EXPECT_EQ(SocketRecv(Ctx, -1, buffer, sizeof buffer), -1);
  EXPECT_EQ(LastSocketError(), WSAENOTSOCK);
  EXPECT_EQ(SocketAccept(Ctx, -1, nullptr), -1);
  EXPECT_EQ(LastSocketError(), WSAENOTSOCK);
}

TEST_F(SocketsTest, ConnectToAClosedPortIsRefused) {
  const int s = SocketCreate();
  Ctx.ArmWatchdog();
  EXPECT_FALSE(SocketConnect(Ctx, s, TNetAddress::FromV4(INADDR_LOOPBACK, test::FreePort())));
  EXPECT_EQ(LastSocketError(), WSAECONNREFUSED);
  ::close(s);
}

TEST(ResolveHost, LiteralsAreNeverLookedUpAndUnknownNamesAreNotFound) {
  std::vector<TNetAddress> found;
  const struct {
    const char* Host;
    int Family;
    const char* Text;
  } literals[] = {{"10.1.2.3", AF_INET, "10.1.2.3"},
                  {"::1", AF_INET6, "::1"},
                  {"2001:db8::7", AF_INET6, "2001:db8::7"},
                  {"::ffff:192.0.2.1", AF_INET6, "192.0.2.1"}};
  for (const auto& c : literals) {
    ASSERT_TRUE(ResolveHost(c.Host, found)) << c.Host;
    ASSERT_EQ(found.size(), 1u) << c.Host;
    EXPECT_EQ(found[0].Family(), c.Family) << c.Host;
    EXPECT_EQ(found[0].HostText(), c.Text) << c.Host;
  }
  ASSERT_TRUE(ResolveHost("localhost", found));
  EXPECT_TRUE(found[0].HostText() == "127.0.0.1" || found[0].HostText() == "::1");
  EXPECT_FALSE(ResolveHost("no-such-host.invalid", found));
  EXPECT_GE(LastSocketError(), 11001);
  EXPECT_LE(LastSocketError(), 11004);
  // An IPv4 address and its IPv4-mapped IPv6 form are one host (a dual-stack listener).
  ResolveHost("::ffff:127.0.0.1", found);
  EXPECT_TRUE(found[0].SameHost(TNetAddress::FromV4(INADDR_LOOPBACK, 21)));
  ResolveHost("::1", found);
  EXPECT_FALSE(found[0].SameHost(TNetAddress::FromV4(INADDR_LOOPBACK, 21)));
}

}  // namespace
}  // namespace pelmar
