// The Jet functions that queries call, registered on every connection as SQLite functions, Jet's
// LIKE (wildcards * ? # [list], also the % and _ of the ADO dialect; without regard to case), and
// the conversion of a column's values when its type changes.
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/table_model.h"
#include "platform/text/text.h"

namespace mlx::db::internal {

namespace {

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

// VBA's Val: the leading number of a text, blanks ignored.
double ValOf(std::string_view s) {
  std::string digits;
  std::size_t i = 0;
  auto skip = [&]() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
  };
  skip();
  if (i + 1 < s.size() && s[i] == '&' && (s[i + 1] == 'H' || s[i + 1] == 'h')) {
    i += 2;
    std::int64_t v = 0;
    while (i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i]))) {
      v = v * 16 + std::stoi(std::string(1, s[i]), nullptr, 16);
      ++i;
    }
    return static_cast<double>(v);
  }
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) digits += s[i++];
  bool dot = false, exp = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == ' ' || c == '\t') continue;
    if (std::isdigit(static_cast<unsigned char>(c))) {
      digits += c;
    } else if (c == '.' && !dot && !exp) {
      dot = true;
      digits += c;
    } else if ((c == 'e' || c == 'E' || c == 'd' || c == 'D') && !exp) {
      exp = true;
      digits += 'e';
      if (i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-')) digits += s[++i];
    } else {
      break;
    }
  }
  return std::strtod(digits.c_str(), nullptr);
}

// The text of a text or binary value, without a copy (valid until the value changes).
std::string_view TextView(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  if (!p) return {};
  return {reinterpret_cast<const char*>(p), static_cast<std::size_t>(sqlite3_value_bytes(v))};
}

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

// A number from a value; false when the value is text that is not a number. Blanks around the
// number are allowed; True and False (also in Italian) are -1 and 0.
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

// A date from a value: a day number, or a text date (ISO, or day first).
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

double BankersRound(double x, int digits = 0) {
  double scale = std::pow(10.0, digits);
  double y = x * scale;
  double r = std::nearbyint(y);  // the default rounding mode takes a half to the even number
  return r / scale;
}

void TypeMismatch(sqlite3_context* ctx) { sqlite3_result_error(ctx, "Data type mismatch.", -1); }

// ---- text functions

void FnConcat(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0]) && IsNullArg(a[1])) return sqlite3_result_null(ctx);
  ResultText(ctx, TextOf(a[0]) + TextOf(a[1]));
}

void FnLen(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, static_cast<std::int64_t>(text::Length(TextOf(a[0]))));
}

bool CountArg(sqlite3_context* ctx, sqlite3_value* v, std::int64_t* n) {
  double d = 0;
  if (!NumberOf(v, &d) || d < 0) {
    sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
    return false;
  }
  *n = static_cast<std::int64_t>(BankersRound(d));
  return true;
}

void FnLeft(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  std::int64_t n;
  if (!CountArg(ctx, a[1], &n)) return;
  ResultText(ctx, text::Left(TextOf(a[0]), static_cast<std::size_t>(n)));
}

void FnRight(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  std::int64_t n;
  if (!CountArg(ctx, a[1], &n)) return;
  ResultText(ctx, text::Right(TextOf(a[0]), static_cast<std::size_t>(n)));
}

void FnMid(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  std::int64_t start, count = -1;
  if (!CountArg(ctx, a[1], &start)) return;
  if (start < 1) return sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
  if (argc > 2 && !CountArg(ctx, a[2], &count)) return;
  ResultText(ctx, text::Mid(TextOf(a[0]), static_cast<std::size_t>(start - 1),
                            count < 0 ? std::string_view::npos : static_cast<std::size_t>(count)));
}

void FnInstr(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  std::int64_t start = 1;
  int base = 0;
  if (argc >= 3) {
    if (!CountArg(ctx, a[0], &start)) return;
    if (start < 1) return sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
    base = 1;
  }
  if (IsNullArg(a[base]) || IsNullArg(a[base + 1])) return sqlite3_result_null(ctx);
  std::string hay = text::FoldKey(TextOf(a[base]));
  std::string needle = text::FoldKey(TextOf(a[base + 1]));
  std::string tail = text::Mid(hay, static_cast<std::size_t>(start - 1));
  std::size_t skipped = hay.size() - tail.size();
  std::size_t at = tail.find(needle);
  if (at == std::string::npos) return sqlite3_result_int64(ctx, 0);
  sqlite3_result_int64(
      ctx, static_cast<std::int64_t>(text::Length(std::string_view(hay).substr(0, skipped + at)) + 1));
}

void FnUcase(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  ResultText(ctx, text::ToUpper(TextOf(a[0])));
}

void FnLcase(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  ResultText(ctx, text::ToLower(TextOf(a[0])));
}

template <bool kLeft, bool kRight>
void FnTrim(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  std::string s = TextOf(a[0]);
  std::size_t b = 0, e = s.size();
  if (kLeft) while (b < e && s[b] == ' ') ++b;
  if (kRight) while (e > b && s[e - 1] == ' ') --e;
  ResultText(ctx, s.substr(b, e - b));
}

void FnSpace(sqlite3_context* ctx, int, sqlite3_value** a) {
  std::int64_t n;
  if (!CountArg(ctx, a[0], &n)) return;
  ResultText(ctx, std::string(static_cast<std::size_t>(n), ' '));
}

