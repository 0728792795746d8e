#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/ambiente.h"
#include "system/registro.h"

namespace mlx {
namespace {

using fakes::Ambiente;

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
