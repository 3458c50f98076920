#include "transfers/ProgressTexts.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "transfers/MulDiv.h"

#include "text/TextUtils.h"

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

TProgressFigures ProgressFigures(int64_t resumedFrom, int64_t moved, int64_t size,
                                 int64_t elapsedMs) {
  TProgressFigures figures;
  resumedFrom = std::max<int64_t>(resumedFrom, 0);
  moved = std::max<int64_t>(moved, 0);
  figures.Done = resumedFrom + moved;
  if (size > 0) {
    // Rounded, except that a file not all there never reads 100%.
    int64_t percent = std::clamp<int64_t>(MulDiv(100, figures.Done, size), 0, 100);
    if (percent == 100 && figures.Done < size) percent = 99;
    figures.Percent = static_cast<int>(percent);
  }
  if (elapsedMs < kShortestTimedMs) return figures;
  figures.Rate = MulDiv(moved, 1000, elapsedMs);
  if (figures.Rate > 0) {
    figures.Remaining = std::max<int64_t>(size - figures.Done, 0) / figures.Rate;
  }
  return figures;
}

std::string RemainingText(int64_t seconds) {
  return seconds < 0 ? std::string() : TimeText(seconds) + " remaining";
}

std::string SkippedText(int64_t partial, int64_t size) {
  if (partial < 0) return "Skipped";
  return "Skipped (partial: " + ThousandsText(std::to_string(partial)) + " of " +
         ThousandsText(std::to_string(size)) + " bytes)";
}

std::string PartialKeptText(int64_t partial, int64_t size) {
  // A download queued without a listed size has nothing to compare the part with.
  return "(partial kept: " + ThousandsText(std::to_string(partial)) +
         (size > 0 ? " of " + ThousandsText(std::to_string(size)) : std::string()) + " bytes)";
}

bool SetFileDate(const std::string& path, TDateTime modified) {
  const timespec times[2] = {{0, UTIME_OMIT}, {TimeTFromDateTime(modified), 0}};
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace pelmar
