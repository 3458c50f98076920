#include "platform/DateTime.h"
#include "platform/Numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pelmar {
namespace {

// Days from 1 January of year 1 (proleptic Gregorian) to the given date, 0-based.
long DaysFromCivil(int year, int month, int day) {
  const long y = year - (month <= 2 ? 1 : 0);
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long mp = (month + 9) % 12;
  const long doy = (153 * mp + 2) / 5 + day - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;  // days since 1970-01-01
}

constexpr long kDaysFrom1970To1899 = -25569;  // 1899-12-30 relative to 1970-01-01

}  // namespace

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

std::optional<TDateTime> TryEncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return std::nullopt;
  }
  return static_cast<TDateTime>(DaysFromCivil(year, month, day) - kDaysFrom1970To1899);
}

std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999) {
    return std::nullopt;
  }
  return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / 86400000.0;
}

TDate DecodeDate(TDateTime value) {
  // Civil-from-days (inverse of DaysFromCivil).
  long z = static_cast<long>(std::floor(value)) + kDaysFrom1970To1899 + 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return {year, month, day};
}

std::string FormatDateTimeMinutes(TDateTime value) {
  if (!(value > 0)) return {};  // not known (an MLSD entry without "modify")
  const TDate date = DecodeDate(value);
  long minutes = std::lround((value - std::floor(value)) * 1440.0);
  if (minutes >= 1440) minutes = 1439;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", date.Year % 10000, date.Month,
                date.Day, static_cast<int>(minutes / 60), static_cast<int>(minutes % 60));
  return text;
}

TDate Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

TDateTime DateTimeFromTimeT(std::time_t value) {
  std::tm local{};
  // Past the year 9999 no date is shown or kept (and the year would not fit an int).
  if (!localtime_r(&value, &local) || local.tm_year > 9999 - 1900) return 0;
  const auto date = TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  const auto time =
      TryEncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec, 0);
  return date.value_or(0) + time.value_or(0);
}

std::optional<std::time_t> UnambiguousTimeT(TDateTime value) {
  const std::time_t instant = TimeTFromDateTime(value);
  const auto sameLocal = [value](std::time_t other) {
    return std::fabs(DateTimeFromTimeT(other) - value) < 0.5 / 86400.0;
  };
  if (!sameLocal(instant) || sameLocal(instant - 3600) || sameLocal(instant + 3600))
    return std::nullopt;
  return instant;
}

std::time_t TimeTFromDateTime(TDateTime value) {
  const TDate date = DecodeDate(value);
  double fraction = value - std::floor(value);
  long seconds = std::lround(fraction * 86400.0);
  if (seconds >= 86400) seconds = 86399;
  std::tm local{};
  local.tm_year = date.Year - 1900;
  local.tm_mon = date.Month - 1;
  local.tm_mday = date.Day;
  local.tm_hour = static_cast<int>(seconds / 3600);
  local.tm_min = static_cast<int>(seconds / 60 % 60);
  local.tm_sec = static_cast<int>(seconds % 60);
  local.tm_isdst = -1;
  return std::mktime(&local);
}

std::optional<std::time_t> ParseFtpTimestamp(std::string_view text) {
  auto digits = [](std::string_view part) {
    return !part.empty() &&
           std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  const size_t dot = text.find('.');
  if (dot != std::string_view::npos) {
    if (!digits(text.substr(dot + 1))) return std::nullopt;
    text = text.substr(0, dot);
  }
  if (text.size() != 14 || !digits(text)) return std::nullopt;
  auto field = [&text](size_t at, size_t length) {
    return static_cast<int>(ReadNumber(text.substr(at, length)).value_or(0));
  };
  std::tm parts{};
  parts.tm_year = field(0, 4) - 1900;
  parts.tm_mon = field(4, 2) - 1;
  parts.tm_mday = field(6, 2);
  parts.tm_hour = field(8, 2);
  parts.tm_min = field(10, 2);
  parts.tm_sec = field(12, 2);
  // Checked before timegm, which would quietly roll "month 13" into the next year.
  if (parts.tm_year < 0 || parts.tm_mon < 0 || parts.tm_mon > 11 || parts.tm_mday < 1 ||
      parts.tm_mday > DaysInMonth(parts.tm_year + 1900, parts.tm_mon + 1) || parts.tm_hour > 23 ||
      parts.tm_min > 59 || parts.tm_sec > 60) {
    return std::nullopt;
  }
  return ::timegm(&parts);
}

}  // namespace pelmar
