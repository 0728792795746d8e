// Saved queries are text: changes of the tables they name never fail because of them. A query
// whose view cannot compile is kept dormant and comes back when what it names is there again.
#include "fixture.h"

namespace mlx::db::testing {
namespace {

using SavedQueryTest = DbTest;

std::vector<std::string> Names(Connection& conn) {
  std::vector<TableInfo> tables;
  EXPECT_TRUE(conn.Tables(&tables).ok());
  std::vector<std::string> out;
  for (const auto& t : tables) out.push_back(t.name + ":" + t.type);
  return out;
}

TEST_F(SavedQueryTest, ATableDroppedAndMadeAgainUnderAQuery) {
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

TEST_F(SavedQueryTest, ColumnsDroppedAndRenamedUnderQueries) {
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

TEST_F(SavedQueryTest, QueriesOverQueriesAndQueriesSavedBeforeTheirTable) {
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
  Run({"DROP TABLE Futura"});
  ASSERT_TRUE(conn_->DeleteView("qsopra").ok());
  EXPECT_TRUE(Names(*conn_).empty());
  std::string sql;
  EXPECT_TRUE(Has(conn_->ViewCommand("qSopra", &sql), "non esiste."));
}

TEST_F(SavedQueryTest, ViewsOfOtherToolsAreKeptAndNeverBlockAChange) {
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

TEST_F(SavedQueryTest, AFailedChangeIsUndoneWhole) {
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
