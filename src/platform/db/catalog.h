// The catalogue and the statements of the scripts' dialect, on one open SQLite handle. The
// statements are read by the DDL parser (ddl_parser.h) and carried out through the table model
// (ddl_tables.cc for tables and columns, ddl_indexes.cc for indexes and relations); the listings
// of the catalogue, the properties it sets on columns, renames and saved queries are in
// catalog.cc, and the reconciliation on open in reconcile.cc.
#pragma once

#include <string>
#include <vector>

#include "platform/db/table_model.h"

namespace mlx::db::internal {

struct StatementReader;

class Catalog {
 public:
  explicit Catalog(sqlite3* db) : db_(db), schema_(db) {}

  // Runs one statement of the scripts' dialect; rows of a query are read and dropped.
  Status Execute(const std::string& sql);
  // The SQLite text of a query of the scripts' dialect.
  Status TranslateQuery(const std::string& sql, std::string* out);

  Status Tables(std::vector<TableInfo>* tables);
  Status Columns(const std::string& table, std::vector<ColumnInfo>* columns);
  Status SetSeed(const std::string& table, const std::string& column, std::int64_t seed);
  Status SetAllowZeroLength(const std::string& table, const std::string& column, bool allow);
  Status SetDefault(const std::string& table, const std::string& column,
                    const std::string& default_text);
  Status RenameColumn(const std::string& table, const std::string& old_name,
                      const std::string& new_name);
  Status RenameTable(const std::string& old_name, const std::string& new_name);
  Status Indexes(const std::string& table, std::vector<IndexInfo>* indexes);
  Status AppendIndex(const std::string& table, const IndexInfo& index,
                     const std::vector<bool>& descending = {});
  Status DeleteIndex(const std::string& table, const std::string& name);
  Status Keys(const std::string& table, std::vector<KeyInfo>* keys);
  Status AppendKey(const std::string& table, const KeyInfo& key);
  Status DeleteKey(const std::string& table, const std::string& name);
  Status ReplaceKey(const std::string& table, const KeyInfo& key);
  Status ViewCommand(const std::string& name, std::string* sql);
  Status AppendView(const std::string& name, const std::string& sql);
  Status SetViewCommand(const std::string& name, const std::string& sql);
  Status DeleteView(const std::string& name);
  Status DropTable(const std::string& name);

  // Brings the hidden tables in step with the file after changes other tools made to its
  // schema (run on open): forgets what describes tables, columns, indexes, relations and
  // queries that are gone, lets the bookkeeping of a table another tool renamed follow it, and
  // gives dormant queries whose text compiles again their view back. Does nothing while the
  // schema is the one the hidden tables were last brought in step with; skipped on a read-only
  // file or one another connection is writing.
  Status Reconcile();

  Schema& schema() { return schema_; }

 private:
  // ---- Tables and columns (ddl_tables.cc).
  Status CreateTable(StatementReader& p);
  Status AlterTable(StatementReader& p);
  Status AddColumn(TableModel model, ColumnDef column, const TableModel& with_constraints);
  Status DropColumn(TableModel model, const std::string& column);
  Status AlterColumn(TableModel model, const std::string& column, ColumnDef changed,
                     bool null_given);

  // ---- Indexes and relations (ddl_indexes.cc).
  Status CreateIndex(StatementReader& p, bool unique);
  Status AddIndexTo(TableModel model, IndexDef index);
  Status RemoveIndexFrom(TableModel model, const std::string& name);
  Status ValidateKey(const TableModel& child, KeyDef* key, const std::string& replacing);

  // ---- The catalogue (catalog.cc).
  // The table's model and its visible column of that name.
  Status LoadColumn(const std::string& table, const std::string& column, TableModel* model,
                    ColumnDef** found);
  Status SaveView(const std::string& name, const std::string& sql);

  sqlite3* db_;
  Schema schema_;
};

// The visible column of the model with that name; "Il campo 'x' non esiste." when there is none.
Status VisibleColumn(TableModel& model, std::string_view name, ColumnDef** column);
// Each name replaced by the name of the model's visible column it stands for, as stored.
Status StoredColumnNames(const TableModel& model, std::vector<std::string>* names);

// The saved queries' texts with every name old_name (a table or column that was renamed) written
// as new_name.
Status RewriteViewTexts(sqlite3* db, const std::string& old_name, const std::string& new_name);

// A relation as the catalogue's callers see it, and back.
KeyInfo ToInfo(const KeyDef& key);
KeyDef FromInfo(const KeyInfo& key);

}  // namespace mlx::db::internal
