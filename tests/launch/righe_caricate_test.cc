// Loading scripts: blank lines, continuations and includes; line ends found wherever they fall in
// large scripts, lines kept as views of the file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fakes/ambiente.h"
#include "platform/text/text.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

// The loaded lines, or "<fallito>" when the script cannot be loaded.
std::vector<std::string> Carica(Ambiente& a, const std::string& file) {
  Caricamento caricamento;
  if (!CaricaScript(*a.stato, caricamento, a.Percorso(file))) return {"<fallito>"};
  return caricamento.RigheScript;
}

TEST(Caricamento, RigheVuoteContinuazioniEInclusioni) {
  Ambiente a;
  a.Scrivi("inc.txt", "=,I,1\r\n");
  a.Scrivi("s.txt",
           "  \r\n  =,A,1  \r\nM,X,_\r\n  1 _\r\n  ,2  \r\n<<MLX, inc.txt \n<<mlx,inc.txt\r"
           "<<MLX,inc.txt\r\nfine_");
  EXPECT_THAT(Carica(a, "s.txt"), ElementsAre("=,A,1", "M,X,1 ,2", "=,I,1", "", "<<mlx,inc.txt",
                                              "=,I,1", "", "fine_", ""));
  // A file of blank lines loads as no line at all.
  a.Scrivi("vuoto.txt", "   \r\n\r\n");
  EXPECT_THAT(Carica(a, "vuoto.txt"), ElementsAre(""));
}

TEST(Caricamento, InclusioneMancante) {
  Ambiente a;
  a.Scrivi("a.txt", "=,A,1\r\n<<MLX,manca.txt\r\n");
  EXPECT_THAT(Carica(a, "a.txt"), ElementsAre("<fallito>"));
  EXPECT_THAT(a.TestiDialoghi(), ElementsAre(::testing::HasSubstr(a.Percorso("manca.txt"))));
}

// Lines of random lengths (none to several hundred bytes, so that a line spans many 64-byte
// blocks or many lines share one, and each line end falls at every place of an eight-byte word,
// a CR LF pair across two words too) with random ends and blanks, against a plain split; the last
// line has no end.
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
  testo += "ultima";
  attese.insert(attese.end(), {"ultima", ""});  // and the loader's empty slot
  Ambiente a;
  a.Scrivi("s.txt", testo);
  EXPECT_EQ(Carica(a, "s.txt"), attese);
}

// A byte-order mark is not part of the first line; a text in UTF-16 with its mark is decoded
// before its lines are read.
TEST(RigheCaricate, SegnoDiOrdineDeiByteEUtf16) {
  constexpr char kUtf16[] = "\xFF\xFE=\0,\0A\0,\0\xE8\0\n\0=\0,\0B\0";
  for (const std::string& testo :
       {std::string("\xEF\xBB\xBF=,A,\xC3\xA8\r\n=,B"), std::string(kUtf16, sizeof kUtf16 - 1)}) {
    Ambiente a;
    a.Scrivi("s.txt", testo);
    EXPECT_THAT(Carica(a, "s.txt"), ElementsAre("=,A,\xC3\xA8", "=,B", ""));
  }
}

// A text that is not UTF-8 is read as its decoded copy would be, wherever its first byte that is
// not UTF-8 lies: in the first line or the last, in a continuation, after UTF-8 letters (decoded
// with the rest), after an include (loaded once) and after a label (noted once). An included file
// that is not UTF-8 leaves the lines of the file that includes it as they are.
TEST(RigheCaricate, TestoNonUtf8LettoComeLaSuaCopiaDecodificata) {
  Ambiente a;
  a.Scrivi("inc.txt", "=,I,uno\n");
  a.Scrivi("inc8.txt", "=,K,citt\xE0\n");
  const std::vector<std::string> righe = {
      ":INIZIO", "=,A,\xC3\xA8 _", "  seguito", "<<MLX,inc.txt", "=,B,{<A>}", "<<MLX,inc8.txt",
      "=,C,ultima"};
  for (std::size_t guasta = 0; guasta <= righe.size(); ++guasta) {
    std::string testo;
    for (std::size_t i = 0; i < righe.size(); ++i) {
      // The byte at the end of a line, or before an include, whose name it would change.
      const bool inclusione = righe[i].starts_with("<<");
      if (i + 1 == guasta && inclusione) testo += "=,X,\xE0\n";
      testo += righe[i];
      if (i + 1 == guasta && !inclusione) testo += "\xE0";
      testo += "\r\n";
    }
    a.Scrivi("s.txt", testo);
    a.Scrivi("decodificato.txt", text::DecodeFileBytes(testo));
    Caricamento caricamento;
    ASSERT_TRUE(CaricaScript(*a.stato, caricamento, a.Percorso("s.txt")))
        << "riga guasta " << guasta;
    const std::vector<std::string> lette = caricamento.RigheScript;
    EXPECT_EQ(lette, Carica(a, "decodificato.txt")) << "riga guasta " << guasta;
    EXPECT_EQ(caricamento.RigheScript.Etichette(), std::vector<std::size_t>{0});
    EXPECT_THAT(lette, ::testing::Contains("=,K,citt\xC3\xA0"));
    EXPECT_EQ(lette[1] == "=,A,\xC3\xA8 seguito", guasta == 0) << "riga guasta " << guasta;
  }
  EXPECT_TRUE(a.ui.dialoghi.empty());
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

// A chain of includes stops at the nesting limit with a message that names the file and the
// limit, whatever the chain's length; a chain within the limit loads whole.
TEST(RigheCaricate, CatenaDiInclusioniFermataAlLimite) {
  Ambiente a;
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
