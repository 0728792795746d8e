// The table rebuild: what SQLite cannot change in place (a column's type, a default, a primary
// key, a relation) is done by writing the table again from its model, data kept.
#include <algorithm>

#include "platform/db/progress_monitor.h"
#include "platform/db/table_model.h"

namespace mlx::db::internal {

namespace {

// Fills the new table from the old one. Each column is filled by its copy_from (a column whose
// type changes converts and checks its values there); the size checks are off, so that a
// rebuild for another change does not fail on texts already longer than their column's size.
// The rows the copy has read are the rebuild's progress (the steps of its scan: the rows before
// the one in hand), and the rows it wrote when it is over.
Status CopyRows(sqlite3* db, const TableModel& old_model, const TableModel& model,
                MonitoredTask& task) {
  const std::string temp = QuoteId(kRebuildTable);
  std::string cols, exprs;
  for (const ColumnDef& c : model.columns) {
    if (c.copy_from.empty()) continue;
    cols += (cols.empty() ? "" : ", ") + QuoteId(c.name);
    exprs += (exprs.empty() ? "" : ", ") + c.copy_from;
  }
  if (cols.empty()) {
    Status s = Exec(db, "INSERT INTO " + temp + " DEFAULT VALUES");
    if (!s.ok()) return s;
    return Exec(db, "DELETE FROM " + temp);
  }
  Status s = Exec(db, "PRAGMA ignore_check_constraints = ON");
  Stmt copy;
  if (s.ok()) {
    s = copy.Prepare(db, "INSERT INTO " + temp + " (" + cols + ") SELECT " + exprs + " FROM " +
                             QuoteId(old_model.name));
  }
  if (s.ok()) {
    task.Measure(copy.get());
    s = copy.Run();
    task.Measure(nullptr);
    if (s.ok()) task.Advance(sqlite3_changes(db));
  }
  // The checks must be on again whatever the copy did: a connection left without them would
  // accept texts longer than their columns.
  Status on = Exec(db, "PRAGMA ignore_check_constraints = OFF");
  if (!s.ok()) return s;
  return on;
}

// The next number of another tool's AUTOINCREMENT key lives in sqlite_sequence, which forgets
// it with the old table: read before, written back after, never below the largest key.
std::optional<std::int64_t> SavedSequence(sqlite3* db, const TableModel& old_model,
                                          const TableModel& model) {
  bool autoinc = std::any_of(model.columns.begin(), model.columns.end(),
                             [](const ColumnDef& c) { return c.rowid_autoinc; });
  if (!autoinc) return std::nullopt;
  return QueryInt(db, "SELECT seq FROM sqlite_sequence WHERE name = " + QuoteText(old_model.name));
}

Status RestoreSequence(sqlite3* db, const TableModel& model, std::int64_t sequence) {
  Status s = Exec(db, "DELETE FROM sqlite_sequence WHERE name = " + QuoteText(model.name));
  if (!s.ok()) return s;
  return Exec(db, "INSERT INTO sqlite_sequence (name, seq) VALUES (" + QuoteText(model.name) +
                      ", max(" + std::to_string(sequence) + ", ifnull((SELECT max(rowid) FROM " +
                      QuoteId(model.name) + "), 0)))");
}

// Relations in both directions must still hold before the change is committed.
Status CheckRelations(sqlite3* db, const TableModel& model) {
  std::vector<std::string> to_check = {model.name};
  std::vector<std::pair<std::string, KeyDef>> children;
  Status s = Schema(db).Referencing(model.name, &children);
  if (!s.ok()) return s;
  for (auto& [child, key] : children) to_check.push_back(child);
  for (const std::string& t : to_check) {
    Stmt check;
    s = check.Prepare(db, "PRAGMA foreign_key_check(" + QuoteId(t) + ")");
    if (!s.ok()) return s;
    int rc = check.Step();
    if (rc == SQLITE_ROW) {
      return ErrDb("Data in table '" + check.Text(0) + "' violates the referential integrity "
                   "rules of its relation with table '" + check.Text(2) + "'.");
    }
    if (rc != SQLITE_DONE) return check.Error(rc);
  }
  return Status::OK();
}

// The new table written beside the old one, filled, and put in its place with its indexes,
// the other tools' triggers, the bookkeeping and the guard triggers.
Status ReplaceTable(Schema& schema, sqlite3* db, const TableModel& old_model,
                    const TableModel& model, MonitoredTask& task) {
  Status s = Exec(db, schema.CreateTableSql(model, kRebuildTable, old_model.name));
  if (!s.ok()) return s;
  s = CopyRows(db, old_model, model, task);
  if (!s.ok()) return s;
  const std::optional<std::int64_t> sequence = SavedSequence(db, old_model, model);
  s = Exec(db, "DROP TABLE " + QuoteId(old_model.name));
  if (!s.ok()) return s;
  s = Exec(db, "ALTER TABLE " + QuoteId(kRebuildTable) + " RENAME TO " + QuoteId(model.name));
  if (!s.ok()) return s;
  if (sequence) {
    s = RestoreSequence(db, model, *sequence);
    if (!s.ok()) return s;
  }
  for (const IndexDef& ix : model.indexes) {
    if (ix.primary) continue;
    s = Exec(db, schema.CreateIndexSql(model, ix));
    if (!s.ok()) return s;
  }
  for (const std::string& trigger : model.user_triggers) {
    s = Exec(db, trigger);
    if (!s.ok()) return s;
  }
  if (!SameName(old_model.name, model.name)) {
    s = schema.DropBookkeeping(old_model.name);
    if (!s.ok()) return s;
  }
  return schema.SyncTable(model);
}

}  // namespace

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
    progress::Task shown{progress::Kind::kRebuild, model.name, progress::Unit::kRows, 0, true};
    if (MonitoredTask::Watched(db_)) {
      shown.total = QueryInt(db_, "SELECT count(*) FROM " + QuoteId(old_model.name)).value_or(0);
    }
    MonitoredTask task(db_, shown);
    st = InTransaction(db_, [&]() -> Status {
      Status s = EnsureBookkeeping();
      if (s.ok()) s = ReplaceTable(*this, db_, old_model, model, task);
      if (s.ok() && then) s = then();
      if (s.ok()) s = SettleViews({old_model.name, model.name});
      if (!s.ok()) return s;
      return CheckRelations(db_, model);
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

}  // namespace mlx::db::internal
