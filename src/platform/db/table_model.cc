// The table model: reading a table's whole definition from SQLite and the layer's bookkeeping,
// writing it back (bookkeeping rows and guard triggers), and the table rebuild.
#include <algorithm>
#include <map>

#include "platform/db/internal.h"

namespace mlx::db::internal {

ColumnDef* TableModel::FindColumn(std::string_view n) {
  for (auto& c : columns) {
    if (SameName(c.name, n)) return &c;
  }
  return nullptr;
}
const ColumnDef* TableModel::FindColumn(std::string_view n) const {
  for (const auto& c : columns) {
    if (SameName(c.name, n)) return &c;
  }
  return nullptr;
}
IndexDef* TableModel::FindIndex(std::string_view n) {
  for (auto& i : indexes) {
    if (SameName(i.name, n)) return &i;
  }
  return nullptr;
}
IndexDef* TableModel::Primary() {
  for (auto& i : indexes) {
    if (i.primary) return &i;
  }
  return nullptr;
}
KeyDef* TableModel::FindKey(std::string_view n) {
  for (auto& k : keys) {
    if (SameName(k.name, n)) return &k;
  }
  return nullptr;
}
int TableModel::VisibleColumns() const {
  int n = 0;
  for (const auto& c : columns) n += c.hidden ? 0 : 1;
  return n;
}

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

bool WithoutRowid(std::string_view create_sql) {
  std::string sql = Upper(create_sql);
  std::size_t close = sql.rfind(')');
  return close != std::string::npos && sql.find("WITHOUT", close) != std::string::npos;
}

namespace {

std::string JoinNames(const std::vector<std::string>& names, const char* sep = ";") {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) out += (i ? sep : "") + names[i];
  return out;
}

std::string QuotedList(const std::vector<std::string>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + QuoteId(names[i]);
  return out;
}

int RuleFromText(const std::string& s) {
  std::string u = Upper(s);
  if (u == "CASCADE") return kRuleCascade;
  if (u == "SET NULL") return kRuleSetNull;
  return kRuleNone;
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

constexpr const char* kBookkeeping[] = {
    "CREATE TABLE IF NOT EXISTS __mlx_columns (tbl TEXT NOT NULL COLLATE NOCASE, "
    "col TEXT NOT NULL COLLATE NOCASE, allow_zero_length INTEGER, default_text TEXT, "
    "PRIMARY KEY (tbl, col))",
    "CREATE TABLE IF NOT EXISTS __mlx_counters (tbl TEXT NOT NULL COLLATE NOCASE, "
    "col TEXT NOT NULL COLLATE NOCASE, seed INTEGER NOT NULL, inc INTEGER NOT NULL, "
    "guard INTEGER NOT NULL DEFAULT 0, PRIMARY KEY (tbl, col))",
    "CREATE TABLE IF NOT EXISTS __mlx_indexes (tbl TEXT NOT NULL COLLATE NOCASE, "
    "name TEXT NOT NULL COLLATE NOCASE, sqlite_name TEXT NOT NULL, is_primary INTEGER NOT NULL, "
    "nulls INTEGER NOT NULL, PRIMARY KEY (tbl, name))",
    "CREATE TABLE IF NOT EXISTS __mlx_relations (name TEXT NOT NULL COLLATE NOCASE PRIMARY KEY, "
    "tbl TEXT NOT NULL COLLATE NOCASE, ref_tbl TEXT NOT NULL COLLATE NOCASE, "
    "cols TEXT NOT NULL COLLATE NOCASE)",
    // jet_sql: the query as the script wrote it ('' for another tool's view kept while dormant);
    // dormant_sql: the CREATE VIEW text of a dormant query, Null while its view is there.
    "CREATE TABLE IF NOT EXISTS __mlx_views (name TEXT NOT NULL COLLATE NOCASE PRIMARY KEY, "
    "jet_sql TEXT NOT NULL, dormant_sql TEXT)",
    // The schema cookie the hidden tables were last brought in step with (one row).
    "CREATE TABLE IF NOT EXISTS __mlx_schema (cookie INTEGER NOT NULL)",
};

// Guard triggers are named "__mlx_<kind>_<table>"; SQLite keeps a trigger's name when another
// tool renames its table.
constexpr const char* kNamedForOtherTable =
    "substr(name, 1, 6) = '__mlx_' AND substr(name, -length(tbl_name) - 1) <> "
    "'_' || tbl_name COLLATE NOCASE";

}  // namespace

std::optional<std::string> Schema::FindTable(std::string_view name) const {
  Stmt s;
  if (!s.Prepare(db_, "SELECT name FROM sqlite_schema WHERE type = 'table' AND name = ?1 "
                      "COLLATE NOCASE").ok()) {
    return std::nullopt;
  }
  s.BindText(1, name);
  while (s.Step() == SQLITE_ROW) {
    std::string found = s.Text(0);
    if (!IsHiddenName(found)) return found;
  }
  return std::nullopt;
}

std::optional<std::string> Schema::FindView(std::string_view name) const {
  Stmt s;
  if (!s.Prepare(db_, "SELECT name FROM sqlite_schema WHERE type = 'view' AND name = ?1 "
                      "COLLATE NOCASE").ok()) {
    return std::nullopt;
  }
  s.BindText(1, name);
  if (s.Step() == SQLITE_ROW) {
    if (IsHiddenName(s.Text(0))) return std::nullopt;
    return s.Text(0);
  }
  return FindDormantView(name);
}

bool Schema::HasBookkeeping() const {
  return QueryInt(db_, "SELECT count(*) FROM sqlite_schema WHERE name = '__mlx_views'")
             .value_or(0) > 0;
}

// Files written before dormant queries lack the column that keeps them; they have none.
bool Schema::KeepsDormantViews() const {
  return QueryInt(db_, "SELECT count(*) FROM pragma_table_info('__mlx_views') WHERE name = "
                       "'dormant_sql'").value_or(0) > 0;
}

// Files written before the schema cookie and dormant queries were kept lack their pieces.
bool Schema::HasCurrentBookkeeping() const {
  return QueryInt(db_, "SELECT (SELECT count(*) FROM sqlite_schema WHERE name = "
                       "'__mlx_schema') + (SELECT count(*) FROM pragma_table_info('__mlx_views') "
                       "WHERE name = 'dormant_sql')").value_or(0) == 2;
}

Status Schema::EnsureBookkeeping() {
  if (HasCurrentBookkeeping()) return Status::OK();
  for (const char* sql : kBookkeeping) {
    Status st = Exec(db_, sql);
    if (!st.ok()) return st;
  }
  if (KeepsDormantViews()) return Status::OK();
  return Exec(db_, "ALTER TABLE __mlx_views ADD COLUMN dormant_sql TEXT");
}

std::vector<std::string> Schema::UserTables() const {
  std::vector<std::string> out;
  Stmt s;
  if (!s.Prepare(db_, "SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY name "
                      "COLLATE NOCASE").ok()) {
    return out;
  }
  while (s.Step() == SQLITE_ROW) {
    std::string n = s.Text(0);
    if (!IsHiddenName(n)) out.push_back(n);
  }
  return out;
}

Status Schema::Load(std::string_view table, TableModel* model) const {
  auto found = FindTable(table);
  if (!found) return ErrMissing("La tabella '" + std::string(table) + "'");
  *model = TableModel{};
  model->name = *found;
  const std::string& t = model->name;
  // The counters and zero-length rules kept for a table are its own only while it carries what
  // the layer writes for them, a guard trigger or a size check: a table that another tool
  // dropped and made again under the same name carries neither. (StaleTablesSql finds the
  // tables where this is not so.)
  bool own_rules = false;
  {
    Stmt s;
    Status st = s.Prepare(db_, "SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ?1");
    if (!st.ok()) return st;
    s.BindText(1, t);
    if (s.Step() == SQLITE_ROW) {
      model->without_rowid = WithoutRowid(s.Text(0));
      own_rules = Upper(s.Text(0)).find("\"" + Upper(kSizeCheckPrefix)) != std::string::npos;
    }
  }
  {
    Stmt s;
    Status st = s.Prepare(db_, "SELECT name, sql FROM sqlite_schema WHERE type = 'trigger' AND "
                               "tbl_name = ?1");
    if (!st.ok()) return st;
    s.BindText(1, t);
    while (s.Step() == SQLITE_ROW) {
      if (!IsHiddenName(s.Text(0))) {
        model->user_triggers.push_back(s.Text(1));
      } else if (s.Text(0).starts_with(kHiddenPrefix)) {
        own_rules = true;
      }
    }
  }
  std::vector<std::pair<int, std::string>> pk_columns;
  {
    Stmt s;
    Status st = s.Prepare(db_, "SELECT name, type, \"notnull\", dflt_value, pk FROM "
                               "pragma_table_info(?1)");
    if (!st.ok()) return st;
    s.BindText(1, t);
    while (s.Step() == SQLITE_ROW) {
      ColumnDef c;
      c.name = s.Text(0);
      c.decl = s.Text(1);
      c.not_null = s.Int(2) != 0;
      c.default_sql = s.IsNull(3) ? "" : s.Text(3);
      c.hidden = c.name == kPlaceholderColumn;
      c.copy_from = QuoteId(c.name);
      const char* decl = nullptr;
      const char* coll = nullptr;
      int nn = 0, pk = 0, autoinc = 0;
      if (sqlite3_table_column_metadata(db_, "main", t.c_str(), c.name.c_str(), &decl, &coll, &nn,
                                        &pk, &autoinc) == SQLITE_OK) {
        if (coll && Upper(coll) != "BINARY") c.collate = coll;
        c.rowid_autoinc = autoinc != 0;
      }
      if (s.Int(4) > 0) pk_columns.emplace_back(static_cast<int>(s.Int(4)), c.name);
      model->columns.push_back(std::move(c));
    }
  }
  std::map<std::string, std::pair<std::string, int>> index_names;  // sqlite name -> name, nulls
  std::string primary_name = "PrimaryKey";
  std::vector<std::tuple<std::string, std::string, std::string>> relation_names;
  if (HasBookkeeping()) {
    Stmt s;
    Status st = s.Prepare(db_, "SELECT col, allow_zero_length, default_text FROM __mlx_columns "
                               "WHERE tbl = ?1");
    if (!st.ok()) return st;
    s.BindText(1, t);
    while (s.Step() == SQLITE_ROW) {
      if (ColumnDef* c = model->FindColumn(s.Text(0))) {
        c->allow_zero = s.IsNull(1) || !own_rules ? -1 : static_cast<int>(s.Int(1));
        // The default as written only while the column has a default.
        c->default_text = s.IsNull(2) || c->default_sql.empty() ? "" : s.Text(2);
      }
    }
    st = s.Prepare(db_, "SELECT col, seed, inc, guard FROM __mlx_counters WHERE tbl = ?1");
    if (!st.ok()) return st;
    s.BindText(1, t);
    while (own_rules && s.Step() == SQLITE_ROW) {
      if (ColumnDef* c = model->FindColumn(s.Text(0))) {
        c->counter = true;
        c->seed = s.Int(1);
        c->increment = s.Int(2);
        c->guard = s.Int(3) != 0;
      }
    }
    st = s.Prepare(db_, "SELECT name, sqlite_name, is_primary, nulls FROM __mlx_indexes "
                        "WHERE tbl = ?1");
    if (!st.ok()) return st;
    s.BindText(1, t);
    while (s.Step() == SQLITE_ROW) {
      if (s.Int(2) != 0) {
        primary_name = s.Text(0);
      } else {
        index_names[s.Text(1)] = {s.Text(0), static_cast<int>(s.Int(3))};
      }
    }
    st = s.Prepare(db_, "SELECT name, ref_tbl, cols FROM __mlx_relations WHERE tbl = ?1");
    if (!st.ok()) return st;
    s.BindText(1, t);
    while (s.Step() == SQLITE_ROW) relation_names.emplace_back(s.Text(0), s.Text(1), s.Text(2));
  }
  if (!pk_columns.empty()) {
    std::sort(pk_columns.begin(), pk_columns.end());
    IndexDef pk;
    pk.name = primary_name;
    pk.primary = pk.unique = true;
    pk.nulls = kIndexNullsDisallow;
    for (auto& [order, name] : pk_columns) {
      pk.columns.push_back(name);
      pk.descending.push_back(false);
    }
    model->indexes.push_back(std::move(pk));
  }
  {
    Stmt s;
    Status st = s.Prepare(db_, "SELECT name, \"unique\", origin FROM pragma_index_list(?1)");
    if (!st.ok()) return st;
    s.BindText(1, t);
    std::vector<std::tuple<std::string, bool, std::string>> list;
    while (s.Step() == SQLITE_ROW) list.emplace_back(s.Text(0), s.Int(1) != 0, s.Text(2));
    for (auto& [sqlite_name, unique, origin] : list) {
      if (origin == "pk") continue;
      IndexDef ix;
      ix.sqlite_name = sqlite_name;
      ix.unique = unique;
      auto it = index_names.find(sqlite_name);
      ix.name = it != index_names.end() ? it->second.first : sqlite_name;
      ix.nulls = it != index_names.end() ? it->second.second : kIndexNullsAllow;
      Stmt cols;
      st = cols.Prepare(db_, "SELECT name, \"desc\", cid FROM pragma_index_xinfo(?1) "
                             "WHERE key = 1 ORDER BY seqno");
      if (!st.ok()) return st;
      cols.BindText(1, sqlite_name);
      while (cols.Step() == SQLITE_ROW) {
        ix.columns.push_back(cols.IsNull(0) ? "" : cols.Text(0));
        ix.descending.push_back(cols.Int(1) != 0);
      }
      if (origin == "c" && it == index_names.end()) {
        Stmt q;
        st = q.Prepare(db_, "SELECT sql FROM sqlite_schema WHERE type = 'index' AND name = ?1");
        if (!st.ok()) return st;
        q.BindText(1, sqlite_name);
        if (q.Step() == SQLITE_ROW) ix.sql = q.Text(0);
      }
      if (origin == "u") ix.sqlite_name.clear();  // made an index of its own on rebuild
      model->indexes.push_back(std::move(ix));
    }
    std::sort(model->indexes.begin(), model->indexes.end(),
              [](const IndexDef& a, const IndexDef& b) { return Upper(a.name) < Upper(b.name); });
  }
  {
    Stmt s;
    Status st = s.Prepare(db_, "SELECT id, \"table\", \"from\", \"to\", on_update, on_delete "
                               "FROM pragma_foreign_key_list(?1) ORDER BY id, seq");
    if (!st.ok()) return st;
    s.BindText(1, t);
    std::int64_t current = -1;
    while (s.Step() == SQLITE_ROW) {
      if (s.Int(0) != current) {
        current = s.Int(0);
        KeyDef k;
        k.ref_table = s.Text(1);
        k.update_rule = RuleFromText(s.Text(4));
        k.delete_rule = RuleFromText(s.Text(5));
        model->keys.push_back(std::move(k));
      }
      model->keys.back().columns.push_back(s.Text(2));
      model->keys.back().ref_columns.push_back(s.IsNull(3) ? "" : s.Text(3));
    }
    std::reverse(model->keys.begin(), model->keys.end());  // in the order they were written
    for (KeyDef& k : model->keys) {
      if (!k.ref_columns.empty() && k.ref_columns[0].empty()) {
        // References the parent's primary key.
        Stmt p;
        st = p.Prepare(db_, "SELECT name FROM pragma_table_info(?1) WHERE pk > 0 ORDER BY pk");
        if (!st.ok()) return st;
        p.BindText(1, k.ref_table);
        k.ref_columns.clear();
        while (p.Step() == SQLITE_ROW) k.ref_columns.push_back(p.Text(0));
      }
      std::string cols = JoinNames(k.columns);
      for (auto& [name, ref, kept_cols] : relation_names) {
        if (SameName(ref, k.ref_table) && SameName(kept_cols, cols)) k.name = name;
      }
      if (k.name.empty()) {
        std::string base = k.ref_table + model->name;
        k.name = base;
        for (int n = 1; std::count_if(model->keys.begin(), model->keys.end(), [&](const KeyDef& o) {
                          return &o != &k && SameName(o.name, k.name);
                        }) > 0;
             ++n) {
          k.name = base + std::to_string(n);
        }
      }
    }
  }
  return Status::OK();
}

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
    s.BindText(4, JoinNames(k.columns));
    if (!(st = s.Run()).ok()) {
      if (st.description().find("UNIQUE") != std::string::npos) {
        return ErrExists("Relationship '" + k.name + "'");
      }
      return st;
    }
  }
  return Status::OK();
}

