// The date and time functions of Jet that queries call (Now, Date, Time, Year ... Weekday,
// DateSerial, TimeSerial, DateAdd, DateDiff, DatePart), and Format with its named formats and its
// date and number patterns.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/db/functions.h"
#include "platform/db/internal.h"
#include "platform/text/text.h"

namespace mlx::db::internal {

namespace {


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
  if (!CivilFromDays(d, &p->y, &p->m, &p->d, &p->hh, &p->mm, &p->ss)) {
    sqlite3_result_error(ctx, kInvalidDate, -1);
    return false;
  }
  if (days) *days = d;
  return true;
}

// The result of a function that makes a date: an error when the date is outside the calendar.
void ResultDate(sqlite3_context* ctx, double days) {
  if (!clock::IsDayNumberInRange(days)) return sqlite3_result_error(ctx, kInvalidDate, -1);
  sqlite3_result_double(ctx, days);
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
      // The first day of the week: 1 (Sunday) to 7; 0, the system's, is Sunday here.
      double first = 1;
      if (argc > 1 && (!NumberOf(a[1], &first) || !(first >= 0 && first < 8))) {
        return sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
      }
      v = WeekdayOf(days, first < 1 ? 1 : static_cast<int>(first));
    }
  }
  sqlite3_result_int(ctx, v);
}

// The day number of day d of month m of year y, months and days counted on past the ends of
// the year and the month; NaN when the month falls outside the calendar.
double SerialDate(double y, double m, double d) {
  double months = y * 12 + (m - 1);
  double yy = std::floor(months / 12);
  if (!(yy >= 100 && yy <= 9999)) return std::nan("");
  double mm = months - yy * 12 + 1;
  return DaysFromCivil(static_cast<int>(yy), static_cast<int>(mm), 1) + d - 1;
}

void FnDateSerial(sqlite3_context* ctx, int, sqlite3_value** a) {
  double y, m, d;
  if (!NumberOf(a[0], &y) || !NumberOf(a[1], &m) || !NumberOf(a[2], &d)) return TypeMismatch(ctx);
  if (y >= 0 && y < 30) y += 2000;
  else if (y >= 30 && y < 100) y += 1900;
  ResultDate(ctx, SerialDate(y, m, d));
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
    if (!CivilFromDays(first, &y2, &m2, &d2, &h2, &mi2, &s2)) {
      return sqlite3_result_error(ctx, kInvalidDate, -1);
    }
    double result = first + std::min(p.d, clock::DaysInMonth(y2, m2)) - 1;
    double frac = std::fabs(days - std::trunc(days));
    return ResultDate(ctx, result >= 0 ? result + frac : result - frac);
  }
  double step = Interval(unit);
  if (step == 0) return sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
  ResultDate(ctx, days + n * step);
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

// A date and the parts of it that the patterns of Format write.
struct DateFields {
  double days = 0;
  int y = 0, m = 0, d = 0, hh = 0, mi = 0, ss = 0;
};

// The text of a run of n pattern letters c; minutes: an m that stands for minutes.
std::string FormatRun(const DateFields& t, char c, std::size_t n, bool minutes,
                      bool twelve_hours) {
  switch (c) {
    case 'd':
      if (n == 1) return std::to_string(t.d);
      if (n == 2) return Two(t.d);
      if (n == 3) return std::string(kDays[WeekdayOf(t.days, 1) - 1]).substr(0, 3);
      return kDays[WeekdayOf(t.days, 1) - 1];
    case 'm':
      if (minutes) return n == 1 ? std::to_string(t.mi) : Two(t.mi);
      if (n == 1) return std::to_string(t.m);
      if (n == 2) return Two(t.m);
      if (n == 3) return std::string(kMonths[t.m - 1]).substr(0, 3);
      return kMonths[t.m - 1];
    case 'y':
      if (n == 1) {
        return std::to_string(static_cast<int>(std::floor(t.days) - DaysFromCivil(t.y, 1, 1)) + 1);
      }
      return n <= 3 ? Two(t.y % 100) : std::to_string(t.y);
    case 'h': {
      int h = twelve_hours ? (t.hh % 12 == 0 ? 12 : t.hh % 12) : t.hh;
      return n == 1 ? std::to_string(h) : Two(h);
    }
    case 'n': return n == 1 ? std::to_string(t.mi) : Two(t.mi);
    case 's': return n == 1 ? std::to_string(t.ss) : Two(t.ss);
    case 'q': return std::to_string((t.m - 1) / 3 + 1);
    default: return std::to_string(WeekdayOf(t.days, 1));  // w
  }
}

