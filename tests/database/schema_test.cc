// The catalogue commands and operations on real database files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/aiuto.h"
#include "database/schema.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

class Schema : public ::testing::Test {
 protected:
  void SetUp() override { db_ = prova::NuovoDatabase(a_); }
  // Runs the lines on the test database with the log on.
  void Esegui(std::vector<std::string> righe) {
    righe.insert(righe.begin(), {"MSGN", "LOGY", "*" + db_ + "*"});
    a_.Esegui(righe);
  }
  std::vector<std::string> Righe(const std::string& sql) { return prova::Righe(a_, db_, sql); }
  std::string Sql(const std::string& sql) { return prova::Esegui(a_, db_, sql); }
  std::unique_ptr<db::Connection> Apri() { return prova::Apri(a_, db_); }
  std::vector<db::IndexInfo> Indici(const std::string& tabella) {
    std::vector<db::IndexInfo> indici;
    EXPECT_TRUE(Apri()->Indexes(tabella, &indici).ok());
    return indici;
  }
  std::vector<db::KeyInfo> Chiavi(const std::string& tabella) {
    std::vector<db::KeyInfo> chiavi;
    EXPECT_TRUE(Apri()->Keys(tabella, &chiavi).ok());
    return chiavi;
  }
  const db::IndexInfo* Indice(const std::vector<db::IndexInfo>& indici, const std::string& nome) {
    for (const db::IndexInfo& i : indici) {
      if (i.name == nome) return &i;
    }
    return nullptr;
  }

  Ambiente a_;
  std::string db_;
};

TEST_F(Schema, TabellaCreataVuotaEColonneDiTesto) {
  Esegui({"[Clienti]", ">", "+,ID,COUNTER", "+,Nome,text(20)", "+,[Nome cliente],TEXT(30)",
          "+,Note,MEMO", "+,Codice,TEXT"});
  EXPECT_TRUE(a_.ui.dialoghi.empty()) << prova::TestiDialoghi(a_)[0];
  // The text columns added with a size, and the memo, accept zero-length text at once.
  EXPECT_EQ(Sql("INSERT INTO Clienti (Nome, [Nome cliente], Note) VALUES ('', '', '')"), "");
  // TEXT without a size is neither: it refuses it until allowed.
  EXPECT_NE(Sql("INSERT INTO Clienti (Codice) VALUES ('')"), "");
  Esegui({"[Clienti]", "Z,Codice,True", "Z,Nome,False"});
  EXPECT_EQ(Sql("INSERT INTO Clienti (Codice) VALUES ('')"), "");
  EXPECT_NE(Sql("INSERT INTO Clienti (Nome) VALUES ('')"), "");
  auto conn = Apri();
  EXPECT_TRUE(schema::LeggiLunghezzaZero(*conn, "clienti", "codice"));
  EXPECT_FALSE(schema::LeggiLunghezzaZero(*conn, "Clienti", "Nome"));
}

TEST_F(Schema, LunghezzaZeroSoloConIlNomeEsattoDellaTabella) {
  Esegui({"[Clienti]", ">", "+,ID,LONG", "[clienti]", "+,Nome,TEXT(20)"});
  // The column is added (SQL names ignore case), but the permission looks for the table by
  // its exact name and finds none: nothing changes and nothing is reported.
  EXPECT_TRUE(a_.ui.dialoghi.empty());
  EXPECT_THAT(Righe("SELECT COUNT(*) FROM Clienti"), ElementsAre("0"));
  EXPECT_NE(Sql("INSERT INTO Clienti (Nome) VALUES ('')"), "");
}

TEST_F(Schema, GiaEsistenteEMancantePassanoInSilenzio) {
  Esegui({"[Clienti]", ">", "+,ID,LONG", ">", "+,ID,LONG", "-,Manca", "-#,Manca", "-@,Manca",
          "M@,Manca,True"});
  EXPECT_TRUE(a_.ui.dialoghi.empty()) << prova::TestiDialoghi(a_)[0];
  EXPECT_THAT(a_.Log(), ElementsAre("Log attivato", "Aperto database " + db_, "Tabella Clienti",
                                    "Creata tabella Clienti", "Aggiunto campo ID di tipo LONG"));
}

