// The rehearsal behind --dry-run: the run works on copies, nothing outside its folder changes,
// and the report lists exactly what the script would change.
#include "launch/prova.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "database/aiuto.h"
#include "system/registro.h"

namespace mlx {
namespace {

namespace stdfs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Every file under a folder with its bytes.
std::map<std::string, std::string> Contenuto(const fakes::Ambiente& a) {
  std::map<std::string, std::string> file;
  for (const auto& e : stdfs::recursive_directory_iterator(a.cartella)) {
    const std::string nome = stdfs::relative(e.path(), a.cartella).string();
    file[nome] = e.is_regular_file() ? a.Leggi(nome) : "<cartella>";
  }
  return file;
}

std::string Descrivi(const ModificaOggetto& m) {
  return std::string(1, m.azione) + " " + m.oggetto + " " +
         (m.tabella.empty() ? "" : m.tabella + ".") + m.nome;
}

class ProvaSuCopie : public ::testing::Test {
 protected:
  void SetUp() override {
    dati_ = prova::NuovoDatabase(a_);
    for (const char* sql :
         {"CREATE TABLE Clienti (ID LONG PRIMARY KEY, Nome TEXT(20), Note TEXT(10))",
          "INSERT INTO Clienti VALUES (1, 'uno', NULL)",
          "INSERT INTO Clienti VALUES (2, 'due', NULL)",
          "INSERT INTO Clienti VALUES (3, 'tre', NULL)",
          "CREATE TABLE Ordini (ID LONG, Cliente LONG)"}) {
      ASSERT_EQ(prova::Esegui(a_, dati_, sql), "") << sql;
    }
    ScriviValoreRegistro(*a_.registro, "HKCU", "Software\\A", "V", "uno");
  }

  struct Esito {
    Rapporto rapporto;
    std::vector<std::string> frasi;
    bool errore = false;
    std::string cartella;
  };

  // Rehearses the script as --dry-run does: on a copy of the registry file, or, with
  // `sovrapposto`, on an overlay over the registry as where the registry is no file.
  Esito ProvaScript(const std::string& script, bool sovrapposto = false) {
    a_.Scrivi("s.txt", script);
    Esito e;
    std::string errore;
    std::unique_ptr<mlx::Prova> prova = mlx::Prova::Prepara(
        a_.stato->plat, sovrapposto ? "" : a_.Percorso("registry.reg"), "", &errore);
    EXPECT_NE(prova, nullptr) << errore;
    if (!prova) return e;
    StatoProcesso stato(prova->Piattaforma());
    stato.Vero = false;
    stato.SuCopie = true;
    stato.rendiconto = prova.get();
    stato.Dettagli = true;
    stato.StampaDettaglio = [&e](const std::string& frase) { e.frasi.push_back(frase); };
    Main(stato, a_.Percorso("s.txt"));
    e.rapporto = prova->Confronta();
    e.errore = stato.ErroreSegnalato;
    e.cartella = prova->Cartella();
    return e;
  }

