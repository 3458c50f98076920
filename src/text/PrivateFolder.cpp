#include "text/PrivateFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "text/TextUtils.h"

namespace pelmar {
namespace {

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

std::string& Current() {
  static std::string folder;
  return folder;
}

// Empties the folder open as `fd` (the descriptor is taken), depth first. Every entry is
// unlinked by name in its folder; a sub-folder is entered only when it opens as a real folder
// (O_NOFOLLOW), so no link is ever followed.
void EmptyFolder(int fd) {
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return;
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.emplace_back(entry->d_name);
    }
  }
  const int at = ::dirfd(dir);
  for (const std::string& name : names) {
    if (::unlinkat(at, name.c_str(), 0) == 0) continue;
    const int sub = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub < 0) continue;
    EmptyFolder(sub);
    ::unlinkat(at, name.c_str(), AT_REMOVEDIR);
  }
  ::closedir(dir);
}

// Removes whatever `path` (no trailing "/") names, without following a link there.
void RemoveEntry(const std::string& path) {
  if (::unlink(path.c_str()) == 0) return;
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  EmptyFolder(fd);
  ::rmdir(path.c_str());
}

bool IsRealFolder(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string MakeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  for (const std::string& parent : {PrivateFolderParent(runtime), PrivateFolderParent(nullptr)}) {
    std::string pattern = parent + "pelmar-XXXXXX";
    if (::mkdtemp(pattern.data())) return pattern + "/";
  }
  return {};
}

}  // namespace

std::string PrivateFolderParent(const char* runtimeFolder) {
  if (runtimeFolder && runtimeFolder[0] == '/') {
    struct stat info {};
    if (::lstat(runtimeFolder, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
        (info.st_mode & 077) == 0 && ::access(runtimeFolder, W_OK | X_OK) == 0) {
      std::string folder = runtimeFolder;
      EnsureTrailingSeparator(folder, '/');
      return folder;
    }
  }
  return TemporaryFolder();
}

std::string PrivateFolder() {
  std::lock_guard guard(Lock());
  std::string& folder = Current();
  if (!folder.empty()) return folder;
  folder = MakeFolder();
  static bool registered = false;
  if (!folder.empty() && !registered) {
    registered = true;
    std::atexit(RemovePrivateFolder);
  }
  return folder;
}

std::string PrivateFilePath(const std::string& name, const std::string& sub) {
  std::string folder = PrivateFolder();
  if (folder.empty()) return {};
  if (!sub.empty()) {
    // Looked at without a trailing "/", which would follow a link there.
    const std::string subFolder = folder + sub;
    if (!IsRealFolder(subFolder)) {
      RemoveEntry(subFolder);
      if (::mkdir(subFolder.c_str(), 0700) != 0) return {};
    }
    folder = subFolder + "/";
  }
  const std::string path = folder + name;
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) RemoveEntry(path);
  return path;
}

void RemovePrivateFolder() {
  std::lock_guard guard(Lock());
  std::string& folder = Current();
  if (folder.empty()) return;
  RemoveEntry(folder.substr(0, folder.size() - 1));
  folder.clear();
}

}  // namespace pelmar
