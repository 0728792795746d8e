#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "database/aiuto.h"
#include "fakes/ambiente.h"
#include "platform/ui/ui.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

// The lines run after "ASKN", "MSGN", "LOGY", and the log without those three sentences.
std::vector<std::string> LogDi(Ambiente& a, std::vector<std::string> righe) {
  righe.insert(righe.begin(), {"ASKN", "MSGN", "LOGY"});
  std::filesystem::remove(a.Percorso("mlxlog.txt"));
  a.Esegui(righe);
  std::vector<std::string> log = a.Log();
  if (!log.empty()) log.erase(log.begin());  // "Log attivato"
  return log;
}

TEST(Blocchi, FalsoSenzaElseEFineSenzaBlocco) {
  Ambiente a;
  // A false block is skipped up to its end marker, which still runs.
  EXPECT_THAT(LogDi(a, {"=,N,6", "^{<N>}==5^", "=,A,si", "=,A,ancora", "^^", "=,B,dopo"}),
              ElementsAre("Variabile N = 6", "Condizione   N == 5 :  Falsa", "Fine condizione",
                          "Variabile B = dopo"));
  // A false block with no end marker skips to the end of the script.
  EXPECT_THAT(LogDi(a, {"^{<N>}==5^", "=,A,si", "=,B,si"}),
              ElementsAre("Condizione   N == 5 :  Falsa"));
  // An end marker with no block before it only says so.
  EXPECT_THAT(LogDi(a, {"()", "^^"}), ElementsAre("Fine condizione", "Fine condizione"));
}

TEST(Blocchi, SaltiAnnidatiSiFermanoAlPrimoCircomflesso) {
  Ambiente a;
  // The false outer block's skip stops at the inner condition, which is then evaluated; a line
  // beginning with "(" never stops a skip.
  EXPECT_THAT(
      LogDi(a, {"=,N,1", "^{<N>}==2^", "=,A,1", "(^{<N>}==1^)", "=,B,1", "^{<N>}==1^", "=,C,1",
                "^^", "^^"}),
      ElementsAre("Variabile N = 1", "Condizione   N == 2 :  Falsa", "Condizione   N == 1 :  Vera",
                  "Variabile C = 1", "Fine condizione", "Fine condizione"));
  // A true line beginning with "(" lets the next lines run; a false one skips to the next "^".
  EXPECT_THAT(LogDi(a, {"=,N,1", "(^{<N>}==1^) AND ^{<N>}<>2^", "=,A,1",
                        "(^{<N>}==2^) OR ^{<N>}==3^", "=,B,1", "(^{<N>}==1^)", "^^", "=,C,1"}),
              ElementsAre("Variabile N = 1", "Condizione   ( N == 1 ) AND N <> 2 :  Vera",
                          "Variabile A = 1", "Condizione   ( N == 2 ) OR N == 3 :  Falsa",
                          "Fine condizione", "Variabile C = 1"));
}

TEST(Blocchi, UnaCondizioneCheFallisceEFalsa) {
  Ambiente a;
  // Errors silenced: the line is marked failed, its sentence logged, and the block skipped.
  EXPECT_THAT(
      LogDi(a, {"ERRN", "^F,a^)", "=,A,1", "^^", "^ERR^", "=,B,1", "^^"}),
      ElementsAre("Segnalazione errori disattivata", "esistenza file a Falsa", "Fine condizione",
                  "Condizione   su errore  :  Vera", "Variabile B = 1", "Fine condizione"));
  // Reported: one box, no sentence, the block skipped all the same.
  EXPECT_THAT(LogDi(a, {"^F,a^)", "=,A,1", "^^", "=,B,1"}),
              ElementsAre("Fine condizione", "Variabile B = 1"));
  EXPECT_THAT(a.TitoliDialoghi(), ElementsAre("Attenzione"));
}

// Answered Yes, the block runs and the question is not asked again.
TEST(Domanda, ChiestaUnaVoltaSola) {
  Ambiente a;
  a.Esegui({"MSGN", "=,N,1", "^{<N>}==1^", "^{<N>}==1^", "=,A,1", "^^"});
  EXPECT_THAT(a.TitoliDialoghi(), ElementsAre("ATTENZIONE!"));
}

