// The statements and sentences of the database commands, against the recording connection.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/aiuto.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

// Runs the lines on a database of the recording connection and answers their sentences.
std::vector<std::string> Esegui(Ambiente& a, std::vector<std::string> righe, bool vero = true) {
  righe.insert(righe.begin(), {"MSGN", "*Archivio.mdb*", "[Clienti]"});
  std::vector<std::string> frasi = prova::Frasi(a, righe, vero);
  frasi.erase(frasi.begin(), frasi.begin() + 3);
  return frasi;
}

TEST(ComandiSql, IstruzioniEFrasi) {
  Ambiente a;
  const auto frasi =
      Esegui(a, {"=,A,{", "=,B,<SPAZIO>}", "+,[Nome cliente],LONG{<A>}{<B>}", "-,Vecchio",
                 "!,Prezzo,DOUBLE", "0,Note", "M,Stato,1,Codice IN (1,2,3)", "M,Stato,'A'",
                 "-#,IdxNome", "/", "X", ">"});
  // The type is expanded a second time; every blank of the pieces is kept.
  EXPECT_THAT(
      a.database.eseguite,
      ElementsAre("ALTER TABLE [Clienti] ADD COLUMN [Nome cliente] LONG ",
                  "ALTER TABLE [Clienti] DROP COLUMN Vecchio ",
                  "ALTER TABLE [Clienti] ALTER COLUMN Prezzo DOUBLE",
                  "UPDATE [Clienti] SET Note  = NULL",
                  "UPDATE [Clienti] SET Stato  = 1 WHERE Codice IN (1,2,3)",
                  "UPDATE [Clienti] SET Stato  = 'A'", "DROP INDEX IdxNome ON [Clienti] ",
                  "DELETE * FROM [Clienti] ", "DROP TABLE [Clienti] ", "CREATE TABLE [Clienti] "));
  EXPECT_THAT(frasi,
              ElementsAre("Variabile A = {", "Variabile B = <SPAZIO>}",
                          "Aggiunto campo [Nome cliente] di tipo LONG ", "Eliminato campo Vecchio",
                          "Modificato campo Prezzo nel tipo DOUBLE", "Svuotato campo Note",
                          "Modificato valore campo Stato = 1 quando Codice IN (1,2,3)",
                          "Modificato valore campo Stato = 'A'",
                          "Eliminato indice IdxNome da Clienti", "Svuotata tabella Clienti",
                          "Eliminata tabella Clienti", "Creata tabella Clienti"));
}

TEST(ComandiSql, ASeccoSoloFrasi) {
  Ambiente a;
  const auto frasi = Esegui(
      a,
      {"X", "SQL,INSERT INTO T VALUES (1,'a,b')", "#,PK,ID,TRUE", "<,dati.txt,;", "<T,Altri",
       "$T,Nuova", "$,A,B", "D,A,0", "Z,A,vero", "Z,A", "@,R,IdCli,Ordini,Id", "M@,R,-1", "-@,R"},
      false);
  // Nothing reaches the database: the recording connection would refuse every catalogue call.
  EXPECT_TRUE(a.database.eseguite.empty());
  EXPECT_TRUE(a.ui.dialoghi.empty());
  EXPECT_THAT(
      frasi,
      ElementsAre("Eliminata tabella Clienti", "Eseguita query INSERT INTO T VALUES (1,'a,b')",
                  "Creato indice PK(ID) Primario=True Univoco=False Nulli=False",
                  "Dati importati in Clienti da dati.txt", "Importati dati da tabella Altri",
                  "Rinominata tabella Clienti in Nuova", "Rinominato campo A in B",
                  "Modificato valore default campo A =  SET DEFAULT 0",
                  "Permetti lunghezza zero su campo A", "Nega lunghezza zero su campo A",
                  "Creata relazione R da Clienti(IdCli) a Ordini(Id) Update=False Delete=False",
                  "Modificata relazione R Update=True Delete=False", "Eliminata relazione R"));
}

TEST(ComandiSql, ArgomentoMancanteNonEsegueNiente) {
  Ambiente a;
  EXPECT_TRUE(Esegui(a, {"+,Eta", "M,Stato", "#,PK", "@,R,A,B"}).empty());
  EXPECT_TRUE(a.database.eseguite.empty());
  EXPECT_EQ(a.ui.dialoghi.size(), 4u);
  // With errors silenced the line runs nothing either, not even a statement left by an
  // earlier line.
  Ambiente b;
  Esegui(b, {"ERRN", "M,Stato,1", "+,Eta", "-"});
  EXPECT_THAT(b.database.eseguite, ElementsAre("UPDATE [Clienti] SET Stato  = 1"));
  EXPECT_TRUE(b.ui.dialoghi.empty());
}

}  // namespace
}  // namespace mlx
