#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "conditions/immagine_pe.h"
#include "database/aiuto.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

TEST(FileVer, VersioneDelFileOVuotaQuandoNonCeNe) {
  Ambiente a;
  prova::ImmaginePe immagine;
  immagine.pe32piu = true;
  a.Scrivi("bin/x.dll", immagine.Costruisci());
  a.Scrivi("bin/leggimi.txt", "MZ non proprio\r\n");
  const std::string dll = a.Percorso("bin\\x.dll");
  const std::string testo = a.Percorso("bin\\leggimi.txt");
  const std::string manca = a.Percorso("bin\\manca.dll");
  a.Esegui({"LOGY", "FILEVER,V," + dll, "=,R,[{<V>}]", "FILEVER,T," + testo, "=,R,[{<T>}]",
            "FILEVER,V," + manca, "=,R,[{<V>}]", "MSGN"});
  EXPECT_THAT(a.Log(),
              ElementsAre("Log attivato", "Variabile V come versione del file " + dll,
                          "Variabile R = [1.0.-1.2]", "Variabile T come versione del file " + testo,
                          "Variabile R = []",
                          // A missing file replaces the earlier value with "".
                          "Variabile V come versione del file " + manca, "Variabile R = []",
                          "Disattivato msgbox segnalazione aggiornamento"));
  EXPECT_TRUE(a.ui.dialoghi.empty());
  // Reading a version changes nothing, so a dry run reads it too.
  EXPECT_THAT(prova::Frasi(a, {"FILEVER,V," + dll, "=,R,[{<V>}]"}, false),
              ElementsAre("Variabile V come versione del file " + dll, "Variabile R = [1.0.-1.2]"));
}

// The lines run with the log on; the sentences they logged.
std::vector<std::string> Frasi(Ambiente& a, std::vector<std::string> righe) {
  righe.insert(righe.begin(), {"MSGN", "LOGY"});
  a.Esegui(righe);
  std::vector<std::string> log = a.Log();
  if (!log.empty()) log.erase(log.begin());
  return log;
}

TEST(Assegnazioni, ValoriEFrasiDeiTesti) {
  Ambiente a;
  EXPECT_THAT(
      Frasi(a, {"=,LISTA,a,b,c", "UCASE,X,ab,cd", "LCASE,Y,\xC3\x80RIA,\xCE\xA9MEGA \xC3\x9F",
                "UCASE,Z,\xC3\xBF\xC3\xA8 \xD0\xB4\xC4\x81", "LEFTOF,L,uno due tre,",
                "RIGHTOF,R,uno due tre,", "=,V,[{<L>}][{<R>}]",
                "LEFTOF,L,uno-due,::", "RIGHTOF,R,uno-due,::", "=,V,[{<L>}][{<R>}]"}),
      ElementsAre("Variabile LISTA = a,b,c", "Variabile X come maiuscolo di ab = AB,CD",
                  // Case changes reach beyond ASCII: Latin-1, Greek, Cyrillic, Latin Extended;
                  // the sharp s has no single upper case and stays.
                  "Variabile Y come minuscolo di \xC3\x80RIA = \xC3\xA0ria,\xCF\x89mega \xC3\x9F",
                  "Variabile Z come maiuscolo di \xC3\xBF\xC3\xA8 \xD0\xB4\xC4\x81 = "
                  "\xC5\xB8\xC3\x88 \xD0\x94\xC4\x80",
                  // An empty separator splits at the first blank; the sentence shows it empty.
                  "Variabile L come sottostringa sinistra di uno due tre rispetto al separatore ",
                  "Variabile R come sottostringa destra di uno due tre rispetto al separatore ",
                  "Variabile V = [uno][due tre]",
                  // A separator that does not occur: the whole text on the left, "" on the right.
                  "Variabile L come sottostringa sinistra di uno-due rispetto al separatore ::",
                  "Variabile R come sottostringa destra di uno-due rispetto al separatore ::",
                  "Variabile V = [uno-due][]"));
}

