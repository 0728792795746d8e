// The catalogue of bad input: what a user can hand the program by mistake (damaged, special or
// huge files, impossible statements, broken registry files, ...), each run through the real
// executable in a fresh program folder. Every case states what the user is told or what the
// run leaves; none may crash, hang (each run is stopped after kLimite) or lose data.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>

#include "fakes/esegui.h"

namespace {

namespace stdfs = std::filesystem;
using mlx::fakes::LeggiFile;
using mlx::fakes::ScriviFile;

// A run that takes longer has hung: the longest case waits once for another program's lock.
constexpr auto kLimite = std::chrono::seconds(15);
constexpr char kSeparatore = static_cast<char>(stdfs::path::preferred_separator);
constexpr bool kWindows = kSeparatore == '\\';

// SQL on a database file, straight through SQLite; "" or the first column of every row.
std::string Sql(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string uscita;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) ==
      SQLITE_OK) {
    sqlite3_exec(
        db, sql.c_str(),
        [](void* u, int, char** valori, char**) {
          auto* testo = static_cast<std::string*>(u);
          if (!testo->empty()) *testo += ",";
          *testo += valori[0] != nullptr ? valori[0] : "NULL";
          return 0;
        },
        &uscita, nullptr);
  }
  sqlite3_close(db);
  return uscita;
}

// The program folder of one run, its registry file and what the last run showed.
struct Corsa {
  mlx::fakes::CartellaTemporanea radice;
  const std::string app = radice / "app", registro = app + kSeparatore + "registry.reg";
  mlx::fakes::Esito esito;
  std::string dialoghi;

  Corsa() { stdfs::create_directories(app); }
  std::string Percorso(const std::string& nome) const { return app + kSeparatore + nome; }
  void File(const std::string& nome, const std::string& contenuto) const {
    ScriviFile(Percorso(nome), contenuto);
  }
  std::string Tutto() const { return dialoghi + "\n" + esito.errori + "\n" + esito.uscita; }

  void Esegui(const std::vector<std::string>& argomenti) {
    stdfs::remove(radice / "dialogs.jsonl");
    std::vector<std::string> tutti = {
        "--app-dir", app, "--registry", registro, "--transcript", radice / "dialogs.jsonl"};
    tutti.insert(tutti.end(), argomenti.begin(), argomenti.end());
    esito = mlx::fakes::Esegui({.programma = MLX_BINARY,
                                .argomenti = tutti,
                                .ambiente = {"MLX_NOW=2026-12-05 21:03:07"},
                                .cartella = app,
                                .limite = kLimite});
    dialoghi = LeggiFile(radice / "dialogs.jsonl");
  }

  // d.mdb, made by a first run of the program itself: table T (N LONG, S TEXT(50)) holding
  // rows 1 and 2.
  void Database() {
    File("crea.txt",
         "+DB,d.mdb\n*d.mdb*\n[T]\n>\n+,N,LONG\n+,S,TEXT(50)\n"
         "SQL,INSERT INTO T VALUES (1, 'uno')\nSQL,INSERT INTO T VALUES (2, 'due')\n");
    Esegui({Percorso("crea.txt")});
    ASSERT_EQ(esito.stato, 0) << Tutto();
    ASSERT_EQ(Sql(Percorso("d.mdb"), "SELECT N FROM T ORDER BY N"), "1,2");
    stdfs::remove(Percorso("crea.txt"));
  }
};

using Preparazione = std::function<void(Corsa&)>;

struct Caso {
  const char* nome;
  std::string script;  // MLX.txt, written (and run) when the case gives no arguments
  int stato;           // the exit status
  std::string detto;   // what the user is told (in a dialog or on standard error); "" nothing
  // Not null: the script runs on d.mdb (Corsa::Database), table T open; T's rows afterwards
  // (N and S of each, "1uno 2due" as made) unless it is empty.
  const char* db = nullptr;
  const char* nelLog = nullptr;    // what the log must hold
  Preparazione prepara = nullptr;  // the case's other files
  // What the run must leave: data kept, files unchanged.
  std::function<void(const Corsa&)> verifica = nullptr;
  std::vector<std::string> argomenti = {};