Status Schema::WriteTriggers(const TableModel& m) {
  // Drop the guard triggers of the table, then write them again from the model.
  std::vector<std::string> old;
  {
    Stmt s;
    Status st = s.Prepare(db_, "SELECT name FROM sqlite_schema WHERE type = 'trigger' AND "
                               "tbl_name = ?1 AND substr(name, 1, 6) = '__mlx_'");
    if (!st.ok()) return st;
    s.BindText(1, m.name);
    while (s.Step() == SQLITE_ROW) old.push_back(s.Text(0));
  }
  for (const auto& name : old) {
    Status st = Exec(db_, "DROP TRIGGER " + QuoteId(name));
    if (!st.ok()) return st;
  }
  // Columns whose size rule is a check of the table; tables written before the checks keep
  // the rule in the trigger.
  std::vector<std::pair<std::string, std::string>> size_checks;
  {
    Stmt s;
    Status st = s.Prepare(db_, "SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ?1");
    if (!st.ok()) return st;
    s.BindText(1, m.name);
    if (s.Step() == SQLITE_ROW) size_checks = SizeChecks(s.Text(0));
  }
  auto has_size_check = [&](const std::string& column) {
    return std::any_of(size_checks.begin(), size_checks.end(),
                       [&](const auto& check) { return SameName(check.first, column); });
  };
  auto raise = [](const std::string& message, const std::string& condition) {
    return "SELECT RAISE(ABORT, " + QuoteText(message) + ") WHERE " + condition + "; ";
  };
  std::string checks_insert, checks_update;
  for (const ColumnDef& c : m.columns) {
    if (c.hidden) continue;
    std::string col = "NEW." + QuoteId(c.name);
    JetType type = TypeFromDecl(c.decl);
    std::string checks;
    if (type.text && c.allow_zero == 0) {
      checks += raise("Field '" + m.name + "." + c.name + "' cannot be a zero-length string.",
                      col + " = ''");
    }
    if (type.text && (type.ado == kAdVarWChar || type.ado == kAdWChar) && c.allow_zero >= 0 &&
        !has_size_check(c.name)) {
      checks += raise(TooSmallMessage(m.name, c.name),
                      "typeof(" + col + ") = 'text' AND length(" + col + ") > " +
                          std::to_string(type.size));
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
      null_check = raise("Index or primary key cannot contain a Null value.",
                         col + " IS NULL" + (c.counter ? " AND OLD." + QuoteId(c.name) +
                                                             " IS NOT NULL" : ""));
    }
    checks_insert += checks + (c.counter ? "" : null_check);
    checks_update += checks + null_check;
  }
  if (!checks_insert.empty()) {
    Status st = Exec(db_, "CREATE TRIGGER " + QuoteId("__mlx_bi_" + m.name) + " BEFORE INSERT ON " +
                              QuoteId(m.name) + " BEGIN " + checks_insert + "END");
    if (!st.ok()) return st;
  }
  if (!checks_update.empty()) {
    Status st = Exec(db_, "CREATE TRIGGER " + QuoteId("__mlx_bu_" + m.name) + " BEFORE UPDATE ON " +
                              QuoteId(m.name) + " BEGIN " + checks_update + "END");
    if (!st.ok()) return st;
  }
  Status dates = WriteDateTriggers(db_, m);
  if (!dates.ok()) return dates;
  if (m.without_rowid) return Status::OK();
  std::string assign, bump_update;
  for (const ColumnDef& c : m.columns) {
    if (!c.counter) continue;
    std::string t = QuoteId(m.name), col = QuoteId(c.name);
    std::string where = " WHERE tbl = " + QuoteText(m.name) + " AND col = " + QuoteText(c.name);
    // A counter left Null takes the seed, or, when the seed was set below values already
    // present and hits one of them, the next number after the largest value.
    assign += "UPDATE " + t + " SET " + col + " = (SELECT CASE WHEN k.guard = 0 OR NOT EXISTS " +
              "(SELECT 1 FROM " + t + " WHERE " + col + " = k.seed) THEN k.seed ELSE (SELECT " +
              (c.increment > 0 ? "max(" : "min(") + col + ") FROM " + t + ") + k.inc END FROM " +
              "__mlx_counters AS k" + where + ") WHERE rowid = NEW.rowid AND NEW." + col +
              " IS NULL; ";
    std::string value = "(SELECT " + col + " FROM " + t + " WHERE rowid = NEW.rowid)";
    assign += "UPDATE __mlx_counters SET seed = CASE WHEN inc > 0 THEN max(seed, " + value +
              " + inc) ELSE min(seed, " + value + " + inc) END" + where + " AND " + value +
              " IS NOT NULL; ";
    bump_update += "UPDATE __mlx_counters SET seed = CASE WHEN inc > 0 THEN max(seed, NEW." + col +
                   " + inc) ELSE min(seed, NEW." + col + " + inc) END" + where + " AND NEW." +
                   col + " IS NOT NULL; ";
  }
  if (!assign.empty()) {
    Status st = Exec(db_, "CREATE TRIGGER " + QuoteId("__mlx_ai_" + m.name) + " AFTER INSERT ON " +
                              QuoteId(m.name) + " BEGIN " + assign + "END");
    if (!st.ok()) return st;
    st = Exec(db_, "CREATE TRIGGER " + QuoteId("__mlx_au_" + m.name) + " AFTER UPDATE ON " +
                       QuoteId(m.name) + " BEGIN " + bump_update + "END");
    if (!st.ok()) return st;
  }
  return Status::OK();
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

Status Schema::Referencing(std::string_view table,
                           std::vector<std::pair<std::string, KeyDef>>* keys) const {
  keys->clear();
  for (const std::string& t : UserTables()) {
    bool refers = false;
    {
      Stmt s;
      Status st = s.Prepare(db_, "SELECT 1 FROM pragma_foreign_key_list(?1) WHERE \"table\" = ?2 "
                                 "COLLATE NOCASE");
      if (!st.ok()) return st;
      s.BindText(1, t);
      s.BindText(2, table);
      refers = s.Step() == SQLITE_ROW;
    }
    if (!refers) continue;
    TableModel m;
    Status st = Load(t, &m);
    if (!st.ok()) return st;
    for (const KeyDef& k : m.keys) {
      if (SameName(k.ref_table, table)) keys->emplace_back(t, k);
    }
  }
  return Status::OK();
}

Status Schema::Rebuild(const TableModel& old_model, const TableModel& new_model,
                       const std::function<Status()>& then) {
  TableModel model = new_model;
  for (IndexDef& ix : model.indexes) {
    // A unique constraint of another tool's table becomes an index of its own.
    if (!ix.primary && ix.sqlite_name.empty() && ix.sql.empty()) {
      ix.sqlite_name = NewIndexName(model.name, ix.name);
    }
  }
  if (!sqlite3_get_autocommit(db_)) {
    return ErrDb("The table cannot be changed inside an open transaction.");
  }
  Status st = Exec(db_, "PRAGMA foreign_keys = OFF");
  if (!st.ok()) return st;
  st = Exec(db_, "PRAGMA legacy_alter_table = ON");
  if (st.ok()) {
    st = InTransaction(db_, [&]() -> Status {
      Status s = EnsureBookkeeping();
      if (!s.ok()) return s;
      const std::string temp = "__mlx_rebuild";
      s = Exec(db_, CreateTableSql(model, temp, old_model.name));
      if (!s.ok()) return s;
      std::string cols, exprs;
      for (const ColumnDef& c : model.columns) {
        if (c.copy_from.empty()) continue;
        cols += (cols.empty() ? "" : ", ") + QuoteId(c.name);
        exprs += (exprs.empty() ? "" : ", ") + c.copy_from;
      }
      if (!cols.empty()) {
        // Each column is filled by its copy_from (a column whose type changes converts and
        // checks its values there); the size checks are off, so that a rebuild for another
        // change does not fail on texts already longer than their column's size.
        s = Exec(db_, "PRAGMA ignore_check_constraints = ON");
        if (s.ok()) {
          s = Exec(db_, "INSERT INTO " + QuoteId(temp) + " (" + cols + ") SELECT " + exprs +
                            " FROM " + QuoteId(old_model.name));
        }
        // The checks must be on again whatever the copy did: a connection left without them
        // would accept texts longer than their columns.
        Status on = Exec(db_, "PRAGMA ignore_check_constraints = OFF");
        if (!s.ok()) return s;
        if (!on.ok()) return on;
      } else {
        s = Exec(db_, "INSERT INTO " + QuoteId(temp) + " DEFAULT VALUES");
        if (!s.ok()) return s;
        s = Exec(db_, "DELETE FROM " + QuoteId(temp));
        if (!s.ok()) return s;
      }
      // The next number of another tool's AUTOINCREMENT key lives in sqlite_sequence.
      std::optional<std::int64_t> sequence;
      bool autoinc = std::any_of(model.columns.begin(), model.columns.end(),
                                 [](const ColumnDef& c) { return c.rowid_autoinc; });
      if (autoinc) {
        sequence = QueryInt(db_, "SELECT seq FROM sqlite_sequence WHERE name = " +
                                     QuoteText(old_model.name));
      }
      s = Exec(db_, "DROP TABLE " + QuoteId(old_model.name));
      if (!s.ok()) return s;
      s = Exec(db_, "ALTER TABLE " + QuoteId(temp) + " RENAME TO " + QuoteId(model.name));
      if (!s.ok()) return s;
      if (sequence) {
        s = Exec(db_, "DELETE FROM sqlite_sequence WHERE name = " + QuoteText(model.name));
        if (s.ok()) {
          s = Exec(db_, "INSERT INTO sqlite_sequence (name, seq) VALUES (" +
                            QuoteText(model.name) + ", max(" + std::to_string(*sequence) +
                            ", ifnull((SELECT max(rowid) FROM " + QuoteId(model.name) + "), 0)))");
        }
        if (!s.ok()) return s;
      }
      for (const IndexDef& ix : model.indexes) {
        if (ix.primary) continue;
        s = Exec(db_, CreateIndexSql(model, ix));
        if (!s.ok()) return s;
      }
      for (const std::string& trigger : model.user_triggers) {
        s = Exec(db_, trigger);
        if (!s.ok()) return s;
      }
      if (!SameName(old_model.name, model.name)) {
        s = DropBookkeeping(old_model.name);
        if (!s.ok()) return s;
      }
      s = SyncTable(model);
      if (!s.ok()) return s;
      if (then) {
        s = then();
        if (!s.ok()) return s;
      }
      s = SettleViews({old_model.name, model.name});
      if (!s.ok()) return s;
      // Relations in both directions must still hold before the change is committed.
      std::vector<std::string> to_check = {model.name};
      std::vector<std::pair<std::string, KeyDef>> children;
      s = Referencing(model.name, &children);
      if (!s.ok()) return s;
      for (auto& [child, key] : children) to_check.push_back(child);
      for (const std::string& t : to_check) {
        Stmt check;
        s = check.Prepare(db_, "PRAGMA foreign_key_check(" + QuoteId(t) + ")");
        if (!s.ok()) return s;
        int rc = check.Step();
        if (rc == SQLITE_ROW) {
          return ErrDb("Data in table '" + check.Text(0) + "' violates the referential integrity "
                       "rules of its relation with table '" + check.Text(2) + "'.");
        }
        if (rc != SQLITE_DONE) return check.Error(rc);
      }
      return Status::OK();
    });
  }
  // The connection's settings go back whatever the rebuild did; a connection left without its
  // foreign keys would no longer enforce the relations, so a failure to restore them is reported.
  Status legacy = Exec(db_, "PRAGMA legacy_alter_table = OFF");
  Status keys = Exec(db_, "PRAGMA foreign_keys = ON");
  if (st.ok() && !legacy.ok()) st = legacy;
  if (st.ok() && !keys.ok()) st = keys;
  return st;
}

// ---------------------------------------------------------------------------------------------
// Saved queries that outlive the tables they name.

namespace {

// A view compiles when a query over it can be prepared (CREATE VIEW itself checks only syntax).
Status CheckView(sqlite3* db, const std::string& name) {
  Stmt s;
  return s.Prepare(db, "SELECT * FROM " + QuoteId(name));
}

}  // namespace

Status ViewBody(const std::string& jet_sql, std::string* body) {
  std::vector<Token> toks;
  Status st = Tokenize(jet_sql, &toks);
  if (!st.ok()) return st;
  while (!toks.empty() && toks.back().IsOp(";")) toks.pop_back();
  std::size_t k = 0;
  while (k < toks.size() && toks[k].IsOp("(")) ++k;
  if (k >= toks.size() || !(toks[k].IsWord("SELECT") || toks[k].IsWord("WITH"))) {
    return ErrInvalid("(a saved query must be a SELECT statement)");
  }
  return TranslateTokens(toks, false, body);
}

std::string ViewSelect(const std::string& create_view) {
  std::vector<Token> toks;
  if (!Tokenize(create_view, &toks).ok()) return create_view;
  for (const Token& t : toks) {
    if (t.IsWord("AS")) {
      std::string out = create_view.substr(t.end);
      while (!out.empty() && out.front() == ' ') out.erase(0, 1);
      return out;
    }
  }
  return create_view;
}

namespace {

// The query of a dormant view, to be compiled: the translated text of a query of the layer,
// the query of another tool's definition.
std::string DormantSelect(const std::string& jet_sql, const std::string& dormant_sql) {
  std::string select;
  if (jet_sql.empty() || !ViewBody(jet_sql, &select).ok()) select = ViewSelect(dormant_sql);
  return select;
}

}  // namespace

std::optional<std::string> Schema::FindDormantView(std::string_view name) const {
  Stmt s;
  if (!KeepsDormantViews() ||
      !s.Prepare(db_, "SELECT name FROM __mlx_views WHERE name = ?1 AND dormant_sql IS NOT NULL")
           .ok()) {
    return std::nullopt;
  }
  s.BindText(1, name);
  if (s.Step() == SQLITE_ROW) return s.Text(0);
  return std::nullopt;
}

bool Schema::IsDormantView(std::string_view name) const {
  return FindDormantView(name).has_value();
}

// The live views whose text names an object (every view for an empty name). A text that does
// not contain the name cannot depend on the object, so the others need no look.
Status Schema::ViewsNaming(std::string_view name, std::vector<std::string>* views) const {
  views->clear();
  Stmt s;
  Status st = s.Prepare(db_, "SELECT name FROM sqlite_schema WHERE type = 'view' AND "
                             "instr(lower(sql), lower(?1)) > 0");
  if (!st.ok()) return st;
  s.BindText(1, name);
  while (s.Step() == SQLITE_ROW) {
    if (!IsHiddenName(s.Text(0))) views->push_back(s.Text(0));
  }
  return Status::OK();
}

Status Schema::ParkView(const std::string& name) {
  Status st = EnsureBookkeeping();
  if (!st.ok()) return st;
  Stmt s;
  st = s.Prepare(db_, "INSERT INTO __mlx_views (name, jet_sql, dormant_sql) SELECT name, '', sql "
                      "FROM sqlite_schema WHERE type = 'view' AND name = ?1 ON CONFLICT (name) "
                      "DO UPDATE SET dormant_sql = excluded.dormant_sql");
  if (!st.ok()) return st;
  s.BindText(1, name);
  st = s.Run();
  if (!st.ok()) return st;
  return Exec(db_, "DROP VIEW " + QuoteId(name));
}

Status Schema::ReviveView(const std::string& name, const std::string& jet_sql,
                          const std::string& dormant_sql, bool* revived) {
  *revived = false;
  const std::string select = DormantSelect(jet_sql, dormant_sql);
  Stmt probe;
  if (!probe.Prepare(db_, select).ok()) return Status::OK();  // not yet
  probe.Finalize();
  // A query of the layer is made again from its text, which follows renames; another tool's
  // view as SQLite had it.
  const std::string create =
      jet_sql.empty() ? dormant_sql : "CREATE VIEW " + QuoteId(name) + " AS " + select;
  Status st = Exec(db_, "SAVEPOINT __mlx_view");
  if (!st.ok()) return st;
  if (!Exec(db_, create).ok() || !CheckView(db_, name).ok()) {
    return Exec(db_, "ROLLBACK TO __mlx_view; RELEASE __mlx_view");
  }
  st = Exec(db_, "RELEASE __mlx_view");
  if (!st.ok()) return st;
  Stmt s;
  // Another tool's view is again one the layer keeps nothing for.
  st = s.Prepare(db_, jet_sql.empty()
                          ? "DELETE FROM __mlx_views WHERE name = ?1"
                          : "UPDATE __mlx_views SET dormant_sql = NULL WHERE name = ?1");
  if (!st.ok()) return st;
  s.BindText(1, name);
  *revived = true;
  return s.Run();
}

Status Schema::ParkBrokenViews(std::vector<std::string> touched) {
  std::vector<std::string> views;
  if (touched.empty()) {
    Status st = ViewsNaming("", &views);
    if (!st.ok()) return st;
  }
  for (std::size_t next = 0;; ++next) {
    for (const std::string& view : views) {
      if (CheckView(db_, view).ok()) continue;
      Status st = ParkView(view);
      if (!st.ok()) return st;
      touched.push_back(view);
    }
    if (next == touched.size()) return Status::OK();
    Status st = ViewsNaming(touched[next], &views);
    if (!st.ok()) return st;
  }
}

Status Schema::DormantViews(
    std::vector<std::tuple<std::string, std::string, std::string>>* views) const {
  views->clear();
  if (!KeepsDormantViews()) return Status::OK();
  Stmt s;
  Status st = s.Prepare(db_, "SELECT name, jet_sql, dormant_sql FROM __mlx_views WHERE "
                             "dormant_sql IS NOT NULL");
  if (!st.ok()) return st;
  while (s.Step() == SQLITE_ROW) views->emplace_back(s.Text(0), s.Text(1), s.Text(2));
  return Status::OK();
}

Status Schema::ReviveViews() {
  // One revival can make the text of another query compile (a query over a query).
  for (bool again = true; again;) {
    again = false;
    std::vector<std::tuple<std::string, std::string, std::string>> dormant;
    Status listed = DormantViews(&dormant);
    if (!listed.ok()) return listed;
    for (const auto& [name, jet_sql, dormant_sql] : dormant) {
      bool revived = false;
      Status st = ReviveView(name, jet_sql, dormant_sql, &revived);
      if (!st.ok()) return st;
      again = again || revived;
    }
  }
  return Status::OK();
}

Status Schema::SettleViews(std::vector<std::string> touched) {
  Status st = ParkBrokenViews(std::move(touched));
  if (!st.ok()) return st;
  return ReviveViews();
}

std::optional<std::string> DormantQueryFailure(sqlite3* db, std::string_view message) {
  // Raw calls: a failure here must not be described again through this very function.
  constexpr std::string_view kNoTable = "no such table: ";
  std::string prefix, reason(message);
  for (int depth = 0; depth < 8 && reason.starts_with(kNoTable); ++depth) {
    std::string name = reason.substr(kNoTable.size());
    if (name.starts_with("main.")) name.erase(0, 5);
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name, jet_sql, dormant_sql FROM __mlx_views WHERE "
                               "name = ?1 AND dormant_sql IS NOT NULL", -1, &s, nullptr) !=
        SQLITE_OK) {
      break;
    }
    sqlite3_bind_text(s, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    std::string query, select;
    if (sqlite3_step(s) == SQLITE_ROW) {
      query = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
      select = DormantSelect(reinterpret_cast<const char*>(sqlite3_column_text(s, 1)),
                             reinterpret_cast<const char*>(sqlite3_column_text(s, 2)));
    }
    sqlite3_finalize(s);
    if (query.empty()) break;
    prefix += "The query '" + query + "' cannot be run: ";
    s = nullptr;
    int rc = sqlite3_prepare_v2(db, select.c_str(), static_cast<int>(select.size()), &s, nullptr);
    reason = rc == SQLITE_OK ? "it is kept as text only." : sqlite3_errmsg(db);
    sqlite3_finalize(s);
  }
  if (prefix.empty()) return std::nullopt;
  return prefix + reason;
}

