// Single tests and condition lines, evaluated on an engine whose state earlier lines set.
#include "conditions/condizioni.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "conditions/immagine_pe.h"
#include "database/aiuto.h"

namespace mlx {
namespace {

class Condizioni : public ::testing::Test {
 protected:
  fakes::Ambiente a;
  clsMarlovex m{*a.stato};

  // Runs the lines as the run loop would, leaving the run open for the tests that follow.
  void Righe(std::vector<std::string> righe) {
    righe.insert(righe.begin(), "MSGN");
    m.InitMLX(righe);
    for (std::size_t i = 0; i < righe.size(); ++i) m.Riga(static_cast<std::int32_t>(i));
  }
  // One single test: its result and the description it appended.
  std::pair<bool, std::string> Test(const std::string& test) {
    m.Azione("");
    const bool esito = m.EvalCondizione(test);
    return {esito, m.Azione()};
  }
  std::pair<bool, std::string> Linea(const std::string& linea) {
    const bool esito = m.EvalMultiCondizione(linea);
    return {esito, m.Azione()};
  }
  long Errore(const std::string& test) {
    try {
      m.Azione("");
      m.EvalMultiCondizione(test);
    } catch (const ErroreScript& e) {
      return e.Numero();
    }
    return 0;
  }
};

using Esito = std::pair<bool, std::string>;

TEST_F(Condizioni, ErroreDellUltimaRigaEParoleDiVerita) {
  Righe({"ERRN", "SQL,DELETE FROM T"});  // no database open: the line fails
  EXPECT_EQ(Test("ERR"), Esito(true, "su errore "));
  Righe({"=,A,1"});
  EXPECT_EQ(Test("ERR"), Esito(false, "su errore "));
  for (const char* vera : {"True", "Vero"}) EXPECT_EQ(Test(vera), Esito(true, ""));
  for (const char* falsa : {"False", "Falso"}) EXPECT_EQ(Test(falsa), Esito(false, ""));
  // Without a comma and in capitals it is no truth word but a database test of one part.
  EXPECT_EQ(Errore("^TRUE^"), err::kSubscript);

  Righe({"=,S,vero", "=,N,1"});
  EXPECT_EQ(Test("TRUE,{<S>}"), Esito(true, "verit\xC3\xA0 variabile {<S>}"));
  EXPECT_EQ(Test("FALSE,{<S>}"), Esito(false, "falsit\xC3\xA0 variabile {<S>}"));
  EXPECT_EQ(Test("TRUE,{<N>}"), Esito(false, "verit\xC3\xA0 variabile {<N>}"));
  EXPECT_EQ(Test("TRUE,-1").first, true);
}

TEST_F(Condizioni, FileOrdinariSoltanto) {
  a.Scrivi("d/a.txt", "x");
  a.Scrivi("d/Libreria.DLL", "x");
  a.Scrivi("d/.nascosto.ini", "x");
  a.Scrivi("d/cartella.ini/dentro.txt", "x");
  const std::string d = a.Percorso("d");
  Righe({"=,D," + d});
  EXPECT_EQ(Test("F,{<D>}/a.txt"), Esito(true, "esistenza file " + d + "/a.txt"));
  EXPECT_EQ(Test("!F,{<D>}/a.txt"), Esito(false, "assenza file " + d + "/a.txt"));
  EXPECT_TRUE(Test("F," + d + "/*.dll").first);  // wildcards ignore case
  EXPECT_TRUE(Test("F," + d + "\\?.txt").first);
  // Folders and hidden files never match; nor does a drive that is not mapped.
  for (const std::string& nessuno : std::vector<std::string>{
           d, d + "/*.ini", d + "/.nascosto.ini", d + "/cartella.ini", d + "/*.exe", "Q:\\a.txt"}) {
    EXPECT_FALSE(Test("F," + nessuno).first) << nessuno;
    EXPECT_TRUE(Test("!F," + nessuno).first) << nessuno;
  }
}

TEST_F(Condizioni, ConfrontiDiVariabili) {
  Righe({"=,N,9", "=,T,9a", "=,P,a*bc", "=,Q,axbc", "=,V,v12", "=,R,1.0", "=,Dieci,10"});
  struct Caso {
    const char* test;
    bool esito;
    const char* descrizione;
  };
  const Caso casi[] = {
      {"{<N>}==9", true, "N == 9"},
      {"{<N>}=={<Dieci>}", false, "N == 10"},  // the value is expanded
      // Numbers are ordered as numbers, anything else character by character.
      {"{<N>}<<10", true, "N << 10"},
      {"{<T>}<<10", false, "T << 10"},
      {"{<N>}<=9,0", true, "N <= 9,0"},
      {"{<N>}>=9.5", false, "N >= 9.5"},
      {"{<T>}>>9", true, "T >> 9"},
      {"{<Manca>}==", true, "Manca == "},  // a missing variable is ""
      // Text operators: an asterisk in the value is itself, "?" and "#" keep their meaning.
      {"{<P>}[*a*b", true, "P inizia per a*b"},
      {"{<Q>}[*a*b", false, "Q inizia per a*b"},
      {"{<Q>}[*a?b", true, "Q inizia per a?b"},
      {"{<P>}*]bc", true, "P finisce per bc"},
      {"{<P>}***", true, "P contiene *"},
      {"{<V>}**##", true, "V contiene ##"},
      // Equal and different versions are equal and different texts.
      {"{<R>}sv1.0", true, "R versione uguale a 1.0"},
      {"{<R>}dv1.00", true, "R versione diversa da 1.00"},
      // Ordered versions: more components are newer when the common ones are equal; between
      // 1.0 and 1.00, whose components are equal numbers, the first given counts as the newer.
      {"{<R>}ov1.0.1", true, "R versione antecedente a 1.0.1"},
      {"{<R>}nv0.9", true, "R versione successiva a 0.9"},
      {"{<R>}os1.0", true, "R versione uguale o antecedente a 1.0"},
      {"{<R>}ns1.00", true, "R versione uguale o successiva a 1.00"},
      {"{<R>}os1.00", false, "R versione uguale o antecedente a 1.00"},
      {"{<R>}ov10", true, "R versione antecedente a 10"},
      // Operators that are none: false, and nothing described.
      {"{<N>} == 9", false, ""},
      {"{<N>}", false, ""},
  };
  for (const Caso& k : casi) EXPECT_EQ(Test(k.test), Esito(k.esito, k.descrizione)) << k.test;
  EXPECT_EQ(Errore("^{<N^"), err::kInvalidCall);
}

TEST_F(Condizioni, VersioniDeiFile) {
  prova::ImmaginePe immagine;
  immagine.fileMs = 0x00050002;  // 5.2.0.1
  immagine.fileLs = 0x00000001;
  a.Scrivi("x.dll", immagine.Costruisci());
  a.Scrivi("testo.txt", "nessuna versione");
  Righe({"=,DLL," + a.Percorso("x.dll")});
  const std::string dll = a.Percorso("x.dll");
  const std::string manca = a.Percorso("manca.dll");
  const std::string testo = a.Percorso("testo.txt");
  struct Caso {
    std::string test;
    bool esito;
    std::string descrizione;
  };
  const Caso casi[] = {
      {"VF=,{<DLL>},5.2.0.1", true, "versione file " + dll + " = 5.2.0.1"},
      {"VF=,{<DLL>},5.2", false, "versione file " + dll + " = 5.2"},
      {"VF<>,{<DLL>},5.2", true, "versione file " + dll + " <> 5.2"},
      {"VF<,{<DLL>},5.2", false, "versione file " + dll + " < 5.2"},
      {"VF>,{<DLL>},5.2", true, "versione file " + dll + " > 5.2"},
      {"VF>=,{<DLL>},5.10", false, "versione file " + dll + " >= 5.10"},
      {"VF<=,{<DLL>},5.10", true, "versione file " + dll + " <= 5.10"},
      // A missing file, or one without a version, has the version "", older than any other.
      {"VF<," + manca + ",1.0", true, "versione file " + manca + " < 1.0"},
      {"VF=," + testo + ",", true, "versione file " + testo + " = "},
  };
  for (const Caso& k : casi) EXPECT_EQ(Test(k.test), Esito(k.esito, k.descrizione)) << k.test;
}

TEST_F(Condizioni, CoppieEGruppi) {
  Righe({"=,A,1", "=,B,2", "=,C,3"});
  const std::string A = "^{<A>}==1^", B = "^{<B>}==2^", C = "^{<C>}==3^", No = "^{<C>}==0^";
  EXPECT_EQ(Linea(A), Esito(true, "Condizione   A == 1 : "));
  EXPECT_EQ(Linea(A + " and " + No), Esito(false, "Condizione   A == 1 AND C == 0 : "));
  EXPECT_EQ(Linea(No + " Or " + B), Esito(true, "Condizione   C == 0 OR B == 2 : "));
  EXPECT_EQ(Linea(A + " XOR " + B).first, false);
  EXPECT_EQ(Linea("(" + No + " OR " + B + ") AND " + C),
            Esito(true, "Condizione   ( C == 0 OR B == 2 ) AND C == 3 : "));
  EXPECT_EQ(Linea(A + " AND (" + No + " OR " + C + ")"),
            Esito(true, "Condizione   A == 1 AND ( C == 0 OR C == 3 ) : "));
  // Nested groups are reduced innermost first; the outer group shows the caret it kept.
  EXPECT_EQ(Linea("((" + No + " OR " + B + ") AND " + C + ")"),
            Esito(true, "Condizione   (( C == 0 OR B == 2 ) AND  C == 3 ) : "));
  // Blanks before the line are kept in its log text.
  EXPECT_EQ(Linea(" " + A), Esito(true, "Condizione    A == 1 : "));
  // A third test belongs to the second: here the value compared with B.
  EXPECT_EQ(Linea(A + " AND " + B + " AND " + C),
            Esito(false, "Condizione   A == 1 AND B == 2^ AND ^3==3 : "));
  // An operator that is none gives false and never asks the second test, which would fail.
  EXPECT_EQ(Linea(A + " NOR ^{<X^"), Esito(false, "Condizione   A == 1 : "));
  // The second test of an OR is asked even when the first decides: its failure shows it.
  EXPECT_EQ(Errore(A + " OR ^{<X^"), err::kInvalidCall);
}

TEST_F(Condizioni, LineeMalformateNonBloccanoNe) {
  Righe({"=,A,1"});
  const std::string A = "^{<A>}==1^";
  // Neither "^" nor "(" first: false, and the sentence is left alone.
  m.Azione("prima");
  EXPECT_FALSE(m.EvalMultiCondizione("x" + A));
  EXPECT_FALSE(m.EvalMultiCondizione(""));
  EXPECT_EQ(m.Azione(), "prima");
  // A group never closed stays as it is, and the line is false.
  EXPECT_FALSE(Linea("(" + A + " AND " + A).first);
  EXPECT_FALSE(Linea("()").first);
  // Carets or parentheses that pair with nothing are errors of the line.
  for (const std::string& linea :
       std::vector<std::string>{A + ")", "(" + A + "))", "(^^)", "(^)", "^", "^A", A + " AND",
                                A + " AND ^", "^ F,a.txt ^"}) {
    EXPECT_NE(Errore(linea), 0) << linea;
  }
  // Deep nesting and random text end, each in one pass over its groups.
  std::string profonda = A;
  for (int i = 0; i < 2000; ++i) profonda = "(" + profonda + ")";
  EXPECT_TRUE(Linea(profonda).first);
  std::mt19937 caso(7);
  const std::string pezzi[] = {"^", "(", ")", " AND ", " OR ", "{<A>}==1", "True", " "};
  for (int i = 0; i < 3000; ++i) {
    std::string linea;
    for (int k = caso() % 12; k >= 0; --k) linea += pezzi[caso() % std::size(pezzi)];
    Errore(linea);
  }
}

TEST_F(Condizioni, TabelleQueryECampi) {
  const std::string dati = prova::NuovoDatabase(a);
  ASSERT_EQ(prova::Esegui(a, dati,
                          "CREATE TABLE Clienti (Id COUNTER, Nome TEXT(50), Note MEMO, B BYTE, "
                          "I SHORT, L LONG, S SINGLE, D DOUBLE, N DECIMAL, M CURRENCY, "
                          "T DATETIME, V YESNO)"),
            "");
  ASSERT_TRUE(prova::Apri(a, dati)->AppendView("Vista", "SELECT Nome FROM Clienti").ok());
  // The database is written out: a test that begins with a placeholder is a variable
  // comparison.
  Righe({});
  const std::string db = "(" + dati + ") ";
  EXPECT_EQ(Test(dati + ",Clienti,Y"), Esito(true, db + "Tabella Clienti presente "));
  EXPECT_EQ(Test(dati + ",Clienti,X"), Esito(false, db + "Tabella Clienti assente "));
  EXPECT_EQ(Test(dati + ",Manca,X"), Esito(true, db + "Tabella Manca assente "));
  EXPECT_EQ(Test(dati + ",Vista,YQ"), Esito(true, db + "Query Vista presente "));
  EXPECT_EQ(Test(dati + ",Clienti,Z"), Esito(false, db));
  EXPECT_EQ(Test(dati + ",Clienti,Note,#"), Esito(false, db + "Campo Clienti.Note assente "));
  EXPECT_EQ(Test(dati + ",Clienti,Manca,#"), Esito(true, db + "Campo Clienti.Manca assente "));

  // "=": whether the field must be made or changed.
  for (const char* uguale : {"Note,=,MEMO", "Nome,=,text", "Nome,=, TEXT , 50 ", "Nome,=,202",
                             "B,=,BYTE", "I,=,INT", "L,=,LONG", "S,=,SINGLE", "D,=,DOUBLE",
                             "N,=,DECIMAL", "M,=,MONEY", "T,=,DATE", "V,=,BOOL", "Manca,=,-4"}) {
    EXPECT_FALSE(Test(dati + ",Clienti," + uguale).first) << uguale;
  }
  EXPECT_EQ(Test(dati + ",Clienti,Nome,=,MEMO"),
            Esito(true, db + "Campo Clienti.Nome diverso da MEMO"));
  EXPECT_EQ(Test(dati + ",Clienti,Nome,=,TEXT,40"),
            Esito(true, db + "Campo Clienti.Nome diverso da TEXT(40) "));
  EXPECT_EQ(Test(dati + ",Clienti,Nome,="), Esito(true, db + "Campo Clienti.Nome diverso da -1"));

  // The database and the name stay current, and the recordset is released.
  EXPECT_EQ(m.Contesto().TabellaCorrente, "Clienti");
  EXPECT_EQ(m.Contesto().DbCorrente, dati);
  EXPECT_EQ(m.Contesto().DbCiclo, dati);
  EXPECT_EQ(Errore("^" + dati + ",Clienti,Nome,=,STRINGA^"), err::kTypeMismatch);
  EXPECT_FALSE(m.Contesto().RecordsetGet);
  EXPECT_EQ(Errore("^" + dati + ",Clienti,Nome,=,TEXT,cinquanta^"), err::kTypeMismatch);
  EXPECT_NE(Errore("^" + dati + ",Manca,Note,#^"), 0);
  EXPECT_EQ(Errore("^" + dati + ",Altra^"), err::kSubscript);
  EXPECT_EQ(m.Contesto().TabellaCorrente, "Altra");
  // A lower-case prefix is no file test but a database, which is not there.
  EXPECT_NE(Errore("^f,a.txt^"), 0);
}

TEST_F(Condizioni, QualeDatabase) {
  const std::string uno = prova::NuovoDatabase(a, "Uno.mdb");
  const std::string due = prova::NuovoDatabase(a, "Due.mdb");
  const std::string tre = prova::NuovoDatabase(a, "Tre.mdb");
  ASSERT_EQ(prova::Esegui(a, uno, "CREATE TABLE SoloUno (Id LONG)"), "");
  ASSERT_EQ(prova::Esegui(a, due, "CREATE TABLE SoloDue (Id LONG)"), "");
  ASSERT_EQ(prova::Esegui(a, tre, "CREATE TABLE SoloTre (Id LONG)"), "");
  prova::DatabaseOspite(a, uno);
  // MAIN is the registered database when no path was derived from it...
  Righe({});
  EXPECT_EQ(Test("MAIN,SoloUno,Y"), Esito(true, "(" + uno + ") Tabella SoloUno presente "));
  EXPECT_EQ(m.Contesto().DbCiclo, uno);
  // ...and the derived path when there is one.
  a.stato->DbAlternativo = due;
  EXPECT_TRUE(Test("MAIN,SoloDue,Y").first);
  EXPECT_EQ(m.Contesto().DbCorrente, due);

  // A database opened by a database line is the one tested until a test names a database other
  // than the one the previous test named.
  Righe({"*" + tre + "*"});
  EXPECT_TRUE(Test(due + ",SoloTre,Y").first);
  EXPECT_TRUE(Test(due + ",SoloTre,Y").first);
  EXPECT_TRUE(Test(uno + ",SoloUno,Y").first);
  // A database that cannot be opened is an error.
  EXPECT_NE(Errore("^" + a.Percorso("Manca.mdb") + ",T,Y^"), 0);
}

}  // namespace
}  // namespace mlx
