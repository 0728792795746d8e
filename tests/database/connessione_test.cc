// The database line, compaction, creation and the listing of database files.
#include "database/connessione.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "database/aiuto.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(RigaDatabase, PercorsoOspiteRelativoEMancante) {
  Ambiente a;
  const std::string dati = prova::NuovoDatabase(a, "Prog/Dati.mdb");
  prova::NuovoDatabase(a, "Prog/Archivi/Storico.mdb");
  // The name as the script writes it, joined to the host's folder.
  const std::string storico = fs::Join(a.Percorso("Prog"), "Archivi/Storico.mdb");
  prova::DatabaseOspite(a, dati);
  a.Esegui({"MSGN", "LOGY", "**",
            "*\xC2\xA7"
            "Archivi/Storico.mdb*",
            "*" + dati + "*"});
  EXPECT_THAT(a.Log(), ElementsAre("Log attivato", "Aperto database " + dati,
                                   "Aperto database " + storico, "Aperto database " + dati));
  // An explicit path leaves the path derived from the host's untouched.
  EXPECT_EQ(a.stato->DbAlternativo, storico);
  // A host setting that names a folder is the folder itself; the host database clears it.
  prova::DatabaseOspite(a, a.Percorso("Prog"));
  a.Esegui({"MSGN",
            "*\xC2\xA7"
            "Archivi/Storico.mdb*"});
  EXPECT_EQ(a.stato->DbAlternativo, storico);
  prova::DatabaseOspite(a, dati);
  a.Esegui({"MSGN", "**"});
  EXPECT_EQ(a.stato->DbAlternativo, "");
  EXPECT_TRUE(a.ui.dialoghi.empty()) << prova::PrimoDialogo(a);

  // A missing file is reported under its own name, is not created, and leaves no database
  // open.
  a.Esegui({"MSGN", "*" + dati + "*", "*" + a.Percorso("manca.mdb") + "*", "GET,N,SELECT 1"});
  EXPECT_THAT(a.TestiDialoghi(),
              ElementsAre(::testing::StartsWith("Database: " + a.Percorso("manca.mdb") + "\r\n"),
                          HasSubstr("Nessun database aperto")));
  EXPECT_FALSE(std::filesystem::exists(a.Percorso("manca.mdb")));
}

TEST(Compattazione, ConUnAltroUtenteMostraLErroreELasciaChiuso) {
  Ambiente a;
  const std::string dati = prova::NuovoDatabase(a);
  std::unique_ptr<db::Connection> altro = prova::Apri(a, dati);
  // The other user is reading: the file is locked.
  std::unique_ptr<db::Recordset> lettura;
  ASSERT_TRUE(altro->OpenRecordset("SELECT 1 FROM sqlite_schema UNION ALL SELECT 2",
                                   db::kForwardOnly, db::kReadOnly, &lettura).ok());
  a.Esegui({"MSGN", "*" + dati + "*", "DBZ", "GET,N,SELECT 1"});
  // The standard library's regex: GoogleTest's own on Windows has no bracket expressions.
  EXPECT_THAT(a.TestiDialoghi(), ElementsAre(::testing::Truly([](const std::string& t) {
                                               return std::regex_match(
                                                   t, std::regex("Errore -?[0-9]+ : .+"));
                                             }),
                                             HasSubstr("Nessun database aperto")));
  EXPECT_EQ(a.ui.puntatore, 0);
}

TEST(CreazioneECompattazione, SoloDoveNonCeNienteESulPosto) {
  Ambiente a;
  a.UsaSqlite();
  const std::string nuovo = a.Percorso("a.mdb.mdb");
  a.Scrivi("A_BK.MDB", "avanzo di una compattazione fallita");
  a.Esegui({"MSGN", "+DB," + nuovo, "*" + nuovo + "*", "[T]", ">", "+DB," + nuovo, "+,N,LONG",
            "DBZ", "SQL,INSERT INTO T VALUES (1)"});
  EXPECT_TRUE(a.ui.dialoghi.empty()) << prova::PrimoDialogo(a);
  EXPECT_THAT(prova::Righe(a, nuovo, "SELECT N FROM T"), ElementsAre("1"));
  EXPECT_FALSE(std::filesystem::exists(a.Percorso("A_BK.MDB")));
}

}  // namespace
}  // namespace mlx
