#pragma once
// The texts of the transfer progress window and what it does to a finished download's date.
// Sizes and times are 64-bit throughout: batches over 2 GiB read right.

#include <cstdint>
#include <string>

#include "platform/DateTime.h"

namespace pelmar {

// "m:ss" with unlimited minutes ("75:00"); negative values count as 0.
std::string TimeText(int64_t seconds);
// Bytes per second: "1023 Bytes", "1.00 KB", "1024.00 KB" (kilobytes with two decimals).
std::string RateText(int64_t bytesPerSecond);
// "%d of %d bytes copied".
// "66,912,256 of 209,715,200 bytes copied" (thousands separators of the number format).
std::string BytesCopiedText(int64_t done, int64_t total);

// The figures of one file, or of a batch (its items summed), all from the same counts: the
// bytes there before this session (a resumed start), those moved this session, the size, and
// how long this session has run.
struct TProgressFigures {
  int64_t Done = 0;        // bytes at the destination: the resumed start and this session's
  int Percent = 0;         // of the size, 0..100
  int64_t Rate = -1;       // bytes per second of this session; -1 while too short to time
  int64_t Remaining = -1;  // seconds at that rate; -1 while there is no rate
};
// A session shorter than this has no rate: a few bytes in no time would read as any speed.
inline constexpr int64_t kShortestTimedMs = 1000;
TProgressFigures ProgressFigures(int64_t resumedFrom, int64_t moved, int64_t size,
                                 int64_t elapsedMs);
// The time left for the status texts: "m:ss remaining", or "" while there is no rate.
std::string RemainingText(int64_t seconds);
// A running file the person skipped: "Skipped", or with the part that arrived and stays,
// "Skipped (partial: 52,428,800 of 104,857,600 bytes)".
std::string SkippedText(int64_t partial, int64_t size);
// A failed download's part that stays: "(partial kept: 3,000,000 of 10,000,000 bytes)"; without
// a known size "(partial kept: 3,000,000 bytes)".
std::string PartialKeptText(int64_t partial, int64_t size);

// Gives a downloaded file the date its source was listed with (local time), exactly and
// without opening it: a file another program has just replaced is not written to. False when
// the file system refused.
bool SetFileDate(const std::string& path, TDateTime modified);

}  // namespace pelmar