void FnChr(sqlite3_context* ctx, int, sqlite3_value** a) {
  std::int64_t n;
  if (!CountArg(ctx, a[0], &n)) return;
  if (n > 255) return sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
  std::string latin1(1, static_cast<char>(n));
  ResultText(ctx, text::Cp1252ToUtf8(latin1));
}

void FnAsc(sqlite3_context* ctx, int, sqlite3_value** a) {
  std::string s = TextOf(a[0]);
  if (s.empty()) return sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
  unsigned char c = static_cast<unsigned char>(s[0]);
  std::int64_t cp = c;
  if (c >= 0xC0 && s.size() >= 2) cp = ((c & 0x1F) << 6) | (static_cast<unsigned char>(s[1]) & 0x3F);
  sqlite3_result_int64(ctx, cp);
}

void FnStrComp(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0]) || IsNullArg(a[1])) return sqlite3_result_null(ctx);
  int c = text::FoldKey(TextOf(a[0])).compare(text::FoldKey(TextOf(a[1])));
  sqlite3_result_int(ctx, c < 0 ? -1 : (c > 0 ? 1 : 0));
}

// ---- conversions

void FnVal(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_error(ctx, "Invalid use of Null.", -1);
  ResultNumber(ctx, ValOf(TextOf(a[0])));
}

void FnCstr(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_error(ctx, "Invalid use of Null.", -1);
  ResultText(ctx, TextOf(a[0]));
}

template <std::int64_t kMin, std::int64_t kMax>
void FnCint(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_error(ctx, "Invalid use of Null.", -1);
  double d;
  if (!NumberOf(a[0], &d)) return TypeMismatch(ctx);
  d = BankersRound(d);
  if (d < static_cast<double>(kMin) || d > static_cast<double>(kMax)) {
    return sqlite3_result_error(ctx, "Overflow.", -1);
  }
  sqlite3_result_int64(ctx, static_cast<std::int64_t>(d));
}

void FnCdbl(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_error(ctx, "Invalid use of Null.", -1);
  double d;
  if (!NumberOf(a[0], &d)) return TypeMismatch(ctx);
  sqlite3_result_double(ctx, d);
}

void FnCcur(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_error(ctx, "Invalid use of Null.", -1);
  double d;
  if (!NumberOf(a[0], &d)) return TypeMismatch(ctx);
  ResultNumber(ctx, BankersRound(d, 4));
}

void FnCbool(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_error(ctx, "Invalid use of Null.", -1);
  double d;
  if (!NumberOf(a[0], &d)) return TypeMismatch(ctx);
  sqlite3_result_int(ctx, d != 0 ? -1 : 0);
}

void FnCdate(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_error(ctx, "Invalid use of Null.", -1);
  double d;
  if (DateOf(a[0], &d)) return sqlite3_result_double(ctx, d);
  std::string s = TextOf(a[0]);
  if (ParseJetDate(s, false, &d)) return sqlite3_result_double(ctx, d);
  TypeMismatch(ctx);
}

template <int kMode>  // 0 Int (floor), 1 Fix (towards zero), 2 Sgn
void FnIntFix(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  double d;
  if (!NumberOf(a[0], &d)) return TypeMismatch(ctx);
  if (kMode == 0) return ResultNumber(ctx, std::floor(d));
  if (kMode == 1) return ResultNumber(ctx, std::trunc(d));
  sqlite3_result_int(ctx, d > 0 ? 1 : (d < 0 ? -1 : 0));
}

void FnRound(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  double d, digits = 0;
  if (!NumberOf(a[0], &d)) return TypeMismatch(ctx);
  if (argc > 1 && !NumberOf(a[1], &digits)) return TypeMismatch(ctx);
  ResultNumber(ctx, BankersRound(d, static_cast<int>(digits)));
}

// ---- dates

// The clock's time as a day number; the clock is the function's user data.
double NowDays(sqlite3_context* ctx) {
  return clock::DayNumberOf(static_cast<clock::Clock*>(sqlite3_user_data(ctx))->Now());
}
void FnNow(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_double(ctx, NowDays(ctx)); }
void FnDate(sqlite3_context* ctx, int, sqlite3_value**) {
  sqlite3_result_double(ctx, std::floor(NowDays(ctx)));
}
void FnTime(sqlite3_context* ctx, int, sqlite3_value**) {
  double n = NowDays(ctx);
  sqlite3_result_double(ctx, n - std::floor(n));
}

struct Parts {
  int y, m, d, hh, mm, ss;
};

bool PartsOf(sqlite3_context* ctx, sqlite3_value* v, Parts* p, double* days = nullptr) {
  double d;
  if (!DateOf(v, &d)) {
    TypeMismatch(ctx);
    return false;
  }
  CivilFromDays(d, &p->y, &p->m, &p->d, &p->hh, &p->mm, &p->ss);
  if (days) *days = d;
  return true;
}

int WeekdayOf(double days, int first_day) {
  // Day 0 (30/12/1899) was a Saturday, weekday 7 with Sunday first.
  std::int64_t whole = static_cast<std::int64_t>(std::floor(days));
  int sunday_based = static_cast<int>(((whole + 6) % 7 + 7) % 7) + 1;  // 1 = Sunday
  return ((sunday_based - first_day) % 7 + 7) % 7 + 1;
}