// ---------------------------------------------------------------------------------------------
// Bookkeeping that follows the file: what other tools changed between two runs.

namespace {

// The tables whose bookkeeping describes what the file no longer holds: columns and counters of
// columns that are gone, counters and zero-length rules of tables that no longer carry them,
// defaults as written of columns without a default (these three as Schema::Load reads them),
// index names of indexes that are gone, relation names of relations that are gone, and guard
// triggers named for another table. Sets are built once and looked up, so that the cost grows
// with the size of the schema, not with its square.
const std::string& StaleTablesSql() {
  static const std::string sql =
      "WITH cols (tbl, col, dflt, pk) AS MATERIALIZED (SELECT m.name, p.name, "
      "p.dflt_value IS NOT NULL, p.pk FROM sqlite_schema m JOIN pragma_table_info(m.name) p "
      "WHERE m.type = 'table'), "
      "carriers (tbl) AS MATERIALIZED (SELECT tbl_name FROM sqlite_schema WHERE type = "
      "'trigger' AND substr(name, 1, 6) = '__mlx_' UNION SELECT name FROM sqlite_schema WHERE "
      "type = 'table' AND instr(sql, " +
      QuoteText("\"" + std::string(kSizeCheckPrefix)) + ") > 0), "
      "idx (tbl, name) AS MATERIALIZED (SELECT tbl_name, name FROM sqlite_schema WHERE type = "
      "'index') "
      "SELECT tbl FROM __mlx_columns c WHERE NOT EXISTS (SELECT 1 FROM cols WHERE c.tbl = "
      "cols.tbl AND c.col = cols.col) OR (c.allow_zero_length IS NOT NULL AND NOT EXISTS "
      "(SELECT 1 FROM carriers WHERE c.tbl = carriers.tbl)) OR (c.default_text IS NOT NULL AND "
      "NOT EXISTS (SELECT 1 FROM cols WHERE c.tbl = cols.tbl AND c.col = cols.col AND dflt)) "
      "UNION SELECT tbl FROM __mlx_counters k WHERE NOT EXISTS (SELECT 1 FROM cols WHERE k.tbl = "
      "cols.tbl AND k.col = cols.col) OR NOT EXISTS (SELECT 1 FROM carriers WHERE k.tbl = "
      "carriers.tbl) "
      "UNION SELECT tbl FROM __mlx_indexes i WHERE NOT EXISTS (SELECT 1 FROM cols WHERE i.tbl = "
      "cols.tbl AND (NOT i.is_primary OR cols.pk > 0)) OR (NOT i.is_primary AND i.sqlite_name "
      "<> '' AND NOT EXISTS (SELECT 1 FROM idx WHERE i.tbl = idx.tbl AND i.sqlite_name = "
      "idx.name)) "
      "UNION SELECT tbl FROM __mlx_relations r WHERE NOT EXISTS (SELECT 1 FROM "
      "pragma_foreign_key_list(r.tbl) f WHERE f.seq = 0 AND r.ref_tbl = f.\"table\" AND r.cols = "
      "(SELECT group_concat(g.\"from\", ';') FROM (SELECT \"from\" FROM "
      "pragma_foreign_key_list(r.tbl) g WHERE g.id = f.id ORDER BY g.seq) g)) "
      "UNION SELECT tbl_name FROM sqlite_schema WHERE type = 'trigger' AND " +
      std::string(kNamedForOtherTable);
  return sql;
}

// Live queries whose view is gone, and dormant queries whose name another object took.
constexpr const char* kStaleViewsSql =
    "SELECT name FROM __mlx_views WHERE (dormant_sql IS NULL AND name NOT IN (SELECT name FROM "
    "sqlite_schema WHERE type = 'view')) OR (dormant_sql IS NOT NULL AND name IN (SELECT name "
    "FROM sqlite_schema WHERE type IN ('table', 'view')))";

}  // namespace

