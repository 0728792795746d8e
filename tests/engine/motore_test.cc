#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/aiuto.h"
#include "fakes/ambiente.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

TEST(Motore, CommentiEtichetteNonScrivonoIlLog) {
  Ambiente a;
  a.Esegui({"LOGY", ";commento", ":FINE", "=,X,1", "LOGN", "=,Y,2", "LOGY", "END", "=,Z,3"});
  EXPECT_THAT(a.Log(), ElementsAre("Log attivato", "Variabile X = 1", "Log attivato"));
  // The success message follows the run, once.
  ASSERT_EQ(a.ui.dialoghi.size(), 1u);
  EXPECT_EQ(a.ui.dialoghi[0].testo, "Aggiornamento eseguito con successo.");
  EXPECT_EQ(a.ui.dialoghi[0].titolo, "Aggiornamento");
  EXPECT_EQ(a.ui.dialoghi[0].stile, 64);
}

TEST(Motore, IlLogHaDataEOraECrLf) {
  Ambiente a;
  a.Esegui({"LOGY", "=,LISTA,a,b,c"});
  EXPECT_EQ(a.Leggi("mlxlog.txt"),
            "05/12/26 21:03:07 Log attivato\r\n05/12/26 21:03:07 Variabile LISTA = a,b,c\r\n");
}

TEST(Motore, SoloCommentiNessunMessaggioFinale) {
  Ambiente a;
  a.Esegui({";a", ";b"});
  EXPECT_TRUE(a.ui.dialoghi.empty());
  // A script of one empty line, as an empty file is handed over, ends too.
  a.Esegui({""});
  EXPECT_TRUE(a.ui.dialoghi.empty());
  a.Esegui({"MSGN", "=,X,1"});
  EXPECT_TRUE(a.ui.dialoghi.empty());
}

TEST(Motore, EtichettaContaComeRigaEseguita) {
  Ambiente a;
  a.Esegui({";solo commento", ":FINE"});
  ASSERT_EQ(a.ui.dialoghi.size(), 1u);
}

TEST(Motore, SegnapostoMancanteSegnalatoELaRigaDopoVa) {
  Ambiente a;
  a.Esegui({"LOGY", "[Clienti]", "=,A,{<MANCA>}", "=,B,ok", "MSGN"});
  ASSERT_EQ(a.ui.dialoghi.size(), 1u);
  const fakes::Dialogo& d = a.ui.dialoghi[0];
  EXPECT_EQ(d.titolo, "Attenzione");
  EXPECT_EQ(d.stile, 64);
  EXPECT_EQ(d.testo,
            "Database: \r\nTabella: Clienti\r\nCampo: A\r\nVariabile non definita: MANCA");
  EXPECT_THAT(a.Log(), ElementsAre("Log attivato", "Tabella Clienti", "Variabile B = ok",
                                   "Disattivato msgbox segnalazione aggiornamento"));
  EXPECT_TRUE(a.stato->ErroreSegnalato);
}

TEST(Motore, ErrnTaceLErroreERiprende) {
  Ambiente a;
  a.Esegui({"LOGY", "ERRN", "=,A,{<MANCA>}", "=,B,ok", "MSGN"});
  EXPECT_TRUE(a.ui.dialoghi.empty());
  EXPECT_FALSE(a.stato->ErroreSegnalato);
  // The failed line runs nothing and logs nothing; the next line is not disturbed.
  EXPECT_THAT(a.Log(), ElementsAre("Log attivato", "Segnalazione errori disattivata",
                                   "Variabile B = ok",
                                   "Disattivato msgbox segnalazione aggiornamento"));
}

TEST(Motore, CodiciSconosciutiNonFannoNulla) {
  Ambiente a;
  a.Esegui({"LOGY", "sql,DELETE FROM T", " ;x", "m,Campo,1", "MSGN"});
  EXPECT_THAT(a.Log(), ElementsAre("Log attivato", "Disattivato msgbox segnalazione aggiornamento"));
  EXPECT_TRUE(a.database.eseguite.empty());
}

TEST(Motore, LaProvaNonAttivaIlLog) {
  Ambiente a;
  a.Esegui({"LOGY", "=,X,1", "MSGN"}, /*vero=*/false);
  EXPECT_EQ(a.Leggi("mlxlog.txt"), "");
}

TEST(Motore, SwitchEFineRunDopoEnd) {
  Ambiente a;
  clsMarlovex m(*a.stato);
  m.InitVars("s.txt");
  m.InitMLX({"ASKN", "MSGN", "ERRN", "END", "ERRY"});
  m.Ciclo();
  EXPECT_FALSE(m.Contesto().RichiediAggiornamento);
  EXPECT_FALSE(m.Contesto().SegnalaAggiornamento);
  EXPECT_TRUE(m.Contesto().ErroriSilenziosi);  // the line after END never ran
  EXPECT_FALSE(m.IsRunning());
  EXPECT_EQ(m.ExecVars(), nullptr);
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
  EXPECT_THAT(a.Log(), ElementsAre("Log attivato", "Variabile A = 1", "Log attivato",
                                   "Variabile A = 1"));
}

TEST(Motore, DebuggingAnnunciaLaFine) {
  Ambiente a;
  clsMarlovex m(*a.stato);
  m.Debugging(true);
  m.InitVars("s.txt");
  m.InitMLX({"MSGN", "END", "=,A,1"});
  m.Ciclo();
  EXPECT_THAT(a.TitoliDialoghi(), ElementsAre("Attenzione"));
  EXPECT_EQ(a.ui.dialoghi[0].testo, "Esecuzione terminata.");
}

TEST(Motore, EtichetteSenzaMaiuscoleEDoppie) {
  Ambiente a;
  clsMarlovex m(*a.stato);
  std::string doppia;
  EXPECT_TRUE(m.InitMLX({":Uno", "x", ":Due"}, &doppia));
  EXPECT_EQ(m.Etichette().Leggi("UNO").value_or(-1), 0);
  EXPECT_EQ(m.Etichette().Leggi("due").value_or(-1), 2);
  EXPECT_FALSE(m.InitMLX({":Fine", ":FINE"}, &doppia));
  EXPECT_EQ(doppia, "FINE");
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

namespace mlx {
namespace {

TEST(Motore, LaFinestraDiAttesaSiChiudeDopoUnErroreEAllaFine) {
  fakes::Ambiente a;
  clsMarlovex m(*a.stato);
  m.InitVars("s.txt");
  m.InitMLX({"=,A,1", "=,B,{<MANCA>}", "=,C,2"});
  m.Riga(0);
  a.ui.attesa = true;
  EXPECT_TRUE(FormCaricato(&a.ui, "frmWait"));
  EXPECT_FALSE(FormCaricato(&a.ui, "frmwait"));
  m.Riga(1);
  EXPECT_FALSE(a.ui.attesa);  // the reported error unloaded it
  a.ui.attesa = true;
  m.Riga(2);
  EXPECT_TRUE(a.ui.attesa);
  m.Clear();
  EXPECT_FALSE(a.ui.attesa);
}

}  // namespace
}  // namespace mlx
