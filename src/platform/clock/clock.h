// The wall clock, behind an interface so that runs can be made reproducible.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace mlx::clock {

struct DateTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateTime Now() = 0;
};

// The local time of the machine, or, when fixed_time is given, always that time.
std::unique_ptr<Clock> MakeSystemClock(std::optional<DateTime> fixed_time = std::nullopt);

// Calendar arithmetic (the proleptic Gregorian calendar), the one place for it.
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // month 1..12
// A month 1..12 and a day of it.
bool IsValidDate(int year, int month, int day);
// Day numbers count days from 30/12/1899, day 0 of stored dates; earlier days are negative.
std::int64_t DayNumber(int year, int month, int day);
void DateOfDayNumber(std::int64_t day_number, int* year, int* month, int* day);
// Stored dates run from 01/01/100 to 31/12/9999: day numbers from -657434 up to (not including)
// 2958466. A number outside them (or not finite) is no date, and no calendar arithmetic may be
// done on it.
inline constexpr double kFirstDayNumber = -657434;
inline constexpr double kDayNumberAfterLast = 2958466;
inline bool IsDayNumberInRange(double days) {
  return days >= kFirstDayNumber && days < kDayNumberAfterLast;  // false for NaN as well
}
// The date and time as days since 30/12/1899 with the time of day as the fraction.
double DayNumberOf(const DateTime& t);

// "YYYY-MM-DD HH:MM:SS" (as MLX_NOW is written); nullopt when malformed or out of range.
std::optional<DateTime> ParseFixedTime(std::string_view text);

// Formats with the date and time pattern letters of the script language:
// dd mm yy yyyy (date), hh nn ss (time); every other character is copied.
// In "hh:nn" style patterns, "mm" after "hh" is not special: use "nn" for minutes.
std::string Format(const DateTime& t, std::string_view pattern);

}  // namespace mlx::clock
