// The connection and the provider: opening database files (refusing what is not an SQLite
// database), exclusive work under SQLite's own locks, creation, and compaction in place.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/db/catalog.h"
#include "platform/db/progress_monitor.h"
#include "platform/db/recordset.h"
#include "platform/fs/regular.h"
#include "platform/fs/replace.h"
#include "platform/text/text.h"

namespace mlx::db {

namespace internal {
namespace {

// How long exclusive work waits for other connections' transactions to end before it gives up:
// long enough to pass over another program's short read, short enough not to hang a run.
constexpr int kExclusiveWaitMs = 1000;

// How long a snapshot waits for other programs' writing to end before it gives up, and the
// pages it copies between two reports of its progress.
constexpr int kSnapshotWaitMs = 30000;
constexpr int kSnapshotStepPages = 1024;

Status InUse(const std::string& path, const std::string& what) {
  return ErrDb("The database '" + path + "' is in use by another connection or process: " + what);
}

std::string Folder(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string Trim(std::string s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.erase(0, 1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

// A bare path, or "Provider=...;Data Source=path;..." with the provider ignored.
std::string PathFromConnectionString(const std::string& cs) {
  if (cs.find('=') == std::string::npos) return Trim(cs);
  std::size_t start = 0;
  while (start <= cs.size()) {
    std::size_t end = cs.find(';', start);
    if (end == std::string::npos) end = cs.size();
    std::string part = cs.substr(start, end - start);
    std::size_t eq = part.find('=');
    if (eq != std::string::npos) {
      std::string key = Upper(Trim(part.substr(0, eq)));
      std::string value = Trim(part.substr(eq + 1));
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      if (key == "DATA SOURCE" || key == "DBQ") return value;
    }
    start = end + 1;
  }
  return Trim(cs);
}

// Checks that a file exists and is not an Access database; the SQLite probe comes after.
// *read_only tells whether the file has no write permission for anyone: such a file is opened
// for reading only, also by a user (root) whom the system would let write it.
Status CheckFile(const std::string& path, bool* read_only) {
  *read_only = false;
  if (path.empty()) return Status::Error(err::kFileNotFound, "No database file was named.");
  fs::EntryFacts st;
  int stat_error = 0;
  if (!fs::ExamineEntry(path, &st, &stat_error)) {
    return Status::Error(err::kFileNotFound, "Could not find file '" + path + "'.");
  }
  if (st.is_folder) {
    return Status::Error(err::kFileNotFound, "'" + path + "' is a folder, not a database file.");
  }
  // SQLite would take an empty file for a new database and write one into it: an empty file
  // is a database lost or not yet copied, never one to fill.
  if (st.is_regular && st.size == 0) {
    return ErrDb("'" + path + "' is an empty file, not a database.");
  }
  *read_only = st.read_only;
  int error = 0;
  int fd = fs::OpenRegularFile(path, O_RDONLY, &error);
  if (fd < 0 && error == fs::kNotRegularFile) {
    return Status::Error(err::kPathFileAccess,
                         "'" + path + "' is " + fs::RegularFileErrorText(error) + ".");
  }
  if (fd < 0) {
    return Status::Error(err::kPermissionDenied,
                         "Cannot open '" + path + "': " + fs::RegularFileErrorText(error) + ".");
  }
  char header[19] = {};
  ssize_t n = ::read(fd, header, sizeof header);
  ::close(fd);
  if (n >= 19) {
    std::string sig(header + 4, 15);
    if (sig == "Standard Jet DB" || sig == "Standard ACE DB") {
      return ErrDb("'" + path + "' is an Access database file (" + sig.substr(9, 3) +
                   " format), which this build cannot open: convert it to an SQLite database "
                   "first.");
    }
  }
  return Status::OK();
}

// Opens an existing database file with SQLite and reads its schema, so that a file that is not
// a database fails here and not at its first use; wait_ms is how long the read waits for a
// connection that holds the file exclusively.
Status OpenSqlite(const std::string& path, bool read_only, int wait_ms, sqlite3** db) {
  *db = nullptr;
  // A connection is used by one thread at a time: SQLite's own locking of each call is not needed.
  const int flags = (read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
  int rc = sqlite3_open_v2(path.c_str(), db, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = *db ? sqlite3_errmsg(*db) : sqlite3_errstr(rc);
    sqlite3_close_v2(*db);
    *db = nullptr;
    return ErrDb("Cannot open the database '" + path + "': " + msg + ".");
  }
  sqlite3_busy_timeout(*db, wait_ms);
  rc = sqlite3_exec(*db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = sqlite3_errmsg(*db);
    sqlite3_close_v2(*db);
    *db = nullptr;
    if (rc == SQLITE_NOTADB) {
      return ErrDb("'" + path + "' is not a database file (" + msg + ").");
    }
    if (rc == SQLITE_BUSY) {
      return InUse(path, "it is locked for exclusive use (" + msg + ").");
    }
    return ErrDb("Cannot read the database '" + path + "': " + msg + ".");
  }
  sqlite3_busy_timeout(*db, kBusyTimeoutMs);
  return Status::OK();
}

// Takes SQLite's exclusive lock on the file for this connection and keeps it until the
// connection closes: no other connection, in this process or another, can read or write the
// file meanwhile, and the lock is taken only while no other connection holds one. When another
// connection holds a lock, the connection is left as it was, without any lock of its own.
Status TakeExclusive(sqlite3* db, const std::string& path) {
  if (sqlite3_db_readonly(db, "main") == 1) {
    return ErrDb("The database '" + path + "' is read-only: it cannot be taken for exclusive use.");
  }
  sqlite3_busy_timeout(db, kExclusiveWaitMs);
  Status st = Exec(db, "PRAGMA locking_mode = EXCLUSIVE");
  if (st.ok()) st = Exec(db, "BEGIN EXCLUSIVE");
  if (st.ok()) st = Exec(db, "COMMIT");
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  if (st.ok()) return Status::OK();
  if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  // Back to normal locking; the next read lets go of whatever lock the attempt left behind.
  sqlite3_exec(db, "PRAGMA locking_mode = NORMAL; SELECT count(*) FROM sqlite_schema", nullptr,
               nullptr, nullptr);
  return InUse(path, "it cannot be taken for exclusive use while another connection has it "
                     "locked (" + st.description() + ").");
}

bool IsSimpleSingleTableSelect(const std::vector<Token>& t, std::string* table) {
  if (t.empty() || !t[0].IsWord("SELECT")) return false;
  int depth = 0;
  std::size_t from = 0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i].IsOp("(")) ++depth;
    if (t[i].IsOp(")")) --depth;
    if (depth != 0) continue;
    for (const char* w : {"DISTINCT", "GROUP", "UNION", "JOIN", "HAVING", "INTO", "ALL"}) {
      if (t[i].IsWord(w)) return false;
    }
    if (t[i].IsWord("FROM")) {
      if (from) return false;
      from = i;
    }
  }
  if (!from || from + 1 >= t.size() || !t[from + 1].IsName()) return false;
  std::size_t after = from + 2;
  if (after < t.size() && !t[after].IsWord("WHERE") && !t[after].IsWord("ORDER") &&
      !t[after].IsOp(";")) {
    return false;
  }
  *table = t[from + 1].text;
  return true;
}

class SqliteConnection final : public Connection {
 public:
  SqliteConnection(clock::Clock* clock, progress::Sink* sink) : clock_(clock), sink_(sink) {}
  ~SqliteConnection() override { Close(); }

  Status Open(const std::string& connection_string, const std::string&,
              const std::string&) override {
    Close();
    std::string path = PathFromConnectionString(connection_string);
    bool read_only = false;
    Status st = CheckFile(path, &read_only);
    if (!st.ok()) return st;
    sqlite3* db = nullptr;
    st = OpenSqlite(path, read_only, kBusyTimeoutMs, &db);
    if (!st.ok()) return st;
    sqlite3_extended_result_codes(db, 0);
    st = Exec(db, "PRAGMA foreign_keys = ON");
    if (!st.ok()) {
      sqlite3_close_v2(db);
      return ErrDb("Cannot open the database '" + path + "': " + st.description());
    }
    RegisterFunctions(db, clock_);
    // Other tools may have changed the file since the layer last wrote it; the open never fails
    // because of that. The hidden tables first (they follow renames), then the date triggers.
    (void)Catalog(db).Reconcile();
    ReconcileDateTriggers(db);
    if (sink_ != nullptr) monitor_ = std::make_unique<ProgressMonitor>(db, sink_);
    core_.db = db;
    path_ = path;
    return Status::OK();
  }

  void Close() override {
    std::vector<SqliteRecordset*> open(core_.recordsets.begin(), core_.recordsets.end());
    for (SqliteRecordset* rs : open) rs->Detach();
    core_.recordsets.clear();
    std::vector<SqliteStatement*> prepared(core_.statements.begin(), core_.statements.end());
    for (SqliteStatement* s : prepared) s->Detach();
    core_.statements.clear();
    monitor_.reset();
    if (core_.db) sqlite3_close_v2(core_.db);
    core_.db = nullptr;
    path_.clear();
  }

  int State() override { return core_.db ? 1 : 0; }
  std::string DataSource() override { return path_; }

  Status Execute(const std::string& sql) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).Execute(sql);
  }

