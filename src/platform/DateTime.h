#pragma once
// Date-times as days since 30 December 1899 with the time of day as the fraction (local time),
// the representation every stored and displayed date in Pelmar uses.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace pelmar {

using TDateTime = double;

struct TDate {
  int Year = 1899;
  int Month = 12;
  int Day = 30;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// nullopt for an impossible date (month 13, 30 February, year 0).
std::optional<TDateTime> TryEncodeDate(int year, int month, int day);
// nullopt for an impossible time (hour 24, minute 60).
std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second, int millisecond);
TDate DecodeDate(TDateTime value);

// "2026-06-15 10:30"; empty for the zero date, which means "not known".
std::string FormatDateTimeMinutes(TDateTime value);

// The current local date.
TDate Today();
// Conversions between TDateTime (local time) and time_t.
TDateTime DateTimeFromTimeT(std::time_t value);
// An FTP timestamp ("YYYYMMDDHHMMSS", optionally ".fff"), which is always UTC (MDTM, MLSD's
// modify fact): the seconds since the epoch. Nothing when it is not a valid time.
std::optional<std::time_t> ParseFtpTimestamp(std::string_view text);
std::time_t TimeTFromDateTime(TDateTime value);
// The one instant a local time stands for; nothing when it stands for none (skipped when the
// clocks went forward) or for two (repeated when they went back).
std::optional<std::time_t> UnambiguousTimeT(TDateTime value);

}  // namespace pelmar
