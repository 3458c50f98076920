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

// Gives a downloaded file the date its source was listed with (local time), exactly and
// without opening it: a file another program has just replaced is not written to. False when
// the file system refused.
bool SetFileDate(const std::string& path, TDateTime modified);

}  // namespace pelmar