TEST_F(Schema, IndiciSostituitiPrimariEMultiColonna) {
  Esegui({"[Clienti]", ">", "+,ID,LONG", "+,Nome,TEXT(20)", "+,Cognome,TEXT(20)", "+,Note,LONG",
          "#,IdxNome,Nome", "#,IdxNome,Cognome;Nome,False,True", "#,PK,ID,TRUE,False,True",
          "#,IdxNote,Note,,,vero"});
  ASSERT_TRUE(a_.ui.dialoghi.empty()) << prova::TestiDialoghi(a_)[0];
  const std::vector<db::IndexInfo> indici = Indici("Clienti");
  EXPECT_EQ(indici.size(), 3u);
  const db::IndexInfo* nome = Indice(indici, "IdxNome");
  ASSERT_NE(nome, nullptr);
  EXPECT_THAT(nome->columns, ElementsAre("Cognome", "Nome"));
  EXPECT_TRUE(nome->unique);
  EXPECT_FALSE(nome->primary_key);
  const db::IndexInfo* pk = Indice(indici, "PK");
  ASSERT_NE(pk, nullptr);
  // A primary index is unique and admits no nulls whatever its other flags say.
  EXPECT_TRUE(pk->primary_key);
  EXPECT_TRUE(pk->unique);
  EXPECT_EQ(pk->index_nulls, db::kIndexNullsDisallow);
  const db::IndexInfo* note = Indice(indici, "IdxNote");
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->index_nulls, db::kIndexNullsIgnore);
  EXPECT_EQ(Sql("INSERT INTO Clienti (ID, Nome, Cognome) VALUES (1, 'A', 'B')"), "");
  EXPECT_NE(Sql("INSERT INTO Clienti (ID, Nome, Cognome) VALUES (2, 'A', 'B')"), "");
  EXPECT_NE(Sql("INSERT INTO Clienti (ID, Nome, Cognome) VALUES (NULL, 'C', 'D')"), "");
}

TEST_F(Schema, RelazioniConESenzaCascata) {
  Esegui({"[Clienti]", ">", "+,ID,LONG", "#,PK,ID,TRUE", "[Ordini]", ">", "+,ID,LONG",
          "+,IdCliente,LONG", "@,RelCO,IdCliente,Clienti,ID"});
  ASSERT_TRUE(a_.ui.dialoghi.empty()) << prova::TestiDialoghi(a_)[0];
  std::vector<db::KeyInfo> chiavi = Chiavi("Ordini");
  ASSERT_EQ(chiavi.size(), 1u);
  EXPECT_EQ(chiavi[0].related_table, "Clienti");
  EXPECT_EQ(chiavi[0].update_rule, db::kRuleNone);
  EXPECT_EQ(chiavi[0].delete_rule, db::kRuleNone);
  EXPECT_EQ(Sql("INSERT INTO Clienti VALUES (1)"), "");
  EXPECT_EQ(Sql("INSERT INTO Ordini VALUES (10, 1)"), "");
  EXPECT_NE(Sql("INSERT INTO Ordini VALUES (11, 2)"), "");
  EXPECT_NE(Sql("DELETE FROM Clienti WHERE ID = 1"), "");

  // Rebuilt with both rules on: same name and columns, deletes cascade.
  Esegui({"[Ordini]", "M@,RelCO,True,-1"});
  ASSERT_TRUE(a_.ui.dialoghi.empty()) << prova::TestiDialoghi(a_)[0];
  chiavi = Chiavi("Ordini");
  ASSERT_EQ(chiavi.size(), 1u);
  EXPECT_EQ(chiavi[0].name, "RelCO");
  ASSERT_EQ(chiavi[0].columns.size(), 1u);
  EXPECT_EQ(chiavi[0].columns[0], std::make_pair(std::string("IdCliente"), std::string("ID")));
  EXPECT_EQ(chiavi[0].update_rule, db::kRuleCascade);
  EXPECT_EQ(chiavi[0].delete_rule, db::kRuleCascade);
  EXPECT_EQ(Sql("DELETE FROM Clienti WHERE ID = 1"), "");
  EXPECT_THAT(Righe("SELECT COUNT(*) FROM Ordini"), ElementsAre("0"));

  // And back to none, explicitly.
  Esegui({"[Ordini]", "M@,RelCO"});
  chiavi = Chiavi("Ordini");
  ASSERT_EQ(chiavi.size(), 1u);
  EXPECT_EQ(chiavi[0].delete_rule, db::kRuleNone);
  Esegui({"[Ordini]", "-@,RelCO"});
  EXPECT_TRUE(Chiavi("Ordini").empty());
}

