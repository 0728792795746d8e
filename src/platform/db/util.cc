// Statement helpers, error descriptions, names and dates.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock/clock.h"
#include "platform/db/table_model.h"
#include "platform/text/text.h"

namespace mlx::db::internal {

bool IsHiddenName(std::string_view name) {
  if (name.size() < kHiddenPrefix.size()) return false;
  return SameName(name.substr(0, kHiddenPrefix.size()), kHiddenPrefix) ||
         SameName(name.substr(0, 7), "sqlite_");
}

bool SameName(std::string_view a, std::string_view b) { return text::EqualsNoCase(a, b); }

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string QuoteId(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string QuoteText(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

Status ErrExists(std::string_view what) {
  return Status::Error(err::kDatabase, std::string(what) + " already exists.");
}
Status ErrMissing(std::string_view what) {
  return Status::Error(err::kDatabase, std::string(what) + " non esiste.");
}
Status MissingTable(std::string_view name) {
  return ErrMissing("La tabella '" + std::string(name) + "'");
}
Status MissingField(std::string_view name) {
  return ErrMissing("Il campo '" + std::string(name) + "'");
}
Status ErrInvalid(std::string_view detail) {
  std::string d = "Istruzione SQL non valida.";
  if (!detail.empty()) d += " " + std::string(detail);
  return Status::Error(err::kDatabase, d);
}
Status ErrDb(std::string description) { return Status::Error(err::kDatabase, std::move(description)); }

namespace {

// The description of a failed size check: the table that holds the check, and the column whose
// definition carries it, found by the check's name (names follow renames there, the check's
// name does not).
std::optional<std::string> SizeCheckFailure(sqlite3* db, std::string_view check) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT name, sql FROM sqlite_schema WHERE type = 'table' AND "
                             "instr(sql, ?1) > 0", -1, &s, nullptr) != SQLITE_OK) {
    return std::nullopt;
  }
  const std::string quoted = QuoteId(check);
  sqlite3_bind_text(s, 1, quoted.data(), static_cast<int>(quoted.size()), SQLITE_STATIC);
  std::optional<std::string> out;
  while (!out && sqlite3_step(s) == SQLITE_ROW) {
    const char* table = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    const char* sql = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
    if (!table || !sql) continue;
    for (const auto& [column, name] : SizeChecks(sql)) {
      if (name == check) out = TooSmallMessage(table, column);
    }
  }
  sqlite3_finalize(s);
  return out;
}

}  // namespace

Status SqliteStatus(sqlite3* db, int rc) {
  if ((rc & 0xff) == SQLITE_INTERRUPT) {
    return Status::Error(err::kInterrupted, "Operation interrupted at the user's request.");
  }
  std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  constexpr std::string_view kCheckFailed = "CHECK constraint failed: ";
  const std::string_view failed = std::string_view(msg).substr(0, kCheckFailed.size());
  const std::string_view check =
      failed == kCheckFailed ? std::string_view(msg).substr(kCheckFailed.size()) : "";
  if (db && check.starts_with(kSizeCheckPrefix)) {
    if (auto description = SizeCheckFailure(db, check)) return ErrDb(*description);
  }
  // Only SQLite's own errors can be syntax errors; other codes carry texts (values included)
  // that must not be read as such.
  if ((rc & 0xff) == SQLITE_ERROR && (msg.find("syntax error") != std::string::npos ||
                                      msg.find("incomplete input") != std::string::npos ||
                                      msg.find("unrecognized token") != std::string::npos)) {
    return ErrInvalid("(" + msg + ")");
  }
  if ((rc & 0xff) == SQLITE_TOOBIG) return ErrDb(kValueTooLong);
  if (msg.find("duplicate column name: ") == 0) {
    return ErrExists("Field '" + msg.substr(23) + "'");
  }
  if (db) {
    if (auto description = DormantQueryFailure(db, msg)) return ErrDb(*description);
  }
  switch (rc & 0xff) {
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_CANTOPEN:
    case SQLITE_NOMEM:
    case SQLITE_PROTOCOL:
      return Status::Error(err::kStorage, msg);
    default:
      return ErrDb(msg);
  }
}

// ---------------------------------------------------------------------------------------------

Stmt::~Stmt() { Finalize(); }

void Stmt::Finalize() {
  if (stmt_) sqlite3_finalize(stmt_);
  stmt_ = nullptr;
}