template <int kPart>
void FnPart(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  Parts p;
  double days;
  if (!PartsOf(ctx, a[0], &p, &days)) return;
  int v = 0;
  switch (kPart) {
    case 0: v = p.y; break;
    case 1: v = p.m; break;
    case 2: v = p.d; break;
    case 3: v = p.hh; break;
    case 4: v = p.mm; break;
    case 5: v = p.ss; break;
    default: {
      double first = 1;
      if (argc > 1) NumberOf(a[1], &first);
      v = WeekdayOf(days, first < 1 ? 1 : static_cast<int>(first));
    }
  }
  sqlite3_result_int(ctx, v);
}

double SerialDate(double y, double m, double d) {
  double months = y * 12 + (m - 1);
  double yy = std::floor(months / 12);
  double mm = months - yy * 12 + 1;
  return DaysFromCivil(static_cast<int>(yy), static_cast<int>(mm), 1) + d - 1;
}

void FnDateSerial(sqlite3_context* ctx, int, sqlite3_value** a) {
  double y, m, d;
  if (!NumberOf(a[0], &y) || !NumberOf(a[1], &m) || !NumberOf(a[2], &d)) return TypeMismatch(ctx);
  if (y >= 0 && y < 30) y += 2000;
  else if (y >= 30 && y < 100) y += 1900;
  sqlite3_result_double(ctx, SerialDate(y, m, d));
}

void FnTimeSerial(sqlite3_context* ctx, int, sqlite3_value** a) {
  double h, m, s;
  if (!NumberOf(a[0], &h) || !NumberOf(a[1], &m) || !NumberOf(a[2], &s)) return TypeMismatch(ctx);
  sqlite3_result_double(ctx, (h * 3600 + m * 60 + s) / 86400.0);
}

double Interval(const std::string& unit) {
  if (unit == "D" || unit == "Y" || unit == "W") return 1;
  if (unit == "WW") return 7;
  if (unit == "H") return 1.0 / 24;
  if (unit == "N") return 1.0 / 1440;
  if (unit == "S") return 1.0 / 86400;
  return 0;
}

void FnDateAdd(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[2])) return sqlite3_result_null(ctx);
  std::string unit = Upper(TextOf(a[0]));
  double n;
  Parts p;
  double days;
  if (!NumberOf(a[1], &n)) return TypeMismatch(ctx);
  if (!PartsOf(ctx, a[2], &p, &days)) return;
  n = std::trunc(n);
  if (unit == "YYYY" || unit == "Q" || unit == "M") {
    double months = n * (unit == "YYYY" ? 12 : unit == "Q" ? 3 : 1);
    double first = SerialDate(p.y, p.m + months, 1);
    int y2, m2, d2, h2, mi2, s2;
    CivilFromDays(first, &y2, &m2, &d2, &h2, &mi2, &s2);
    double next_month = SerialDate(y2, m2 + 1, 1);
    int last_day = static_cast<int>(next_month - first);
    double result = first + std::min(p.d, last_day) - 1;
    double frac = std::fabs(days - std::trunc(days));
    return sqlite3_result_double(ctx, result >= 0 ? result + frac : result - frac);
  }
  double step = Interval(unit);
  if (step == 0) return sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
  sqlite3_result_double(ctx, days + n * step);
}

void FnDateDiff(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[1]) || IsNullArg(a[2])) return sqlite3_result_null(ctx);
  std::string unit = Upper(TextOf(a[0]));
  Parts p1, p2;
  double d1, d2;
  if (!PartsOf(ctx, a[1], &p1, &d1) || !PartsOf(ctx, a[2], &p2, &d2)) return;
  std::int64_t r = 0;
  if (unit == "YYYY") r = p2.y - p1.y;
  else if (unit == "Q") r = (p2.y * 4 + (p2.m - 1) / 3) - (p1.y * 4 + (p1.m - 1) / 3);
  else if (unit == "M") r = (p2.y * 12 + p2.m) - (p1.y * 12 + p1.m);
  else if (unit == "D" || unit == "Y") r = static_cast<std::int64_t>(std::floor(d2) - std::floor(d1));
  else if (unit == "W" || unit == "WW") r = static_cast<std::int64_t>((std::floor(d2) - std::floor(d1)) / 7);
  else if (unit == "H") r = static_cast<std::int64_t>(std::floor(d2 * 24 + 1e-9) - std::floor(d1 * 24 + 1e-9));
  else if (unit == "N") r = static_cast<std::int64_t>(std::floor(d2 * 1440 + 1e-9) - std::floor(d1 * 1440 + 1e-9));
  else if (unit == "S") r = std::llround(d2 * 86400) - std::llround(d1 * 86400);
  else return sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
  sqlite3_result_int64(ctx, r);
}

void FnDatePart(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[1])) return sqlite3_result_null(ctx);
  std::string unit = Upper(TextOf(a[0]));
  Parts p;
  double days;
  if (!PartsOf(ctx, a[1], &p, &days)) return;
  int v;
  if (unit == "YYYY") v = p.y;
  else if (unit == "Q") v = (p.m - 1) / 3 + 1;
  else if (unit == "M") v = p.m;
  else if (unit == "D") v = p.d;
  else if (unit == "Y") v = static_cast<int>(std::floor(days) - DaysFromCivil(p.y, 1, 1)) + 1;
  else if (unit == "W") v = WeekdayOf(days, 1);
  else if (unit == "H") v = p.hh;
  else if (unit == "N") v = p.mm;
  else if (unit == "S") v = p.ss;
  else return sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
  sqlite3_result_int(ctx, v);
}

