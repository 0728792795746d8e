// Saved queries that outlive the tables they name: a query whose view no longer compiles is kept
// as text (dormant) and gets its view back when what it names is there again.
#include "platform/db/table_model.h"

namespace mlx::db::internal {

namespace {

// A view compiles when a query over it can be prepared (CREATE VIEW itself checks only syntax).
Status CheckView(sqlite3* db, const std::string& name) {
  Stmt s;
  return s.Prepare(db, "SELECT * FROM " + QuoteId(name));
}

}  // namespace

Status ViewBody(const std::string& jet_sql, std::string* body) {
  std::vector<Token> toks;
  Status st = Tokenize(jet_sql, &toks);
  if (!st.ok()) return st;
  while (!toks.empty() && toks.back().IsOp(";")) toks.pop_back();
  std::size_t k = 0;
  while (k < toks.size() && toks[k].IsOp("(")) ++k;
  if (k >= toks.size() || !(toks[k].IsWord("SELECT") || toks[k].IsWord("WITH"))) {
    return ErrInvalid("(a saved query must be a SELECT statement)");
  }
  return TranslateTokens(toks, false, body);
}

std::string ViewSelect(const std::string& create_view) {
  std::vector<Token> toks;
  if (!Tokenize(create_view, &toks).ok()) return create_view;
  for (const Token& t : toks) {
    if (t.IsWord("AS")) {
      std::string out = create_view.substr(t.end);
      while (!out.empty() && out.front() == ' ') out.erase(0, 1);
      return out;
    }
  }
  return create_view;
}

namespace {

// The query of a dormant view, to be compiled: the translated text of a query of the layer,
// the query of another tool's definition.
std::string DormantSelect(const std::string& jet_sql, const std::string& dormant_sql) {
  std::string select;
  if (jet_sql.empty() || !ViewBody(jet_sql, &select).ok()) select = ViewSelect(dormant_sql);
  return select;
}

}  // namespace

std::optional<std::string> Schema::FindDormantView(std::string_view name) const {
  Stmt s;
  if (!KeepsDormantViews() ||
      !s.Prepare(db_, "SELECT name FROM __mlx_views WHERE name = ?1 AND dormant_sql IS NOT NULL")
           .ok()) {
    return std::nullopt;
  }
  s.BindText(1, name);
  if (s.Step() == SQLITE_ROW) return s.Text(0);
  return std::nullopt;
}

bool Schema::IsDormantView(std::string_view name) const {
  return FindDormantView(name).has_value();
}

// The live views whose text names an object (every view for an empty name). A text that does
// not contain the name cannot depend on the object, so the others need no look.
Status Schema::ViewsNaming(std::string_view name, std::vector<std::string>* views) const {
  views->clear();
  Stmt s;
  Status st = s.Prepare(db_, "SELECT name FROM sqlite_schema WHERE type = 'view' AND "
                             "instr(lower(sql), lower(?1)) > 0");
  if (!st.ok()) return st;
  s.BindText(1, name);
  while (s.Step() == SQLITE_ROW) {
    if (!IsHiddenName(s.Text(0))) views->push_back(s.Text(0));
  }
  return Status::OK();
}

Status Schema::ParkView(const std::string& name) {
  Status st = EnsureBookkeeping();
  if (!st.ok()) return st;
  Stmt s;
  st = s.Prepare(db_, "INSERT INTO __mlx_views (name, jet_sql, dormant_sql) SELECT name, '', sql "
                      "FROM sqlite_schema WHERE type = 'view' AND name = ?1 ON CONFLICT (name) "
                      "DO UPDATE SET dormant_sql = excluded.dormant_sql");
  if (!st.ok()) return st;
  s.BindText(1, name);
  st = s.Run();
  if (!st.ok()) return st;
  return Exec(db_, "DROP VIEW " + QuoteId(name));
}

Status Schema::ReviveView(const std::string& name, const std::string& jet_sql,
                          const std::string& dormant_sql, bool* revived) {
  *revived = false;
  const std::string select = DormantSelect(jet_sql, dormant_sql);
  Stmt probe;
  if (!probe.Prepare(db_, select).ok()) return Status::OK();  // not yet
  probe.Finalize();
  // A query of the layer is made again from its text, which follows renames; another tool's
  // view as SQLite had it.
  const std::string create =
      jet_sql.empty() ? dormant_sql : "CREATE VIEW " + QuoteId(name) + " AS " + select;
  Status st = Exec(db_, "SAVEPOINT __mlx_view");
  if (!st.ok()) return st;
  if (!Exec(db_, create).ok() || !CheckView(db_, name).ok()) {
    return Exec(db_, "ROLLBACK TO __mlx_view; RELEASE __mlx_view");
  }
  st = Exec(db_, "RELEASE __mlx_view");
  if (!st.ok()) return st;
  Stmt s;
  // Another tool's view is again one the layer keeps nothing for.
  st = s.Prepare(db_, jet_sql.empty()
                          ? "DELETE FROM __mlx_views WHERE name = ?1"
                          : "UPDATE __mlx_views SET dormant_sql = NULL WHERE name = ?1");
  if (!st.ok()) return st;
  s.BindText(1, name);
  *revived = true;
  return s.Run();
}

Status Schema::ParkBrokenViews(std::vector<std::string> touched) {
  std::vector<std::string> views;
  if (touched.empty()) {
    Status st = ViewsNaming("", &views);
    if (!st.ok()) return st;
  }
  for (std::size_t next = 0;; ++next) {
    for (const std::string& view : views) {
      if (CheckView(db_, view).ok()) continue;
      Status st = ParkView(view);
      if (!st.ok()) return st;
      touched.push_back(view);
    }
    if (next == touched.size()) return Status::OK();
    Status st = ViewsNaming(touched[next], &views);
    if (!st.ok()) return st;
  }
}

Status Schema::DormantViews(
    std::vector<std::tuple<std::string, std::string, std::string>>* views) const {
  views->clear();
  if (!KeepsDormantViews()) return Status::OK();
  Stmt s;
  Status st = s.Prepare(db_, "SELECT name, jet_sql, dormant_sql FROM __mlx_views WHERE "
                             "dormant_sql IS NOT NULL");
  if (!st.ok()) return st;
  while (s.Step() == SQLITE_ROW) views->emplace_back(s.Text(0), s.Text(1), s.Text(2));
  return Status::OK();
}

Status Schema::ReviveViews() {
  // One revival can make the text of another query compile (a query over a query).
  for (bool again = true; again;) {
    again = false;
    std::vector<std::tuple<std::string, std::string, std::string>> dormant;
    Status listed = DormantViews(&dormant);
    if (!listed.ok()) return listed;
    for (const auto& [name, jet_sql, dormant_sql] : dormant) {
      bool revived = false;
      Status st = ReviveView(name, jet_sql, dormant_sql, &revived);
      if (!st.ok()) return st;
      again = again || revived;
    }
  }
  return Status::OK();
}

Status Schema::SettleViews(std::vector<std::string> touched) {
  Status st = ParkBrokenViews(std::move(touched));
  if (!st.ok()) return st;
  return ReviveViews();
}

std::optional<std::string> DormantQueryFailure(sqlite3* db, std::string_view message) {
  // Raw calls: a failure here must not be described again through this very function.
  constexpr std::string_view kNoTable = "no such table: ";
  std::string prefix, reason(message);
  for (int depth = 0; depth < 8 && reason.starts_with(kNoTable); ++depth) {
    std::string name = reason.substr(kNoTable.size());
    if (name.starts_with("main.")) name.erase(0, 5);
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name, jet_sql, dormant_sql FROM __mlx_views WHERE "
                               "name = ?1 AND dormant_sql IS NOT NULL", -1, &s, nullptr) !=
        SQLITE_OK) {
      break;
    }
    sqlite3_bind_text(s, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    std::string query, select;
    if (sqlite3_step(s) == SQLITE_ROW) {
      query = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
      select = DormantSelect(reinterpret_cast<const char*>(sqlite3_column_text(s, 1)),
                             reinterpret_cast<const char*>(sqlite3_column_text(s, 2)));
    }
    sqlite3_finalize(s);
    if (query.empty()) break;
    prefix += "The query '" + query + "' cannot be run: ";
    s = nullptr;
    int rc = sqlite3_prepare_v2(db, select.c_str(), static_cast<int>(select.size()), &s, nullptr);
    reason = rc == SQLITE_OK ? "it is kept as text only." : sqlite3_errmsg(db);
    sqlite3_finalize(s);
  }
  if (prefix.empty()) return std::nullopt;
  return prefix + reason;
}

}  // namespace mlx::db::internal
