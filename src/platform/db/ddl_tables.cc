// The data-definition statements of the scripts' dialect carried out through the table model:
// which statement a text is, and CREATE, ALTER and DROP of tables and columns (indexes and
// relations are in ddl_indexes.cc). A change SQLite makes in place runs in one transaction; any
// other is a table rebuild.
#include <algorithm>
#include <set>

#include "platform/db/catalog.h"
#include "platform/db/ddl_parser.h"

namespace mlx::db::internal {

namespace {

std::string ColumnSql(const ColumnDef& c) {
  std::string sql = QuoteId(c.name) + " " + c.decl;
  if (!c.collate.empty()) sql += " COLLATE " + c.collate;
  if (c.not_null) sql += " NOT NULL";
  if (!c.default_sql.empty()) sql += " DEFAULT " + c.default_sql;
  return sql;
}

// Gives the rows whose counter is Null their numbers, in the order of the rows, and moves the
// seed past them.
Status NumberCounter(sqlite3* db, const TableModel& model, const std::string& column) {
  const ColumnDef* c = model.FindColumn(column);
  if (!c || !c->counter || model.without_rowid) return Status::OK();
  std::string t = QuoteId(model.name), col = QuoteId(c->name);
  Stmt s;
  Status st = s.Prepare(db, "UPDATE " + t + " SET " + col + " = ?1 + (n.k - 1) * ?2 FROM (SELECT " +
                                "rowid AS r, row_number() OVER (ORDER BY rowid) AS k FROM " + t +
                                " WHERE " + col + " IS NULL) AS n WHERE n.r = " + t + ".rowid");
  if (!st.ok()) return st;
  s.BindInt(1, c->seed);
  s.BindInt(2, c->increment);
  st = s.Run();
  if (!st.ok()) return st;
  std::int64_t numbered = sqlite3_changes(db);
  Stmt u;
  st = u.Prepare(db, "UPDATE __mlx_counters SET seed = ?1 WHERE tbl = ?2 AND col = ?3");
  if (!st.ok()) return st;
  u.BindInt(1, c->seed + numbered * c->increment);
  u.BindText(2, model.name);
  u.BindText(3, c->name);
  return u.Run();
}

// Whether the column is one of a relation, of this table or of one that references it.
bool InRelation(const Schema& schema, const TableModel& model, const std::string& column,
                Status* error) {
  for (const auto& k : model.keys) {
    for (const auto& c : k.columns) {
      if (SameName(c, column)) return true;
    }
  }
  std::vector<std::pair<std::string, KeyDef>> children;
  *error = schema.Referencing(model.name, &children);
  for (const auto& [child, k] : children) {
    for (const auto& c : k.ref_columns) {
      if (SameName(c, column)) return true;
    }
  }
  return false;
}

// A column added by ALTER TABLE ... ADD COLUMN, with the indexes its definition makes; the
// placeholder of a table that had no columns goes.
Status AddColumnInPlace(Schema& schema, sqlite3* db, const TableModel& model,
                        const ColumnDef& column, const std::vector<IndexDef>& new_indexes,
                        bool had_placeholder) {
  Status st = schema.EnsureBookkeeping();
  if (!st.ok()) return st;
  std::vector<std::string> checks;
  const std::string size_check = schema.SizeCheckSql(model, column, "", &checks);
  st = Exec(db, "ALTER TABLE " + QuoteId(model.name) + " ADD COLUMN " + ColumnSql(column) +
                    size_check);
  // SQLite checks the rows already there, which would all hold a default too long for the
  // column.
  if (!st.ok() && !size_check.empty() && st.description().starts_with("CHECK constraint failed")) {
    return ErrDb(TooSmallMessage(model.name, column.name));
  }
  if (!st.ok()) return st;
  if (had_placeholder) {
    // SQLite drops a column only while every view of the file compiles.
    st = schema.ParkBrokenViews({});
    if (!st.ok()) return st;
    st = Exec(db, "ALTER TABLE " + QuoteId(model.name) + " DROP COLUMN " +
                      QuoteId(kPlaceholderColumn));
    if (!st.ok()) return st;
  }
  for (const IndexDef& ix : new_indexes) {
    st = Exec(db, schema.CreateIndexSql(model, ix));
    if (!st.ok()) return st;
  }
  st = schema.SyncTable(model);
  if (!st.ok()) return st;
  st = NumberCounter(db, model, column.name);
  if (!st.ok()) return st;
  return schema.SettleViews({model.name});
}

// The column c as ALTER COLUMN changes it: the new type, the values converted into it in the
// rebuild, and the rules that go with the type; a column that becomes a counter numbers on from
// its largest value.
ColumnDef ChangedColumn(sqlite3* db, const std::string& table, const ColumnDef& c,
                        const ColumnDef& changed, bool null_given) {
  ColumnDef updated = c;
  updated.copy_from = ConvertColumnSql(table, c, changed.decl);
  updated.decl = changed.decl;
  updated.collate = changed.collate;
  JetType new_type = TypeFromDecl(changed.decl);
  JetType old_type = TypeFromDecl(c.decl);
  if (!new_type.text) updated.allow_zero = -1;
  else if (!old_type.text || c.allow_zero < 0) updated.allow_zero = 0;
  if (null_given) updated.not_null = changed.not_null;
  if (!changed.default_text.empty()) {
    updated.default_sql = changed.default_sql;
    updated.default_text = changed.default_text;
  }
  updated.counter = changed.counter;
  if (changed.counter) {
    updated.not_null = false;
    if (!c.counter) {
      updated.increment = changed.increment;
      // The largest value as the new type has it (texts compare as texts).
      auto max = QueryInt(db, "SELECT max(" + updated.copy_from + ") FROM " + QuoteId(table));
      updated.seed = std::max<std::int64_t>(changed.seed, max.value_or(0) + 1);
    }
  }
  return updated;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Statements.

Status Catalog::TranslateQuery(const std::string& sql, std::string* out) {
  std::vector<Token> toks;
  Status st = StatementTokens(sql, &toks);
  if (!st.ok()) return st;
  return TranslateTokens(toks, false, out);
}

Status Catalog::Execute(const std::string& sql) {
  StatementReader p{sql, {}, 0};
  Status st = StatementTokens(sql, &p.t);
  if (!st.ok()) return st;
  int depth = 0;
  for (const Token& tok : p.t) {
    if (tok.IsOp("(")) ++depth;
    if (tok.IsOp(")")) --depth;
    if (tok.IsOp(";") && depth == 0) return ErrDb("Characters found after end of SQL statement.");
  }
  if (p.Word("CREATE")) {
    if (p.Word("TABLE")) return CreateTable(p);
    if (p.Word("UNIQUE")) {
      if (!p.Word("INDEX")) return ErrInvalid("(INDEX expected after CREATE UNIQUE)");
      return CreateIndex(p, true);
    }
    if (p.Word("INDEX")) return CreateIndex(p, false);
    if (p.PeekWord("VIEW") || p.PeekWord("PROCEDURE")) {
      ++p.i;
      std::string name;
      if (!p.Name(&name)) return ErrInvalid("(query name expected)");
      if (!p.Word("AS")) return ErrInvalid("(AS expected)");
      return AppendView(name, p.Source(p.i, p.t.size()));
    }
    p.i = 0;
  } else if (p.Word("ALTER")) {
    if (p.Word("TABLE")) return AlterTable(p);
    p.i = 0;
  } else if (p.Word("DROP")) {
    std::string name;
    if (p.Word("TABLE")) {
      if (!p.Name(&name) || !p.End()) return ErrInvalid("(DROP TABLE name)");
      return DropTable(name);
    }
    if (p.Word("INDEX")) {
      std::string table;
      if (!p.Name(&name) || !p.Word("ON") || !p.Name(&table) || !p.End()) {
        return ErrInvalid("(DROP INDEX name ON table)");
      }
      return DeleteIndex(table, name);
    }
    if (p.Word("VIEW") || p.Word("PROCEDURE")) {
      if (!p.Name(&name) || !p.End()) return ErrInvalid("(DROP VIEW name)");
      return DeleteView(name);
    }
    p.i = 0;
  }
  std::string translated;
  st = TranslateTokens(p.t, false, &translated);
  if (!st.ok()) return st;
  Stmt s;
  st = s.Prepare(db_, translated);
  if (!st.ok()) return st;
  if (sqlite3_stmt_readonly(s.get()) && sqlite3_column_count(s.get()) > 0) {
    // A query whose rows nobody reads: its first row shows whether it runs at all; reading on
    // would only cost time, without end for a recursive one.
    const int rc = s.Step();
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? Status::OK() : s.Error(rc);
  }
  return s.Run();
}

// ---------------------------------------------------------------------------------------------
// Tables and columns.

Status Catalog::CreateTable(StatementReader& p) {
  TableModel m;
  if (!p.Name(&m.name)) return ErrInvalid("(table name expected)");
  if (IsHiddenName(m.name)) return ErrInvalid("(reserved table name)");
  if (schema_.FindTable(m.name) || schema_.FindView(m.name)) {
    return ErrExists("Table '" + m.name + "'");
  }
  Status st = ParseTableBody(p, &m);
  if (!st.ok()) return st;
  std::set<std::string> taken;
  for (auto& ix : m.indexes) {
    st = StoredColumnNames(m, &ix.columns);
    if (!st.ok()) return st;
    if (taken.count(Upper(ix.name))) return ErrExists("Index '" + ix.name + "'");
    taken.insert(Upper(ix.name));
    if (!ix.primary) ix.sqlite_name = schema_.NewIndexName(m.name, ix.name);
  }
  for (std::size_t i = 0; i < m.indexes.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (!m.indexes[j].primary && !m.indexes[i].primary &&
          SameName(m.indexes[i].sqlite_name, m.indexes[j].sqlite_name)) {
        m.indexes[i].sqlite_name += "_" + std::to_string(i);
      }
    }
  }
  std::vector<KeyDef> keys = std::move(m.keys);
  m.keys.clear();
  for (KeyDef& k : keys) {
    st = ValidateKey(m, &k, "");
    if (!st.ok()) return st;
    m.keys.push_back(k);
  }
  return InTransaction(db_, [&]() -> Status {
    Status s = schema_.Create(m);
    if (!s.ok()) return s;
    return schema_.SettleViews({m.name});
  });
}

Status Catalog::AlterTable(StatementReader& p) {
  std::string table;
  if (!p.Name(&table)) return ErrInvalid("(table name expected)");
  TableModel model;
  Status st = schema_.Load(table, &model);
  if (!st.ok()) return st;
  if (p.Word("ADD")) {
    TableModel with;
    if (!p.Word("COLUMN") && (p.PeekWord("CONSTRAINT") || p.PeekWord("PRIMARY") ||
                              p.PeekWord("FOREIGN") || p.PeekWord("UNIQUE") ||
                              p.PeekWord("CHECK"))) {
      st = ParseAddedConstraint(p, model, &with);
      if (!st.ok()) return st;
      if (!with.keys.empty()) return AppendKey(model.name, ToInfo(with.keys[0]));
      return AddIndexTo(model, with.indexes.back());
    }
    ColumnDef c;
    st = ParseAddedColumn(p, model, &c, &with);
    if (!st.ok()) return st;
    return AddColumn(model, c, with);
  }
  if (p.Word("DROP")) {
    if (p.Word("CONSTRAINT")) {
      std::string name;
      if (!p.Name(&name) || !p.End()) return ErrInvalid("(DROP CONSTRAINT name)");
      if (model.FindIndex(name)) return RemoveIndexFrom(model, name);
      if (model.FindKey(name)) return DeleteKey(model.name, name);
      return ErrMissing("Il vincolo '" + name + "'");
    }
    p.Word("COLUMN");
    std::string column;
    if (!p.Name(&column) || !p.End()) return ErrInvalid("(DROP COLUMN name)");
    return DropColumn(model, column);
  }
  if (p.Word("ALTER")) {
    p.Word("COLUMN");
    std::string column;
    if (!p.Name(&column)) return ErrInvalid("(column name expected)");
    if (p.Word("SET")) {
      if (!p.Word("DEFAULT")) return ErrInvalid("(SET DEFAULT expected)");
      return SetDefault(model.name, column, p.Source(p.i, p.t.size()));
    }
    if (p.Word("DROP")) {
      if (!p.Word("DEFAULT") || !p.End()) return ErrInvalid("(DROP DEFAULT expected)");
      return SetDefault(model.name, column, "");
    }
    --p.i;  // the column definition starts at its name
    ColumnDef c;
    bool null_given = false;
    st = ParseChangedColumn(p, &c, &null_given);
    if (!st.ok()) return st;
    return AlterColumn(model, column, c, null_given);
  }
  return ErrInvalid("(ADD, DROP or ALTER expected after ALTER TABLE)");
}

Status Catalog::DropTable(const std::string& name) {
  auto found = schema_.FindTable(name);
  if (!found) return MissingTable(name);
  std::vector<std::pair<std::string, KeyDef>> children;
  Status st = schema_.Referencing(*found, &children);
  if (!st.ok()) return st;
  for (const auto& [child, key] : children) {
    if (!SameName(child, *found)) {
      return ErrDb("Cannot delete table '" + *found +
                   "': it participates in one or more relationships.");
    }
  }
  return InTransaction(db_, [&]() -> Status {
    Status s = Exec(db_, "DROP TABLE " + QuoteId(*found));
    if (!s.ok()) return s;
    s = schema_.DropBookkeeping(*found);
    if (!s.ok()) return s;
    return schema_.SettleViews({*found});
  });
}

Status Catalog::AddColumn(TableModel model, ColumnDef column, const TableModel& with) {
  if (model.FindColumn(column.name)) {
    return ErrExists("Field '" + column.name + "' in table '" + model.name + "'");
  }
  TableModel old = model;
  bool had_placeholder = model.VisibleColumns() < static_cast<int>(model.columns.size());
  std::erase_if(model.columns, [](const ColumnDef& c) { return c.hidden; });
  column.copy_from.clear();
  model.columns.push_back(column);
  bool rebuild = !with.keys.empty() || (column.not_null && column.default_sql.empty()) ||
                 (!column.default_sql.empty() && column.default_sql.front() == '(');
  std::vector<IndexDef> new_indexes;
  for (IndexDef ix : with.indexes) {
    if (model.FindIndex(ix.name)) return ErrExists("Index '" + ix.name + "'");
    if (ix.primary) {
      if (model.Primary()) return ErrExists("Primary key");
      rebuild = true;
    } else {
      ix.sqlite_name = schema_.NewIndexName(model.name, ix.name);
    }
    model.indexes.push_back(ix);
    new_indexes.push_back(ix);
  }
  for (KeyDef k : with.keys) {
    Status st = ValidateKey(model, &k, "");
    if (!st.ok()) return st;
    model.keys.push_back(k);
  }
  if (rebuild) {
    return schema_.Rebuild(old, model, [&]() { return NumberCounter(db_, model, column.name); });
  }
  return InTransaction(db_, [&]() {
    return AddColumnInPlace(schema_, db_, model, column, new_indexes, had_placeholder);
  });
}

Status Catalog::DropColumn(TableModel model, const std::string& column) {
  ColumnDef* c = nullptr;
  Status st = VisibleColumn(model, column, &c);
  if (!st.ok()) return st;
  for (const auto& ix : model.indexes) {
    for (const auto& ic : ix.columns) {
      if (SameName(ic, column)) {
        return ErrDb("Cannot delete field '" + c->name +
                     "': it is part of an index or is needed by the system.");
      }
    }
  }
  if (InRelation(schema_, model, column, &st)) {
    return ErrDb("Cannot delete field '" + c->name + "': it is part of one or more relationships.");
  }
  if (!st.ok()) return st;
  TableModel old = model;
  std::string name = c->name;
  std::erase_if(model.columns, [&](const ColumnDef& x) { return x.name == name; });
  if (model.VisibleColumns() == 0) model.columns.push_back(PlaceholderColumn());
  return schema_.Rebuild(old, model);
}

Status Catalog::AlterColumn(TableModel model, const std::string& column, ColumnDef changed,
                            bool null_given) {
  ColumnDef* c = nullptr;
  Status st = VisibleColumn(model, column, &c);
  if (!st.ok()) return st;
  if (InRelation(schema_, model, column, &st)) {
    return ErrDb("Cannot change field '" + c->name + "': it is part of one or more relationships.");
  }
  if (!st.ok()) return st;
  TableModel old = model;
  const bool becomes_counter = changed.counter && !c->counter;
  *c = ChangedColumn(db_, model.name, *c, changed, null_given);
  const std::string name = c->name;
  // A column that becomes a counter is numbered in the rebuild's own transaction.
  st = schema_.Rebuild(old, model, [&]() -> Status {
    return becomes_counter ? NumberCounter(db_, model, name) : Status::OK();
  });
  // A column made NOT NULL over rows that hold Null stops the copy into the rebuilt table,
  // whose name the description would give.
  const std::string null_copied =
      "NOT NULL constraint failed: " + std::string(kRebuildTable) + ".";
  if (!st.ok() && st.description().starts_with(null_copied)) {
    return ErrDb("Impossibile cambiare il campo '" + model.name + "." +
                 st.description().substr(null_copied.size()) + "': contiene valori Null.");
  }
  return st;
}

}  // namespace mlx::db::internal
