#include "platform/clock/clock.h"

#include "platform/clock/local_time.h"

#include <string>

namespace mlx::clock {
namespace {

class SystemClock : public Clock {
 public:
  explicit SystemClock(std::optional<DateTime> fixed_time) : fixed_time_(fixed_time) {}

  DateTime Now() override {
    if (fixed_time_) return *fixed_time_;
    DateTime t;
    if (!LocalNow(&t)) return DateTime{};
    return t;
  }

 private:
  std::optional<DateTime> fixed_time_;
};

// Reads exactly `width` decimal digits at text[pos].
bool ReadDigits(std::string_view text, std::size_t pos, std::size_t width, int* value) {
  if (pos + width > text.size()) return false;
  int v = 0;
  for (std::size_t i = 0; i < width; ++i) {
    char c = text[pos + i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return true;
}

void AppendPadded(std::string* out, int value, int width) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (value < 0) out->push_back('-');
  for (int i = static_cast<int>(digits.size()); i < width; ++i) out->push_back('0');
  out->append(digits);
}

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDays[month - 1];
}

bool IsValidDate(int year, int month, int day) {
  return month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

namespace {
constexpr std::int64_t kDay0FromUnixEpoch = 25569;  // 01/01/1970 as a day number
}  // namespace

std::int64_t DayNumber(int year, int month, int day) {
  // Days from 01/01/1970, counted in eras of 400 years (146097 days) from 01/03/0000.
  const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const auto m = static_cast<unsigned>(month);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(day) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468 + kDay0FromUnixEpoch;
}

void DateOfDayNumber(std::int64_t day_number, int* year, int* month, int* day) {
  const std::int64_t z = day_number - kDay0FromUnixEpoch + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(y + (*month <= 2 ? 1 : 0));
}

double DayNumberOf(const DateTime& t) {
  return static_cast<double>(DayNumber(t.year, t.month, t.day)) +
         (t.hour * 3600.0 + t.minute * 60.0 + t.second) / 86400.0;
}

std::unique_ptr<Clock> MakeSystemClock(std::optional<DateTime> fixed_time) {
  return std::make_unique<SystemClock>(fixed_time);
}

std::optional<DateTime> ParseFixedTime(std::string_view text) {
  // Exactly "YYYY-MM-DD HH:MM:SS".
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
      text[16] != ':') {
    return std::nullopt;
  }
  DateTime t;
  if (!ReadDigits(text, 0, 4, &t.year) || !ReadDigits(text, 5, 2, &t.month) ||
      !ReadDigits(text, 8, 2, &t.day) || !ReadDigits(text, 11, 2, &t.hour) ||
      !ReadDigits(text, 14, 2, &t.minute) || !ReadDigits(text, 17, 2, &t.second)) {
    return std::nullopt;
  }
  if (t.year < 1 || t.month < 1 || t.month > 12) return std::nullopt;
  if (!IsValidDate(t.year, t.month, t.day)) return std::nullopt;
  if (t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
  return t;
}

std::string Format(const DateTime& t, std::string_view pattern) {
  std::string out;
  std::size_t i = 0;
  auto starts = [&](std::string_view token) { return pattern.substr(i, token.size()) == token; };
  while (i < pattern.size()) {
    if (starts("yyyy")) {
      AppendPadded(&out, t.year, 4);
      i += 4;
    } else if (starts("yy")) {
      AppendPadded(&out, ((t.year % 100) + 100) % 100, 2);
      i += 2;
    } else if (starts("dd")) {
      AppendPadded(&out, t.day, 2);
      i += 2;
    } else if (starts("mm")) {
      AppendPadded(&out, t.month, 2);
      i += 2;
    } else if (starts("hh")) {
      AppendPadded(&out, t.hour, 2);
      i += 2;
    } else if (starts("nn")) {
      AppendPadded(&out, t.minute, 2);
      i += 2;
    } else if (starts("ss")) {
      AppendPadded(&out, t.second, 2);
      i += 2;
    } else {
      out.push_back(pattern[i]);
      ++i;
    }
  }
  return out;
}

}  // namespace mlx::clock