  Status OpenRecordset(const std::string& source, CursorType, LockType lock,
                       std::unique_ptr<Recordset>* result) override {
    result->reset();
    if (!core_.db) return Closed();
    Catalog cat(core_.db);
    std::vector<Token> toks;
    Status st = Tokenize(source, &toks);
    if (!st.ok()) return st;
    while (!toks.empty() && toks.back().IsOp(";")) toks.pop_back();
    if (toks.empty()) return ErrInvalid("(empty source)");
    std::string sql, table, plain_sql;
    if (toks.size() == 1 && toks[0].IsName()) {
      const std::string& name = toks[0].text;
      if (auto t = cat.schema().FindTable(name)) {
        table = *t;
        plain_sql = "SELECT * FROM " + QuoteId(*t);
        sql = "SELECT rowid AS __mlx_rowid, * FROM " + QuoteId(*t);
      } else if (auto v = cat.schema().FindView(name)) {
        plain_sql = "SELECT * FROM " + QuoteId(*v);
      } else {
        return ErrDb("The database engine cannot find the input table or query '" + name + "'.");
      }
    } else {
      st = TranslateTokens(toks, false, &plain_sql);
      if (!st.ok()) return st;
      std::string named;
      if (IsSimpleSingleTableSelect(toks, &named)) {
        if (auto t = cat.schema().FindTable(named)) {
          table = *t;
          sql = plain_sql.substr(0, 6) + " " + QuoteId(*t) + ".rowid AS __mlx_rowid," +
                plain_sql.substr(6);
        }
      }
    }
    auto rs = std::make_unique<SqliteRecordset>(&core_, lock);
    if (!sql.empty() && rs->Open(sql, table, true).ok()) {
      *result = std::move(rs);
      return Status::OK();
    }
    st = rs->Open(plain_sql, table, false);
    if (!st.ok()) return st;
    *result = std::move(rs);
    return Status::OK();
  }

