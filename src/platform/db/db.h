// The data-access layer: the operations the database commands need, shaped after the
// connection, recordset and catalogue objects the scripts were written against. Paths are
// native file-system paths (the engine converts script paths first). Failures are Status
// results whose descriptions contain "already exists" when the object to create exists,
// "non esiste." when the object to change or remove is missing, and
// "Istruzione SQL non valida." when a statement cannot be parsed; a failure of the file itself
// (a disk error, a full disk, a damaged file) has the number err::kStorage.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/status.h"

namespace mlx::clock {
class Clock;
}  // namespace mlx::clock
namespace mlx::progress {
class Sink;
}  // namespace mlx::progress

namespace mlx::db {

// Data type codes as the scripts' data-access library reports them.
enum AdoType : int {
  kAdEmpty = 0,
  kAdSmallInt = 2,
  kAdInteger = 3,
  kAdSingle = 4,
  kAdDouble = 5,
  kAdCurrency = 6,
  kAdDate = 7,
  kAdBoolean = 11,
  kAdUnsignedTinyInt = 17,
  kAdBigInt = 20,
  kAdGuid = 72,
  kAdBinary = 128,
  kAdWChar = 130,
  kAdNumeric = 131,
  kAdVarWChar = 202,
  kAdLongVarWChar = 203,
  kAdVarBinary = 204,
  kAdLongVarBinary = 205,
};

// A field value.
class Value {
 public:
  enum class Kind { kNull, kBoolean, kInteger, kDouble, kCurrency, kDate, kText, kBinary };

  Value() = default;
  static Value Null() { return Value(); }
  static Value Boolean(bool b) { return Value(Kind::kBoolean, b ? -1 : 0, 0, {}); }
  static Value Integer(std::int64_t i) { return Value(Kind::kInteger, i, 0, {}); }
  static Value Double(double d) { return Value(Kind::kDouble, 0, d, {}); }
  // Currency keeps four decimals: the amount times 10000.
  static Value Currency(std::int64_t scaled) { return Value(Kind::kCurrency, scaled, 0, {}); }
  // Dates are days since 30/12/1899, the time of day as the fraction.
  static Value Date(double days) { return Value(Kind::kDate, 0, days, {}); }
  static Value Text(std::string s) { return Value(Kind::kText, 0, 0, std::move(s)); }
  static Value Binary(std::string bytes) { return Value(Kind::kBinary, 0, 0, std::move(bytes)); }

  Kind kind() const { return kind_; }
  bool is_null() const { return kind_ == Kind::kNull; }
  bool boolean() const { return integer_ != 0; }
  std::int64_t integer() const { return integer_; }
  double real() const { return real_; }
  const std::string& text() const { return text_; }

