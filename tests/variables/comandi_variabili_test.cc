#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "conditions/immagine_pe.h"
#include "fakes/ambiente.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

TEST(FileVer, VersioneDelFileOVuotaQuandoNonCeNe) {
  Ambiente a;
  prova::ImmaginePe immagine;
  immagine.pe32piu = true;
  a.Scrivi("bin/x.dll", immagine.Costruisci());
  a.Scrivi("bin/leggimi.txt", "MZ non proprio\r\n");
  const std::string dll = a.Percorso("bin\\x.dll");
  const std::string testo = a.Percorso("bin\\leggimi.txt");
  const std::string manca = a.Percorso("bin\\manca.dll");
  a.Esegui({"LOGY", "FILEVER,V," + dll, "=,R,[{<V>}]", "FILEVER,T," + testo, "=,R,[{<T>}]",
            "FILEVER,V," + manca, "=,R,[{<V>}]", "MSGN"});
  EXPECT_THAT(a.Log(),
              ElementsAre("Log attivato", "Variabile V come versione del file " + dll,
                          "Variabile R = [1.0.-1.2]", "Variabile T come versione del file " + testo,
                          "Variabile R = []",
                          // A missing file replaces the earlier value with "".
                          "Variabile V come versione del file " + manca, "Variabile R = []",
                          "Disattivato msgbox segnalazione aggiornamento"));
  EXPECT_TRUE(a.ui.dialoghi.empty());
}

TEST(FileVer, SenzaFileLErroreDellaRiga) {
  Ambiente a;
  a.Esegui({"LOGY", "=,V,prima", "FILEVER,V", "=,R,{<V>}", "MSGN"});
  ASSERT_EQ(a.ui.dialoghi.size(), 1u);
  EXPECT_EQ(a.ui.dialoghi[0].titolo, "Attenzione");
  EXPECT_THAT(a.Log(), ElementsAre("Log attivato", "Variabile V = prima", "Variabile R = prima",
                                   "Disattivato msgbox segnalazione aggiornamento"));
}

// Reading a version changes nothing, so a dry run reads it too.
TEST(FileVer, LaProvaLeggeLaVersione) {
  Ambiente a;
  a.Scrivi("x.dll", prova::ImmaginePe().Costruisci());
  clsMarlovex m(*a.stato);
  m.Vero(false);
  m.InitVars("s.txt");
  m.InitMLX({"FILEVER,V," + a.Percorso("x.dll")});
  m.Riga(0);
  EXPECT_EQ(LeggiVoce(m.ExecVars(), "V"), "V = 1.0.-1.2");
  EXPECT_EQ(m.Azione(), "Variabile V come versione del file " + a.Percorso("x.dll"));
}

}  // namespace
}  // namespace mlx
