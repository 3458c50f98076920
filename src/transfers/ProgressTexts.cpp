#include "transfers/ProgressTexts.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "transfers/MulDiv.h"

#include "views/TextUtils.h"

namespace pelmar {

std::string TimeText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60));
  return text;
}

std::string RateText(int64_t bytesPerSecond) {
  if (bytesPerSecond < 1024) return std::to_string(std::max<int64_t>(bytesPerSecond, 0)) + " Bytes";
  const std::string digits = std::to_string(MulDiv(bytesPerSecond, 100, 1024));
  return digits.substr(0, digits.size() - 2) + "." + digits.substr(digits.size() - 2) + " KB";
}

std::string BytesCopiedText(int64_t done, int64_t total) {
  return ThousandsText(std::to_string(done)) + " of " + ThousandsText(std::to_string(total)) +
         " bytes copied";
}

bool SetFileDate(const std::string& path, TDateTime modified) {
  const timespec times[2] = {{0, UTIME_OMIT}, {TimeTFromDateTime(modified), 0}};
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace pelmar
