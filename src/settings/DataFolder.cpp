#include "settings/DataFolder.h"

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
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  if (folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace pelmar
