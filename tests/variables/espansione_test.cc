#include "variables/espansione.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

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

// Only the first " = " of an item separates the name; the rest belongs to the value.
TEST_F(Espansione, IlValoreTieneIlSeparatore) {
  Imposta("Eq", "x = y");
  EXPECT_EQ(E("{<Eq>}"), "x = y");
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

// The expansion as the language defines it, one replacement at a time on the whole text: after
// a replacement at p the search goes on from p + 1. Store variables only; nullopt with the
// message on an error, or with "" after `limite` replacements.
std::optional<std::string> Riferimento(const CollezioneTesti& store, std::string s, long limite,
                                       std::string* errore) {
  std::size_t p = s.find("{<");
  for (long n = 0; p != std::string::npos; ++n) {
    const std::size_t q = s.find(">}", p);
    if (q == std::string::npos) {
      *errore = "Segnaposto senza chiusura \">}\": " + s.substr(p);
      return std::nullopt;
    }
    const std::string nome = s.substr(p + 2, q - p - 2);
    const std::string* voce = store.Trova(nome);
    if (voce == nullptr) {
      *errore = "Variabile non definita: " + nome;
      return std::nullopt;
    }
    if (n == limite) {
      errore->clear();
      return std::nullopt;
    }
    s.replace(p, q + 2 - p, DestraDi(*voce, " = "));
    p = s.find("{<", p + 1);
  }
  return s;
}

// Texts and values made of the pieces that matter (placeholders whole and broken, braces,
// names in either case, empty values) expand exactly as the one-replacement-at-a-time
// definition says: placeholders across a value's end, a value's first byte left as it is, the
// byte after an empty value passed over.
TEST_F(Espansione, ComeLaDefinizioneSuTestiGenerati) {
  const std::vector<std::string> pezzi = {"{<", ">}", "{", "<", ">", "}", "a", "B", "{<a>}",
                                          "{<B>}", "{<c>}", "{<b", "a>}", "x", "{<C>}", ""};
  std::mt19937 caso(20261207);
  const auto Testo = [&](int quanti) {
    std::string t;
    const int n = static_cast<int>(caso() % static_cast<unsigned>(quanti + 1));
    for (int i = 0; i < n; ++i) t += pezzi[caso() % pezzi.size()];
    return t;
  };
  Espansore espansore;
  int confrontati = 0;
  for (int giro = 0; giro < 4000; ++giro) {
    store.Svuota();
    for (const char* nome : {"a", "B", "c"}) {
      if (caso() % 4 != 0) Imposta(nome, Testo(4));
    }
    const std::string riga = Testo(8);
    std::string attesoErrore;
    const std::optional<std::string> atteso = Riferimento(store, riga, 200, &attesoErrore);
    if (!atteso && attesoErrore.empty()) continue;  // endless by the definition
    ++confrontati;
    std::string ottenuto;
    try {
      espansore.EspandiIn(&store, riga, plat, &ottenuto);
    } catch (const ErroreScript& e) {
      ASSERT_FALSE(atteso.has_value()) << "riga: " << riga << "\nerrore: " << e.Descrizione();
      EXPECT_EQ(e.Descrizione(), attesoErrore) << "riga: " << riga;
      continue;
    }
    ASSERT_TRUE(atteso.has_value()) << "riga: " << riga << "\natteso l'errore " << attesoErrore;
    EXPECT_EQ(ottenuto, *atteso) << "riga: " << riga;
    // The view that lines are expanded through answers the same.
    EXPECT_EQ(espansore.Espandi(&store, riga, plat), *atteso) << "riga: " << riga;
  }
  EXPECT_GT(confrontati, 3000);
}

// Each bound is named for what it is, and reached after work that grows with the text built,
// not with its square.
TEST_F(Espansione, ILimitiSiRaggiungonoPrestoEColLoroNome) {
  const auto Errore = [&](Espansore& espansore, const std::string& riga) {
    std::string risultato;
    try {
      espansore.EspandiIn(&store, riga, plat, &risultato);
    } catch (const ErroreScript& e) {
      return e.Descrizione();
    }
    return std::string("nessun errore");
  };
  const std::string seStesso = "rimanda a se stesso";

  // A value that names its own variable, with a long tail: each nesting adds the tail again.
  Espansore ricorsivo;
  Imposta("A", "x{<A>}" + std::string(1670, '.'));
  EXPECT_THAT(Errore(ricorsivo, "{<A>}"), ::testing::HasSubstr("la variabile A contiene"));
  EXPECT_THAT(Errore(ricorsivo, "{<A>}"), ::testing::HasSubstr(seStesso));
  EXPECT_LE(ricorsivo.Sostituzioni(), kMaxProfondita + 1);
  EXPECT_LT(ricorsivo.ByteLetti(), std::size_t{1} << 20);
  // Two variables that name each other refer to themselves as well.
  Imposta("P", "p{<Q>}");
  Imposta("Q", "q{<P>}");
  EXPECT_THAT(Errore(ricorsivo, "{<P>}"), ::testing::HasSubstr(seStesso));

  // A large value used twice passes the length, and nothing refers to itself.
  Espansore grande;
  Imposta("BIG", std::string(9u << 20, 'g'));
  const std::string lungo = Errore(grande, "{<BIG>}{<BIG>}");
  EXPECT_THAT(lungo, ::testing::HasSubstr("16 MB"));
  EXPECT_THAT(lungo, ::testing::HasSubstr("BIG"));
  EXPECT_THAT(lungo, ::testing::Not(::testing::HasSubstr(seStesso)));
  EXPECT_EQ(grande.Sostituzioni(), 2);
  EXPECT_LE(grande.ByteLetti(), (9u << 20) + 16);
  // Up to the bound the text is built.
  Imposta("BIG", std::string(kMaxLunghezzaEspansa - 2, 'g'));
  std::string pieno;
  grande.EspandiIn(&store, "[{<BIG>}]", plat, &pieno);
  EXPECT_EQ(pieno.size(), kMaxLunghezzaEspansa);
  EXPECT_THAT(Errore(grande, "[{<BIG>}]."), ::testing::HasSubstr("16 MB"));

  // A chain of distinct variables: as deep as the bound allows, and one level more fails.
  Espansore catena;
  const auto Catena = [&](long livelli) {
    for (long i = 0; i < livelli; ++i) {
      Imposta("V" + std::to_string(i), "v{<V" + std::to_string(i + 1) + ">}");
    }
    Imposta("V" + std::to_string(livelli), "fine");
  };
  Catena(kMaxProfondita - 1);
  std::string profondo;
  catena.EspandiIn(&store, "{<V0>}", plat, &profondo);
  EXPECT_EQ(profondo, std::string(static_cast<std::size_t>(kMaxProfondita - 1), 'v') + "fine");
  Catena(kMaxProfondita);
  const std::string annidato = Errore(catena, "{<V0>}");
  EXPECT_THAT(annidato, ::testing::HasSubstr("annidati"));
  EXPECT_THAT(annidato, ::testing::Not(::testing::HasSubstr(seStesso)));

  // Many placeholders side by side: up to the bound, and one more fails.
  Espansore molti;
  Imposta("X", "ab");
  std::string riga;
  for (long i = 0; i < kMaxSostituzioni; ++i) riga += "{<X>}";
  std::string affiancati;
  molti.EspandiIn(&store, riga, plat, &affiancati);
  EXPECT_EQ(affiancati.size(), 2 * static_cast<std::size_t>(kMaxSostituzioni));
  EXPECT_THAT(Errore(molti, riga + "{<X>}"), ::testing::HasSubstr("sostituzioni"));
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
