// Bookkeeping that follows the file: what other tools changed in its schema between two runs,
// found and forgotten so that the hidden tables describe the file as it is.
#include <algorithm>

#include "platform/db/catalog.h"

namespace mlx::db::internal {

namespace {

// Guard triggers are named "__mlx_<kind>_<table>"; SQLite keeps a trigger's name when another
// tool renames its table.
constexpr const char* kNamedForOtherTable =
    "substr(name, 1, 6) = '__mlx_' AND substr(name, -length(tbl_name) - 1) <> "
    "'_' || tbl_name COLLATE NOCASE";


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
        s = RewriteViewTexts(db_, from, to);
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

}  // namespace mlx::db::internal
