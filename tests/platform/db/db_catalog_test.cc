// The catalogue: indexes, relations with their rules, saved queries, renames, and the table
// rebuild that keeps everything a table carries.
#include "fixture.h"

namespace mlx::db::testing {
namespace {

using CatalogTest = DbTest;

IndexInfo Index(const std::string& name, std::vector<std::string> cols, bool primary, bool unique,
                int nulls = kIndexNullsAllow) {
  IndexInfo ix;
  ix.name = name;
  ix.columns = std::move(cols);
  ix.primary_key = primary;
  ix.unique = unique;
  ix.index_nulls = nulls;
  return ix;
}

TEST_F(CatalogTest, IndexNamesBelongToTheirTable) {
  Run({"CREATE TABLE A (id LONG, a TEXT(5), b TEXT(5))", "CREATE TABLE B (id LONG)"});
  ASSERT_TRUE(conn_->AppendIndex("A", Index("PrimaryKey", {"id"}, true, false)).ok());
  ASSERT_TRUE(conn_->AppendIndex("B", Index("PrimaryKey", {"id"}, true, false)).ok());
  ASSERT_TRUE(conn_->AppendIndex("A", Index("Nomi", {"a", "b"}, false, true)).ok());
  ASSERT_TRUE(conn_->AppendIndex("B", Index("Nomi", {"id"}, false, false)).ok());
  std::vector<IndexInfo> idx;
  ASSERT_TRUE(conn_->Indexes("A", &idx).ok());
  ASSERT_EQ(idx.size(), 2u);
  EXPECT_EQ(idx[0].columns, (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(idx[0].unique);
  EXPECT_TRUE(idx[1].primary_key && idx[1].unique);
  EXPECT_EQ(idx[1].index_nulls, kIndexNullsDisallow);
  EXPECT_TRUE(Has(conn_->AppendIndex("A", Index("nomi", {"a"}, false, false)), "already exists"));
  EXPECT_TRUE(Has(conn_->AppendIndex("A", Index("Altro", {"a"}, true, false)), "already exists"));
  EXPECT_TRUE(Has(conn_->AppendIndex("A", Index("X", {"zz"}, false, false)), "non esiste."));
  Run({"INSERT INTO A VALUES (1, 'x', 'y')"});
  EXPECT_FALSE(conn_->Execute("INSERT INTO A VALUES (1, 'z', 'y')").ok());
  // Deleted by name, on its own table only.
  ASSERT_TRUE(conn_->DeleteIndex("B", "Nomi").ok());
  EXPECT_EQ(IndexNames("A").size(), 2u);
  EXPECT_TRUE(Has(conn_->DeleteIndex("B", "Nomi"), "non esiste."));
  ASSERT_TRUE(conn_->DeleteIndex("A", "PrimaryKey").ok());
  Run({"INSERT INTO A VALUES (1, 'z', 'y')"});
}

TEST_F(CatalogTest, IndexNullRules) {
  Run({"CREATE TABLE N (a LONG, b LONG)", "INSERT INTO N VALUES (Null, 1)",
       "INSERT INTO N VALUES (Null, 2)",
       "CREATE UNIQUE INDEX ua ON N (a) WITH IGNORE NULL"});
  Run({"INSERT INTO N VALUES (5, 3)"});
  EXPECT_FALSE(conn_->Execute("INSERT INTO N VALUES (5, 4)").ok());
  EXPECT_TRUE(Has(conn_->Execute("CREATE INDEX da ON N (a) WITH DISALLOW NULL"), "Null"));
  Run({"CREATE INDEX db ON N (b) WITH DISALLOW NULL"});
  EXPECT_TRUE(Has(conn_->Execute("INSERT INTO N VALUES (6, Null)"), "Null"));
  std::vector<IndexInfo> idx;
  ASSERT_TRUE(conn_->Indexes("N", &idx).ok());
  EXPECT_EQ(idx.at(0).index_nulls, kIndexNullsDisallow);
}

TEST_F(CatalogTest, RelationsEnforceTheirRules) {
  Run({"CREATE TABLE Cat (Id LONG CONSTRAINT pk PRIMARY KEY, Nome TEXT(10))",
       "CREATE TABLE Art (Id LONG, CatId LONG, Sub LONG)",
       "INSERT INTO Cat VALUES (1, 'a')", "INSERT INTO Cat VALUES (2, 'b')",
       "INSERT INTO Art VALUES (10, 1, Null)", "INSERT INTO Art VALUES (11, 2, Null)"});
  ASSERT_TRUE(conn_->AppendKey("Art", KeyInfo{"CatArt", "Cat", {{"CatId", "Id"}}, kRuleCascade,
                                               kRuleNone}).ok());
  std::vector<KeyInfo> keys;
  // Cascade update, no cascade delete.
  Run({"UPDATE Cat SET Id = 5 WHERE Id = 1"});
  EXPECT_EQ(Column("SELECT CatId FROM Art ORDER BY Id"), (std::vector<std::string>{"5", "2"}));
  EXPECT_TRUE(Has(conn_->Execute("DELETE FROM Cat WHERE Id = 2"), "FOREIGN KEY"));
  EXPECT_TRUE(Has(conn_->Execute("INSERT INTO Art VALUES (12, 9, Null)"), "FOREIGN KEY"));
  // Rebuilt with new rules in one step; a failing replacement keeps the old relation.
  ASSERT_TRUE(conn_->ReplaceKey("Art", KeyInfo{"catart", "Cat", {{"CatId", "Id"}}, kRuleNone,
                                                kRuleCascade}).ok());
  EXPECT_TRUE(Has(conn_->ReplaceKey("Art", KeyInfo{"CatArt", "Cat", {{"CatId", "Nome"}},
                                                    kRuleNone, kRuleNone}),
                  "unique index"));
  ASSERT_TRUE(conn_->Keys("Art", &keys).ok());
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].name, "CatArt");
  EXPECT_EQ(keys[0].delete_rule, kRuleCascade);
  Run({"DELETE FROM Cat WHERE Id = 2"});
  EXPECT_EQ(Column("SELECT Id FROM Art"), std::vector<std::string>{"10"});
  // Names are unique in the database; data that breaks a new relation refuses it.
  Run({"CREATE TABLE Altro (CatId LONG)", "INSERT INTO Altro VALUES (77)"});
  EXPECT_TRUE(Has(conn_->AppendKey("Altro", KeyInfo{"CatArt", "Cat", {{"CatId", "Id"}}, 0, 0}),
                  "already exists"));
  EXPECT_TRUE(Has(conn_->AppendKey("Altro", KeyInfo{"R2", "Cat", {{"CatId", "Id"}}, 0, 0}),
                  "referential integrity"));
  EXPECT_TRUE(Has(conn_->AppendKey("Altro", KeyInfo{"R3", "Nessuna", {{"CatId", "Id"}}, 0, 0}),
                  "non esiste."));
  // A parent in a relation cannot be dropped; relations go by name.
  EXPECT_TRUE(Has(conn_->Execute("DROP TABLE Cat"), "relationships"));
  EXPECT_TRUE(Has(conn_->DeleteKey("Art", "Nessuna"), "non esiste."));
  ASSERT_TRUE(conn_->DeleteKey("Art", "CatArt").ok());
  ASSERT_TRUE(conn_->Keys("Art", &keys).ok());
  EXPECT_TRUE(keys.empty());
  Run({"INSERT INTO Art VALUES (13, 99, Null)", "DROP TABLE Cat"});
}

TEST_F(CatalogTest, RebuildKeepsRowsIndexesRelationsViewsAndCounters) {
  Run({"CREATE TABLE Cat (Id COUNTER CONSTRAINT pkCat PRIMARY KEY, Nome TEXT(20))",
       "CREATE TABLE Art (Id COUNTER CONSTRAINT pkArt PRIMARY KEY, CatId LONG, Prezzo TEXT(10), "
       "Note TEXT(20), CONSTRAINT fk FOREIGN KEY (CatId) REFERENCES Cat (Id) ON DELETE CASCADE)",
       "CREATE TABLE Riga (ArtId LONG, Qta LONG, CONSTRAINT fkRiga FOREIGN KEY (ArtId) "
       "REFERENCES Art (Id) ON UPDATE CASCADE)",
       "CREATE INDEX ixNote ON Art (Note)",
       "INSERT INTO Cat (Nome) VALUES ('c1')",
       "INSERT INTO Art (CatId, Prezzo, Note) VALUES (1, '10', 'n1')",
       "INSERT INTO Art (CatId, Prezzo, Note) VALUES (1, '20', 'n2')",
       "INSERT INTO Riga VALUES (2, 5)",
       "CREATE VIEW Costosi AS SELECT Id, Prezzo FROM Art WHERE Prezzo > 15"});
  ASSERT_TRUE(conn_->SetAllowZeroLength("Art", "Note", true).ok());
  ASSERT_TRUE(conn_->SetSeed("Art", "Id", 40).ok());
  Run({"ALTER TABLE Art ALTER COLUMN Prezzo DOUBLE"});
  EXPECT_EQ(ColumnOf("Art", "Prezzo").type, kAdDouble);
  EXPECT_EQ(Column("SELECT Prezzo FROM Art ORDER BY Id"), (std::vector<std::string>{"10", "20"}));
  EXPECT_EQ(Raw("SELECT typeof(Prezzo) FROM Art LIMIT 1"), "real");
  EXPECT_EQ(Column("SELECT Id FROM Costosi"), std::vector<std::string>{"2"});
  EXPECT_TRUE(ColumnOf("Art", "Note").allow_zero_length);
  EXPECT_EQ(ColumnOf("Art", "Id").seed, 40);
  EXPECT_EQ(IndexNames("Art"), (std::vector<std::string>{"ixNote", "pkArt"}));
  // Both relations still hold after the rebuild, with their rules.
  Run({"INSERT INTO Art (CatId, Prezzo, Note) VALUES (1, 30, '')"});
  EXPECT_EQ(Text(First("SELECT max(Id) FROM Art")), "40");
  Run({"UPDATE Art SET Id = 7 WHERE Id = 2"});
  EXPECT_EQ(Column("SELECT ArtId FROM Riga"), std::vector<std::string>{"7"});
  EXPECT_TRUE(Has(conn_->Execute("INSERT INTO Riga VALUES (99, 1)"), "FOREIGN KEY"));
  Run({"DELETE FROM Riga", "DELETE FROM Cat"});
  EXPECT_TRUE(Column("[Art]").empty());
  EXPECT_TRUE(Has(conn_->Execute("ALTER TABLE Art ALTER COLUMN CatId TEXT(5)"), "relationships"));
  EXPECT_EQ(Raw("PRAGMA integrity_check"), "ok");
}

TEST_F(CatalogTest, DefaultsAreSetByRebuildAndReadBack) {
  Run({"CREATE TABLE D (Id COUNTER PRIMARY KEY, Stato LONG, Nome TEXT(10), Quando DATETIME)",
       "INSERT INTO D (Stato) VALUES (1)"});
  ASSERT_TRUE(conn_->SetDefault("D", "Stato", "5").ok());
  ASSERT_TRUE(conn_->SetDefault("D", "Nome", "\"abc\"").ok());
  ASSERT_TRUE(conn_->SetDefault("D", "Quando", "=Now()").ok());
  EXPECT_EQ(ColumnOf("D", "Stato").default_value, "5");
  EXPECT_EQ(ColumnOf("D", "Nome").default_value, "\"abc\"");
  Run({"INSERT INTO D (Stato) VALUES (2)", "INSERT INTO D (Nome) VALUES ('x')"});
  EXPECT_EQ(Column("SELECT Stato & ',' & Nome FROM D ORDER BY Id"),
            (std::vector<std::string>{"1,", "2,abc", "5,x"}));
  EXPECT_EQ(Text(First("SELECT count(*) FROM D WHERE Quando > #1/1/2020#")), "2");
  Run({"ALTER TABLE D ALTER COLUMN Stato SET DEFAULT 9", "INSERT INTO D (Nome) VALUES ('y')"});
  EXPECT_EQ(Text(First("SELECT Stato FROM D WHERE Nome = 'y'")), "9");
  ASSERT_TRUE(conn_->SetDefault("D", "Stato", "").ok());
  EXPECT_EQ(ColumnOf("D", "Stato").default_value, "");
  EXPECT_TRUE(Has(conn_->SetDefault("D", "Nessuno", "1"), "non esiste."));
  EXPECT_EQ(Text(First("SELECT max(Id) FROM D")), "4");
}

TEST_F(CatalogTest, RenamesCarryDependentsAlong) {
  Run({"CREATE TABLE P (Id COUNTER PRIMARY KEY, Nome TEXT(10))",
       "CREATE TABLE F (PId LONG, Val TEXT(10), CONSTRAINT PF FOREIGN KEY (PId) REFERENCES P (Id) "
       "ON DELETE CASCADE)",
       "CREATE INDEX ixVal ON F (Val)",
       "INSERT INTO P (Nome) VALUES ('a')", "INSERT INTO F VALUES (1, 'v')",
       "CREATE VIEW VF AS SELECT Val FROM F WHERE PId = 1"});
  ASSERT_TRUE(conn_->RenameColumn("F", "Val", "Valore").ok());
  ASSERT_TRUE(conn_->RenameColumn("F", "PId", "ParentId").ok());
  ASSERT_TRUE(conn_->RenameTable("P", "Padre").ok());
  ASSERT_TRUE(conn_->RenameTable("F", "Figlio").ok());
  EXPECT_EQ(Column("VF"), std::vector<std::string>{"v"});
  std::string sql;
  ASSERT_TRUE(conn_->ViewCommand("VF", &sql).ok());
  EXPECT_EQ(sql, "SELECT [Valore] FROM [Figlio] WHERE [ParentId] = 1");
  std::vector<IndexInfo> idx;
  ASSERT_TRUE(conn_->Indexes("Figlio", &idx).ok());
  EXPECT_EQ(idx.at(0).columns, std::vector<std::string>{"Valore"});
  std::vector<KeyInfo> keys;
  ASSERT_TRUE(conn_->Keys("Figlio", &keys).ok());
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].related_table, "Padre");
  EXPECT_EQ(keys[0].columns[0].first, "ParentId");
  // Counters and zero-length rules follow the renamed table.
  Run({"INSERT INTO Padre (Nome) VALUES ('b')"});
  EXPECT_EQ(Text(First("SELECT max(Id) FROM Padre")), "2");
  EXPECT_TRUE(Has(conn_->Execute("INSERT INTO Figlio VALUES (2, '')"), "zero-length"));
  Run({"DELETE FROM Padre WHERE Id = 1"});
  EXPECT_TRUE(Column("[Figlio]").empty());
  // A change of case only is a rename too.
  ASSERT_TRUE(conn_->RenameTable("Padre", "PADRE").ok());
  ASSERT_TRUE(conn_->RenameColumn("PADRE", "Nome", "NOME").ok());
  EXPECT_EQ(ColumnOf("PADRE", "NOME").type, kAdVarWChar);
  EXPECT_TRUE(Has(conn_->RenameTable("PADRE", "Figlio"), "already exists"));
  EXPECT_TRUE(Has(conn_->RenameTable("Nessuna", "X"), "non esiste."));
  EXPECT_TRUE(Has(conn_->RenameColumn("PADRE", "Id", "nome"), "already exists"));
  EXPECT_TRUE(Has(conn_->RenameColumn("PADRE", "Nessuno", "X"), "non esiste."));
}

