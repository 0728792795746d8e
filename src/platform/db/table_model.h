// The table model of the data-access layer: the whole definition of a table as the catalogue
// works on it, and the storage operations that read, write and rebuild tables and keep the
// saved queries and the layer's bookkeeping in step with them.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/db/internal.h"

namespace mlx::db::internal {

// ---------------------------------------------------------------------------------------------
// Table model: the whole definition of a table, read from SQLite and the layer's bookkeeping.

// Whether a CREATE TABLE text makes a table WITHOUT ROWID.
bool WithoutRowid(std::string_view create_sql);

struct ColumnDef {
  std::string name;
  std::string decl;
  std::string collate;        // "" or a collation name
  bool not_null = false;
  std::string default_sql;    // SQLite default expression, "" for none
  std::string default_text;   // as the script wrote it
  bool counter = false;
  std::int64_t seed = 1;
  std::int64_t increment = 1;
  bool guard = false;         // the seed may have been set below present values
  int allow_zero = -1;        // -1 no rule kept, 0 refused, 1 allowed
  bool rowid_autoinc = false; // INTEGER PRIMARY KEY AUTOINCREMENT of another tool
  bool hidden = false;        // the placeholder
  std::string copy_from;      // rebuild: expression of the old table that fills it ("" = NULL)
};

// The hidden column that keeps a table without visible columns valid.
ColumnDef PlaceholderColumn();

// The expression that fills a column whose type changes to new_decl in a table rebuild: the old
// values converted as Jet converts them (numbers rounded half to even into whole-number types,
// dates to their General Date text, numeric and date texts to numbers and dates). A value that
// does not convert, or does not fit the new type or size, fails the statement with a description
// that names the field and the value. The plain column when the values need no conversion.
std::string ConvertColumnSql(std::string_view table, const ColumnDef& column,
                             std::string_view new_decl);

// The name of a primary key made without one, as Jet names it.
inline constexpr std::string_view kPrimaryKeyName = "PrimaryKey";

struct IndexDef {
  std::string name;           // as scripts see it
  std::string sqlite_name;    // "" for the primary key
  std::vector<std::string> columns;
  std::vector<bool> descending;
  bool primary = false;
  bool unique = false;
  int nulls = kIndexNullsAllow;
  std::string sql;            // the original CREATE INDEX of an index kept as it is
};

// The column list of a relation as the bookkeeping keeps it: the names joined by ';'.
std::string KeptColumns(const std::vector<std::string>& columns);

struct KeyDef {
  std::string name;
  std::string ref_table;
  std::vector<std::string> columns;
  std::vector<std::string> ref_columns;
  int update_rule = kRuleNone;
  int delete_rule = kRuleNone;
};

struct TableModel {
  std::string name;
  std::vector<ColumnDef> columns;
  std::vector<IndexDef> indexes;
  std::vector<KeyDef> keys;
  bool without_rowid = false;
  std::vector<std::string> user_triggers;  // CREATE TRIGGER texts of other tools

  ColumnDef* FindColumn(std::string_view name);
  const ColumnDef* FindColumn(std::string_view name) const;
  IndexDef* FindIndex(std::string_view name);
  IndexDef* Primary();
  const IndexDef* Primary() const;
  KeyDef* FindKey(std::string_view name);
  int VisibleColumns() const;
};

// The table a rebuild writes beside the old one before it takes the old one's name.
inline constexpr std::string_view kRebuildTable = "__mlx_rebuild";

// The catalogue's storage operations, on one open SQLite handle. A table is read into a model
// (table_model.cc), written from one (table_write.cc) or rebuilt to match one (table_rebuild.cc);
// saved queries outlive the tables they name (dormant_queries.cc); the hidden tables follow what
// other tools changed in the file (reconcile.cc).
class Schema {
 public:
  explicit Schema(sqlite3* db) : db_(db) {}

  // ---- Reading (table_model.cc).

  // The stored name of a user table, or of a saved query (dormant ones included), matched
  // without regard to case.
  std::optional<std::string> FindTable(std::string_view name) const;
  // The same, telling a table that is not there (OK, *found empty) from a catalogue that
  // cannot be read (a failure: a disk error must not pass for a missing table).
  Status LookupTable(std::string_view name, std::optional<std::string>* found) const;
  std::optional<std::string> FindView(std::string_view name) const;
  Status Load(std::string_view table, TableModel* model) const;
  std::vector<std::string> UserTables() const;
  // Relations of other tables that reference this one.
  Status Referencing(std::string_view table,
                     std::vector<std::pair<std::string, KeyDef>>* keys) const;
  // The hidden tables, made or brought up to date for files written by earlier builds.
  Status EnsureBookkeeping();
  bool HasBookkeeping() const;
  // The same, failing when the catalogue cannot be read.
  Status ReadBookkeeping(bool* present) const;

  // ---- Writing (table_write.cc).

  // Writes a new table from a model (CREATE TABLE, indexes, bookkeeping, guard triggers).
  Status Create(const TableModel& model);
  // Rewrites bookkeeping rows and guard triggers of a table after an in-place change.
  Status SyncTable(const TableModel& model);
  Status DropBookkeeping(std::string_view table);
  // Moves the bookkeeping of a renamed table to its new name (relations that refer to it too).
  Status MoveBookkeeping(std::string_view from, std::string_view to);
  std::string NewIndexName(std::string_view table, std::string_view name) const;
  // The CREATE TABLE text of the model; replaced names the table it will replace (its size
  // check names may be used again).
  std::string CreateTableSql(const TableModel& model, std::string_view as_name,
                             std::string_view replaced = {}) const;
  // " CONSTRAINT name CHECK (...)" of a column with the size rule, "" otherwise; its name is
  // one no table but replaced uses, nor any name in taken (which gets it).
  std::string SizeCheckSql(const TableModel& model, const ColumnDef& column,
                           std::string_view replaced, std::vector<std::string>* taken) const;
  std::string CreateIndexSql(const TableModel& model, const IndexDef& index) const;

