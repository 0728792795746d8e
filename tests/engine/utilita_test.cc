#include "engine/utilita.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "engine/errore.h"
#include "platform/text/text.h"

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

TEST(Utilita, VociConChiaviSenzaMaiuscole) {
  CollezioneTesti voci;
  ScriviVoce(&voci, "Nome = Anna", "nome");
  ScriviVoce(&voci, "Nome = Anna = B", "NOME");
  EXPECT_EQ(voci.Conta(), 1u);
  EXPECT_EQ(LeggiVoce(&voci, "Nome"), "Nome = Anna = B");
  EXPECT_EQ(VoceDestra(&voci, "nome", " = "), "Anna = B");
  EXPECT_EQ(LeggiVoceDestra(&voci, "NOME", " = "), "Anna = B");
  EXPECT_EQ(VoceDestra(&voci, "nom", " = "), "");
  EXPECT_EQ(LeggiVoce(nullptr, "x"), "");
  ScriviVoce(&voci, "senza separatore", "Nome");
  EXPECT_EQ(VoceDestra(&voci, "NOME", " = "), "");
}

// Keys made of the bytes at the edges of the folding (the letters next to '@', '[', '`' and
// '{', Latin-1 capitals and small letters, the signs without a partner, a C3 at the end) and
// long enough to fill several words: two keys find each other exactly when their folded forms
// are equal.
TEST(Utilita, ChiaviUgualiComeLaLoroFormaPiegata) {
  const std::vector<std::string> pezzi = {"a", "A", "z", "Z", "@", "[", "`", "{", "_", "0",
                                          "\xC3\x80", "\xC3\xA0", "\xC3\x9E", "\xC3\xBE",
                                          "\xC3\x97", "\xC3\xB7", "\xC3\x9F", "\xC3"};
  std::mt19937 caso(7);
  std::vector<std::string> chiavi;
  for (int i = 0; i < 400; ++i) {
    std::string chiave;
    const unsigned lunghezza = caso() % 20;
    for (unsigned k = 0; k < lunghezza; ++k) chiave += pezzi[caso() % pezzi.size()];
    chiavi.push_back(chiave);
    // The same key with its ASCII letters in the other case.
    for (char& c : chiave) {
      if (std::isalpha(static_cast<unsigned char>(c))) c = static_cast<char>(c ^ 0x20);
    }
    chiavi.push_back(chiave);
  }
  CollezioneTesti voci;
  for (const std::string& chiave : chiavi) voci.Scrivi(chiave, text::FoldKey(chiave));
  for (const std::string& chiave : chiavi) {
    const std::string* trovata = voci.Trova(chiave);
    ASSERT_NE(trovata, nullptr) << chiave;
    EXPECT_EQ(*trovata, text::FoldKey(chiave)) << chiave;
  }
  std::set<std::string> piegate;
  for (const std::string& chiave : chiavi) piegate.insert(text::FoldKey(chiave));
  EXPECT_EQ(voci.Conta(), piegate.size());
  voci.Scrivi("Citt\xC3\x80 di prova lungA", "x");
  EXPECT_EQ(*voci.Trova("citt\xC3\xA0 DI PROVA LUNGA"), "x");
  EXPECT_FALSE(voci.Contiene("citt\xC3\xA0 di prova lung"));
}

// Many writes and removals of keys that crowd the same slots, checked against a map of the
// folded keys: every key present is found with its item, every key removed is missing, and an
// item keeps its address while other keys come and go and the table grows.
TEST(Utilita, VociScritteERimosseComeInUnaMappa) {
  std::mt19937 caso(11);
  CollezioneTesti voci;
  std::map<std::string, std::string> attese;  // by folded key
  std::map<std::string, const std::string*> indirizzi;
  const auto Chiave = [&caso] {
    std::string chiave = "v" + std::to_string(caso() % 300);
    if (caso() % 2 == 0) chiave[0] = 'V';
    return chiave;
  };
  for (int passo = 0; passo < 20000; ++passo) {
    const std::string chiave = Chiave();
    const std::string piegata = text::FoldKey(chiave);
    if (caso() % 3 == 0) {
      voci.Rimuovi(chiave);
      attese.erase(piegata);
      indirizzi.erase(piegata);
    } else {
      std::string& voce = voci.Voce(chiave);
      if (indirizzi.count(piegata) != 0) {
        ASSERT_EQ(&voce, indirizzi[piegata]) << chiave;
      }
      indirizzi[piegata] = &voce;
      voce = std::to_string(passo);
      attese[piegata] = voce;
    }
    if (passo % 97 == 0) {
      ASSERT_EQ(voci.Conta(), attese.size());
      for (int k = 0; k < 300; ++k) {
        const std::string nome = "V" + std::to_string(k);
        const auto atteso = attese.find(text::FoldKey(nome));
        const std::string* trovato = voci.Trova(nome);
        if (atteso == attese.end()) {
          ASSERT_EQ(trovato, nullptr) << nome << " al passo " << passo;
        } else {
          ASSERT_NE(trovato, nullptr) << nome << " al passo " << passo;
          EXPECT_EQ(*trovato, atteso->second);
          EXPECT_EQ(trovato, indirizzi[atteso->first]);
        }
      }
    }
  }
  EXPECT_FALSE(voci.Aggiungi(attese.begin()->first, "no"));
  voci.Svuota();
  EXPECT_EQ(voci.Conta(), 0u);
  EXPECT_EQ(voci.Trova("v1"), nullptr);
  voci.Rimuovi("v1");  // removing from an empty collection does nothing
  EXPECT_TRUE(voci.Aggiungi("v1", "di nuovo"));
  EXPECT_EQ(LeggiVoce(&voci, "V1"), "di nuovo");
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
  for (const char* fuori : {"2147483648", "-2147483649", "1e10"}) {
    try {
      ValoreIntero(fuori);
      ADD_FAILURE() << fuori;
    } catch (const ErroreScript& e) {
      EXPECT_EQ(e.Numero(), err::kOverflow) << fuori;
    }
  }
}

}  // namespace
}  // namespace mlx
