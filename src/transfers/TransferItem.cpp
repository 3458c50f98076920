#include "transfers/TransferItem.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/Tick.h"
#include "settings/Preferences.h"
#include "transfers/MulDiv.h"
#include "transfers/ProgressTexts.h"

namespace pelmar {

bool RegularFileSize(const std::string& path, int64_t& size) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  size = static_cast<int64_t>(info.st_size);
  return true;
}

int TTransferItem::TransferMode() const {
  return Mode == kModeByName ? Preferences().TransferModeFor(FileName) : Mode;
}

std::string TTransferItem::StatusText() const {
  switch (State) {
    case tsPending:
      return Upload ? "Upload Pending" : "Download Pending";
    case tsDone:
      return "Done";
    case tsCancelled:
      return Skipped ? SkippedText(PartialBytes, Size) : "Cancelled";
    case tsFailed:
      return "Aborted due to Error";
    default:
      return "";
  }
}

std::string TTransferItem::FailureLine() const {
  std::string line = FailureText;
  if (!FirstFailureText.empty() && Attempts > 0) {
    line = FirstFailureText + "; tried again " + std::to_string(Attempts) +
           (Attempts == 1 ? " time" : " times") +
           (FailureText.empty() || FailureText == FirstFailureText ? "" : ", last: " + FailureText);
  }
  if (PartialBytes >= 0) {
    line += (line.empty() ? "" : " ") + PartialKeptText(PartialBytes, Size);
  }
  return line;
}

std::string TTransferItem::StatusWithReason() const {
  if (State != tsFailed) return StatusText();
  const std::string why = FailureLine();
  return why.empty() ? StatusText() : StatusText() + ": " + why;
}

int64_t TTransferItem::ElapsedTicks() const {
  return GetTickCount() - StartTicks;
}

int TTransferItem::PercentDone() const {
  return ProgressFigures(RestartOffset, BytesDone, Size, 0).Percent;
}

}  // namespace pelmar
