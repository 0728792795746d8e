#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/ambiente.h"
#include "system/registro.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::AllOf;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

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
  EXPECT_THAT(a.TitoliDialoghi(), ElementsAre("Attenzione"));
  EXPECT_THAT(a.TestiDialoghi(), ElementsAre(HasSubstr("Campo: HKCU")));
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

// A registry file that cannot be read is told once, on the note channel, with its path and the
// line at fault; the commands go on as with a missing value, the file is left as it is, and no
// run ends with the success message.
TEST(RegistroGuasto, DettoUnaVoltaMaiSovrascrittoENessunSuccesso) {
  Ambiente a;
  std::vector<std::string> note;
  a.stato->StampaNota = [&note](const std::string& nota) { note.push_back(nota); };
  const std::string guasto =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n\"V\"=\"senza fine\n";
  a.Scrivi("registry.reg", guasto);
  a.Esegui({"LOGY", "+\xC2\xA7,HKCU,Software\\A\\V,due", "REG,X,HKCU,Software\\A,V", "=,Y,{<X>}"});
  a.Esegui({"REG,X,HKCU,Software\\A,V", "-\xC2\xA7,HKCU,Software\\A\\V"});
  EXPECT_THAT(note,
              ElementsAre(AllOf(HasSubstr(a.Percorso("registry.reg")), HasSubstr("line 4:"))));
  EXPECT_EQ(a.Leggi("registry.reg"), guasto);
  EXPECT_TRUE(a.stato->RegistroGuasto);
  EXPECT_TRUE(a.stato->ErroreSegnalato);
  EXPECT_THAT(a.Log(), ::testing::Contains("Variabile Y = V"));
  EXPECT_THAT(a.TitoliDialoghi(), ElementsAre("Aggiornamento", "Aggiornamento"));
  EXPECT_THAT(a.TestiDialoghi(), Each(Not(HasSubstr("successo"))));
}

}  // namespace
}  // namespace mlx
