#include "platform/WinSockErrors.h"

#include <netdb.h>

#include <cerrno>
#include <cstdio>

namespace pelmar {
namespace {

struct TErrorText {
  int Code;
  const char* Text;
};

constexpr TErrorText kErrorTexts[] = {
    {10004, "Operation interrupted"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Protocol not available"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Address not available"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection on reset"},
    {10053, "Connection aborted"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references: can't splice"},
    {10060, "Operation timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network sub-system is unusable"},
    {10092, "WinSock DLL cannot support this application"},
    {10093, "WinSock not initialized"},
    {11001, "Host not found"},
    {11002, "Non-authoritative host not found"},
    {11003, "Non-recoverable error"},
    {11004, "No Data"},
};

// Linux errno -> BSD errno number (the WinSock codes are 10000 + the BSD number).
struct TErrnoMap {
  int Errno;
  int Bsd;
};

constexpr TErrnoMap kErrnoMap[] = {
    {EINTR, 4},
    {EBADF, 9},
    {EACCES, 13},
    {EPERM, 13},
    {EFAULT, 14},
    {EINVAL, 22},
    {EMFILE, 24},
    {ENFILE, 24},
    {EWOULDBLOCK, 35},
    {EINPROGRESS, 36},
    {EALREADY, 37},
    {ENOTSOCK, 38},
    {EDESTADDRREQ, 39},
    {EMSGSIZE, 40},
    {EPROTOTYPE, 41},
    {ENOPROTOOPT, 42},
    {EPROTONOSUPPORT, 43},
    {ESOCKTNOSUPPORT, 44},
    {EOPNOTSUPP, 45},
    {EPFNOSUPPORT, 46},
    {EAFNOSUPPORT, 47},
    {EADDRINUSE, 48},
    {EADDRNOTAVAIL, 49},
    {ENETDOWN, 50},
    {ENETUNREACH, 51},
    {ENETRESET, 52},
    {ECONNABORTED, 53},
    {ECONNRESET, 54},
    {EPIPE, 54},
    {ENOBUFS, 55},
    {ENOMEM, 55},
    {EISCONN, 56},
    {ENOTCONN, 57},
    {ESHUTDOWN, 58},
    {ETOOMANYREFS, 59},
    {ETIMEDOUT, 60},
    {ECONNREFUSED, 61},
    {ELOOP, 62},
    {ENAMETOOLONG, 63},
    {EHOSTDOWN, 64},
    {EHOSTUNREACH, 65},
    {ENOTEMPTY, 66},
    {EUSERS, 68},
    {EDQUOT, 69},
    {ESTALE, 70},
    {EREMOTE, 71},
};

thread_local int tLastSocketError = 0;

}  // namespace

std::string WinSockErrorText(int code) {
  for (const auto& entry : kErrorTexts) {
    if (entry.Code == code) return entry.Text;
  }
  char text[64];
  std::snprintf(text, sizeof text, "Not a WinSock error [%d]", code);
  return text;
}

int WinSockCodeFromErrno(int err) {
  for (const auto& entry : kErrnoMap) {
    if (entry.Errno == err) return 10000 + entry.Bsd;
  }
  return 10000 + err;
}

int WinSockCodeFromGai(int gaiError) {
  switch (gaiError) {
    case EAI_NONAME:
      return WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
      return WSATRY_AGAIN;
    case EAI_FAIL:
      return WSANO_RECOVERY;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return WSANO_DATA;
#endif
    case EAI_SYSTEM:
      return WinSockCodeFromErrno(errno);
    default:
      return WSAHOST_NOT_FOUND;
  }
}

int LastSocketError() {
  return tLastSocketError;
}
void SetLastSocketError(int code) {
  tLastSocketError = code;
}

}  // namespace pelmar