  Status Prepare(const std::string& sql, std::unique_ptr<Statement>* statement) override {
    statement->reset();
    if (!core_.db) return Closed();
    std::vector<Token> toks;
    Status st = Tokenize(sql, &toks);
    if (!st.ok()) return st;
    while (!toks.empty() && toks.back().IsOp(";")) toks.pop_back();
    if (toks.empty() || !(toks[0].IsWord("INSERT") || toks[0].IsWord("UPDATE") ||
                          toks[0].IsWord("DELETE") || toks[0].IsWord("SELECT"))) {
      return ErrDb("Only INSERT, UPDATE, DELETE and SELECT statements can be prepared.");
    }
    std::string translated;
    st = TranslateTokens(toks, false, &translated);
    if (!st.ok()) return st;
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(core_.db, translated.c_str(), static_cast<int>(translated.size()),
                                &stmt, nullptr);
    if (rc != SQLITE_OK) {
      st = SqliteStatus(core_.db, rc);
      sqlite3_finalize(stmt);
      return st;
    }
    if (!stmt) return ErrInvalid("(empty statement)");
    *statement = std::make_unique<SqliteStatement>(&core_, stmt);
    return Status::OK();
  }

  Status Tables(std::vector<TableInfo>* tables) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).Tables(tables);
  }
  Status Columns(const std::string& table, std::vector<ColumnInfo>* columns) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).Columns(table, columns);
  }
  Status SetSeed(const std::string& table, const std::string& column,
                 std::int64_t seed) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).SetSeed(table, column, seed);
  }
  Status SetAllowZeroLength(const std::string& table, const std::string& column,
                            bool allow) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).SetAllowZeroLength(table, column, allow);
  }
  Status SetDefault(const std::string& table, const std::string& column,
                    const std::string& default_text) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).SetDefault(table, column, default_text);
  }
  Status RenameColumn(const std::string& table, const std::string& old_name,
                      const std::string& new_name) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).RenameColumn(table, old_name, new_name);
  }
  Status RenameTable(const std::string& old_name, const std::string& new_name) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).RenameTable(old_name, new_name);
  }
  Status Indexes(const std::string& table, std::vector<IndexInfo>* indexes) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).Indexes(table, indexes);
  }
  Status AppendIndex(const std::string& table, const IndexInfo& index) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).AppendIndex(table, index);
  }
  Status DeleteIndex(const std::string& table, const std::string& name) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).DeleteIndex(table, name);
  }
  Status Keys(const std::string& table, std::vector<KeyInfo>* keys) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).Keys(table, keys);
  }
  Status AppendKey(const std::string& table, const KeyInfo& key) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).AppendKey(table, key);
  }
  Status DeleteKey(const std::string& table, const std::string& name) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).DeleteKey(table, name);
  }
  Status ReplaceKey(const std::string& table, const KeyInfo& key) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).ReplaceKey(table, key);
  }
  Status ViewCommand(const std::string& name, std::string* sql) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).ViewCommand(name, sql);
  }
  Status AppendView(const std::string& name, const std::string& sql) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).AppendView(name, sql);
  }
  Status SetViewCommand(const std::string& name, const std::string& sql) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).SetViewCommand(name, sql);
  }
  Status DeleteView(const std::string& name) override {
    if (!core_.db) return Closed();
    return Catalog(core_.db).DeleteView(name);
  }

  Status AcquireExclusive() override {
    if (!core_.db) return Closed();
    return TakeExclusive(core_.db, path_);
  }

 private:
  static Status Closed() { return ErrDb("Operation is not allowed when the object is closed."); }

  clock::Clock* clock_;
  progress::Sink* sink_;
  std::unique_ptr<ProgressMonitor> monitor_;
  ConnectionCore core_;
  std::string path_;
};