  // ---- Rebuilding (table_rebuild.cc).

  // Replaces the table by one built from the model, rows copied by one INSERT ... SELECT using
  // each column's copy_from. Runs in its own transaction with foreign keys off; the foreign-key
  // check runs before the commit. `then`, when given, runs in the same transaction after the
  // copy (a failure undoes it all).
  Status Rebuild(const TableModel& old_model, const TableModel& model,
                 const std::function<Status()>& then = {});

  // ---- Saved queries (dormant_queries.cc).

  // Saved queries are text: a change of the tables a query names never fails because of it. A
  // query whose view no longer compiles (a table, column or query it names is gone) is dormant:
  // its view is dropped and its text kept in __mlx_views (dormant_sql holds the CREATE VIEW
  // text, so that the views of other tools are kept too) until what it names is there again.
  // Dormant queries are still queries of the catalogue; running one fails with the reason.
  bool IsDormantView(std::string_view name) const;
  // Parks the views that no longer compile among those whose text names one of the touched
  // objects, or among all views when touched is empty (SQLite's own renames and column drops
  // refuse to run while any view is broken); a parked view touches those that name it in turn.
  Status ParkBrokenViews(std::vector<std::string> touched);
  // Gives back their view to the dormant queries whose text compiles again.
  Status ReviveViews();
  // Both, at the end of a change of the touched objects, inside its transaction.
  Status SettleViews(std::vector<std::string> touched);

  // ---- Following the file (reconcile.cc).

  // The hidden tables are in step with the file when the file's schema is the one they were
  // last brought in step with: its schema cookie (which any change of the schema, by any tool,
  // moves on) is kept in __mlx_schema. A file without bookkeeping is in step.
  bool InStep() const;
  // Records that the hidden tables describe the schema as it is now.
  Status MarkInStep();
  // The tables whose bookkeeping describes what the file no longer holds (tables, columns,
  // indexes or relations changed by other tools, guard triggers of a table renamed by them), as
  // the bookkeeping names them (some may not exist). One query.
  Status StaleTables(std::vector<std::string>* tables) const;
  // The tables that other tools renamed, found by the guard triggers that kept the old name:
  // pairs of old and new name.
  Status RenamedTables(std::vector<std::pair<std::string, std::string>>* renamed) const;
  // Forgets the live queries whose view other tools dropped, and the dormant ones whose name
  // another object took.
  Status ForgetStaleViews();

 private:
  bool KeepsDormantViews() const;
  bool HasCurrentBookkeeping() const;
  Status WriteBookkeeping(const TableModel& model);
  Status WriteTriggers(const TableModel& model);
  std::optional<std::string> FindDormantView(std::string_view name) const;
  Status ViewsNaming(std::string_view name, std::vector<std::string>* views) const;
  Status ParkView(const std::string& name);
  Status ReviveView(const std::string& name, const std::string& jet_sql,
                    const std::string& dormant_sql, bool* revived);
  // Name, text and CREATE VIEW text of each dormant query.
  Status DormantViews(std::vector<std::tuple<std::string, std::string, std::string>>* views) const;
  sqlite3* db_;
};

// The triggers that turn ISO text written into the table's date columns into day numbers (the
// table's other layer triggers must have been dropped before).
Status WriteDateTriggers(sqlite3* db, const TableModel& model);
// On opening: gives every table with date columns its date triggers when they are missing or
// out of date, converting the ISO texts already stored there, in one transaction. Does nothing
// on a read-only file or when another program holds a lock; never fails.
void ReconcileDateTriggers(sqlite3* db);
// The SQLite text of a saved query written in the scripts' dialect (a SELECT statement).
Status ViewBody(const std::string& jet_sql, std::string* body);
// The query of a CREATE VIEW text: what follows its AS.
std::string ViewSelect(const std::string& create_view);
// "The query 'q' cannot be run: ..." for SQLite's "no such table: q" when q is a dormant query,
// with the reason its text does not compile (followed through the dormant queries it names).
std::optional<std::string> DormantQueryFailure(sqlite3* db, std::string_view message);

// Runs work inside BEGIN IMMEDIATE ... COMMIT, rolling back on failure; inside a transaction
// the caller opened, as a savepoint of it. The layer's own work keeps a file whose hidden tables
// were in step with its schema in step.
template <typename F>
Status InTransaction(sqlite3* db, F&& work) {
  bool nested = !sqlite3_get_autocommit(db);
  Status st = Exec(db, nested ? "SAVEPOINT __mlx_work" : "BEGIN IMMEDIATE");
  if (!st.ok()) return st;
  const bool in_step = Schema(db).InStep();
  st = work();
  if (st.ok() && in_step) st = Schema(db).MarkInStep();
  if (st.ok()) st = Exec(db, nested ? "RELEASE __mlx_work" : "COMMIT");
  if (!st.ok()) {
    sqlite3_exec(db, nested ? "ROLLBACK TO __mlx_work; RELEASE __mlx_work" : "ROLLBACK", nullptr,
                 nullptr, nullptr);
  }
  return st;
}

}  // namespace mlx::db::internal
