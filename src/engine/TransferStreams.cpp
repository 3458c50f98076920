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

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

std::string TakenText(const std::string& name) {
  return name + " appeared at the destination after the transfer was decided; it was left alone";
}

std::string SystemText(int error) {
  return error == ELOOP ? "it is a symbolic link, which is left alone" : std::strerror(error);
}

}  // namespace

bool TSequentialFileStream::OpenReplacement() {
  const size_t slash = Target.find_last_of('/');
  const std::string folder = Target.substr(0, slash + 1);
  RemoveStaleReplacements(folder, Target.substr(slash + 1));
  std::string pattern = folder + "." + Target.substr(slash + 1) + ".pelmar-XXXXXX";
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return false;
  ::flock(fd, LOCK_EX | LOCK_NB);  // marks it as in use for RemoveStaleReplacements
  {
    std::lock_guard lock(ReplacementsMutex());
    Replacements().insert(pattern);
  }
  struct stat info {};
  if (::lstat(Target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    ::fchmod(fd, info.st_mode & 07777);
  }
  Fd = fd;
  TempName = pattern;
  return true;
}

bool TSequentialFileStream::OpenForWriting() {
  Pending = false;
  if (!Target.empty()) {
    if (OpenReplacement()) return true;
    Error = "Unable to create file " + Name + ": " + std::strerror(errno);
    return false;
  }
  // Nothing was there: the file is made now, and only if it still is not there. O_EXCL never
  // follows a link, so a link planted meanwhile is not written through either.
  Fd = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (Fd >= 0) {
    CreatedHere = true;
    ::posix_fadvise(Fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
  }
  if (errno == EEXIST) {
    Taken = true;
    Error = TakenText(Name);
  } else {
    Error = "Unable to create file " + Name + ": " + std::strerror(errno);
  }
  return false;
}

TSequentialFileStream::TSequentialFileStream(const std::string& name, unsigned mode) : Name(name) {
  if (mode == fmCreate || mode == fmCreateNew) {
    struct stat info {};
    if (::lstat(name.c_str(), &info) == 0) {
      if (mode == fmCreateNew) {
        Taken = true;
        Error = TakenText(name);
        return;
      }
      if (S_ISLNK(info.st_mode)) {
        throw std::runtime_error("Unable to create file " + name + ": " + SystemText(ELOOP));
      }
      if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) {
        // Opening a pipe for writing waits for a reader that may never come.
        throw std::runtime_error("Unable to create file " + name + ": not a regular file");
      }
      if (!S_ISREG(info.st_mode)) {
        // A device such as /dev/null is written as it is; a folder cannot be.
        Fd = ::open(name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        if (Fd >= 0 && ::fstat(Fd, &info) == 0 && S_ISDIR(info.st_mode)) {
          ::close(Fd);
          Fd = -1;
          errno = EISDIR;
        }
        if (Fd < 0) {
          throw std::runtime_error("Unable to create file " + name + ": " + SystemText(errno));
        }
        return;
      }
      if (::access(name.c_str(), W_OK) != 0) {
        throw std::runtime_error("Unable to create file " + name + ": " + std::strerror(errno));
      }
      Target = name;
    } else if (errno != ENOENT) {
      throw std::runtime_error("Unable to create file " + name + ": " + std::strerror(errno));
    }
    // The folder must take the new file (or the replacement beside the old one); saying so now
    // spares the server a transfer that could not be kept.
    if (::access(FolderOf(name).c_str(), W_OK | X_OK) != 0) {
      throw std::runtime_error("Unable to create file " + name + ": " + std::strerror(errno));
    }
    Pending = true;
    return;
  }
  const unsigned access = mode & 3;
  const int flags = access == 0 ? O_RDONLY | O_NONBLOCK : access == 1 ? O_WRONLY : O_RDWR;
  // A resumed download continues the file itself, never what a link leads to; an upload reads
  // through links. O_NONBLOCK keeps a FIFO from holding the open until a writer comes.
  Fd = ::open(name.c_str(), flags | O_CLOEXEC | (access == 0 ? 0 : O_NOFOLLOW));
  struct stat info {};
  if (Fd >= 0 && ::fstat(Fd, &info) != 0) info.st_mode = S_IFDIR;
  if (Fd >= 0 && (S_ISDIR(info.st_mode) || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))) {
    const int why = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    ::close(Fd);
    Fd = -1;
    errno = why;
  }
  if (Fd < 0) {
    const std::string reason = errno == EINVAL ? "not a regular file" : SystemText(errno);
    throw std::runtime_error("Unable to open file " + name + ": " + reason);
  }
  if (access == 0) ::fcntl(Fd, F_SETFL, ::fcntl(Fd, F_GETFL) & ~O_NONBLOCK);
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
  if (Pending && !OpenForWriting()) return false;
  if (Fd < 0) {
    Error = Error.empty() ? "Unable to write file " + Name : Error;
    return false;
  }
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
  // An empty file is made only once the server confirmed it.
  if (Pending && !OpenForWriting()) return false;
  if (Fd < 0) return false;
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

}  // namespace pelmar
