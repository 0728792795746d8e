// A fresh database in a temporary folder, opened through the layer.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/db.h"
#include "platform/fs/regular.h"

namespace mlx::db::testing {

class DbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::MakeTemporaryFolder("mlx-db-", &dir_));
    path_ = dir_ + "/test.mdb";
    provider_ = MakeSqliteProvider();
    ASSERT_TRUE(provider_->CreateDatabase(path_).ok());
    conn_ = Open(path_);
    ASSERT_NE(conn_, nullptr);
  }
  void TearDown() override {
    if (conn_) conn_->Close();
    conn_.reset();
    // Windows deletes no read-only file: tests that made one writable again are not relied on.
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir_, ec)) {
      std::filesystem::permissions(e.path(), std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(dir_, ec);
  }

  std::unique_ptr<Connection> Open(const std::string& path) {
    auto c = provider_->NewConnection();
    Status st = c->Open(path, "Admin", "");
    EXPECT_TRUE(st.ok()) << st.description();
    return st.ok() ? std::move(c) : nullptr;
  }

  // Runs statements that must succeed.
  void Run(const std::vector<std::string>& sql) {
    for (const auto& s : sql) {
      Status st = conn_->Execute(s);
      ASSERT_TRUE(st.ok()) << s << " -> " << st.description();
    }
  }

  // Field 0 of every row of a query, as text ("<null>" for Null).
  std::vector<std::string> Column(const std::string& source, int field = 0) {
    std::vector<std::string> out;
    std::unique_ptr<Recordset> rs;
    Status st = conn_->OpenRecordset(source, kForwardOnly, kReadOnly, &rs);
    EXPECT_TRUE(st.ok()) << source << " -> " << st.description();
    if (!st.ok()) return out;
    while (!rs->Eof()) {
      Value v;
      EXPECT_TRUE(rs->GetValue(field, &v).ok());
      out.push_back(Text(v));
      EXPECT_TRUE(rs->MoveNext().ok());
    }
    return out;
  }

  Value First(const std::string& source) {
    std::unique_ptr<Recordset> rs;
    Status st = conn_->OpenRecordset(source, kForwardOnly, kReadOnly, &rs);
    EXPECT_TRUE(st.ok()) << source << " -> " << st.description();
    Value v;
    if (st.ok() && !rs->Eof()) {
      EXPECT_TRUE(rs->GetValue(0, &v).ok());
    }
    return v;
  }

  static std::string Text(const Value& v) {
    switch (v.kind()) {
      case Value::Kind::kNull: return "<null>";
      case Value::Kind::kBoolean: return v.boolean() ? "True" : "False";
      case Value::Kind::kInteger: return std::to_string(v.integer());
      case Value::Kind::kCurrency: return std::to_string(v.integer()) + "c";
      case Value::Kind::kDouble:
      case Value::Kind::kDate: {
        char b[64];
        snprintf(b, sizeof b, "%.10g", v.real());
        return b;
      }
      default: return v.text();
    }
  }

  ColumnInfo ColumnOf(const std::string& table, const std::string& column) {
    std::vector<ColumnInfo> cols;
    Status st = conn_->Columns(table, &cols);
    EXPECT_TRUE(st.ok()) << st.description();
    for (auto& c : cols) {
      if (c.name == column) return c;
    }
    ADD_FAILURE() << "no column " << column;
    return {};
  }

  // A raw SQLite look at the file, bypassing the layer.
  std::string Raw(const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    std::string out;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK) {
      while (sqlite3_step(s) == SQLITE_ROW) {
        const unsigned char* t = sqlite3_column_text(s, 0);
        out += (out.empty() ? "" : "|") + std::string(t ? reinterpret_cast<const char*>(t) : "");
      }
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return out;
  }

  // Changes the file as another tool does: a plain SQLite connection, without the layer.
  void Outside(const std::vector<std::string>& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    for (const auto& s : sql) {
      char* msg = nullptr;
      EXPECT_EQ(sqlite3_exec(db, s.c_str(), nullptr, nullptr, &msg), SQLITE_OK)
          << s << " -> " << (msg ? msg : "");
      sqlite3_free(msg);
    }
    sqlite3_close(db);
  }

  // Closes the test connection and opens the file again through the layer.
  void Reopen() {
    conn_->Close();
    conn_ = Open(path_);
    ASSERT_NE(conn_, nullptr);
  }

  // Names of a table's indexes, in the catalogue's order.
  std::vector<std::string> IndexNames(const std::string& table) {
    std::vector<IndexInfo> indexes;
    EXPECT_TRUE(conn_->Indexes(table, &indexes).ok());
    std::vector<std::string> out;
    for (const auto& ix : indexes) out.push_back(ix.name);
    return out;
  }

  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // The names in the test's folder, sorted.
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  static bool Has(const Status& st, const std::string& fragment) {
    return !st.ok() && st.description().find(fragment) != std::string::npos;
  }

  std::string dir_, path_;
  std::unique_ptr<Provider> provider_;
  std::unique_ptr<Connection> conn_;
};

// A plain SQLite connection held open beside the layer's, as another program has.
class Plain {
 public:
  explicit Plain(const std::string& path) {
    sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
  }
  ~Plain() { sqlite3_close_v2(db_); }
  int Exec(const std::string& sql) { return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr); }
  // Changes with each commit of another connection to the file.
  int DataVersion() {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db_, "PRAGMA data_version", -1, &s, nullptr);
    int v = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int(s, 0) : -1;
    sqlite3_finalize(s);
    return v;
  }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace mlx::db::testing