TEST(Assegnazioni, ConteggiDiLeftERight) {
  Ambiente a;
  EXPECT_THAT(Frasi(a, {"LEFT,S,2.5,abcdef", "RIGHT,D,3.5,abcdef", "=,V,[{<S>}][{<D>}]",
                        "LEFT,S,10,\xC3\xA0\xC3\xA8,x", "RIGHT,D,2,\xE2\x82\xAC\xC3\xA0\xC3\xA8",
                        "=,V,[{<S>}][{<D>}]", "LEFT,S,,abc", "RIGHT,D,0,abc", "LEFT,N,1",
                        "=,V,[{<S>}][{<D>}][{<N>}]"}),
              ElementsAre("Variabile S come 2.5 caratteri sinistri di abcdef",
                          "Variabile D come 3.5 caratteri destri di abcdef",
                          // Halves round to the even neighbour: 2.5 takes two, 3.5 four.
                          "Variabile V = [ab][cdef]",
                          "Variabile S come 10 caratteri sinistri di \xC3\xA0\xC3\xA8,x",
                          "Variabile D come 2 caratteri destri di \xE2\x82\xAC\xC3\xA0\xC3\xA8",
                          // Counts are characters, not bytes; a larger count takes the whole text.
                          "Variabile V = [\xC3\xA0\xC3\xA8,x][\xC3\xA0\xC3\xA8]",
                          "Variabile S come  caratteri sinistri di abc",
                          "Variabile D come 0 caratteri destri di abc",
                          "Variabile N come 1 caratteri sinistri di ", "Variabile V = [][][]"));
}

TEST(Assegnazioni, PercorsiAmbienteEValoriLogici) {
  Ambiente a;
  a.sistema.ambiente["CARTELLA"] = "C:\\Dati";
  EXPECT_THAT(
      Frasi(a, {"PATHONLY,P,C:\\Prog\\bin/app.exe", "FILEONLY,F,C:\\Prog\\bin/app.exe",
                "PATHONLY,P,app.exe", "FILEONLY,F,/srv/c/", "PREPATH,J,C:\\Prog,app.exe",
                "=,V,[{<J>}]", "PREPATH,J,/srv/c,app.exe", "=,V,[{<J>}]", "ENV,E,CARTELLA",
                "ENV,E,NON_IMPOSTATA", "OR,B,vero,0", "OR,B,si,no", "AND,B,-1,TRUE",
                "AND,B,True,falso"}),
      ElementsAre(
          "Variabile P come path di C:\\Prog\\bin/app.exe = C:\\Prog\\bin",
          "Variabile F come file di C:\\Prog\\bin/app.exe = app.exe",
          "Variabile P come path di app.exe = app.exe",
          "Variabile F come file di /srv/c/ = ", "Variabile J come concat. di C:\\Prog e app.exe",
          "Variabile V = [C:\\Prog\\app.exe]", "Variabile J come concat. di /srv/c e app.exe",
          "Variabile V = [/srv/c/app.exe]", "Variabile E da ambiente CARTELLA = C:\\Dati",
          "Variabile E da ambiente NON_IMPOSTATA = ", "Variabile B come vero OR 0 = True",
          "Variabile B come si OR no = False", "Variabile B come -1 AND TRUE = True",
          "Variabile B come True AND falso = False"));
}

// A line that lacks an argument its command reads, or whose count is negative, goes to the
// error trap: reported with errors on, only marked failed with ERRN; the variable keeps its value.
TEST(Assegnazioni, ArgomentiMancantiONonValidi) {
  // Every command reads its arguments through the same accessor: one missing argument per
  // arity, and the values a count or a style cannot be.
  const char* const difettose[] = {"ENV,V",
                                   "PREPATH,V,a",
                                   "RIGHT,V,-1,abc",
                                   "LEFT,V,x,abc",
                                   "ASK,V,4",
                                   "ASK,V,,titolo,domanda",
                                   "ASK,V,quattro,titolo,domanda"};
  for (const std::string riga : difettose) {
    Ambiente a;
    a.Esegui({"MSGN", "=,V,prima", riga, "LOGY", "=,R,{<V>}"});
    EXPECT_THAT(a.TitoliDialoghi(), ElementsAre("Attenzione")) << riga;
    EXPECT_THAT(a.Log(), ElementsAre("Log attivato", "Variabile R = prima")) << riga;

    Ambiente silenzioso;
    silenzioso.Esegui({"MSGN", "ASKN", "ERRN", "=,V,prima", riga, "^ERR^", "=,V,fallita", "^^",
                       "LOGY", "=,R,{<V>}"});
    EXPECT_TRUE(silenzioso.ui.dialoghi.empty()) << riga;
    EXPECT_THAT(silenzioso.Log(), ElementsAre("Log attivato", "Variabile R = fallita")) << riga;
  }
}

}  // namespace
}  // namespace mlx