  Caso& Log(const char* testo) { return nelLog = testo, *this; }
  Caso& Con(Preparazione p) { return prepara = std::move(p), *this; }
  Caso& Lascia(std::function<void(const Corsa&)> v) { return verifica = std::move(v), *this; }
  Caso& Argomenti(std::vector<std::string> a) { return argomenti = std::move(a), *this; }
};

void PrintTo(const Caso& caso, std::ostream* os) {
  *os << caso.nome;
}

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";
const std::string kSuccesso = "Aggiornamento eseguito con successo.";
const std::string kNonOrdinario = "non è un file ordinario";

std::string Ripeti(const std::string& s, std::size_t volte) {
  std::string r;
  for (std::size_t i = 0; i < volte; ++i) r += s;
  return r;
}

std::string Binario(int lunghezza, int passo) {
  std::string byte;
  for (int i = 0; i < lunghezza; ++i) byte += static_cast<char>((i * passo) % 256);
  return byte;
}

const std::string kTesto = Ripeti("non sono un database\n", 300);
const std::string kRegistroBinario("\x00\x01\x02\xFF\xFE\x00garbage", 13);
const std::string kRegistroAperto = kHeader + "[HKEY_CURRENT_USER\\A]\n\"V\"=\"aperta\n";

Preparazione ConFile(const std::string& nome, const std::string& contenuto) {
  return [=](Corsa& r) { r.File(nome, contenuto); };
}
Preparazione ConCartella(const std::string& nome) {
  return [=](Corsa& r) { stdfs::create_directory(r.Percorso(nome)); };
}
Preparazione ConFifo(const std::string& nome) {
  return [=](Corsa& r) {
    if (kWindows) GTEST_SKIP() << "Windows has no FIFOs";
    ASSERT_TRUE(mlx::fakes::CreaFifo(r.Percorso(nome)));
  };
}

// No one may write the file, or write it again.
void SolaLettura(const std::string& file, bool sola) {
  stdfs::permissions(
      file, stdfs::perms::owner_write | stdfs::perms::group_write | stdfs::perms::others_write,
      sola ? stdfs::perm_options::remove : stdfs::perm_options::add);
}

const char* const kIntatti = "1uno 2due";

