// What a POSIX desktop session does with the program: a person typing at a terminal, and the
// restart at the next logon through an autostart entry.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <future>

#include "fakes/esegui.h"

namespace {

using mlx::fakes::LeggiFile;

const std::string kAdesso = "MLX_NOW=2026-12-05 21:03:07";

// The restart at the next logon, whole: a run of BOOT writes the run-once value, the batch file
// and the autostart entry into a private home; the entry's command, run as a desktop session
// would run it from another folder, runs the script the batch file names and takes the start
// away, so a second logon runs nothing.
TEST(AvvioAlProssimoAccesso, BootPoiRunOnce) {
  const mlx::fakes::CartellaTemporanea radice;
  const std::string app = radice / "app", altrove = radice / "altrove", casa = radice / "casa";
  const std::string registro = radice / "registry.reg";
  const std::string voce = radice / "config/autostart/marlovex-mlx.desktop";
  for (const std::string& d : {app, altrove, casa}) std::filesystem::create_directories(d);
  mlx::fakes::Comando comando = {
      .programma = MLX_BINARY,
      .argomenti = {"--app-dir", app, "--registry", registro, "agg.txt"},
      .ambiente = {kAdesso, "HOME=" + casa, "XDG_CONFIG_HOME=" + radice / "config", "COMSPEC="},
      .cartella = app};
  mlx::fakes::ScriviFile(app + "/agg.txt", "ASKN\r\nMSGN\r\nBOOT\r\n");
  mlx::fakes::Esito esito = mlx::fakes::Esegui(comando);
  ASSERT_EQ(esito.stato, 0) << esito.errori;
  EXPECT_NE(LeggiFile(registro).find("\"MLX\"="), std::string::npos) << LeggiFile(registro);
  EXPECT_EQ(LeggiFile(app + "/MLXBatch.bat"), "cd \"" + app + "\"\r\n\"\" /c marlovex agg.txt\r\n");
  EXPECT_NE(LeggiFile(voce).find("\nExec=\"" MLX_BINARY "\" --app-dir \"" + app +
                                 "\" --registry \"" + registro + "\" --run-once\n"),
            std::string::npos)
      << LeggiFile(voce);
  EXPECT_FALSE(std::filesystem::exists(app + "/mlxlog.txt"));

  // What runs at the logon is the script of that name as it is then.
  mlx::fakes::ScriviFile(app + "/agg.txt", "ASKN\r\nMSGN\r\nLOGY\r\n");
  comando.argomenti.back() = "--run-once";
  comando.cartella = altrove;
  for (int accesso = 0; accesso < 2; ++accesso) {
    esito = mlx::fakes::Esegui(comando);
    EXPECT_EQ(esito.stato, 0) << esito.errori;
    EXPECT_EQ(LeggiFile(app + "/mlxlog.txt"), "05/12/26 21:03:07 Log attivato\r\n");
    EXPECT_EQ(LeggiFile(registro).find("\"MLX\"="), std::string::npos) << LeggiFile(registro);
    EXPECT_FALSE(std::filesystem::exists(voce));
  }
}

// A person at a terminal: the program runs on a pseudo-terminal, and each question is answered
// by typing once its prompt has appeared (Yes by its initial, then No by its name).
TEST(Terminale, DomandeRisposteDallaTastiera) {
  const mlx::fakes::CartellaTemporanea radice;
  const std::string app = radice / "app";
  std::filesystem::create_directories(app);
  mlx::fakes::ScriviFile(app + "/MLX.txt",
                         "LOGY\r\nMSGN\r\nWAITY,1,Domande in corso\r\nASK,A,36,Prima,Procedere?"
                         "\r\nASK,B,4,Seconda,Continuare?\r\n");
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  auto corsa =
      std::async(std::launch::async, mlx::fakes::Esegui,
                 mlx::fakes::Comando{.programma = MLX_BINARY,
                                     .argomenti = {"--app-dir", app},
                                     .ambiente = {kAdesso, "MLX_REGISTRY=" + radice / "r.reg"},
                                     .ingresso = ptsname(master),
                                     .terminale = true,
                                     .limite = std::chrono::seconds(60)});
  // Reads what the program writes until `atteso` appears (or the program ends); true if seen.
  std::string schermo;
  std::size_t letto = 0;
  auto attendi = [&](const std::string& atteso) {
    pollfd pronto = {master, POLLIN, 0};
    char buffer[4096];
    for (ssize_t n; schermo.find(atteso, letto) == std::string::npos; schermo.append(buffer, n)) {
      if (poll(&pronto, 1, 10000) <= 0 || (n = read(master, buffer, sizeof buffer)) <= 0) {
        return false;
      }
    }
    letto = schermo.find(atteso, letto) + atteso.size();
    return true;
  };
  for (const std::string risposta : {"s\n", "No\n"}) {
    ASSERT_TRUE(attendi("Risposta (Invio = Si): ")) << schermo;
    ASSERT_EQ(write(master, risposta.data(), risposta.size()), ssize_t(risposta.size()));
  }
  attendi("\x01");  // everything up to the end of the program
  const mlx::fakes::Esito esito = corsa.get();
  close(master);
  EXPECT_EQ(esito.stato, 0) << schermo << esito.errori;
  // Both boxes were drawn with their buttons, the wait window's message before them.
  EXPECT_NE(schermo.find("| [?] Procedere?"), std::string::npos) << schermo;
  EXPECT_NE(schermo.find("[6] Si (predefinito)   [7] No"), std::string::npos) << schermo;
  EXPECT_NE(schermo.find("[i] Aggiornamento in corso, attendere...\x1b[K\r\n    Domande in corso"),
            std::string::npos)
      << schermo;
  EXPECT_EQ(LeggiFile(app + "/mlxlog.txt"),
            "05/12/26 21:03:07 Log attivato\r\n"
            "05/12/26 21:03:07 Disattivato msgbox segnalazione aggiornamento\r\n"
            "05/12/26 21:03:07 Attivato msgbox di attesa\r\n"
            "05/12/26 21:03:07 Variabile A come risposta a Procedere? = Si\r\n"
            "05/12/26 21:03:07 Variabile B come risposta a Continuare? = No\r\n");
}

}  // namespace