TEST(Salti, GotoGosubRetEEtichetteSenzaMaiuscole) {
  Ambiente a;
  EXPECT_THAT(
      LogDi(a, {"GOTO,inizio", "=,MAI,1", ":INIZIO", "GOSUB,Esterna", "=,D,dopo", "GOTO,fine",
                ":ESTERNA", "=,E,1", "GOSUB,interna", "=,E,2", "RET", ":interna", "=,I,1", "RET",
                ":Fine"}),
      ElementsAre("Salto a inizio", "Salto a Esterna con ritorno", "Variabile E = 1",
                  "Salto a interna con ritorno", "Variabile I = 1", "Ritorno dal salto",
                  "Variabile E = 2", "Ritorno dal salto", "Variabile D = dopo", "Salto a fine"));
  EXPECT_TRUE(a.ui.dialoghi.empty()) << prova::PrimoDialogo(a);
}

TEST(Salti, EtichettaMancanteSegueLaTrappola) {
  Ambiente a;
  // Reported: the box names the label, no sentence, the next line runs.
  EXPECT_THAT(LogDi(a, {"GOTO,NESSUNA", "=,A,1"}), ElementsAre("Variabile A = 1"));
  EXPECT_THAT(a.TestiDialoghi(),
              ElementsAre(::testing::HasSubstr("Etichetta NESSUNA non trovata")));
  // Silenced: marked failed, no jump (and no return address left behind), sentence logged.
  a.ui.dialoghi.clear();
  EXPECT_THAT(LogDi(a, {"ERRN", "GOSUB,NESSUNA", "^ERR^", "=,A,1", "^^", "RET", "=,B,1"}),
              ElementsAre("Segnalazione errori disattivata", "Salto a NESSUNA con ritorno",
                          "Condizione   su errore  :  Vera", "Variabile A = 1", "Fine condizione",
                          "Ritorno dal salto", "Variabile B = 1"));
  EXPECT_THAT(a.TestiDialoghi(), ElementsAre("Stack vuoto, impossibile estrarre elementi."));
}

// Three databases with a table T each; the loop counts the rows of T in each and writes them.
class Cicli : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* nome : {"Base.mdb", "dbs/Arch1.mdb", "dbs/Arch2.mdb", "dbs/Altro.mdb"}) {
      const std::string percorso = prova::NuovoDatabase(a, nome);
      ASSERT_EQ(prova::Esegui(a, percorso, "CREATE TABLE T (N LONG)"), "");
    }
  }
  // The rows of T in each of the databases, one digit each.
  std::string Visti(const std::vector<std::string>& nomi) {
    std::string conti;
    for (const std::string& n : nomi)
      conti += prova::Righe(a, a.Percorso(n), "SELECT COUNT(*) FROM T")[0];
    return conti;
  }
  Ambiente a;
};

TEST_F(Cicli, SuTreDatabaseDiUnElenco) {
  const std::string base = a.Percorso("Base.mdb");
  const std::string cartella = a.Percorso("dbs");
  EXPECT_THAT(LogDi(a, {"*" + base + "*", ":GIRO", "SQL,INSERT INTO T VALUES (1)",
                        "LOOP,giro," + cartella + ",Arch1.mdb;Arch2.mdb", "=,FINE,1"}),
              ElementsAre("Aperto database " + base, "Eseguita query INSERT INTO T VALUES (1)",
                          "Ciclo: ritorno a giro", "Eseguita query INSERT INTO T VALUES (1)",
                          "Ciclo: ritorno a giro", "Eseguita query INSERT INTO T VALUES (1)",
                          "Ciclo giro terminato", "Variabile FINE = 1"));
  EXPECT_EQ(Visti({"Base.mdb", "dbs/Arch1.mdb", "dbs/Arch2.mdb", "dbs/Altro.mdb"}), "1110");
  EXPECT_EQ(a.stato->DbAlternativo, a.Percorso("dbs/Arch2.mdb"));
}

