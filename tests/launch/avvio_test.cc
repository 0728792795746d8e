// The command line: the options read, a line of options alone, a script refused before it runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/ambiente.h"
#include "launch/opzioni.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

TEST(Avvio, RigaDiOpzioniNonEsegueScript) {
  Ambiente a;
  a.Scrivi("uno.txt", "LOGY\r\n=,A,1\r\n");
  Main(*a.stato, "-C " + a.Percorso("uno.txt") + "," + a.Percorso("uno.txt"));
  EXPECT_TRUE(a.ui.dialoghi.empty());
  EXPECT_EQ(a.Leggi("mlxlog.txt"), "");
}

TEST(Avvio, EtichettaDoppiaRifiutaLoScript) {
  Ambiente a;
  a.Scrivi("s.txt", "LOGY\r\n:X\r\n:x\r\n");
  Main(*a.stato, a.Percorso("s.txt"));
  EXPECT_THAT(a.TestiDialoghi(), ElementsAre(::testing::HasSubstr("etichetta x")));
  EXPECT_EQ(a.Leggi("mlxlog.txt"), "");
}

TEST(Opzioni, EstensioniPrimaDellaGrammatica) {
  OpzioniAvvio o;
  auto ambiente = [](const std::string& n) { return n == "MLX_REGISTRY" ? "/env.reg" : ""; };
  EXPECT_EQ(LeggiRigaComando({"--dry-run", "--app-dir", "/app", "--answers=Si,2", "a.txt,", "b.txt"},
                             ambiente, &o),
            "");
  EXPECT_TRUE(o.prova);
  EXPECT_TRUE(o.dettagli);
  EXPECT_EQ(o.cartellaProgramma, "/app");
  EXPECT_EQ(o.risposte, "Si,2");
  EXPECT_EQ(o.registro, "/env.reg");
  EXPECT_EQ(o.argomenti, "a.txt, b.txt");

  OpzioniAvvio p;
  EXPECT_EQ(LeggiRigaComando({"-U", "Tab"}, ambiente, &p), "");
  EXPECT_EQ(p.argomenti, "-U Tab");
  EXPECT_NE(LeggiRigaComando({"--app-dir"}, ambiente, &p), "");
  EXPECT_NE(LeggiRigaComando({"--yes=1"}, ambiente, &p), "");

  // -h is --help; the words that the hint about misplaced options recognises.
  OpzioniAvvio h;
  EXPECT_EQ(LeggiRigaComando({"-h", "--verbose", "a.txt"}, ambiente, &h), "");
  EXPECT_TRUE(h.aiuto);
  EXPECT_TRUE(h.dettagli);
  EXPECT_EQ(h.argomenti, "a.txt");
  for (const char* nota : {"-h", "--verbose", "--registry=r.reg", "--run-once"}) {
    EXPECT_TRUE(OpzioneNota(nota)) << nota;
  }
  for (const char* altra : {"--boh", "--", "-U", "--verbosissimo", "b.txt"}) {
    EXPECT_FALSE(OpzioneNota(altra)) << altra;
  }
}

}  // namespace
}  // namespace mlx
