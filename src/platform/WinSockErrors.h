#pragma once
// The WinSock error vocabulary the engine reports in, and the mapping of POSIX errors onto it.

#include <string>

namespace pelmar {

// The codes the engine names explicitly; every other code travels as a plain int.
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;

// English text for a WinSock error code; "Not a WinSock error [%d]" for anything else.
std::string WinSockErrorText(int code);

// 10000 + the BSD errno number for the errnos that have a WinSock twin; Linux numbers differ
// from BSD ones, so this is a table, not arithmetic. Unknown errnos map to 10000 + errno.
int WinSockCodeFromErrno(int err);

// getaddrinfo() results: EAI_NONAME 11001, EAI_AGAIN 11002, EAI_FAIL 11003, EAI_NODATA 11004.
int WinSockCodeFromGai(int gaiError);

// Per-thread "last socket error", the stand-in for WSAGetLastError/WSASetLastError.
int LastSocketError();
void SetLastSocketError(int code);

}  // namespace pelmar
