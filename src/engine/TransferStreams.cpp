#include "engine/TransferStreams.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>

namespace pelmar {
namespace {

std::mutex& ReplacementsMutex() {
  static std::mutex mutex;
  return mutex;
}
std::set<std::string>& Replacements() {
  static std::set<std::string> names;
  return names;
}

// ".name.pelmar-XXXXXX" beside `target` left by a run that ended without tidying up: a
// replacement still being written holds a lock on its file, so only unlocked ones go.
void RemoveStaleReplacements(const std::string& folder, const std::string& base) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return;
  const std::string prefix = "." + base + ".pelmar-";
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string path = folder + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::unlink(path.c_str());
    }
    ::close(fd);
  }
  ::closedir(dir);
}

bool SameFile(int fd, const std::string& name) {
  struct stat open {
  }, named{};
  return fd >= 0 && ::fstat(fd, &open) == 0 && ::lstat(name.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace

void RemoveUnfinishedReplacements() {
  std::lock_guard lock(ReplacementsMutex());
  for (const auto& name : Replacements()) ::unlink(name.c_str());
  Replacements().clear();
}

int64_t TMemoryStream::Seek(int64_t offset) {
  Pos = static_cast<size_t>(std::clamp<int64_t>(offset, 0, static_cast<int64_t>(Data.size())));
  return Position();
}

bool TMemoryStream::Write(const char* data, size_t length) {
  for (const char* at = data; (at = static_cast<const char*>(
                                   std::memchr(at, '\n', static_cast<size_t>(data + length - at))));
       ++at) {
    ++Lines;
  }
  if (Pos + length > kMaxListingBytes || Lines > kMaxListingLines) {
    Error = Lines > kMaxListingLines
                ? "The listing is too large: more than " + std::to_string(kMaxListingLines) +
                      " entries; it was not read"
                : "The listing is too large: more than " + std::to_string(kMaxListingBytes >> 20) +
                      " MiB; it was not read";
    Data.clear();
    Data.shrink_to_fit();
    return false;
  }
  if (Pos + length > Data.capacity()) {
    Data.reserve(std::min(std::max(Data.capacity() * 2, Pos + length), kMaxListingBytes));
  }
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
  RemoveStaleReplacements(Target.substr(0, slash + 1), Target.substr(slash + 1));
  std::string pattern =
      Target.substr(0, slash + 1) + "." + Target.substr(slash + 1) + ".pelmar-XXXXXX";
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return false;
  ::flock(fd, LOCK_EX | LOCK_NB);  // marks it as in use for RemoveStaleReplacements
  {
    std::lock_guard lock(ReplacementsMutex());
    Replacements().insert(pattern);
  }
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
    if (Fd < 0) {
      throw std::runtime_error("Unable to create file " + name + ": " + std::strerror(errno));
    }
  } else {
    const unsigned access = mode & 3;
    const int flags = access == 0 ? O_RDONLY : access == 1 ? O_WRONLY : O_RDWR;
    Fd = ::open(name.c_str(), flags | O_CLOEXEC);
    struct stat info {};
    if (Fd >= 0 && (::fstat(Fd, &info) != 0 || S_ISDIR(info.st_mode))) {
      ::close(Fd);
      Fd = -1;
      errno = EISDIR;
    }
    if (Fd < 0) {
      throw std::runtime_error("Unable to open file " + name + ": " + std::strerror(errno));
    }
  }
  ::posix_fadvise(Fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

void TSequentialFileStream::Discard(int64_t kept) {
  if (!TempName.empty()) return;  // the destructor removes it; the old file stays
  if (CreatedHere) {
    ::unlink(Name.c_str());
  } else {
    Truncate(kept);
  }
}

TSequentialFileStream::~TSequentialFileStream() {
  if (!TempName.empty()) {
    ::unlink(TempName.c_str());
    std::lock_guard lock(ReplacementsMutex());
    Replacements().erase(TempName);
  }
  // A new file that got no byte of a failed transfer would look like a finished empty file.
  // Only this very file goes: another run may have put a file of that name there since.
  if (CreatedHere && !Finished && Pos == 0 && SameFile(Fd, Name)) ::unlink(Name.c_str());
  if (Fd >= 0) ::close(Fd);
}

int64_t TSequentialFileStream::Seek(int64_t offset) {
  const off_t at = ::lseek(Fd, static_cast<off_t>(std::max<int64_t>(offset, 0)), SEEK_SET);
  if (at >= 0) Pos = at;
  return Pos;
}

void TSequentialFileStream::Truncate(int64_t size) {
  if (::ftruncate(Fd, static_cast<off_t>(size)) == 0) Seek(size);
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
  if (TempName.empty()) return Finished = true;
  // The data must be on disk before the name points at it, or a crash could leave an empty
  // file where the old one was.
  if (::fsync(Fd) != 0 || ::rename(TempName.c_str(), Target.c_str()) != 0) {
    Error = "Unable to replace file " + Name + ": " + std::strerror(errno);
    return false;
  }
  {
    std::lock_guard lock(ReplacementsMutex());
    Replacements().erase(TempName);
  }
  TempName.clear();
  return Finished = true;
}

bool TSequentialFileStream::Commit() {
  if (Committed) return Error.empty();
  Committed = true;
  if (TruncatePending && Pos == 0 && ::ftruncate(Fd, 0) != 0) {
    Error = "Unable to create file " + Name + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace pelmar
