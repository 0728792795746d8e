// Dates written by other programs. A date column holds day numbers; the sqlite3 shell or the host
// application may write ISO-8601 text into it instead, which SQLite would compare and sort as
// text, after every number. Each table with date columns gets two triggers that turn such text
// into the day number as soon as it is written. They use SQLite's built-in functions only, so
// they run in every program that writes the file. On opening, tables that lack them (made by
// other tools, or before the triggers existed) get them, and the texts already stored there are
// converted once.
#include <algorithm>
#include <map>

#include "platform/db/table_model.h"

namespace mlx::db::internal {

namespace {

constexpr std::string_view kInsertTriggerPrefix = "__mlx_di_";
constexpr std::string_view kUpdateTriggerPrefix = "__mlx_du_";

// What the date triggers of a table are written from: its date columns, and the columns that
// find the written row again (empty: the rowid).
struct DateTable {
  std::string name;
  std::vector<std::string> columns;
  std::vector<std::string> key;
};

bool IsDateDecl(std::string_view decl) {
  return TypeFromDecl(decl).ado == kAdDate;
}

// The names and CREATE TRIGGER texts of a table's date triggers (none without date columns).
// One statement converts every date column of the written row (a column that holds no ISO text
// is written back as it is). A text that is no date stays, and an update that writes the same
// text again does not start the update trigger once more, so the triggers always end, also with
// recursive triggers on.
std::vector<std::pair<std::string, std::string>> DateTriggers(const DateTable& t) {
  if (t.columns.empty()) return {};
  std::string row = "rowid = NEW.rowid";
  if (!t.key.empty()) {
    row.clear();
    for (const std::string& k : t.key) {
      row += (row.empty() ? "" : " AND ") + QuoteId(k) + " = NEW." + QuoteId(k);
    }
  }
  std::string inserted, updated, list, set;
  for (const std::string& column : t.columns) {
    const std::string c = QuoteId(column), text = "typeof(NEW." + c + ") = 'text'";
    inserted += (inserted.empty() ? "" : " OR ") + text;
    updated +=
        (updated.empty() ? "(" : " OR (") + text + " AND NEW." + c + " IS NOT OLD." + c + ")";
    list += (list.empty() ? "" : ", ") + c;
    set +=
        (set.empty() ? "" : ", ") + c + " = coalesce(" + IsoDateDays("NEW." + c) + ", " + c + ")";
  }
  const std::string body =
      " BEGIN UPDATE " + QuoteId(t.name) + " SET " + set + " WHERE " + row + "; END";
  const std::string insert = std::string(kInsertTriggerPrefix) + t.name;
  const std::string update = std::string(kUpdateTriggerPrefix) + t.name;
  return {{insert, "CREATE TRIGGER " + QuoteId(insert) + " AFTER INSERT ON " + QuoteId(t.name) +
                       " WHEN " + inserted + body},
          {update, "CREATE TRIGGER " + QuoteId(update) + " AFTER UPDATE OF " + list + " ON " +
                       QuoteId(t.name) + " WHEN " + updated + body}};
}

Status CreateTriggers(sqlite3* db, const DateTable& t) {
  for (const auto& [name, sql] : DateTriggers(t)) {
    Status st = Exec(db, sql);
    if (!st.ok()) return st;
  }
  return Status::OK();
}

// Converts the texts already stored in a column. A text whose date a unique column already holds
// stays text. A row that another rule of the table refuses to change (a guard trigger of
// a rule set after the row was written) keeps its text too, which still reads as a date: the
// other rows are then converted one by one.
void ConvertStored(sqlite3* db, const DateTable& t, const std::string& column) {
  const std::string c = QuoteId(column), days = IsoDateDays(c);
  const std::string where = "typeof(" + c + ") = 'text' AND " + days + " IS NOT NULL";
  const std::string update =
      "UPDATE OR IGNORE " + QuoteId(t.name) + " SET " + c + " = " + days + " WHERE " + where;
  if (Exec(db, update).ok() || !t.key.empty()) return;
  std::vector<std::int64_t> rows;
  Stmt s;
  if (!s.Prepare(db, "SELECT rowid FROM " + QuoteId(t.name) + " WHERE " + where).ok()) return;
  while (s.Step() == SQLITE_ROW) rows.push_back(s.Int(0));
  if (!s.Prepare(db, update + " AND rowid = ?1").ok()) return;
  for (std::int64_t rowid : rows) {
    s.Reset();
    s.BindInt(1, rowid);
    (void)s.Run();
  }
}

}  // namespace

std::string IsoDateDays(const std::string& x) {
  // n: the date and time, with a blank between them; f: the fraction of a second; c: n as SQLite
  // writes the date it reads from n, which is n itself only for a valid date in one of the
  // forms; s: the seconds since 1970, rounded to whole seconds (from .5 up), moved up by a
  // million days so that the divisions below act on positive numbers. The day number and the
  // seconds of the day are whole numbers, so the result is the same double the layer computes;
  // before 30/12/1899 the time is subtracted from the (negative) day number, as the layer
  // stores it. Years from 100 (s from 27388540800) to 9999.
  return "(SELECT CASE WHEN c = n AND length(n) IN (10, 16, 19) AND s BETWEEN 27388540800 AND "
         "339802300799 AND (f = '' OR (f GLOB '.[0-9]*' AND NOT substr(f, 2) GLOB "
         "'*[^0-9]*')) THEN s / 86400 - 974431 + ((s >= 84190838400) * 2 - 1) * (s % 86400) / "
         "86400.0 END FROM (SELECT n, f, strftime(substr('%Y-%m-%d %H:%M:%S', 1, length(n) - 2), "
         "n, '+0 days') AS c, strftime('%s', n, '+' || (f >= '.5') || ' seconds') + 86400000000 "
         "AS s FROM (SELECT replace(substr(" +
         x + ", 1, 19), 'T', ' ') AS n, substr(" + x + ", 20) AS f)))";
}

Status WriteDateTriggers(sqlite3* db, const TableModel& model) {
  DateTable t;
  t.name = model.name;
  for (const ColumnDef& c : model.columns) {
    if (!c.hidden && IsDateDecl(c.decl)) t.columns.push_back(c.name);
  }
  if (model.without_rowid) {
    for (const IndexDef& ix : model.indexes) {
      if (ix.primary) t.key = ix.columns;
    }
  }
  return CreateTriggers(db, t);
}

namespace {

// The tables with their date columns, and the date triggers present (name, text) by table, both
// by upper-case table name. False when the schema cannot be read now.
bool ReadDateSchema(
    sqlite3* db, std::map<std::string, DateTable>* tables,
    std::map<std::string, std::vector<std::pair<std::string, std::string>>>* present) {
  Stmt s;
  if (!s.Prepare(db,
                 "SELECT m.name, m.sql, p.name, p.type, p.pk FROM sqlite_schema AS m JOIN "
                 "pragma_table_info(m.name) AS p WHERE m.type = 'table' AND "
                 "substr(m.sql, 1, 14) <> 'CREATE VIRTUAL' ORDER BY m.name, p.cid")
           .ok()) {
    return false;
  }
  std::map<std::string, std::vector<std::pair<std::int64_t, std::string>>> keys;
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) {
    const std::string table = s.Text(0), upper = Upper(table);
    if (IsHiddenName(table)) continue;
    DateTable& t = (*tables)[upper];
    t.name = table;
    if (s.Int(4) > 0 && WithoutRowid(s.Text(1))) keys[upper].emplace_back(s.Int(4), s.Text(2));
    if (IsDateDecl(s.Text(3))) t.columns.push_back(s.Text(2));
  }
  if (rc != SQLITE_DONE) return false;
  for (auto& [upper, key] : keys) {
    std::sort(key.begin(), key.end());
    for (auto& [order, name] : key) (*tables)[upper].key.push_back(name);
  }
  if (!s.Prepare(db,
                 "SELECT tbl_name, name, sql FROM sqlite_schema WHERE type = 'trigger' AND "
                 "substr(name, 1, 9) IN ('__mlx_di_', '__mlx_du_')")
           .ok()) {
    return false;
  }
  while ((rc = s.Step()) == SQLITE_ROW) {
    (*present)[Upper(s.Text(0))].emplace_back(s.Text(1), s.Text(2));
  }
  return rc == SQLITE_DONE;
}

}  // namespace