 private:
  Value(Kind k, std::int64_t i, double d, std::string s)
      : kind_(k), integer_(i), real_(d), text_(std::move(s)) {}
  Kind kind_ = Kind::kNull;
  std::int64_t integer_ = 0;
  double real_ = 0;
  std::string text_;
};

struct FieldInfo {
  std::string name;
  int type = kAdEmpty;
  long defined_size = 0;
};

enum CursorType { kCursorUnspecified = -1, kForwardOnly = 0, kKeyset = 1, kDynamic = 2, kStatic = 3 };
enum LockType { kLockUnspecified = -1, kReadOnly = 1, kPessimistic = 2, kOptimistic = 3 };

class Recordset {
 public:
  virtual ~Recordset() = default;
  virtual bool Eof() = 0;
  virtual Status MoveNext() = 0;
  virtual int FieldCount() = 0;
  virtual FieldInfo Field(int index) = 0;
  virtual int FieldIndex(const std::string& name) = 0;  // without regard to case; -1 if absent
  virtual Status GetValue(int index, Value* value) = 0;
  // Row insertion: AddNew, SetValue for some fields, Update. SetValue without AddNew changes the
  // current row, written back by Update (recordsets over one table only).
  virtual Status AddNew() = 0;
  virtual Status SetValue(int index, const Value& value) = 0;
  virtual Status Update() = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() = 0;
};

struct TableInfo {
  std::string name;
  std::string type;  // "TABLE" for user tables, "VIEW" for saved queries
};

struct ColumnInfo {
  std::string name;
  int type = kAdEmpty;
  long defined_size = 0;
  bool nullable = true;
  bool auto_increment = false;
  std::int64_t seed = 1;  // next value a counter hands out
  bool allow_zero_length = false;
  std::string default_value;  // as written, "" for none
};

// IndexNulls values.
constexpr int kIndexNullsAllow = 0;
constexpr int kIndexNullsDisallow = 1;
constexpr int kIndexNullsIgnore = 2;

struct IndexInfo {
  std::string name;
  std::vector<std::string> columns;
  bool primary_key = false;
  bool unique = false;
  int index_nulls = kIndexNullsAllow;
};

// Update and delete rules.
constexpr int kRuleNone = 0;
constexpr int kRuleCascade = 1;
constexpr int kRuleSetNull = 2;

// A relation, kept on the table that holds the foreign columns (the many side).
struct KeyInfo {
  std::string name;
  std::string related_table;
  std::vector<std::pair<std::string, std::string>> columns;  // column, related column
  int update_rule = kRuleNone;
  int delete_rule = kRuleNone;
};

// A statement prepared once and run many times, each time with values for its "?" markers.
class Statement {
 public:
  virtual ~Statement() = default;
  // Runs the statement with values[i] in place of the i-th marker; no records are returned.
  // A value is stored exactly as the literal it stands for would be by Connection::Execute:
  // Integer for an integer literal, True (-1), False (0) and a whole date (its day number);
  // Double for a real literal; Text for a quoted text; Null for NULL.
  virtual Status Execute(const std::vector<Value>& values) = 0;
};

class Connection {
 public:
  virtual ~Connection() = default;

  // connection_string is a path or "Provider=...;Data Source=path" (the provider is ignored).
  // A missing file fails and creates nothing.
  virtual Status Open(const std::string& connection_string, const std::string& user,
                      const std::string& password) = 0;
  virtual void Close() = 0;
  virtual int State() = 0;  // 0 closed, 1 open
  virtual std::string DataSource() = 0;

  // Runs a statement written in the scripts' SQL dialect; no records are returned.
  virtual Status Execute(const std::string& sql) = 0;
  // source: "[table]", "SELECT ...", or a table or query name.
  virtual Status OpenRecordset(const std::string& source, CursorType cursor, LockType lock,
                               std::unique_ptr<Recordset>* result) = 0;

  // Catalogue. User tables only; bookkeeping of the layer itself never shows.
  virtual Status Tables(std::vector<TableInfo>* tables) = 0;
  virtual Status Columns(const std::string& table, std::vector<ColumnInfo>* columns) = 0;
  virtual Status SetSeed(const std::string& table, const std::string& column,
                         std::int64_t seed) = 0;
  virtual Status SetAllowZeroLength(const std::string& table, const std::string& column,
                                    bool allow) = 0;
  virtual Status SetDefault(const std::string& table, const std::string& column,
                            const std::string& default_text) = 0;
  virtual Status RenameColumn(const std::string& table, const std::string& old_name,
                              const std::string& new_name) = 0;
  virtual Status RenameTable(const std::string& old_name, const std::string& new_name) = 0;

  virtual Status Indexes(const std::string& table, std::vector<IndexInfo>* indexes) = 0;
  virtual Status AppendIndex(const std::string& table, const IndexInfo& index) = 0;
  virtual Status DeleteIndex(const std::string& table, const std::string& name) = 0;

  virtual Status Keys(const std::string& table, std::vector<KeyInfo>* keys) = 0;
  virtual Status AppendKey(const std::string& table, const KeyInfo& key) = 0;
  virtual Status DeleteKey(const std::string& table, const std::string& name) = 0;
  // Deletes the key of that name and appends the new one in one transaction: on failure the
  // old relation stays.
  virtual Status ReplaceKey(const std::string& table, const KeyInfo& key) = 0;

