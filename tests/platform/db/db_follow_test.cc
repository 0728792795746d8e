// The hidden tables follow the file: what other tools change between two runs (renames, drops,
// tables made again, columns and indexes dropped) is reconciled on open, and never makes a later
// change silently do nothing or fail.
#include <chrono>

#include "fixture.h"

namespace mlx::db::testing {
namespace {

using FollowTest = DbTest;

TEST_F(FollowTest, ATableRenamedByAnotherToolKeepsItsRulesAndFreesItsName) {
  Run({"CREATE TABLE Clienti (Id COUNTER PRIMARY KEY, Nome TEXT(20))",
       "CREATE INDEX ixNome ON Clienti (Nome)", "INSERT INTO Clienti (Nome) VALUES ('a')",
       "CREATE VIEW qClienti AS SELECT Nome FROM Clienti"});
  Outside({"ALTER TABLE Clienti RENAME TO Anagrafica"});
  Reopen();
  ColumnInfo id = ColumnOf("Anagrafica", "Id");
  EXPECT_TRUE(id.auto_increment);
  EXPECT_EQ(id.seed, 2);
  EXPECT_EQ(IndexNames("Anagrafica"), (std::vector<std::string>{"ixNome", "PrimaryKey"}));
  EXPECT_TRUE(Has(conn_->Execute("INSERT INTO Anagrafica (Nome) VALUES ('')"),
                  "Field 'Anagrafica.Nome' cannot be a zero-length string."));
  Run({"INSERT INTO Anagrafica (Nome) VALUES ('b')"});
  EXPECT_EQ(Column("SELECT Id FROM Anagrafica ORDER BY Id"), (std::vector<std::string>{"1", "2"}));
  std::string sql;
  ASSERT_TRUE(conn_->ViewCommand("qClienti", &sql).ok());
  EXPECT_EQ(sql, "SELECT Nome FROM [Anagrafica]");
  // The old name is free for the script that makes the table again.
  Run({"CREATE TABLE Clienti", "ALTER TABLE Clienti ADD COLUMN Codice TEXT(10)",
       "ALTER TABLE Clienti ADD COLUMN Id COUNTER", "INSERT INTO Clienti (Codice) VALUES ('c')"});
  EXPECT_EQ(Column("SELECT Id FROM Clienti"), std::vector<std::string>{"1"});
  EXPECT_TRUE(IndexNames("Clienti").empty());
}

TEST_F(FollowTest, ATableMadeAgainByAnotherToolInheritsNoRules) {
  Run({"CREATE TABLE T (Id COUNTER, Nome TEXT(10), Qta LONG DEFAULT 5)",
       "CREATE TABLE P (Id LONG CONSTRAINT pkP PRIMARY KEY)",
       "CREATE TABLE F (PId LONG, CONSTRAINT Rel FOREIGN KEY (PId) REFERENCES P (Id))"});
  Outside({"DROP TABLE T", "CREATE TABLE T (Id INTEGER, Nome TEXT, Qta INTEGER)", "DROP TABLE F",
           "CREATE TABLE F (PId INTEGER)"});
  Reopen();
  EXPECT_FALSE(ColumnOf("T", "Id").auto_increment);
  EXPECT_TRUE(ColumnOf("T", "Nome").allow_zero_length);
  EXPECT_EQ(ColumnOf("T", "Qta").default_value, "");
  // A rebuild writes no rule the table did not have.
  ASSERT_TRUE(conn_->SetDefault("T", "Qta", "1").ok());
  Run({"INSERT INTO T (Nome) VALUES ('')"});
  EXPECT_EQ(Column("SELECT ifnull(Id, 'none') & Qta FROM T"), std::vector<std::string>{"none1"});
  std::vector<KeyInfo> keys;
  ASSERT_TRUE(conn_->Keys("F", &keys).ok());
  EXPECT_TRUE(keys.empty());
  ASSERT_TRUE(conn_->AppendKey("F", KeyInfo{"Rel", "P", {{"PId", "Id"}}, kRuleNone, kRuleNone}).ok());
}

TEST_F(FollowTest, ColumnsIndexesAndQueriesDroppedByAnotherTool) {
  Run({"CREATE TABLE T (a LONG DEFAULT 7, b LONG, c TEXT(5))", "CREATE INDEX ixB ON T (b)",
       "CREATE VIEW q AS SELECT b FROM T"});
  Outside({"DROP VIEW q", "DROP INDEX T_ixB", "ALTER TABLE T DROP COLUMN a",
           "ALTER TABLE T RENAME COLUMN b TO bb"});
  Reopen();
  EXPECT_TRUE(IndexNames("T").empty());
  std::string sql;
  EXPECT_TRUE(Has(conn_->ViewCommand("q", &sql), "non esiste."));
  Run({"ALTER TABLE T ADD COLUMN a TEXT(5)", "CREATE INDEX ixB ON T (bb)",
       "CREATE VIEW q AS SELECT bb FROM T", "INSERT INTO T (a, bb, c) VALUES ('x', 1, 'y')"});
  EXPECT_EQ(ColumnOf("T", "a").default_value, "");
  EXPECT_EQ(IndexNames("T"), std::vector<std::string>{"ixB"});
  EXPECT_TRUE(Has(conn_->Execute("INSERT INTO T (c) VALUES ('')"), "zero-length"));
}

TEST_F(FollowTest, ConsistentFilesAreOnlyRead) {
  Run({"CREATE TABLE T (Id COUNTER PRIMARY KEY, Nome TEXT(10))", "CREATE INDEX ix ON T (Nome)",
       "CREATE VIEW qDormiente AS SELECT Manca FROM T"});
  Plain other(path_);
  int version = other.DataVersion();
  Reopen();
  EXPECT_EQ(other.DataVersion(), version);
  other.Exec("DROP INDEX T_ix");
  version = other.DataVersion();
  Reopen();
  EXPECT_NE(other.DataVersion(), version);
  EXPECT_EQ(IndexNames("T"), std::vector<std::string>{"PrimaryKey"});
}

TEST_F(FollowTest, OpeningNeitherWaitsForNorFailsOnAFileBeingWritten) {
  Run({"CREATE TABLE T (Id COUNTER, Nome TEXT(10))"});
  Outside({"DROP TABLE T", "CREATE TABLE T (Id INTEGER, Nome TEXT)"});
  conn_->Close();
  {
    Plain writer(path_);
    ASSERT_EQ(writer.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
    auto start = std::chrono::steady_clock::now();
    conn_ = Open(path_);
    ASSERT_NE(conn_, nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    // The stale rules are left in the file, and not read.
    EXPECT_EQ(Raw("SELECT count(*) FROM __mlx_counters"), "1");
    EXPECT_FALSE(ColumnOf("T", "Id").auto_increment);
    EXPECT_TRUE(ColumnOf("T", "Nome").allow_zero_length);
  }
  Reopen();
  EXPECT_EQ(Raw("SELECT count(*) FROM __mlx_counters"), "0");
}

TEST_F(FollowTest, FilesWrittenBeforeDormantQueriesAreReadAndThenCompleted) {
  Run({"CREATE TABLE T (a LONG)", "CREATE VIEW q AS SELECT a FROM T"});
  conn_->Close();
  Outside({"ALTER TABLE __mlx_views DROP COLUMN dormant_sql"});
  const std::string kept =
      "SELECT count(*) FROM pragma_table_info('__mlx_views') WHERE name = "
      "'dormant_sql'";
  {
    Plain writer(path_);
    ASSERT_EQ(writer.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
    conn_ = Open(path_);
    ASSERT_NE(conn_, nullptr);
    std::vector<TableInfo> tables;
    ASSERT_TRUE(conn_->Tables(&tables).ok());
    EXPECT_EQ(tables.size(), 2u);
    std::string sql;
    ASSERT_TRUE(conn_->ViewCommand("q", &sql).ok());
    EXPECT_EQ(sql, "SELECT a FROM T");
    EXPECT_EQ(Raw(kept), "0");
  }
  Reopen();
  EXPECT_EQ(Raw(kept), "1");
  Run({"DROP TABLE T", "CREATE TABLE T (a LONG)", "INSERT INTO T VALUES (4)"});
  EXPECT_EQ(Column("q"), std::vector<std::string>{"4"});
}

}  // namespace
}  // namespace mlx::db::testing
