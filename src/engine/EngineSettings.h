#pragma once
// Engine-wide settings shared by every component; the preferences store writes them, workers
// read them while they run.

#include <atomic>

namespace pelmar {

struct TEngineSettings {
  std::atomic<int> FTPTimeout{120000};  // ms a blocking step may take
  std::atomic<int> FTPRetries{3};       // connection attempts; below 1 means no limit
  std::atomic<bool> FTPKeepAlive{true};
  // Data connections opened by the client to the server's port (EPSV, else PASV) instead of
  // the server connecting back to us (PORT).
  std::atomic<bool> PassiveMode{false};
  // Bytes per recv() and per send() on data connections. 4096 cost a quarter of the
  // download throughput against curl on loopback; 256 KiB beats it in both directions.
  std::atomic<int> FTPRecvBufSize{262144};
  std::atomic<int> FTPSendBufSize{262144};
  // Transfers keep file times where FEAT offers the commands: a download learns the server's
  // time (MDTM, reported with its end), an upload gives the server's copy the local time
  // (MFMT).
  std::atomic<bool> KeepTimes{true};
  // After each file transfer in binary mode, compare the server's checksum of its copy (HASH
  // or an X command, where FEAT offers one) with the local file's.
  std::atomic<bool> VerifyTransfers{true};
};

TEngineSettings& EngineSettings();

}  // namespace pelmar
