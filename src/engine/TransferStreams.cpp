#include "engine/TransferStreams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace pelmar {

int64_t TMemoryStream::Seek(int64_t offset) {
  Pos = static_cast<size_t>(std::clamp<int64_t>(offset, 0, static_cast<int64_t>(Data.size())));
  return Position();
}

bool TMemoryStream::Write(const char* data, size_t length) {
  Data.replace(Pos, std::min(length, Data.size() - Pos), data, length);
  Pos += length;
  return true;
}

long TMemoryStream::Read(char* buffer, size_t length) {
  const size_t n = std::min(length, Data.size() - Pos);
  std::memcpy(buffer, Data.data() + Pos, n);
  Pos += n;
  return static_cast<long>(n);
}

bool TSequentialFileStream::OpenReplacement(const std::string& existing) {
  char* resolved = ::realpath(existing.c_str(), nullptr);
  if (!resolved) return false;
  Target = resolved;
  std::free(resolved);
  const size_t slash = Target.find_last_of('/');
  std::string pattern =
      Target.substr(0, slash + 1) + "." + Target.substr(slash + 1) + ".pelmar-XXXXXX";
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  if (::stat(Target.c_str(), &info) == 0) ::fchmod(fd, info.st_mode & 07777);
  Fd = fd;
  TempName = pattern;
  return true;
}

TSequentialFileStream::TSequentialFileStream(const std::string& name, unsigned mode) : Name(name) {
  if (mode == fmCreate) {
    struct stat info {};
    const bool replacing = ::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    // Only a file we may write is replaced, as when it was opened for writing in place.
    if (replacing && ::access(name.c_str(), W_OK) == 0 && OpenReplacement(name)) {
      // written beside the old file
    } else if ((Fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC)) >= 0) {
      // The folder takes no new file: the old file is emptied once the server sends.
      TruncatePending = true;
    } else if (errno == ENOENT) {
      Fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      CreatedHere = Fd >= 0;
    }
    if (Fd < 0) throw std::runtime_error("Unable to create file " + name);
  } else {
    const unsigned access = mode & 3;
    const int flags = access == 0 ? O_RDONLY : access == 1 ? O_WRONLY : O_RDWR;
    Fd = ::open(name.c_str(), flags | O_CLOEXEC);
    struct stat info {};
    if (Fd >= 0 && (::fstat(Fd, &info) != 0 || S_ISDIR(info.st_mode))) {
      ::close(Fd);
      Fd = -1;
    }
    if (Fd < 0) throw std::runtime_error("Unable to open file " + name);
  }
  ::posix_fadvise(Fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

TSequentialFileStream::~TSequentialFileStream() {
  if (Fd >= 0) ::close(Fd);
  if (!TempName.empty()) ::unlink(TempName.c_str());
  if (CreatedHere && !Committed) ::unlink(Name.c_str());
}

int64_t TSequentialFileStream::Seek(int64_t offset) {
  const off_t at = ::lseek(Fd, static_cast<off_t>(std::max<int64_t>(offset, 0)), SEEK_SET);
  if (at >= 0) Pos = at;
  return Pos;
}

int64_t TSequentialFileStream::Size() const {
  struct stat info {};
  return ::fstat(Fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
}

bool TSequentialFileStream::Write(const char* data, size_t length) {
  while (length > 0) {
    const ssize_t n = ::write(Fd, data, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      Error = "Unable to write file " + Name + ": " + std::strerror(errno);
      return false;
    }
    data += n;
    length -= static_cast<size_t>(n);
    Pos += n;
  }
  return true;
}

long TSequentialFileStream::Read(char* buffer, size_t length) {
  for (;;) {
    const ssize_t n = ::read(Fd, buffer, length);
    if (n >= 0) {
      Pos += n;
      return static_cast<long>(n);
    }
    if (errno == EINTR) continue;
    Error = "Unable to read file " + Name + ": " + std::strerror(errno);
    return -1;
  }
}

bool TSequentialFileStream::Finish() {
  if (TempName.empty()) return true;
  // The data must be on disk before the name points at it, or a crash could leave an empty
  // file where the old one was.
  if (::fsync(Fd) != 0 || ::rename(TempName.c_str(), Target.c_str()) != 0) {
    Error = "Unable to replace file " + Name + ": " + std::strerror(errno);
    return false;
  }
  TempName.clear();
  return true;
}

bool TSequentialFileStream::Commit() {
  if (Committed) return Error.empty();
  Committed = true;
  if (TruncatePending && Pos == 0 && ::ftruncate(Fd, 0) != 0) {
    Error = "Unable to create file " + Name;
    return false;
  }
  return true;
}

}  // namespace pelmar
