// The number and conversion functions of Jet that queries call (Val, CStr, CLng, CInt, CDbl,
// CCur, CBool, CDate, Int, Fix, Sgn, Round), and the conversion of a column's values when its
// type changes.
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/db/functions.h"
#include "platform/db/table_model.h"
#include "platform/text/text.h"

namespace mlx::db::internal {

namespace {

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
  if (!DateOf(a[0], &d) && !ParseJetDate(TextOf(a[0]), false, &d)) return TypeMismatch(ctx);
  if (!clock::IsDayNumberInRange(d)) return sqlite3_result_error(ctx, kInvalidDate, -1);
  sqlite3_result_double(ctx, d);
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
  if (!(digits >= 0)) return sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
  // A double holds at most 17 significant digits: more decimals leave any number as it is.
  if (digits > 17) return ResultNumber(ctx, d);
  ResultNumber(ctx, BankersRound(d, static_cast<int>(digits)));
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

constexpr FunctionRow kNumberFunctions[] = {
    {"jet_val", 1, FnVal, true},
    {"jet_cstr", 1, FnCstr, true},
    {"jet_clng", 1, FnCint<-2147483648LL, 2147483647LL>, true},
    {"jet_cint", 1, FnCint<-32768, 32767>, true},
    {"jet_cdbl", 1, FnCdbl, true},
    {"jet_ccur", 1, FnCcur, true},
    {"jet_cbool", 1, FnCbool, true},
    {"jet_cdate", 1, FnCdate, true},
    {"jet_int", 1, FnIntFix<0>, true},
    {"jet_fix", 1, FnIntFix<1>, true},
    {"jet_sgn", 1, FnIntFix<2>, true},
    {"jet_round", 1, FnRound, true},
    {"jet_round", 2, FnRound, true},
    {"__mlx_convert", 4, FnConvert, true},
};

}  // namespace

std::span<const FunctionRow> NumberFunctions() { return kNumberFunctions; }

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
