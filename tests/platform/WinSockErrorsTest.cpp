#include "platform/WinSockErrors.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace pelmar {
namespace {

TEST(WinSockErrorText, KnownCodesAndGapsBetweenThem) {
  const struct {
    int Code;
    const char* Text;
  } cases[] = {
      {10004, "Operation interrupted"},
      {10054, "Connection reset by peer"},
      {10061, "Connection refused"},
      {10093, "WinSock not initialized"},
      {11001, "Host not found"},
      {11004, "No Data"},
      // Codes between the table's entries are not WinSock errors.
      {10005, "Not a WinSock error [10005]"},
      {10072, "Not a WinSock error [10072]"},
      {10094, "Not a WinSock error [10094]"},
      {11000, "Not a WinSock error [11000]"},
      {-1, "Not a WinSock error [-1]"},
  };
  for (const auto& c : cases) EXPECT_EQ(WinSockErrorText(c.Code), c.Text) << c.Code;
}

TEST(WinSockErrorText, EveryMappedErrnoHasAText) {
  // Whatever the system reports, the user sees an English WinSock text, not a number.
  const int errnos[] = {EINTR,       EACCES,       EINVAL,       EMFILE,       EWOULDBLOCK,
                        EINPROGRESS, ENOTSOCK,     EMSGSIZE,     EADDRINUSE,   EADDRNOTAVAIL,
                        ENETDOWN,    ENETUNREACH,  ECONNRESET,   ECONNABORTED, EPIPE,
                        ENOBUFS,     EISCONN,      ENOTCONN,     ETIMEDOUT,    ECONNREFUSED,
                        EHOSTDOWN,   EHOSTUNREACH, ENAMETOOLONG, ESHUTDOWN};
  for (int err : errnos) {
    const std::string text = WinSockErrorText(WinSockCodeFromErrno(err));
    EXPECT_EQ(text.find("Not a WinSock error"), std::string::npos) << err;
  }
  EXPECT_EQ(WinSockCodeFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(WinSockCodeFromErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(WinSockCodeFromErrno(ENOTCONN), 10057);
}

}  // namespace
}  // namespace pelmar
