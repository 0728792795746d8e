// Loading large scripts: line ends found wherever they fall, lines kept as views of the file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fakes/ambiente.h"

namespace mlx {
namespace {

using fakes::Ambiente;

std::vector<std::string> Carica(Ambiente& a, const std::string& file) {
  Caricamento caricamento;
  EXPECT_TRUE(CaricaScript(*a.stato, caricamento, a.Percorso(file)));
  return caricamento.RigheScript;
}

// Lines of every length from 1 to 40 with the three line ends in turn, so that each end falls
// at every position of an eight-byte word, and a CR LF pair across two words too.
TEST(RigheCaricate, OgniFineRigaInOgniPosizione) {
  const char* const fini[] = {"\n", "\r", "\r\n"};
  std::vector<std::string> attese;
  std::string testo;
  for (int giro = 0; giro < 3; ++giro) {
    for (std::size_t lunghezza = 1; lunghezza <= 40; ++lunghezza) {
      std::string riga = "=,V" + std::to_string(lunghezza) + ",";
      riga.resize(std::max(riga.size(), lunghezza), static_cast<char>('a' + giro));
      attese.push_back(riga);
      testo += riga + fini[(lunghezza + static_cast<std::size_t>(giro)) % 3];
    }
  }
  testo += "ultima";  // no line end after the last line
  attese.push_back("ultima");
  attese.push_back("");  // the loader's empty slot
  Ambiente a;
  a.Scrivi("s.txt", testo);
  EXPECT_EQ(Carica(a, "s.txt"), attese);
}

// Lines of random lengths (none to several hundred bytes, so that a line spans many 64-byte
// blocks or many lines share one) with random ends and blanks, against a plain split.
TEST(RigheCaricate, LungheEBreviComeUnaDivisioneSemplice) {
  std::mt19937 caso(64);
  const char* const fini[] = {"\n", "\r", "\r\n", "\n\n", "\r\r\n"};
  std::string testo;
  std::vector<std::string> attese;
  for (int i = 0; i < 3000; ++i) {
    const std::size_t lunghezza = caso() % 3 == 0 ? caso() % 400 : caso() % 20;
    std::string riga;
    for (std::size_t k = 0; k < lunghezza; ++k) riga += "ab, ;x"[caso() % 6];
    testo += riga + fini[caso() % 5];
    const std::size_t primo = riga.find_first_not_of(' ');
    if (primo == std::string::npos) continue;
    attese.push_back(riga.substr(primo, riga.find_last_not_of(' ') - primo + 1));
  }
  attese.push_back("");  // the loader's empty slot
  Ambiente a;
  a.Scrivi("s.txt", testo);
  EXPECT_EQ(Carica(a, "s.txt"), attese);
}

// A byte-order mark is not part of the first line; the lines are views of the file all the same.
TEST(RigheCaricate, SegnoDiOrdineDeiByte) {
  Ambiente a;
  a.Scrivi("s.txt", "\xEF\xBB\xBF=,A,\xC3\xA8\r\n=,B,2");
  EXPECT_EQ(Carica(a, "s.txt"), (std::vector<std::string>{"=,A,\xC3\xA8", "=,B,2", ""}));
}

// Continuation lines are joined even when the script's text is long and the pieces lie in
// different words; an include in the middle keeps the lines around it in order.
TEST(RigheCaricate, ContinuazioniEInclusioniInUnTestoLungo) {
  Ambiente a;
  a.Scrivi("inc.txt", "=,I,uno\r\n=,J,due_\r\n   tre\r\n");
  std::string testo;
  std::vector<std::string> attese;
  for (int i = 0; i < 500; ++i) {
    const std::string n = std::to_string(i);
    testo += "  =,A" + n + ",inizio _\r\n   fine " + n + "  \r\n";
    attese.push_back("=,A" + n + ",inizio fine " + n);
    if (i % 100 == 50) {
      testo += "<<MLX,inc.txt\n";
      attese.insert(attese.end(), {"=,I,uno", "=,J,duetre", ""});
    }
  }
  a.Scrivi("s.txt", testo);
  attese.push_back("");
  EXPECT_EQ(Carica(a, "s.txt"), attese);
}

// The engine's lines are the loaded ones, views that outlive the loader's objects.
TEST(RigheCaricate, IlMotoreTieneLeRigheDelFile) {
  Ambiente a;
  std::string testo = "MSGN\nLOGY\n";
  for (int i = 0; i < 2000; ++i) testo += "=,V,valore " + std::to_string(i) + "\n";
  testo += "=,FINE,{<V>}\n";
  a.Scrivi("MLX.txt", testo);
  Main(*a.stato, "");
  EXPECT_THAT(a.Log(), ::testing::Contains("Variabile FINE = valore 1999"));
}

}  // namespace
}  // namespace mlx

namespace mlx {
namespace {

// A chain of includes stops at the nesting limit with a message that names the file and the
// limit, whatever the chain's length; a chain within the limit loads whole.
TEST(RigheCaricate, CatenaDiInclusioniFermataAlLimite) {
  fakes::Ambiente a;
  const int lunga = 6000;
  for (int i = 0; i < lunga; ++i) {
    a.Scrivi("c" + std::to_string(i) + ".txt",
             "=,V" + std::to_string(i) + ",x\n<<MLX,c" + std::to_string(i + 1) + ".txt\n");
  }
  a.Scrivi("c" + std::to_string(lunga) + ".txt", "=,FINE,x\n");
  Caricamento troppe;
  EXPECT_FALSE(CaricaScript(*a.stato, troppe, a.Percorso("c0.txt")));
  ASSERT_EQ(a.ui.dialoghi.size(), 1u);
  EXPECT_THAT(a.ui.dialoghi[0].testo, ::testing::HasSubstr("c64.txt incluso da"));
  EXPECT_THAT(a.ui.dialoghi[0].testo, ::testing::HasSubstr("limite di 64 inclusioni annidate"));

  a.Scrivi("c63.txt", "=,FINE,x\n");
  Caricamento entro;
  ASSERT_TRUE(CaricaScript(*a.stato, entro, a.Percorso("c0.txt")));
  // Sixty-four files: a line and an include's slot in each but the last, its line, the end.
  EXPECT_EQ(entro.RigheScript.size(), 63u * 2 + 1 + 1);
}

}  // namespace
}  // namespace mlx
