#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/ambiente.h"
#include "launch/opzioni.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

std::vector<std::string> Caricate(Ambiente& a, const std::string& file) {
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
  EXPECT_THAT(Caricate(a, "s.txt"),
              ElementsAre("=,A,1", "M,X,1 ,2", "=,I,1", "", "<<mlx,inc.txt", "=,I,1", "", "fine_",
                          ""));
  // A file of blank lines loads as no line at all.
  a.Scrivi("vuoto.txt", "   \r\n\r\n");
  EXPECT_THAT(Caricate(a, "vuoto.txt"), ElementsAre(""));
}

TEST(Caricamento, CodificaWindows1252) {
  Ambiente a;
  a.Scrivi("s.txt", "\xA7" "app,x\r\n=,C,citt\xE0\r\n");
  EXPECT_THAT(Caricate(a, "s.txt"), ElementsAre("\xC2\xA7" "app,x", "=,C,citt\xC3\xA0", ""));
}

TEST(Caricamento, InclusioneMancante) {
  Ambiente a;
  a.Scrivi("a.txt", "=,A,1\r\n<<MLX,manca.txt\r\n");
  EXPECT_THAT(Caricate(a, "a.txt"), ElementsAre("<fallito>"));
  ASSERT_EQ(a.ui.dialoghi.size(), 1u);
  EXPECT_NE(a.ui.dialoghi[0].testo.find(a.Percorso("manca.txt")), std::string::npos);
}

TEST(Avvio, ElencoConSpaziEVirgolette) {
  Ambiente a;
  a.Scrivi("uno.txt", "LOGY\r\n=,A,1\r\n");
  a.Scrivi("due.txt", "LOGY\r\n=,B,2\r\n");
  Main(*a.stato, a.Percorso("uno.txt") + ", \"" + a.Percorso("due.txt") + "\",,");
  EXPECT_THAT(a.Log(), ElementsAre("Log attivato", "Variabile A = 1", "Log attivato",
                                   "Variabile B = 2"));
  EXPECT_EQ(a.ui.dialoghi.size(), 2u);  // one success message per script
  EXPECT_FALSE(a.stato->ErroreSegnalato);
}

TEST(Avvio, RigaDiOpzioniNonEsegueScript) {
  Ambiente a;
  a.Scrivi("uno.txt", "LOGY\r\n=,A,1\r\n");
  Main(*a.stato, "-C " + a.Percorso("uno.txt") + "," + a.Percorso("uno.txt"));
  EXPECT_TRUE(a.ui.dialoghi.empty());
  // "-U" runs only planned scripts: without a scheduling database nothing runs, and the
  // user is told why.
  Main(*a.stato, "-u tabella|altro");
  EXPECT_EQ(a.Leggi("mlxlog.txt"), "");
  ASSERT_EQ(a.ui.dialoghi.size(), 1u);
  EXPECT_EQ(a.ui.dialoghi[0].titolo, "Attenzione");
}

TEST(Avvio, EtichettaDoppiaRifiutaLoScript) {
  Ambiente a;
  a.Scrivi("s.txt", "LOGY\r\n:X\r\n:x\r\n");
  Main(*a.stato, a.Percorso("s.txt"));
  ASSERT_EQ(a.ui.dialoghi.size(), 1u);
  EXPECT_NE(a.ui.dialoghi[0].testo.find("etichetta x"), std::string::npos);
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
  EXPECT_NE(LeggiRigaComando({"--boh"}, ambiente, &p), "");
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
