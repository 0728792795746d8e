// The register of planned updates: "+TASK" and the "-U" start.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "database/aiuto.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

class Programmati : public ::testing::Test {
 protected:
  void SetUp() override { piani_ = prova::NuovoDatabase(a_, "Pelsacord.mdb"); }
  std::vector<std::string> Piani() {
    return prova::Righe(a_, piani_,
                        "SELECT DataAgg, MLX, Eseguito FROM Piani ORDER BY DataAgg, MLX");
  }
  Ambiente a_;
  std::string piani_;
};

TEST_F(Programmati, UnaRigaPerScriptEData) {
  const std::string apice = a_.Percorso("l'altro.txt");
  a_.Esegui({"MSGN", "+TASK,Piani,20261201,a.txt", "+TASK,Piani,20261201,a.txt",
             "+TASK,Piani,20261202,a.txt", "+TASK,Piani,20261201," + apice,
             "+TASK,Piani,20261201," + apice});
  // Compared in one order: where the folder's path sorts against "a.txt" depends on the system.
  std::vector<std::string> piani = Piani();
  std::vector<std::string> attesi = {"20261201|" + apice + "|False", "20261201|a.txt|False",
                                     "20261202|a.txt|False"};
  std::sort(piani.begin(), piani.end());
  std::sort(attesi.begin(), attesi.end());
  EXPECT_EQ(piani, attesi);
}

TEST_F(Programmati, DovutiDalPiuVecchioUnaVoltaSola) {
  a_.Scrivi("a.txt", "LOGY\r\n=,S,a\r\nMSGN\r\n");
  a_.Scrivi("b.txt", "LOGY\r\n=,S,b\r\nMSGN\r\n");
  const std::string a = a_.Percorso("a.txt"), b = a_.Percorso("b.txt"), c = a_.Percorso("c.txt");
  const std::string manca = a_.Percorso("manca.txt");
  a_.Esegui({"MSGN", "+TASK,Piani,20261205," + b, "+TASK,Piani,20261130," + a,
             "+TASK,Piani,20261206," + c, "+TASK,Piani,20260101," + manca});
  prova::Esegui(a_, piani_, "INSERT INTO Piani VALUES ('20261101', NULL, False)");
  prova::Esegui(a_, piani_, "INSERT INTO Piani VALUES ('20261101', 'y.txt', NULL)");
  Main(*a_.stato, "-U Piani");
  Main(*a_.stato, "-u Piani");
  const std::string fine = "Disattivato msgbox segnalazione aggiornamento";
  EXPECT_THAT(a_.Log(), ElementsAre("Log attivato", "Variabile S = a", fine, "Log attivato",
                                    "Variabile S = b", fine));
  // The missing script is reported and done all the same; a plan without script is only
  // marked; one whose state is unknown, and the future one, wait.
  EXPECT_THAT(a_.TestiDialoghi(), ElementsAre("File " + manca + " non trovato."));
  EXPECT_THAT(Piani(), ElementsAre("20260101|" + manca + "|True", "20261101|<null>|True",
                                   "20261101|y.txt|<null>", "20261130|" + a + "|True",
                                   "20261205|" + b + "|True", "20261206|" + c + "|False"));
}

TEST(ProgrammatiMancanti, NienteDatabase) {
  Ambiente a;
  a.UsaSqlite();
  const std::string piani = a.Percorso("Pelsacord.mdb");
  Main(*a.stato, "-U Piani");
  EXPECT_THAT(
      a.TestiDialoghi(),
      ElementsAre(::testing::StartsWith("Aggiornamenti programmati non eseguiti: il database di "
                                        "pianificazione " +
                                        piani + " non si legge.")));
  EXPECT_TRUE(a.stato->ErroreSegnalato);
}

}  // namespace
}  // namespace mlx
