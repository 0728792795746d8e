// Whole-script cases: each folder under tests/scripts is one run of the real executable in a
// temporary program folder, with a fixed clock and a dialog transcript. A case folder holds:
//   app/               files copied into the program folder (MLX.txt, includes, data)
//   args               the command-line arguments, one per line (optional)
//   env                extra environment, NAME=VALUE per line (optional)
//   registry.reg       the registry the run starts with (optional)
//   expected.log       the log the run must leave (absent: no log may be written)
//   expected.dialogs   the dialog transcript, one JSON line per dialog (absent: no dialog)
//   expected.status    the exit status (absent: 0)
//   expected.stdout    standard output (optional)
//   expected.stderr    standard error (optional)
//   expected.registry  the registry file afterwards (optional)
// "@APP@" in args, env and the expected files stands for the program folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "versione.h"

namespace {

namespace stdfs = std::filesystem;

std::string LeggiFile(const stdfs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Sostituisci(std::string s, const std::string& da, const std::string& a) {
  for (std::size_t p = s.find(da); p != std::string::npos; p = s.find(da, p + a.size())) {
    s.replace(p, da.size(), a);
  }
  return s;
}

std::string SenzaCr(std::string s) {
  return Sostituisci(std::move(s), "\r\n", "\n");
}

std::vector<std::string> Righe(const std::string& testo) {
  std::vector<std::string> righe;
  std::stringstream in(testo);
  for (std::string r; std::getline(in, r);) {
    if (!r.empty() && r.back() == '\r') r.pop_back();
    if (!r.empty()) righe.push_back(r);
  }
  return righe;
}

struct Esito {
  int stato = -1;
  std::string uscita, errori;
};

Esito Esegui(const std::vector<std::string>& argomenti, const std::vector<std::string>& ambiente,
             const std::string& cartella) {
  const std::string fileUscita = cartella + "/../stdout.txt";
  const std::string fileErrori = cartella + "/../stderr.txt";
  pid_t pid = fork();
  if (pid == 0) {
    int nullo = open("/dev/null", O_RDONLY);
    int out = open(fileUscita.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int errf = open(fileErrori.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(nullo, 0);
    dup2(out, 1);
    dup2(errf, 2);
    if (chdir(cartella.c_str()) != 0) _exit(126);
    for (const std::string& voce : ambiente) putenv(const_cast<char*>(voce.c_str()));
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(MLX_BINARY));
    for (const std::string& a : argomenti) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(MLX_BINARY, argv.data());
    _exit(127);
  }
  Esito esito;
  int status = 0;
  waitpid(pid, &status, 0);
  esito.stato = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  esito.uscita = LeggiFile(fileUscita);
  esito.errori = LeggiFile(fileErrori);
  return esito;
}

class Script : public ::testing::TestWithParam<std::string> {};

TEST_P(Script, Caso) {
  const stdfs::path caso = stdfs::path(MLX_SCRIPT_CASES) / GetParam();
  std::string modello = (stdfs::temp_directory_path() / "mlxcase-XXXXXX").string();
  const std::string radice = mkdtemp(modello.data());
  const std::string app = radice + "/app";
  stdfs::create_directories(app);
  if (stdfs::exists(caso / "app")) {
    stdfs::copy(caso / "app", app, stdfs::copy_options::recursive);
  }
  auto espandi = [&](const std::string& s) { return Sostituisci(s, "@APP@", app); };
  const std::string registro = radice + "/registry.reg";
  if (stdfs::exists(caso / "registry.reg")) {
    std::ofstream(registro, std::ios::binary) << espandi(LeggiFile(caso / "registry.reg"));
  }

  std::vector<std::string> argomenti = {
      "--app-dir", app, "--registry", registro, "--transcript", radice + "/dialogs.jsonl"};
  for (const std::string& a : Righe(LeggiFile(caso / "args"))) argomenti.push_back(espandi(a));
  std::vector<std::string> ambiente = {"MLX_NOW=2026-12-05 21:03:07"};
  for (const std::string& e : Righe(LeggiFile(caso / "env"))) ambiente.push_back(espandi(e));

  const Esito esito = Esegui(argomenti, ambiente, app);
  SCOPED_TRACE("stderr:\n" + esito.errori);

  const std::string statoAtteso = LeggiFile(caso / "expected.status");
  EXPECT_EQ(esito.stato, statoAtteso.empty() ? 0 : std::stoi(statoAtteso));
  EXPECT_EQ(SenzaCr(LeggiFile(app + "/mlxlog.txt")), espandi(LeggiFile(caso / "expected.log")));
  EXPECT_EQ(LeggiFile(radice + "/dialogs.jsonl"), espandi(LeggiFile(caso / "expected.dialogs")));
  if (stdfs::exists(caso / "expected.stdout")) {
    EXPECT_EQ(esito.uscita, espandi(LeggiFile(caso / "expected.stdout")));
  }
  if (stdfs::exists(caso / "expected.stderr")) {
    EXPECT_EQ(esito.errori, espandi(LeggiFile(caso / "expected.stderr")));
  }
  if (stdfs::exists(caso / "expected.registry")) {
    EXPECT_EQ(SenzaCr(LeggiFile(registro)), espandi(LeggiFile(caso / "expected.registry")));
  }
  if (!HasFailure()) stdfs::remove_all(radice);
}

std::vector<std::string> Casi() {
  std::vector<std::string> casi;
  for (const auto& voce : stdfs::directory_iterator(MLX_SCRIPT_CASES)) {
    if (voce.is_directory()) casi.push_back(voce.path().filename().string());
  }
  std::sort(casi.begin(), casi.end());
  return casi;
}

std::string NomeCaso(const ::testing::TestParamInfo<std::string>& caso) {
  std::string nome = caso.param;
  for (char& c : nome) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return nome;
}

INSTANTIATE_TEST_SUITE_P(Casi, Script, ::testing::ValuesIn(Casi()), NomeCaso);

// -h is --help; --version names the version the build was made from.
TEST(RigaDiComando, AiutoEVersione) {
  std::string modello = (stdfs::temp_directory_path() / "mlxopz-XXXXXX").string();
  const std::string radice = mkdtemp(modello.data());
  const std::string cartella = radice + "/qui";
  stdfs::create_directories(cartella);
  const Esito breve = Esegui({"-h"}, {}, cartella);
  const Esito lungo = Esegui({"--help"}, {}, cartella);
  EXPECT_EQ(breve.stato, 0);
  EXPECT_NE(breve.uscita.find("--run-once"), std::string::npos) << breve.uscita;
  EXPECT_EQ(breve.uscita, lungo.uscita);
  const Esito versione = Esegui({"--version"}, {}, cartella);
  EXPECT_EQ(versione.stato, 0);
  EXPECT_EQ(versione.uscita, std::string("marlovex ") + mlx::kVersione + "\n");
  stdfs::remove_all(radice);
}

// The restart at the next logon, whole: a run of BOOT writes the run-once value, the batch file
// and the autostart entry into a private home; the entry's command, run as a desktop session
// would run it from another folder, runs the script the batch file names and takes the start
// away, so a second logon runs nothing.
TEST(AvvioAlProssimoAccesso, BootPoiRunOnce) {
  std::string modello = (stdfs::temp_directory_path() / "mlxboot-XXXXXX").string();
  const std::string radice = mkdtemp(modello.data());
  const std::string app = radice + "/app", altrove = radice + "/altrove";
  const std::string registro = radice + "/registry.reg";
  const std::string voce = radice + "/config/autostart/marlovex-mlx.desktop";
  for (const std::string& d : {app, altrove, radice + "/casa"}) stdfs::create_directories(d);
  const std::vector<std::string> ambiente = {"MLX_NOW=2026-12-05 21:03:07", "HOME=" + radice + "/casa",
                                             "XDG_CONFIG_HOME=" + radice + "/config", "COMSPEC="};
  std::ofstream(app + "/agg.txt", std::ios::binary) << "ASKN\r\nMSGN\r\nBOOT\r\n";

  Esito esito = Esegui({"--app-dir", app, "--registry", registro, "agg.txt"}, ambiente, app);
  ASSERT_EQ(esito.stato, 0) << esito.errori;
  EXPECT_NE(LeggiFile(registro).find("\"MLX\"="), std::string::npos) << LeggiFile(registro);
  EXPECT_EQ(LeggiFile(app + "/MLXBatch.bat"),
            "cd \"" + app + "\"\r\n\"\" /c marlovex agg.txt\r\n");
  std::string exec;
  for (const std::string& r : Righe(LeggiFile(voce))) {
    if (r.rfind("Exec=", 0) == 0) exec = r.substr(5);
  }
  ASSERT_EQ(exec, "\"" + std::string(MLX_BINARY) + "\" --app-dir \"" + app + "\" --registry \"" +
                      registro + "\" --run-once");
  EXPECT_FALSE(stdfs::exists(app + "/mlxlog.txt"));

  // What runs at the logon is the script of that name as it is then.
  std::ofstream(app + "/agg.txt", std::ios::binary) << "ASKN\r\nMSGN\r\nLOGY\r\n";
  const std::vector<std::string> accesso = {"--app-dir", app, "--registry", registro, "--run-once"};
  esito = Esegui(accesso, ambiente, altrove);
  EXPECT_EQ(esito.stato, 0) << esito.errori;
  EXPECT_EQ(SenzaCr(LeggiFile(app + "/mlxlog.txt")), "05/12/26 21:03:07 Log attivato\n");
  EXPECT_EQ(LeggiFile(registro).find("\"MLX\"="), std::string::npos) << LeggiFile(registro);
  EXPECT_FALSE(stdfs::exists(voce));

  esito = Esegui(accesso, ambiente, altrove);
  EXPECT_EQ(esito.stato, 0) << esito.errori;
  EXPECT_EQ(SenzaCr(LeggiFile(app + "/mlxlog.txt")), "05/12/26 21:03:07 Log attivato\n");
  if (!HasFailure()) stdfs::remove_all(radice);
}

// A person at a terminal: the program runs on a pseudo-terminal, and each question is answered
// by typing once its prompt has appeared (Yes by its initial, then No by its name).
class Terminale : public ::testing::Test {
 protected:
  // Reads what the program writes until `atteso` appears (or the program ends); true if seen.
  bool AttendiTesto(const std::string& atteso) {
    char buffer[4096];
    struct pollfd pronto = {master_, POLLIN, 0};
    while (schermo_.find(atteso, letto_) == std::string::npos) {
      if (poll(&pronto, 1, 10000) <= 0) return false;
      ssize_t n = read(master_, buffer, sizeof(buffer));
      if (n <= 0) return false;
      schermo_.append(buffer, static_cast<std::size_t>(n));
    }
    letto_ = schermo_.find(atteso, letto_) + atteso.size();
    return true;
  }

  int master_ = -1;
  std::string schermo_;
  std::size_t letto_ = 0;
};

TEST_F(Terminale, DomandeRisposteDallaTastiera) {
  const stdfs::path radice = stdfs::temp_directory_path() / ("mlx-pty-" + std::to_string(getpid()));
  stdfs::remove_all(radice);
  stdfs::create_directories(radice / "app");
  const std::string app = (radice / "app").string();
  {
    std::ofstream mlx(radice / "app" / "MLX.txt", std::ios::binary);
    mlx << "LOGY\r\nMSGN\r\nWAITY,1,Domande in corso\r\nASK,A,36,Prima,Procedere?\r\n"
           "ASK,B,4,Seconda,Continuare?\r\n";
  }
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master_, 0);
  ASSERT_EQ(grantpt(master_), 0);
  ASSERT_EQ(unlockpt(master_), 0);
  const std::string slave = ptsname(master_);
  const std::string registro = (radice / "registry.reg").string();
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    int terminale = open(slave.c_str(), O_RDWR);
    if (terminale < 0) _exit(126);
    dup2(terminale, 0);
    dup2(terminale, 1);
    dup2(terminale, 2);
    setenv("MLX_NOW", "2026-12-05 21:03:07", 1);
    setenv("MLX_REGISTRY", registro.c_str(), 1);
    execl(MLX_BINARY, MLX_BINARY, "--app-dir", app.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  const bool prima = AttendiTesto("Risposta (Invio = Si): ");
  EXPECT_TRUE(prima) << schermo_;
  if (prima) {
    ASSERT_EQ(write(master_, "s\n", 2), 2);
  }
  const bool seconda = AttendiTesto("Risposta (Invio = Si): ");
  EXPECT_TRUE(seconda) << schermo_;
  if (seconda) {
    ASSERT_EQ(write(master_, "No\n", 3), 3);
  }
  AttendiTesto("\x01");  // everything up to the end of the program
  int stato = 0;
  waitpid(pid, &stato, 0);
  close(master_);
  EXPECT_TRUE(WIFEXITED(stato) && WEXITSTATUS(stato) == 0) << schermo_;
  // Both boxes were drawn with their buttons, the wait window's message before them.
  EXPECT_NE(schermo_.find("| [?] Procedere?"), std::string::npos) << schermo_;
  EXPECT_NE(schermo_.find("[6] Si (predefinito)   [7] No"), std::string::npos) << schermo_;
  EXPECT_NE(
      schermo_.find("[i] Aggiornamento in corso, attendere...\x1b[K\r\n    Domande in corso"),
      std::string::npos)
      << schermo_;
  EXPECT_EQ(SenzaCr(LeggiFile(radice / "app" / "mlxlog.txt")),
            "05/12/26 21:03:07 Log attivato\n"
            "05/12/26 21:03:07 Disattivato msgbox segnalazione aggiornamento\n"
            "05/12/26 21:03:07 Attivato msgbox di attesa\n"
            "05/12/26 21:03:07 Variabile A come risposta a Procedere? = Si\n"
            "05/12/26 21:03:07 Variabile B come risposta a Continuare? = No\n");
  stdfs::remove_all(radice);
}

}  // namespace
