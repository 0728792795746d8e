// The script's lines as views, and the text helpers the run loop leans on.
#include "engine/righe.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace mlx
