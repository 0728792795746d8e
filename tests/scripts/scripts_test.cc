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
// "@APP@/" in args, env and the expected files stands for the program folder and the separator
// the program's paths in it have ("\" on Windows; written as JSON writes it in the dialogs).
#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/esegui.h"
#include "versione.h"

namespace {

namespace stdfs = std::filesystem;
using mlx::fakes::LeggiFile;

const char kSeparatore = static_cast<char>(stdfs::path::preferred_separator);
// Standard output and error are text: their lines end with CR LF on Windows.
const std::string kFineRiga = kSeparatore == '\\' ? "\r\n" : "\n";

std::string Sostituisci(std::string s, const std::string& da, const std::string& a) {
  for (std::size_t p = s.find(da); p != std::string::npos; p = s.find(da, p + a.size())) {
    s.replace(p, da.size(), a);
  }
  return s;
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

mlx::fakes::Esito Esegui(std::vector<std::string> argomenti, std::vector<std::string> ambiente,
                         const std::string& cartella) {
  ambiente.push_back("MLX_NOW=2026-12-05 21:03:07");
  return mlx::fakes::Esegui({.programma = MLX_BINARY,
                             .argomenti = std::move(argomenti),
                             .ambiente = std::move(ambiente),
                             .cartella = cartella,
                             .limite = std::chrono::seconds(60)});
}

class Script : public ::testing::TestWithParam<std::string> {};

TEST_P(Script, Caso) {
  const stdfs::path caso = stdfs::path(MLX_SCRIPT_CASES) / GetParam();
  const mlx::fakes::CartellaTemporanea radice;
  const std::string app = radice / "app", registro = radice / "registry.reg";
  stdfs::create_directories(app);
  if (stdfs::exists(caso / "app")) stdfs::copy(caso / "app", app, stdfs::copy_options::recursive);
  auto leggi = [&](const char* nome, bool json = false) {
    const std::string cartella = app + kSeparatore;
    return Sostituisci(LeggiFile((caso / nome).string()), "@APP@/",
                       json ? Sostituisci(cartella, "\\", "\\\\") : cartella);
  };
  if (stdfs::exists(caso / "registry.reg")) mlx::fakes::ScriviFile(registro, leggi("registry.reg"));

  std::vector<std::string> argomenti = {
      "--app-dir", app, "--registry", registro, "--transcript", radice / "dialogs.jsonl"};
  for (const std::string& a : Righe(leggi("args"))) argomenti.push_back(a);
  const mlx::fakes::Esito esito = Esegui(argomenti, Righe(leggi("env")), app);
  SCOPED_TRACE("stderr:\n" + esito.errori);

  EXPECT_FALSE(esito.scaduto);
  const std::string statoAtteso = leggi("expected.status");
  EXPECT_EQ(esito.stato, statoAtteso.empty() ? 0 : std::stoi(statoAtteso));
  EXPECT_EQ(Sostituisci(LeggiFile(app + kSeparatore + "mlxlog.txt"), "\r\n", "\n"),
            leggi("expected.log"));
  EXPECT_EQ(LeggiFile(radice / "dialogs.jsonl"), leggi("expected.dialogs", true));
  for (auto [nome, visto, fine] :
       {std::tuple{"expected.stdout", esito.uscita, kFineRiga},
        {"expected.stderr", esito.errori, kFineRiga},
        {"expected.registry", Sostituisci(LeggiFile(registro), "\r\n", "\n"), "\n"}}) {
    if (stdfs::exists(caso / nome)) {
      EXPECT_EQ(visto, Sostituisci(leggi(nome), "\n", fine)) << nome;
    }
  }
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
  std::ranges::replace(nome, '-', '_');
  return nome;
}

INSTANTIATE_TEST_SUITE_P(Casi, Script, ::testing::ValuesIn(Casi()), NomeCaso);

// -h is --help; --version names the version the build was made from.
TEST(RigaDiComando, AiutoEVersione) {
  const mlx::fakes::CartellaTemporanea cartella;
  const mlx::fakes::Esito breve = Esegui({"-h"}, {}, cartella.percorso);
  EXPECT_EQ(breve.stato, 0);
  EXPECT_NE(breve.uscita.find("--run-once"), std::string::npos) << breve.uscita;
  EXPECT_EQ(breve.uscita, Esegui({"--help"}, {}, cartella.percorso).uscita);
  const mlx::fakes::Esito versione = Esegui({"--version"}, {}, cartella.percorso);
  EXPECT_EQ(versione.stato, 0);
  EXPECT_EQ(versione.uscita, std::string("marlovex ") + mlx::kVersione + kFineRiga);
}

// The restart at the next logon, whole: a run of BOOT writes the run-once value and the batch
// file and, on POSIX, the autostart entry into a private home (Windows has no such entry);
// `--run-once`, run as a session would run it from another folder, runs the script the batch
// file names and takes the start away, so a second logon runs nothing.
TEST(AvvioAlProssimoAccesso, BootPoiRunOnce) {
  const mlx::fakes::CartellaTemporanea radice;
  const std::string app = radice / "app", altrove = radice / "altrove", casa = radice / "casa";
  const std::string registro = radice / "registry.reg", config = radice / "config";
  const std::string voce = config + "/autostart/marlovex-mlx.desktop";
  for (const std::string& d : {app, altrove, casa}) stdfs::create_directories(d);
  const std::vector<std::string> ambiente = {"HOME=" + casa, "XDG_CONFIG_HOME=" + config,
                                             "COMSPEC="};
  mlx::fakes::ScriviFile(app + kSeparatore + "agg.txt", "ASKN\r\nMSGN\r\nBOOT\r\n");
  mlx::fakes::Esito esito =
      Esegui({"--app-dir", app, "--registry", registro, "agg.txt"}, ambiente, app);
  ASSERT_EQ(esito.stato, 0) << esito.errori;
  EXPECT_NE(LeggiFile(registro).find("\"MLX\"="), std::string::npos) << LeggiFile(registro);
  EXPECT_EQ(LeggiFile(app + kSeparatore + "MLXBatch.bat"),
            "cd \"" + app + "\"\r\n\"\" /c marlovex agg.txt\r\n");
  if (kSeparatore == '\\') {
    EXPECT_TRUE(stdfs::is_empty(casa) && !stdfs::exists(config));
  } else {
    EXPECT_NE(LeggiFile(voce).find("\nExec=\"" MLX_BINARY "\" --app-dir \"" + app +
                                   "\" --registry \"" + registro + "\" --run-once\n"),
              std::string::npos)
        << LeggiFile(voce);
  }
  EXPECT_FALSE(stdfs::exists(app + kSeparatore + "mlxlog.txt"));

  // What runs at the logon is the script of that name as it is then.
  mlx::fakes::ScriviFile(app + kSeparatore + "agg.txt", "ASKN\r\nMSGN\r\nLOGY\r\n");
  for (int accesso = 0; accesso < 2; ++accesso) {
    esito = Esegui({"--app-dir", app, "--registry", registro, "--run-once"}, ambiente, altrove);
    EXPECT_EQ(esito.stato, 0) << esito.errori;
    EXPECT_EQ(LeggiFile(app + kSeparatore + "mlxlog.txt"), "05/12/26 21:03:07 Log attivato\r\n");
    EXPECT_EQ(LeggiFile(registro).find("\"MLX\"="), std::string::npos) << LeggiFile(registro);
    EXPECT_FALSE(stdfs::exists(voce));
  }
}

}  // namespace
