#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/ambiente.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

TEST(Messaggio, TestoTitoloRigheEIcone) {
  Ambiente a;
  a.sistema.ambiente["AVVISO"] = "versione {<VER>}";
  a.Esegui({"MSGN", "LOGY", "=,VER,2.1", "ENV,A,AVVISO",
            "MSG,i,Prima riga#~#Seconda, con virgola\xC2\xA7~\xC2\xA7Titolo\xC2\xA7~\xC2\xA7resto",
            "MSG,X,Senza titolo", "MSG,?,{<A>}", "MSG,!,"});
  // The title is what follows the first separator, later ones included; the text is expanded
  // once more, so a value that holds a placeholder shows what it names.
  EXPECT_THAT(a.TestiDialoghi(), ElementsAre("Prima riga\r\nSeconda, con virgola", "Senza titolo",
                                             "versione 2.1", ""));
  EXPECT_THAT(a.TitoliDialoghi(), ElementsAre("Titolo\xC2\xA7~\xC2\xA7resto", "", "", ""));
  std::vector<int> stili;
  for (const fakes::Dialogo& d : a.ui.dialoghi) stili.push_back(d.stile);
  EXPECT_THAT(stili, ElementsAre(ui::kIconInformation, ui::kIconCritical, ui::kIconQuestion,
                                 ui::kIconExclamation));
  EXPECT_THAT(a.Log(),
              ElementsAre("Log attivato", "Variabile VER = 2.1",
                          "Variabile A da ambiente AVVISO = versione {<VER>}", "Messaggio a video",
                          "Messaggio a video", "Messaggio a video", "Messaggio a video"));
}

TEST(Messaggio, IconaSconosciutaOArgomentoMancante) {
  for (const std::string riga : {"MSG,w,testo", "MSG,ii,testo", "MSG"}) {
    Ambiente a;
    a.Esegui({"MSGN", "LOGY", riga, "=,V,dopo"});
    EXPECT_THAT(a.TitoliDialoghi(), ElementsAre("Attenzione")) << riga;
    EXPECT_THAT(a.Log(), ElementsAre("Log attivato", "Variabile V = dopo")) << riga;
  }
  Ambiente a;
  a.Esegui({"MSGN", "ERRN", "LOGY", "MSG,w,testo", "=,V,dopo"});
  EXPECT_TRUE(a.ui.dialoghi.empty());
}

TEST(Attesa, MostrataSostituitaERimossa) {
  Ambiente a;
  clsMarlovex m(*a.stato);
  m.InitVars("s.txt");
  m.InitMLX({"WAITY,3,Attendere~prego, un momento", "WAITY,,Copia dei file", "WAITY,2", "LEFT,V",
             "=,V,x"});
  m.Riga(0);
  EXPECT_TRUE(a.ui.attesa);
  EXPECT_EQ(a.ui.messaggioAttesa, "Attendere\r\nprego, un momento");
  EXPECT_EQ(a.ui.righeAttesa, 3);
  EXPECT_EQ(m.Azione(), "Attivato msgbox di attesa");
  m.Riga(1);
  EXPECT_EQ(a.ui.messaggioAttesa, "Copia dei file");
  EXPECT_EQ(a.ui.righeAttesa, 3);  // lines that are no number leave the height as it was
  m.Riga(2);
  EXPECT_EQ(a.ui.messaggioAttesa, "Copia dei file");  // no text: the message stays
  EXPECT_EQ(a.ui.righeAttesa, 2);
  // A reported error takes the window down.
  m.Riga(3);
  EXPECT_FALSE(a.ui.attesa);
  ASSERT_EQ(a.ui.dialoghi.size(), 1u);

  // The end of a run takes it down too; a run without WAITY never shows it.
  a.Esegui({"MSGN", "WAITY,1,Lavoro", "=,V,x"});
  EXPECT_FALSE(a.ui.attesa);
  a.Esegui({"MSGN", "WAITY"});
  EXPECT_EQ(a.ui.dialoghi.size(), 2u);  // WAITY without arguments is a reported error
}

}  // namespace
}  // namespace mlx
