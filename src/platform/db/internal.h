// Shared pieces of the SQLite data-access layer: statement helpers, error descriptions, dates,
// the Jet SQL tokenizer and translator, and the type table.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/db/db.h"

namespace mlx::db::internal {

// ---------------------------------------------------------------------------------------------
// Names and errors.

// Prefix of the layer's own tables, triggers and columns; such objects never show.
inline constexpr std::string_view kHiddenPrefix = "__mlx_";
// The column that keeps a table without visible columns valid.
inline constexpr std::string_view kPlaceholderColumn = "__mlx_placeholder";

bool IsHiddenName(std::string_view name);
bool SameName(std::string_view a, std::string_view b);  // without regard to case
std::string Upper(std::string_view s);                  // ASCII upper case

std::string QuoteId(std::string_view name);     // "name" for SQLite
std::string QuoteText(std::string_view text);   // 'text' for SQLite

Status ErrExists(std::string_view what);        // "... already exists."
Status ErrMissing(std::string_view what);       // "... non esiste."
Status MissingTable(std::string_view name);     // "La tabella 'name' non esiste."
Status MissingField(std::string_view name);     // "Il campo 'name' non esiste."
Status ErrInvalid(std::string_view detail);     // "Istruzione SQL non valida. ..."
Status ErrDb(std::string description);
// How long a connection waits for another program's lock before a statement fails.
inline constexpr int kBusyTimeoutMs = 5000;
// The size rule of a TEXT(n) column made by the layer is a CHECK constraint in the column's
// definition, named with this prefix (unique in the database, so that a failure names its column).
inline constexpr std::string_view kSizeCheckPrefix = "__mlx_size_";
// "The field 'T.c' is too small to accept the amount of data you attempted to add."
std::string TooSmallMessage(std::string_view table, std::string_view column);
// The columns of a CREATE TABLE text that carry a size check, with the check's name.
std::vector<std::pair<std::string, std::string>> SizeChecks(std::string_view create_sql);
// The error of a failed SQLite call, with syntax errors put in the "invalid statement" class.
Status SqliteStatus(sqlite3* db, int rc);

// ---------------------------------------------------------------------------------------------
// Statements.

class Stmt {
 public:
  Stmt() = default;
  ~Stmt();
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  Stmt(Stmt&& other) noexcept : db_(other.db_), stmt_(other.stmt_), last_(other.last_) {
    other.stmt_ = nullptr;
  }

  Status Prepare(sqlite3* db, std::string_view sql);
  // SQLITE_ROW, SQLITE_DONE, or an error code (see Error()).
  int Step();
  Status Run();  // steps to the end
  // OK unless the last Step() failed: a loop over the rows that stops at the first answer
  // other than SQLITE_ROW ends with this, so that a read error is not taken for the end.
  Status Finished() const { return last_ == SQLITE_ROW || last_ == SQLITE_DONE ? Status::OK() : Error(last_); }
  Status Error(int rc) const { return SqliteStatus(db_, rc); }
  void Reset();
  void Finalize();

  void BindNull(int i);
  void BindInt(int i, std::int64_t v);
  void BindDouble(int i, double v);
  void BindText(int i, std::string_view v);
  void BindBlob(int i, std::string_view v);
  void BindValue(int i, const Value& v);

