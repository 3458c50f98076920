#include "engine/CertificateTrust.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace pelmar {

TCertificateTrust& CertificateTrust() {
  static TCertificateTrust trust;
  return trust;
}

void TCertificateTrust::Load(const std::string& fileName) {
  std::lock_guard lock(Mutex);
  FileName = fileName;
  Stored.clear();
  std::ifstream in(fileName);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string host, fingerprint;
    int port = 0;
    // A line that does not read as three fields is skipped; the next save drops it.
    if (fields >> host >> port >> fingerprint) Stored[{host, port}] = fingerprint;
  }
}

TTrustLookup TCertificateTrust::Check(const std::string& host, int port,
                                      const std::string& fingerprint) {
  std::lock_guard lock(Mutex);
  const TKey key{host, port};
  for (const auto* decisions : {&ThisSession, &Stored}) {
    const auto found = decisions->find(key);
    if (found != decisions->end() && found->second == fingerprint) return TTrustLookup::Trusted;
  }
  return Stored.count(key) || ThisSession.count(key) ? TTrustLookup::Changed
                                                     : TTrustLookup::Unknown;
}

void TCertificateTrust::TrustOnce(const std::string& host, int port,
                                  const std::string& fingerprint) {
  std::lock_guard lock(Mutex);
  ThisSession[{host, port}] = fingerprint;
}

bool TCertificateTrust::TrustAlways(const std::string& host, int port,
                                    const std::string& fingerprint, std::string& error) {
  std::lock_guard lock(Mutex);
  ThisSession[{host, port}] = fingerprint;
  Stored[{host, port}] = fingerprint;
  return Save(error);
}

void TCertificateTrust::Reset() {
  std::lock_guard lock(Mutex);
  FileName.clear();
  Stored.clear();
  ThisSession.clear();
}

bool TCertificateTrust::Save(std::string& error) {
  if (FileName.empty()) return true;
  std::string text;
  for (const auto& [key, fingerprint] : Stored) {
    text += key.first + " " + std::to_string(key.second) + " " + fingerprint + "\n";
  }
  // Written beside the old file and renamed over it, so a crash leaves one or the other.
  const std::string temporary = FileName + ".new";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  bool ok = fd >= 0;
  if (ok) {
    ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
         ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), FileName.c_str()) == 0;
  }
  if (ok) return true;
  error = "Unable to write " + FileName + ": " + std::strerror(errno);
  ::unlink(temporary.c_str());
  return false;
}

}  // namespace pelmar
