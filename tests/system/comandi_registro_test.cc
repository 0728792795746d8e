#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/ambiente.h"
#include "system/registro.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

TEST(ComandiRegistro, ScriveRileggeEdElimina) {
  Ambiente a;
  a.Esegui({"LOGY", "+\xC2\xA7,HKLM,Software\\Ditta\\Percorso,C:\\X",
            "REG,P,HKLM,Software\\Ditta,Percorso", "-\xC2\xA7,HKLM,Software\\Ditta\\Percorso",
            "REG,Q,HKLM,Software\\Ditta,Percorso", "X\xC2\xA7,HKLM,Software\\Ditta",
            "REG,R,HKLM,Software\\Ditta,Percorso", "MSGN"});
  EXPECT_THAT(a.Log(),
              ElementsAre("Log attivato",
                          "Aggiunto/modificato valore HKLM\\Software\\Ditta\\Percorso = C:\\X",
                          "Variabile P da registro HKLM\\Software\\Ditta\\Percorso = C:\\X",
                          "Eliminato valore HKLM\\Software\\Ditta\\Percorso",
                          // The key stays, the value is gone: an empty text.
                          "Variabile Q da registro HKLM\\Software\\Ditta\\Percorso = ",
                          "Eliminata chiave HKLM\\Software\\Ditta",
                          // The key is gone: the value name comes back.
                          "Variabile R da registro HKLM\\Software\\Ditta\\Percorso = Percorso",
                          "Disattivato msgbox segnalazione aggiornamento"));
  EXPECT_TRUE(a.ui.dialoghi.empty());
}

TEST(ComandiRegistro, LaProvaNonScriveMaRegLegge) {
  Ambiente a;
  ScriviValoreRegistro(*a.registro, "HKCU", "Software\\A", "V", "uno");
  a.Esegui({"LOGY", "+\xC2\xA7,HKCU,Software\\A\\V,due", "REG,X,HKCU,Software\\A,V", "END"},
           /*vero=*/false);
  EXPECT_EQ(LeggiValoreRegistro(*a.registro, "HKCU", "Software\\A", "V"), "uno");
  clsMarlovex m(*a.stato);
  m.Vero(false);
  m.InitVars("s.txt");
  m.InitMLX({"REG,X,HKCU,Software\\A,V", "=,Y,{<X>}"});
  m.Riga(0);
  m.Riga(1);
  EXPECT_EQ(LeggiVoce(m.ExecVars(), "Y"), "Y = uno");
}

TEST(ComandiRegistro, RadiceSconosciutaNonFaNulla) {
  Ambiente a;
  a.Esegui({"LOGY", "+\xC2\xA7,hklm,Software\\A\\V,x", "REG,X,hklm,Software\\A,V", "MSGN"});
  EXPECT_THAT(a.Log(), ElementsAre("Log attivato",
                                   "Aggiunto/modificato valore hklm\\Software\\A\\V = x",
                                   "Variabile X da registro hklm\\Software\\A\\V = V",
                                   "Disattivato msgbox segnalazione aggiornamento"));
  EXPECT_EQ(a.Leggi("registry.reg"), "");
}

TEST(ComandiRegistro, ArgomentoMancanteSegnalato) {
  Ambiente a;
  a.Esegui({"+\xC2\xA7,HKCU,Software\\A\\V", "MSGN"});
  ASSERT_EQ(a.ui.dialoghi.size(), 1u);
  EXPECT_EQ(a.ui.dialoghi[0].titolo, "Attenzione");
  EXPECT_THAT(a.ui.dialoghi[0].testo, ::testing::HasSubstr("Campo: HKCU"));
}

TEST(RigaImpostazioni, CambiaChiaveEValoreDelPercorso) {
  Ambiente a;
  ScriviValoreRegistro(*a.registro, "HKCU",
                       "Software\\VB and VBA Program Settings\\Altro\\Sezione", "Archivio",
                       "C:\\Dati\\Storico.mdb");
  clsMarlovex m(*a.stato);
  m.InitVars("s.txt");
  m.InitMLX({"LOGY", "\xC2\xA7" "Altro\\Sezione,Archivio", "\xC2\xA7", "\xC2\xA7Manca,X"});
  m.Riga(0);
  m.Riga(1);
  EXPECT_EQ(m.Azione(), "Aperta chiave di registro Altro\\Sezione\\Archivio");
  EXPECT_EQ(m.Contesto().impostazioni.NomeValoreDb, "Archivio");
  ASSERT_NE(m.Contesto().impostazioni.ChiaveImpostazioni, -1);
  EXPECT_EQ(LeggiStringaRegistro(*a.registro,
                                 static_cast<registry::Handle>(m.Contesto().impostazioni.ChiaveImpostazioni),
                                 "Archivio"),
            "C:\\Dati\\Storico.mdb");
  m.Riga(2);  // an empty settings line changes nothing
  EXPECT_EQ(m.Azione(), "");
  EXPECT_EQ(m.Contesto().impostazioni.NomeValoreDb, "Archivio");
  m.Riga(3);  // a key that cannot be opened is not reported
  EXPECT_EQ(m.Contesto().impostazioni.ChiaveImpostazioni, -1);
  EXPECT_EQ(m.Contesto().UltimoEsitoRegistro, registry::kFileNotFound);
  EXPECT_EQ(m.Contesto().impostazioni.NomeValoreDb, "X");
  EXPECT_TRUE(a.ui.dialoghi.empty());
  // Every run starts again from the host application's value name.
  m.InitVars("s.txt");
  EXPECT_EQ(m.Contesto().impostazioni.NomeValoreDb, "PathMDB");
}

}  // namespace
}  // namespace mlx
