// The connection and the provider: opening database files (refusing what is not an SQLite
// database), the lock file that tells connections and exclusive work apart, creation, and the
// atomic compaction.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/db/catalog.h"
#include "platform/db/recordset.h"
#include "platform/text/text.h"

namespace mlx::db {

namespace internal {
namespace {

// ---- The lock file beside the database: every connection holds a shared lock on it, exclusive
// work an exclusive one. The locks belong to the open file description, so a second connection
// of the same process counts as another user, and the system drops them when a process dies.

std::string LockPath(const std::string& db_path) { return db_path + ".lock"; }

int OpenLockFile(const std::string& db_path) {
  return ::open(LockPath(db_path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
}

bool SetLock(int fd, short type) {
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 1;
  return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

Status InUse(const std::string& path, const std::string& what) {
  return ErrDb("The database '" + path + "' is in use by another connection or process: " + what);
}

std::string Folder(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool SyncPath(const std::string& path, bool directory) {
  int fd = ::open(path.c_str(), (directory ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
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
Status CheckFile(const std::string& path) {
  if (path.empty()) return Status::Error(err::kFileNotFound, "No database file was named.");
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    return Status::Error(err::kFileNotFound, "Could not find file '" + path + "'.");
  }
  if (S_ISDIR(st.st_mode)) {
    return Status::Error(err::kFileNotFound, "'" + path + "' is a folder, not a database file.");
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return Status::Error(err::kPermissionDenied,
                         "Cannot open '" + path + "': " + std::strerror(errno) + ".");
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
// a database fails here and not at its first use.
Status OpenSqlite(const std::string& path, sqlite3** db) {
  *db = nullptr;
  // A connection is used by one thread at a time: SQLite's own locking of each call is not needed.
  int rc = sqlite3_open_v2(path.c_str(), db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = *db ? sqlite3_errmsg(*db) : sqlite3_errstr(rc);
    sqlite3_close_v2(*db);
    *db = nullptr;
    return ErrDb("Cannot open the database '" + path + "': " + msg + ".");
  }
  sqlite3_busy_timeout(*db, kBusyTimeoutMs);
  rc = sqlite3_exec(*db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = sqlite3_errmsg(*db);
    sqlite3_close_v2(*db);
    *db = nullptr;
    if (rc == SQLITE_NOTADB) {
      return ErrDb("'" + path + "' is not a database file (" + msg + ").");
    }
    return ErrDb("Cannot read the database '" + path + "': " + msg + ".");
  }
  return Status::OK();
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
  ~SqliteConnection() override { Close(); }

  Status Open(const std::string& connection_string, const std::string&,
              const std::string&) override {
    Close();
    std::string path = PathFromConnectionString(connection_string);
    Status st = CheckFile(path);
    if (!st.ok()) return st;
    int fd = OpenLockFile(path);
    if (fd >= 0 && !SetLock(fd, F_RDLCK)) {
      ::close(fd);
      return InUse(path, "it is open for exclusive use or being compacted.");
    }
    sqlite3* db = nullptr;
    st = OpenSqlite(path, &db);
    if (!st.ok()) {
      if (fd >= 0) ::close(fd);
      return st;
    }
    sqlite3_extended_result_codes(db, 0);
    Exec(db, "PRAGMA foreign_keys = ON");
    RegisterFunctions(db);
    // Other tools may have changed the file since the layer last wrote it; the open never fails
    // because of that.
    (void)Catalog(db).Reconcile();
    core_.db = db;
    lock_fd_ = fd;
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
    if (core_.db) sqlite3_close_v2(core_.db);
    core_.db = nullptr;
    if (lock_fd_ >= 0) ::close(lock_fd_);
    lock_fd_ = -1;
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
    if (lock_fd_ < 0) {
      return ErrDb("The database '" + path_ + "' cannot be locked: its lock file '" +
                   LockPath(path_) + "' cannot be created.");
    }
    if (!SetLock(lock_fd_, F_WRLCK)) {
      return InUse(path_, "it cannot be taken for exclusive use while others have it open.");
    }
    return Status::OK();
  }

 private:
  static Status Closed() { return ErrDb("Operation is not allowed when the object is closed."); }

  ConnectionCore core_;
  int lock_fd_ = -1;
  std::string path_;
};

class SqliteProvider final : public Provider {
 public:
  std::unique_ptr<Connection> NewConnection() override {
    return std::make_unique<SqliteConnection>();
  }

  Status CreateDatabase(const std::string& path) override {
    if (path.empty()) return Status::Error(err::kPathNotFound, "No database file was named.");
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) return ErrExists("Database '" + path + "'");
    std::string folder = Folder(path);
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      return Status::Error(err::kPathNotFound, "Path not found: '" + folder + "'.");
    }
    // The new file is written beside and linked into place complete, so that no half-made
    // database ever bears the name, and an existing file is never replaced.
    std::string temp = path + ".mlx-new-" + std::to_string(::getpid());
    ::unlink(temp.c_str());
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
    if (result.ok() && !SyncPath(temp, false)) {
      result = ErrDb("Cannot write the database '" + path + "': " + std::strerror(errno) + ".");
    }
    if (result.ok() && ::link(temp.c_str(), path.c_str()) != 0) {
      if (errno == EEXIST) {
        result = ErrExists("Database '" + path + "'");
      } else if (::lstat(path.c_str(), &st) == 0) {
        result = ErrExists("Database '" + path + "'");
      } else if (::rename(temp.c_str(), path.c_str()) != 0) {
        result = ErrDb("Cannot create the database '" + path + "': " + std::strerror(errno) + ".");
      }
    }
    ::unlink(temp.c_str());
    ::unlink((temp + "-journal").c_str());
    if (result.ok()) SyncPath(folder, true);
    return result;
  }

  Status Compact(const std::string& path, const std::string& work_file) override {
    if (work_file.empty() || work_file == path) {
      return ErrDb("The work file of a compaction must differ from the database file.");
    }
    Status st = CheckFile(path);
    if (!st.ok()) return st;
    int fd = OpenLockFile(path);
    if (fd < 0) {
      return ErrDb("The database '" + path + "' cannot be locked for compaction: " +
                   std::strerror(errno) + ".");
    }
    if (!SetLock(fd, F_WRLCK)) {
      ::close(fd);
      return InUse(path, "it cannot be compacted while others have it open.");
    }
    st = CompactLocked(path, work_file);
    ::close(fd);
    return st;
  }

 private:
  static Status CompactLocked(const std::string& path, const std::string& work_file) {
    if (::unlink(work_file.c_str()) != 0 && errno != ENOENT) {
      return ErrDb("Cannot remove the old work file '" + work_file + "': " +
                   std::strerror(errno) + ".");
    }
    sqlite3* db = nullptr;
    Status st = OpenSqlite(path, &db);  // a journal left by a crash is rolled back here
    if (!st.ok()) return st;
    st = Exec(db, "VACUUM INTO " + QuoteText(work_file));
    sqlite3_close_v2(db);
    if (!st.ok()) {
      ::unlink(work_file.c_str());
      return ErrDb("Compaction of '" + path + "' failed: " + st.description());
    }
    // The copy must be complete on disk before it takes the database's name.
    if (!SyncPath(work_file, false)) {
      return ErrDb("Cannot flush the work file '" + work_file + "': " + std::strerror(errno) + ".");
    }
    sqlite3* check = nullptr;
    st = OpenSqlite(work_file, &check);
    sqlite3_close_v2(check);
    if (!st.ok()) return ErrDb("The compacted copy is not readable: " + st.description());
    if (::rename(work_file.c_str(), path.c_str()) != 0) {
      return ErrDb("Cannot replace '" + path + "' by its compacted copy: " +
                   std::strerror(errno) + ".");
    }
    SyncPath(Folder(path), true);
    if (Folder(work_file) != Folder(path)) SyncPath(Folder(work_file), true);
    return Status::OK();
  }
};

}  // namespace
}  // namespace internal

std::unique_ptr<Provider> MakeSqliteProvider() {
  // SQLite's count of the memory it uses takes a global lock on every allocation, and nothing
  // reads it. The setting only takes before SQLite's first use in the process (later it is
  // refused and things stay as they are).
  static const bool kNoMemoryCount = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
  (void)kNoMemoryCount;
  return std::make_unique<internal::SqliteProvider>();
}

std::string CompactionWorkFile(const std::string& path) {
  std::size_t sep = path.find_last_of("\\/");
  std::string folder = sep == std::string::npos ? "" : path.substr(0, sep + 1);
  std::string name = text::ToUpper(sep == std::string::npos ? path : path.substr(sep + 1));
  for (std::size_t at; (at = name.find(".MDB")) != std::string::npos;) name.erase(at, 4);
  return folder + name + "_BK.MDB";
}

}  // namespace mlx::db
