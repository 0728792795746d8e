#include "platform/clock/clock.h"

#include <gtest/gtest.h>

namespace mlx::clock {
namespace {

TEST(ParseFixedTime, ReadsAWellFormedTime) {
  std::optional<DateTime> t = ParseFixedTime("2026-12-05 21:03:07");
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->year, 2026);
  EXPECT_EQ(t->month, 12);
  EXPECT_EQ(t->day, 5);
  EXPECT_EQ(t->hour, 21);
  EXPECT_EQ(t->minute, 3);
  EXPECT_EQ(t->second, 7);
}

TEST(ParseFixedTime, RejectsMalformedText) {
  for (const char* text : {"", "2026-12-05", "2026-12-05 21:03", "2026-12-05 21:03:07 ",
                           " 2026-12-05 21:03:07", "2026/12/05 21:03:07", "2026-12-05T21:03:07",
                           "2026-1-05 21:03:07x", "2026-12-5 21:03:07", "2026-12-05 21:3:07",
                           "20a6-12-05 21:03:07", "2026-12-05 21:03:-7"}) {
    EXPECT_FALSE(ParseFixedTime(text).has_value()) << text;
  }
}

TEST(ParseFixedTime, ChecksRanges) {
  for (const char* text : {"2026-00-10 00:00:00", "2026-13-10 00:00:00", "2026-01-00 00:00:00",
                           "2026-01-32 00:00:00", "2026-04-31 00:00:00", "2026-02-29 00:00:00",
                           "1900-02-29 00:00:00", "2026-01-01 24:00:00", "2026-01-01 23:60:00",
                           "2026-01-01 23:59:60", "0000-01-01 00:00:00"}) {
    EXPECT_FALSE(ParseFixedTime(text).has_value()) << text;
  }
  for (const char* text : {"2024-02-29 00:00:00", "2000-02-29 23:59:59", "2026-12-31 00:00:00",
                           "2026-04-30 12:30:45"}) {
    EXPECT_TRUE(ParseFixedTime(text).has_value()) << text;
  }
}

TEST(Format, WritesThePatternLetters) {
  DateTime t{2026, 12, 5, 21, 3, 7};
  EXPECT_EQ(Format(t, "dd/mm/yy hh:nn:ss"), "05/12/26 21:03:07");
  EXPECT_EQ(Format(t, "yyyymmdd"), "20261205");
  EXPECT_EQ(Format(t, "dd/mm/yyyy hh:nn:ss"), "05/12/2026 21:03:07");
  // "mm" is always the month, even after the hour.
  EXPECT_EQ(Format(t, "hh:mm"), "21:12");
  // Every other character, single pattern letters included, is copied.
  EXPECT_EQ(Format(t, "[d-y] h n s x"), "[d-y] h n s x");
  EXPECT_EQ(Format(t, ""), "");
}

TEST(Format, PadsSmallValuesAndTakesTheLastTwoYearDigits) {
  DateTime t{2005, 1, 2, 0, 0, 9};
  EXPECT_EQ(Format(t, "yy yyyy mm dd hh nn ss"), "05 2005 01 02 00 00 09");
  DateTime early{987, 3, 4, 5, 6, 7};
  EXPECT_EQ(Format(early, "yyyy/yy"), "0987/87");
}

TEST(SystemClock, FixedTimeIsReturnedEveryTime) {
  DateTime fixed = *ParseFixedTime("2026-12-05 21:03:07");
  std::unique_ptr<Clock> clock = MakeSystemClock(fixed);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Format(clock->Now(), "yyyy-mm-dd hh:nn:ss"), "2026-12-05 21:03:07");
  }
}

TEST(SystemClock, LocalTimeIsAValidDate) {
  std::unique_ptr<Clock> clock = MakeSystemClock();
  DateTime now = clock->Now();
  EXPECT_GE(now.year, 2000);
  // Whatever the machine's time, it reads back as a valid fixed time.
  EXPECT_TRUE(ParseFixedTime(Format(now, "yyyy-mm-dd hh:nn:ss")).has_value());
}

}  // namespace
}  // namespace mlx::clock
