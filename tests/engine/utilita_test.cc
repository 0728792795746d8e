#include "engine/utilita.h"

#include <gtest/gtest.h>

#include "engine/errore.h"

namespace mlx {
namespace {

TEST(Utilita, DestraESinistraDiAiMargini) {
  EXPECT_EQ(DestraDi("a=b=c", "="), "b=c");
  EXPECT_EQ(SinistraDi("a=b=c", "="), "a");
  EXPECT_EQ(DestraDi("abc", "="), "");      // missing separator: nothing after
  EXPECT_EQ(SinistraDi("abc", "="), "abc");  // missing separator: the whole text
  EXPECT_EQ(DestraDi("abc", ""), "abc");
  EXPECT_EQ(SinistraDi("abc", ""), "");
  EXPECT_EQ(SinistraDi("=abc", "="), "");
  EXPECT_EQ(DestraDi("", "="), "");
  EXPECT_EQ(SinistraDi("", "="), "");
}

TEST(Utilita, ElementoEUnisciDa) {
  EXPECT_EQ(Elemento("a,,b", 2, ","), "");
  EXPECT_EQ(Elemento("a,,b", 3, ","), "b");
  EXPECT_EQ(Elemento("a,b", 3, ","), "");
  EXPECT_EQ(Elemento("a,b", 0, ","), "");
  EXPECT_EQ(Elemento("", 1, ","), "");
  const std::vector<std::string> parti = Dividi("X,a,b,c", ",");
  EXPECT_EQ(UnisciDa(parti, ",", 2), "b,c");
  EXPECT_EQ(UnisciDa(parti, ",", 4), "");
  EXPECT_EQ(UnisciDa(Dividi("X,a,,", ","), ",", 2), ",");
  EXPECT_EQ(Dividi("", ",").size(), 1u);
}

TEST(Utilita, VeroSoloPerLeTreFormeAmmesse) {
  EXPECT_TRUE(IsVero("vero"));
  EXPECT_TRUE(IsVero("True"));
  EXPECT_TRUE(IsVero("-1"));
  EXPECT_FALSE(IsVero("1"));
  EXPECT_FALSE(IsVero("si"));
  EXPECT_FALSE(IsVero("TRUE "));
  EXPECT_FALSE(IsVero(""));
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
  EXPECT_THROW(ValoreNumerico("abc"), ErroreScript);
  EXPECT_THROW(ValoreNumerico("1.000,5"), ErroreScript);
  EXPECT_THROW(ValoreNumerico("inf"), ErroreScript);
  EXPECT_THROW(ValoreNumerico("3x"), ErroreScript);
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
