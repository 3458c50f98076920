#include "engine/NumberFormat.h"

#include <locale.h>
#include <charconv>
#include <clocale>
#include <cstdio>
#include <mutex>

namespace pelmar {
namespace {

std::mutex gFormatMutex;

TNumberFormat& CurrentFormat() {
  static auto* format = new TNumberFormat(NumberFormatFromEnvironment());
  return *format;
}

}  // namespace

TNumberFormat NumberFormatFromEnvironment() {
  TNumberFormat format;
  locale_t numeric = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  if (numeric == static_cast<locale_t>(nullptr)) return format;
  locale_t previous = uselocale(numeric);
  const lconv* conv = localeconv();
  if (conv->thousands_sep && *conv->thousands_sep) format.ThousandSeparator = conv->thousands_sep;
  if (conv->decimal_point && *conv->decimal_point) format.DecimalSeparator = conv->decimal_point;
  uselocale(previous);
  freelocale(numeric);
  return format;
}

TNumberFormat EngineNumberFormat() {
  std::lock_guard lock(gFormatMutex);
  return CurrentFormat();
}

void SetEngineNumberFormat(const TNumberFormat& format) {
  std::lock_guard lock(gFormatMutex);
  CurrentFormat() = format;
}

std::string FormatThousands(int64_t value, const TNumberFormat& format) {
  const bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits = std::to_string(magnitude);
  std::string out;
  const size_t n = digits.size();
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += format.ThousandSeparator;
    out += digits[i];
  }
  return negative ? "-" + out : out;
}

std::string FormatFixed2(double value, const TNumberFormat& format) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
  std::string out(text, result.ptr);
  const size_t point = out.find('.');
  if (point != std::string::npos) out.replace(point, 1, format.DecimalSeparator);
  return out;
}

std::string TransferStatisticsLine(int64_t bytes, double seconds, const TNumberFormat& format) {
  const std::string line = "Transferred " + FormatThousands(bytes, format) + " bytes in " +
                           FormatFixed2(seconds, format) + " seconds";
  // Too short to time: the clock's steps would make any rate of it ("0.00KB/s", "4000.00KB/s").
  if (seconds < 0.1) return line;
  const double kbps = static_cast<double>(bytes) / 1024.0 / seconds;
  return line + " (" + FormatFixed2(kbps, format) + "KB/s)";
}

}  // namespace pelmar