// A number that is no date is written as the number.
std::string FormatDate(double days, const std::string& fmt) {
  if (!clock::IsDayNumberInRange(days)) return NumberText(days);
  DateFields t;
  t.days = days;
  CivilFromDays(days, &t.y, &t.m, &t.d, &t.hh, &t.mi, &t.ss);
  std::string out;
  std::string lower = text::ToLower(fmt);
  bool last_was_hour = false;
  bool twelve_hours = lower.find("am/pm") != std::string::npos;
  for (std::size_t i = 0; i < fmt.size();) {
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
      out += t.hh < 12 ? fmt.substr(i, 2) : std::string(fmt[i] == 'a' ? "pm" : "PM");
      i += 5;
      continue;
    }
    const char c = lower[i];
    if (std::string_view("dmyhnsqw").find(c) == std::string_view::npos) {
      out += fmt[i++];
      continue;
    }
    std::size_t n = lower.find_first_not_of(c, i);
    n = (n == std::string::npos ? lower.size() : n) - i;
    bool minutes = false;
    if (c == 'm' && n <= 2) {
      // m right after an hour, or right before seconds, means minutes.
      std::size_t k = i + n;
      while (k < lower.size() && !std::isalpha(static_cast<unsigned char>(lower[k]))) ++k;
      minutes = last_was_hour || (k < lower.size() && lower[k] == 's');
    }
    out += FormatRun(t, c, n, minutes, twelve_hours);
    last_was_hour = c == 'h';
    i += n;
  }
  return out;
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

// The value Format is given, read as a number and as a date where it can be.
struct FormatValue {
  sqlite3_value* v;
  bool numeric = false;
  double x = 0;
  bool dated = false;
  double days = 0;
};

// The named formats of dates and times, with their patterns.
constexpr std::pair<const char*, const char*> kNamedDates[] = {
    {"short date", "dd/mm/yyyy"}, {"medium date", "dd-mmm-yy"},   {"long date", "dddd d mmmm yyyy"},
    {"short time", "hh:nn"},      {"medium time", "hh:nn AM/PM"}, {"long time", "hh:nn:ss"}};

// Whether the format is a named one that writes a date (key: the name in lower case).
bool IsNamedDateFormat(const std::string& key) {
  return key == "general date" ||
         std::any_of(std::begin(kNamedDates), std::end(kNamedDates),
                     [&](const auto& named) { return key == named.first; });
}

// Format with a named format (General Date, Short Date, Yes/No, Fixed, ...); false for a
// format that is not one. A value that is no date, or no number, for the format stays as it is.
bool FormatNamed(const std::string& key, const FormatValue& value, std::string* out) {
  static const std::pair<const char*, const char*> kNamedNumbers[] = {
      {"fixed", "0.00"}, {"standard", "#,##0.00"}, {"percent", "0.00%"}, {"currency", "#,##0.00"},
      {"scientific", ""}};
  if (key == "general date") {
    *out = value.dated ? GeneralDate(value.days) : TextOf(value.v);
    return true;
  }
  for (const auto& [name, pattern] : kNamedDates) {
    if (key != name) continue;
    *out = value.dated ? FormatDate(value.days, pattern) : TextOf(value.v);
    return true;
  }
  bool yes_no = key == "yes/no", true_false = key == "true/false";
  if (yes_no || true_false || key == "on/off") {
    const char* yes = yes_no ? "Yes" : true_false ? "True" : "On";
    const char* no = yes_no ? "No" : true_false ? "False" : "Off";
    *out = !value.numeric ? TextOf(value.v) : value.x != 0 ? yes : no;
    return true;
  }
  if (key == "general number") {
    *out = value.numeric ? NumberText(value.x) : TextOf(value.v);
    return true;
  }
  for (const auto& [name, pattern] : kNamedNumbers) {
    if (key != name) continue;
    if (!value.numeric) {
      *out = TextOf(value.v);
    } else if (*pattern == '\0') {
      char b[64];
      std::snprintf(b, sizeof b, "%.2E", value.x);
      *out = b;
    } else {
      *out = FormatNumber(value.x, pattern);
    }
    return true;
  }
  return false;
}

