#pragma once
// Server certificates a person decided to trust although they failed verification, by host
// and port. "Always" decisions live in a file (one "host port fingerprint" line each, written
// whole to a temporary file and renamed over the old one); "once" decisions last as long as
// the process, so the queue's extra connections to the same server do not ask again.
// Safe to use from every worker thread.

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace pelmar {

enum class TTrustLookup : uint8_t {
  Unknown,  // never decided for this host and port
  Trusted,  // this very certificate was trusted
  Changed,  // another certificate was trusted for this host and port before
};

class TCertificateTrust {
 public:
  // Reads the file (a missing file is an empty store); later "always" decisions go there.
  void Load(const std::string& fileName);
  TTrustLookup Check(const std::string& host, int port, const std::string& fingerprint);
  void TrustOnce(const std::string& host, int port, const std::string& fingerprint);
  // False with `error` set when the file could not be written (the decision still holds for
  // this process).
  bool TrustAlways(const std::string& host, int port, const std::string& fingerprint,
                   std::string& error);
  // Forgets every decision and the file name (tests).
  void Reset();

 private:
  using TKey = std::pair<std::string, int>;
  bool Save(std::string& error);

  std::mutex Mutex;
  std::string FileName;
  std::map<TKey, std::string> Stored;
  std::map<TKey, std::string> ThisSession;
};

TCertificateTrust& CertificateTrust();

}  // namespace pelmar