bool Schema::InStep() const {
  if (!HasBookkeeping()) return true;
  return QueryInt(db_, "SELECT count(*) FROM __mlx_schema WHERE cookie = (SELECT schema_version "
                       "FROM pragma_schema_version)").value_or(0) > 0;
}

Status Schema::MarkInStep() {
  if (QueryInt(db_, "SELECT count(*) FROM sqlite_schema WHERE name = '__mlx_schema'").value_or(0) ==
      0) {
    return Status::OK();  // nothing kept yet
  }
  return Exec(db_, "DELETE FROM __mlx_schema WHERE cookie IS NOT (SELECT schema_version FROM "
                   "pragma_schema_version); INSERT INTO __mlx_schema SELECT schema_version FROM "
                   "pragma_schema_version WHERE NOT EXISTS (SELECT 1 FROM __mlx_schema)");
}

Status Schema::StaleTables(std::vector<std::string>* tables) const {
  tables->clear();
  Stmt s;
  Status st = s.Prepare(db_, StaleTablesSql());
  if (!st.ok()) return st;
  while (s.Step() == SQLITE_ROW) tables->push_back(s.Text(0));
  return Status::OK();
}

Status Schema::RenamedTables(std::vector<std::pair<std::string, std::string>>* renamed) const {
  renamed->clear();
  // The longest old name that ends a trigger's name wins (T_x and x both end "__mlx_bi_T_x").
  Stmt s;
  Status st = s.Prepare(
      db_, std::string("SELECT b.tbl, t.tbl_name FROM sqlite_schema t JOIN (SELECT tbl FROM "
                       "__mlx_columns UNION SELECT tbl FROM __mlx_counters UNION SELECT tbl FROM "
                       "__mlx_indexes UNION SELECT tbl FROM __mlx_relations) b ON "
                       "substr(t.name, -length(b.tbl) - 1) = '_' || b.tbl COLLATE NOCASE "
                       "WHERE t.type = 'trigger' AND ") +
               kNamedForOtherTable +
               " AND NOT EXISTS (SELECT 1 FROM pragma_table_info(b.tbl)) ORDER BY "
               "length(b.tbl) DESC");
  if (!st.ok()) return st;
  while (s.Step() == SQLITE_ROW) {
    std::string from = s.Text(0), to = s.Text(1);
    bool seen = std::any_of(renamed->begin(), renamed->end(), [&](const auto& r) {
      return SameName(r.first, from) || SameName(r.second, to);
    });
    if (!seen) renamed->emplace_back(from, to);
  }
  return Status::OK();
}

Status Schema::ForgetStaleViews() {
  return Exec(db_, std::string("DELETE FROM __mlx_views WHERE name IN (") + kStaleViewsSql + ")");
}

}  // namespace mlx::db::internal