// ---- Format

const char* kMonths[] = {"gennaio", "febbraio", "marzo",     "aprile",  "maggio",   "giugno",
                         "luglio",  "agosto",   "settembre", "ottobre", "novembre", "dicembre"};
const char* kDays[] = {"domenica", "lunedì", "martedì", "mercoledì", "giovedì", "venerdì", "sabato"};

std::string Two(int v) {
  char b[16];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}

std::string FormatDate(double days, const std::string& fmt) {
  int y, m, d, hh, mi, ss;
  CivilFromDays(days, &y, &m, &d, &hh, &mi, &ss);
  std::string out;
  std::string lower = text::ToLower(fmt);
  bool last_was_hour = false;
  bool twelve_hours = lower.find("am/pm") != std::string::npos;
  for (std::size_t i = 0; i < fmt.size();) {
    auto run = [&](char c) {
      std::size_t j = i;
      while (j < lower.size() && lower[j] == c) ++j;
      return j - i;
    };
    char c = lower[i];
    if (fmt[i] == '"') {
      std::size_t close = fmt.find('"', i + 1);
      if (close == std::string::npos) close = fmt.size();
      out += fmt.substr(i + 1, close - i - 1);
      i = close + 1;
      continue;
    }
    if (fmt[i] == '\\' && i + 1 < fmt.size()) {
      out += fmt[i + 1];
      i += 2;
      continue;
    }
    if (lower.compare(i, 5, "am/pm") == 0) {
      out += hh < 12 ? fmt.substr(i, 2) : std::string(fmt[i] == 'a' ? "pm" : "PM");
      i += 5;
      continue;
    }
    std::size_t n = (c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 'n' || c == 's' ||
                     c == 'q' || c == 'w')
                        ? run(c)
                        : 0;
    if (n == 0) {
      out += fmt[i++];
      continue;
    }
    bool minutes_m = false;
    if (c == 'm' && n <= 2) {
      // m right after an hour, or right before seconds, means minutes.
      std::size_t k = i + n;
      while (k < lower.size() && !std::isalpha(static_cast<unsigned char>(lower[k]))) ++k;
      minutes_m = last_was_hour || (k < lower.size() && lower[k] == 's');
    }
    if (c == 'd') {
      if (n == 1) out += std::to_string(d);
      else if (n == 2) out += Two(d);
      else if (n == 3) out += std::string(kDays[WeekdayOf(days, 1) - 1]).substr(0, 3);
      else out += kDays[WeekdayOf(days, 1) - 1];
    } else if (c == 'm' && minutes_m) {
      out += n == 1 ? std::to_string(mi) : Two(mi);
    } else if (c == 'm') {
      if (n == 1) out += std::to_string(m);
      else if (n == 2) out += Two(m);
      else if (n == 3) out += std::string(kMonths[m - 1]).substr(0, 3);
      else out += kMonths[m - 1];
    } else if (c == 'y') {
      if (n <= 2 && n == 1) {
        out += std::to_string(static_cast<int>(std::floor(days) - DaysFromCivil(y, 1, 1)) + 1);
      } else if (n <= 3) {
        out += Two(y % 100);
      } else {
        out += std::to_string(y);
      }
    } else if (c == 'h') {
      int h = twelve_hours ? (hh % 12 == 0 ? 12 : hh % 12) : hh;
      out += n == 1 ? std::to_string(h) : Two(h);
    } else if (c == 'n') {
      out += n == 1 ? std::to_string(mi) : Two(mi);
    } else if (c == 's') {
      out += n == 1 ? std::to_string(ss) : Two(ss);
    } else if (c == 'q') {
      out += std::to_string((m - 1) / 3 + 1);
    } else if (c == 'w') {
      out += std::to_string(WeekdayOf(days, 1));
    }
    last_was_hour = c == 'h';
    i += n;
  }
  return out;
}

// A date as text in the General Date form: the day, the time, or both.
std::string GeneralDate(double days) {
  double whole = std::trunc(days);
  if (days == whole) return FormatDate(days, "dd/mm/yyyy");
  if (whole == 0) return FormatDate(days, "hh:nn:ss");
  return FormatDate(days, "dd/mm/yyyy hh:nn:ss");
}

std::string GroupThousands(const std::string& digits) {
  std::string out;
  int count = 0;
  for (std::size_t i = digits.size(); i-- > 0;) {
    out.insert(out.begin(), digits[i]);
    if (++count % 3 == 0 && i > 0) out.insert(out.begin(), ',');
  }
  return out;
}

// Literal text of a format: "quoted" parts and \c lose their marks.
std::string Literal(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '"') continue;
    if (s[i] == '\\' && i + 1 < s.size()) ++i;
    out += s[i];
  }
  return out;
}

