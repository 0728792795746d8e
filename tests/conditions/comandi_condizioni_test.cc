// COND through whole runs: the stored value, the sentence, dry runs and failures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/aiuto.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

// A file test through COND: its sentence, and its value after it.
TEST(Cond, TestDiFile) {
  Ambiente a;
  a.Scrivi("c.txt", "x");
  const std::string c = a.Percorso("c.txt");
  a.Esegui({"MSGN", "LOGY", "=,F," + c, "COND,S,!F,{<F>}"});
  EXPECT_THAT(a.Log(), ElementsAre("Log attivato", "Variabile F = " + c,
                                   "Variabile S come assenza file " + c + "False"));
  EXPECT_TRUE(a.ui.dialoghi.empty()) << prova::PrimoDialogo(a);
}

TEST(Cond, UnaVirgolaNelValoreNonSpostaICampi) {
  Ambiente a;
  a.Esegui({"MSGN", "LOGY", "=,L,1,2", "COND,R,{<L>}=={<L>},3", "COND,S,{<L>}=={<L>}"});
  EXPECT_THAT(a.Log(),
              ElementsAre("Log attivato", "Variabile L = 1,2", "Variabile R come L == 1,2,3False",
                          "Variabile S come L == 1,2True"));
}

TEST(Cond, DatabaseAncheASecco) {
  Ambiente a;
  const std::string dati = prova::NuovoDatabase(a);
  ASSERT_EQ(prova::Esegui(a, dati, "CREATE TABLE Clienti (Nome TEXT(50))"), "");
  EXPECT_THAT(prova::Frasi(a,
                           {"MSGN", "COND,R," + dati + ",Clienti,Nome,#",
                            "COND,S," + dati + ",Clienti,Y", "=,X,{<R>}{<S>}"},
                           false),
              ElementsAre("Disattivato msgbox segnalazione aggiornamento",
                          "Variabile R come (" + dati + ") Campo Clienti.Nome assente False",
                          "Variabile S come (" + dati + ") Tabella Clienti presente True",
                          "Variabile X = FalseTrue"));
}

TEST(Cond, Errori) {
  Ambiente a;
  const std::string dati = prova::NuovoDatabase(a);
  ASSERT_EQ(prova::Esegui(a, dati, "CREATE TABLE T (A TEXT(5))"), "");
  // A column that is not there is passed over in silence, like any missing object.
  a.Esegui({"MSGN", "LOGY", "*" + dati + "*", "COND,R,Z,T.Manca", "COND,S,Z,T.A"});
  EXPECT_THAT(a.Log(), ElementsAre("Log attivato", "Aperto database " + dati,
                                   "Variabile S come lungh. zero ammessa su campo T.AFalse"));
  EXPECT_TRUE(a.ui.dialoghi.empty()) << prova::PrimoDialogo(a);

  // A database that cannot be opened: reported, or with errors silenced only marked; the
  // variable is not set.
  std::filesystem::remove(a.Percorso("mlxlog.txt"));
  const std::string manca = a.Percorso("Manca.mdb");
  a.Esegui({"MSGN", "LOGY", "=,R,prima", "COND,R," + manca + ",T,Y", "ERRN",
            "COND,R," + manca + ",T,Y", "=,X,{<R>}"});
  EXPECT_THAT(a.TestiDialoghi(),
              ElementsAre(::testing::StartsWith("Database: " + manca + "\r\nTabella: T")));
  EXPECT_THAT(a.Log(),
              ElementsAre("Log attivato", "Variabile R = prima", "Segnalazione errori disattivata",
                          "Variabile R come ", "Variabile X = prima"));
}

}  // namespace
}  // namespace mlx
