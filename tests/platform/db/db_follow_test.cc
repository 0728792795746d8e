// The hidden tables follow the file: what other tools change between two runs (renames, drops,
// tables made again, columns and indexes dropped) is reconciled on open, and never makes a later
// change silently do nothing or fail. Saved queries are text: changes of the tables they name
// never fail because of them; a query whose view cannot compile is kept dormant and comes back
// when what it names is there again.
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
  ASSERT_TRUE(
      conn_->AppendKey("F", KeyInfo{"Rel", "P", {{"PId", "Id"}}, kRuleNone, kRuleNone}).ok());
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

// A file with nothing to reconcile (date triggers in place too) is only read; once another tool
// has changed it, the open writes.
TEST_F(FollowTest, ConsistentFilesAreOnlyRead) {
  Run({"CREATE TABLE T (Id COUNTER PRIMARY KEY, Nome TEXT(10), Quando DATETIME)",
       "CREATE INDEX ix ON T (Nome)",
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

// Neither the reconciling nor the conversion of other programs' date texts waits: the open goes
// on at once without the work, and the stored text still reads as a date.
TEST_F(FollowTest, OpeningNeitherWaitsForNorFailsOnAFileBeingWritten) {
  Run({"CREATE TABLE T (Id COUNTER, Nome TEXT(10))"});
  Outside({"DROP TABLE T", "CREATE TABLE T (Id INTEGER, Nome TEXT)",
           "CREATE TABLE Visite (id INTEGER PRIMARY KEY, quando DATETIME)",
           "INSERT INTO Visite VALUES (1, '2024-06-01 10:00')"});
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
    Value v = First("SELECT quando FROM Visite");
    EXPECT_EQ(v.kind(), Value::Kind::kDate);
    EXPECT_EQ(v.real(), 45444 + 10.0 / 24);
    EXPECT_EQ(Raw("SELECT count(*) FROM sqlite_schema WHERE name LIKE '__mlx_d%_Visite'"), "0");
  }
  Reopen();
  EXPECT_EQ(Raw("SELECT count(*) FROM __mlx_counters"), "0");
  EXPECT_EQ(Raw("SELECT typeof(quando) FROM Visite"), "real");
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

std::vector<std::string> Names(Connection& conn) {
  std::vector<TableInfo> tables;
  EXPECT_TRUE(conn.Tables(&tables).ok());
  std::vector<std::string> out;
  for (const auto& t : tables) out.push_back(t.name + ":" + t.type);
  return out;
}

TEST_F(FollowTest, ATableDroppedAndMadeAgainUnderAQuery) {
  Run({"CREATE TABLE Listino (Codice TEXT(20), Prezzo DOUBLE)",
       "INSERT INTO Listino VALUES ('a', 1.5)"});
  ASSERT_TRUE(conn_->AppendView("qListino", "SELECT Codice, Prezzo FROM Listino").ok());
  Run({"DROP TABLE Listino", "CREATE TABLE Listino",
       "ALTER TABLE Listino ADD COLUMN Codice TEXT(20)"});
  EXPECT_EQ(Raw("SELECT group_concat(name) FROM pragma_table_info('Listino')"), "Codice");
  // Still a query of the catalogue, with its text, its name taken.
  EXPECT_EQ(Names(*conn_), (std::vector<std::string>{"Listino:TABLE", "qListino:VIEW"}));
  std::string sql;
  ASSERT_TRUE(conn_->ViewCommand("qlistino", &sql).ok());
  EXPECT_EQ(sql, "SELECT Codice, Prezzo FROM Listino");
  EXPECT_TRUE(Has(conn_->AppendView("qListino", "SELECT 1"), "already exists"));
  EXPECT_TRUE(Has(conn_->Execute("CREATE TABLE qListino (a LONG)"), "already exists"));
  // Running it says which query and what it misses.
  std::unique_ptr<Recordset> rs;
  for (const char* source : {"qListino", "SELECT * FROM qListino"}) {
    Status st = conn_->OpenRecordset(source, kForwardOnly, kReadOnly, &rs);
    EXPECT_TRUE(Has(st, "The query 'qListino' cannot be run: no such column: Prezzo"))
        << st.description();
  }
  Run({"ALTER TABLE Listino ADD COLUMN Prezzo DOUBLE", "INSERT INTO Listino VALUES ('b', 2)"});
  EXPECT_EQ(Column("qListino", 1), std::vector<std::string>{"2"});
  EXPECT_EQ(Raw("SELECT count(*) FROM __mlx_views WHERE dormant_sql IS NOT NULL"), "0");
}

TEST_F(FollowTest, ColumnsDroppedAndRenamedUnderQueries) {
  Run({"CREATE TABLE T (Id LONG, a TEXT(5), b TEXT(5))", "INSERT INTO T VALUES (1, 'x', 'y')",
       "CREATE VIEW qAB AS SELECT a, b FROM T", "CREATE VIEW qId AS SELECT Id FROM T"});
  Run({"ALTER TABLE T DROP COLUMN b"});
  ASSERT_TRUE(conn_->RenameColumn("T", "a", "c").ok());
  ASSERT_TRUE(conn_->RenameTable("T", "U").ok());
  std::string sql;
  ASSERT_TRUE(conn_->ViewCommand("qAB", &sql).ok());
  EXPECT_EQ(sql, "SELECT [c], b FROM [U]");
  EXPECT_EQ(Column("qId"), std::vector<std::string>{"1"});
  Run({"ALTER TABLE U ADD COLUMN b TEXT(5)"});
  EXPECT_EQ(Column("qAB"), std::vector<std::string>{"x"});
  EXPECT_EQ(Column("qAB", 1), std::vector<std::string>{"<null>"});
}

TEST_F(FollowTest, QueriesOverQueriesAndQueriesSavedBeforeTheirTable) {
  ASSERT_TRUE(conn_->AppendView("qPrima", "SELECT n FROM Futura").ok());
  ASSERT_TRUE(conn_->AppendView("qSopra", "SELECT n * 2 AS d FROM qPrima").ok());
  std::unique_ptr<Recordset> rs;
  EXPECT_TRUE(Has(conn_->OpenRecordset("qSopra", kForwardOnly, kReadOnly, &rs),
                  "The query 'qSopra' cannot be run: The query 'qPrima' cannot be run: "
                  "no such table: Futura"));
  Run({"CREATE TABLE Futura (n LONG)", "INSERT INTO Futura VALUES (21)"});
  EXPECT_EQ(Column("qSopra"), std::vector<std::string>{"42"});
  // Deleting the query below makes the one above dormant; a dormant query takes a new text and
  // is deleted like any other.
  ASSERT_TRUE(conn_->DeleteView("qPrima").ok());
  EXPECT_EQ(Names(*conn_), (std::vector<std::string>{"Futura:TABLE", "qSopra:VIEW"}));
  ASSERT_TRUE(conn_->SetViewCommand("qSopra", "SELECT n FROM Futura").ok());
  EXPECT_EQ(Column("qSopra"), std::vector<std::string>{"21"});
  EXPECT_TRUE(Has(conn_->SetViewCommand("Nessuna", "SELECT 1"), "non esiste."));
  Run({"DROP TABLE Futura"});
  ASSERT_TRUE(conn_->DeleteView("qsopra").ok());
  EXPECT_TRUE(Names(*conn_).empty());
  std::string sql;
  EXPECT_TRUE(Has(conn_->ViewCommand("qSopra", &sql), "non esiste."));
  EXPECT_TRUE(Has(conn_->DeleteView("qSopra"), "non esiste."));
}

TEST_F(FollowTest, ViewsOfOtherToolsAreKeptAndNeverBlockAChange) {
  Run({"CREATE TABLE A (x LONG)", "CREATE TABLE B (y LONG)", "INSERT INTO B VALUES (3)"});
  // A view another tool left broken: SQLite renames nothing while it is there.
  Outside({"CREATE VIEW vAltro AS SELECT \"x\" AS n FROM A", "DROP TABLE A"});
  ASSERT_TRUE(conn_->RenameTable("B", "C").ok());
  ASSERT_TRUE(conn_->RenameColumn("C", "y", "z").ok());
  EXPECT_EQ(Column("SELECT z FROM C"), std::vector<std::string>{"3"});
  std::string sql;
  ASSERT_TRUE(conn_->ViewCommand("vAltro", &sql).ok());
  EXPECT_EQ(sql, "SELECT \"x\" AS n FROM A");
  // Back as it was written, and again a view the layer keeps nothing for.
  Run({"CREATE TABLE A (x LONG)", "INSERT INTO A VALUES (8)"});
  EXPECT_EQ(Column("vAltro"), std::vector<std::string>{"8"});
  EXPECT_EQ(Raw("SELECT sql FROM sqlite_schema WHERE name = 'vAltro'"),
            "CREATE VIEW vAltro AS SELECT \"x\" AS n FROM A");
  EXPECT_EQ(Raw("SELECT count(*) FROM __mlx_views"), "0");
}

TEST_F(FollowTest, AFailedChangeIsUndoneWhole) {
  Run({"CREATE TABLE Vuota"});
  // Another tool's trigger that no longer compiles: SQLite drops no column while it is there, so
  // the first column added fails after it was added.
  Outside({"CREATE TABLE Altra (a)", "CREATE TABLE Registro (t)",
           "CREATE TRIGGER tr AFTER INSERT ON Altra BEGIN INSERT INTO Registro VALUES (new.a); "
           "END",
           "DROP TABLE Registro"});
  EXPECT_TRUE(Has(conn_->Execute("ALTER TABLE Vuota ADD COLUMN Codice TEXT(20)"), "tr"));
  EXPECT_EQ(Raw("SELECT group_concat(name) FROM pragma_table_info('Vuota')"), "__mlx_placeholder");
  EXPECT_EQ(Raw("SELECT count(*) FROM __mlx_columns WHERE tbl = 'Vuota'"), "0");
  Outside({"DROP TRIGGER tr"});
  Run({"ALTER TABLE Vuota ADD COLUMN Codice TEXT(20)"});
  EXPECT_EQ(Raw("SELECT group_concat(name) FROM pragma_table_info('Vuota')"), "Codice");
}

}  // namespace
}  // namespace mlx::db::testing