TEST_F(CatalogTest, ColumnsInIndexesOrRelationsAreNotDropped) {
  Run({"CREATE TABLE A (Id LONG PRIMARY KEY, x LONG, y TEXT(5))", "CREATE INDEX ix ON A (x)",
       "INSERT INTO A VALUES (1, 2, 'k')"});
  EXPECT_TRUE(Has(conn_->Execute("ALTER TABLE A DROP COLUMN x"), "part of an index"));
  Run({"ALTER TABLE A DROP COLUMN y"});
  EXPECT_EQ(Column("SELECT x FROM A"), std::vector<std::string>{"2"});
  EXPECT_EQ(IndexNames("A").size(), 2u);
}

TEST_F(CatalogTest, ConstraintsAddedAndDroppedOnExistingTables) {
  Run({"CREATE TABLE P (Id LONG, Codice TEXT(5))", "CREATE TABLE F (PId LONG)",
       "INSERT INTO P VALUES (1, 'a')", "INSERT INTO F VALUES (1)",
       "ALTER TABLE P ADD CONSTRAINT pkP PRIMARY KEY (Id)",
       "ALTER TABLE P ADD CONSTRAINT uqCodice UNIQUE (Codice)",
       "ALTER TABLE F ADD CONSTRAINT fkP FOREIGN KEY (PId) REFERENCES P (Id) ON DELETE CASCADE"});
  EXPECT_TRUE(Has(conn_->Execute("ALTER TABLE P ADD CONSTRAINT pk2 PRIMARY KEY (Codice)"),
                  "already exists"));
  EXPECT_FALSE(conn_->Execute("INSERT INTO P VALUES (2, 'A')").ok());
  EXPECT_TRUE(Has(conn_->DeleteIndex("P", "pkP"), "relationship"));
  Run({"DELETE FROM P WHERE Id = 1"});
  EXPECT_TRUE(Column("[F]").empty());
  Run({"ALTER TABLE F DROP CONSTRAINT fkP", "ALTER TABLE P DROP CONSTRAINT uqCodice",
       "INSERT INTO P VALUES (2, 'a')", "INSERT INTO P VALUES (3, 'a')"});
  EXPECT_EQ(IndexNames("P"), std::vector<std::string>{"pkP"});
  EXPECT_TRUE(Has(conn_->Execute("ALTER TABLE F DROP CONSTRAINT fkP"), "non esiste."));
}

}  // namespace
}  // namespace mlx::db::testing
