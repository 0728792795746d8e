// The exact edges of rules whose neighbours behave differently: a counter seed equal to the
// largest value present, the hour after midnight, the longest text size, and the century of a
// two-digit year.
#include <limits>

#include "fixture.h"

namespace mlx::db::testing {
namespace {

using BoundariesTest = DbTest;

// A seed at the largest value present must not hand out a value a row holds; one above it is
// taken as it is. (A seed below it is in the SQL tests.) Both kinds of counter: the table's key and
// a column of its own.
TEST_F(BoundariesTest, ACounterSeedAtTheLargestValueGoesOnAfterIt) {
  Run({"CREATE TABLE K (Id COUNTER PRIMARY KEY, n LONG)",
       "CREATE TABLE C (k LONG PRIMARY KEY, Num COUNTER)"});
  for (int i = 1; i <= 3; ++i) {
    Run({"INSERT INTO K (n) VALUES (" + std::to_string(i) + ")",
         "INSERT INTO C (k) VALUES (" + std::to_string(i) + ")"});
  }
  const char* tables[][2] = {{"K", "Id"}, {"C", "Num"}};
  for (const auto& [table, column] : tables) {
    SCOPED_TRACE(table);
    const std::string t = table, c = column;
    auto insert_and_read = [&](int k) {
      Run({t == "K" ? "INSERT INTO K (n) VALUES (0)"
                    : "INSERT INTO C (k) VALUES (" + std::to_string(k) + ")"});
      return Text(First("SELECT max(" + c + ") FROM " + t));
    };
    ASSERT_TRUE(conn_->SetSeed(t, c, 3).ok());  // the largest value present
    EXPECT_EQ(insert_and_read(100), "4");
    ASSERT_TRUE(conn_->SetSeed(t, c, 7).ok());  // past it
    EXPECT_EQ(insert_and_read(102), "7");
  }
}

TEST_F(BoundariesTest, HoursAroundMidnightAndNoon) {
  EXPECT_EQ(Text(First("SELECT Hour(#12:30 AM#) & ' ' & Hour(#12:30 PM#) & ' ' & Hour(#1:00 AM#) "
                       "& ' ' & Hour(#11:59:59 PM#)")),
            "0 12 1 23");
}

TEST_F(BoundariesTest, TextSizesRunUpTo255) {
  Run({"CREATE TABLE T (a TEXT(255), b CHAR(255))", "ALTER TABLE T ADD COLUMN c TEXT(255)"});
  EXPECT_EQ(ColumnOf("T", "a").defined_size, 255);
  for (const char* sql : {"CREATE TABLE U (a TEXT(256))", "CREATE TABLE U (a CHAR(256))",
                          "ALTER TABLE T ADD COLUMN d TEXT(256)",
                          "ALTER TABLE T ALTER COLUMN a TEXT(256)", "CREATE TABLE U (a TEXT(0))"}) {
    EXPECT_FALSE(conn_->Execute(sql).ok()) << sql;
  }
  EXPECT_EQ(ColumnOf("T", "a").defined_size, 255);
}

// A number in a type past what a 64-bit integer holds: in a statement it makes no type (it
// stopped the program before); in another tool's table a size that large limits nothing.
TEST_F(BoundariesTest, TypeNumbersPastA64BitInteger) {
  const std::string huge = "99999999999999999999";
  for (const std::string& type : {"TEXT(" + huge + ")", "COUNTER(" + huge + ", 1)",
                                  "COUNTER(1, -" + huge + ")", "DECIMAL(" + huge + ", 2)"}) {
    EXPECT_FALSE(conn_->Execute("CREATE TABLE U (a " + type + ")").ok()) << type;
  }
  Outside({"CREATE TABLE W (a VARCHAR(" + huge + "))"});
  Reopen();
  EXPECT_EQ(ColumnOf("W", "a").defined_size, std::numeric_limits<long>::max());
  Run({"INSERT INTO W (a) VALUES ('" + std::string(300, 'x') + "')"});
  EXPECT_EQ(Text(First("SELECT Len(a) FROM W")), "300");
}

// Two-digit years below 30 are of this century, from 30 of the last, in date literals and in
// DateSerial alike.
TEST_F(BoundariesTest, TwoDigitYearsTurnAt30) {
  EXPECT_EQ(Text(First("SELECT Year(#1/1/29#) & ' ' & Year(#1/1/30#) & ' ' & Year(#12/31/00#) & "
                       "' ' & Year(#1/1/99#)")),
            "2029 1930 2000 1999");
  EXPECT_EQ(Text(First("SELECT Year(DateSerial(29, 1, 1)) & ' ' & Year(DateSerial(30, 1, 1))")),
            "2029 1930");
}

}  // namespace
}  // namespace mlx::db::testing
