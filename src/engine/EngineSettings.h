#pragma once
// Engine-wide settings shared by every component; the preferences store writes them, workers
// read them while they run.

#include <atomic>

namespace pelmar {

struct TEngineSettings {
  std::atomic<int> FTPTimeout{120000};  // ms a blocking step may take
  std::atomic<int> FTPRetries{3};       // connection attempts; below 1 means no limit
  std::atomic<bool> FTPKeepAlive{true};
  std::atomic<int> FTPRecvBufSize{4096};
  std::atomic<int> FTPSendBufSize{4096};
};

TEngineSettings& EngineSettings();

}  // namespace pelmar
