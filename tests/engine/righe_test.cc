// The script's lines as views, and the text helpers the run loop leans on.
#include "engine/righe.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/utilita.h"

namespace mlx {
namespace {

TEST(RigheScript, VisteValideDopoSpostamentiECrescita) {
  // Short lines (kept inside a text object) and long ones, in many blocks.
  RigheScript righe(std::vector<std::string>{"a", "", std::string(100, 'x')});
  for (int i = 0; i < 200; ++i) {
    righe.reserve(righe.size() + 1);
    righe.push_back(righe.Conserva("riga " + std::to_string(i)));
  }
  righe.SostituisciUltima(righe.Conserva("fine"));
  RigheScript spostate = std::move(righe);
  ASSERT_EQ(spostate.size(), 203u);
  EXPECT_EQ(spostate[0], "a");
  EXPECT_EQ(spostate[2], std::string(100, 'x'));
  EXPECT_EQ(spostate[201], "riga 198");
  EXPECT_EQ(spostate.back(), "fine");
  spostate.pop_back();
  const std::vector<std::string> copie = spostate;
  EXPECT_EQ(copie.size(), 202u);
  EXPECT_EQ(copie.back(), "riga 198");
}

// The label lines the script notes as lines are added, replaced and removed are those a scan of
// the lines finds.
TEST(RigheScript, EtichetteNotateComeLeTrovaUnaScansione) {
  const auto Scansione = [](const RigheScript& righe) {
    std::vector<std::size_t> trovate;
    for (std::size_t i = 0; i < righe.size(); ++i) {
      if (!righe[i].empty() && righe[i][0] == ':') trovate.push_back(i);
    }
    return trovate;
  };
  RigheScript righe(std::vector<std::string>{":A", "=,X,1", "", ":B"});
  EXPECT_EQ(righe.Etichette(), (std::vector<std::size_t>{0, 3}));
  const std::string_view possibili[] = {":C", "=,:D,1", "", ";:E", ":"};
  std::mt19937 caso(7);
  for (int passo = 0; passo < 2000; ++passo) {
    const std::string_view riga = possibili[caso() % std::size(possibili)];
    switch (caso() % 3) {
      case 0:
        righe.push_back(riga);
        break;
      case 1:
        if (!righe.empty()) righe.SostituisciUltima(riga);
        break;
      default:
        if (!righe.empty()) righe.pop_back();
    }
    ASSERT_EQ(righe.Etichette(), Scansione(righe)) << "passo " << passo;
  }
}

TEST(Utilita, DividiRiusaIlVettoreSenzaResti) {
  std::vector<std::string> parti;
  Dividi("uno,due,tre,quattro con un testo lungo oltre il buffer interno", ",", &parti);
  EXPECT_EQ(parti.size(), 4u);
  // A shorter line after a longer one leaves nothing of the longer one.
  Dividi("=,A", ",", &parti);
  EXPECT_EQ(parti, (std::vector<std::string>{"=", "A"}));
  Dividi("a\r\nb\r\n", "\r\n", &parti);
  EXPECT_EQ(parti, (std::vector<std::string>{"a", "b", ""}));
  Dividi("a,b", "", &parti);
  EXPECT_EQ(parti, (std::vector<std::string>{"a,b"}));
  EXPECT_EQ(Dividi(",x,", ","), (std::vector<std::string>{"", "x", ""}));
}

TEST(Utilita, CercaComeLaRicercaDellaLibreria) {
  const std::string_view testo = "^{<N>}==5^ AND ^)";
  for (const std::string_view cercato : {"^", "^)", "{<", ">}", " AND ", "", "assente", "^)x"}) {
    for (std::size_t da = 0; da <= testo.size() + 1; ++da) {
      EXPECT_EQ(Cerca(testo, cercato, da), testo.find(cercato, da)) << cercato << " da " << da;
    }
  }
  EXPECT_EQ(Cerca("ab", "abc"), std::string_view::npos);
}

// Every length up to three words, the byte sought at each place (and twice, and missing), from
// every starting point: the last bytes of a text are read as its last word.
TEST(Utilita, CercaCarattereInOgniPosizione) {
  for (std::size_t lunghezza = 0; lunghezza <= 24; ++lunghezza) {
    for (std::size_t posto = 0; posto <= lunghezza; ++posto) {
      // Among the other bytes, '{' with its high bit set, which is not '{'.
      std::string testo;
      for (std::size_t i = 0; i < lunghezza; ++i) testo += i % 2 == 0 ? 'a' : '\xFB';
      if (posto < lunghezza) testo[posto] = '{';
      if (posto + 3 < lunghezza) testo[posto + 3] = '{';
      for (std::size_t da = 0; da <= lunghezza + 1; ++da) {
        EXPECT_EQ(CercaCarattere(testo, '{', da), std::string_view(testo).find('{', da))
            << testo << " da " << da;
      }
    }
  }
}

}  // namespace
}  // namespace mlx