std::string FormatNumber(double x, std::string fmt) {
  std::string prefix, suffix, body;
  std::size_t first = fmt.find_first_of("0#.,");
  std::size_t last = fmt.find_last_of("0#.,");
  if (first == std::string::npos) return Literal(fmt);
  prefix = Literal(fmt.substr(0, first));
  body = fmt.substr(first, last - first + 1);
  suffix = Literal(fmt.substr(last + 1));
  bool percent = (prefix + suffix).find('%') != std::string::npos;
  if (percent) x *= 100;
  bool thousands = body.find(',') != std::string::npos;
  std::size_t dot = body.find('.');
  std::string int_part = dot == std::string::npos ? body : body.substr(0, dot);
  std::string frac_part = dot == std::string::npos ? "" : body.substr(dot + 1);
  int min_int = 0;
  for (char c : int_part) min_int += c == '0';
  int max_frac = static_cast<int>(frac_part.size());
  int min_frac = 0;
  for (char c : frac_part) min_frac += c == '0';
  double scale = std::pow(10.0, max_frac);
  double rounded = std::round(std::fabs(x) * scale) / scale;  // half away from zero
  char buf[128];
  std::snprintf(buf, sizeof buf, "%.*f", max_frac, rounded);
  std::string s = buf;
  std::string ip = s.substr(0, s.find('.'));
  std::string fp = s.find('.') == std::string::npos ? "" : s.substr(s.find('.') + 1);
  while (static_cast<int>(fp.size()) > min_frac && !fp.empty() && fp.back() == '0') fp.pop_back();
  if (ip == "0" && min_int == 0) ip.clear();
  while (static_cast<int>(ip.size()) < min_int) ip.insert(ip.begin(), '0');
  if (thousands) ip = GroupThousands(ip);
  std::string out = ip;
  if (!fp.empty()) out += "." + fp;
  else if (dot != std::string::npos && max_frac == 0) out += "";
  bool negative = x < 0 && rounded != 0;
  return (negative ? "-" : "") + prefix + out + suffix;
}

bool LooksLikeDateFormat(const std::string& fmt) {
  std::string l = text::ToLower(fmt);
  bool in_quote = false;
  for (char c : l) {
    if (c == '"') in_quote = !in_quote;
    if (in_quote) continue;
    if (c == '0' || c == '#') return false;
    if (c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 'n' || c == 's') return true;
  }
  return false;
}

void FnFormat(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  std::string fmt = argc > 1 ? TextOf(a[1]) : "";
  std::string key = text::ToLower(fmt);
  double x = 0;
  bool numeric = NumberOf(a[0], &x);
  double days = 0;
  bool dated = DateOf(a[0], &days);
  if (fmt.empty()) return ResultText(ctx, TextOf(a[0]));
  if (key == "general date") {
    if (!dated) return ResultText(ctx, TextOf(a[0]));
    return ResultText(ctx, GeneralDate(days));
  }
  static const std::pair<const char*, const char*> kNamedDates[] = {
      {"short date", "dd/mm/yyyy"}, {"medium date", "dd-mmm-yy"},
      {"long date", "dddd d mmmm yyyy"}, {"short time", "hh:nn"},
      {"medium time", "hh:nn AM/PM"}, {"long time", "hh:nn:ss"}};
  for (const auto& [name, pattern] : kNamedDates) {
    if (key == name) {
      if (!dated) return ResultText(ctx, TextOf(a[0]));
      return ResultText(ctx, FormatDate(days, pattern));
    }
  }
  if (key == "yes/no" || key == "true/false" || key == "on/off") {
    if (!numeric) return ResultText(ctx, TextOf(a[0]));
    const char* yes = key == "yes/no" ? "Yes" : key == "true/false" ? "True" : "On";
    const char* no = key == "yes/no" ? "No" : key == "true/false" ? "False" : "Off";
    return ResultText(ctx, x != 0 ? yes : no);
  }
  static const std::pair<const char*, const char*> kNamedNumbers[] = {
      {"fixed", "0.00"}, {"standard", "#,##0.00"}, {"percent", "0.00%"}, {"currency", "#,##0.00"},
      {"scientific", ""}};
  if (key == "general number") {
    if (!numeric) return ResultText(ctx, TextOf(a[0]));
    return ResultText(ctx, NumberText(x));
  }
  for (const auto& [name, pattern] : kNamedNumbers) {
    if (key == name) {
      if (!numeric) return ResultText(ctx, TextOf(a[0]));
      if (*pattern == '\0') {
        char b[64];
        std::snprintf(b, sizeof b, "%.2E", x);
        return ResultText(ctx, b);
      }
      return ResultText(ctx, FormatNumber(x, pattern));
    }
  }
  if (fmt == ">" || fmt == "<") {
    std::string s = TextOf(a[0]);
    return ResultText(ctx, fmt == ">" ? text::ToUpper(s) : text::ToLower(s));
  }
  if (LooksLikeDateFormat(fmt)) {
    if (!dated) return ResultText(ctx, TextOf(a[0]));
    return ResultText(ctx, FormatDate(days, fmt));
  }
  if (!numeric) return ResultText(ctx, TextOf(a[0]));
  // Sections: positive;negative;zero.
  std::vector<std::string> sections;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= fmt.size(); ++i) {
    if (i == fmt.size() || fmt[i] == ';') {
      sections.push_back(fmt.substr(start, i - start));
      start = i + 1;
    }
  }
  if (x == 0 && sections.size() >= 3 && !sections[2].empty()) {
    return ResultText(ctx, FormatNumber(0, sections[2]));
  }
  if (x < 0 && sections.size() >= 2 && !sections[1].empty()) {
    return ResultText(ctx, FormatNumber(-x, sections[1]));
  }
  ResultText(ctx, FormatNumber(x, sections[0]));
}