TEST_F(Schema, RelazioneAPiuColonneEListaCorta) {
  Esegui({"[Listini]", ">", "+,Anno,LONG", "+,Codice,LONG", "#,PK,Anno;Codice,TRUE", "[Righe]",
          ">", "+,Anno,LONG", "+,Cod,LONG", "@,RelLR,Anno;Cod,Listini,Anno;Codice,,True",
          "@,RelCorta,Anno;Cod,Listini,Anno"});
  // The second relation has a partner for only one of its columns: nothing is appended and
  // the failure is shown.
  ASSERT_EQ(a_.ui.dialoghi.size(), 1u);
  EXPECT_THAT(a_.ui.dialoghi[0].testo, ::testing::HasSubstr("Cod"));
  const std::vector<db::KeyInfo> chiavi = Chiavi("Righe");
  ASSERT_EQ(chiavi.size(), 1u);
  EXPECT_EQ(chiavi[0].name, "RelLR");
  ASSERT_EQ(chiavi[0].columns.size(), 2u);
  EXPECT_EQ(chiavi[0].columns[1], std::make_pair(std::string("Cod"), std::string("Codice")));
  EXPECT_EQ(chiavi[0].update_rule, db::kRuleNone);
  EXPECT_EQ(chiavi[0].delete_rule, db::kRuleCascade);
}

TEST_F(Schema, QuerySalvateAggiunteSostituiteEliminate) {
  Esegui({"[Clienti]", ">", "+,ID,LONG", "SQL,INSERT INTO Clienti VALUES (1)",
          "SQL,INSERT INTO Clienti VALUES (2)", "+Q,Q1,SELECT * FROM Clienti",
          "+Q,Q1,SELECT ID FROM Clienti WHERE ID > 1", "GET,N,SELECT COUNT(*) FROM Q1",
          "=,V,{<N>}"});
  ASSERT_TRUE(a_.ui.dialoghi.empty()) << prova::TestiDialoghi(a_)[0];
  EXPECT_EQ(a_.Log().back(), "Variabile V = 1");
  std::string testo;
  auto conn = Apri();
  ASSERT_TRUE(conn->ViewCommand("Q1", &testo).ok());
  EXPECT_EQ(testo, "SELECT ID FROM Clienti WHERE ID > 1");
  EXPECT_TRUE(schema::EsisteQuery(*conn, "Q1"));
  EXPECT_TRUE(schema::EsisteQuery(*conn, "Clienti"));
  EXPECT_TRUE(schema::EsisteTabella(*conn, "Clienti"));
  EXPECT_FALSE(schema::EsisteTabella(*conn, "Manca"));
  EXPECT_FALSE(schema::EsisteQuery(*conn, "Manca"));
  // A table is not a query: its text cannot be replaced.
  EXPECT_FALSE(schema::AggiungiQuery(*conn, "Clienti", "SELECT 1"));
  EXPECT_FALSE(schema::EliminaQuery(*conn, "Manca"));
  conn.reset();
  Esegui({"-Q,Q1"});
  EXPECT_FALSE(schema::EsisteQuery(*Apri(), "Q1"));
}

TEST_F(Schema, RinominePortanoConSeIndiciELeRelazioni) {
  Esegui({"[Clienti]", ">", "+,ID,LONG", "+,Nome,TEXT(20)", "#,PK,ID,TRUE", "#,IdxNome,Nome",
          "[Ordini]", ">", "+,IdCliente,LONG", "@,RelCO,IdCliente,Clienti,ID", "[Clienti]",
          "$,Nome,Denominazione", "$T,Anagrafica", "+,Dopo,LONG"});
  ASSERT_TRUE(a_.ui.dialoghi.empty()) << prova::TestiDialoghi(a_)[0];
  // The current table keeps the old name: the line after the rename finds no such table, which
  // passes in silence.
  EXPECT_NE(a_.Log().back(), "Aggiunto campo Dopo di tipo LONG");
  EXPECT_THAT(Righe("SELECT Dopo FROM Anagrafica")[0], ::testing::StartsWith("ERRORE"));
  const db::IndexInfo* nome = nullptr;
  std::vector<db::IndexInfo> indici = Indici("Anagrafica");
  nome = Indice(indici, "IdxNome");
  ASSERT_NE(nome, nullptr);
  EXPECT_THAT(nome->columns, ElementsAre("Denominazione"));
  const std::vector<db::KeyInfo> chiavi = Chiavi("Ordini");
  ASSERT_EQ(chiavi.size(), 1u);
  EXPECT_EQ(chiavi[0].related_table, "Anagrafica");
  EXPECT_THAT(a_.Log(), ::testing::Contains("Rinominata tabella Clienti in Anagrafica"));
}

