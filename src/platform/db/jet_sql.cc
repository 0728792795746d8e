// The Jet SQL tokenizer and the translation of Jet expressions and queries into SQLite SQL.
// Translation works on tokens, never on raw text: names in brackets, text literals and comments
// are never rewritten, and what the translator does not know is passed on as written.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/db/internal.h"

namespace mlx::db::internal {

bool Token::IsWord(std::string_view upper_word) const {
  if (type != TokType::kWord || text.size() != upper_word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) != upper_word[i]) return false;
  }
  return true;
}

namespace {

bool IsWordStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool IsWordChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80; }
bool IsDigit(std::string_view sql, std::size_t i) {
  return i < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i]));
}

// The text literal that opens at i ('...' or "...", a doubled quote standing for one): its value,
// and the position after it; npos when it is not closed.
std::size_t ScanText(std::string_view sql, std::size_t i, std::string* value) {
  const char quote = sql[i];
  for (++i; i < sql.size(); ++i) {
    if (sql[i] != quote) {
      *value += sql[i];
    } else if (i + 1 < sql.size() && sql[i + 1] == quote) {
      *value += sql[++i];
    } else {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

// The position after the number that starts at i: digits, a decimal part, an exponent.
std::size_t ScanNumber(std::string_view sql, std::size_t i) {
  while (IsDigit(sql, i)) ++i;
  if (i < sql.size() && sql[i] == '.') {
    ++i;
    while (IsDigit(sql, i)) ++i;
  }
  if (i < sql.size() && (sql[i] == 'e' || sql[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < sql.size() && (sql[j] == '+' || sql[j] == '-')) ++j;
    if (IsDigit(sql, j)) {
      i = j;
      while (IsDigit(sql, i)) ++i;
    }
  }
  return i;
}

// The operator at i: <= >= <> != == || as one, any other character alone.
std::string ScanOperator(std::string_view sql, std::size_t i) {
  static const char* kTwo[] = {"<=", ">=", "<>", "!=", "==", "||"};
  for (const char* two : kTwo) {
    if (sql.substr(i, 2) == two) return two;
  }
  return std::string(1, sql[i]);
}

}  // namespace

Status Tokenize(std::string_view sql, std::vector<Token>* tokens) {
  tokens->clear();
  std::size_t i = 0;
  const std::size_t n = sql.size();
  bool space = false;
  auto push = [&](TokType type, std::string text, std::size_t begin) {
    tokens->push_back(Token{type, std::move(text), begin, i, space});
    space = false;
  };
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(sql[i]);
    std::size_t begin = i;
    if (std::isspace(c)) {
      space = true;
      ++i;
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
      space = true;
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      std::size_t close = sql.find("*/", i + 2);
      if (close == std::string_view::npos) return ErrInvalid("(unterminated comment)");
      i = close + 2;
      space = true;
    } else if (c == '[' || c == '`') {
      std::size_t close = sql.find(c == '[' ? ']' : '`', i + 1);
      if (close == std::string_view::npos) return ErrInvalid("(unterminated name)");
      i = close + 1;
      push(TokType::kId, std::string(sql.substr(begin + 1, close - begin - 1)), begin);
    } else if (c == '\'' || c == '"') {
      std::string value;
      i = ScanText(sql, i, &value);
      if (i == std::string_view::npos) return ErrInvalid("(unterminated text literal)");
      push(TokType::kString, std::move(value), begin);
    } else if (c == '#') {
      std::size_t close = sql.find('#', i + 1);
      if (close == std::string_view::npos) return ErrInvalid("(unterminated date literal)");
      i = close + 1;
      push(TokType::kDate, std::string(sql.substr(begin + 1, close - begin - 1)), begin);
    } else if (std::isdigit(c) || (c == '.' && IsDigit(sql, i + 1))) {
      i = ScanNumber(sql, i);
      push(TokType::kNumber, std::string(sql.substr(begin, i - begin)), begin);
    } else if (IsWordStart(c)) {
      while (i < n && IsWordChar(static_cast<unsigned char>(sql[i]))) ++i;
      push(TokType::kWord, std::string(sql.substr(begin, i - begin)), begin);
    } else if (c == '?') {
      ++i;
      push(TokType::kParam, "?", begin);
    } else {
      std::string op = ScanOperator(sql, i);
      i += op.size();
      push(TokType::kOp, std::move(op), begin);
    }
  }
  return Status::OK();
}

namespace {

struct Unit {
  std::string sql;
  bool space_before = false;
  bool is_word = false;
  bool is_op = false;
  std::string key;  // upper-case word or operator
};

bool IsStop(const Unit& u) {
  static const char* kStopOps[] = {",", ";", "=", "<", ">", "<=", ">=", "<>", "!=", "==", "&"};
  static const char* kStopWords[] = {
      "AND", "OR", "NOT", "XOR", "EQV", "IMP", "LIKE", "BETWEEN", "IN", "IS", "SELECT", "FROM",
      "WHERE", "SET", "VALUES", "THEN", "WHEN", "ELSE", "END", "CASE", "AS", "ON", "ORDER", "BY",
      "GROUP", "HAVING", "UNION", "ALL", "DISTINCT", "INTO", "JOIN", "INNER", "LEFT", "RIGHT",
      "OUTER", "UPDATE", "DELETE", "INSERT", "TOP", "ASC", "DESC", "LIMIT", "ESCAPE"};
  if (u.is_op) {
    for (const char* op : kStopOps) {
      if (u.key == op) return true;
    }
  }
  if (u.is_word) {
    for (const char* w : kStopWords) {
      if (u.key == w) return true;
    }
  }
  return false;
}

std::string JoinUnits(const std::vector<Unit>& units, std::size_t from, std::size_t to) {
  std::string out;
  for (std::size_t i = from; i < to; ++i) {
    if (i > from && units[i].space_before) out += ' ';
    out += units[i].sql;
  }
  return out;
}

// The shortest text that reads back as exactly the same number, so that a literal equals the
// date stored for the same day and time (44196.5625, not a value rounded to some decimals).
std::string DayNumberText(double days) {
  char buf[64];
  for (int digits = 15;; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, days);
    if (digits >= 17 || std::strtod(buf, nullptr) == days) return buf;
  }
}

const std::map<std::string, std::string>& Renames() {
  static const std::map<std::string, std::string> kMap = {
      {"LEN", "jet_len"},         {"LEFT", "jet_left"},         {"RIGHT", "jet_right"},
      {"MID", "jet_mid"},         {"INSTR", "jet_instr"},       {"UCASE", "jet_ucase"},
      {"LCASE", "jet_lcase"},     {"TRIM", "jet_trim"},         {"LTRIM", "jet_ltrim"},
      {"RTRIM", "jet_rtrim"},     {"SPACE", "jet_space"},       {"VAL", "jet_val"},
      {"CSTR", "jet_cstr"},       {"CLNG", "jet_clng"},         {"CINT", "jet_cint"},
      {"CDBL", "jet_cdbl"},       {"CSNG", "jet_cdbl"},         {"CCUR", "jet_ccur"},
      {"CBOOL", "jet_cbool"},     {"CDATE", "jet_cdate"},       {"CVDATE", "jet_cdate"},
      {"DATEVALUE", "jet_cdate"}, {"INT", "jet_int"},           {"FIX", "jet_fix"},
      {"ROUND", "jet_round"},     {"SGN", "jet_sgn"},           {"SQR", "sqrt"},
      {"YEAR", "jet_year"},       {"MONTH", "jet_month"},       {"DAY", "jet_day"},
      {"HOUR", "jet_hour"},       {"MINUTE", "jet_minute"},     {"SECOND", "jet_second"},
      {"WEEKDAY", "jet_weekday"}, {"DATESERIAL", "jet_dateserial"},
      {"TIMESERIAL", "jet_timeserial"}, {"DATEADD", "jet_dateadd"},
      {"DATEDIFF", "jet_datediff"}, {"DATEPART", "jet_datepart"}, {"FORMAT", "jet_format"},
      {"CHR", "jet_chr"},         {"ASC", "jet_asc"},           {"NOW", "jet_now"},
      {"DATE", "jet_date"},       {"TIME", "jet_time"},         {"STRCOMP", "jet_strcomp"}};
  return kMap;
}

// Names of the layer's own objects are refused as if they were not there.
Status CheckVisible(const Token& tok) {
  if (IsHiddenName(tok.text) && !SameName(tok.text.substr(0, 7), "sqlite_")) {
    return ErrDb("no such table: " + tok.text);
  }
  return Status::OK();
}

// A token that is no word and no parenthesis: names quoted for SQLite, text literals, dates as
// day numbers; operators, numbers and parameters as written.
Status Literal(const Token& tok, Unit* u) {
  switch (tok.type) {
    case TokType::kId: {
      Status st = CheckVisible(tok);
      if (!st.ok()) return st;
      u->sql = QuoteId(tok.text);
      break;
    }
    case TokType::kString:
      u->sql = QuoteText(tok.text);
      break;
    case TokType::kDate: {
      double days = 0;
      if (!ParseJetDate(tok.text, true, &days)) {
        return ErrInvalid("(date literal #" + tok.text + "#)");
      }
      u->sql = DayNumberText(days);
      break;
    }
    case TokType::kOp:
      u->sql = tok.text;
      u->is_op = true;
      u->key = tok.text;
      break;
    case TokType::kWord:
    case TokType::kNumber:
    case TokType::kParam:
      u->sql = tok.text;
      break;
  }
  return Status::OK();
}

bool IsKnownFunction(const std::string& key) {
  return key == "IIF" || key == "NZ" || key == "ISNULL" || Renames().count(key) > 0;
}

class Translator {
 public:
  Translator(const std::vector<Token>& tokens, bool builtin_only)
      : t_(tokens), builtin_only_(builtin_only) {}

  // Translates the tokens [begin, end), one level of parentheses: the runs in parentheses and
  // the arguments of calls are levels of their own.
  Status Level(std::size_t begin, std::size_t end, std::string* out);

 private:
  // What a level has become so far.
  struct LevelUnits {
    std::vector<Unit> units;
    std::string limit;                          // n of this level's SELECT TOP n
    std::size_t select_at = std::string::npos;  // index in units of this level's SELECT
  };

  std::size_t Matching(std::size_t open, std::size_t end) const {
    int depth = 0;
    for (std::size_t i = open; i < end; ++i) {
      if (t_[i].IsOp("(")) ++depth;
      if (t_[i].IsOp(")") && --depth == 0) return i;
    }
    return std::string::npos;
  }
  // Translates the token at *i with what belongs to it (a run in parentheses, a call's
  // arguments), leaving *i at the last token it took.
  Status Next(std::size_t* i, std::size_t begin, std::size_t end, LevelUnits* level);
  Status Word(std::size_t* i, std::size_t begin, std::size_t end, LevelUnits* level) const;
  // A call of a function Jet knows and SQLite does not, its arguments translated.
  Status KnownCall(std::size_t name, std::size_t close, Unit* u);
  Status Call(const Token& name, std::vector<std::string> args, std::string* out) const;
  // Whether the TOP at i is SELECT TOP n of this level (only DISTINCT or ALL between them).
  bool IsTopLimit(std::size_t i, std::size_t end, const LevelUnits& level) const;
  // DELETE * FROM t and DELETE t.* FROM t: SQLite takes the table after FROM only. The last
  // token of what follows DELETE and goes, or i.
  std::size_t DeletedColumns(std::size_t i, std::size_t end) const;
  // Jet's '&' joins texts with Null taken as empty text; it binds less tightly than arithmetic.
  Status JoinConcatenations(std::vector<Unit>* units) const;

  const std::vector<Token>& t_;
  bool builtin_only_;
};

Status Translator::Call(const Token& name, std::vector<std::string> args, std::string* out) const {
  const std::string key = Upper(name.text);
  auto join = [&args]() {
    std::string s;
    for (std::size_t i = 0; i < args.size(); ++i) s += (i ? ", " : "") + args[i];
    return s;
  };
  if (key == "IIF") {
    if (args.size() != 3) return ErrInvalid("(IIf needs three arguments)");
    *out = "(CASE WHEN " + args[0] + " THEN " + args[1] + " ELSE " + args[2] + " END)";
    return Status::OK();
  }
  if (key == "NZ" && (args.size() == 1 || args.size() == 2)) {
    *out = "ifnull(" + args[0] + ", " + (args.size() == 2 ? args[1] : "''") + ")";
    return Status::OK();
  }
  if (key == "ISNULL" && args.size() == 1) {
    *out = "(CASE WHEN (" + args[0] + ") IS NULL THEN -1 ELSE 0 END)";
    return Status::OK();
  }
  if (builtin_only_ && args.size() == 1 && args[0].empty()) {
    if (key == "NOW") {
      *out = "(julianday('now', 'localtime') - 2415018.5)";
      return Status::OK();
    }
    if (key == "DATE") {
      *out = "(julianday('now', 'localtime', 'start of day') - 2415018.5)";
      return Status::OK();
    }
    if (key == "TIME") {
      *out = "(julianday('now', 'localtime') - julianday('now', 'localtime', 'start of day'))";
      return Status::OK();
    }
  }
  if (args.size() == 1 && args[0].empty()) args.clear();
  auto it = Renames().find(key);
  if (it != Renames().end() && !builtin_only_) {
    *out = it->second + "(" + join() + ")";
  } else {
    *out = name.text + "(" + join() + ")";
  }
  return Status::OK();
}

Status Translator::Level(std::size_t begin, std::size_t end, std::string* out) {
  LevelUnits level;
  for (std::size_t i = begin; i < end; ++i) {
    Status st = Next(&i, begin, end, &level);
    if (!st.ok()) return st;
  }
  std::vector<Unit>& units = level.units;
  Status st = JoinConcatenations(&units);
  if (!st.ok()) return st;
  if (!level.limit.empty()) {
    std::size_t stop = units.size();
    if (stop > 0 && units[stop - 1].is_op && units[stop - 1].key == ";") --stop;
    Unit u;
    u.space_before = true;
    u.sql = "LIMIT " + level.limit;
    units.insert(units.begin() + static_cast<std::ptrdiff_t>(stop), std::move(u));
  }
  *out = JoinUnits(units, 0, units.size());
  return Status::OK();
}

Status Translator::Next(std::size_t* i, std::size_t begin, std::size_t end, LevelUnits* level) {
  const Token& tok = t_[*i];
  Unit u;
  u.space_before = tok.space_before;
  if (tok.IsOp("(")) {
    std::size_t close = Matching(*i, end);
    if (close == std::string::npos) return ErrInvalid("(unbalanced parentheses)");
    std::string inner;
    Status st = Level(*i + 1, close, &inner);
    if (!st.ok()) return st;
    u.sql = "(" + inner + ")";
    *i = close;
  } else if (tok.type == TokType::kWord && *i + 1 < end && t_[*i + 1].IsOp("(") &&
             !(*i > begin && t_[*i - 1].IsOp("."))) {
    std::size_t close = Matching(*i + 1, end);
    if (close == std::string::npos) return ErrInvalid("(unbalanced parentheses)");
    if (!IsKnownFunction(Upper(tok.text))) return Word(i, begin, end, level);
    Status st = KnownCall(*i, close, &u);
    if (!st.ok()) return st;
    *i = close;
  } else if (tok.type == TokType::kWord) {
    return Word(i, begin, end, level);
  } else {
    Status st = Literal(tok, &u);
    if (!st.ok()) return st;
  }
  level->units.push_back(std::move(u));
  return Status::OK();
}

Status Translator::Word(std::size_t* i, std::size_t begin, std::size_t end,
                        LevelUnits* level) const {
  const Token& tok = t_[*i];
  Status st = CheckVisible(tok);
  if (!st.ok()) return st;
  Unit u;
  u.space_before = tok.space_before;
  const std::string key = Upper(tok.text);
  const bool after_dot = *i > begin && t_[*i - 1].IsOp(".");
  if (!after_dot && key == "DISTINCTROW") return Status::OK();
  if (!after_dot && (key == "TRUE" || key == "FALSE")) {
    u.sql = key == "TRUE" ? "-1" : "0";
  } else if (!after_dot && key == "MOD") {
    u.is_op = true;
    u.key = "%";
    u.sql = "%";
  } else {
    if (key == "SELECT" && level->select_at == std::string::npos) {
      level->select_at = level->units.size();
    }
    if (key == "TOP" && IsTopLimit(*i, end, *level)) {
      level->limit = t_[*i + 1].text;
      ++*i;
      return Status::OK();
    }
    if (key == "DELETE") *i = DeletedColumns(*i, end);
    u.sql = tok.text;
    u.is_word = true;
    u.key = key;
  }
  level->units.push_back(std::move(u));
  return Status::OK();
}

Status Translator::KnownCall(std::size_t name, std::size_t close, Unit* u) {
  std::vector<std::string> args;
  std::size_t arg_start = name + 2;
  int depth = 0;
  for (std::size_t j = name + 2; j <= close; ++j) {
    if (t_[j].IsOp("(")) ++depth;
    if (t_[j].IsOp(")")) --depth;
    if ((j == close) || (depth == 0 && t_[j].IsOp(","))) {
      std::string arg;
      Status st = Level(arg_start, j, &arg);
      if (!st.ok()) return st;
      args.push_back(std::move(arg));
      arg_start = j + 1;
    }
  }
  return Call(t_[name], std::move(args), &u->sql);
}

bool Translator::IsTopLimit(std::size_t i, std::size_t end, const LevelUnits& level) const {
  if (level.select_at == std::string::npos || i + 1 >= end ||
      t_[i + 1].type != TokType::kNumber || (i + 2 < end && t_[i + 2].IsWord("PERCENT"))) {
    return false;
  }
  for (std::size_t k = level.select_at + 1; k < level.units.size(); ++k) {
    if (level.units[k].key != "DISTINCT" && level.units[k].key != "ALL") return false;
  }
  return true;
}

std::size_t Translator::DeletedColumns(std::size_t i, std::size_t end) const {
  std::size_t j = i + 1;
  if (j < end && t_[j].IsName() && j + 2 < end && t_[j + 1].IsOp(".") && t_[j + 2].IsOp("*")) {
    j += 2;
  }
  if (j < end && t_[j].IsOp("*") && j + 1 < end && t_[j + 1].IsWord("FROM")) return j;
  return i;
}

Status Translator::JoinConcatenations(std::vector<Unit>* units_out) const {
  std::vector<Unit>& units = *units_out;
  for (;;) {
    std::size_t k = 0;
    while (k < units.size() && !(units[k].is_op && units[k].key == "&")) ++k;
    if (k == units.size()) return Status::OK();
    std::size_t l = k;
    while (l > 0 && !IsStop(units[l - 1])) --l;
    std::size_t r = k + 1;
    while (r < units.size() && !IsStop(units[r])) ++r;
    if (l == k || r == k + 1) return ErrInvalid("(operand missing for &)");
    Unit joined;
    joined.space_before = units[l].space_before;
    std::string a = JoinUnits(units, l, k), b = JoinUnits(units, k + 1, r);
    if (builtin_only_) {
      joined.sql = "(CASE WHEN (" + a + ") IS NULL AND (" + b + ") IS NULL THEN NULL ELSE ifnull(" +
                   a + ", '') || ifnull(" + b + ", '') END)";
    } else {
      joined.sql = "jet_concat(" + a + ", " + b + ")";
    }
    units.erase(units.begin() + static_cast<std::ptrdiff_t>(l),
                units.begin() + static_cast<std::ptrdiff_t>(r));
    units.insert(units.begin() + static_cast<std::ptrdiff_t>(l), std::move(joined));
  }
}

}  // namespace

Status TranslateTokens(const std::vector<Token>& tokens, bool builtin_only, std::string* sql) {
  Translator tr(tokens, builtin_only);
  return tr.Level(0, tokens.size(), sql);
}

}  // namespace mlx::db::internal