// A busy handler that waits a little at a time until a deadline, and remembers that it waited.
struct BusyWait {
  std::chrono::steady_clock::time_point deadline;
  bool waited = false;
  static int Handler(void* self, int) {
    auto* w = static_cast<BusyWait*>(self);
    if (std::chrono::steady_clock::now() >= w->deadline) return 0;
    w->waited = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 1;
  }
};

class SqliteProvider final : public Provider {
 public:
  explicit SqliteProvider(clock::Clock* clock)
      : own_clock_(clock ? nullptr : clock::MakeSystemClock()),
        clock_(clock ? clock : own_clock_.get()) {}

  std::unique_ptr<Connection> NewConnection() override {
    return std::make_unique<SqliteConnection>(clock_, sink_);
  }

  void SetProgressSink(progress::Sink* sink) override { sink_ = sink; }

  Status CreateDatabase(const std::string& path) override {
    if (path.empty()) return Status::Error(err::kPathNotFound, "No database file was named.");
    fs::EntryFacts facts;
    int error = 0;
    if (fs::ExamineEntry(path, &facts, &error)) return ErrExists("Database '" + path + "'");
    std::string folder = Folder(path);
    if (!fs::ExamineEntry(folder, &facts, &error) || !facts.is_folder) {
      return Status::Error(err::kPathNotFound, "Path not found: '" + folder + "'.");
    }
    // The new file is written beside and renamed into place complete, so that no half-made
    // database ever bears the name, and an existing file is never replaced.
    std::string temp = path + ".mlx-new-" + std::to_string(fs::ProcessNumber());
    fs::RemoveFile(temp);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    Status result;
    if (rc != SQLITE_OK) {
      result = ErrDb("Cannot create the database '" + path + "': " +
                     (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)) + ".");
    } else {
      Schema schema(db);
      result = InTransaction(db, [&]() { return schema.EnsureBookkeeping(); });
    }
    sqlite3_close_v2(db);
    if (result.ok() && !fs::FlushFile(temp)) {
      result = ErrDb("Cannot write the database '" + path + "': " + std::strerror(errno) + ".");
    }
    if (result.ok() && !fs::RenameNoReplace(temp, path)) {
      result = errno == EEXIST || fs::ExamineEntry(path, &facts, &error)
                   ? ErrExists("Database '" + path + "'")
                   : ErrDb("Cannot create the database '" + path + "': " + std::strerror(errno) +
                           ".");
    }
    fs::RemoveFile(temp);
    fs::RemoveFile(temp + "-journal");
    if (result.ok()) fs::FlushFolderOf(path);
    return result;
  }

  Status Compact(const std::string& path) override {
    bool read_only = false;
    Status st = CheckFile(path, &read_only);
    if (!st.ok()) return st;
    if (read_only) return ErrDb("The database '" + path + "' is read-only: it cannot be compacted.");
    sqlite3* db = nullptr;
    st = OpenSqlite(path, false, kExclusiveWaitMs, &db);  // a crash's journal is rolled back here
    if (!st.ok()) return st;
    // The file is rewritten in place through SQLite's journal and under its exclusive lock: the
    // file keeps its inode, permissions and owner; a crash leaves the old or the new content;
    // other connections wait or see the compacted file, and none writes into a replaced one.
    st = TakeExclusive(db, path);
    if (st.ok()) {
      // How far VACUUM is cannot be told while it runs: the size it works on is shown, and an
      // interruption undoes it.
      ProgressMonitor monitor(db, sink_);
      progress::Task task{progress::Kind::kCompact, path, progress::Unit::kPages, 0, false};
      if (sink_ != nullptr) task.total = QueryInt(db, "PRAGMA page_count").value_or(0);
      MonitoredTask shown(db, task);
      st = Exec(db, "VACUUM");
      if (!st.ok() && st.number() != err::kInterrupted) {
        st = ErrDb("Compaction of '" + path + "' failed: " + st.description());
      }
    }
    sqlite3_close_v2(db);
    return st;
  }

  Status Snapshot(const std::string& source, const std::string& target, SnapshotInfo* info,
                  const std::function<void(long, long)>& progress) override {
    const auto start = std::chrono::steady_clock::now();
    *info = SnapshotInfo{};
    bool read_only = false;  // the source is opened for reading in any case
    Status st = CheckFile(source, &read_only);
    if (!st.ok()) return st;
    fs::EntryFacts ts;
    int error = 0;
    if (fs::ExamineEntry(target, &ts, &error)) return ErrExists("File '" + target + "'");
    sqlite3* from = nullptr;
    int rc = sqlite3_open_v2(source.c_str(), &from, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
      std::string msg = from ? sqlite3_errmsg(from) : sqlite3_errstr(rc);
      sqlite3_close_v2(from);
      return ErrDb("Cannot open the database '" + source + "': " + msg + ".");
    }
    // A read transaction holds one state of the file for the whole copy. While another program
    // commits, the read waits (and the snapshot says so), up to a limit.
    BusyWait wait{std::chrono::steady_clock::now() + std::chrono::milliseconds(kSnapshotWaitMs)};
    sqlite3_busy_handler(from, &BusyWait::Handler, &wait);
    st = Exec(from, "BEGIN");
    if (st.ok()) st = Exec(from, "SELECT count(*) FROM sqlite_schema");
    info->waited = wait.waited;
    if (!st.ok()) {
      const int code = sqlite3_errcode(from);
      sqlite3_close_v2(from);
      if (code == SQLITE_NOTADB) return ErrDb("'" + source + "' is not a database file.");
      if (code == SQLITE_BUSY || code == SQLITE_LOCKED) {
        return InUse(source, "another program kept writing for too long to take a copy.");
      }
      return ErrDb("Cannot read the database '" + source + "': " + st.description());
    }
    sqlite3* to = nullptr;
    rc = sqlite3_open_v2(target.c_str(), &to,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc == SQLITE_OK) {
      sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
      if (backup == nullptr) {
        rc = sqlite3_errcode(to);
      } else {
        do {
          rc = sqlite3_backup_step(backup, kSnapshotStepPages);
          if (progress) {
            const long total = sqlite3_backup_pagecount(backup);
            progress(total - sqlite3_backup_remaining(backup), total);
          }
        } while (rc == SQLITE_OK);
        rc = sqlite3_backup_finish(backup);
      }
    }
    if (rc != SQLITE_OK) {
      st = ErrDb("Cannot copy the database '" + source + "' to '" + target + "': " +
                 (to ? sqlite3_errmsg(to) : sqlite3_errstr(rc)) + ".");
    }
    sqlite3_close_v2(to);
    (void)Exec(from, "COMMIT");
    sqlite3_close_v2(from);
    if (!st.ok()) {
      fs::RemoveFile(target);
      fs::RemoveFile(target + "-journal");
      return st;
    }
    if (fs::ExamineEntry(target, &ts, &error)) info->bytes = static_cast<std::int64_t>(ts.size);
    info->seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return Status::OK();
  }

 private:
  std::unique_ptr<clock::Clock> own_clock_;
  clock::Clock* clock_;
  progress::Sink* sink_ = nullptr;
};

}  // namespace
}  // namespace internal

std::unique_ptr<Provider> MakeSqliteProvider(clock::Clock* clock) {
  // SQLite's count of the memory it uses takes a global lock on every allocation, and nothing
  // reads it. The setting only takes before SQLite's first use in the process (later it is
  // refused and things stay as they are).
  static const bool kNoMemoryCount = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
  (void)kNoMemoryCount;
  return std::make_unique<internal::SqliteProvider>(clock);
}

std::string DataSourcePath(const std::string& connection_string) {
  return internal::PathFromConnectionString(connection_string);
}

std::string CompactionWorkFile(const std::string& path) {
  std::size_t sep = path.find_last_of("\\/");
  std::string folder = sep == std::string::npos ? "" : path.substr(0, sep + 1);
  std::string name = text::ToUpper(sep == std::string::npos ? path : path.substr(sep + 1));
  for (std::size_t at; (at = name.find(".MDB")) != std::string::npos;) name.erase(at, 4);
  return folder + name + "_BK.MDB";
}

}  // namespace mlx::db