// A number with a pattern of up to three sections: positive;negative;zero.
std::string FormatSections(double x, const std::string& fmt) {
  std::vector<std::string> sections;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= fmt.size(); ++i) {
    if (i == fmt.size() || fmt[i] == ';') {
      sections.push_back(fmt.substr(start, i - start));
      start = i + 1;
    }
  }
  if (x == 0 && sections.size() >= 3 && !sections[2].empty()) return FormatNumber(0, sections[2]);
  if (x < 0 && sections.size() >= 2 && !sections[1].empty()) return FormatNumber(-x, sections[1]);
  return FormatNumber(x, sections[0]);
}

void FnFormat(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  std::string fmt = argc > 1 ? TextOf(a[1]) : "";
  if (fmt.empty()) return ResultText(ctx, TextOf(a[0]));
  FormatValue value{a[0]};
  value.numeric = NumberOf(a[0], &value.x);
  value.dated = DateOf(a[0], &value.days);
  const std::string key = text::ToLower(fmt);
  // A number that is no date cannot be written as one.
  const bool no_date = value.dated && !clock::IsDayNumberInRange(value.days);
  std::string out;
  if (FormatNamed(key, value, &out)) {
    if (no_date && IsNamedDateFormat(key)) return sqlite3_result_error(ctx, kInvalidDate, -1);
    return ResultText(ctx, out);
  }
  if (fmt == ">" || fmt == "<") {
    std::string s = TextOf(a[0]);
    return ResultText(ctx, fmt == ">" ? text::ToUpper(s) : text::ToLower(s));
  }
  if (LooksLikeDateFormat(fmt)) {
    if (no_date) return sqlite3_result_error(ctx, kInvalidDate, -1);
    return ResultText(ctx, value.dated ? FormatDate(value.days, fmt) : TextOf(a[0]));
  }
  if (!value.numeric) return ResultText(ctx, TextOf(a[0]));
  ResultText(ctx, FormatSections(value.x, fmt));
}

constexpr FunctionRow kDateFunctions[] = {
    {"jet_now", 0, FnNow, false},
    {"jet_date", 0, FnDate, false},
    {"jet_time", 0, FnTime, false},
    {"jet_year", 1, FnPart<0>, true},
    {"jet_month", 1, FnPart<1>, true},
    {"jet_day", 1, FnPart<2>, true},
    {"jet_hour", 1, FnPart<3>, true},
    {"jet_minute", 1, FnPart<4>, true},
    {"jet_second", 1, FnPart<5>, true},
    {"jet_weekday", 1, FnPart<6>, true},
    {"jet_weekday", 2, FnPart<6>, true},
    {"jet_dateserial", 3, FnDateSerial, true},
    {"jet_timeserial", 3, FnTimeSerial, true},
    {"jet_dateadd", 3, FnDateAdd, true},
    {"jet_datediff", 3, FnDateDiff, true},
    {"jet_datediff", 4, FnDateDiff, true},
    {"jet_datepart", 2, FnDatePart, true},
    {"jet_format", 1, FnFormat, true},
    {"jet_format", 2, FnFormat, true},
};

}  // namespace

std::string GeneralDate(double days) {
  double whole = std::trunc(days);
  if (days == whole) return FormatDate(days, "dd/mm/yyyy");
  if (whole == 0) return FormatDate(days, "hh:nn:ss");
  return FormatDate(days, "dd/mm/yyyy hh:nn:ss");
}

std::span<const FunctionRow> DateFunctions() { return kDateFunctions; }

}  // namespace mlx::db::internal
