#include "platform/clock/local_time.h"

#include <windows.h>

namespace mlx::clock {

// GetLocalTime: the time zone and daylight saving time of the machine's settings.
bool LocalNow(DateTime* t) {
  SYSTEMTIME local;
  GetLocalTime(&local);
  t->year = local.wYear;
  t->month = local.wMonth;
  t->day = local.wDay;
  t->hour = local.wHour;
  t->minute = local.wMinute;
  t->second = local.wSecond;
  return true;
}

}  // namespace mlx::clock
