// A person typing at a terminal, which only POSIX gives a test to drive.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <future>

#include "fakes/esegui.h"

namespace {

using mlx::fakes::LeggiFile;

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
  auto corsa = std::async(std::launch::async, mlx::fakes::Esegui,
                          mlx::fakes::Comando{.programma = MLX_BINARY,
                                              .argomenti = {"--app-dir", app},
                                              .ambiente = {"MLX_NOW=2026-12-05 21:03:07",
                                                           "MLX_REGISTRY=" + radice / "r.reg"},
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