std::vector<Caso> Casi() {
  return {
      // ---- scripts
      Caso{"ScriptBinario", Binario(4096, 7919), 0, ""},
      Caso{"RigaDa10MB", "LOGY\n=,A," + std::string(10 << 20, 'x') + "\n=,B,fatto\n", 0, kSuccesso}
          .Log("Variabile B = fatto"),
      Caso{"ComandoCon200Argomenti", "LOGY\nPREPATH,P,a,b" + Ripeti(",c", 200) + "\n=,Q,{<P>}\n", 0,
           kSuccesso}
          .Log("Variabile Q = a/b"),
      Caso{"ScriptVuoto", "", 0, ""},
      Caso{"SoloCommentiESpazi", "; nota\n   \n\t\n;\n", 0, ""},
      Caso{"ScriptUtf16", std::string("\xFF\xFEL\0O\0G\0Y\0\r\0\n\0", 14), 0, kSuccesso}.Log(
          "Log attivato"),
      Caso{"ContinuazioneSullUltimaRiga", "LOGY\n=,A,x_", 0, kSuccesso}.Log("Variabile A = x_"),
      Caso{"MilleContinuazioni", "LOGY\n=,A,_\n" + Ripeti("ab_\n", 100000) + "z\n", 0, kSuccesso},
      Caso{"ScriptMancante", "", 1, "non trovato"}.Argomenti({"manca.txt"}),
      Caso{"ScriptCartella", "", 1, "non trovato"}
          .Con(ConCartella("dir.txt"))
          .Argomenti({"dir.txt"}),
      Caso{"ScriptFifo", "", 1, kNonOrdinario}.Con(ConFifo("coda.txt")).Argomenti({"coda.txt"}),
      Caso{"ScriptDispositivo", "", 1, kNonOrdinario}.Argomenti({kWindows ? "NUL" : "/dev/zero"}),
      Caso{"InclusioneDiUnaCartella", "<<MLX,dir\n", 1, "incluso da"}.Con(ConCartella("dir")),
      Caso{"InclusioneMancante", "=,A,1\n<<MLX,manca.txt\n", 1, "manca.txt incluso da"},
      Caso{"InclusioneCircolare", "<<MLX,a.txt\n", 1, "riferimento circolare"}.Con([](Corsa& r) {
        r.File("a.txt", "<<MLX,b.txt\n");
        r.File("b.txt", "<<MLX,a.txt\n");
      }),
      Caso{"InclusioneDiSeStesso", "<<MLX,MLX.txt\n", 1, "riferimento circolare"},
      Caso{"InclusioneFifo", "<<MLX,coda\n", 1, kNonOrdinario}.Con(ConFifo("coda")),
      Caso{"CatenaDi6000Inclusioni", "<<MLX,c0\n", 1, "limite di 64 inclusioni annidate"}.Con(
          [](Corsa& r) {
            for (int i = 0; i < 6000; ++i) {
              r.File("c" + std::to_string(i), "<<MLX,c" + std::to_string(i + 1) + "\n");
            }
          }),
      Caso{"EtichettaDoppia", ":A\n:a\n", 1, "compare due volte"},
      Caso{"GotoSenzaEtichetta", "GOTO,NESSUNA\n", 1,
           "Etichetta NESSUNA non trovata nello script."},
      Caso{"RetSenzaGosub", "RET\n", 1, "Stack vuoto, impossibile estrarre elementi."},
      // The log never fails a line: one that cannot be written is passed over, without waiting.
      Caso{"LogFifo", "LOGY\n=,A,1\n", 0, kSuccesso}.Con(ConFifo("mlxlog.txt")),
      Caso{"ElencoDiScriptVuoti", "", 0, ""}.Argomenti({",, ,"}),

      // ---- databases
      Caso{"DatabaseDiTesto", "*d.mdb*\n", 1, "not a database"}
          .Con(ConFile("d.mdb", kTesto))
          .Lascia([](const Corsa& r) { EXPECT_EQ(LeggiFile(r.Percorso("d.mdb")), kTesto); }),
      Caso{"DatabaseVuoto", "*d.mdb*\n[T]\n>\n", 1, "empty"}
          .Con(ConFile("d.mdb", ""))
          .Lascia([](const Corsa& r) { EXPECT_EQ(stdfs::file_size(r.Percorso("d.mdb")), 0u); }),
      Caso{"DatabaseCartella", "*d.mdb*\n", 1, "folder"}.Con(ConCartella("d.mdb")),
      Caso{"DatabaseFifo", "*d.mdb*\n", 1, "not a regular file"}.Con(ConFifo("d.mdb")),
      Caso{"DatabaseDannegiato", "SQL,INSERT INTO T VALUES (3, 'tre')\n", 1, "malformed", ""}.Con(
          [](Corsa& r) {
            std::string byte = LeggiFile(r.Percorso("d.mdb"));
            for (std::size_t i = 100; i < byte.size(); i += 7) byte[i] = static_cast<char>(0xA5);
            r.File("d.mdb", byte);
          }),
      // Read-only for everyone (on Windows the file's read-only attribute).
      Caso{"DatabaseSolaLettura", "SQL,INSERT INTO T VALUES (3, 'tre')\n+,X,LONG\n", 1, "readonly",
           kIntatti}
          .Con([](Corsa& r) { SolaLettura(r.Percorso("d.mdb"), true); })
          .Lascia([](const Corsa& r) { SolaLettura(r.Percorso("d.mdb"), false); }),
      Caso{"DatabaseBloccatoDaUnAltroProcesso", "SQL,INSERT INTO T VALUES (3, 'tre')\n", 1,
           "locked", kIntatti},
      Caso{"SqlNonValido", "SQL,SELEC x FROM T\n", 1, "Tabella: T", kIntatti},
      Caso{"SqlRicorsivoSenzaFine",
           "SQL,WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n+1 FROM r) SELECT n FROM r\n"
           "GET,G,WITH RECURSIVE r(n) AS (SELECT 7 UNION ALL SELECT n+1 FROM r) SELECT n FROM r\n"
           "LOGY\n=,V,{<G>}\n",
           0, kSuccesso, ""}
          .Log("Variabile V = 7"),
      Caso{"ValoreEnorme", "SQL,SELECT Space(1e9) & 'x'\n", 1, "Value too long", kIntatti},
      Caso{"ValoreEnormeInUnaVariabile", "GET,G,SELECT Space(3e8)\n", 1, "Value too long",
           kIntatti},
      Caso{"DataFuoriCalendario", "GET,G,SELECT Year(1e19)\nGET,H,SELECT Format(1e19, 'yyyy')\n", 1,
           "Invalid date", kIntatti},
      // A statement that is not valid SQL is shown with the message of its class.
      Caso{"ImportaConVirgolettaNonChiusa", "<,dati.txt,;\n", 1,
           "Campo: dati.txt\\r\\nImpossibile accedere in modo esclusivo alla base dati.",
           "1uno 2due 3tre"}
          .Con(ConFile("dati.txt", "3;'tre'\n4;'quattro\n")),
      Caso{"ImportaFileMancante", "<,manca.txt,;\n", 1, "manca.txt", kIntatti},
      Caso{"ImportaFifo", "<,coda.txt,;\n", 1, kNonOrdinario, kIntatti}.Con(ConFifo("coda.txt")),
      Caso{"ImportaBinario", "<,dati.txt,;\n", 1, "Database: d.mdb", ""}.Con(
          ConFile("dati.txt", Binario(2048, 31))),
      Caso{"ImportaCampoDa100MB", "!,S,MEMO\n<,dati.txt,;\n", 0, kSuccesso, ""}
          .Con(ConFile("dati.txt", "3;'" + std::string(100 << 20, 'y') + "'\n"))
          .Lascia([](const Corsa& r) {
            EXPECT_EQ(Sql(r.Percorso("d.mdb"), "SELECT length(S) FROM T WHERE N = 3"), "104857600");
          }),
      Caso{"ImportaNumeroInfinitoInUnaData",
           "+,Q,DATETIME\n<,dati.txt,;,(N;Q)\nLOGY\nGET,G,SELECT Q FROM T WHERE N = 3\n"
           "GET,H,SELECT Year(Q) FROM T WHERE N = 3\n",
           1, "Invalid date", ""}
          .Con(ConFile("dati.txt", "3;1e400\n")),
      Caso{"DatabaseMancante", "*manca.mdb*\n[T]\n>\n", 1, "Could not find file 'manca.mdb'"}
          .Lascia([](const Corsa& r) { EXPECT_FALSE(stdfs::exists(r.Percorso("manca.mdb"))); }),

      // ---- the registry file
      Caso{"RegistroConErroreDiSintassi",
           "+\xC2\xA7,HKCU,Software\\A\\V,1\nREG,X,HKCU,Software\\A,V\n", 1, "line 4:"}
          .Con(ConFile("registry.reg", kRegistroAperto))
          .Lascia([](const Corsa& r) {
            EXPECT_EQ(LeggiFile(r.registro), kRegistroAperto);
            EXPECT_NE(r.esito.errori.find(r.registro), std::string::npos);
            EXPECT_EQ(r.dialoghi.find("successo"), std::string::npos);
          }),
      Caso{"RegistroUtf16", "LOGY\nREG,X,HKCU,Software\\A,V\n+\xC2\xA7,HKCU,Software\\A\\W,2\n", 0,
           kSuccesso}
          .Log("= valore")
          .Con([](Corsa& r) {
            std::string utf16 = "\xFF\xFE";
            for (char c : kHeader + "[HKEY_CURRENT_USER\\Software\\A]\r\n\"V\"=\"valore\"\r\n") {
              utf16 += std::string{c, '\0'};
            }
            ScriviFile(r.registro, utf16);
          })
          .Lascia([](const Corsa& r) {
            EXPECT_NE(LeggiFile(r.registro).find("\"V\"=\"valore\""), std::string::npos);
          }),
      Caso{"RegistroCartella", "+\xC2\xA7,HKCU,Software\\A\\V,1\n", 1, "a folder, not a file"}.Con(
          ConCartella("registry.reg")),
      Caso{"RegistroFifo", "REG,X,HKCU,Software\\A,V\n", 1, "not a regular file"}.Con(
          ConFifo("registry.reg")),
      Caso{"RegistroBinario", "+\xC2\xA7,HKCU,Software\\A\\V,1\n", 1, "Registry file"}
          .Con(ConFile("registry.reg", kRegistroBinario))
          .Lascia([](const Corsa& r) { EXPECT_EQ(LeggiFile(r.registro), kRegistroBinario); }),
      Caso{"RegistroConCommenti", "+\xC2\xA7,HKCU,Software\\A\\P,2\n", 0, kSuccesso}
          .Con(ConFile(
              "registry.reg",
              kHeader + "; a mano\n[HKEY_CURRENT_USER\\Software\\A]\n; porta\n\"P\"=\"1\"\n"))
          .Lascia([](const Corsa& r) {
            EXPECT_EQ(
                LeggiFile(r.registro),
                kHeader + "; a mano\n[HKEY_CURRENT_USER\\Software\\A]\n; porta\n\"P\"=\"2\"\n\n");
          }),

      // ---- files
      Caso{"CopiaDaUnaFifo", "CP,coda,copia\n", 1, kNonOrdinario}
          .Con(ConFifo("coda"))
          .Lascia([](const Corsa& r) { EXPECT_FALSE(stdfs::exists(r.Percorso("copia"))); }),
  };
}

