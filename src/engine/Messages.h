#pragma once
// Message numbers, request kinds and event codes shared by the engine's two sides.

#include <cstdint>

namespace pelmar {

inline constexpr unsigned WM_QUIT = 18;
inline constexpr unsigned WM_USER = 1024;
inline constexpr unsigned WM_FTPREQUEST = WM_USER + 10;
inline constexpr unsigned WM_FTPABORT = WM_USER + 11;
inline constexpr unsigned WM_FTPCANCEL = WM_USER + 12;
inline constexpr unsigned WM_FTPEVENT = WM_USER + 13;
// The person's answer about a server certificate; WParam is a TTrustDecision.
inline constexpr unsigned WM_FTPTRUST = WM_USER + 14;
// The answer to a passphrase question: WParam 1 with the passphrase as the only argument, 0 for
// none.
inline constexpr unsigned WM_FTPSECRET = WM_USER + 15;

// Error codes of a resumed download that the engine refused or found wrong (other error
// codes are WinSock codes, or 0).
// The local file is larger than the server's: it is another file, and it was left alone.
inline constexpr int kErrorLocalFileLarger = 20001;
// The resumed file did not come out at the server's size (typically a server that accepted
// REST and sent the whole file anyway); the local file was cut back to where it was.
inline constexpr int kErrorResumeMismatch = 20002;
// The checksum the server gave for its copy is not that of the local file.
inline constexpr int kErrorChecksumMismatch = 20003;
// A download came to fewer bytes than the server said the file has, although the server
// confirmed it; the message gives both numbers and what was kept.
inline constexpr int kErrorShortTransfer = 20004;
// A download that was to make a new file found something at its name (a file or a link put
// there since the transfer was decided); it was left alone.
inline constexpr int kErrorDestinationTaken = 20005;
// A resumed upload's server copy is larger than the local file: it is another file.
inline constexpr int kErrorServerFileLarger = 20006;

enum TRequestKind : uint8_t {
  rqConnectViaFirewall = 1,
  rqConnect = 2,
  rqQuit = 3,
  rqGetFolder = 4,
  rqChangeFolder = 5,
  rqList = 6,
  rqDownload = 7,
  rqUpload = 8,
  rqResumeDownload = 9,
  rqResumeUpload = 10,
  rqDelete = 11,
  rqRename = 12,
  rqMakeFolder = 13,
  rqRemoveFolder = 14,
  rqKeepAlive = 15,
  rqType = 16,
  rqChangeMode = 17,
  rqFileTime = 18,
  rqChecksum = 19,
  // Sends nothing: answered with evMarker once every request before it has been served.
  rqMarker = 20,
};

enum TEventCode : int {
  evAborted = 1044,
  evConnectFailed = 1045,
  evConnected = 1046,
  evDisconnected = 1047,
  evError = 1048,
  evFolder = 1049,
  evLog = 1050,
  evLoggedIn = 1051,
  evProgress = 1052,
  evListing = 1053,
  evFileSize = 1054,
  // A server certificate failed verification; the worker waits for AnswerCertificate().
  evCertificate = 1055,
  evFileTime = 1056,
  evChecksum = 1057,
  // An SSH private key is protected by a passphrase; the worker waits for the answer.
  evPassphrase = 1058,
  // The answer to rqMarker.
  evMarker = 1059,
};

// How a connection is protected; the numbers are stored in the site file.
enum TEncryption : uint8_t {
  enPlain = 0,
  enExplicitTls = 1,        // AUTH TLS; nothing more is sent when the server refuses it
  enExplicitIfOffered = 2,  // AUTH TLS; plain FTP when the server refuses it
  enImplicitTls = 3,        // TLS from the first byte (port 990 by custom)
};

// The protocol of a connection; the numbers are stored in the site file and the kept queue.
enum TProtocol : uint8_t {
  prFtp = 0,   // FTP, protected as TEncryption says
  prSftp = 1,  // the SSH file transfer protocol
};

enum TTrustDecision : uint8_t {
  tdRefuse = 0,
  tdTrustOnce = 1,
  tdTrustAlways = 2,
};

// Folder event kinds.
inline constexpr uint8_t fkCurrent = 0;
inline constexpr uint8_t fkChanged = 1;
inline constexpr uint8_t fkCreated = 2;
inline constexpr uint8_t fkRemoved = 3;

// Progress event kinds.
inline constexpr uint8_t pkStart = 0;
inline constexpr uint8_t pkProgress = 1;
inline constexpr uint8_t pkDone = 2;

// Transfer type letters by mode number: ASCII, image, EBCDIC, local.
inline constexpr char TypeChars[] = "AIEL";

}  // namespace pelmar