void ReconcileDateTriggers(sqlite3* db) {
  if (sqlite3_db_readonly(db, "main") != 0) return;
  // Another program writing the file must not make the open wait: the work is skipped then,
  // and done by a later open.
  sqlite3_busy_timeout(db, 0);
  std::map<std::string, DateTable> tables;
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> present;
  std::vector<std::string> stale;  // tables whose date triggers are missing or out of date
  if (ReadDateSchema(db, &tables, &present)) {
    for (const auto& [upper, t] : tables) {
      auto want = DateTriggers(t);
      auto have = present[upper];
      std::sort(want.begin(), want.end());
      std::sort(have.begin(), have.end());
      if (want != have) stale.push_back(upper);
    }
  }
  if (!stale.empty()) {
    // Any failure (another program took the file meanwhile) leaves everything as it was.
    // A failure (another program took the file meanwhile) leaves it as it was; a later open
    // does the work.
    (void)InTransaction(db, [&]() -> Status {
      for (const std::string& upper : stale) {
        const DateTable& t = tables[upper];
        for (const auto& [name, sql] : present[upper]) {
          Status st = Exec(db, "DROP TRIGGER " + QuoteId(name));
          if (!st.ok()) return st;
        }
        for (const std::string& column : t.columns) ConvertStored(db, t, column);
        Status st = CreateTriggers(db, t);
        if (!st.ok()) return st;
      }
      return Status::OK();
    });
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
}

}  // namespace mlx::db::internal
