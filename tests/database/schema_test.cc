// The catalogue commands and operations on real database files.
#include "database/schema.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/aiuto.h"

namespace mlx {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

class Schema : public prova::ConDatabase {
 protected:
  // Runs the lines and expects no dialog.
  void Esegui(std::vector<std::string> righe) {
    ConDatabase::Esegui(std::move(righe));
    EXPECT_TRUE(a_.ui.dialoghi.empty()) << prova::PrimoDialogo(a_);
  }
  std::string Sql(const std::string& sql) { return prova::Esegui(a_, db_, sql); }
  db::IndexInfo Indice(const std::string& tabella, const std::string& nome) {
    std::vector<db::IndexInfo> indici;
    EXPECT_TRUE(prova::Apri(a_, db_)->Indexes(tabella, &indici).ok());
    for (const db::IndexInfo& i : indici) {
      if (i.name == nome) return i;
    }
    return {};
  }
  std::vector<db::KeyInfo> Chiavi(const std::string& tabella) {
    std::vector<db::KeyInfo> chiavi;
    EXPECT_TRUE(prova::Apri(a_, db_)->Keys(tabella, &chiavi).ok());
    return chiavi;
  }
};

TEST_F(Schema, LunghezzaZero) {
  Esegui({"[Clienti]", ">", "+,Nome,text(20)", "+,[Nome cliente],TEXT(30)", "+,Note,MEMO",
          "+,Codice,TEXT", "[clienti]", "+,Altro,TEXT(5)"});
  // Columns added with a sized text type or as memo accept zero-length text at once; TEXT
  // without a size does not, nor a column added under a table line whose case differs.
  EXPECT_EQ(Sql("INSERT INTO Clienti (Nome, [Nome cliente], Note) VALUES ('', '', '')"), "");
  EXPECT_NE(Sql("INSERT INTO Clienti (Codice) VALUES ('')"), "");
  EXPECT_NE(Sql("INSERT INTO Clienti (Altro) VALUES ('')"), "");
  Esegui({"[Clienti]", "Z,Codice,True", "Z,Nome,False"});
  EXPECT_EQ(Sql("INSERT INTO Clienti (Codice) VALUES ('')"), "");
  EXPECT_NE(Sql("INSERT INTO Clienti (Nome) VALUES ('')"), "");
  EXPECT_TRUE(schema::LeggiLunghezzaZero(*prova::Apri(a_, db_), "clienti", "codice"));
}

TEST_F(Schema, Indici) {
  Esegui({"[T]", ">", "+,ID,LONG", "+,Nome,TEXT(20)", "+,Cognome,TEXT(20)", "+,Note,LONG",
          "#,IdxNome,Nome", "#,IdxNome,Cognome;Nome,False,True", "#,PK,ID,TRUE,False,True",
          "#,IdxNote,Note,,,vero"});
  const db::IndexInfo nome = Indice("T", "IdxNome");
  EXPECT_THAT(nome.columns, ElementsAre("Cognome", "Nome"));
  EXPECT_TRUE(nome.unique);
  // A primary index is unique and admits no nulls whatever its other flags say.
  const db::IndexInfo pk = Indice("T", "PK");
  EXPECT_TRUE(pk.primary_key && pk.unique);
  EXPECT_EQ(pk.index_nulls, db::kIndexNullsDisallow);
  EXPECT_EQ(Indice("T", "IdxNote").index_nulls, db::kIndexNullsIgnore);
  EXPECT_EQ(Sql("INSERT INTO T (ID, Nome, Cognome) VALUES (1, 'A', 'B')"), "");
  EXPECT_NE(Sql("INSERT INTO T (ID, Nome, Cognome) VALUES (2, 'A', 'B')"), "");
  EXPECT_NE(Sql("INSERT INTO T (ID, Nome, Cognome) VALUES (NULL, 'C', 'D')"), "");
}

TEST_F(Schema, Relazioni) {
  Esegui({"[Clienti]", ">", "+,ID,LONG", "+,Anno,LONG", "#,PK,ID;Anno,TRUE", "[Ordini]", ">",
          "+,IdCliente,LONG", "+,Anno,LONG", "@,RelCO,IdCliente;Anno,Clienti,ID;Anno",
          "SQL,INSERT INTO Clienti VALUES (1, 2026)", "SQL,INSERT INTO Ordini VALUES (1, 2026)"});
  EXPECT_NE(Sql("INSERT INTO Ordini VALUES (2, 2026)"), "");
  EXPECT_NE(Sql("DELETE FROM Clienti"), "");
  // Rebuilt with both rules on: same name and columns, and deletes cascade.
  Esegui({"[Ordini]", "M@,RelCO,True,-1"});
  std::vector<db::KeyInfo> chiavi = Chiavi("Ordini");
  ASSERT_EQ(chiavi.size(), 1u);
  EXPECT_EQ(chiavi[0].name, "RelCO");
  EXPECT_THAT(chiavi[0].columns, ElementsAre(Pair("IdCliente", "ID"), Pair("Anno", "Anno")));
  EXPECT_EQ(chiavi[0].update_rule, db::kRuleCascade);
  EXPECT_EQ(Sql("DELETE FROM Clienti"), "");
  EXPECT_THAT(Righe("SELECT COUNT(*) FROM Ordini"), ElementsAre("0"));
  // A relation that is not there passes in silence.
  Esegui({"[Ordini]", "M@,RelCO", "-@,RelCO", "-@,RelCO", "M@,RelCO"});
  EXPECT_TRUE(Chiavi("Ordini").empty());
  // A related list shorter than the columns appends nothing and is reported.
  a_.Esegui({"MSGN", "*" + db_ + "*", "[Ordini]", "@,RelCorta,IdCliente;Anno,Clienti,ID"});
  EXPECT_EQ(a_.ui.dialoghi.size(), 1u);
  EXPECT_TRUE(Chiavi("Ordini").empty());
}

TEST_F(Schema, QuerySalvate) {
  // A query that cannot run is replaced like any other.
  Esegui({"[T]", ">", "+,ID,LONG", "SQL,INSERT INTO T VALUES (1)", "SQL,INSERT INTO T VALUES (2)",
          "+Q,Q1,SELECT Manca FROM T", "+Q,Q1,SELECT * FROM T",
          "+Q,Q1,SELECT ID FROM T WHERE ID > 1", "GET,N,SELECT COUNT(*) FROM Q1", "=,V,{<N>}",
          "-Q,Q1"});
  EXPECT_EQ(a_.Log()[a_.Log().size() - 2], "Variabile V = 1");
  auto conn = prova::Apri(a_, db_);
  EXPECT_FALSE(schema::EsisteQuery(*conn, "Q1"));
  EXPECT_TRUE(schema::EsisteQuery(*conn, "T"));
  EXPECT_FALSE(schema::AggiungiQuery(*conn, "T", "SELECT 1"));
}

TEST_F(Schema, RinomineEDefault) {
  Esegui({"[Clienti]", ">", "+,ID,LONG", "+,Nome,TEXT(20)", "#,PK,ID,TRUE", "#,IdxNome,Nome",
          "[Ordini]", ">", "+,IdCliente,LONG", "@,RelCO,IdCliente,Clienti,ID", "[Clienti]",
          "$,Nome,Denominazione", "D,Denominazione,'Nuovo'", "$T,Anagrafica",
          "SQL,INSERT INTO Anagrafica (ID) VALUES (1)"});
  EXPECT_THAT(Indice("Anagrafica", "IdxNome").columns, ElementsAre("Denominazione"));
  EXPECT_EQ(Chiavi("Ordini")[0].related_table, "Anagrafica");
  EXPECT_THAT(Righe("SELECT Denominazione FROM Anagrafica"), ElementsAre("Nuovo"));
  EXPECT_THAT(
      a_.Log(),
      ::testing::Contains("Modificato valore default campo Denominazione =  SET DEFAULT 'Nuovo'"));
}

TEST_F(Schema, CopiaTraTabelle) {
  Esegui({"[Vecchia]", ">", "+,ID,LONG", "+,Nome,TEXT(20)", "+,Extra,LONG",
          "SQL,INSERT INTO Vecchia VALUES (1, 'a', 9)",
          "SQL,INSERT INTO Vecchia VALUES (2, 'b', 9)",
          "SQL,INSERT INTO Vecchia VALUES (3, 'c', 9)", "[Nuova]", ">", "+,ID,LONG",
          "+,Nome,TEXT(20)", "+,Stato,TEXT(1)", "D,Stato,'N'", "#,PK,ID,TRUE",
          "SQL,INSERT INTO Nuova (ID, Nome) VALUES (2, 'x')", "<T,Vecchia"});
  // The row whose key is taken is skipped, the extra column ignored, the missing one defaulted.
  EXPECT_THAT(Righe("SELECT ID, Nome, Stato FROM Nuova ORDER BY ID"),
              ElementsAre("1|a|N", "2|x|N", "3|c|N"));
  // A table copied into itself doubles once and the copy ends.
  Esegui({"[Vecchia]", "<T,Vecchia", "<T,SELECT * FROM Vecchia WHERE ID = 1"});
  EXPECT_THAT(Righe("SELECT COUNT(*) FROM Vecchia"), ElementsAre("8"));
}

TEST_F(Schema, Get) {
  Esegui({"[T]", ">", "+,N,LONG", "+,R,DOUBLE", "+,D,DATETIME", "+,B,YESNO", "+,C,CURRENCY",
          "+,Z,LONG",
          "SQL,INSERT INTO T VALUES (-7, 2.5, #12/05/2026 21:03:07#, True, 12.34, NULL)",
          "GET,VN,SELECT N FROM T", "GET,VR,SELECT R FROM T", "GET,VD,SELECT D FROM T",
          "GET,VB,SELECT B FROM T", "GET,VC,SELECT C FROM T", "GET,VZ,SELECT Z FROM T",
          "=,TUTTI,{<VN>}|{<VR>}|{<VD>}|{<VB>}|{<VC>}|{<VZ>}|", "ERRN",
          "GET,VN,SELECT N FROM T WHERE N > 0", "=,DOPO,{<VN>}"});
  const std::vector<std::string> log = a_.Log();
  EXPECT_EQ(log[log.size() - 4], "Variabile TUTTI = -7|2.5|05/12/2026 21:03:07|True|12.34||");
  // No row: the line is marked failed, logged, and the variable keeps its value.
  EXPECT_EQ(log[log.size() - 2], "Variabile VN da SQL SELECT N FROM T WHERE N > 0");
  EXPECT_EQ(log.back(), "Variabile DOPO = -7");
}

}  // namespace
}  // namespace mlx
