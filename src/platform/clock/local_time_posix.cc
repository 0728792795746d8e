#include "platform/clock/local_time.h"

#include <ctime>

namespace mlx::clock {

// localtime_r, so that the TZ variable applies.
bool LocalNow(DateTime* t) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return false;
  t->year = local.tm_year + 1900;
  t->month = local.tm_mon + 1;
  t->day = local.tm_mday;
  t->hour = local.tm_hour;
  t->minute = local.tm_min;
  // A leap second (60) is shown as the last second of the minute.
  t->second = local.tm_sec > 59 ? 59 : local.tm_sec;
  return true;
}

}  // namespace mlx::clock
