// Writing a table from its model: the CREATE TABLE and CREATE INDEX texts, the size checks, the
// bookkeeping rows and the layer's guard triggers (zero-length, size, Null and counter rules).
#include <algorithm>

#include "platform/db/table_model.h"

namespace mlx::db::internal {

std::string TooSmallMessage(std::string_view table, std::string_view column) {
  return "The field '" + std::string(table) + "." + std::string(column) +
         "' is too small to accept the amount of data you attempted to add.";
}

std::vector<std::pair<std::string, std::string>> SizeChecks(std::string_view create_sql) {
  std::vector<std::pair<std::string, std::string>> out;
  std::vector<Token> toks;
  if (!Tokenize(create_sql, &toks).ok()) return out;
  std::size_t i = 0;
  while (i < toks.size() && !toks[i].IsOp("(")) ++i;
  // The definitions between the outer parentheses, split at the commas of that level: a
  // column's begins with its name, and its size check is "CONSTRAINT name CHECK".
  int depth = 0;
  std::size_t item = i + 1;
  for (++i; i < toks.size(); ++i) {
    const Token& t = toks[i];
    if (t.IsOp("(")) {
      ++depth;
    } else if (t.IsOp(")") && depth > 0) {
      --depth;
    } else if ((t.IsOp(",") || t.IsOp(")")) && depth == 0) {
      if (t.IsOp(")")) break;
      item = i + 1;
    } else if (depth == 0 && t.IsWord("CONSTRAINT") && i + 2 < toks.size() &&
               toks[i + 1].text.starts_with(kSizeCheckPrefix) && toks[i + 2].IsWord("CHECK") &&
               item < i) {
      out.emplace_back(toks[item].text, toks[i + 1].text);
    }
  }
  return out;
}

namespace {

std::string QuotedList(const std::vector<std::string>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + QuoteId(names[i]);
  return out;
}

const char* RuleText(int rule) {
  if (rule == kRuleCascade) return "CASCADE";
  if (rule == kRuleSetNull) return "SET NULL";
  return "NO ACTION";
}

// A default written back into a column definition: literals as they are, expressions in
// parentheses (SQLite hands the stored default back without them).
std::string DefaultClause(const std::string& dflt) {
  std::vector<Token> toks;
  if (Tokenize(dflt, &toks).ok()) {
    std::size_t i = 0;
    if (!toks.empty() && (toks[0].IsOp("-") || toks[0].IsOp("+"))) i = 1;
    if (toks.size() == i + 1) {
      const Token& t = toks[i];
      if (t.type == TokType::kNumber) return dflt;
      if (i == 0 && t.type == TokType::kString && dflt[0] == '\'') return dflt;
      if (i == 0 && (t.IsWord("NULL") || t.IsWord("CURRENT_TIME") || t.IsWord("CURRENT_DATE") ||
                     t.IsWord("CURRENT_TIMESTAMP") || t.IsWord("TRUE") || t.IsWord("FALSE"))) {
        return dflt;
      }
    }
  }
  return "(" + dflt + ")";
}

}  // namespace

std::string Schema::SizeCheckSql(const TableModel& model, const ColumnDef& c,
                                 std::string_view replaced, std::vector<std::string>* taken) const {
  JetType type = TypeFromDecl(c.decl);
  if (c.hidden || !type.text || (type.ado != kAdVarWChar && type.ado != kAdWChar) ||
      c.allow_zero < 0) {
    return "";
  }
  const std::string base = std::string(kSizeCheckPrefix) + model.name + "_" + c.name;
  std::string name = base;
  for (int n = 2;; ++n) {
    bool used = std::find(taken->begin(), taken->end(), name) != taken->end();
    if (!used) {
      Stmt s;
      if (s.Prepare(db_, "SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name <> ?2 AND "
                         "instr(sql, ?1) > 0").ok()) {
        s.BindText(1, QuoteId(name));
        s.BindText(2, std::string(replaced));  // never Null, which would match no table
        used = s.Step() == SQLITE_ROW;
      }
    }
    if (!used) break;
    name = base + "_" + std::to_string(n);
  }
  taken->push_back(name);
  // Only text is measured, as the value is stored (numbers in a text column become text).
  const std::string col = QuoteId(c.name);
  return " CONSTRAINT " + QuoteId(name) + " CHECK (typeof(" + col + ") <> 'text' OR length(" +
         col + ") <= " + std::to_string(type.size) + ")";
}

std::string Schema::CreateTableSql(const TableModel& model, std::string_view as_name,
                                   std::string_view replaced) const {
  std::string sql = "CREATE TABLE " + QuoteId(as_name) + " (";
  std::vector<std::string> checks;
  const IndexDef* pk = nullptr;
  for (const auto& ix : model.indexes) {
    if (ix.primary) pk = &ix;
  }
  bool inline_pk = false;
  bool first = true;
  for (const ColumnDef& c : model.columns) {
    sql += first ? "" : ", ";
    first = false;
    sql += QuoteId(c.name);
    if (!c.decl.empty()) sql += " " + c.decl;
    if (c.rowid_autoinc && pk && pk->columns.size() == 1 && SameName(pk->columns[0], c.name)) {
      sql += " PRIMARY KEY AUTOINCREMENT";
      inline_pk = true;
    }
    if (!c.collate.empty()) sql += " COLLATE " + c.collate;
    if (c.not_null) sql += " NOT NULL";
    if (!c.default_sql.empty()) sql += " DEFAULT " + DefaultClause(c.default_sql);
    sql += SizeCheckSql(model, c, replaced, &checks);
  }
  if (pk && !inline_pk) {
    sql += ", CONSTRAINT " + QuoteId(pk->name) + " PRIMARY KEY (" + QuotedList(pk->columns) + ")";
  }
  for (const KeyDef& k : model.keys) {
    sql += ", CONSTRAINT " + QuoteId(k.name) + " FOREIGN KEY (" + QuotedList(k.columns) +
           ") REFERENCES " + QuoteId(k.ref_table) + " (" + QuotedList(k.ref_columns) + ")";
    if (k.update_rule != kRuleNone) sql += std::string(" ON UPDATE ") + RuleText(k.update_rule);
    if (k.delete_rule != kRuleNone) sql += std::string(" ON DELETE ") + RuleText(k.delete_rule);
  }
  sql += ")";
  if (model.without_rowid) sql += " WITHOUT ROWID";
  return sql;
}

std::string Schema::CreateIndexSql(const TableModel& model, const IndexDef& ix) const {
  if (!ix.sql.empty()) return ix.sql;
  std::string sql = std::string("CREATE ") + (ix.unique ? "UNIQUE " : "") + "INDEX " +
                    QuoteId(ix.sqlite_name) + " ON " + QuoteId(model.name) + " (";
  for (std::size_t i = 0; i < ix.columns.size(); ++i) {
    sql += (i ? ", " : "") + QuoteId(ix.columns[i]);
    if (i < ix.descending.size() && ix.descending[i]) sql += " DESC";
  }
  sql += ")";
  if (ix.nulls == kIndexNullsIgnore) {
    sql += " WHERE ";
    for (std::size_t i = 0; i < ix.columns.size(); ++i) {
      sql += (i ? " AND " : "") + QuoteId(ix.columns[i]) + " IS NOT NULL";
    }
  }
  return sql;
}

std::string Schema::NewIndexName(std::string_view table, std::string_view name) const {
  std::string base = std::string(table) + "_" + std::string(name);
  if (IsHiddenName(base)) base = "ix_" + base;
  std::string candidate = base;
  for (int n = 2;; ++n) {
    Stmt s;
    if (!s.Prepare(db_, "SELECT 1 FROM sqlite_schema WHERE name = ?1 COLLATE NOCASE").ok()) {
      return candidate;
    }
    s.BindText(1, candidate);
    if (s.Step() != SQLITE_ROW) return candidate;
    candidate = base + "_" + std::to_string(n);
  }
}

Status Schema::DropBookkeeping(std::string_view table) {
  if (!HasBookkeeping()) return Status::OK();
  for (const char* t : {"__mlx_columns", "__mlx_counters", "__mlx_indexes", "__mlx_relations"}) {
    Stmt s;
    Status st = s.Prepare(db_, std::string("DELETE FROM ") + t + " WHERE tbl = ?1");
    if (!st.ok()) return st;
    s.BindText(1, table);
    st = s.Run();
    if (!st.ok()) return st;
  }
  return Status::OK();
}

Status Schema::MoveBookkeeping(std::string_view from, std::string_view to) {
  for (const char* sql : {"UPDATE __mlx_columns SET tbl = ?1 WHERE tbl = ?2",
                          "UPDATE __mlx_counters SET tbl = ?1 WHERE tbl = ?2",
                          "UPDATE __mlx_indexes SET tbl = ?1 WHERE tbl = ?2",
                          "UPDATE __mlx_relations SET tbl = ?1 WHERE tbl = ?2",
                          "UPDATE __mlx_relations SET ref_tbl = ?1 WHERE ref_tbl = ?2"}) {
    Stmt u;
    Status st = u.Prepare(db_, sql);
    if (!st.ok()) return st;
    u.BindText(1, to);
    u.BindText(2, from);
    if (!(st = u.Run()).ok()) return st;
  }
  return Status::OK();
}

Status Schema::WriteBookkeeping(const TableModel& m) {
  Status st = EnsureBookkeeping();
  if (!st.ok()) return st;
  st = DropBookkeeping(m.name);
  if (!st.ok()) return st;
  Stmt s;
  st = s.Prepare(db_, "INSERT INTO __mlx_columns VALUES (?1, ?2, ?3, ?4)");
  if (!st.ok()) return st;
  for (const ColumnDef& c : m.columns) {
    if (c.allow_zero < 0 && c.default_text.empty()) continue;
    s.Reset();
    s.BindText(1, m.name);
    s.BindText(2, c.name);
    if (c.allow_zero >= 0) s.BindInt(3, c.allow_zero);
    if (!c.default_text.empty()) s.BindText(4, c.default_text);
    if (!(st = s.Run()).ok()) return st;
  }
  st = s.Prepare(db_, "INSERT INTO __mlx_counters VALUES (?1, ?2, ?3, ?4, ?5)");
  if (!st.ok()) return st;
  for (const ColumnDef& c : m.columns) {
    if (!c.counter) continue;
    s.Reset();
    s.BindText(1, m.name);
    s.BindText(2, c.name);
    s.BindInt(3, c.seed);
    s.BindInt(4, c.increment);
    s.BindInt(5, c.guard ? 1 : 0);
    if (!(st = s.Run()).ok()) return st;
  }
  st = s.Prepare(db_, "INSERT INTO __mlx_indexes VALUES (?1, ?2, ?3, ?4, ?5)");
  if (!st.ok()) return st;
  for (const IndexDef& ix : m.indexes) {
    s.Reset();
    s.BindText(1, m.name);
    s.BindText(2, ix.name);
    s.BindText(3, ix.sqlite_name);
    s.BindInt(4, ix.primary ? 1 : 0);
    s.BindInt(5, ix.nulls);
    if (!(st = s.Run()).ok()) return st;
  }
  st = s.Prepare(db_, "INSERT INTO __mlx_relations VALUES (?1, ?2, ?3, ?4)");
  if (!st.ok()) return st;
  for (const KeyDef& k : m.keys) {
    s.Reset();
    s.BindText(1, k.name);
    s.BindText(2, m.name);
    s.BindText(3, k.ref_table);
    s.BindText(4, KeptColumns(k.columns));
    if (!(st = s.Run()).ok()) {
      if (st.description().find("UNIQUE") != std::string::npos) {
        return ErrExists("Relationship '" + k.name + "'");
      }
      return st;
    }
  }
  return Status::OK();
}

namespace {

// A guard trigger of the layer: "__mlx_<kind>_<table>", run `when` ("BEFORE INSERT", ...).
Status CreateGuardTrigger(sqlite3* db, const char* kind, const char* when, const std::string& table,
                          const std::string& body) {
  return Exec(db, "CREATE TRIGGER " + QuoteId("__mlx_" + std::string(kind) + "_" + table) + " " +
                      when + " ON " + QuoteId(table) + " BEGIN " + body + "END");
}

Status DropGuardTriggers(sqlite3* db, const std::string& table) {
  std::vector<std::string> old;
  {
    Stmt s;
    Status st = s.Prepare(db,
                          "SELECT name FROM sqlite_schema WHERE type = 'trigger' AND "
                          "tbl_name = ?1 AND substr(name, 1, 6) = '__mlx_'");
    if (!st.ok()) return st;
    s.BindText(1, table);
    while (s.Step() == SQLITE_ROW) old.push_back(s.Text(0));
  }
  for (const auto& name : old) {
    Status st = Exec(db, "DROP TRIGGER " + QuoteId(name));
    if (!st.ok()) return st;
  }
  return Status::OK();
}

// Columns whose size rule is a check of the table; tables written before the checks keep the
// rule in the trigger.
Status TableSizeChecks(sqlite3* db, const std::string& table,
                       std::vector<std::pair<std::string, std::string>>* checks) {
  Stmt s;
  Status st = s.Prepare(db, "SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ?1");
  if (!st.ok()) return st;
  s.BindText(1, table);
  if (s.Step() == SQLITE_ROW) *checks = SizeChecks(s.Text(0));
  return Status::OK();
}

std::string Raise(const std::string& message, const std::string& condition) {
  return "SELECT RAISE(ABORT, " + QuoteText(message) + ") WHERE " + condition + "; ";
}

// The checks of one column before a row is inserted and before it is updated: zero-length
// text, the size of text without a size check, Null in an index that refuses it.
void ColumnChecks(const TableModel& m, const ColumnDef& c, bool has_size_check, std::string* insert,
                  std::string* update) {
  std::string col = "NEW." + QuoteId(c.name);
  JetType type = TypeFromDecl(c.decl);
  std::string checks;
  if (type.text && c.allow_zero == 0) {
    checks += Raise("Field '" + m.name + "." + c.name + "' cannot be a zero-length string.",
                    col + " = ''");
  }
  if (type.text && (type.ado == kAdVarWChar || type.ado == kAdWChar) && c.allow_zero >= 0 &&
      !has_size_check) {
    checks += Raise(TooSmallMessage(m.name, c.name), "typeof(" + col + ") = 'text' AND length(" +
                                                         col + ") > " + std::to_string(type.size));
  }
  bool no_nulls = false;
  for (const auto& ix : m.indexes) {
    if (ix.nulls != kIndexNullsDisallow && !ix.primary) continue;
    for (const auto& ic : ix.columns) no_nulls = no_nulls || SameName(ic, c.name);
  }
  std::string null_check;
  if (no_nulls && !c.not_null) {
    // A counter is Null only while its row is being inserted, until the counter's own trigger
    // numbers it: another trigger may update that row in the meantime (the date triggers do).
    null_check =
        Raise("Index or primary key cannot contain a Null value.",
              col + " IS NULL" + (c.counter ? " AND OLD." + QuoteId(c.name) + " IS NOT NULL" : ""));
  }
  *insert += checks + (c.counter ? "" : null_check);
  *update += checks + null_check;
}

// What numbers a counter: after an insert, the value given to a row left Null and the next
// seed; after an update, the next seed past the value written.
void CounterSteps(const TableModel& m, const ColumnDef& c, std::string* assign,
                  std::string* bump_update) {
  std::string t = QuoteId(m.name), col = QuoteId(c.name);
  std::string where = " WHERE tbl = " + QuoteText(m.name) + " AND col = " + QuoteText(c.name);
  // A counter left Null takes the seed, or, when the seed was set below values already
  // present and hits one of them, the next number after the largest value.
  *assign += "UPDATE " + t + " SET " + col + " = (SELECT CASE WHEN k.guard = 0 OR NOT EXISTS " +
             "(SELECT 1 FROM " + t + " WHERE " + col + " = k.seed) THEN k.seed ELSE (SELECT " +
             (c.increment > 0 ? "max(" : "min(") + col + ") FROM " + t + ") + k.inc END FROM " +
             "__mlx_counters AS k" + where + ") WHERE rowid = NEW.rowid AND NEW." + col +
             " IS NULL; ";
  std::string value = "(SELECT " + col + " FROM " + t + " WHERE rowid = NEW.rowid)";
  *assign += "UPDATE __mlx_counters SET seed = CASE WHEN inc > 0 THEN max(seed, " + value +
             " + inc) ELSE min(seed, " + value + " + inc) END" + where + " AND " + value +
             " IS NOT NULL; ";
  *bump_update += "UPDATE __mlx_counters SET seed = CASE WHEN inc > 0 THEN max(seed, NEW." + col +
                  " + inc) ELSE min(seed, NEW." + col + " + inc) END" + where + " AND NEW." + col +
                  " IS NOT NULL; ";
}

}  // namespace

Status Schema::WriteTriggers(const TableModel& m) {
  // Drop the guard triggers of the table, then write them again from the model.
  Status st = DropGuardTriggers(db_, m.name);
  if (!st.ok()) return st;
  std::vector<std::pair<std::string, std::string>> size_checks;
  st = TableSizeChecks(db_, m.name, &size_checks);
  if (!st.ok()) return st;
  std::string checks_insert, checks_update;
  for (const ColumnDef& c : m.columns) {
    if (c.hidden) continue;
    bool has_size_check =
        std::any_of(size_checks.begin(), size_checks.end(),
                    [&](const auto& check) { return SameName(check.first, c.name); });
    ColumnChecks(m, c, has_size_check, &checks_insert, &checks_update);
  }
  if (!checks_insert.empty()) {
    st = CreateGuardTrigger(db_, "bi", "BEFORE INSERT", m.name, checks_insert);
    if (!st.ok()) return st;
  }
  if (!checks_update.empty()) {
    st = CreateGuardTrigger(db_, "bu", "BEFORE UPDATE", m.name, checks_update);
    if (!st.ok()) return st;
  }
  st = WriteDateTriggers(db_, m);
  if (!st.ok() || m.without_rowid) return st;
  std::string assign, bump_update;
  for (const ColumnDef& c : m.columns) {
    if (c.counter) CounterSteps(m, c, &assign, &bump_update);
  }
  if (assign.empty()) return Status::OK();
  st = CreateGuardTrigger(db_, "ai", "AFTER INSERT", m.name, assign);
  if (!st.ok()) return st;
  return CreateGuardTrigger(db_, "au", "AFTER UPDATE", m.name, bump_update);
}

Status Schema::SyncTable(const TableModel& model) {
  Status st = WriteBookkeeping(model);
  if (!st.ok()) return st;
  return WriteTriggers(model);
}

Status Schema::Create(const TableModel& model) {
  Status st = EnsureBookkeeping();
  if (!st.ok()) return st;
  st = Exec(db_, CreateTableSql(model, model.name));
  if (!st.ok()) return st;
  for (const IndexDef& ix : model.indexes) {
    if (ix.primary) continue;
    st = Exec(db_, CreateIndexSql(model, ix));
    if (!st.ok()) return st;
  }
  return SyncTable(model);
}

}  // namespace mlx::db::internal
