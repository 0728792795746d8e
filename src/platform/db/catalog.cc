// The catalogue: tables, columns with their Jet properties, indexes, relations and saved queries,
// and the data-definition statements of the scripts' dialect that change them.
#include "platform/db/catalog.h"

#include <algorithm>
#include <set>

namespace mlx::db::internal {

struct Catalog::Parsed {
  const std::string& sql;
  std::vector<Token> t;
  std::size_t i = 0;

  bool End() const { return i >= t.size(); }
  const Token* Peek(std::size_t k = 0) const { return i + k < t.size() ? &t[i + k] : nullptr; }
  bool Word(std::string_view w) {
    if (i < t.size() && t[i].IsWord(w)) {
      ++i;
      return true;
    }
    return false;
  }
  bool PeekWord(std::string_view w, std::size_t k = 0) const {
    return i + k < t.size() && t[i + k].IsWord(w);
  }
  bool Op(std::string_view o) {
    if (i < t.size() && t[i].IsOp(o)) {
      ++i;
      return true;
    }
    return false;
  }
  bool Name(std::string* out) {
    if (i < t.size() && t[i].IsName()) {
      *out = t[i++].text;
      return true;
    }
    return false;
  }
  Status NameList(std::vector<std::string>* out, std::vector<bool>* desc = nullptr) {
    if (!Op("(")) return ErrInvalid("(a list of names in parentheses was expected)");
    for (;;) {
      std::string n;
      if (!Name(&n)) return ErrInvalid("(a name was expected in the list)");
      out->push_back(n);
      bool d = false;
      if (Word("DESC")) d = true;
      else Word("ASC");
      if (desc) desc->push_back(d);
      if (Op(",")) continue;
      if (Op(")")) return Status::OK();
      return ErrInvalid("(',' or ')' was expected)");
    }
  }
  std::string Source(std::size_t from, std::size_t to) const {
    if (from >= to) return "";
    return sql.substr(t[from].begin, t[to - 1].end - t[from].begin);
  }
};

namespace {

std::string ColumnSql(const ColumnDef& c) {
  std::string sql = QuoteId(c.name) + " " + c.decl;
  if (!c.collate.empty()) sql += " COLLATE " + c.collate;
  if (c.not_null) sql += " NOT NULL";
  if (!c.default_sql.empty()) sql += " DEFAULT " + c.default_sql;
  return sql;
}

bool SameSet(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (a.size() != b.size()) return false;
  for (const auto& x : a) {
    if (std::none_of(b.begin(), b.end(), [&](const std::string& y) { return SameName(x, y); })) {
      return false;
    }
  }
  return true;
}

bool HasUniqueOn(const TableModel& m, const std::vector<std::string>& cols,
                 const std::string& except = "") {
  for (const auto& ix : m.indexes) {
    if ((ix.unique || ix.primary) && !SameName(ix.name, except) && SameSet(ix.columns, cols)) {
      return true;
    }
  }
  return false;
}

Status MissingTable(const std::string& name) { return ErrMissing("La tabella '" + name + "'"); }
Status MissingField(const std::string& name) { return ErrMissing("Il campo '" + name + "'"); }

std::string FreshName(const std::string& base, const std::set<std::string>& taken) {
  std::string name = base;
  for (int n = 1; taken.count(Upper(name)) > 0; ++n) name = base + std::to_string(n);
  return name;
}

IndexInfo ToInfo(const IndexDef& ix) {
  IndexInfo info;
  info.name = ix.name;
  info.columns = ix.columns;
  info.primary_key = ix.primary;
  info.unique = ix.unique || ix.primary;
  info.index_nulls = ix.primary ? kIndexNullsDisallow : ix.nulls;
  return info;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Statements.

Status Catalog::TranslateQuery(const std::string& sql, std::string* out) {
  std::vector<Token> toks;
  Status st = Tokenize(sql, &toks);
  if (!st.ok()) return st;
  while (!toks.empty() && toks.back().IsOp(";")) toks.pop_back();
  if (toks.empty()) return ErrInvalid("(empty statement)");
  return TranslateTokens(toks, false, out);
}

Status Catalog::Execute(const std::string& sql) {
  Parsed p{sql, {}, 0};
  Status st = Tokenize(sql, &p.t);
  if (!st.ok()) return st;
  while (!p.t.empty() && p.t.back().IsOp(";")) p.t.pop_back();
  if (p.t.empty()) return ErrInvalid("(empty statement)");
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
  return s.Run();
}

Status Catalog::ParseDefault(Parsed& p, ColumnDef* column) {
  std::size_t from = p.i;
  if (p.Op("(")) {
    int depth = 1;
    while (!p.End() && depth > 0) {
      if (p.t[p.i].IsOp("(")) ++depth;
      if (p.t[p.i].IsOp(")")) --depth;
      ++p.i;
    }
    if (depth != 0) return ErrInvalid("(unbalanced parentheses in DEFAULT)");
  } else {
    if (p.Op("-") || p.Op("+")) {
    }
    const Token* tok = p.Peek();
    if (!tok || tok->IsOp(",") || tok->IsOp(")")) return ErrInvalid("(DEFAULT without a value)");
    ++p.i;
    if (tok->type == TokType::kWord && p.Peek() && p.Peek()->IsOp("(")) {
      int depth = 0;
      do {
        if (p.t[p.i].IsOp("(")) ++depth;
        if (p.t[p.i].IsOp(")")) --depth;
        ++p.i;
      } while (!p.End() && depth > 0);
    }
  }
  std::vector<Token> expr(p.t.begin() + static_cast<std::ptrdiff_t>(from),
                          p.t.begin() + static_cast<std::ptrdiff_t>(p.i));
  std::string sql;
  Status st = TranslateTokens(expr, true, &sql);
  if (!st.ok()) return st;
  column->default_sql = sql;
  column->default_text = p.Source(from, p.i);
  if (Upper(sql) == "NULL") column->default_sql.clear();
  if (!column->default_sql.empty() && column->default_sql.front() != '(' && expr.size() > 2) {
    column->default_sql = "(" + sql + ")";
  }
  return Status::OK();
}

Status Catalog::ParseReferences(Parsed& p, KeyDef* key) {
  if (!p.Name(&key->ref_table)) return ErrInvalid("(table name expected after REFERENCES)");
  if (p.Peek() && p.Peek()->IsOp("(")) {
    Status st = p.NameList(&key->ref_columns);
    if (!st.ok()) return st;
  }
  while (p.PeekWord("ON")) {
    ++p.i;
    bool update = p.Word("UPDATE");
    if (!update && !p.Word("DELETE")) return ErrInvalid("(ON UPDATE or ON DELETE expected)");
    int rule;
    if (p.Word("CASCADE")) rule = kRuleCascade;
    else if (p.Word("SET") && p.Word("NULL")) rule = kRuleSetNull;
    else if (p.Word("NO") && p.Word("ACTION")) rule = kRuleNone;
    else if (p.Word("RESTRICT")) rule = kRuleNone;
    else return ErrInvalid("(CASCADE, SET NULL or NO ACTION expected)");
    (update ? key->update_rule : key->delete_rule) = rule;
  }
  return Status::OK();
}

Status Catalog::ParseColumn(Parsed& p, TableModel* model, ColumnDef* column) {
  if (!p.Name(&column->name)) return ErrInvalid("(column name expected)");
  if (IsHiddenName(column->name)) return ErrInvalid("(reserved column name)");
  JetType type;
  if (!ParseJetType(p.t, &p.i, &type)) {
    const Token* tok = p.Peek();
    return ErrInvalid("(unknown data type" + (tok ? " '" + tok->text + "'" : std::string()) + ")");
  }
  column->decl = type.decl;
  column->collate = type.nocase ? "NOCASE" : "";
  column->counter = type.counter;
  column->seed = type.seed;
  column->increment = type.increment;
  column->allow_zero = type.text ? 0 : -1;
  std::string constraint_name;
  while (!p.End() && !p.Peek()->IsOp(",") && !p.Peek()->IsOp(")")) {
    if (p.Word("NOT")) {
      if (!p.Word("NULL")) return ErrInvalid("(NULL expected after NOT)");
      column->not_null = !column->counter;
    } else if (p.Word("NULL")) {
      column->not_null = false;
    } else if (p.Word("DEFAULT")) {
      Status st = ParseDefault(p, column);
      if (!st.ok()) return st;
    } else if (p.Word("WITH")) {
      if (!p.Word("COMPRESSION") && !p.Word("COMP")) return ErrInvalid("(WITH COMPRESSION)");
    } else if (p.Word("CONSTRAINT")) {
      if (!p.Name(&constraint_name)) return ErrInvalid("(constraint name expected)");
    } else if (p.Word("PRIMARY")) {
      if (!p.Word("KEY")) return ErrInvalid("(KEY expected after PRIMARY)");
      if (model->Primary()) return ErrExists("Primary key");
      IndexDef ix;
      ix.name = constraint_name.empty() ? "PrimaryKey" : constraint_name;
      ix.primary = ix.unique = true;
      ix.nulls = kIndexNullsDisallow;
      ix.columns = {column->name};
      ix.descending = {false};
      model->indexes.push_back(ix);
      constraint_name.clear();
    } else if (p.Word("UNIQUE")) {
      IndexDef ix;
      ix.name = constraint_name.empty() ? column->name : constraint_name;
      ix.unique = true;
      ix.columns = {column->name};
      ix.descending = {false};
      model->indexes.push_back(ix);
      constraint_name.clear();
    } else if (p.Word("REFERENCES")) {
      KeyDef key;
      key.name = constraint_name;
      key.columns = {column->name};
      Status st = ParseReferences(p, &key);
      if (!st.ok()) return st;
      model->keys.push_back(key);
      constraint_name.clear();
    } else {
      return ErrInvalid("(unexpected '" + p.Peek()->text + "' in the definition of column " +
                        column->name + ")");
    }
  }
  return Status::OK();
}

Status Catalog::ParseTableConstraint(Parsed& p, TableModel* model, std::string name) {
  if (p.Word("PRIMARY")) {
    if (!p.Word("KEY")) return ErrInvalid("(KEY expected after PRIMARY)");
    if (model->Primary()) return ErrExists("Primary key");
    IndexDef ix;
    ix.name = name.empty() ? "PrimaryKey" : name;
    ix.primary = ix.unique = true;
    ix.nulls = kIndexNullsDisallow;
    Status st = p.NameList(&ix.columns, &ix.descending);
    if (!st.ok()) return st;
    model->indexes.push_back(ix);
  } else if (p.Word("UNIQUE")) {
    IndexDef ix;
    ix.unique = true;
    Status st = p.NameList(&ix.columns, &ix.descending);
    if (!st.ok()) return st;
    ix.name = name.empty() ? ix.columns[0] : name;
    model->indexes.push_back(ix);
  } else if (p.Word("FOREIGN")) {
    if (!p.Word("KEY")) return ErrInvalid("(KEY expected after FOREIGN)");
    KeyDef key;
    key.name = name;
    Status st = p.NameList(&key.columns);
    if (!st.ok()) return st;
    if (!p.Word("REFERENCES")) return ErrInvalid("(REFERENCES expected)");
    st = ParseReferences(p, &key);
    if (!st.ok()) return st;
    model->keys.push_back(key);
  } else if (p.PeekWord("CHECK")) {
    return ErrInvalid("(CHECK constraints are not supported)");
  } else {
    return ErrInvalid("(PRIMARY KEY, UNIQUE or FOREIGN KEY expected)");
  }
  return Status::OK();
}

Status Catalog::ValidateKey(const TableModel& child, KeyDef* key, const std::string& replacing) {
  TableModel parent_storage;
  const TableModel* parent = &child;
  if (!SameName(key->ref_table, child.name)) {
    Status st = schema_.Load(key->ref_table, &parent_storage);
    if (!st.ok()) return st;
    parent = &parent_storage;
  }
  key->ref_table = parent->name;
  if (key->ref_columns.empty()) {
    for (const auto& ix : parent->indexes) {
      if (ix.primary) key->ref_columns = ix.columns;
    }
    if (key->ref_columns.empty()) {
      return ErrDb("No unique index found for the referenced field of the primary table.");
    }
  }
  if (key->columns.size() != key->ref_columns.size() || key->columns.empty()) {
    return ErrDb("Relationships must be on the same number of fields with the same data types.");
  }
  for (auto& c : key->columns) {
    const ColumnDef* col = child.FindColumn(c);
    if (!col) return MissingField(c);
    c = col->name;
  }
  for (auto& c : key->ref_columns) {
    const ColumnDef* col = parent->FindColumn(c);
    if (!col) return MissingField(c);
    c = col->name;
  }
  if (!HasUniqueOn(*parent, key->ref_columns)) {
    return ErrDb("No unique index found for the referenced field of the primary table.");
  }
  if (key->name.empty()) {
    std::set<std::string> taken;
    for (const auto& k : child.keys) taken.insert(Upper(k.name));
    if (schema_.HasBookkeeping()) {
      Stmt s;
      if (s.Prepare(db_, "SELECT name FROM __mlx_relations").ok()) {
        while (s.Step() == SQLITE_ROW) taken.insert(Upper(s.Text(0)));
      }
    }
    key->name = FreshName(parent->name + child.name, taken);
    return Status::OK();
  }
  int same = 0;
  for (const auto& k : child.keys) same += SameName(k.name, key->name) ? 1 : 0;
  if (same > 1 || (same == 1 && replacing.empty())) {
    if (!(same == 1 && SameName(replacing, key->name))) {
      return ErrExists("Relationship '" + key->name + "'");
    }
  }
  if (schema_.HasBookkeeping()) {
    Stmt s;
    Status st = s.Prepare(db_, "SELECT tbl FROM __mlx_relations WHERE name = ?1");
    if (!st.ok()) return st;
    s.BindText(1, key->name);
    if (s.Step() == SQLITE_ROW && !SameName(s.Text(0), child.name)) {
      return ErrExists("Relationship '" + key->name + "'");
    }
  }
  return Status::OK();
}

Status Catalog::CreateTable(Parsed& p) {
  TableModel m;
  if (!p.Name(&m.name)) return ErrInvalid("(table name expected)");
  if (IsHiddenName(m.name)) return ErrInvalid("(reserved table name)");
  if (schema_.FindTable(m.name) || schema_.FindView(m.name)) {
    return ErrExists("Table '" + m.name + "'");
  }
  if (p.End()) {
    ColumnDef placeholder;
    placeholder.name = std::string(kPlaceholderColumn);
    placeholder.decl = "INT";
    placeholder.hidden = true;
    m.columns.push_back(placeholder);
  } else {
    if (!p.Op("(")) return ErrInvalid("('(' expected after the table name)");
    for (;;) {
      std::string cname;
      if (p.Word("CONSTRAINT")) {
        if (!p.Name(&cname)) return ErrInvalid("(constraint name expected)");
        Status st = ParseTableConstraint(p, &m, cname);
        if (!st.ok()) return st;
      } else if (p.PeekWord("PRIMARY") || p.PeekWord("FOREIGN") || p.PeekWord("CHECK") ||
                 (p.PeekWord("UNIQUE") && p.Peek(1) && p.Peek(1)->IsOp("("))) {
        Status st = ParseTableConstraint(p, &m, "");
        if (!st.ok()) return st;
      } else {
        ColumnDef c;
        Status st = ParseColumn(p, &m, &c);
        if (!st.ok()) return st;
        if (m.FindColumn(c.name)) {
          return ErrDb("Field '" + c.name + "' is defined more than once.");
        }
        m.columns.push_back(c);
      }
      if (p.Op(",")) continue;
      if (p.Op(")")) break;
      return ErrInvalid("(',' or ')' expected in CREATE TABLE)");
    }
    if (!p.End()) return ErrInvalid("(unexpected text after CREATE TABLE)");
  }
  std::set<std::string> taken;
  for (auto& ix : m.indexes) {
    for (auto& c : ix.columns) {
      const ColumnDef* col = m.FindColumn(c);
      if (!col) return MissingField(c);
      c = col->name;
    }
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
    Status st = ValidateKey(m, &k, "");
    if (!st.ok()) return st;
    m.keys.push_back(k);
  }
  return InTransaction(db_, [&]() -> Status {
    Status s = schema_.Create(m);
    if (!s.ok()) return s;
    return schema_.SettleViews({m.name});
  });
}

Status Catalog::NumberCounter(const TableModel& model, const std::string& column) {
  const ColumnDef* c = model.FindColumn(column);
  if (!c || !c->counter || model.without_rowid) return Status::OK();
  std::string t = QuoteId(model.name), col = QuoteId(c->name);
  Stmt s;
  Status st = s.Prepare(db_, "UPDATE " + t + " SET " + col + " = ?1 + (n.k - 1) * ?2 FROM (SELECT " +
                                 "rowid AS r, row_number() OVER (ORDER BY rowid) AS k FROM " + t +
                                 " WHERE " + col + " IS NULL) AS n WHERE n.r = " + t + ".rowid");
  if (!st.ok()) return st;
  s.BindInt(1, c->seed);
  s.BindInt(2, c->increment);
  st = s.Run();
  if (!st.ok()) return st;
  std::int64_t numbered = sqlite3_changes(db_);
  Stmt u;
  st = u.Prepare(db_, "UPDATE __mlx_counters SET seed = ?1 WHERE tbl = ?2 AND col = ?3");
  if (!st.ok()) return st;
  u.BindInt(1, c->seed + numbered * c->increment);
  u.BindText(2, model.name);
  u.BindText(3, c->name);
  return u.Run();
}

Status Catalog::AddColumn(TableModel model, ColumnDef column, const TableModel& with) {
  if (model.FindColumn(column.name)) {
    return ErrExists("Field '" + column.name + "' in table '" + model.name + "'");
  }
  TableModel old = model;
  bool had_placeholder = false;
  model.columns.erase(std::remove_if(model.columns.begin(), model.columns.end(),
                                     [&](const ColumnDef& c) {
                                       had_placeholder = had_placeholder || c.hidden;
                                       return c.hidden;
                                     }),
                      model.columns.end());
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
    return schema_.Rebuild(old, model, [&]() { return NumberCounter(model, column.name); });
  }
  return InTransaction(db_, [&]() -> Status {
    Status st = schema_.EnsureBookkeeping();
    if (!st.ok()) return st;
    std::vector<std::string> checks;
    const std::string size_check = schema_.SizeCheckSql(model, column, "", &checks);
    st = Exec(db_, "ALTER TABLE " + QuoteId(model.name) + " ADD COLUMN " + ColumnSql(column) +
                       size_check);
    // SQLite checks the rows already there, which would all hold a default too long for the
    // column.
    if (!st.ok() && !size_check.empty() &&
        st.description().starts_with("CHECK constraint failed")) {
      return ErrDb(TooSmallMessage(model.name, column.name));
    }
    if (!st.ok()) return st;
    if (had_placeholder) {
      // SQLite drops a column only while every view of the file compiles.
      st = schema_.ParkBrokenViews({});
      if (!st.ok()) return st;
      st = Exec(db_, "ALTER TABLE " + QuoteId(model.name) + " DROP COLUMN " +
                         QuoteId(kPlaceholderColumn));
      if (!st.ok()) return st;
    }
    for (const IndexDef& ix : new_indexes) {
      st = Exec(db_, schema_.CreateIndexSql(model, ix));
      if (!st.ok()) return st;
    }
    st = schema_.SyncTable(model);
    if (!st.ok()) return st;
    st = NumberCounter(model, column.name);
    if (!st.ok()) return st;
    return schema_.SettleViews({model.name});
  });
}

bool Catalog::InRelation(const TableModel& model, const std::string& column, Status* error) {
  for (const auto& k : model.keys) {
    for (const auto& c : k.columns) {
      if (SameName(c, column)) return true;
    }
  }
  std::vector<std::pair<std::string, KeyDef>> children;
  *error = schema_.Referencing(model.name, &children);
  for (const auto& [child, k] : children) {
    for (const auto& c : k.ref_columns) {
      if (SameName(c, column)) return true;
    }
  }
  return false;
}

Status Catalog::DropColumn(TableModel model, const std::string& column) {
  ColumnDef* c = model.FindColumn(column);
  if (!c || c->hidden) return MissingField(column);
  for (const auto& ix : model.indexes) {
    for (const auto& ic : ix.columns) {
      if (SameName(ic, column)) {
        return ErrDb("Cannot delete field '" + c->name +
                     "': it is part of an index or is needed by the system.");
      }
    }
  }
  Status err;
  if (InRelation(model, column, &err)) {
    return ErrDb("Cannot delete field '" + c->name + "': it is part of one or more relationships.");
  }
  if (!err.ok()) return err;
  TableModel old = model;
  std::string name = c->name;
  model.columns.erase(std::remove_if(model.columns.begin(), model.columns.end(),
                                     [&](const ColumnDef& x) { return x.name == name; }),
                      model.columns.end());
  if (model.VisibleColumns() == 0) {
    ColumnDef placeholder;
    placeholder.name = std::string(kPlaceholderColumn);
    placeholder.decl = "INT";
    placeholder.hidden = true;
    model.columns.push_back(placeholder);
  }
  return schema_.Rebuild(old, model);
}

Status Catalog::AlterColumn(TableModel model, const std::string& column, ColumnDef changed,
                            bool null_given) {
  ColumnDef* c = model.FindColumn(column);
  if (!c || c->hidden) return MissingField(column);
  Status err;
  if (InRelation(model, column, &err)) {
    return ErrDb("Cannot change field '" + c->name + "': it is part of one or more relationships.");
  }
  if (!err.ok()) return err;
  TableModel old = model;
  ColumnDef updated = *c;
  updated.copy_from = ConvertColumnSql(model.name, *c, changed.decl);
  updated.decl = changed.decl;
  updated.collate = changed.collate;
  JetType new_type = TypeFromDecl(changed.decl);
  JetType old_type = TypeFromDecl(c->decl);
  if (!new_type.text) updated.allow_zero = -1;
  else if (!old_type.text || c->allow_zero < 0) updated.allow_zero = 0;
  if (null_given) updated.not_null = changed.not_null;
  if (!changed.default_text.empty()) {
    updated.default_sql = changed.default_sql;
    updated.default_text = changed.default_text;
  }
  bool becomes_counter = changed.counter && !c->counter;
  updated.counter = changed.counter;
  if (changed.counter) {
    updated.not_null = false;
    if (becomes_counter) {
      updated.increment = changed.increment;
      // The largest value as the new type has it (texts compare as texts).
      auto max = QueryInt(db_, "SELECT max(" + updated.copy_from + ") FROM " + QuoteId(model.name));
      updated.seed = std::max<std::int64_t>(changed.seed, max.value_or(0) + 1);
    }
  }
  *c = updated;
  // A column that becomes a counter is numbered in the rebuild's own transaction.
  Status st = schema_.Rebuild(old, model, [&]() -> Status {
    return becomes_counter ? NumberCounter(model, updated.name) : Status::OK();
  });
  // A column made NOT NULL over rows that hold Null stops the copy into the rebuilt table,
  // whose name the description would give.
  constexpr std::string_view kNullCopied = "NOT NULL constraint failed: __mlx_rebuild.";
  if (!st.ok() && st.description().starts_with(kNullCopied)) {
    return ErrDb("Impossibile cambiare il campo '" + model.name + "." +
                 st.description().substr(kNullCopied.size()) + "': contiene valori Null.");
  }
  return st;
}

Status Catalog::AlterTable(Parsed& p) {
  std::string table;
  if (!p.Name(&table)) return ErrInvalid("(table name expected)");
  TableModel model;
  Status st = schema_.Load(table, &model);
  if (!st.ok()) return st;
  if (p.Word("ADD")) {
    bool column = p.Word("COLUMN");
    if (!column && (p.PeekWord("CONSTRAINT") || p.PeekWord("PRIMARY") ||
                    p.PeekWord("FOREIGN") || p.PeekWord("UNIQUE") || p.PeekWord("CHECK"))) {
      std::string name;
      if (p.Word("CONSTRAINT") && !p.Name(&name)) return ErrInvalid("(constraint name expected)");
      TableModel with;
      with.name = model.name;
      if (model.Primary()) with.indexes.push_back(*model.Primary());
      st = ParseTableConstraint(p, &with, name);
      if (!st.ok()) return st;
      if (!p.End()) return ErrInvalid("(unexpected text after the constraint)");
      if (!with.keys.empty()) {
        KeyInfo info;
        const KeyDef& k = with.keys[0];
        info.name = k.name;
        info.related_table = k.ref_table;
        for (std::size_t i = 0; i < k.columns.size(); ++i) {
          info.columns.emplace_back(k.columns[i],
                                    i < k.ref_columns.size() ? k.ref_columns[i] : std::string());
        }
        info.update_rule = k.update_rule;
        info.delete_rule = k.delete_rule;
        return AppendKey(model.name, info);
      }
      IndexDef ix = with.indexes.back();
      if (ix.name.empty()) ix.name = ix.primary ? "PrimaryKey" : ix.columns[0];
      return AddIndexTo(model, ix);
    }
    ColumnDef c;
    TableModel with;
    with.name = model.name;
    if (model.Primary()) with.indexes.push_back(*model.Primary());
    std::size_t had = with.indexes.size();
    st = ParseColumn(p, &with, &c);
    if (!st.ok()) return st;
    if (!p.End()) return ErrInvalid("(unexpected text after the column definition)");
    with.indexes.erase(with.indexes.begin(), with.indexes.begin() + static_cast<std::ptrdiff_t>(had));
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
      std::size_t from = p.i;
      std::string text = p.Source(from, p.t.size());
      return SetDefault(model.name, column, text);
    }
    if (p.Word("DROP")) {
      if (!p.Word("DEFAULT") || !p.End()) return ErrInvalid("(DROP DEFAULT expected)");
      return SetDefault(model.name, column, "");
    }
    TableModel with;
    with.name = model.name;
    ColumnDef c;
    --p.i;  // the column definition starts at its name
    bool null_given = false;
    for (std::size_t k = p.i; k < p.t.size(); ++k) null_given = null_given || p.t[k].IsWord("NULL");
    st = ParseColumn(p, &with, &c);
    if (!st.ok()) return st;
    if (!p.End()) return ErrInvalid("(unexpected text after the column definition)");
    if (!with.indexes.empty() || !with.keys.empty()) {
      return ErrInvalid("(constraints cannot be given in ALTER COLUMN)");
    }
    return AlterColumn(model, column, c, null_given);
  }
  return ErrInvalid("(ADD, DROP or ALTER expected after ALTER TABLE)");
}

Status Catalog::CreateIndex(Parsed& p, bool unique) {
  IndexInfo info;
  std::string table;
  std::vector<bool> desc;
  if (!p.Name(&info.name) || !p.Word("ON") || !p.Name(&table)) {
    return ErrInvalid("(CREATE INDEX name ON table (columns))");
  }
  Status st = p.NameList(&info.columns, &desc);
  if (!st.ok()) return st;
  info.unique = unique;
  if (p.Word("WITH")) {
    while (!p.End()) {
      if (p.Word("PRIMARY")) {
        info.primary_key = true;
      } else if (p.Word("DISALLOW")) {
        if (!p.Word("NULL")) return ErrInvalid("(DISALLOW NULL)");
        info.index_nulls = kIndexNullsDisallow;
      } else if (p.Word("IGNORE")) {
        if (!p.Word("NULL")) return ErrInvalid("(IGNORE NULL)");
        info.index_nulls = kIndexNullsIgnore;
      } else {
        return ErrInvalid("(PRIMARY, DISALLOW NULL or IGNORE NULL expected)");
      }
    }
  }
  if (!p.End()) return ErrInvalid("(unexpected text after CREATE INDEX)");
  return AppendIndex(table, info, desc);
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
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  ColumnDef* c = m.FindColumn(column);
  if (!c || c->hidden) return MissingField(column);
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
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  ColumnDef* c = m.FindColumn(column);
  if (!c || c->hidden) return MissingField(column);
  if (!TypeFromDecl(c->decl).text) {
    return ErrDb("Field '" + c->name + "' is not a text field: it has no zero-length rule.");
  }
  c->allow_zero = allow ? 1 : 0;
  return InTransaction(db_, [&]() { return schema_.SyncTable(m); });
}

Status Catalog::DefaultFromText(const std::string& text, ColumnDef* column) {
  std::string written = text;
  while (!written.empty() && written.front() == ' ') written.erase(0, 1);
  while (!written.empty() && written.back() == ' ') written.pop_back();
  column->default_text = written;
  column->default_sql.clear();
  if (written.empty()) return Status::OK();
  std::string expr = written[0] == '=' ? written.substr(1) : written;
  std::vector<Token> toks;
  std::string sql;
  bool is_expression = Tokenize(expr, &toks).ok() && !toks.empty() &&
                       TranslateTokens(toks, true, &sql).ok();
  if (is_expression) {
    Stmt probe;
    is_expression = probe.Prepare(db_, "SELECT (" + sql + ")").ok();
  }
  if (!is_expression) {
    column->default_sql = QuoteText(written);  // plain text stands for itself
    return Status::OK();
  }
  bool literal = toks.size() == 1 ||
                 (toks.size() == 2 && (toks[0].IsOp("-") || toks[0].IsOp("+")) &&
                  toks[1].type == TokType::kNumber);
  column->default_sql = literal ? sql : "(" + sql + ")";
  if (Upper(sql) == "NULL") column->default_sql.clear();
  return Status::OK();
}

Status Catalog::SetDefault(const std::string& table, const std::string& column,
                           const std::string& default_text) {
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  ColumnDef* c = m.FindColumn(column);
  if (!c || c->hidden) return MissingField(column);
  TableModel old = m;
  st = DefaultFromText(default_text, c);
  if (!st.ok()) return st;
  return schema_.Rebuild(old, m);
}

Status Catalog::RewriteViewTexts(const std::string& old_name, const std::string& new_name) {
  if (!schema_.HasBookkeeping()) return Status::OK();
  std::vector<std::pair<std::string, std::string>> rows;
  {
    Stmt s;
    Status st = s.Prepare(db_, "SELECT name, jet_sql FROM __mlx_views");
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
    Status st = u.Prepare(db_, "UPDATE __mlx_views SET jet_sql = ?1 WHERE name = ?2");
    if (!st.ok()) return st;
    u.BindText(1, out);
    u.BindText(2, name);
    if (!(st = u.Run()).ok()) return st;
  }
  return Status::OK();
}

Status Catalog::RenameColumn(const std::string& table, const std::string& old_name,
                             const std::string& new_name) {
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  ColumnDef* c = m.FindColumn(old_name);
  if (!c || c->hidden) return MissingField(old_name);
  const ColumnDef* other = m.FindColumn(new_name);
  if (other && other != c) return ErrExists("Field '" + new_name + "' in table '" + m.name + "'");
  if (new_name.empty() || IsHiddenName(new_name)) return ErrInvalid("(invalid column name)");
  std::string stored = c->name;
  return InTransaction(db_, [&]() -> Status {
    Status s = schema_.EnsureBookkeeping();
    if (!s.ok()) return s;
    // SQLite renames only while every view of the file compiles.
    s = schema_.ParkBrokenViews({});
    if (!s.ok()) return s;
    std::string t = QuoteId(m.name);
    if (SameName(stored, new_name)) {
      s = Exec(db_, "ALTER TABLE " + t + " RENAME COLUMN " + QuoteId(stored) + " TO " +
                        QuoteId("__mlx_renaming"));
      if (!s.ok()) return s;
      stored = "__mlx_renaming";
    }
    s = Exec(db_, "ALTER TABLE " + t + " RENAME COLUMN " + QuoteId(stored) + " TO " +
                      QuoteId(new_name));
    if (!s.ok()) return s;
    for (const char* book : {"__mlx_columns", "__mlx_counters"}) {
      Stmt u;
      s = u.Prepare(db_, std::string("UPDATE ") + book + " SET col = ?1 WHERE tbl = ?2 AND col = ?3");
      if (!s.ok()) return s;
      u.BindText(1, new_name);
      u.BindText(2, m.name);
      u.BindText(3, c->name);
      if (!(s = u.Run()).ok()) return s;
    }
    // Relation names are matched by their column lists: rename the column there too.
    Stmt rel;
    s = rel.Prepare(db_, "SELECT name, cols FROM __mlx_relations WHERE tbl = ?1");
    if (!s.ok()) return s;
    rel.BindText(1, m.name);
    std::vector<std::pair<std::string, std::string>> rels;
    while (rel.Step() == SQLITE_ROW) rels.emplace_back(rel.Text(0), rel.Text(1));
    for (auto& [rname, cols] : rels) {
      std::string updated, item;
      std::size_t start = 0;
      for (std::size_t k = 0; k <= cols.size(); ++k) {
        if (k == cols.size() || cols[k] == ';') {
          item = cols.substr(start, k - start);
          updated += (start ? ";" : "") + (SameName(item, c->name) ? new_name : item);
          start = k + 1;
        }
      }
      Stmt u;
      s = u.Prepare(db_, "UPDATE __mlx_relations SET cols = ?1 WHERE name = ?2");
      if (!s.ok()) return s;
      u.BindText(1, updated);
      u.BindText(2, rname);
      if (!(s = u.Run()).ok()) return s;
    }
    TableModel renamed;
    s = schema_.Load(m.name, &renamed);
    if (!s.ok()) return s;
    s = schema_.SyncTable(renamed);
    if (!s.ok()) return s;
    s = RewriteViewTexts(c->name, new_name);
    if (!s.ok()) return s;
    return schema_.SettleViews({m.name});
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
    Status s = schema_.EnsureBookkeeping();
    if (!s.ok()) return s;
    // SQLite renames only while every view of the file compiles.
    s = schema_.ParkBrokenViews({});
    if (!s.ok()) return s;
    std::string from = *found;
    if (SameName(from, new_name)) {
      s = Exec(db_, "ALTER TABLE " + QuoteId(from) + " RENAME TO " + QuoteId("__mlx_renaming"));
      if (!s.ok()) return s;
      from = "__mlx_renaming";
    }
    s = Exec(db_, "ALTER TABLE " + QuoteId(from) + " RENAME TO " + QuoteId(new_name));
    if (!s.ok()) return s;
    s = schema_.MoveBookkeeping(*found, new_name);
    if (!s.ok()) return s;
    TableModel renamed;
    s = schema_.Load(new_name, &renamed);
    if (!s.ok()) return s;
    s = schema_.SyncTable(renamed);
    if (!s.ok()) return s;
    s = RewriteViewTexts(*found, new_name);
    if (!s.ok()) return s;
    return schema_.SettleViews({new_name});
  });
}

// ---------------------------------------------------------------------------------------------
// Indexes.

Status Catalog::Indexes(const std::string& table, std::vector<IndexInfo>* indexes) {
  indexes->clear();
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  for (const IndexDef& ix : m.indexes) indexes->push_back(ToInfo(ix));
  return Status::OK();
}

Status Catalog::AddIndexTo(TableModel model, IndexDef ix) {
  if (ix.name.empty()) return ErrInvalid("(index name missing)");
  if (model.FindIndex(ix.name)) return ErrExists("Index '" + ix.name + "'");
  if (ix.columns.empty()) return ErrInvalid("(an index needs at least one column)");
  for (auto& c : ix.columns) {
    const ColumnDef* col = model.FindColumn(c);
    if (!col || col->hidden) return MissingField(c);
    c = col->name;
  }
  ix.descending.resize(ix.columns.size(), false);
  if (ix.primary) {
    if (model.Primary()) return ErrExists("Primary key");
    ix.unique = true;
    ix.nulls = kIndexNullsDisallow;
    ix.sqlite_name.clear();
    TableModel old = model;
    model.indexes.push_back(ix);
    return schema_.Rebuild(old, model);
  }
  if (ix.nulls == kIndexNullsDisallow) {
    std::string cond;
    for (const auto& c : ix.columns) cond += (cond.empty() ? "" : " OR ") + QuoteId(c) + " IS NULL";
    if (QueryInt(db_, "SELECT count(*) FROM " + QuoteId(model.name) + " WHERE " + cond)
            .value_or(0) > 0) {
      return ErrDb("Index or primary key cannot contain a Null value.");
    }
  }
  ix.sqlite_name = schema_.NewIndexName(model.name, ix.name);
  model.indexes.push_back(ix);
  return InTransaction(db_, [&]() -> Status {
    Status s = schema_.EnsureBookkeeping();
    if (!s.ok()) return s;
    s = Exec(db_, schema_.CreateIndexSql(model, ix));
    if (!s.ok()) return s;
    return schema_.SyncTable(model);
  });
}

Status Catalog::AppendIndex(const std::string& table, const IndexInfo& index,
                            const std::vector<bool>& descending) {
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  IndexDef ix;
  ix.name = index.name;
  ix.columns = index.columns;
  ix.descending = descending;
  ix.primary = index.primary_key;
  ix.unique = index.unique || index.primary_key;
  ix.nulls = index.index_nulls == kIndexNullsDisallow ? kIndexNullsDisallow
             : (index.index_nulls == kIndexNullsIgnore || index.index_nulls == 4)
                 ? kIndexNullsIgnore
                 : kIndexNullsAllow;
  return AddIndexTo(m, ix);
}

Status Catalog::RemoveIndexFrom(TableModel model, const std::string& name) {
  IndexDef* ix = model.FindIndex(name);
  if (!ix) return ErrMissing("L'indice '" + name + "'");
  std::vector<std::pair<std::string, KeyDef>> children;
  Status st = schema_.Referencing(model.name, &children);
  if (!st.ok()) return st;
  for (const auto& [child, key] : children) {
    if (SameSet(key.ref_columns, ix->columns) && !HasUniqueOn(model, ix->columns, ix->name)) {
      return ErrDb("Cannot delete index '" + ix->name + "': it is used in a relationship.");
    }
  }
  std::string stored = ix->name;
  TableModel old = model;
  bool rebuild = ix->primary || ix->sqlite_name.empty();
  std::string sqlite_name = ix->sqlite_name;
  model.indexes.erase(std::remove_if(model.indexes.begin(), model.indexes.end(),
                                     [&](const IndexDef& x) { return x.name == stored; }),
                      model.indexes.end());
  if (rebuild) return schema_.Rebuild(old, model);
  return InTransaction(db_, [&]() -> Status {
    Status s = Exec(db_, "DROP INDEX " + QuoteId(sqlite_name));
    if (!s.ok()) return s;
    return schema_.SyncTable(model);
  });
}

Status Catalog::DeleteIndex(const std::string& table, const std::string& name) {
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  return RemoveIndexFrom(m, name);
}

// ---------------------------------------------------------------------------------------------
// Keys (relations).

Status Catalog::Keys(const std::string& table, std::vector<KeyInfo>* keys) {
  keys->clear();
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  for (const KeyDef& k : m.keys) {
    KeyInfo info;
    info.name = k.name;
    info.related_table = k.ref_table;
    for (std::size_t i = 0; i < k.columns.size(); ++i) {
      info.columns.emplace_back(k.columns[i], i < k.ref_columns.size() ? k.ref_columns[i] : "");
    }
    info.update_rule = k.update_rule;
    info.delete_rule = k.delete_rule;
    keys->push_back(std::move(info));
  }
  return Status::OK();
}

namespace {
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
}  // namespace

Status Catalog::AppendKey(const std::string& table, const KeyInfo& key) {
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  KeyDef k = FromInfo(key);
  for (const auto& r : k.ref_columns) {
    if (r.empty()) return ErrDb("Every column of a relation needs its related column.");
  }
  if (!k.name.empty() && m.FindKey(k.name)) return ErrExists("Relationship '" + k.name + "'");
  st = ValidateKey(m, &k, "");
  if (!st.ok()) return st;
  TableModel old = m;
  m.keys.push_back(k);
  return schema_.Rebuild(old, m);
}

Status Catalog::DeleteKey(const std::string& table, const std::string& name) {
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  KeyDef* k = m.FindKey(name);
  if (!k) return ErrMissing("La relazione '" + name + "'");
  TableModel old = m;
  std::string stored = k->name;
  m.keys.erase(std::remove_if(m.keys.begin(), m.keys.end(),
                              [&](const KeyDef& x) { return x.name == stored; }),
               m.keys.end());
  return schema_.Rebuild(old, m);
}

Status Catalog::ReplaceKey(const std::string& table, const KeyInfo& key) {
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  KeyDef* existing = m.FindKey(key.name);
  if (!existing) return ErrMissing("La relazione '" + key.name + "'");
  KeyDef k = FromInfo(key);
  k.name = existing->name;
  st = ValidateKey(m, &k, existing->name);
  if (!st.ok()) return st;
  TableModel old = m;
  *m.FindKey(k.name) = k;
  return schema_.Rebuild(old, m);
}

// ---------------------------------------------------------------------------------------------
// Bookkeeping that follows the file.

Status Catalog::Reconcile() {
  // Another connection writing the file makes this wait for nobody: it is skipped at once.
  sqlite3_busy_timeout(db_, 0);
  Status st;
  if (!schema_.InStep() && sqlite3_db_readonly(db_, "main") != 1) {
    st = InTransaction(db_, [&]() -> Status {
      Status s = schema_.EnsureBookkeeping();
      if (!s.ok()) return s;
      std::vector<std::pair<std::string, std::string>> renamed;
      s = schema_.RenamedTables(&renamed);
      if (!s.ok()) return s;
      std::vector<std::string> stale;
      for (const auto& [from, to] : renamed) {
        // What was kept under the new name described an older table of that name.
        s = schema_.DropBookkeeping(to);
        if (!s.ok()) return s;
        s = schema_.MoveBookkeeping(from, to);
        if (!s.ok()) return s;
        s = RewriteViewTexts(from, to);
        if (!s.ok()) return s;
        stale.push_back(to);  // its guard triggers still carry the old name
      }
      std::vector<std::string> more;
      s = schema_.StaleTables(&more);
      if (!s.ok()) return s;
      stale.insert(stale.end(), more.begin(), more.end());
      // A table keeps what still describes it (which is all Load reads) and gets its guard
      // triggers again; what describes tables that are gone is forgotten. Every model is read
      // before any is written, so that no stale row stands in the way of another table's.
      std::vector<TableModel> models;
      for (const std::string& table : stale) {
        auto found = schema_.FindTable(table);
        if (found && std::none_of(models.begin(), models.end(), [&](const TableModel& m) {
              return SameName(m.name, *found);
            })) {
          models.emplace_back();
          s = schema_.Load(*found, &models.back());
          if (!s.ok()) return s;
        }
      }
      for (const std::string& table : stale) {
        s = schema_.DropBookkeeping(table);
        if (!s.ok()) return s;
      }
      for (const TableModel& m : models) {
        s = schema_.SyncTable(m);
        if (!s.ok()) return s;
      }
      s = schema_.ForgetStaleViews();
      if (!s.ok()) return s;
      s = schema_.ReviveViews();
      if (!s.ok()) return s;
      return schema_.MarkInStep();
    });
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  return st;
}

// ---------------------------------------------------------------------------------------------
// Saved queries.

Status Catalog::ViewCommand(const std::string& name, std::string* sql) {
  auto found = schema_.FindView(name);
  if (!found) return ErrMissing("La query '" + name + "'");
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
  return ErrMissing("La query '" + name + "'");
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
  if (!found) return ErrMissing("La query '" + name + "'");
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
  if (!found) return ErrMissing("La query '" + name + "'");
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