Status Stmt::Prepare(sqlite3* db, std::string_view sql) {
  last_ = SQLITE_DONE;
  Finalize();
  db_ = db;
  int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
  if (rc != SQLITE_OK) {
    Status st = SqliteStatus(db, rc);
    Finalize();
    return st;
  }
  if (!stmt_) return ErrInvalid("(empty statement)");
  return Status::OK();
}

int Stmt::Step() { return last_ = sqlite3_step(stmt_); }

Status Stmt::Run() {
  for (;;) {
    int rc = Step();
    if (rc == SQLITE_ROW) continue;
    if (rc == SQLITE_DONE) return Status::OK();
    Status st = Error(rc);
    sqlite3_reset(stmt_);
    return st;
  }
}

void Stmt::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

void Stmt::BindNull(int i) { sqlite3_bind_null(stmt_, i); }
void Stmt::BindInt(int i, std::int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
void Stmt::BindDouble(int i, double v) { sqlite3_bind_double(stmt_, i, v); }
void Stmt::BindText(int i, std::string_view v) {
  sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}
void Stmt::BindBlob(int i, std::string_view v) {
  sqlite3_bind_blob(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

void Stmt::BindValue(int i, const Value& v) {
  switch (v.kind()) {
    case Value::Kind::kNull: BindNull(i); break;
    case Value::Kind::kBoolean: BindInt(i, v.boolean() ? -1 : 0); break;
    case Value::Kind::kInteger: BindInt(i, v.integer()); break;
    case Value::Kind::kDouble:
    case Value::Kind::kDate: BindDouble(i, v.real()); break;
    case Value::Kind::kCurrency: BindDouble(i, static_cast<double>(v.integer()) / 10000.0); break;
    case Value::Kind::kText: BindText(i, v.text()); break;
    case Value::Kind::kBinary: BindBlob(i, v.text()); break;
  }
}

bool Stmt::IsNull(int i) const { return sqlite3_column_type(stmt_, i) == SQLITE_NULL; }
std::int64_t Stmt::Int(int i) const { return sqlite3_column_int64(stmt_, i); }
double Stmt::Double(int i) const { return sqlite3_column_double(stmt_, i); }
std::string Stmt::Text(int i) const {
  const unsigned char* p = sqlite3_column_text(stmt_, i);
  int n = sqlite3_column_bytes(stmt_, i);
  return p ? std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n)) : "";
}

Status Exec(sqlite3* db, const std::string& sql) {
  char* msg = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
  if (rc == SQLITE_OK) return Status::OK();
  if (msg) sqlite3_free(msg);
  return SqliteStatus(db, rc);
}

std::optional<std::int64_t> QueryInt(sqlite3* db, const std::string& sql) {
  Stmt s;
  if (!s.Prepare(db, sql).ok()) return std::nullopt;
  if (s.Step() != SQLITE_ROW || s.IsNull(0)) return std::nullopt;
  return s.Int(0);
}

// ---------------------------------------------------------------------------------------------
// Dates.

namespace {

bool ReadInt(std::string_view s, std::size_t* i, int* out, int max_digits = 4) {
  std::size_t start = *i;
  int v = 0;
  while (*i < s.size() && std::isdigit(static_cast<unsigned char>(s[*i])) &&
         static_cast<int>(*i - start) < max_digits) {
    v = v * 10 + (s[*i] - '0');
    ++*i;
  }
  if (*i == start) return false;
  *out = v;
  return true;
}

void SkipSpaces(std::string_view s, std::size_t* i) {
  while (*i < s.size() && s[*i] == ' ') ++*i;
}

// A date in the range dates may have: the years 100 to 9999.
bool ValidDate(int y, int m, int d) { return y >= 100 && y <= 9999 && clock::IsValidDate(y, m, d); }

// "hh:mm[:ss][.fff] [AM|PM]" from s[*i]; the fraction of a day, in whole seconds (a fraction
// of a second from .5 up counts as the next second, so 23:59:59.5 gives a whole day).
bool ParseTime(std::string_view s, std::size_t* i, double* frac) {
  int h = 0, mi = 0, se = 0;
  if (!ReadInt(s, i, &h, 2)) return false;
  if (*i >= s.size() || s[*i] != ':') return false;
  ++*i;
  if (!ReadInt(s, i, &mi, 2)) return false;
  int round_up = 0;
  if (*i < s.size() && s[*i] == ':') {
    ++*i;
    if (!ReadInt(s, i, &se, 2)) return false;
    if (*i < s.size() && s[*i] == '.') {
      ++*i;
      if (*i < s.size() && s[*i] >= '5' && s[*i] <= '9') round_up = 1;
      while (*i < s.size() && std::isdigit(static_cast<unsigned char>(s[*i]))) ++*i;
    }
  }
  SkipSpaces(s, i);
  std::string rest = Upper(s.substr(*i));
  if (rest.rfind("AM", 0) == 0 || rest.rfind("PM", 0) == 0) {
    if (h < 1 || h > 12) return false;
    if (rest[0] == 'P' && h != 12) h += 12;
    if (rest[0] == 'A' && h == 12) h = 0;
    *i += 2;
  }
  if (h > 23 || mi > 59 || se > 59) return false;
  *frac = (h * 3600.0 + mi * 60.0 + se + round_up) / 86400.0;
  return true;
}

bool ParseDateTime(std::string_view s, bool month_first, bool two_digit_years, double* days) {
  std::size_t i = 0;
  SkipSpaces(s, &i);
  double frac = 0;
  bool have_date = false;
  double day_number = 0;
  std::size_t save = i;
  int a = 0, b = 0, c = 0;
  if (ReadInt(s, &i, &a) && i < s.size() && (s[i] == '/' || s[i] == '-' || s[i] == '.')) {
    std::size_t a_digits = i - save;
    char sep = s[i++];
    if (!ReadInt(s, &i, &b, 2)) return false;
    if (i >= s.size() || s[i] != sep) return false;
    ++i;
    std::size_t before_c = i;
    if (!ReadInt(s, &i, &c)) return false;
    std::size_t c_digits = i - before_c;
    int y, m, d;
    if (a_digits >= 3) {  // year first
      if (c_digits > 2) return false;
      y = a, m = b, d = c;
    } else {
      if (c_digits <= 2) {
        if (!two_digit_years) return false;
        c += c < 30 ? 2000 : 1900;
      }
      if (month_first) {
        m = a, d = b, y = c;
        if (m > 12 && d <= 12) std::swap(m, d);
      } else {
        d = a, m = b, y = c;
      }
    }
    if (!ValidDate(y, m, d)) return false;
    day_number = DaysFromCivil(y, m, d);
    have_date = true;
    if (i < s.size() && (s[i] == 'T' || s[i] == ' ')) {
      ++i;
      SkipSpaces(s, &i);
      if (i < s.size() && !ParseTime(s, &i, &frac)) return false;
    }
  } else {
    i = save;
    if (!ParseTime(s, &i, &frac)) return false;
  }
  SkipSpaces(s, &i);
  if (i != s.size()) return false;
  (void)have_date;
  if (frac >= 1) {  // a time rounded up to midnight
    frac -= 1;
    day_number += 1;
  }
  *days = day_number >= 0 ? day_number + frac : day_number - frac;
  return true;
}

}  // namespace

double DaysFromCivil(int y, int m, int d) {
  return static_cast<double>(clock::DayNumber(y, m, d));
}

bool CivilFromDays(double days, int* y, int* m, int* d, int* hh, int* mm, int* ss) {
  if (!clock::IsDayNumberInRange(days)) {
    *y = 1899, *m = 12, *d = 30, *hh = *mm = *ss = 0;
    return false;
  }
  double whole = std::trunc(days);
  double frac = std::fabs(days - whole);
  std::int64_t secs = std::llround(frac * 86400.0);
  if (secs >= 86400) {
    secs -= 86400;
    whole += days >= 0 ? 1 : -1;
  }
  clock::DateOfDayNumber(static_cast<std::int64_t>(whole), y, m, d);
  *hh = static_cast<int>(secs / 3600);
  *mm = static_cast<int>(secs / 60 % 60);
  *ss = static_cast<int>(secs % 60);
  return true;
}

bool ParseJetDate(std::string_view text, bool month_first, double* days) {
  return ParseDateTime(text, month_first, true, days);
}

bool ParseStoredDate(std::string_view text, double* days) {
  return ParseDateTime(text, false, false, days);
}

std::string NumberText(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "Inf" : "-Inf";
  char buf[64];
  if (d == std::trunc(d) && std::fabs(d) < 1e15) {
    std::snprintf(buf, sizeof buf, "%.0f", d);
    if (std::strcmp(buf, "-0") == 0) return "0";
    return buf;
  }
  std::snprintf(buf, sizeof buf, "%.15g", d);
  std::string s = buf;
  std::size_t e = s.find('e');
  if (e != std::string::npos) {
    // 1.5e+20 is written 1.5E+20.
    s[e] = 'E';
    std::size_t digits = e + 2;
    while (digits + 1 < s.size() && s[digits] == '0') s.erase(digits, 1);
  }
  return s;
}

}  // namespace mlx::db::internal
