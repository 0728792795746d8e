#include "variables/espansione.h"

#include <gtest/gtest.h>

#include "engine/errore.h"
#include "fakes/fakes.h"

namespace mlx {
namespace {

class Espansione : public ::testing::Test {
 protected:
  Espansione() {
    plat.clock = &orologio;
    plat.sysinfo = &sistema;
  }
  void Imposta(const std::string& nome, const std::string& valore) {
    ScriviVoce(&store, nome + " = " + valore, nome);
  }
  std::string E(const std::string& testo) { return EspandiVariabili(&store, testo, plat); }

  fakes::FakeClock orologio;
  fakes::FakeSysInfo sistema;
  Platform plat;
  CollezioneTesti store;
};

TEST_F(Espansione, SostituisceDaSinistraADestra) {
  Imposta("A", "1");
  Imposta("B", "");
  EXPECT_EQ(E("senza segnaposto"), "senza segnaposto");
  EXPECT_EQ(E("{<A>}-{<a>}|{<B>}|"), "1-1||");
  Imposta("Eq", "x = y");
  EXPECT_EQ(E("{<Eq>}"), "x = y");  // only the first " = " of the item separates the name
}

TEST_F(Espansione, ValoriDiSistema) {
  EXPECT_EQ(E("{<SYS_DATE>} {<SYS_TIME>}"), "05/12/2026 21:03:07");
  EXPECT_EQ(E("{<SYS_DATETIME>}"), "05/12/2026 21:03:07");
  EXPECT_EQ(E("a{<SPAZIO>}b"), "a b");
  EXPECT_EQ(E("{<SYS_TEMPDIR>}"), "C:\\TEMP\\");
  EXPECT_EQ(E("{<SYS_WINDIR>}"), "C:\\WINDOWS");
  EXPECT_EQ(E("{<SYS_CURDRV>}"), "C:");
  EXPECT_EQ(E("{<SYS_PCNAME>}/{<SYS_USERNAME>}"), "POSTAZIONE1/mario");
  // Built-in names are exact: in lower case they are ordinary variables.
  EXPECT_THROW(E("{<sys_date>}"), ErroreScript);
  Imposta("sys_date", "mio");
  EXPECT_EQ(E("{<sys_date>}"), "mio");
  Imposta("SYS_DATE", "nascosto");
  EXPECT_EQ(E("{<SYS_DATE>}"), "05/12/2026");
}

TEST_F(Espansione, VersioneDelSistema) {
  sistema.versione = 5 | (1 << 8);
  EXPECT_EQ(VersioneWindows(plat), "5.00");
  sistema.versione = 4 | (90 << 8);
  EXPECT_EQ(VersioneWindows(plat), "4.01");
  sistema.versione = 0xABCD0006u | (1 << 8);  // only the low 16 bits count
  EXPECT_EQ(VersioneWindows(plat), "6.00");
}

TEST_F(Espansione, SegnapostoNeiValori) {
  Imposta("Nome", "Rossi");
  Imposta("Saluto", "Ciao {<Nome>}");
  EXPECT_EQ(E("{<Saluto>}!"), "Ciao Rossi!");
  // A placeholder at the very start of a value is not expanded again.
  Imposta("Rimando", "{<Nome>}");
  EXPECT_EQ(E("{<Rimando>}"), "{<Nome>}");
}

TEST_F(Espansione, ErroriChiari) {
  try {
    E("x {<Manca>} y");
    FAIL();
  } catch (const ErroreScript& e) {
    EXPECT_NE(e.Descrizione().find("Manca"), std::string::npos);
  }
  EXPECT_THROW(E("aperto {<X senza chiusura"), ErroreScript);
  // A value that refers to itself must end, with an error.
  Imposta("X", "a{<X>}");
  EXPECT_THROW(E("{<X>}"), ErroreScript);
  Imposta("Y", "ab{<Y>}{<Y>}");
  EXPECT_THROW(E("{<Y>}"), ErroreScript);
}

TEST_F(Espansione, ScomponeIlTestDiVariabile) {
  Imposta("V", "2.1");
  std::string nome, op, valore;
  ScomponiTestVariabile(&store, "{<VERSIONE>}ns{<V>}.0", plat, &nome, &op, &valore);
  EXPECT_EQ(nome, "VERSIONE");
  EXPECT_EQ(op, "ns");
  EXPECT_EQ(valore, "2.1.0");
}

}  // namespace
}  // namespace mlx