// ---- type changes of a column: every value converted as Jet converts it, or the change refused

// How the values of a column whose type changes become values of the new type; made once per
// statement from the constant arguments of __mlx_convert(value, old type, new type, field).
struct Conversion {
  enum class To { kNone, kWhole, kReal, kScaled, kBoolean, kDate, kText };
  To to = To::kNone;
  std::string type;            // the new type as scripts write it
  double min = 0, max = 0;     // the range of numbers and dates
  std::int64_t low = 0, high = 0;  // kWhole: the range, exactly
  int decimals = 0;            // kScaled: the decimals kept
  std::size_t size = 0;        // kText: the characters a value may have, 0 without a limit
  bool from_date = false;      // the old values are dates (day numbers)
  bool from_boolean = false;   // the old values are Yes/No (any non-zero is true)
  std::string field;           // "table.column"
};

Conversion MakeConversion(std::string_view old_decl, std::string_view new_decl,
                          std::string_view field) {
  Conversion c;
  using To = Conversion::To;
  const JetType to = TypeFromDecl(new_decl);
  const int from = TypeFromDecl(old_decl).ado;
  c.from_date = from == kAdDate;
  c.from_boolean = from == kAdBoolean;
  c.field = std::string(field);
  auto set = [&](To kind, std::string type, double min = 0, double max = 0) {
    c.to = kind;
    c.type = std::move(type);
    c.min = min;
    c.max = max;
  };
  // Exclusive upper limits become the largest double below them.
  auto below = [](double limit) { return std::nextafter(limit, 0.0); };
  auto whole = [&](std::string type, std::int64_t low, std::int64_t high) {
    // 2^63 - 1 is no double: rounded numbers must stay below 2^63.
    const double max = high == INT64_MAX ? below(9223372036854775808.0) : static_cast<double>(high);
    set(To::kWhole, std::move(type), static_cast<double>(low), max);
    c.low = low;
    c.high = high;
  };
  switch (to.ado) {
    case kAdUnsignedTinyInt: whole("BYTE", 0, 255); break;
    case kAdSmallInt: whole("SHORT", INT16_MIN, INT16_MAX); break;
    case kAdInteger: whole("LONG", INT32_MIN, INT32_MAX); break;
    case kAdBigInt: whole("BIGINT", INT64_MIN, INT64_MAX); break;
    case kAdSingle: set(To::kReal, "SINGLE", -FLT_MAX, FLT_MAX); break;
    case kAdDouble: set(To::kReal, "DOUBLE", -DBL_MAX, DBL_MAX); break;
    case kAdCurrency:
      set(To::kScaled, "CURRENCY", -922337203685477.5808, 922337203685477.5807);
      c.decimals = 4;
      break;
    case kAdNumeric: {
      int precision = 0, scale = 0;
      if (std::sscanf(to.decl.c_str(), "DECIMAL(%d,%d)", &precision, &scale) == 2) {
        const double limit = below(std::pow(10.0, precision - scale));
        set(To::kScaled, to.decl, -limit, limit);
        c.decimals = scale;
      }
      break;
    }
    case kAdDate: set(To::kDate, "DATETIME", -657434, below(2958466)); break;  // years 100-9999
    case kAdBoolean: set(To::kBoolean, "YESNO"); break;
    case kAdVarWChar:
    case kAdWChar:
      set(To::kText, (to.ado == kAdWChar ? "CHAR(" : "TEXT(") + std::to_string(to.size) + ")");
      c.size = static_cast<std::size_t>(to.size);
      break;
    case kAdLongVarWChar: set(To::kText, "MEMO"); break;
    default: break;  // binary and GUID columns take the values as they are
  }
  return c;
}

// The text an old value becomes: dates in the General Date form, Yes/No as -1 or 0, numbers as
// CStr writes them. False for binary data.
bool ConvertedText(const Conversion& c, sqlite3_value* v, std::string* out) {
  double days = 0;
  switch (sqlite3_value_type(v)) {
    case SQLITE_BLOB: return false;
    case SQLITE_TEXT:
      if (c.from_date && ParseStoredDate(TextView(v), &days)) *out = GeneralDate(days);
      else *out = TextView(v);
      return true;
    default:
      if (c.from_date) *out = GeneralDate(sqlite3_value_double(v));
      else if (c.from_boolean) *out = sqlite3_value_double(v) != 0 ? "-1" : "0";
      else *out = TextOf(v);
      return true;
  }
}

// The number an old value stands for: dates as day numbers, Yes/No as -1 or 0, numeric text.
bool ConvertedNumber(const Conversion& c, sqlite3_value* v, double* d) {
  if (c.from_date) return DateOf(v, d) && std::isfinite(*d);
  if (!NumberOf(v, d)) return false;
  if (c.from_boolean && sqlite3_value_type(v) != SQLITE_TEXT) *d = *d != 0 ? -1 : 0;
  return std::isfinite(*d);
}

enum class Refusal { kNotConvertible, kOutOfRange, kTooLong };

