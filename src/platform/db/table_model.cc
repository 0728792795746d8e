// The table model: a table's whole definition read from SQLite and the layer's bookkeeping, the
// hidden tables that keep what SQLite does not, and the look-ups of tables and queries by name.
#include <algorithm>
#include <map>

#include "platform/db/table_model.h"

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
const IndexDef* TableModel::Primary() const {
  for (const auto& i : indexes) {
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

bool WithoutRowid(std::string_view create_sql) {
  std::string sql = Upper(create_sql);
  std::size_t close = sql.rfind(')');
  return close != std::string::npos && sql.find("WITHOUT", close) != std::string::npos;
}

ColumnDef PlaceholderColumn() {
  ColumnDef placeholder;
  placeholder.name = std::string(kPlaceholderColumn);
  placeholder.decl = "INT";
  placeholder.hidden = true;
  return placeholder;
}

std::string KeptColumns(const std::vector<std::string>& columns) {
  std::string out;
  for (std::size_t i = 0; i < columns.size(); ++i) out += (i ? ";" : "") + columns[i];
  return out;
}

namespace {

int RuleFromText(const std::string& s) {
  std::string u = Upper(s);
  if (u == "CASCADE") return kRuleCascade;
  if (u == "SET NULL") return kRuleSetNull;
  return kRuleNone;
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
    ("CREATE TABLE IF NOT EXISTS __mlx_views (name TEXT NOT NULL COLLATE NOCASE PRIMARY KEY, "
     "jet_sql TEXT NOT NULL, dormant_sql TEXT)"),
    // The schema cookie the hidden tables were last brought in step with (one row).
    "CREATE TABLE IF NOT EXISTS __mlx_schema (cookie INTEGER NOT NULL)",
};

}  // namespace

std::optional<std::string> Schema::FindTable(std::string_view name) const {
  std::optional<std::string> found;
  (void)LookupTable(name, &found);
  return found;
}

Status Schema::LookupTable(std::string_view name, std::optional<std::string>* found) const {
  found->reset();
  Stmt s;
  Status st = s.Prepare(db_, "SELECT name FROM sqlite_schema WHERE type = 'table' AND name = ?1 "
                             "COLLATE NOCASE");
  if (!st.ok()) return st;
  s.BindText(1, name);
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) {
    std::string table = s.Text(0);
    if (!IsHiddenName(table)) {
      *found = std::move(table);
      return Status::OK();
    }
  }
  return rc == SQLITE_DONE ? Status::OK() : s.Error(rc);
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
  bool present = false;
  (void)ReadBookkeeping(&present);
  return present;
}

Status Schema::ReadBookkeeping(bool* present) const {
  Stmt s;
  Status st = s.Prepare(db_, "SELECT count(*) FROM sqlite_schema WHERE name = '__mlx_views'");
  if (!st.ok()) return st;
  *present = s.Step() == SQLITE_ROW && s.Int(0) > 0;
  return s.Finished();
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

namespace {

// Whether the table is WITHOUT ROWID, and whether it carries a size check of the layer.
Status ReadTableText(sqlite3* db, TableModel* model, bool* own_rules) {
  Stmt s;
  Status st = s.Prepare(db, "SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ?1");
  if (!st.ok()) return st;
  s.BindText(1, model->name);
  if (s.Step() == SQLITE_ROW) {
    model->without_rowid = WithoutRowid(s.Text(0));
    *own_rules = Upper(s.Text(0)).find("\"" + Upper(kSizeCheckPrefix)) != std::string::npos;
  }
  return s.Finished();
}

// The triggers of other tools, which a rebuild writes again; a guard trigger of the layer marks
// the kept rules as the table's own.
Status ReadTriggers(sqlite3* db, TableModel* model, bool* own_rules) {
  Stmt s;
  Status st = s.Prepare(db, "SELECT name, sql FROM sqlite_schema WHERE type = 'trigger' AND "
                            "tbl_name = ?1");
  if (!st.ok()) return st;
  s.BindText(1, model->name);
  while (s.Step() == SQLITE_ROW) {
    if (!IsHiddenName(s.Text(0))) {
      model->user_triggers.push_back(s.Text(1));
    } else if (s.Text(0).starts_with(kHiddenPrefix)) {
      *own_rules = true;
    }
  }
  return s.Finished();
}

// The columns as SQLite has them, and the columns of the primary key with their positions.
Status ReadColumns(sqlite3* db, TableModel* model,
                   std::vector<std::pair<int, std::string>>* pk_columns) {
  const std::string& t = model->name;
  Stmt s;
  Status st = s.Prepare(db, "SELECT name, type, \"notnull\", dflt_value, pk FROM "
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
    if (sqlite3_table_column_metadata(db, "main", t.c_str(), c.name.c_str(), &decl, &coll, &nn,
                                      &pk, &autoinc) == SQLITE_OK) {
      if (coll && Upper(coll) != "BINARY") c.collate = coll;
      c.rowid_autoinc = autoinc != 0;
    }
    if (s.Int(4) > 0) pk_columns->emplace_back(static_cast<int>(s.Int(4)), c.name);
    model->columns.push_back(std::move(c));
  }
  return s.Finished();
}

// The zero-length rules, defaults as written and counters that the bookkeeping keeps for the
// columns; the rules and counters only when they are the table's own.
Status ReadColumnRules(sqlite3* db, bool own_rules, TableModel* model) {
  Stmt s;
  Status st = s.Prepare(db, "SELECT col, allow_zero_length, default_text FROM __mlx_columns "
                            "WHERE tbl = ?1");
  if (!st.ok()) return st;
  s.BindText(1, model->name);
  while (s.Step() == SQLITE_ROW) {
    if (ColumnDef* c = model->FindColumn(s.Text(0))) {
      c->allow_zero = s.IsNull(1) || !own_rules ? -1 : static_cast<int>(s.Int(1));
      // The default as written only while the column has a default.
      c->default_text = s.IsNull(2) || c->default_sql.empty() ? "" : s.Text(2);
    }
  }
  if (st = s.Finished(); !st.ok()) return st;
  st = s.Prepare(db, "SELECT col, seed, inc, guard FROM __mlx_counters WHERE tbl = ?1");
  if (!st.ok()) return st;
  s.BindText(1, model->name);
  while (own_rules && s.Step() == SQLITE_ROW) {
    if (ColumnDef* c = model->FindColumn(s.Text(0))) {
      c->counter = true;
      c->seed = s.Int(1);
      c->increment = s.Int(2);
      c->guard = s.Int(3) != 0;
    }
  }
  return s.Finished();
}

// The names that scripts gave to a table's indexes and relations, which SQLite does not keep.
struct KeptNames {
  std::map<std::string, std::pair<std::string, int>> indexes;  // sqlite name -> name, nulls
  std::string primary = std::string(kPrimaryKeyName);
  std::vector<std::tuple<std::string, std::string, std::string>> relations;  // name, ref, cols
};

Status ReadKeptNames(sqlite3* db, const std::string& table, KeptNames* kept) {
  Stmt s;
  Status st = s.Prepare(db, "SELECT name, sqlite_name, is_primary, nulls FROM __mlx_indexes "
                            "WHERE tbl = ?1");
  if (!st.ok()) return st;
  s.BindText(1, table);
  while (s.Step() == SQLITE_ROW) {
    if (s.Int(2) != 0) {
      kept->primary = s.Text(0);
    } else {
      kept->indexes[s.Text(1)] = {s.Text(0), static_cast<int>(s.Int(3))};
    }
  }
  if (st = s.Finished(); !st.ok()) return st;
  st = s.Prepare(db, "SELECT name, ref_tbl, cols FROM __mlx_relations WHERE tbl = ?1");
  if (!st.ok()) return st;
  s.BindText(1, table);
  while (s.Step() == SQLITE_ROW) kept->relations.emplace_back(s.Text(0), s.Text(1), s.Text(2));
  return s.Finished();
}

void AddPrimaryKey(std::vector<std::pair<int, std::string>> pk_columns, const std::string& name,
                   TableModel* model) {
  if (pk_columns.empty()) return;
  std::sort(pk_columns.begin(), pk_columns.end());
  IndexDef pk;
  pk.name = name;
  pk.primary = pk.unique = true;
  pk.nulls = kIndexNullsDisallow;
  for (auto& [order, column] : pk_columns) {
    pk.columns.push_back(column);
    pk.descending.push_back(false);
  }
  model->indexes.push_back(std::move(pk));
}

// One index of the table as SQLite has it, under the name the script gave it.
Status ReadIndex(sqlite3* db, const KeptNames& kept, const std::string& sqlite_name, bool unique,
                 const std::string& origin, IndexDef* ix) {
  ix->sqlite_name = sqlite_name;
  ix->unique = unique;
  auto it = kept.indexes.find(sqlite_name);
  ix->name = it != kept.indexes.end() ? it->second.first : sqlite_name;
  ix->nulls = it != kept.indexes.end() ? it->second.second : kIndexNullsAllow;
  Stmt cols;
  Status st = cols.Prepare(db, "SELECT name, \"desc\", cid FROM pragma_index_xinfo(?1) "
                               "WHERE key = 1 ORDER BY seqno");
  if (!st.ok()) return st;
  cols.BindText(1, sqlite_name);
  while (cols.Step() == SQLITE_ROW) {
    ix->columns.push_back(cols.IsNull(0) ? "" : cols.Text(0));
    ix->descending.push_back(cols.Int(1) != 0);
  }
  if (st = cols.Finished(); !st.ok()) return st;
  if (origin == "c" && it == kept.indexes.end()) {
    Stmt q;
    st = q.Prepare(db, "SELECT sql FROM sqlite_schema WHERE type = 'index' AND name = ?1");
    if (!st.ok()) return st;
    q.BindText(1, sqlite_name);
    if (q.Step() == SQLITE_ROW) ix->sql = q.Text(0);
    if (st = q.Finished(); !st.ok()) return st;
  }
  if (origin == "u") ix->sqlite_name.clear();  // made an index of its own on rebuild
  return Status::OK();
}

// The indexes besides the primary key, then all of them in the order of their names.
Status ReadIndexes(sqlite3* db, const KeptNames& kept, TableModel* model) {
  Stmt s;
  Status st = s.Prepare(db, "SELECT name, \"unique\", origin FROM pragma_index_list(?1)");
  if (!st.ok()) return st;
  s.BindText(1, model->name);
  std::vector<std::tuple<std::string, bool, std::string>> list;
  while (s.Step() == SQLITE_ROW) list.emplace_back(s.Text(0), s.Int(1) != 0, s.Text(2));
  if (st = s.Finished(); !st.ok()) return st;
  for (auto& [sqlite_name, unique, origin] : list) {
    if (origin == "pk") continue;
    IndexDef ix;
    st = ReadIndex(db, kept, sqlite_name, unique, origin, &ix);
    if (!st.ok()) return st;
    model->indexes.push_back(std::move(ix));
  }
  std::sort(model->indexes.begin(), model->indexes.end(),
            [](const IndexDef& a, const IndexDef& b) { return Upper(a.name) < Upper(b.name); });
  return Status::OK();
}

// Gives a relation read from SQLite the columns of the parent's primary key when it names none,
// and its name: the one kept for the same columns, or the parent's and the table's names joined.
Status CompleteKey(sqlite3* db, const KeptNames& kept, TableModel* model, KeyDef* k) {
  if (!k->ref_columns.empty() && k->ref_columns[0].empty()) {
    Stmt p;
    Status st = p.Prepare(db, "SELECT name FROM pragma_table_info(?1) WHERE pk > 0 ORDER BY pk");
    if (!st.ok()) return st;
    p.BindText(1, k->ref_table);
    k->ref_columns.clear();
    while (p.Step() == SQLITE_ROW) k->ref_columns.push_back(p.Text(0));
    if (st = p.Finished(); !st.ok()) return st;
  }
  std::string cols = KeptColumns(k->columns);
  for (auto& [name, ref, kept_cols] : kept.relations) {
    if (SameName(ref, k->ref_table) && SameName(kept_cols, cols)) k->name = name;
  }
  if (k->name.empty()) {
    std::string base = k->ref_table + model->name;
    k->name = base;
    for (int n = 1; std::count_if(model->keys.begin(), model->keys.end(), [&](const KeyDef& o) {
                      return &o != k && SameName(o.name, k->name);
                    }) > 0;
         ++n) {
      k->name = base + std::to_string(n);
    }
  }
  return Status::OK();
}

Status ReadKeys(sqlite3* db, const KeptNames& kept, TableModel* model) {
  Stmt s;
  Status st = s.Prepare(db, "SELECT id, \"table\", \"from\", \"to\", on_update, on_delete "
                            "FROM pragma_foreign_key_list(?1) ORDER BY id, seq");
  if (!st.ok()) return st;
  s.BindText(1, model->name);
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
  if (st = s.Finished(); !st.ok()) return st;
  std::reverse(model->keys.begin(), model->keys.end());  // in the order they were written
  for (KeyDef& k : model->keys) {
    st = CompleteKey(db, kept, model, &k);
    if (!st.ok()) return st;
  }
  return Status::OK();
}

}  // namespace

Status Schema::Load(std::string_view table, TableModel* model) const {
  std::optional<std::string> found;
  if (Status st = LookupTable(table, &found); !st.ok()) return st;
  if (!found) return MissingTable(table);
  *model = TableModel{};
  model->name = *found;
  // The counters and zero-length rules kept for a table are its own only while it carries what
  // the layer writes for them, a guard trigger or a size check: a table that another tool
  // dropped and made again under the same name carries neither. (StaleTablesSql finds the
  // tables where this is not so.)
  bool own_rules = false;
  std::vector<std::pair<int, std::string>> pk_columns;
  KeptNames kept;
  Status st = ReadTableText(db_, model, &own_rules);
  if (st.ok()) st = ReadTriggers(db_, model, &own_rules);
  if (st.ok()) st = ReadColumns(db_, model, &pk_columns);
  bool bookkeeping = false;
  if (st.ok()) st = ReadBookkeeping(&bookkeeping);
  if (st.ok() && bookkeeping) {
    st = ReadColumnRules(db_, own_rules, model);
    if (st.ok()) st = ReadKeptNames(db_, model->name, &kept);
  }
  if (!st.ok()) return st;
  AddPrimaryKey(std::move(pk_columns), kept.primary, model);
  st = ReadIndexes(db_, kept, model);
  if (!st.ok()) return st;
  return ReadKeys(db_, kept, model);
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

}  // namespace mlx::db::internal
