// The database line, compaction, creation and the listing of database files.
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/aiuto.h"
#include "database/connessione.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

TEST(RigaDatabase, PercorsoVuotoEParagrafoDalPercorsoOspite) {
  Ambiente a;
  const std::string dati = prova::NuovoDatabase(a, "Prog/Dati.mdb");
  const std::string storico = prova::NuovoDatabase(a, "Prog/Archivi/Storico.mdb");
  prova::DatabaseOspite(a, dati);
  a.stato->DbAlternativo = "prima";
  a.Esegui({"MSGN", "LOGY", "**", "=,A,1", "*\xC2\xA7" "Archivi/Storico.mdb*", "=,B,2",
            "*" + dati + "*"});
  ASSERT_TRUE(a.ui.dialoghi.empty()) << prova::TestiDialoghi(a)[0];
  EXPECT_THAT(a.Log(), ElementsAre("Log attivato", "Aperto database " + dati, "Variabile A = 1",
                                   "Aperto database " + a.Percorso("Prog/Archivi/Storico.mdb"),
                                   "Variabile B = 2", "Aperto database " + dati));
  // An explicit path leaves the path derived from the host's untouched.
  EXPECT_EQ(a.stato->DbAlternativo, storico);

  // With the host setting naming a folder, the path is taken inside it.
  prova::DatabaseOspite(a, a.Percorso("Prog"));
  a.Esegui({"MSGN", "*\xC2\xA7" "Archivi/Storico.mdb*"});
  EXPECT_TRUE(a.ui.dialoghi.empty());
  EXPECT_EQ(a.stato->DbAlternativo, storico);
  // The host's own database clears it.
  prova::DatabaseOspite(a, dati);
  a.Esegui({"MSGN", "**"});
  EXPECT_EQ(a.stato->DbAlternativo, "");
}

TEST(RigaDatabase, FileMancanteSegnalatoEDatabaseChiuso) {
  Ambiente a;
  const std::string dati = prova::NuovoDatabase(a);
  a.Esegui({"MSGN", "LOGY", "*" + dati + "*", "[T]", "*" + a.Percorso("manca.mdb") + "*", ">"});
  ASSERT_EQ(a.ui.dialoghi.size(), 2u);
  EXPECT_THAT(a.ui.dialoghi[0].testo, ::testing::StartsWith("Database: " + dati + "\r\n"));
  // The file is not created, and the next line finds no database open.
  EXPECT_FALSE(std::filesystem::exists(a.Percorso("manca.mdb")));
  EXPECT_THAT(a.ui.dialoghi[1].testo, ::testing::HasSubstr("Nessun database aperto"));
}

TEST(Compattazione, SostituisceIlFileERiapre) {
  Ambiente a;
  const std::string dati = prova::NuovoDatabase(a, "a.mdb.mdb");
  // A work file left by an earlier compaction goes first.
  a.Scrivi("A_BK.MDB", "avanzo");
  a.Esegui({"MSGN", "LOGY", "*" + dati + "*", "[T]", ">", "+,N,LONG", "DBZ",
            "SQL,INSERT INTO T VALUES (1)"});
  ASSERT_TRUE(a.ui.dialoghi.empty()) << prova::TestiDialoghi(a)[0];
  EXPECT_THAT(prova::Righe(a, dati, "SELECT N FROM T"), ElementsAre("1"));
  EXPECT_FALSE(std::filesystem::exists(a.Percorso("A_BK.MDB")));
  EXPECT_THAT(a.Log(), ::testing::Contains("Compattazione DataBase" + dati));
  EXPECT_EQ(a.ui.puntatore, 0);
}

TEST(Compattazione, ConUnAltroUtenteMostraLErroreELasciaChiuso) {
  Ambiente a;
  const std::string dati = prova::NuovoDatabase(a);
  std::unique_ptr<db::Connection> altro = prova::Apri(a, dati);
  // A dry run compacts all the same.
  a.Esegui({"MSGN", "*" + dati + "*", "DBZ", "GET,N,SELECT 1"}, false);
  ASSERT_EQ(a.ui.dialoghi.size(), 2u);
  EXPECT_THAT(a.ui.dialoghi[0].testo, ::testing::StartsWith("Errore "));
  EXPECT_THAT(a.ui.dialoghi[0].testo, ::testing::HasSubstr(" : "));
  EXPECT_EQ(a.ui.dialoghi[0].titolo, "Attenzione");
  EXPECT_THAT(a.ui.dialoghi[1].testo, ::testing::HasSubstr("Nessun database aperto"));
  altro.reset();
  EXPECT_EQ(prova::Esegui(a, dati, "CREATE TABLE X (N LONG)"), "");
}

TEST(CreazioneDatabase, SoloDoveNonCeNiente) {
  Ambiente a;
  a.UsaSqlite();
  const std::string nuovo = a.Percorso("Nuovo.mdb");
  a.Esegui({"MSGN", "LOGY", "+DB," + nuovo, "*" + nuovo + "*", "[T]", ">", "+,N,LONG",
            "+DB," + nuovo, "SQL,INSERT INTO T VALUES (5)"});
  ASSERT_TRUE(a.ui.dialoghi.empty()) << prova::TestiDialoghi(a)[0];
  // The second creation leaves the file as it was.
  EXPECT_THAT(prova::Righe(a, nuovo, "SELECT N FROM T"), ElementsAre("5"));
  EXPECT_THAT(a.Log(), ::testing::Contains("Creazione database " + nuovo));
  EXPECT_FALSE(CreaDatabase(a.stato->plat, nuovo));
  EXPECT_FALSE(CreaDatabase(a.stato->plat, a.Percorso("manca/x.mdb")));
  // Also in a dry run.
  a.Esegui({"MSGN", "+DB," + a.Percorso("Secco.mdb")}, false);
  EXPECT_TRUE(std::filesystem::exists(a.Percorso("Secco.mdb")));
}

TEST(ElencoDatabase, PerPrefissoSenzaRiguardoAlleMaiuscole) {
  Ambiente a;
  for (const char* f : {"Archivio.mdb", "ARCH2.MDB", "Altro.mdb", "Arch.txt"}) a.Scrivi(f, "");
  EXPECT_THAT(ElencoDatabase(a.stato->plat, a.cartella, "Arch"),
              ElementsAre("ARCH2.MDB", "Archivio.mdb"));
  EXPECT_EQ(ElencoDatabase(a.stato->plat, a.cartella, "*").size(), 3u);
  EXPECT_TRUE(ElencoDatabase(a.stato->plat, a.cartella, "Nessuno").empty());
}

}  // namespace
}  // namespace mlx
