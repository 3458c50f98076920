#include "settings/DataFolder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

namespace pelmar {

std::string DataFolder() {
  std::string folder;
  if (const char* home = std::getenv("PELMAR_HOME"); home && *home) {
    folder = home;
  } else if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
    folder = std::string(config) + "/pelmar";
  } else if (const char* user = std::getenv("HOME"); user && *user) {
    folder = std::string(user) + "/.config/pelmar";
  } else {
    folder = ".";
  }
  // The folder itself is private (it holds passwords); parents made on the way are not.
  std::error_code ignored;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  std::filesystem::create_directories(std::filesystem::path(folder).parent_path(), ignored);
  ::mkdir(folder.c_str(), 0700);
  if (folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace pelmar