  bool IsNull(int i) const;
  std::int64_t Int(int i) const;
  double Double(int i) const;
  std::string Text(int i) const;
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
  int last_ = SQLITE_DONE;
};


Status Exec(sqlite3* db, const std::string& sql);
// The single integer that a query returns; nullopt for no row or Null.
std::optional<std::int64_t> QueryInt(sqlite3* db, const std::string& sql);

// ---------------------------------------------------------------------------------------------
// Dates: days since 30/12/1899 with the time of day as the fraction.

double DaysFromCivil(int y, int m, int d);
// The date and time of a day number; false, with 30/12/1899 00:00:00, for a number that is no
// date (see clock::IsDayNumberInRange).
bool CivilFromDays(double days, int* y, int* m, int* d, int* hh, int* mm, int* ss);
// The error of a date function given, or giving, a number that is no date.
inline constexpr const char* kInvalidDate = "Invalid date: dates run from 01/01/100 to 31/12/9999.";
// "#m/d/yyyy#" content, ISO "yyyy-mm-dd", optional time "hh:mm[:ss] [AM|PM]".
bool ParseJetDate(std::string_view text, bool month_first, double* days);
// A date written in text as scripts and other tools store it (ISO, or day first).
bool ParseStoredDate(std::string_view text, double* days);
// SQL for the day number of the ISO-8601 date text that the expression x holds ('yyyy-mm-dd',
// then ' hh:mm', ' hh:mm:ss' or ' hh:mm:ss.fff', 'T' also separating), rounded to whole
// seconds; Null for any other value. It uses SQLite's built-in functions only.
std::string IsoDateDays(const std::string& x);
// Text forms as the scripts' platform writes numbers.
std::string NumberText(double d);

// ---------------------------------------------------------------------------------------------
// Tokenizer.

enum class TokType { kWord, kId, kString, kNumber, kDate, kOp, kParam };

struct Token {
  TokType type;
  std::string text;          // word/number/op as written; id/string/date content
  std::size_t begin = 0;     // byte span in the source
  std::size_t end = 0;
  bool space_before = false;
  bool IsWord(std::string_view upper_word) const;
  bool IsOp(std::string_view op) const { return type == TokType::kOp && text == op; }
  bool IsName() const { return type == TokType::kWord || type == TokType::kId; }
};

// Splits Jet SQL into tokens: words, [bracketed] and `quoted` names, 'text' and "text" literals,
// #date# literals, numbers and operators; whitespace and comments are dropped.
Status Tokenize(std::string_view sql, std::vector<Token>* tokens);

// Translates a run of Jet SQL tokens (an expression or a whole query) into SQLite SQL.
// builtin_only: use only SQLite's own functions (for defaults that other tools must evaluate).
Status TranslateTokens(const std::vector<Token>& tokens, bool builtin_only, std::string* sql);

// The largest text or binary value that a statement may make or store: 256 MB. A value is
// copied a few times on its way to a script (SQLite's copy, the layer's, the variable's, the
// expanded line), so one of this size already takes about a gigabyte of memory, and any more
// would take the machine's memory rather than fail; it is four times the largest field the
// host application's databases hold in practice. SQLite is held to it (SQLITE_LIMIT_LENGTH),
// and the layer's own functions refuse to build a longer text before they build it.
inline constexpr std::size_t kMaxValueBytes = std::size_t{256} << 20;
inline constexpr const char* kValueTooLong =
    "Value too long: a single text or binary value may hold at most 256 MB.";

// Registers the Jet functions (jet_*), Jet's LIKE and the '&' concatenation on a connection,
// and holds it to kMaxValueBytes; Now(), Date() and Time() read the clock.
void RegisterFunctions(sqlite3* db, clock::Clock* clock);

// ---------------------------------------------------------------------------------------------
// Types.

struct JetType {
  std::string decl;      // SQLite declared type (carries the Jet type; chosen for its affinity)
  int ado = kAdEmpty;
  long size = 0;
  bool counter = false;
  std::int64_t seed = 1;
  std::int64_t increment = 1;
  bool text = false;     // a text type: zero-length and size rules apply
  bool nocase = false;   // compared without regard to case, as Jet compares text
};

// Reads a Jet type at tokens[*pos], advancing *pos. False when the words are no known type.
bool ParseJetType(const std::vector<Token>& tokens, std::size_t* pos, JetType* type);
// The Jet type that a declared SQLite type stands for (ours, or the nearest for other tools').
JetType TypeFromDecl(std::string_view decl);

}  // namespace mlx::db::internal
