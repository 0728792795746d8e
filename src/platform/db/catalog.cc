// The catalogue of objects: the tables, columns, indexes, relations and saved queries as the
// catalogue's callers see them, the properties set on columns (seed, zero-length rule, default),
// renames of tables and columns, and the saved queries.
#include "platform/db/catalog.h"

#include <algorithm>

#include "platform/db/ddl_parser.h"

namespace mlx::db::internal {

Status VisibleColumn(TableModel& model, std::string_view name, ColumnDef** column) {
  ColumnDef* c = model.FindColumn(name);
  if (!c || c->hidden) return MissingField(name);
  *column = c;
  return Status::OK();
}

Status StoredColumnNames(const TableModel& model, std::vector<std::string>* names) {
  for (auto& name : *names) {
    const ColumnDef* c = model.FindColumn(name);
    if (!c || c->hidden) return MissingField(name);
    name = c->name;
  }
  return Status::OK();
}

KeyInfo ToInfo(const KeyDef& k) {
  KeyInfo info;
  info.name = k.name;
  info.related_table = k.ref_table;
  for (std::size_t i = 0; i < k.columns.size(); ++i) {
    info.columns.emplace_back(k.columns[i], i < k.ref_columns.size() ? k.ref_columns[i] : "");
  }
  info.update_rule = k.update_rule;
  info.delete_rule = k.delete_rule;
  return info;
}

KeyDef FromInfo(const KeyInfo& key) {
  KeyDef k;
  k.name = key.name;
  k.ref_table = key.related_table;
  bool any_related = false;
  for (const auto& [c, r] : key.columns) {
    k.columns.push_back(c);
    k.ref_columns.push_back(r);
    any_related = any_related || !r.empty();
  }
  if (!any_related) k.ref_columns.clear();
  k.update_rule = key.update_rule;
  k.delete_rule = key.delete_rule;
  return k;
}

Status RewriteViewTexts(sqlite3* db, const std::string& old_name, const std::string& new_name) {
  if (!Schema(db).HasBookkeeping()) return Status::OK();
  std::vector<std::pair<std::string, std::string>> rows;
  {
    Stmt s;
    Status st = s.Prepare(db, "SELECT name, jet_sql FROM __mlx_views");
    if (!st.ok()) return st;
    while (s.Step() == SQLITE_ROW) rows.emplace_back(s.Text(0), s.Text(1));
  }
  for (auto& [name, text] : rows) {
    std::vector<Token> toks;
    if (!Tokenize(text, &toks).ok()) continue;
    std::string out = text;
    bool changed = false;
    for (std::size_t k = toks.size(); k-- > 0;) {
      if (toks[k].IsName() && SameName(toks[k].text, old_name)) {
        out.replace(toks[k].begin, toks[k].end - toks[k].begin, "[" + new_name + "]");
        changed = true;
      }
    }
    if (!changed) continue;
    Stmt u;
    Status st = u.Prepare(db, "UPDATE __mlx_views SET jet_sql = ?1 WHERE name = ?2");
    if (!st.ok()) return st;
    u.BindText(1, out);
    u.BindText(2, name);
    if (!(st = u.Run()).ok()) return st;
  }
  return Status::OK();
}

namespace {

IndexInfo ToInfo(const IndexDef& ix) {
  IndexInfo info;
  info.name = ix.name;
  info.columns = ix.columns;
  info.primary_key = ix.primary;
  info.unique = ix.unique || ix.primary;
  info.index_nulls = ix.primary ? kIndexNullsDisallow : ix.nulls;
  return info;
}

Status MissingQuery(const std::string& name) { return ErrMissing("La query '" + name + "'"); }

// Runs `prefix from middle to`, an ALTER TABLE that renames; a change of case only goes through
// a name of the layer first, as SQLite takes the same name for no change.
Status RenameAs(sqlite3* db, const std::string& prefix, const char* middle, std::string from,
                const std::string& to) {
  if (SameName(from, to)) {
    Status s = Exec(db, prefix + QuoteId(from) + middle + QuoteId("__mlx_renaming"));
    if (!s.ok()) return s;
    from = "__mlx_renaming";
  }
  return Exec(db, prefix + QuoteId(from) + middle + QuoteId(to));
}

// What a rename needs before it runs: the hidden tables, and every view compiling (SQLite
// renames only then).
Status BeforeRename(Schema& schema) {
  Status s = schema.EnsureBookkeeping();
  if (!s.ok()) return s;
  return schema.ParkBrokenViews({});
}

// What follows a rename of the table, or of one of its columns: its guard triggers written for
// the new names, the texts of the saved queries following the rename, the queries settled.
Status AfterRename(sqlite3* db, const std::string& table, const std::string& old_name,
                   const std::string& new_name) {
  Schema schema(db);
  TableModel renamed;
  Status s = schema.Load(table, &renamed);
  if (!s.ok()) return s;
  s = schema.SyncTable(renamed);
  if (!s.ok()) return s;
  s = RewriteViewTexts(db, old_name, new_name);
  if (!s.ok()) return s;
  return schema.SettleViews({table});
}

// The bookkeeping of a column follows its new name; relation names are matched by their column
// lists, so the column is renamed there too.
Status RenameKeptColumn(sqlite3* db, const std::string& table, const std::string& old_name,
                        const std::string& new_name) {
  for (const char* book : {"__mlx_columns", "__mlx_counters"}) {
    Stmt u;
    Status s = u.Prepare(db, std::string("UPDATE ") + book +
                                 " SET col = ?1 WHERE tbl = ?2 AND col = ?3");
    if (!s.ok()) return s;
    u.BindText(1, new_name);
    u.BindText(2, table);
    u.BindText(3, old_name);
    if (!(s = u.Run()).ok()) return s;
  }
  Stmt rel;
  Status s = rel.Prepare(db, "SELECT name, cols FROM __mlx_relations WHERE tbl = ?1");
  if (!s.ok()) return s;
  rel.BindText(1, table);
  std::vector<std::pair<std::string, std::string>> rels;
  while (rel.Step() == SQLITE_ROW) rels.emplace_back(rel.Text(0), rel.Text(1));
  for (auto& [rname, cols] : rels) {
    std::string updated, item;
    std::size_t start = 0;
    for (std::size_t k = 0; k <= cols.size(); ++k) {
      if (k == cols.size() || cols[k] == ';') {
        item = cols.substr(start, k - start);
        updated += (start ? ";" : "") + (SameName(item, old_name) ? new_name : item);
        start = k + 1;
      }
    }
    Stmt u;
    s = u.Prepare(db, "UPDATE __mlx_relations SET cols = ?1 WHERE name = ?2");
    if (!s.ok()) return s;
    u.BindText(1, updated);
    u.BindText(2, rname);
    if (!(s = u.Run()).ok()) return s;
  }
  return Status::OK();
}

}  // namespace

Status Catalog::LoadColumn(const std::string& table, const std::string& column,
                           TableModel* model, ColumnDef** found) {
  Status st = schema_.Load(table, model);
  if (!st.ok()) return st;
  return VisibleColumn(*model, column, found);
}

// ---------------------------------------------------------------------------------------------
// Tables and columns.

Status Catalog::Tables(std::vector<TableInfo>* tables) {
  tables->clear();
  Stmt s;
  Status st = s.Prepare(db_, "SELECT name, type FROM sqlite_schema WHERE type IN ('table', 'view') "
                             "ORDER BY name COLLATE NOCASE");
  if (!st.ok()) return st;
  while (s.Step() == SQLITE_ROW) {
    std::string name = s.Text(0);
    if (IsHiddenName(name)) continue;
    tables->push_back(TableInfo{name, s.Text(1) == "view" ? "VIEW" : "TABLE"});
  }
  // Dormant queries are queries still, in their place in the order of names.
  Stmt d;
  if (!d.Prepare(db_, "SELECT name FROM __mlx_views WHERE dormant_sql IS NOT NULL").ok()) {
    return Status::OK();  // a file that keeps none
  }
  while (d.Step() == SQLITE_ROW) tables->push_back(TableInfo{d.Text(0), "VIEW"});
  std::stable_sort(tables->begin(), tables->end(), [](const TableInfo& a, const TableInfo& b) {
    return Upper(a.name) < Upper(b.name);
  });
  return Status::OK();
}

Status Catalog::Columns(const std::string& table, std::vector<ColumnInfo>* columns) {
  columns->clear();
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  for (const ColumnDef& c : m.columns) {
    if (c.hidden) continue;
    JetType type = TypeFromDecl(c.decl);
    ColumnInfo info;
    info.name = c.name;
    info.type = type.ado;
    info.defined_size = type.size;
    bool in_pk = false;
    for (const auto& ix : m.indexes) {
      if (!ix.primary) continue;
      for (const auto& ic : ix.columns) in_pk = in_pk || SameName(ic, c.name);
    }
    info.nullable = !c.not_null && !c.counter && !in_pk;
    info.auto_increment = c.counter || c.rowid_autoinc;
    if (c.counter) {
      info.seed = c.seed;
    } else if (c.rowid_autoinc) {
      std::string q = "SELECT max(ifnull((SELECT seq FROM sqlite_sequence WHERE name = " +
                      QuoteText(m.name) + "), 0), ifnull((SELECT max(rowid) FROM " +
                      QuoteId(m.name) + "), 0)) + 1";
      info.seed = QueryInt(db_, q).value_or(1);
    }
    info.allow_zero_length = type.text && c.allow_zero != 0;
    info.default_value = c.default_text.empty() ? c.default_sql : c.default_text;
    columns->push_back(std::move(info));
  }
  return Status::OK();
}

Status Catalog::SetSeed(const std::string& table, const std::string& column, std::int64_t seed) {
  TableModel m;
  ColumnDef* c = nullptr;
  Status st = LoadColumn(table, column, &m, &c);
  if (!st.ok()) return st;
  if (c->rowid_autoinc) {
    return InTransaction(db_, [&]() -> Status {
      Stmt s;
      Status r = s.Prepare(db_, "DELETE FROM sqlite_sequence WHERE name = ?1");
      if (!r.ok()) return r;
      s.BindText(1, m.name);
      if (!(r = s.Run()).ok()) return r;
      r = s.Prepare(db_, "INSERT INTO sqlite_sequence (name, seq) VALUES (?1, ?2)");
      if (!r.ok()) return r;
      s.BindText(1, m.name);
      s.BindInt(2, seed - 1);
      return s.Run();
    });
  }
  if (!c->counter) {
    return ErrDb("Field '" + c->name + "' is not an AutoNumber field: it has no seed to set.");
  }
  auto max = QueryInt(db_, "SELECT max(" + QuoteId(c->name) + ") FROM " + QuoteId(m.name));
  c->seed = seed;
  c->guard = max.has_value() && seed <= *max;
  return InTransaction(db_, [&]() -> Status {
    Stmt s;
    Status r = s.Prepare(db_, "UPDATE __mlx_counters SET seed = ?1, guard = ?2 WHERE tbl = ?3 "
                              "AND col = ?4");
    if (!r.ok()) return r;
    s.BindInt(1, seed);
    s.BindInt(2, c->guard ? 1 : 0);
    s.BindText(3, m.name);
    s.BindText(4, c->name);
    return s.Run();
  });
}

Status Catalog::SetAllowZeroLength(const std::string& table, const std::string& column,
                                   bool allow) {
  TableModel m;
  ColumnDef* c = nullptr;
  Status st = LoadColumn(table, column, &m, &c);
  if (!st.ok()) return st;
  if (!TypeFromDecl(c->decl).text) {
    return ErrDb("Field '" + c->name + "' is not a text field: it has no zero-length rule.");
  }
  c->allow_zero = allow ? 1 : 0;
  return InTransaction(db_, [&]() { return schema_.SyncTable(m); });
}

Status Catalog::SetDefault(const std::string& table, const std::string& column,
                           const std::string& default_text) {
  TableModel m;
  ColumnDef* c = nullptr;
  Status st = LoadColumn(table, column, &m, &c);
  if (!st.ok()) return st;
  TableModel old = m;
  st = DefaultFromText(db_, default_text, c);
  if (!st.ok()) return st;
  return schema_.Rebuild(old, m);
}

Status Catalog::RenameColumn(const std::string& table, const std::string& old_name,
                             const std::string& new_name) {
  TableModel m;
  ColumnDef* c = nullptr;
  Status st = LoadColumn(table, old_name, &m, &c);
  if (!st.ok()) return st;
  const ColumnDef* other = m.FindColumn(new_name);
  if (other && other != c) return ErrExists("Field '" + new_name + "' in table '" + m.name + "'");
  if (new_name.empty() || IsHiddenName(new_name)) return ErrInvalid("(invalid column name)");
  const std::string stored = c->name;
  return InTransaction(db_, [&]() -> Status {
    Status s = BeforeRename(schema_);
    if (s.ok()) {
      s = RenameAs(db_, "ALTER TABLE " + QuoteId(m.name) + " RENAME COLUMN ", " TO ", stored,
                   new_name);
    }
    if (s.ok()) s = RenameKeptColumn(db_, m.name, stored, new_name);
    if (!s.ok()) return s;
    return AfterRename(db_, m.name, stored, new_name);
  });
}

Status Catalog::RenameTable(const std::string& old_name, const std::string& new_name) {
  auto found = schema_.FindTable(old_name);
  if (!found) return MissingTable(old_name);
  if (new_name.empty() || IsHiddenName(new_name)) return ErrInvalid("(invalid table name)");
  auto other = schema_.FindTable(new_name);
  if ((other && *other != *found) || schema_.FindView(new_name)) {
    return ErrExists("Table '" + new_name + "'");
  }
  return InTransaction(db_, [&]() -> Status {
    Status s = BeforeRename(schema_);
    if (s.ok()) s = RenameAs(db_, "ALTER TABLE ", " RENAME TO ", *found, new_name);
    if (s.ok()) s = schema_.MoveBookkeeping(*found, new_name);
    if (!s.ok()) return s;
    return AfterRename(db_, new_name, *found, new_name);
  });
}

// ---------------------------------------------------------------------------------------------
// Indexes and relations.

Status Catalog::Indexes(const std::string& table, std::vector<IndexInfo>* indexes) {
  indexes->clear();
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  for (const IndexDef& ix : m.indexes) indexes->push_back(ToInfo(ix));
  return Status::OK();
}

Status Catalog::Keys(const std::string& table, std::vector<KeyInfo>* keys) {
  keys->clear();
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  for (const KeyDef& k : m.keys) keys->push_back(ToInfo(k));
  return Status::OK();
}

// ---------------------------------------------------------------------------------------------
// Saved queries.

Status Catalog::ViewCommand(const std::string& name, std::string* sql) {
  auto found = schema_.FindView(name);
  if (!found) return MissingQuery(name);
  // The text as the script wrote it; for another tool's view, the query of its definition, kept
  // in the bookkeeping while the view is dormant.
  struct Source {
    const char* query;
    bool definition;  // a CREATE VIEW text
  };
  for (const Source& source :
       {Source{"SELECT jet_sql FROM __mlx_views WHERE name = ?1 AND jet_sql <> ''", false},
        Source{"SELECT sql FROM sqlite_schema WHERE type = 'view' AND name = ?1", true},
        Source{"SELECT dormant_sql FROM __mlx_views WHERE name = ?1", true}}) {
    Stmt s;
    if (!s.Prepare(db_, source.query).ok()) continue;  // a file without that bookkeeping
    s.BindText(1, *found);
    if (s.Step() != SQLITE_ROW || s.IsNull(0)) continue;
    *sql = source.definition ? ViewSelect(s.Text(0)) : s.Text(0);
    return Status::OK();
  }
  return MissingQuery(name);
}

Status Catalog::AppendView(const std::string& name, const std::string& sql) {
  if (name.empty() || IsHiddenName(name)) return ErrInvalid("(invalid query name)");
  if (schema_.FindTable(name) || schema_.FindView(name)) {
    return ErrExists("Object '" + name + "'");
  }
  return SaveView(name, sql);
}

Status Catalog::SetViewCommand(const std::string& name, const std::string& sql) {
  auto found = schema_.FindView(name);
  if (!found) return MissingQuery(name);
  return SaveView(*found, sql);
}

// Writes the view of a query and keeps its text. A text that does not compile as the tables are
// now is saved all the same, as a dormant query.
Status Catalog::SaveView(const std::string& name, const std::string& sql) {
  std::string body;
  Status st = ViewBody(sql, &body);
  if (!st.ok()) return st;
  return InTransaction(db_, [&]() -> Status {
    Status s = schema_.EnsureBookkeeping();
    if (!s.ok()) return s;
    s = Exec(db_, "DROP VIEW IF EXISTS " + QuoteId(name));
    if (!s.ok()) return s;
    s = Exec(db_, "CREATE VIEW " + QuoteId(name) + " AS " + body);
    if (!s.ok()) return s;
    Stmt ins;
    s = ins.Prepare(db_, "INSERT OR REPLACE INTO __mlx_views (name, jet_sql) VALUES (?1, ?2)");
    if (!s.ok()) return s;
    ins.BindText(1, name);
    ins.BindText(2, sql);
    s = ins.Run();
    if (!s.ok()) return s;
    return schema_.SettleViews({name});
  });
}

Status Catalog::DeleteView(const std::string& name) {
  auto found = schema_.FindView(name);
  if (!found) return MissingQuery(name);
  return InTransaction(db_, [&]() -> Status {
    Status s = Exec(db_, "DROP VIEW IF EXISTS " + QuoteId(*found));
    if (!s.ok()) return s;
    if (schema_.HasBookkeeping()) {
      Stmt del;
      s = del.Prepare(db_, "DELETE FROM __mlx_views WHERE name = ?1");
      if (!s.ok()) return s;
      del.BindText(1, *found);
      s = del.Run();
      if (!s.ok()) return s;
    }
    // Queries over this one stop compiling.
    return schema_.ParkBrokenViews({*found});
  });
}

}  // namespace mlx::db::internal