class Catalogo : public ::testing::TestWithParam<Caso> {};

TEST_P(Catalogo, InputSbagliato) {
  const Caso& caso = GetParam();
  Corsa r;
  if (caso.db) r.Database();
  if (caso.argomenti.empty())
    r.File("MLX.txt", (caso.db ? "ERRY\n*d.mdb*\n[T]\n" : "") + caso.script);
  if (caso.prepara) caso.prepara(r);
  if (HasFatalFailure() || IsSkipped()) return;

  // The case of the lock: another process holds a write transaction all through the run.
  sqlite3* blocco = nullptr;
  if (std::string(caso.nome) == "DatabaseBloccatoDaUnAltroProcesso") {
    ASSERT_EQ(sqlite3_open(r.Percorso("d.mdb").c_str(), &blocco), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(blocco, "BEGIN IMMEDIATE; INSERT INTO T VALUES (9, 'altro')", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
  }
  r.Esegui(caso.argomenti);
  sqlite3_close_v2(blocco);  // the transaction is rolled back
  SCOPED_TRACE("dialogs:\n" + r.dialoghi + "\nstderr:\n" + r.esito.errori);
  EXPECT_FALSE(r.esito.scaduto) << "the run hung";
  // In a sanitizer build a fault shows on standard error, whatever the exit status.
  EXPECT_EQ(r.esito.errori.find("runtime error"), std::string::npos);
  EXPECT_EQ(r.esito.errori.find("Sanitizer"), std::string::npos);
  EXPECT_EQ(r.esito.stato, caso.stato);
  if (caso.detto.empty()) {
    EXPECT_EQ(r.dialoghi.find("Attenzione"), std::string::npos);
  } else {
    EXPECT_NE(r.Tutto().find(caso.detto), std::string::npos) << "expected: " << caso.detto;
  }
  if (caso.nelLog != nullptr) {
    const std::string log = LeggiFile(r.Percorso("mlxlog.txt"));
    EXPECT_NE(log.find(caso.nelLog), std::string::npos) << log;
  }
  if (caso.db != nullptr && *caso.db != '\0') {
    EXPECT_EQ(Sql(r.Percorso("d.mdb"), "SELECT group_concat(N || S, ' ') FROM T"), caso.db);
    EXPECT_EQ(Sql(r.Percorso("d.mdb"), "PRAGMA integrity_check"), "ok");
  }
  if (caso.verifica) caso.verifica(r);
}

std::string NomeCaso(const ::testing::TestParamInfo<Caso>& caso) {
  return caso.param.nome;
}

INSTANTIATE_TEST_SUITE_P(Casi, Catalogo, ::testing::ValuesIn(Casi()), NomeCaso);

}  // namespace
