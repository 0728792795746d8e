// The pieces shared by the Jet functions that queries call (functions_text.cc,
// functions_numbers.cc, functions_dates.cc): reading arguments as Jet reads them, giving
// results, and the rows each family adds to the functions registered on a connection.
#pragma once

#include <sqlite3.h>

#include <span>
#include <string>
#include <string_view>

namespace mlx::db::internal {

bool IsNullArg(sqlite3_value* v);
// A value as text: numbers as Jet writes them, Null as empty text.
std::string TextOf(sqlite3_value* v);
// The text of a text or binary value, without a copy (valid until the value changes).
std::string_view TextView(sqlite3_value* v);
// A number from a value; false when the value is text that is not a number. Blanks around the
// number are allowed; True and False (also in Italian) are -1 and 0.
bool NumberOf(sqlite3_value* v, double* d);
// A date from a value: a day number, or a text date (ISO, or day first).
bool DateOf(sqlite3_value* v, double* d);
// Rounds to `digits` decimals, a half to the even number.
double BankersRound(double x, int digits = 0);

void ResultText(sqlite3_context* ctx, const std::string& s);
// A whole number as an integer, any other as a real.
void ResultNumber(sqlite3_context* ctx, double d);
void TypeMismatch(sqlite3_context* ctx);

// A date as text in the General Date form: the day, the time, or both.
std::string GeneralDate(double days);

// One SQLite function: its name, its number of arguments, and whether the same arguments always
// give the same result (the others read the clock, given as the function's user data).
struct FunctionRow {
  const char* name;
  int args;
  void (*fn)(sqlite3_context*, int, sqlite3_value**);
  bool deterministic;
};

std::span<const FunctionRow> TextFunctions();     // text, and LIKE
std::span<const FunctionRow> NumberFunctions();   // numbers, conversions, and type changes
std::span<const FunctionRow> DateFunctions();     // dates, times and Format

}  // namespace mlx::db::internal
