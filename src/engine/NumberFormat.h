#pragma once
// Separators for numbers shown to the user (the statistics line, sizes).

#include <cstdint>
#include <string>

namespace pelmar {

struct TNumberFormat {
  std::string ThousandSeparator = ",";
  std::string DecimalSeparator = ".";
};

// The user's locale (LC_NUMERIC from the environment); "," and "." where it defines none.
TNumberFormat NumberFormatFromEnvironment();
// The format in use; the application may replace it (for instance from QLocale).
TNumberFormat EngineNumberFormat();
void SetEngineNumberFormat(const TNumberFormat& format);

// 1234567 -> "1,234,567".
std::string FormatThousands(int64_t value, const TNumberFormat& format);
// Fixed-point with two decimals: 2.5 -> "2.50".
std::string FormatFixed2(double value, const TNumberFormat& format);

// "Transferred %.0n bytes in %f seconds (%fKB/s)".
std::string TransferStatisticsLine(int64_t bytes, double seconds, const TNumberFormat& format);

}  // namespace pelmar
