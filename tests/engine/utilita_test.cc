#include "engine/utilita.h"

#include <gtest/gtest.h>

#include <tuple>

#include "engine/errore.h"

namespace mlx {
namespace {

TEST(Utilita, DestraESinistraDiAiMargini) {
  // Text, separator, what is right of it, what is left of it.
  const std::tuple<const char*, const char*, const char*, const char*> casi[] = {
      {"a=b=c", "=", "b=c", "a"},
      {"abc", "=", "", "abc"},  // missing separator: nothing after, the whole text before
      {"abc", "", "abc", ""},   {"=abc", "=", "abc", ""}, {"", "=", "", ""}};
  for (const auto& [testo, sep, destra, sinistra] : casi) {
    EXPECT_EQ(DestraDi(testo, sep), destra) << testo;
    EXPECT_EQ(SinistraDi(testo, sep), sinistra) << testo;
  }
}

TEST(Utilita, ElementoEUnisciDa) {
  EXPECT_EQ(Elemento("a,,b", 2, ","), "");
  EXPECT_EQ(Elemento("a,,b", 3, ","), "b");
  for (int fuori : {0, 3}) EXPECT_EQ(Elemento("a,b", fuori, ","), "");
  const std::vector<std::string> parti = Dividi("X,a,b,c", ",");
  EXPECT_EQ(UnisciDa(parti, ",", 2), "b,c");
  EXPECT_EQ(UnisciDa(parti, ",", 4), "");
  EXPECT_EQ(UnisciDa(Dividi("X,a,,", ","), ",", 2), ",");
  EXPECT_EQ(Dividi("", ",").size(), 1u);
}

TEST(Utilita, VeroSoloPerLeTreFormeAmmesse) {
  for (const char* vero : {"vero", "True", "-1"}) EXPECT_TRUE(IsVero(vero)) << vero;
  for (const char* falso : {"1", "si", "TRUE ", ""}) EXPECT_FALSE(IsVero(falso)) << falso;
}

TEST(Utilita, PercorsiConEntrambiISeparatori) {
  EXPECT_EQ(UnisciPercorso("C:\\", "a.txt"), "C:\\a.txt");
  EXPECT_EQ(UnisciPercorso("C:\\x", "a.txt"), "C:\\x\\a.txt");
  EXPECT_EQ(UnisciPercorso("/opt/app", "a.txt"), "/opt/app/a.txt");
  EXPECT_EQ(SoloPercorso("C:\\x\\a.txt"), "C:\\x");
  EXPECT_EQ(SoloPercorso("a.txt"), "a.txt");
  EXPECT_EQ(SoloFile("C:\\x\\a.txt"), "a.txt");
  EXPECT_EQ(SoloFile("/srv/x/a.txt"), "a.txt");
  EXPECT_EQ(SoloFile("C:\\x\\"), "");
}

TEST(Utilita, VociConChiaviSenzaMaiuscole) {
  CollezioneTesti voci;
  ScriviVoce(&voci, "X = 1", "x");
  ScriviVoce(&voci, "X = 2", "X");
  EXPECT_EQ(voci.Conta(), 1u);
  EXPECT_EQ(LeggiVoce(&voci, "x"), "X = 2");
  EXPECT_EQ(LeggiVoceDestra(&voci, "X", " = "), "2");
  EXPECT_EQ(LeggiVoce(&voci, "manca"), "");
  EXPECT_EQ(LeggiVoce(nullptr, "x"), "");
  std::unique_ptr<CollezioneTesti> posseduta = std::make_unique<CollezioneTesti>();
  SvuotaCollection(posseduta);
  EXPECT_EQ(posseduta, nullptr);
  SvuotaCollection(posseduta);  // an absent collection stays absent
}

TEST(Utilita, ValoreNumerico) {
  EXPECT_EQ(ValoreNumerico(""), 0);
  EXPECT_EQ(ValoreNumerico("2,5"), 2.5);
  EXPECT_EQ(ValoreNumerico(" 2.5 "), 2.5);
  EXPECT_EQ(ValoreNumerico("-3"), -3);
  for (const char* non : {"abc", "1.000,5", "inf", "3x"}) {
    EXPECT_THROW(ValoreNumerico(non), ErroreScript) << non;
  }
  // A text is a number exactly when ValoreNumerico reads it; empty and blank texts are not.
  for (const char* numero : {"2,5", " 2.5 ", "-3", "1e3", "010"}) EXPECT_TRUE(IsNumeric(numero));
  for (const char* testo : {"", "   ", "abc", "1.000,5", "inf", "0x10", "9a"}) {
    EXPECT_FALSE(IsNumeric(testo)) << testo;
  }
  EXPECT_EQ(RaddoppiaApici("l'a'b"), "l''a''b");
}

TEST(Utilita, ValoreIntero) {
  // Halves go to the even neighbour; past 32 bits is an overflow.
  EXPECT_EQ(ValoreIntero(" 2.5"), 2);
  EXPECT_EQ(ValoreIntero("3,5"), 4);
  EXPECT_EQ(ValoreIntero("-2147483648"), INT32_MIN);
  for (const char* fuori : {"2147483648", "1e10"}) {
    try {
      ValoreIntero(fuori);
      ADD_FAILURE() << fuori;
    } catch (const ErroreScript& e) {
      EXPECT_EQ(e.Numero(), err::kOverflow);
    }
  }
}

}  // namespace
}  // namespace mlx
