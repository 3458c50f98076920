#include "engine/TransferStreams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

TSequentialFileStream::TSequentialFileStream(const std::string& name, unsigned mode) : Name(name) {
  if (mode == fmCreate) {
    Fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
    if (Fd >= 0) {
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
