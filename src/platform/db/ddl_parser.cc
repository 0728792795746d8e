// Reading the data-definition statements of the scripts' dialect into the table model.
#include "platform/db/ddl_parser.h"

namespace mlx::db::internal {

bool StatementReader::Word(std::string_view w) {
  if (i < t.size() && t[i].IsWord(w)) {
    ++i;
    return true;
  }
  return false;
}

bool StatementReader::Op(std::string_view o) {
  if (i < t.size() && t[i].IsOp(o)) {
    ++i;
    return true;
  }
  return false;
}

bool StatementReader::Name(std::string* out) {
  if (i < t.size() && t[i].IsName()) {
    *out = t[i++].text;
    return true;
  }
  return false;
}

Status StatementReader::NameList(std::vector<std::string>* out, std::vector<bool>* desc) {
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

std::string StatementReader::Source(std::size_t from, std::size_t to) const {
  if (from >= to) return "";
  return sql.substr(t[from].begin, t[to - 1].end - t[from].begin);
}

Status StatementTokens(const std::string& sql, std::vector<Token>* tokens) {
  Status st = Tokenize(sql, tokens);
  if (!st.ok()) return st;
  while (!tokens->empty() && tokens->back().IsOp(";")) tokens->pop_back();
  if (tokens->empty()) return ErrInvalid("(empty statement)");
  return Status::OK();
}

namespace {

// The index that a PRIMARY KEY or UNIQUE constraint makes: named as the constraint, or else as
// Jet names a primary key, and another index after its first column.
IndexDef ConstraintIndex(bool primary, const std::string& name, std::vector<std::string> columns,
                         std::vector<bool> descending) {
  IndexDef ix;
  ix.primary = primary;
  ix.unique = true;
  if (primary) ix.nulls = kIndexNullsDisallow;
  ix.name = !name.empty() ? name : primary ? std::string(kPrimaryKeyName) : columns[0];
  ix.columns = std::move(columns);
  ix.descending = std::move(descending);
  return ix;
}

Status ParseDefault(StatementReader& p, ColumnDef* column) {
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

Status ParseReferences(StatementReader& p, KeyDef* key) {
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

}  // namespace

Status ParseColumn(StatementReader& p, TableModel* model, ColumnDef* column) {
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
      model->indexes.push_back(ConstraintIndex(true, constraint_name, {column->name}, {false}));
      constraint_name.clear();
    } else if (p.Word("UNIQUE")) {
      model->indexes.push_back(ConstraintIndex(false, constraint_name, {column->name}, {false}));
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

Status ParseTableConstraint(StatementReader& p, TableModel* model, std::string name) {
  const bool primary = p.PeekWord("PRIMARY");
  if (primary || p.PeekWord("UNIQUE")) {
    ++p.i;
    if (primary && !p.Word("KEY")) return ErrInvalid("(KEY expected after PRIMARY)");
    if (primary && model->Primary()) return ErrExists("Primary key");
    std::vector<std::string> columns;
    std::vector<bool> descending;
    Status st = p.NameList(&columns, &descending);
    if (!st.ok()) return st;
    model->indexes.push_back(ConstraintIndex(primary, name, columns, descending));
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

Status ParseTableBody(StatementReader& p, TableModel* m) {
  if (p.End()) {
    m->columns.push_back(PlaceholderColumn());
    return Status::OK();
  }
  if (!p.Op("(")) return ErrInvalid("('(' expected after the table name)");
  for (;;) {
    std::string cname;
    if (p.Word("CONSTRAINT")) {
      if (!p.Name(&cname)) return ErrInvalid("(constraint name expected)");
      Status st = ParseTableConstraint(p, m, cname);
      if (!st.ok()) return st;
    } else if (p.PeekWord("PRIMARY") || p.PeekWord("FOREIGN") || p.PeekWord("CHECK") ||
               (p.PeekWord("UNIQUE") && p.Peek(1) && p.Peek(1)->IsOp("("))) {
      Status st = ParseTableConstraint(p, m, "");
      if (!st.ok()) return st;
    } else {
      ColumnDef c;
      Status st = ParseColumn(p, m, &c);
      if (!st.ok()) return st;
      if (m->FindColumn(c.name)) {
        return ErrDb("Field '" + c.name + "' is defined more than once.");
      }
      m->columns.push_back(c);
    }
    if (p.Op(",")) continue;
    if (p.Op(")")) break;
    return ErrInvalid("(',' or ')' expected in CREATE TABLE)");
  }
  if (!p.End()) return ErrInvalid("(unexpected text after CREATE TABLE)");
  return Status::OK();
}

Status ParseAddedConstraint(StatementReader& p, const TableModel& model, TableModel* with) {
  std::string name;
  if (p.Word("CONSTRAINT") && !p.Name(&name)) return ErrInvalid("(constraint name expected)");
  with->name = model.name;
  if (const IndexDef* primary = model.Primary()) with->indexes.push_back(*primary);
  Status st = ParseTableConstraint(p, with, name);
  if (!st.ok()) return st;
  if (!p.End()) return ErrInvalid("(unexpected text after the constraint)");
  return Status::OK();
}

Status ParseAddedColumn(StatementReader& p, const TableModel& model, ColumnDef* column,
                        TableModel* with) {
  with->name = model.name;
  if (const IndexDef* primary = model.Primary()) with->indexes.push_back(*primary);
  std::size_t had = with->indexes.size();
  Status st = ParseColumn(p, with, column);
  if (!st.ok()) return st;
  if (!p.End()) return ErrInvalid("(unexpected text after the column definition)");
  with->indexes.erase(with->indexes.begin(),
                      with->indexes.begin() + static_cast<std::ptrdiff_t>(had));
  return Status::OK();
}

Status ParseChangedColumn(StatementReader& p, ColumnDef* column, bool* null_given) {
  *null_given = false;
  for (std::size_t k = p.i; k < p.t.size(); ++k) *null_given = *null_given || p.t[k].IsWord("NULL");
  TableModel with;
  Status st = ParseColumn(p, &with, column);
  if (!st.ok()) return st;
  if (!p.End()) return ErrInvalid("(unexpected text after the column definition)");
  if (!with.indexes.empty() || !with.keys.empty()) {
    return ErrInvalid("(constraints cannot be given in ALTER COLUMN)");
  }
  return Status::OK();
}

Status ParseCreateIndex(StatementReader& p, bool unique, std::string* table, IndexInfo* info,
                        std::vector<bool>* desc) {
  if (!p.Name(&info->name) || !p.Word("ON") || !p.Name(table)) {
    return ErrInvalid("(CREATE INDEX name ON table (columns))");
  }
  Status st = p.NameList(&info->columns, desc);
  if (!st.ok()) return st;
  info->unique = unique;
  if (p.Word("WITH")) {
    while (!p.End()) {
      if (p.Word("PRIMARY")) {
        info->primary_key = true;
      } else if (p.Word("DISALLOW")) {
        if (!p.Word("NULL")) return ErrInvalid("(DISALLOW NULL)");
        info->index_nulls = kIndexNullsDisallow;
      } else if (p.Word("IGNORE")) {
        if (!p.Word("NULL")) return ErrInvalid("(IGNORE NULL)");
        info->index_nulls = kIndexNullsIgnore;
      } else {
        return ErrInvalid("(PRIMARY, DISALLOW NULL or IGNORE NULL expected)");
      }
    }
  }
  if (!p.End()) return ErrInvalid("(unexpected text after CREATE INDEX)");
  return Status::OK();
}

Status DefaultFromText(sqlite3* db, const std::string& text, ColumnDef* column) {
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
    is_expression = probe.Prepare(db, "SELECT (" + sql + ")").ok();
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

}  // namespace mlx::db::internal
