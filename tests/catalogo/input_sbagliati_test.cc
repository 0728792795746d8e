// The catalogue of bad input: what a user can hand the program by mistake (damaged, special or
// huge files, impossible statements, broken registry files, ...), each run through the real
// executable in a fresh program folder. Every case states what the user is told or what the
// run leaves; none may crash, hang (each run is stopped after kLimite) or lose data.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace stdfs = std::filesystem;
using namespace std::chrono_literals;

// A run that takes longer has hung: the longest case waits once for another program's lock.
constexpr auto kLimite = 15s;

std::string Leggi(const std::string& percorso) {
  std::ifstream in(percorso, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Scrivi(const std::string& percorso, const std::string& contenuto) {
  std::ofstream(percorso, std::ios::binary) << contenuto;
}

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

// The program folder of one run, its registry file and what the run showed.
struct Corsa {
  std::string radice, app, registro;
  int stato = -1;
  bool bloccato = false;  // stopped after kLimite
  std::string dialoghi, uscita, errori;
  std::string Percorso(const std::string& nome) const { return app + "/" + nome; }
  void File(const std::string& nome, const std::string& contenuto) const {
    Scrivi(Percorso(nome), contenuto);
  }
  // A database made by a first run of the program itself, with table T (N LONG, S TEXT(50))
  // holding rows 1 and 2.
  void Database(const std::string& nome) const;
  std::string Tutto() const { return dialoghi + "\n" + errori + "\n" + uscita; }
};

Corsa Esegui(Corsa run, const std::vector<std::string>& argomenti) {
  std::vector<std::string> tutti = {MLX_BINARY,
                                    "--app-dir",
                                    run.app,
                                    "--registry",
                                    run.registro,
                                    "--transcript",
                                    run.radice + "/dialogs.jsonl"};
  tutti.insert(tutti.end(), argomenti.begin(), argomenti.end());
  const std::string fileUscita = run.radice + "/stdout.txt",
                    fileErrori = run.radice + "/stderr.txt";
  std::remove((run.radice + "/dialogs.jsonl").c_str());
  pid_t pid = fork();
  if (pid == 0) {
    int nullo = open("/dev/null", O_RDONLY);
    int out = open(fileUscita.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int errf = open(fileErrori.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(nullo, 0);
    dup2(out, 1);
    dup2(errf, 2);
    if (chdir(run.app.c_str()) != 0) _exit(126);
    setenv("MLX_NOW", "2026-12-05 21:03:07", 1);
    std::vector<char*> argv;
    for (std::string& a : tutti) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(MLX_BINARY, argv.data());
    _exit(127);
  }
  const auto fine = std::chrono::steady_clock::now() + kLimite;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > fine) {
      run.bloccato = true;
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(5ms);
  }
  run.stato = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.dialoghi = Leggi(run.radice + "/dialogs.jsonl");
  run.uscita = Leggi(fileUscita);
  run.errori = Leggi(fileErrori);
  return run;
}

void Corsa::Database(const std::string& nome) const {
  File("crea.txt",
       "+DB," + nome + "\n*" + nome +
           "*\n[T]\n>\n+,N,LONG\n+,S,TEXT(50)\n"
           "SQL,INSERT INTO T VALUES (1, 'uno')\nSQL,INSERT INTO T VALUES (2, 'due')\n");
  Corsa prima = Esegui(*this, {Percorso("crea.txt")});
  ASSERT_EQ(prima.stato, 0) << prima.Tutto();
  ASSERT_EQ(Sql(Percorso(nome), "SELECT N FROM T ORDER BY N"), "1,2");
  std::remove(Percorso("crea.txt").c_str());
}

struct Caso {
  const char* nome;
  // Writes the case's files into the program folder (the script as MLX.txt, run by default).
  std::function<void(Corsa&)> prepara;
  int stato;          // the exit status
  const char* detto;  // what the user is told (in a dialog or on standard error); "" nothing
  // What the run must leave: data kept, files unchanged (optional).
  std::function<void(const Corsa&)> verifica = nullptr;
  std::vector<std::string> argomenti = {};
};

void PrintTo(const Caso& caso, std::ostream* os) {
  *os << caso.nome;
}

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";
const std::string kSuccesso = "Aggiornamento eseguito con successo.";

std::string Ripeti(const std::string& s, std::size_t volte) {
  std::string r;
  r.reserve(s.size() * volte);
  for (std::size_t i = 0; i < volte; ++i) r += s;
  return r;
}

// A script that opens the database made by Corsa::Database and runs the lines after it.
std::string SuDb(const std::string& righe) {
  return "ERRY\n*d.mdb*\n[T]\n" + righe;
}

void DatiIntatti(const Corsa& r) {
  EXPECT_EQ(Sql(r.Percorso("d.mdb"), "SELECT group_concat(N || S, ' ') FROM T"), "1uno 2due");
  EXPECT_EQ(Sql(r.Percorso("d.mdb"), "PRAGMA integrity_check"), "ok");
}

std::vector<Caso> Casi() {
  return {
      // ---- scripts
      {"ScriptBinario",
       [](Corsa& r) {
         std::string binario;
         for (int i = 0; i < 4096; ++i) binario += static_cast<char>((i * 7919) % 256);
         r.File("MLX.txt", binario);
       },
       0, ""},
      {"RigaDa10MB",
       [](Corsa& r) {
         r.File("MLX.txt", "LOGY\n=,A," + std::string(10 << 20, 'x') + "\n=,B,fatto\n");
       },
       0, kSuccesso.c_str(),
       [](const Corsa& r) {
         EXPECT_NE(Leggi(r.Percorso("mlxlog.txt")).find("Variabile B = fatto"), std::string::npos);
       }},
      {"ComandoCon200Argomenti",
       [](Corsa& r) {
         r.File("MLX.txt", "LOGY\nPREPATH,P,a,b" + Ripeti(",c", 200) + "\n=,Q,{<P>}\n");
       },
       0, kSuccesso.c_str(),
       [](const Corsa& r) {
         EXPECT_NE(Leggi(r.Percorso("mlxlog.txt")).find("Variabile Q = a/b"), std::string::npos);
       }},
      {"ScriptVuoto", [](Corsa& r) { r.File("MLX.txt", ""); }, 0, ""},
      {"SoloCommentiESpazi", [](Corsa& r) { r.File("MLX.txt", "; nota\n   \n\t\n;\n"); }, 0, ""},
      {"ScriptUtf16",
       [](Corsa& r) { r.File("MLX.txt", std::string("\xFF\xFEL\0O\0G\0Y\0\r\0\n\0", 14)); }, 0,
       kSuccesso.c_str(),
       [](const Corsa& r) {
         EXPECT_NE(Leggi(r.Percorso("mlxlog.txt")).find("Log attivato"), std::string::npos);
       }},
      {"ContinuazioneSullUltimaRiga", [](Corsa& r) { r.File("MLX.txt", "LOGY\n=,A,x_"); }, 0,
       kSuccesso.c_str(),
       [](const Corsa& r) {
         EXPECT_NE(Leggi(r.Percorso("mlxlog.txt")).find("Variabile A = x_"), std::string::npos);
       }},
      {"MilleContinuazioni",
       [](Corsa& r) { r.File("MLX.txt", "LOGY\n=,A,_\n" + Ripeti("ab_\n", 100000) + "z\n"); }, 0,
       kSuccesso.c_str()},
      {"ScriptMancante",
       [](Corsa& r) { r.File("x", ""); },
       1,
       "non trovato",
       nullptr,
       {"manca.txt"}},
      {"ScriptCartella",
       [](Corsa& r) { stdfs::create_directory(r.Percorso("dir.txt")); },
       1,
       "non trovato",
       nullptr,
       {"dir.txt"}},
      {"ScriptFifo",
       [](Corsa& r) { mkfifo(r.Percorso("coda.txt").c_str(), 0600); },
       1,
       "non è un file ordinario",
       nullptr,
       {"coda.txt"}},
      {"ScriptDispositivo", [](Corsa&) {}, 1, "non è un file ordinario", nullptr, {"/dev/zero"}},
      {"InclusioneDiUnaCartella",
       [](Corsa& r) {
         stdfs::create_directory(r.Percorso("dir"));
         r.File("MLX.txt", "<<MLX,dir\n");
       },
       1, "incluso da"},
      {"InclusioneMancante", [](Corsa& r) { r.File("MLX.txt", "=,A,1\n<<MLX,manca.txt\n"); }, 1,
       "manca.txt incluso da"},
      {"InclusioneCircolare",
       [](Corsa& r) {
         r.File("MLX.txt", "<<MLX,a.txt\n");
         r.File("a.txt", "<<MLX,b.txt\n");
         r.File("b.txt", "<<MLX,a.txt\n");
       },
       1, "riferimento circolare"},
      {"InclusioneDiSeStesso", [](Corsa& r) { r.File("MLX.txt", "<<MLX,MLX.txt\n"); }, 1,
       "riferimento circolare"},
      {"InclusioneFifo",
       [](Corsa& r) {
         mkfifo(r.Percorso("coda").c_str(), 0600);
         r.File("MLX.txt", "<<MLX,coda\n");
       },
       1, "non è un file ordinario"},
      {"CatenaDi6000Inclusioni",
       [](Corsa& r) {
         for (int i = 0; i < 6000; ++i) {
           r.File("c" + std::to_string(i), "<<MLX,c" + std::to_string(i + 1) + "\n");
         }
         r.File("MLX.txt", "<<MLX,c0\n");
       },
       1, "limite di 64 inclusioni annidate"},
      {"EtichettaDoppia", [](Corsa& r) { r.File("MLX.txt", ":A\n:a\n"); }, 1, "compare due volte"},
      {"GotoSenzaEtichetta", [](Corsa& r) { r.File("MLX.txt", "GOTO,NESSUNA\n"); }, 1,
       "Etichetta NESSUNA non trovata nello script."},
      {"RetSenzaGosub", [](Corsa& r) { r.File("MLX.txt", "RET\n"); }, 1,
       "Stack vuoto, impossibile estrarre elementi."},
      // The log never fails a line: one that cannot be written is passed over, without waiting.
      {"LogFifo",
       [](Corsa& r) {
         mkfifo(r.Percorso("mlxlog.txt").c_str(), 0600);
         r.File("MLX.txt", "LOGY\n=,A,1\n");
       },
       0, kSuccesso.c_str()},
      {"ElencoDiScriptVuoti", [](Corsa& r) { r.File("x", ""); }, 0, "", nullptr, {",, ,"}},

      // ---- databases
      {"DatabaseDiTesto",
       [](Corsa& r) {
         r.File("d.mdb", Ripeti("non sono un database\n", 300));
         r.File("MLX.txt", "*d.mdb*\n");
       },
       1, "not a database",
       [](const Corsa& r) {
         EXPECT_EQ(Leggi(r.Percorso("d.mdb")), Ripeti("non sono un database\n", 300));
       }},
      {"DatabaseVuoto",
       [](Corsa& r) {
         r.File("d.mdb", "");
         r.File("MLX.txt", "*d.mdb*\n[T]\n>\n");
       },
       1, "empty", [](const Corsa& r) { EXPECT_EQ(stdfs::file_size(r.Percorso("d.mdb")), 0u); }},
      {"DatabaseCartella",
       [](Corsa& r) {
         stdfs::create_directory(r.Percorso("d.mdb"));
         r.File("MLX.txt", "*d.mdb*\n");
       },
       1, "folder"},
      {"DatabaseFifo",
       [](Corsa& r) {
         mkfifo(r.Percorso("d.mdb").c_str(), 0600);
         r.File("MLX.txt", "*d.mdb*\n");
       },
       1, "not a regular file"},
      {"DatabaseDannegiato",
       [](Corsa& r) {
         r.Database("d.mdb");
         std::string byte = Leggi(r.Percorso("d.mdb"));
         for (std::size_t i = 100; i < byte.size(); i += 7) byte[i] = static_cast<char>(0xA5);
         r.File("d.mdb", byte);
         r.File("MLX.txt", SuDb("SQL,INSERT INTO T VALUES (3, 'tre')\n"));
       },
       1, "malformed"},
      {"DatabaseSolaLettura",
       [](Corsa& r) {
         r.Database("d.mdb");
         chmod(r.Percorso("d.mdb").c_str(), 0444);
         r.File("MLX.txt", SuDb("SQL,INSERT INTO T VALUES (3, 'tre')\n+,X,LONG\n"));
       },
       1, "readonly", DatiIntatti},
      {"DatabaseBloccatoDaUnAltroProcesso",
       [](Corsa& r) {
         r.Database("d.mdb");
         r.File("MLX.txt", SuDb("SQL,INSERT INTO T VALUES (3, 'tre')\n"));
       },
       1, "locked", DatiIntatti},
      {"SqlNonValido",
       [](Corsa& r) {
         r.Database("d.mdb");
         r.File("MLX.txt", SuDb("SQL,SELEC x FROM T\n"));
       },
       1, "Tabella: T", DatiIntatti},
      {"SqlRicorsivoSenzaFine",
       [](Corsa& r) {
         r.Database("d.mdb");
         r.File("MLX.txt", SuDb("SQL,WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n+1 FROM r) "
                                "SELECT n FROM r\n"
                                "GET,G,WITH RECURSIVE r(n) AS (SELECT 7 UNION ALL SELECT n+1 FROM "
                                "r) SELECT n FROM r\n"
                                "LOGY\n=,V,{<G>}\n"));
       },
       0, kSuccesso.c_str(),
       [](const Corsa& r) {
         EXPECT_NE(Leggi(r.Percorso("mlxlog.txt")).find("Variabile V = 7"), std::string::npos);
       }},
      {"ValoreEnorme",
       [](Corsa& r) {
         r.Database("d.mdb");
         r.File("MLX.txt", SuDb("SQL,SELECT Space(1e9) & 'x'\n"));
       },
       1, "Value too long", DatiIntatti},
      {"ValoreEnormeInUnaVariabile",
       [](Corsa& r) {
         r.Database("d.mdb");
         r.File("MLX.txt", SuDb("GET,G,SELECT Space(3e8)\n"));
       },
       1, "Value too long", DatiIntatti},
      {"DataFuoriCalendario",
       [](Corsa& r) {
         r.Database("d.mdb");
         r.File("MLX.txt", SuDb("GET,G,SELECT Year(1e19)\nGET,H,SELECT Format(1e19, 'yyyy')\n"));
       },
       1, "Invalid date", DatiIntatti},
      {"ImportaConVirgolettaNonChiusa",
       [](Corsa& r) {
         r.Database("d.mdb");
         r.File("dati.txt", "3;'tre'\n4;'quattro\n");
         r.File("MLX.txt", SuDb("<,dati.txt,;\n"));
       },
       // A statement that is not valid SQL is shown with the message of its class.
       1, "Campo: dati.txt\\r\\nImpossibile accedere in modo esclusivo alla base dati.",
       [](const Corsa& r) {
         EXPECT_EQ(Sql(r.Percorso("d.mdb"), "SELECT group_concat(N || S, ' ') FROM T"),
                   "1uno 2due 3tre");
       }},
      {"ImportaFileMancante",
       [](Corsa& r) {
         r.Database("d.mdb");
         r.File("MLX.txt", SuDb("<,manca.txt,;\n"));
       },
       1, "manca.txt", DatiIntatti},
      {"ImportaFifo",
       [](Corsa& r) {
         r.Database("d.mdb");
         mkfifo(r.Percorso("coda.txt").c_str(), 0600);
         r.File("MLX.txt", SuDb("<,coda.txt,;\n"));
       },
       1, "non è un file ordinario", DatiIntatti},
      {"ImportaBinario",
       [](Corsa& r) {
         r.Database("d.mdb");
         std::string binario;
         for (int i = 0; i < 2048; ++i) binario += static_cast<char>((i * 31) % 256);
         r.File("dati.txt", binario);
         r.File("MLX.txt", SuDb("<,dati.txt,;\n"));
       },
       1, "Database: d.mdb"},
      {"ImportaCampoDa100MB",
       [](Corsa& r) {
         r.Database("d.mdb");
         r.File("dati.txt", "3;'" + std::string(100 << 20, 'y') + "'\n");
         r.File("MLX.txt", SuDb("!,S,MEMO\n<,dati.txt,;\n"));
       },
       0, kSuccesso.c_str(),
       [](const Corsa& r) {
         EXPECT_EQ(Sql(r.Percorso("d.mdb"), "SELECT length(S) FROM T WHERE N = 3"), "104857600");
       }},
      {"ImportaNumeroInfinitoInUnaData",
       [](Corsa& r) {
         r.Database("d.mdb");
         r.File("dati.txt", "3;1e400\n");
         r.File("MLX.txt",
                SuDb("+,Q,DATETIME\n<,dati.txt,;,(N;Q)\nLOGY\nGET,G,SELECT Q FROM T WHERE N = 3\n"
                     "GET,H,SELECT Year(Q) FROM T WHERE N = 3\n"));
       },
       1, "Invalid date"},
      {"DatabaseMancante", [](Corsa& r) { r.File("MLX.txt", "*manca.mdb*\n[T]\n>\n"); }, 1,
       "Could not find file 'manca.mdb'",
       [](const Corsa& r) { EXPECT_FALSE(stdfs::exists(r.Percorso("manca.mdb"))); }},

      // ---- the registry file
      {"RegistroConErroreDiSintassi",
       [](Corsa& r) {
         Scrivi(r.registro, kHeader + "[HKEY_CURRENT_USER\\A]\n\"V\"=\"aperta\n");
         r.File("MLX.txt", "+\xC2\xA7,HKCU,Software\\A\\V,1\nREG,X,HKCU,Software\\A,V\n");
       },
       1, "line 4:",
       [](const Corsa& r) {
         EXPECT_EQ(Leggi(r.registro), kHeader + "[HKEY_CURRENT_USER\\A]\n\"V\"=\"aperta\n");
         EXPECT_NE(r.errori.find(r.registro), std::string::npos);
         EXPECT_EQ(r.dialoghi.find("successo"), std::string::npos);
       }},
      {"RegistroUtf16",
       [](Corsa& r) {
         std::string testo = kHeader + "[HKEY_CURRENT_USER\\Software\\A]\r\n\"V\"=\"valore\"\r\n";
         std::string utf16 = "\xFF\xFE";
         for (char c : testo) utf16 += std::string{c, '\0'};
         Scrivi(r.registro, utf16);
         r.File("MLX.txt", "LOGY\nREG,X,HKCU,Software\\A,V\n+\xC2\xA7,HKCU,Software\\A\\W,2\n");
       },
       0, kSuccesso.c_str(),
       [](const Corsa& r) {
         EXPECT_NE(Leggi(r.Percorso("mlxlog.txt")).find("= valore"), std::string::npos);
         EXPECT_NE(Leggi(r.registro).find("\"V\"=\"valore\""), std::string::npos);
       }},
      {"RegistroCartella",
       [](Corsa& r) {
         stdfs::create_directory(r.registro);
         r.File("MLX.txt", "+\xC2\xA7,HKCU,Software\\A\\V,1\n");
       },
       1, "a folder, not a file"},
      {"RegistroFifo",
       [](Corsa& r) {
         mkfifo(r.registro.c_str(), 0600);
         r.File("MLX.txt", "REG,X,HKCU,Software\\A,V\n");
       },
       1, "not a regular file"},
      {"RegistroBinario",
       [](Corsa& r) {
         Scrivi(r.registro, std::string("\x00\x01\x02\xFF\xFE\x00garbage", 13));
         r.File("MLX.txt", "+\xC2\xA7,HKCU,Software\\A\\V,1\n");
       },
       1, "Registry file",
       [](const Corsa& r) {
         EXPECT_EQ(Leggi(r.registro), std::string("\x00\x01\x02\xFF\xFE\x00garbage", 13));
       }},
      {"RegistroConCommenti",
       [](Corsa& r) {
         Scrivi(r.registro,
                kHeader + "; a mano\n[HKEY_CURRENT_USER\\Software\\A]\n; porta\n\"P\"=\"1\"\n");
         r.File("MLX.txt", "+\xC2\xA7,HKCU,Software\\A\\P,2\n");
       },
       0, kSuccesso.c_str(),
       [](const Corsa& r) {
         EXPECT_EQ(
             Leggi(r.registro),
             kHeader + "; a mano\n[HKEY_CURRENT_USER\\Software\\A]\n; porta\n\"P\"=\"2\"\n\n");
       }},

      // ---- files
      {"CopiaDaUnaFifo",
       [](Corsa& r) {
         mkfifo(r.Percorso("coda").c_str(), 0600);
         r.File("MLX.txt", "CP,coda,copia\n");
       },
       1, "non è un file ordinario",
       [](const Corsa& r) { EXPECT_FALSE(stdfs::exists(r.Percorso("copia"))); }},
  };
}

class Catalogo : public ::testing::TestWithParam<Caso> {};

TEST_P(Catalogo, InputSbagliato) {
  const Caso& caso = GetParam();
  std::string modello = (stdfs::temp_directory_path() / "mlxbad-XXXXXX").string();
  Corsa run;
  run.radice = mkdtemp(modello.data());
  run.app = run.radice + "/app";
  run.registro = run.radice + "/registry.reg";
  stdfs::create_directories(run.app);
  caso.prepara(run);
  if (HasFatalFailure()) return;

  // The case of the lock: another process holds a write transaction all through the run.
  sqlite3* blocco = nullptr;
  if (std::string(caso.nome) == "DatabaseBloccatoDaUnAltroProcesso") {
    ASSERT_EQ(sqlite3_open(run.Percorso("d.mdb").c_str(), &blocco), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(blocco, "BEGIN IMMEDIATE; INSERT INTO T VALUES (9, 'altro')", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
  }
  const Corsa fatto = Esegui(run, caso.argomenti);
  if (blocco != nullptr) {
    sqlite3_exec(blocco, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(blocco);
  }
  SCOPED_TRACE("dialogs:\n" + fatto.dialoghi + "\nstderr:\n" + fatto.errori);
  EXPECT_FALSE(fatto.bloccato) << "the run hung";
  // In a sanitizer build a fault shows on standard error, whatever the exit status.
  EXPECT_EQ(fatto.errori.find("runtime error"), std::string::npos);
  EXPECT_EQ(fatto.errori.find("Sanitizer"), std::string::npos);
  EXPECT_EQ(fatto.stato, caso.stato);
  if (*caso.detto == '\0') {
    EXPECT_EQ(fatto.dialoghi.find("Attenzione"), std::string::npos);
  } else {
    EXPECT_NE(fatto.Tutto().find(caso.detto), std::string::npos) << "expected: " << caso.detto;
  }
  if (caso.verifica) caso.verifica(fatto);
  if (!HasFailure()) {
    chmod(run.Percorso("d.mdb").c_str(), 0644);
    stdfs::remove_all(run.radice);
  }
}

std::string NomeCaso(const ::testing::TestParamInfo<Caso>& caso) {
  return caso.param.nome;
}

INSTANTIATE_TEST_SUITE_P(Casi, Catalogo, ::testing::ValuesIn(Casi()), NomeCaso);

}  // namespace
