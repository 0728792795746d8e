// The Jet functions that queries call, registered on every connection as SQLite functions: the
// reading of arguments as Jet reads them and the results, shared by the families of functions
// (functions_text.cc, functions_numbers.cc, functions_dates.cc), and their registration.
#include "platform/db/functions.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "platform/db/internal.h"

namespace mlx::db::internal {

namespace {

// A decimal number written as text: an optional sign, digits with an optional decimal point, an
// optional exponent, and nothing else (no hexadecimal, no "inf" or "nan", which strtod takes).
bool DecimalText(std::string_view s, double* d) {
  auto digit = [&](std::size_t i) {
    return i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]));
  };
  if (s.empty()) return false;
  const std::size_t begin = s[0] == '+' ? 1 : 0;  // from_chars takes a minus sign only
  std::size_t i = 0, digits = 0;
  if (s[i] == '+' || s[i] == '-') ++i;
  for (; digit(i); ++i) ++digits;
  if (i < s.size() && s[i] == '.') {
    for (++i; digit(i); ++i) ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (!digit(i)) return false;
    while (digit(i)) ++i;
  }
  if (i != s.size()) return false;
  auto [end, ec] = std::from_chars(s.data() + begin, s.data() + s.size(), *d);
  return ec == std::errc() && end == s.data() + s.size();
}

}  // namespace

bool IsNullArg(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

std::string TextOf(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return std::to_string(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return NumberText(sqlite3_value_double(v));
    case SQLITE_NULL: return "";
    default: {
      const unsigned char* p = sqlite3_value_text(v);
      return p ? std::string(reinterpret_cast<const char*>(p),
                             static_cast<std::size_t>(sqlite3_value_bytes(v)))
               : "";
    }
  }
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void ResultNumber(sqlite3_context* ctx, double d) {
  if (d == std::trunc(d) && std::fabs(d) < 9e15) {
    sqlite3_result_int64(ctx, static_cast<std::int64_t>(d));
  } else {
    sqlite3_result_double(ctx, d);
  }
}

std::string_view TextView(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  if (!p) return {};
  return {reinterpret_cast<const char*>(p), static_cast<std::size_t>(sqlite3_value_bytes(v))};
}

bool NumberOf(sqlite3_value* v, double* d) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: *d = static_cast<double>(sqlite3_value_int64(v)); return true;
    case SQLITE_FLOAT: *d = sqlite3_value_double(v); return true;
    case SQLITE_NULL: return false;
    default: {
      std::string_view s = TextView(v);
      while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
      while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
      if (s.empty()) return false;
      if (DecimalText(s, d)) return true;
      if (SameName(s, "TRUE") || SameName(s, "VERO")) {
        *d = -1;
        return true;
      }
      if (SameName(s, "FALSE") || SameName(s, "FALSO")) {
        *d = 0;
        return true;
      }
      return false;
    }
  }
}

bool DateOf(sqlite3_value* v, double* d) {
  if (sqlite3_value_type(v) == SQLITE_INTEGER || sqlite3_value_type(v) == SQLITE_FLOAT) {
    *d = sqlite3_value_double(v);
    return true;
  }
  if (sqlite3_value_type(v) == SQLITE_TEXT) {
    std::string s = TextOf(v);
    return ParseStoredDate(s, d);
  }
  return false;
}

double BankersRound(double x, int digits) {
  double scale = std::pow(10.0, digits);
  double y = x * scale;
  double r = std::nearbyint(y);  // the default rounding mode takes a half to the even number
  return r / scale;
}

void TypeMismatch(sqlite3_context* ctx) { sqlite3_result_error(ctx, "Data type mismatch.", -1); }

void RegisterFunctions(sqlite3* db, clock::Clock* clock) {
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, static_cast<int>(kMaxValueBytes));
  for (auto rows : {TextFunctions(), NumberFunctions(), DateFunctions()}) {
    for (const FunctionRow& r : rows) {
      int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS | (r.deterministic ? SQLITE_DETERMINISTIC : 0);
      // Only the clock's functions use the user data.
      sqlite3_create_function_v2(db, r.name, r.args, flags, r.deterministic ? nullptr : clock,
                                 r.fn, nullptr, nullptr, nullptr);
    }
  }
}

}  // namespace mlx::db::internal