TEST_F(Schema, DefaultValeDalProssimoInserimento) {
  Esegui({"[Clienti]", ">", "+,ID,LONG", "+,Stato,TEXT(1)", "SQL,INSERT INTO Clienti (ID) VALUES (1)",
          "D,Stato,'A'", "SQL,INSERT INTO Clienti (ID) VALUES (2)"});
  ASSERT_TRUE(a_.ui.dialoghi.empty()) << prova::TestiDialoghi(a_)[0];
  EXPECT_THAT(Righe("SELECT ID, Stato FROM Clienti ORDER BY ID"), ElementsAre("1|<null>", "2|A"));
  EXPECT_THAT(a_.Log(), ::testing::Contains("Modificato valore default campo Stato =  SET DEFAULT 'A'"));
}

TEST_F(Schema, CopiaTraTabelleSaltaColonneERigheCheNonVanno) {
  Esegui({"[Vecchia]", ">", "+,ID,LONG", "+,Nome,TEXT(20)", "+,Extra,LONG",
          "SQL,INSERT INTO Vecchia VALUES (1, 'a', 9)", "SQL,INSERT INTO Vecchia VALUES (2, 'b', 9)",
          "SQL,INSERT INTO Vecchia VALUES (3, 'c', 9)", "[Nuova]", ">", "+,ID,LONG",
          "+,Nome,TEXT(20)", "+,Stato,TEXT(1)", "D,Stato,'N'", "#,PK,ID,TRUE",
          "SQL,INSERT INTO Nuova (ID, Nome) VALUES (2, 'x')", "<T,Vecchia"});
  ASSERT_TRUE(a_.ui.dialoghi.empty()) << prova::TestiDialoghi(a_)[0];
  // The row with a key already present is skipped; the extra column is ignored; the column
  // the source lacks takes its default.
  EXPECT_THAT(Righe("SELECT ID, Nome, Stato FROM Nuova ORDER BY ID"),
              ElementsAre("1|a|N", "2|x|N", "3|c|N"));
  // A table copied into itself doubles once and ends.
  Esegui({"[Vecchia]", "<T,Vecchia", "<T,SELECT * FROM Vecchia WHERE ID = 1"});
  EXPECT_THAT(Righe("SELECT COUNT(*) FROM Vecchia"), ElementsAre("8"));
  // A source that does not exist is an error of the line.
  Esegui({"[Nuova]", "<T,Manca"});
  EXPECT_EQ(a_.ui.dialoghi.size(), 1u);
}

TEST_F(Schema, GetScriveITestiDeiValori) {
  Esegui({"[T]", ">", "+,N,LONG", "+,R,DOUBLE", "+,D,DATETIME", "+,B,YESNO", "+,C,CURRENCY",
          "+,S,TEXT(10)", "+,Z,LONG",
          "SQL,INSERT INTO T VALUES (-7, 2.5, #12/05/2026 21:03:07#, True, 12.3400, 'ciao', NULL)",
          "GET,VN,SELECT N FROM T", "GET,VR,SELECT R FROM T", "GET,VD,SELECT D FROM T",
          "GET,VB,SELECT B FROM T", "GET,VC,SELECT C FROM T", "GET,VS,SELECT S FROM T",
          "GET,VZ,SELECT Z FROM T",
          "=,TUTTI,{<VN>}|{<VR>}|{<VD>}|{<VB>}|{<VC>}|{<VS>}|{<VZ>}|"});
  ASSERT_TRUE(a_.ui.dialoghi.empty()) << prova::TestiDialoghi(a_)[0];
  EXPECT_EQ(a_.Log().back(), "Variabile TUTTI = -7|2.5|05/12/2026 21:03:07|True|12.34|ciao||");
  EXPECT_THAT(a_.Log(), ::testing::Contains("Variabile VN da SQL SELECT N FROM T"));
}

TEST_F(Schema, GetSenzaRigheOConErroriSilenziati) {
  Esegui({"[T]", ">", "+,N,LONG", "=,V,prima", "GET,V,SELECT N FROM T", "=,W,{<V>}"});
  ASSERT_EQ(a_.ui.dialoghi.size(), 1u);
  EXPECT_THAT(a_.ui.dialoghi[0].testo, ::testing::HasSubstr("EOF"));
  // After the box the database is closed; the variable kept its value.
  EXPECT_EQ(a_.Log().back(), "Variabile W = prima");

  // With errors silenced the line is logged and the variable keeps its value.
  Esegui({"ERRN", "=,V,prima", "GET,V,SELECT N FROM T", "=,W,{<V>}"});
  EXPECT_EQ(a_.ui.dialoghi.size(), 1u);
  const std::vector<std::string> log = a_.Log();
  EXPECT_EQ(log[log.size() - 2], "Variabile V da SQL SELECT N FROM T");
  EXPECT_EQ(log.back(), "Variabile W = prima");
}

}  // namespace
}  // namespace mlx
