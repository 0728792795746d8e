// The statements and sentences of the database commands, against the recording connection.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/aiuto.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

// Runs the lines after opening a database on the recording connection; the sentences of a dry
// run are taken from the verbose output, since a dry run keeps the log off.
void Esegui(Ambiente& a, std::vector<std::string> righe, bool vero = true) {
  righe.insert(righe.begin(), {"MSGN", "*Archivio.mdb*", "[Clienti]", "LOGY"});
  a.Esegui(righe, vero);
}

std::vector<std::string> FrasiASecco(Ambiente& a, const std::vector<std::string>& righe) {
  std::vector<std::string> frasi;
  a.stato->Dettagli = true;
  a.stato->StampaDettaglio = [&frasi](const std::string& f) { frasi.push_back(f); };
  Esegui(a, righe, false);
  // Drop the sentences of the lines Esegui puts first.
  frasi.erase(frasi.begin(), frasi.begin() + 4);
  return frasi;
}

TEST(ComandiSql, IstruzioniEFrasi) {
  Ambiente a;
  Esegui(a, {"+,Eta,LONG", "-,Vecchio", "!,Prezzo,DOUBLE", "0,Note", "M,Stato,1,Codice IN (1,2,3)",
             "M,Stato,'A'", "-#,IdxNome", "/", "X", ">"});
  EXPECT_THAT(a.database.eseguite,
              ElementsAre("ALTER TABLE [Clienti] ADD COLUMN Eta LONG",
                          "ALTER TABLE [Clienti] DROP COLUMN Vecchio ",
                          "ALTER TABLE [Clienti] ALTER COLUMN Prezzo DOUBLE",
                          "UPDATE [Clienti] SET Note  = NULL",
                          "UPDATE [Clienti] SET Stato  = 1 WHERE Codice IN (1,2,3)",
                          "UPDATE [Clienti] SET Stato  = 'A'",
                          "DROP INDEX IdxNome ON [Clienti] ", "DELETE * FROM [Clienti] ",
                          "DROP TABLE [Clienti] ", "CREATE TABLE [Clienti] "));
  EXPECT_THAT(a.Log(),
              ElementsAre("Log attivato", "Aggiunto campo Eta di tipo LONG", "Eliminato campo Vecchio",
                          "Modificato campo Prezzo nel tipo DOUBLE", "Svuotato campo Note",
                          "Modificato valore campo Stato = 1 quando Codice IN (1,2,3)",
                          "Modificato valore campo Stato = 'A'", "Eliminato indice IdxNome da Clienti",
                          "Svuotata tabella Clienti", "Eliminata tabella Clienti",
                          "Creata tabella Clienti"));
  EXPECT_TRUE(a.ui.dialoghi.empty());
}

TEST(ComandiSql, TipoEspansoDueVolteEColonnaTraParentesi) {
  Ambiente a;
  // The variable holds a placeholder of its own: the type is expanded a second time.
  Esegui(a, {"=,N,50", "=,T,LONG{<SPAZIO>}", "+,[Nome cliente],{<T>}", "+,Codice,SINGLE"});
  EXPECT_THAT(a.database.eseguite, ElementsAre("ALTER TABLE [Clienti] ADD COLUMN [Nome cliente] LONG ",
                                               "ALTER TABLE [Clienti] ADD COLUMN Codice SINGLE"));
}

TEST(ComandiSql, ProvaASeccoNonEsegueMaScrive) {
  Ambiente a;
  const std::vector<std::string> frasi = FrasiASecco(
      a, {"X", "+,Eta,LONG", "SQL,DELETE FROM Clienti", "#,PK,ID,TRUE", "<,dati.txt,;",
          "<T,Altri", "$T,Nuova", "$,A,B", "D,A,0", "Z,A,vero", "@,R,IdCli,Ordini,Id", "M@,R,-1",
          "-@,R"});
  EXPECT_TRUE(a.database.eseguite.empty());
  EXPECT_TRUE(a.ui.dialoghi.empty());
  EXPECT_THAT(frasi,
              ElementsAre("Eliminata tabella Clienti", "Aggiunto campo Eta di tipo LONG",
                          "Eseguita query DELETE FROM Clienti",
                          "Creato indice PK(ID) Primario=True Univoco=False Nulli=False",
                          "Dati importati in Clienti da dati.txt", "Importati dati da tabella Altri",
                          "Rinominata tabella Clienti in Nuova", "Rinominato campo A in B",
                          "Modificato valore default campo A =  SET DEFAULT 0",
                          "Permetti lunghezza zero su campo A",
                          "Creata relazione R da Clienti(IdCli) a Ordini(Id) Update=False Delete=False",
                          "Modificata relazione R Update=True Delete=False", "Eliminata relazione R"));
}