  fakes::Ambiente a_;
  std::string dati_;
};

TEST_F(ProvaSuCopie, OgniFamigliaLasciaTuttoComEra) {
  prova::NuovoDatabase(a_, "Pelsacord.mdb");
  prova::NuovoDatabase(a_, "archivi/Arch1.mdb");
  ASSERT_EQ(prova::Esegui(a_, a_.Percorso("archivi/Arch1.mdb"), "CREATE TABLE T (a LONG)"), "");
  a_.Scrivi("f.txt", "file");
  const std::string c = a_.cartella;
  const std::string script =
      "LOGY\r\n*" + dati_ +
      "*\r\n[Clienti]\r\n+,Email,TEXT(50)\r\n!,Note,TEXT(40)\r\n"
      "SQL,INSERT INTO Clienti (ID, Nome) VALUES (9, 'nove')\r\n"
      "+Q,Q1,SELECT * FROM Clienti\r\nDBFC\r\nDBZ\r\n"
      "+DB," +
      c + "/nuovo.mdb\r\n*" + c +
      "/nuovo.mdb*\r\n[N]\r\n>\r\n+,a,LONG\r\n"
      "+TASK,Piani,20261201," +
      c +
      "/a.txt\r\n"
      "*" +
      c + "/archivi/Arch1.mdb*\r\n:Giro\r\n[T]\r\n+,b,LONG\r\nLOOP,Giro," + c +
      "/archivi,*\r\n"
      "+\xC2\xA7,HKCU,Software\\A\\V,due\r\n+\xC2\xA7,HKCU,Software\\B\\W,tre\r\n"
      "-\xC2\xA7,HKCU,Software\\A\\V\r\n"
      "K," +
      c + "/f.txt\r\nCP," + c + "/f.txt," + c + "/g.txt\r\nMD," + c +
      "/cartella\r\n"
      "EXEC,/bin/touch," +
      c + "/toccato,True\r\nDLLREG," + c +
      "/lib.so,True\r\nBOOT\r\n"
      "^F," +
      c + "/f.txt^\r\n=,X,1\r\n^^\r\n";
  a_.Scrivi("s.txt", script);
  const std::map<std::string, std::string> prima = Contenuto(a_);
  const Esito e = ProvaScript(script);
  EXPECT_EQ(Contenuto(a_), prima);
  EXPECT_FALSE(stdfs::exists(e.cartella));
  EXPECT_TRUE(e.rapporto.errori.empty()) << e.rapporto.errori[0].testo;
  // Every database the script opened or created was rehearsed, the loop's too.
  std::vector<std::string> percorsi;
  for (const RapportoDatabase& d : e.rapporto.database) percorsi.push_back(d.percorso);
  std::sort(percorsi.begin(), percorsi.end());
  EXPECT_THAT(percorsi, ElementsAre(dati_, a_.Percorso("Pelsacord.mdb"),
                                    a_.Percorso("archivi/Arch1.mdb"), a_.Percorso("nuovo.mdb")));
  // What only describes itself is listed with its line.
  std::vector<std::int32_t> righe;
  for (const VoceRiga& v : e.rapporto.operazioni) righe.push_back(v.riga);
  EXPECT_THAT(righe, ElementsAre(1, 24, 25, 26, 27, 28, 29));
  // The registry lines ran on the copy: what changes is what is left at the end (V written,
  // then deleted).
  ASSERT_EQ(e.rapporto.registro.size(), 2u);
  EXPECT_EQ(e.rapporto.registro[0].azione, '-');
  EXPECT_EQ(e.rapporto.registro[0].nome, "V");
  EXPECT_EQ(e.rapporto.registro[1].nome, "W");
}

TEST_F(ProvaSuCopie, IlRapportoElencaEsattamenteLeModifiche) {
  const Esito e = ProvaScript(
      "MSGN\r\n*" + dati_ +
      "*\r\n[Nuova]\r\n>\r\n+,Codice,TEXT(8)\r\n[Clienti]\r\n"
      "!,Note,TEXT(40)\r\n#,IxNome,Nome\r\n[Ordini]\r\n@,RelCli,Cliente,Clienti,ID,False,True\r\n"
      "SQL,INSERT INTO Clienti VALUES (4, 'quattro', NULL)\r\n"
      "SQL,DELETE FROM Clienti WHERE ID = 1\r\nSQL,UPDATE Clienti SET Nome = 'DUE' WHERE ID = 2\r\n"
      "+\xC2\xA7,HKCU,Software\\A\\V,due\r\n+\xC2\xA7,HKCU,Software\\A\\Nuovo,x\r\n");
  ASSERT_EQ(e.rapporto.database.size(), 1u);
  const RapportoDatabase& d = e.rapporto.database[0];
  EXPECT_EQ(d.errore, "");
  std::vector<std::string> oggetti;
  for (const ModificaOggetto& m : d.oggetti) oggetti.push_back(Descrivi(m));
  std::sort(oggetti.begin(), oggetti.end());
  EXPECT_THAT(oggetti, ElementsAre("+ indice Clienti.IxNome", "+ relazione Ordini.RelCli",
                                   "+ tabella Nuova", "~ campo Clienti.Note"));
  for (const ModificaOggetto& m : d.oggetti) {
    if (m.nome == "Note") {
      EXPECT_EQ(m.prima, "TEXT(10)");
      EXPECT_EQ(m.dopo, "TEXT(40)");
    }
    if (m.nome == "Nuova") {
      EXPECT_EQ(m.dopo, "(Codice TEXT(8))");
    }
  }
  ASSERT_EQ(d.righe.size(), 1u);
  EXPECT_EQ(d.righe[0].tabella, "Clienti");
  EXPECT_EQ(d.righe[0].aggiunte, 1);
  EXPECT_EQ(d.righe[0].eliminate, 1);
  EXPECT_EQ(d.righe[0].modificate, 1);
  ASSERT_EQ(e.rapporto.registro.size(), 2u);
  EXPECT_EQ(e.rapporto.registro[0].nome, "V");
  EXPECT_EQ(e.rapporto.registro[0].prima, "\"uno\"");
  EXPECT_EQ(e.rapporto.registro[0].dopo, "\"due\"");
  EXPECT_EQ(e.rapporto.registro[1].nome, "Nuovo");
  EXPECT_EQ(e.rapporto.registro[1].prima, "");
  // The text and the JSON say the same.
  const std::string testo = TestoRapporto(e.rapporto);
  EXPECT_THAT(testo, HasSubstr("~ campo Clienti.Note: TEXT(10) -> TEXT(40)"));
  EXPECT_THAT(testo, HasSubstr("righe Clienti: +1 -1 ~1"));
  EXPECT_THAT(JsonRapporto(e.rapporto),
              HasSubstr("{\"table\":\"Clienti\",\"added\":1,\"removed\":1,\"changed\":1}"));
}

TEST_F(ProvaSuCopie, StesseFrasiDellaVeraEsecuzione) {
  const std::string script =
      "MSGN\r\n*" + dati_ +
      "*\r\n[Clienti]\r\n+,Email,TEXT(50)\r\n+,Email,TEXT(50)\r\n"
      "SQL,INSERT INTO Clienti (ID, Nome) VALUES (7, 'sette')\r\nGET,N,SELECT COUNT(*) FROM "
      "Clienti\r\n"
      "=,Quanti,{<N>}\r\n^MAIN,Clienti,Email,#^\r\n=,Email,presente\r\n^^\r\n"
      "+Q,Q1,SELECT Nome FROM Clienti\r\nGET,Q,SELECT COUNT(*) FROM Q1\r\n=,Righe,{<Q>}\r\n";
  const Esito e = ProvaScript(script);
  a_.Scrivi("s.txt", "LOGY\r\n" + script);
  Main(*a_.stato, a_.Percorso("s.txt"));
  std::vector<std::string> vere = a_.Log();
  ASSERT_FALSE(vere.empty());
  vere.erase(vere.begin());  // "Log attivato"
  EXPECT_EQ(e.frasi, vere);
  EXPECT_THAT(e.frasi, ::testing::Contains("Variabile Quanti = 4"));
}

TEST_F(ProvaSuCopie, ErroriConLaRigaEDatabaseIlleggibile) {
  a_.Scrivi("rotto.mdb", std::string(4096, 'x'));
  const Esito e = ProvaScript("MSGN\r\n*" + dati_ + "*\r\n;commento\r\nSQL,SELEC nulla\r\n*" +
                              a_.Percorso("rotto.mdb") + "*\r\n");
  EXPECT_TRUE(e.errore);
  ASSERT_EQ(e.rapporto.errori.size(), 2u);
  EXPECT_EQ(e.rapporto.errori[0].riga, 4);
  EXPECT_EQ(e.rapporto.errori[1].riga, 5);
  EXPECT_THAT(e.rapporto.errori[1].testo, HasSubstr("not a database"));
  // The unreadable file was not copied: only the good database is in the report.
  ASSERT_EQ(e.rapporto.database.size(), 1u);
  EXPECT_EQ(e.rapporto.database[0].percorso, dati_);
  EXPECT_THAT(TestoRapporto(e.rapporto), HasSubstr("riga 4 di " + a_.Percorso("s.txt")));
}

// A file test on what a described-only copy would have created says that the real run would
// find it; a file that nothing would create gets no note.
TEST_F(ProvaSuCopie, AvvisaDelFileCheLaCopiaAvrebbeCreato) {
  a_.Scrivi("nuovo.exe", "x");
  const Esito e =
      ProvaScript("MSGN\r\nCP," + a_.Percorso("nuovo.exe") + "," + a_.Percorso("bin") +
                  "\\prog.exe\r\n^F," + a_.Percorso("bin") + "/PROG.*^\r\n=,A,1\r\n^!F," +
                  a_.Percorso("bin") + "/altro.exe^\r\n=,B,1\r\n");
  ASSERT_EQ(e.rapporto.avvisi.size(), 1u);
  EXPECT_EQ(e.rapporto.avvisi[0].riga, 3);
  EXPECT_THAT(e.rapporto.avvisi[0].testo, HasSubstr("la riga 2"));
  EXPECT_THAT(TestoRapporto(e.rapporto), HasSubstr("Avvisi\n  riga 3"));
  EXPECT_THAT(JsonRapporto(e.rapporto), HasSubstr("\"rehearsal\":\"warning\",\"script\""));
}

// A registry that is no file is read as it is and left as it was, and the report says what a
// copy of a registry file would have said.
TEST_F(ProvaSuCopie, RegistroCheNonEUnFileLettoENonToccato) {
  ScriviValoreRegistro(*a_.registro, "HKCU", "Software\\B\\Vecchia", "W", "w");
  const std::string prima = a_.Leggi("registry.reg");
  const std::string script =
      "MSGN\r\nREG,X,HKCU,Software\\A,V\r\n^{<X>}==uno^\r\n=,Ramo,letto\r\n^^\r\n"
      "+\xC2\xA7,HKCU,Software\\A\\V,due\r\n+\xC2\xA7,HKCU,Software\\C\\N,x\r\n"
      "-\xC2\xA7,HKCU,Software\\B\\Vecchia\\W\r\nX\xC2\xA7,HKCU,Software\\B\\Vecchia\r\n";
  const Esito e = ProvaScript(script, true);
  EXPECT_EQ(a_.Leggi("registry.reg"), prima);
  EXPECT_THAT(e.frasi, ::testing::Contains("Variabile Ramo = letto"));
  EXPECT_TRUE(e.rapporto.errori.empty());
  const Esito copia = ProvaScript(script);
  auto righe = [](const Rapporto& r) {
    std::vector<std::string> v;
    for (const ModificaRegistro& m : r.registro) {
      v.push_back(std::string(1, m.azione) + m.chiave + "|" + m.nome + "|" + m.prima + "|" +
                  m.dopo);
    }
    std::sort(v.begin(), v.end());
    return v;
  };
  EXPECT_EQ(righe(e.rapporto), righe(copia.rapporto));
  EXPECT_EQ(righe(e.rapporto).size(), 3u);
  EXPECT_EQ(e.frasi, copia.frasi);
}

TEST_F(ProvaSuCopie, UnaCopiaPerDatabaseAncheConDueNomi) {
  const std::string altroNome = a_.Percorso("./Dati.mdb");
  // Windows lets only privileged users make symbolic links.
  std::error_code errore;
  stdfs::create_symlink(dati_, a_.Percorso("Collegamento.mdb"), errore);
  if (errore) GTEST_SKIP() << "no symbolic link here: " << errore.message();
  const Esito e = ProvaScript(
      "MSGN\r\n*" + dati_ + "*\r\nSQL,INSERT INTO Ordini VALUES (1, 1)\r\n*" + altroNome +
      "*\r\nSQL,INSERT INTO Ordini VALUES (2, 1)\r\n*" + a_.Percorso("Collegamento.mdb") +
      "*\r\nGET,N,SELECT COUNT(*) FROM Ordini\r\n=,N,{<N>}\r\n");
  ASSERT_EQ(e.rapporto.database.size(), 1u);
  ASSERT_EQ(e.rapporto.database[0].righe.size(), 1u);
  EXPECT_EQ(e.rapporto.database[0].righe[0].aggiunte, 2);
  EXPECT_THAT(e.frasi, ::testing::Contains("Variabile N = 2"));
}

// A registry file that is there but cannot be read fails every registry line of the real run:
// no rehearsal on an empty copy in its place.
TEST_F(ProvaSuCopie, RegistroIlleggibileNessunaProva) {
  stdfs::create_directory(a_.Percorso("cartella.reg"));
  std::string errore;
  EXPECT_EQ(mlx::Prova::Prepara(a_.stato->plat, a_.Percorso("cartella.reg"), "", &errore), nullptr);
  EXPECT_THAT(errore, HasSubstr("cartella.reg non si legge"));
}

TEST_F(ProvaSuCopie, CartellaConservataSeRichiesto) {
  std::string errore;
  const std::string cartella = a_.Percorso("prova");
  {
    auto prova =
        mlx::Prova::Prepara(a_.stato->plat, a_.Percorso("registry.reg"), cartella, &errore);
    ASSERT_NE(prova, nullptr) << errore;
    EXPECT_EQ(prova->Cartella(), cartella);
  }
  EXPECT_TRUE(stdfs::exists(cartella + "/registry.reg"));
  // A folder that holds something is not taken.
  EXPECT_EQ(mlx::Prova::Prepara(a_.stato->plat, a_.Percorso("registry.reg"), cartella, &errore),
            nullptr);
}

}  // namespace
}  // namespace mlx
