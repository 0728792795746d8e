// Reading the data-definition statements of the scripts' dialect into the table model: the
// tokens of one statement, column definitions, table constraints, references and defaults.
// What the statements change is carried out by the catalogue (ddl_tables.cc, ddl_indexes.cc).
#pragma once

#include <string>
#include <vector>

#include "platform/db/table_model.h"

namespace mlx::db::internal {

// A statement being read: its tokens and the position of the next one.
struct StatementReader {
  const std::string& sql;
  std::vector<Token> t;
  std::size_t i = 0;

  bool End() const { return i >= t.size(); }
  const Token* Peek(std::size_t k = 0) const { return i + k < t.size() ? &t[i + k] : nullptr; }
  bool PeekWord(std::string_view w, std::size_t k = 0) const {
    return i + k < t.size() && t[i + k].IsWord(w);
  }
  // Each of these reads the token when it is the one asked for.
  bool Word(std::string_view w);
  bool Op(std::string_view o);
  bool Name(std::string* out);
  // "(a [ASC|DESC], b, ...)", with the order of each name when desc is given.
  Status NameList(std::vector<std::string>* out, std::vector<bool>* desc = nullptr);
  // The statement's text from token `from` up to token `to` (excluded), as written.
  std::string Source(std::size_t from, std::size_t to) const;
};

// The tokens of one statement, without the ';' that may end it; an empty statement fails.
Status StatementTokens(const std::string& sql, std::vector<Token>* tokens);

// A column definition: name, type and its clauses (NOT NULL, DEFAULT, WITH COMPRESSION, and
// PRIMARY KEY, UNIQUE or REFERENCES, which add an index or a relation to the model).
Status ParseColumn(StatementReader& p, TableModel* model, ColumnDef* column);
// PRIMARY KEY (...), UNIQUE (...) or FOREIGN KEY (...) REFERENCES ..., named `name` when given.
Status ParseTableConstraint(StatementReader& p, TableModel* model, std::string name);
// What follows CREATE TABLE name: the columns and constraints in parentheses, or nothing for a
// table without columns (which gets the placeholder column).
Status ParseTableBody(StatementReader& p, TableModel* model);
// What follows ALTER TABLE t ADD: one constraint, read into `with`, which holds the table's
// primary key beforehand so that a second one is refused.
Status ParseAddedConstraint(StatementReader& p, const TableModel& model, TableModel* with);
// What follows ALTER TABLE t ADD [COLUMN]: the column, and in `with` the indexes and relations
// that its definition makes.
Status ParseAddedColumn(StatementReader& p, const TableModel& model, ColumnDef* column,
                        TableModel* with);
// What follows ALTER TABLE t ALTER [COLUMN], from the column's name: the new definition, and
// whether it says NULL or NOT NULL (the column keeps its rule otherwise).
Status ParseChangedColumn(StatementReader& p, ColumnDef* column, bool* null_given);
// What follows CREATE [UNIQUE] INDEX: name, table, columns and the WITH options.
Status ParseCreateIndex(StatementReader& p, bool unique, std::string* table, IndexInfo* index,
                        std::vector<bool>* descending);
// A column's default from the text a script sets as its default value: an expression of the
// dialect ("=" may lead it), or else plain text that stands for itself.
Status DefaultFromText(sqlite3* db, const std::string& text, ColumnDef* column);

}  // namespace mlx::db::internal
