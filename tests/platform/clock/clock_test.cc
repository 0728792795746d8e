#include "platform/clock/clock.h"

#include <gtest/gtest.h>

namespace mlx::clock {
namespace {

TEST(ParseFixedTime, ReadsOnlyWellFormedTimesInRange) {
  std::optional<DateTime> t = ParseFixedTime("2026-12-05 21:03:07");
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(Format(*t, "yyyy mm dd hh nn ss"), "2026 12 05 21 03 07");
  for (const char* good : {"2024-02-29 00:00:00", "2000-02-29 23:59:59", "2026-04-30 12:30:45"}) {
    EXPECT_TRUE(ParseFixedTime(good).has_value()) << good;
  }
  for (const char* bad :
       {"", "2026-12-05", "2026-12-05 21:03:07 ", "2026/12/05 21:03:07", "2026-12-5 21:03:07",
        "20a6-12-05 21:03:07", "2026-13-10 00:00:00", "2026-00-10 00:00:00", "2026-04-31 00:00:00",
        "2026-02-29 00:00:00", "1900-02-29 00:00:00", "2026-01-00 00:00:00", "2026-01-01 24:00:00",
        "2026-01-01 23:60:00", "2026-01-01 23:59:60"}) {
    EXPECT_FALSE(ParseFixedTime(bad).has_value()) << bad;
  }
}

TEST(Format, WritesThePatternLettersAndCopiesTheRest) {
  DateTime t{2026, 12, 5, 21, 3, 7};
  EXPECT_EQ(Format(t, "dd/mm/yy hh:nn:ss"), "05/12/26 21:03:07");
  EXPECT_EQ(Format(t, "yyyymmdd"), "20261205");
  EXPECT_EQ(Format(t, "hh:mm"), "21:12");  // "mm" is always the month
  EXPECT_EQ(Format(t, "[d-y] h n s"), "[d-y] h n s");
  EXPECT_EQ(Format(DateTime{987, 1, 2, 0, 0, 9}, "yyyy/yy ss"), "0987/87 09");
}

TEST(Calendar, DayNumbersCountFromTheLastDayOf1899BothWays) {
  EXPECT_EQ(DayNumber(1899, 12, 30), 0);
  EXPECT_EQ(DayNumber(1899, 12, 29), -1);
  EXPECT_EQ(DayNumber(1900, 3, 1), 61);  // 1900 is no leap year
  EXPECT_EQ(DayNumber(1970, 1, 1), 25569);
  EXPECT_EQ(DayNumber(2024, 3, 1) - DayNumber(2024, 2, 28), 2);
  EXPECT_EQ(DayNumber(100, 1, 1), -657434);
  EXPECT_DOUBLE_EQ(DayNumberOf(DateTime{2021, 6, 15, 18, 0, 0}), 44362.75);
  // Every day from the year 100 to 9999 goes there and back, and is a valid date.
  int y = 0, m = 0, d = 0;
  for (std::int64_t n = DayNumber(100, 1, 1); n <= DayNumber(9999, 12, 31); ++n) {
    DateOfDayNumber(n, &y, &m, &d);
    ASSERT_TRUE(IsValidDate(y, m, d)) << n;
    ASSERT_EQ(DayNumber(y, m, d), n);
  }
}

}  // namespace
}  // namespace mlx::clock
