#pragma once
// The records that travel with engine events from the worker to the user-interface thread.
// The worker creates one per event and never touches it after posting.

#include <cstdint>
#include <string>

#include "platform/TlsChannel.h"

namespace pelmar {

struct TEventRecord {
  virtual ~TEventRecord() = default;
};

struct TErrorData : TEventRecord {
  int Code = 0;  // a WinSock code, or 0
  std::string Text;
};

struct TFolderEventData : TEventRecord {
  std::string Path;
  uint8_t Kind = 0;
};

struct TLogData : TEventRecord {
  std::string Text;
};

struct TProgressData : TEventRecord {
  uint8_t Kind = 0;
  uint8_t IsFile = 0;
  int64_t Count = 0;
  // For pkDone: 1 when the server confirmed the transfer; 0 when it failed, and an error
  // event follows.
  uint8_t Completed = 1;
  // For pkDone of a download: the file's time on the server (MDTM, seconds since the epoch,
  // UTC); -1 when the server gave none.
  int64_t ServerTime = -1;
};

struct TUpdateFileSizeEventData : TEventRecord {
  std::string FileName;
  int64_t Size = 0;
};

// A file's time on the server (MDTM), UTC seconds; -1 when the server gives none.
struct TFileTimeEventData : TEventRecord {
  std::string FileName;
  int64_t Time = -1;
};

// A file's checksum as the server computes it (AskChecksum); Digest empty when it gave none.
struct TChecksumEventData : TEventRecord {
  std::string FileName;
  std::string Algorithm;
  std::string Digest;
};

// A private key's passphrase is wanted to log on to Host.
struct TPassphraseEventData : TEventRecord {
  std::string Host;
  std::string Prompt;
};

// The raw bytes of a listing, as received on the data connection.
struct TListingData : TEventRecord {
  std::string Bytes;
};

// A server certificate that failed verification and waits for a person's decision.
struct TCertificateEventData : TEventRecord {
  std::string Host;
  int Port = 0;
  TCertificateInfo Certificate;
  // Another certificate was trusted for this host and port before: possibly an attack.
  bool Changed = false;
  // An SSH server's host key that known_hosts does not hold: its type ("ssh-ed25519") and, in
  // Certificate.Fingerprint, "SHA256:..." as OpenSSH prints it; the other certificate fields
  // are empty.
  bool HostKey = false;
  std::string KeyType;
};

}  // namespace pelmar
