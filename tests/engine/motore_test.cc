#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/aiuto.h"
#include "fakes/ambiente.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

TEST(Motore, IlLogHaDataEOraECrLf) {
  Ambiente a;
  a.Esegui({"LOGY", "=,LISTA,a,b,c"});
  EXPECT_EQ(a.Leggi("mlxlog.txt"),
            "05/12/26 21:03:07 Log attivato\r\n05/12/26 21:03:07 Variabile LISTA = a,b,c\r\n");
}

TEST(Motore, MessaggioFinaleSoloSeUnaRigaHaAgito) {
  Ambiente a;
  a.Esegui({";a", ";b"});
  EXPECT_TRUE(a.ui.dialoghi.empty());
  // A script of one empty line, as an empty file is handed over, ends too.
  a.Esegui({""});
  EXPECT_TRUE(a.ui.dialoghi.empty());
  a.Esegui({"MSGN", "=,X,1"});
  EXPECT_TRUE(a.ui.dialoghi.empty());
  // A label counts as a line that ran: the success message follows.
  a.Esegui({";solo commento", ":FINE"});
  EXPECT_EQ(a.ui.dialoghi.size(), 1u);
}

TEST(Motore, CodiciSconosciutiNonFannoNulla) {
  Ambiente a;
  a.Esegui({"LOGY", "sql,DELETE FROM T", " ;x", "m,Campo,1", "MSGN"});
  EXPECT_THAT(a.Log(), ElementsAre("Log attivato", "Disattivato msgbox segnalazione aggiornamento"));
  EXPECT_TRUE(a.database.eseguite.empty());
}

// END ends the run, announced when debugging.
TEST(Motore, SwitchEFineRunDopoEnd) {
  Ambiente a;
  clsMarlovex m(*a.stato);
  m.Debugging(true);
  m.InitVars("s.txt");
  m.InitMLX({"ASKN", "MSGN", "ERRN", "END", "ERRY"});
  m.Ciclo();
  EXPECT_FALSE(m.Contesto().RichiediAggiornamento);
  EXPECT_FALSE(m.Contesto().SegnalaAggiornamento);
  EXPECT_TRUE(m.Contesto().ErroriSilenziosi);  // the line after END never ran
  EXPECT_FALSE(m.IsRunning());
  EXPECT_EQ(m.ExecVars(), nullptr);
  EXPECT_THAT(a.TestiDialoghi(), ElementsAre("Esecuzione terminata."));
}

// An object a schema command does not find is passed over in silence; with --verbose (and so
// in a dry run) a note names it and the line, so that a misspelt name shows up when the script
// is tried. An object that exists already gets no note.
TEST(Motore, OggettoMancanteNotatoSoloConDettagli) {
  Ambiente a;
  const std::string dati = prova::NuovoDatabase(a);
  std::vector<std::string> note;
  a.stato->StampaNota = [&note](const std::string& n) { note.push_back(n); };
  const std::vector<std::string> righe = {
      "MSGN", "*" + dati + "*", "[Clienti]", ">", ">", "+,Nome,LONG", "-,Nome", "-,Nome",
      "X",    "X",              "LOGY",      "=,A,1"};
  a.Esegui(righe);
  EXPECT_TRUE(note.empty());
  a.stato->Dettagli = true;
  a.Esegui(righe);
  EXPECT_THAT(note, ElementsAre("Nota: Il campo 'Nome' non esiste. (riga 8)",
                                "Nota: La tabella 'Clienti' non esiste. (riga 10)"));
  EXPECT_TRUE(a.ui.dialoghi.empty()) << prova::PrimoDialogo(a);
  EXPECT_FALSE(a.stato->ErroreSegnalato);
  // The run went on after the passed-over lines.
  EXPECT_THAT(a.Log(),
              ElementsAre("Log attivato", "Variabile A = 1", "Log attivato", "Variabile A = 1"));
}

// Clearing the engine puts it on the first line that is not a comment, for each script it is
// given in turn; looking further from a later line still passes over the comments after it,
// and a script of comments only stops the run past its end.
TEST(Motore, DopoClearLaPrimaRigaCheNonECommento) {
  Ambiente a;
  clsMarlovex m(*a.stato);
  m.InitVars("s.txt");
  m.InitMLX({";a", "", ";b", "=,A,1", ";c", "", "=,B,2"});
  m.Clear();
  EXPECT_EQ(m.CurrLinea(), 3);
  m.SaltaCommenti();
  EXPECT_EQ(m.CurrLinea(), 6);
  m.CurrLinea(0);
  m.SaltaCommenti();
  EXPECT_EQ(m.CurrLinea(), 3);
  m.InitMLX({"=,A,1", ";x"});
  m.Clear();
  EXPECT_EQ(m.CurrLinea(), 0);
  m.InitMLX({";x", ";y", ";z"});
  m.Clear();
  EXPECT_EQ(m.CurrLinea(), 3);
  EXPECT_FALSE(m.IsRunning());
}

TEST(Motore, IlPercorsoOspiteVieneDalRegistro) {
  Ambiente a;
  a.Scrivi("registry.reg",
           "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Hollemar900\\Settings]\r\n"
           "\"PathMDB\"=\"C:\\\\Prog\\\\Dati.mdb\"\r\n");
  clsMarlovex m(*a.stato);
  m.InitVars("s.txt");
  EXPECT_EQ(m.Contesto().DbCorrente, "C:\\Prog\\Dati.mdb");
  EXPECT_NE(m.Contesto().impostazioni.ChiaveImpostazioni, -1);
  m.Clear();
  EXPECT_EQ(m.Contesto().impostazioni.ChiaveImpostazioni, -1);
}

}  // namespace
}  // namespace mlx