  virtual Status ViewCommand(const std::string& name, std::string* sql) = 0;
  virtual Status AppendView(const std::string& name, const std::string& sql) = 0;
  virtual Status SetViewCommand(const std::string& name, const std::string& sql) = 0;
  virtual Status DeleteView(const std::string& name) = 0;

  // Takes the open file for this connection alone, as counter realignment needs: fails with a
  // reported error while any other connection, in this process or another, holds a lock on the
  // file (reads or writes in progress). Held until Close: meanwhile other connections can neither
  // read nor write. A connection that shares its file with nobody (a test double) has it to
  // itself already.
  virtual Status AcquireExclusive() { return Status::OK(); }

  // Transactions: what is done between BeginTrans and CommitTrans is stored at the commit,
  // RollbackTrans undoes it; a statement that fails inside undoes only itself. A connection
  // that answers an error to BeginTrans has no transactions, and callers then go without.
  virtual Status BeginTrans() { return Execute("BEGIN TRANSACTION"); }
  virtual Status CommitTrans() { return Execute("COMMIT TRANSACTION"); }
  virtual Status RollbackTrans() { return Execute("ROLLBACK TRANSACTION"); }

  // Prepares a statement of the scripts' dialect whose values are "?" markers. A connection
  // that cannot prepare statements answers an error, and callers run whole statements instead.
  virtual Status Prepare(const std::string& sql, std::unique_ptr<Statement>* statement) {
    (void)sql;
    statement->reset();
    return Status::Error(err::kInvalidCall, "Istruzioni preparate non disponibili.");
  }
};

class Provider {
 public:
  virtual ~Provider() = default;
  virtual std::unique_ptr<Connection> NewConnection() = 0;
  // Creates an empty database file; fails when a file is already there.
  virtual Status CreateDatabase(const std::string& path) = 0;
  // Compacts the database at path in place, under the file's exclusive lock and through its
  // journal: the file keeps its identity, permissions and owner, and a crash leaves the old or
  // the new content. Fails, changing nothing, while another connection holds a lock on the file,
  // and for a read-only file.
  virtual Status Compact(const std::string& path) = 0;

  // What a snapshot took: how long, whether it had to wait for another program's writing to
  // end, and the size of the copy.
  struct SnapshotInfo {
    double seconds = 0;
    bool waited = false;
    std::int64_t bytes = 0;
  };
  // Copies the database at source into a new file at target, as one consistent state of the
  // source: the source is opened for reading only and nothing is written, created or left
  // beside it; writers of other programs are waited for. The target must not exist; on failure
  // it is not left behind. progress(done, total) is told how far the copy is. A provider that
  // cannot copy answers an error.
  virtual Status Snapshot(const std::string& source, const std::string& target,
                          SnapshotInfo* info,
                          const std::function<void(long, long)>& progress = {}) {
    (void)source, (void)target, (void)info, (void)progress;
    return Status::Error(err::kInvalidCall, "Copia del database non disponibile.");
  }
  // Where connections made from now on, and compactions, report long operations and learn that
  // the user asked to stop: a statement running then fails and is undone. nullptr for nobody.
  virtual void SetProgressSink(progress::Sink* sink) { (void)sink; }
};

// The SQLite provider. Now(), Date() and Time() in statements read the clock given (which must
// outlive the provider and its connections), or the machine's clock when none is given.
std::unique_ptr<Provider> MakeSqliteProvider(clock::Clock* clock = nullptr);

// The file a connection string names: a bare path, or the "Data Source" of
// "Provider=...;Data Source=path" (the provider is ignored).
std::string DataSourcePath(const std::string& connection_string);

// The work file that compaction used to write beside the database, removed when found (a crash
// of an earlier version may have left it): the path's file name in upper case, with every ".MDB" removed,
// followed by "_BK.MDB"; the folder is kept as written (C:\Dati\Archivio.mdb gives
// C:\Dati\ARCHIVIO_BK.MDB). Either separator, '\\' or '/', ends the folder.
std::string CompactionWorkFile(const std::string& path);

}  // namespace mlx::db