// Fails the statement, naming the field, the value (as text, shortened) and what is wrong.
void RefuseValue(sqlite3_context* ctx, const Conversion& c, sqlite3_value* v, Refusal why) {
  constexpr std::size_t kShown = 50;
  std::string shown;
  if (!ConvertedText(c, v, &shown)) shown = "(dati binari)";
  if (text::Length(shown) > kShown) shown = text::Left(shown, kShown) + "...";
  std::string message = "Impossibile cambiare il tipo del campo '" + c.field + "': il valore '" +
                        shown + "' ";
  switch (why) {
    case Refusal::kNotConvertible: message += "non è convertibile in " + c.type + "."; break;
    case Refusal::kOutOfRange: message += "è fuori dall'intervallo di " + c.type + "."; break;
    case Refusal::kTooLong:
      message += "è più lungo di " + std::to_string(c.size) + " caratteri.";
      break;
  }
  sqlite3_result_error(ctx, message.data(), static_cast<int>(message.size()));
  // Not SQLITE_ERROR, whose texts may be read as syntax errors: the value could hold any words.
  sqlite3_result_error_code(ctx, SQLITE_MISMATCH);
}

void FnConvert(sqlite3_context* ctx, int, sqlite3_value** a) {
  using To = Conversion::To;
  sqlite3_value* v = a[0];
  const int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL) return sqlite3_result_null(ctx);
  Conversion made;
  const auto* c = static_cast<const Conversion*>(sqlite3_get_auxdata(ctx, 2));
  if (!c) {
    made = MakeConversion(TextView(a[1]), TextView(a[2]), TextView(a[3]));
    c = &made;
    sqlite3_set_auxdata(ctx, 2, new Conversion(made),
                        [](void* p) { delete static_cast<Conversion*>(p); });
  }
  if (c->to == To::kNone) return sqlite3_result_value(ctx, v);
  constexpr Refusal not_convertible = Refusal::kNotConvertible;
  constexpr Refusal out_of_range = Refusal::kOutOfRange;
  if (type == SQLITE_BLOB) return RefuseValue(ctx, *c, v, not_convertible);
  double d = 0;
  switch (c->to) {
    case To::kText: {
      std::string converted;
      const bool as_is = type == SQLITE_TEXT && !c->from_date;
      if (!as_is) ConvertedText(*c, v, &converted);
      if (c->size > 0 && text::Length(as_is ? TextView(v) : converted) > c->size) {
        return RefuseValue(ctx, *c, v, Refusal::kTooLong);
      }
      return as_is ? sqlite3_result_value(ctx, v) : ResultText(ctx, converted);
    }
    case To::kBoolean:
      if (!ConvertedNumber(*c, v, &d)) return RefuseValue(ctx, *c, v, not_convertible);
      return sqlite3_result_int(ctx, d != 0 ? -1 : 0);
    case To::kDate: {
      // A date column takes day numbers and the text dates the layer reads as dates.
      const bool ok = c->from_boolean ? ConvertedNumber(*c, v, &d) : DateOf(v, &d);
      if (!ok) return RefuseValue(ctx, *c, v, not_convertible);
      if (!(d >= c->min && d <= c->max)) return RefuseValue(ctx, *c, v, out_of_range);
      return sqlite3_result_double(ctx, d);
    }
    case To::kWhole:
      if (type == SQLITE_INTEGER && !c->from_boolean) {
        const std::int64_t i = sqlite3_value_int64(v);
        if (i < c->low || i > c->high) return RefuseValue(ctx, *c, v, out_of_range);
        return sqlite3_result_value(ctx, v);
      }
      if (!ConvertedNumber(*c, v, &d)) return RefuseValue(ctx, *c, v, not_convertible);
      d = BankersRound(d);
      if (!(d >= c->min && d <= c->max)) return RefuseValue(ctx, *c, v, out_of_range);
      return sqlite3_result_int64(ctx, static_cast<std::int64_t>(d));
    case To::kReal:
      if (!ConvertedNumber(*c, v, &d)) return RefuseValue(ctx, *c, v, not_convertible);
      if (!(d >= c->min && d <= c->max)) return RefuseValue(ctx, *c, v, out_of_range);
      return sqlite3_result_double(ctx, d);
    case To::kScaled:
      if (!ConvertedNumber(*c, v, &d)) return RefuseValue(ctx, *c, v, not_convertible);
      d = BankersRound(d, c->decimals);
      if (!(d >= c->min && d <= c->max)) return RefuseValue(ctx, *c, v, out_of_range);
      return ResultNumber(ctx, d);
    case To::kNone: break;
  }
  sqlite3_result_value(ctx, v);
}

// ---- LIKE

std::vector<char32_t> CodePoints(std::string_view s) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (int k = 1; k < len && i + static_cast<std::size_t>(k) < s.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0x3F);
    }
    out.push_back(cp);
    i += static_cast<std::size_t>(len);
  }
  return out;
}

bool LikeMatch(const std::vector<char32_t>& p, std::size_t pi, const std::vector<char32_t>& s,
               std::size_t si) {
  while (pi < p.size()) {
    char32_t c = p[pi];
    if (c == '*' || c == '%') {
      while (pi < p.size() && (p[pi] == '*' || p[pi] == '%')) ++pi;
      if (pi == p.size()) return true;
      for (std::size_t k = si; k <= s.size(); ++k) {
        if (LikeMatch(p, pi, s, k)) return true;
      }
      return false;
    }
    if (si >= s.size()) return false;
    if (c == '?' || c == '_') {
      ++pi, ++si;
    } else if (c == '#') {
      if (s[si] < '0' || s[si] > '9') return false;
      ++pi, ++si;
    } else if (c == '[') {
      std::size_t close = pi + 1;
      while (close < p.size() && p[close] != ']') ++close;
      if (close >= p.size()) return false;
      std::size_t k = pi + 1;
      bool negate = k < close && p[k] == '!';
      if (negate) ++k;
      bool hit = false;
      for (; k < close; ++k) {
        if (k + 2 < close && p[k + 1] == '-') {
          if (s[si] >= p[k] && s[si] <= p[k + 2]) hit = true;
          k += 2;
        } else if (p[k] == s[si]) {
          hit = true;
        }
      }
      if (hit == negate) return false;
      pi = close + 1;
      ++si;
    } else {
      if (c != s[si]) return false;
      ++pi, ++si;
    }
  }
  return si == s.size();
}

