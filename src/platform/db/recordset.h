// The recordset over an SQLite statement, and the state a connection shares with its recordsets.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/db/internal.h"

namespace mlx::db::internal {

class SqliteRecordset;
class SqliteStatement;

struct ConnectionCore {
  sqlite3* db = nullptr;
  std::set<SqliteRecordset*> recordsets;  // open recordsets, closed with the connection
  std::set<SqliteStatement*> statements;  // prepared statements, finalized with the connection
};

// A prepared statement of the scripts' dialect, run with values for its "?" markers.
class SqliteStatement final : public Statement {
 public:
  SqliteStatement(ConnectionCore* core, sqlite3_stmt* stmt) : core_(core), stmt_(stmt) {
    core_->statements.insert(this);
  }
  ~SqliteStatement() override { Detach(); }
  Status Execute(const std::vector<Value>& values) override;
  // The connection is closing: the statement is finalized and answers errors from now on.
  void Detach();

 private:
  ConnectionCore* core_;
  sqlite3_stmt* stmt_;
};

class SqliteRecordset final : public Recordset {
 public:
  SqliteRecordset(ConnectionCore* core, LockType lock) : core_(core), lock_(lock) {}
  ~SqliteRecordset() override { Close(); }

  // table: the one table whose rows the recordset shows and may change ("" for none);
  // with_rowid: the statement's first column is that table's rowid.
  Status Open(const std::string& sql, const std::string& table, bool with_rowid);

  bool Eof() override { return eof_; }
  Status MoveNext() override;
  int FieldCount() override { return static_cast<int>(fields_.size()); }
  FieldInfo Field(int index) override;
  int FieldIndex(const std::string& name) override;
  Status GetValue(int index, Value* value) override;
  Status AddNew() override;
  Status SetValue(int index, const Value& value) override;
  Status Update() override;
  void Close() override;
  bool IsOpen() override { return open_; }
  // The connection is closing: the recordset closes and forgets it.
  void Detach() {
    Close();
    core_ = nullptr;
  }

 private:
  Status Step();
  void InferTypes();
  Status Reread(std::int64_t rowid);
  Status CheckUpdatable() const;

  ConnectionCore* core_;
  LockType lock_;
  sqlite3_stmt* stmt_ = nullptr;
  bool open_ = false;
  bool eof_ = true;
  bool done_ = true;
  bool types_known_ = false;
  std::string table_;
  int rowid_col_ = -1;
  std::vector<int> cols_;              // statement column of each field
  std::vector<FieldInfo> fields_;
  std::vector<bool> declared_;         // the field's type comes from a declared column type
  std::vector<std::string> origins_;   // the table column a field shows, "" for none
  std::vector<Value> row_;
  std::optional<std::int64_t> rowid_;
  enum class Mode { kNone, kAdd, kEdit } mode_ = Mode::kNone;
  std::vector<std::optional<Value>> pending_;
};

// A value read from SQLite, given the ADO type of its field.
Value ValueFromSqlite(sqlite3_value* v, int ado);

}  // namespace mlx::db::internal
