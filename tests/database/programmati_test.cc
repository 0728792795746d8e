// The register of planned updates: "+TASK" and the "-U" start.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/aiuto.h"
#include "database/programmati.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

class Programmati : public ::testing::Test {
 protected:
  void SetUp() override { piani_ = prova::NuovoDatabase(a_, "Pelsacord.mdb"); }
  std::vector<std::string> Piani() {
    return prova::Righe(a_, piani_, "SELECT DataAgg, MLX, Eseguito FROM Piani ORDER BY DataAgg, MLX");
  }
  Ambiente a_;
  std::string piani_;
};

TEST_F(Programmati, UnaRigaPerScriptEData) {
  const std::string apice = a_.Percorso("l'altro.txt");
  a_.Esegui({"MSGN", "LOGY", "+TASK,Piani,20261201,a.txt", "+TASK,Piani,20261201,a.txt",
             "+TASK,Piani,20261202,a.txt", "+TASK,Piani,20261201," + apice,
             "+TASK,Piani,20261201," + apice});
  ASSERT_TRUE(a_.ui.dialoghi.empty()) << prova::TestiDialoghi(a_)[0];
  EXPECT_THAT(Piani(), ElementsAre("20261201|" + apice + "|False", "20261201|a.txt|False",
                                   "20261202|a.txt|False"));
  EXPECT_THAT(a_.Log(), ::testing::Contains("Pianificazione aggiornamento a.txt in data 20261201"));
}

TEST_F(Programmati, EseguitiDalPiuVecchioUnaVolta) {
  a_.Scrivi("a.txt", "LOGY\r\n=,S,a\r\nMSGN\r\n");
  a_.Scrivi("b.txt", "LOGY\r\n=,S,b\r\nMSGN\r\n");
  a_.Scrivi("c.txt", "LOGY\r\n=,S,c\r\nMSGN\r\n");
  // Planned in a dry run: the plans are recorded all the same.
  a_.Esegui({"MSGN", "+TASK,Piani,20261205," + a_.Percorso("b.txt"),
             "+TASK,Piani,20261130," + a_.Percorso("a.txt"),
             "+TASK,Piani,20261206," + a_.Percorso("c.txt"),
             "+TASK,Piani,20260101," + a_.Percorso("manca.txt")},
            false);
  ASSERT_TRUE(a_.ui.dialoghi.empty()) << prova::TestiDialoghi(a_)[0];
  Main(*a_.stato, "-U Piani");
  Main(*a_.stato, "-u Piani");
  EXPECT_THAT(a_.Log(), ElementsAre("Log attivato", "Variabile S = a", "Disattivato msgbox segnalazione aggiornamento",
                                    "Log attivato", "Variabile S = b", "Disattivato msgbox segnalazione aggiornamento"));
  // The missing script was reported and is done all the same; the future plan waits.
  ASSERT_EQ(a_.ui.dialoghi.size(), 1u);
  EXPECT_EQ(a_.ui.dialoghi[0].testo, "File " + a_.Percorso("manca.txt") + " non trovato.");
  EXPECT_THAT(Piani(), ElementsAre("20260101|" + a_.Percorso("manca.txt") + "|True",
                                   "20261130|" + a_.Percorso("a.txt") + "|True",
                                   "20261205|" + a_.Percorso("b.txt") + "|True",
                                   "20261206|" + a_.Percorso("c.txt") + "|False"));
}

TEST_F(Programmati, PianoSenzaScriptSoloSegnato) {
  a_.Esegui({"MSGN", "+TASK,Piani,20261201,x.txt"});
  EXPECT_EQ(prova::Esegui(a_, piani_, "INSERT INTO Piani VALUES ('20261101', NULL, False)"), "");
  EXPECT_EQ(prova::Esegui(a_, piani_, "INSERT INTO Piani VALUES ('20261101', 'y.txt', NULL)"), "");
  Main(*a_.stato, "-U Piani");
  // x.txt is missing and reported; the plan without script is only marked; a plan whose
  // state is unknown is not due.
  EXPECT_EQ(a_.ui.dialoghi.size(), 1u);
  EXPECT_THAT(Piani(), ElementsAre("20261101|<null>|True", "20261101|y.txt|<null>",
                                   "20261201|x.txt|True"));
}

TEST(ProgrammatiMancanti, NienteDatabaseONienteTabella) {
  Ambiente a;
  a.UsaSqlite();
  a.Scrivi("a.txt", "LOGY\r\n=,S,a\r\n");
  Main(*a.stato, "-U Piani");
  ASSERT_EQ(a.ui.dialoghi.size(), 1u);
  EXPECT_THAT(a.ui.dialoghi[0].testo,
              ::testing::StartsWith("Aggiornamenti programmati non eseguiti: il database di "
                                    "pianificazione " + a.Percorso("Pelsacord.mdb")));
  EXPECT_TRUE(a.stato->ErroreSegnalato);

  // "+TASK" without the scheduling database is an error of its line.
  a.Esegui({"MSGN", "+TASK,Piani,20261201," + a.Percorso("a.txt")});
  ASSERT_EQ(a.ui.dialoghi.size(), 2u);
  EXPECT_THAT(a.ui.dialoghi[1].testo, ::testing::StartsWith("Database: "));

  prova::NuovoDatabase(a, "Pelsacord.mdb");
  Main(*a.stato, "-U Piani");
  ASSERT_EQ(a.ui.dialoghi.size(), 3u);
  EXPECT_EQ(a.ui.dialoghi[2].testo, "Aggiornamenti programmati non eseguiti: la tabella Piani "
                                    "non esiste nel database di pianificazione " +
                                        a.Percorso("Pelsacord.mdb") + ".");
  EXPECT_EQ(a.Leggi("mlxlog.txt"), "");
}

TEST(ProgrammatiMancanti, DatabaseDaImpostazioni) {
  Ambiente a;
  const std::string altrove = prova::NuovoDatabase(a, "altrove/Piani.mdb");
  ScriviValoreRegistro(*a.registro, "HKCU", "Software\\VB and VBA Program Settings\\Pelsacord\\Settings",
                       "PathMDB", altrove);
  EXPECT_EQ(PercorsoProgrammati(*a.stato), altrove);
  a.Esegui({"MSGN", "+TASK,Piani,20261201,a.txt"});
  EXPECT_THAT(prova::Righe(a, altrove, "SELECT MLX FROM Piani"), ElementsAre("a.txt"));
}

}  // namespace
}  // namespace mlx