void FnLike(sqlite3_context* ctx, int, sqlite3_value** a) {
  // like(pattern, value): the LIKE operator calls it with the pattern first.
  if (IsNullArg(a[0]) || IsNullArg(a[1])) return sqlite3_result_null(ctx);
  auto pattern = CodePoints(text::FoldKey(TextOf(a[0])));
  auto value = CodePoints(text::FoldKey(TextOf(a[1])));
  sqlite3_result_int(ctx, LikeMatch(pattern, 0, value, 0) ? 1 : 0);
}

struct Registration {
  const char* name;
  int args;
  void (*fn)(sqlite3_context*, int, sqlite3_value**);
  bool deterministic;
};

}  // namespace

void RegisterFunctions(sqlite3* db, clock::Clock* clock) {
  static const Registration kFunctions[] = {
      {"jet_concat", 2, FnConcat, true},        {"jet_len", 1, FnLen, true},
      {"jet_left", 2, FnLeft, true},            {"jet_right", 2, FnRight, true},
      {"jet_mid", 2, FnMid, true},              {"jet_mid", 3, FnMid, true},
      {"jet_instr", 2, FnInstr, true},          {"jet_instr", 3, FnInstr, true},
      {"jet_instr", 4, FnInstr, true},          {"jet_ucase", 1, FnUcase, true},
      {"jet_lcase", 1, FnLcase, true},          {"jet_trim", 1, FnTrim<true, true>, true},
      {"jet_ltrim", 1, FnTrim<true, false>, true}, {"jet_rtrim", 1, FnTrim<false, true>, true},
      {"jet_space", 1, FnSpace, true},          {"jet_chr", 1, FnChr, true},
      {"jet_asc", 1, FnAsc, true},              {"jet_strcomp", 2, FnStrComp, true},
      {"jet_strcomp", 3, FnStrComp, true},      {"jet_val", 1, FnVal, true},
      {"jet_cstr", 1, FnCstr, true},
      {"jet_clng", 1, FnCint<-2147483648LL, 2147483647LL>, true},
      {"jet_cint", 1, FnCint<-32768, 32767>, true},
      {"jet_cdbl", 1, FnCdbl, true},            {"jet_ccur", 1, FnCcur, true},
      {"jet_cbool", 1, FnCbool, true},          {"jet_cdate", 1, FnCdate, true},
      {"jet_int", 1, FnIntFix<0>, true},        {"jet_fix", 1, FnIntFix<1>, true},
      {"jet_sgn", 1, FnIntFix<2>, true},        {"jet_round", 1, FnRound, true},
      {"jet_round", 2, FnRound, true},          {"jet_now", 0, FnNow, false},
      {"jet_date", 0, FnDate, false},           {"jet_time", 0, FnTime, false},
      {"jet_year", 1, FnPart<0>, true},         {"jet_month", 1, FnPart<1>, true},
      {"jet_day", 1, FnPart<2>, true},          {"jet_hour", 1, FnPart<3>, true},
      {"jet_minute", 1, FnPart<4>, true},       {"jet_second", 1, FnPart<5>, true},
      {"jet_weekday", 1, FnPart<6>, true},      {"jet_weekday", 2, FnPart<6>, true},
      {"jet_dateserial", 3, FnDateSerial, true}, {"jet_timeserial", 3, FnTimeSerial, true},
      {"jet_dateadd", 3, FnDateAdd, true},      {"jet_datediff", 3, FnDateDiff, true},
      {"jet_datediff", 4, FnDateDiff, true},    {"jet_datepart", 2, FnDatePart, true},
      {"jet_format", 1, FnFormat, true},        {"jet_format", 2, FnFormat, true},
      {"like", 2, FnLike, true},                {"__mlx_convert", 4, FnConvert, true},
  };
  for (const Registration& r : kFunctions) {
    int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS | (r.deterministic ? SQLITE_DETERMINISTIC : 0);
    // Only the clock's functions use the user data.
    sqlite3_create_function_v2(db, r.name, r.args, flags, r.deterministic ? nullptr : clock, r.fn,
                               nullptr, nullptr, nullptr);
  }
}

std::string ConvertColumnSql(std::string_view table, const ColumnDef& column,
                             std::string_view new_decl) {
  const std::string from = QuoteId(column.name);
  if (SameName(column.decl, new_decl)) return from;
  const std::string field = std::string(table) + "." + column.name;
  if (MakeConversion(column.decl, new_decl, field).to == Conversion::To::kNone) return from;
  return "__mlx_convert(" + from + ", " + QuoteText(column.decl) + ", " + QuoteText(new_decl) +
         ", " + QuoteText(field) + ")";
}

}  // namespace mlx::db::internal