TEST_F(Cicli, SuUnElencoDellaCartellaELaCartellaDelDbCiclo) {
  const std::string cartella = a.Percorso("dbs");
  // The listing of the names beginning with "Arch"; then an empty folder means the folder of
  // the database the loop last opened, and "*" lists all of it.
  LogDi(a, {"*" + a.Percorso("Base.mdb") + "*", ":A", "SQL,INSERT INTO T VALUES (1)",
            "LOOP,A," + cartella + ",Arch*", ":B", "SQL,INSERT INTO T VALUES (2)", "LOOP,B,,*"});
  EXPECT_TRUE(a.ui.dialoghi.empty()) << prova::PrimoDialogo(a);
  EXPECT_EQ(Visti({"Base.mdb"}), "1");
  EXPECT_THAT(prova::Righe(a, a.Percorso("dbs/Arch1.mdb"), "SELECT N FROM T ORDER BY N"),
              ElementsAre("1", "2"));
  // The second stretch runs first on the database the first loop left open.
  EXPECT_THAT(prova::Righe(a, a.Percorso("dbs/Arch2.mdb"), "SELECT N FROM T ORDER BY N"),
              ElementsAre("1", "2", "2"));
  EXPECT_THAT(prova::Righe(a, a.Percorso("dbs/Altro.mdb"), "SELECT N FROM T"), ElementsAre("2"));
}

TEST_F(Cicli, LasciatoConUnSaltoRiprendeIlSuoElenco) {
  const std::string cartella = a.Percorso("dbs");
  // The second pass leaves the loop by a jump; a LOOP line of the same label goes on with the
  // list instead of starting it over: four passes in all.
  const std::string lista = "LOOP,A," + cartella + ",Arch1.mdb;Arch2.mdb;Altro.mdb";
  const std::vector<std::string> log =
      LogDi(a, {"=,GIRI,", ":A", "=,GIRI,{<GIRI>}x", "^{<GIRI>}==xx^", "GOTO,FUORI", "^^", lista,
                "END", ":FUORI", "=,FUORI,si", lista});
  ASSERT_GE(log.size(), 4u);
  EXPECT_THAT(std::vector<std::string>(log.end() - 4, log.end()),
              ElementsAre("Variabile GIRI = xxxx", "Condizione   GIRI == xx :  Falsa",
                          "Fine condizione", "Ciclo A terminato"));
}

TEST_F(Cicli, CicliAnnidatiFinisconoECartellaRegistrataMancante) {
  const std::string cartella = a.Percorso("dbs");
  // The inner loop ends its own walk; the outer one goes on with its list and ends.
  LogDi(a, {":ESTERNO", ":INTERNO", "SQL,INSERT INTO T VALUES (1)",
            "LOOP,INTERNO," + cartella + ",Arch1.mdb", "LOOP,ESTERNO," + cartella + ",Altro.mdb"});
  EXPECT_EQ(Visti({"dbs/Arch1.mdb", "dbs/Altro.mdb"}), "21");
  // "§" with no registered database: the loop ends at once.
  EXPECT_THAT(LogDi(a, {":X", "LOOP,X,\xC2\xA7,a.mdb;b.mdb"}), ElementsAre("Ciclo X terminato"));
}

TEST(Interruzione, UnoScriptCheSaltaSuSeStessoFinisce) {
  Ambiente a;
  const std::string dati = prova::NuovoDatabase(a);
  int righe = 0;
  a.stato->RichiestaInterruzione = [&righe] { return ++righe > 40; };
  a.Esegui({"*" + dati + "*", "SQL,CREATE TABLE T (N LONG)", "LOGY", ":A",
            "SQL,INSERT INTO T VALUES (1)", "GOTO,A"});
  EXPECT_TRUE(a.stato->Interrotto);
  // No success message after an interrupted run, and no further script runs.
  EXPECT_TRUE(a.ui.dialoghi.empty()) << prova::PrimoDialogo(a);
  a.Scrivi("dopo.txt", "LOGY\r\n=,X,1\r\n");
  EseguiScript(*a.stato, a.Percorso("dopo.txt"));
  const std::vector<std::string> log = a.Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Salto a A"), 18);
  EXPECT_EQ(std::count(log.begin(), log.end(), "Variabile X = 1"), 0);
  // The database was closed whole: another connection reads it.
  EXPECT_EQ(prova::Esegui(a, dati, "CREATE TABLE U (N LONG)"), "");
}

}  // namespace
}  // namespace mlx