TEST(ComandiSql, SqlTieneLeVirgoleEFlag) {
  Ambiente a;
  EXPECT_THAT(FrasiASecco(a, {"SQL,INSERT INTO T VALUES (1,'a,b')", "Z,Nome,no", "Z,Nome"}),
              ElementsAre("Eseguita query INSERT INTO T VALUES (1,'a,b')",
                                   "Nega lunghezza zero su campo Nome",
                                   "Nega lunghezza zero su campo Nome"));
  Ambiente b;
  Esegui(b, {"SQL,INSERT INTO T VALUES (1,'a,b')"});
  EXPECT_THAT(b.database.eseguite, ElementsAre("INSERT INTO T VALUES (1,'a,b')"));
}

TEST(ComandiSql, ArgomentoMancanteNonEsegueNiente) {
  Ambiente a;
  Esegui(a, {"+,Eta", "M,Stato", "#,PK", "@,R,A,B"});
  EXPECT_TRUE(a.database.eseguite.empty());
  ASSERT_EQ(a.ui.dialoghi.size(), 4u);
  EXPECT_EQ(a.ui.dialoghi[0].titolo, "Attenzione");
  EXPECT_THAT(a.ui.dialoghi[0].testo,
              ::testing::StartsWith("Database: Archivio.mdb\r\nTabella: Clienti\r\n"
                                    "Campo: Eta\r\n"));
  EXPECT_THAT(a.Log(), ElementsAre("Log attivato"));

  // With errors silenced the lines are marked failed and run nothing, not even the statement
  // of an earlier line.
  Ambiente b;
  Esegui(b, {"ERRN", "M,Stato,1", "+,Eta", "-"});
  EXPECT_THAT(b.database.eseguite, ElementsAre("UPDATE [Clienti] SET Stato  = 1"));
  EXPECT_TRUE(b.ui.dialoghi.empty());
}

TEST(ComandiSql, GiaEsistenteNonScriveNulla) {
  Ambiente a;
  a.database.errori["ALTER TABLE [Clienti] ADD COLUMN Eta LONG"] =
      Status::Error(-2147217900, "Field 'Eta' already exists in table 'Clienti'.");
  a.database.errori["ALTER TABLE [Clienti] DROP COLUMN Xx "] =
      Status::Error(-2147217900, "Il campo 'Xx' non esiste.");
  Esegui(a, {"+,Eta,LONG", "-,Xx", "SQL,DROP TABLE Tmp"});
  EXPECT_THAT(a.Log(), ElementsAre("Log attivato", "Eseguita query DROP TABLE Tmp"));
  EXPECT_TRUE(a.ui.dialoghi.empty());

  // Any other error closes the database and is shown; a statement that cannot be parsed is
  // reported as a failure to get the database alone.
  Ambiente b;
  b.database.errori["ALTER TABLE [Clienti] ALTER COLUMN X BAD"] =
      Status::Error(-2147217900, "Istruzione SQL non valida. (BAD)");
  Esegui(b, {"!,X,BAD", "-,Y"});
  ASSERT_EQ(b.ui.dialoghi.size(), 2u);
  EXPECT_EQ(b.ui.dialoghi[0].testo,
            "Database: Archivio.mdb\r\nTabella: Clienti\r\nCampo: X\r\n"
            "Impossibile accedere in modo esclusivo alla base dati.");
  EXPECT_THAT(b.ui.dialoghi[1].testo, ::testing::EndsWith("Campo: Y\r\nNessun database aperto: la riga richiede un database."));
}

TEST(ComandiSql, ComandiConfrontatiPerIntero) {
  Ambiente a;
  Esegui(a, {"m,Stato,1", "sql,DELETE FROM T", "-#x,I", "M@", "+db,x"});
  EXPECT_TRUE(a.database.eseguite.empty());
}

}  // namespace
}  // namespace mlx
