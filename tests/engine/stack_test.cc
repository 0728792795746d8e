#include "engine/clsStack.h"

#include <gtest/gtest.h>

namespace mlx {
namespace {

TEST(Stack, UltimoEntratoPrimoUscitoEMessaggioSeVuoto) {
  std::vector<std::string> avvisi;
  clsStack pila([&](const std::string& t) { avvisi.push_back(t); });
  EXPECT_EQ(pila.Count(), 0);
  pila.Push(5);
  pila.Push(7);
  EXPECT_EQ(pila.Count(), 2);
  EXPECT_EQ(pila.Pop(), 7);
  EXPECT_EQ(pila.Pop(), 5);
  EXPECT_TRUE(avvisi.empty());
  EXPECT_EQ(pila.Pop(), 0);
  EXPECT_EQ(pila.Count(), 0);
  ASSERT_EQ(avvisi.size(), 1u);
  EXPECT_EQ(avvisi[0], "Stack vuoto, impossibile estrarre elementi.");
  pila.Purge();
  EXPECT_EQ(avvisi.size(), 1u);
}

}  // namespace
}  // namespace mlx
