#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "fakes/ambiente.h"
#include "programs/avvio.h"
#include "programs/programmi.h"
#include "system/registro.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::Contains;
using ::testing::ElementsAre;
namespace stdfs = std::filesystem;

void Esegui(Ambiente& a, std::vector<std::string> righe) {
  righe.insert(righe.begin(), {"ASKN", "LOGY"});
  righe.push_back("MSGN");
  a.Esegui(righe);
}

// Waits up to five seconds for a file that a detached program writes.
std::string Attendi(const Ambiente& a, const std::string& nome) {
  for (int i = 0; i < 100 && !stdfs::exists(a.Percorso(nome)); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return a.Leggi(nome);
}

TEST(ComandiProgrammi, ArgomentiArrivanoComeScritti) {
  Ambiente a;
  stdfs::create_directory(a.Percorso("lavoro dir"));
  const std::string argomenti = "\"con spazi\" a\\\"b $(touch x) `touch y` ;rm -rf z 'q' \"\"";
  Esegui(a, {"EXEC," MLX_STAMPA_ARGOMENTI "," + argomenti + ",VERO," + a.Percorso("lavoro dir")});
  EXPECT_EQ(a.Leggi("lavoro dir/argomenti.txt"),
            "con spazi\na\"b\n$(touch\nx)\n`touch\ny`\n;rm\n-rf\nz\n'q'\n\n");
  EXPECT_FALSE(stdfs::exists(a.Percorso("lavoro dir/x")));
  EXPECT_THAT(a.Log(),
              Contains("Esecuzione programma " MLX_STAMPA_ARGOMENTI " con attesa dal percorso " +
                       a.Percorso("lavoro dir")));
  // Without a folder the program runs in the current one.
  ASSERT_EQ(chdir(a.cartella.c_str()), 0);
  Esegui(a, {"EXEC," MLX_STAMPA_ARGOMENTI ",uno due,-1"});
  EXPECT_EQ(a.Leggi("argomenti.txt"), "uno\ndue\n");
  EXPECT_THAT(a.Log(), Contains("Esecuzione programma " MLX_STAMPA_ARGOMENTI " con attesa"));
  ASSERT_EQ(chdir("/"), 0);
}

TEST(ComandiProgrammi, ProgrammaMancanteSegnaSoloLaRiga) {
  Ambiente a;
  a.Scrivi("testo.txt", "non eseguibile");
  Esegui(a, {"EXEC," + a.Percorso("manca") + ",,VERO", "^ERR^", "=,X,mancante", "^^",
             "EXEC," + a.Percorso("testo.txt") + ",,VERO", "^ERR^", "=,Y,non eseguibile", "^^"});
  EXPECT_THAT(a.Log(), Contains("Variabile X = mancante"));
  EXPECT_THAT(a.Log(), Contains("Variabile Y = non eseguibile"));
  EXPECT_TRUE(a.ui.dialoghi.empty());
}

TEST(ComandiProgrammi, AvvioSenzaAttesaStaccato) {
  Ambiente a;
  Esegui(a, {"EXEC," MLX_STAMPA_ARGOMENTI ",--dormi,FALSO," + a.cartella, "^ERR^", "=,X,errore",
             "^^"});
  EXPECT_EQ(Attendi(a, "argomenti.txt"), "--dormi\n");
  EXPECT_THAT(a.Log(),
              Contains("Esecuzione programma " MLX_STAMPA_ARGOMENTI " senza attesa dal percorso " +
                       a.cartella));
  EXPECT_THAT(a.Log(), ::testing::Not(Contains("Variabile X = errore")));
  // The program is not this process's child: nothing is left to reap, no zombie.
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  const pid_t pid = std::stoi(a.Leggi("pid.txt"));
  ASSERT_GT(pid, 0);
  EXPECT_EQ(kill(pid, SIGTERM), 0);
}

TEST(ComandiProgrammi, DocumentoApertoConLApritore) {
  Ambiente a;
  a.Scrivi("doc.txt", "documento");
  // No opener: a clean failure.
  EXPECT_FALSE(EseguiProgramma(*a.stato, a.Percorso("doc.txt"), "", "NO", a.cartella));
  stdfs::copy_file(MLX_STAMPA_ARGOMENTI, a.Percorso("apri"));
  EXPECT_TRUE(EseguiProgramma(*a.stato, a.Percorso("doc.txt"), "ignorati", "NO", a.cartella));
  EXPECT_EQ(Attendi(a, "argomenti.txt"), a.Percorso("doc.txt") + "\n");
}

TEST(ComandiProgrammi, InterruzioneFermaIlProgramma) {
  Ambiente a;
  int domande = 0;
  a.stato->RichiestaInterruzione = [&] { return ++domande > 2; };
  const auto inizio = std::chrono::steady_clock::now();
  EXPECT_TRUE(EseguiEAttendi(*a.stato, MLX_STAMPA_ARGOMENTI, "--dormi", a.cartella));
  EXPECT_LT(std::chrono::steady_clock::now() - inizio, std::chrono::seconds(10));
  EXPECT_EQ(a.Leggi("argomenti.txt"), "--dormi\n");
}

TEST(ComandiProgrammi, RegistrazioneComponenti) {
  Ambiente a;
  a.Scrivi("testo.dll", "non sono una libreria");
  Esegui(a, {"DLLREG," MLX_COMPONENTE ",VERO", "^ERR^", "=,A,errore registrazione", "^^",
             "DLLREG," MLX_COMPONENTE ",no", "^ERR^", "=,B,errore deregistrazione", "^^"});
  EXPECT_THAT(a.Log(), Contains("Registrata dll/ocx " MLX_COMPONENTE));
  EXPECT_THAT(a.Log(), Contains("Deregistrata dll/ocx " MLX_COMPONENTE));
  EXPECT_THAT(a.Log(), ::testing::Not(Contains("Variabile A = errore registrazione")));
  // The component's unregistration answers an error code.
  EXPECT_THAT(a.Log(), Contains("Variabile B = errore deregistrazione"));
  // The engine's public method, the one DLLREG runs.
  clsMarlovex motore(*a.stato);
  EXPECT_TRUE(motore.RegisterServer(MLX_COMPONENTE, true));
  EXPECT_FALSE(motore.RegisterServer(MLX_COMPONENTE, false));
  EXPECT_FALSE(motore.RegisterServer(MLX_COMPONENTE_VUOTO, true));
  EXPECT_FALSE(motore.RegisterServer(a.Percorso("testo.dll"), true));
  EXPECT_FALSE(motore.RegisterServer(a.Percorso("manca.dll"), true));
  EXPECT_FALSE(motore.RegisterServer(a.cartella, true));
  // Without the flag the line is an error of its own, reported.
  EXPECT_TRUE(a.ui.dialoghi.empty());
  Esegui(a, {"DLLREG," MLX_COMPONENTE});
  EXPECT_EQ(a.TitoliDialoghi(), std::vector<std::string>{"Attenzione"});
}

TEST(ComandiProgrammi, BootPreparaIlProssimoAccesso) {
  Ambiente a;
  a.sistema.ambiente["COMSPEC"] = "C:\\WINDOWS\\system32\\cmd.exe";
  a.sistema.ambiente["XDG_CONFIG_HOME"] = a.Percorso("config");
  a.stato->FileRegistro = a.Percorso("registry.reg");
  for (int volta = 0; volta < 2; ++volta) Esegui(a, {"BOOT"});
  EXPECT_THAT(a.Log(), Contains("Predisposizione esecuzione automatica"));
  EXPECT_EQ(a.Leggi("MLXBatch.bat"), "cd \"" + a.cartella +
                                         "\"\r\n\"C:\\WINDOWS\\system32\\cmd.exe\" /c marlovex "
                                         "script.txt\r\n");
  EXPECT_EQ(LeggiValoreRegistro(*a.registro, "HKCU", kChiaveRunOnce, "MLX"),
            a.Percorso("MLXBatch.bat"));
  const std::string desktop = a.Leggi("config/autostart/marlovex-mlx.desktop");
  EXPECT_THAT(desktop, ::testing::HasSubstr(" --app-dir \"" + a.cartella + "\" --registry \"" +
                                            a.Percorso("registry.reg") + "\" --run-once\n"));

  // Without COMSPEC the interpreter is an empty pair of quotes.
  a.sistema.ambiente.erase("COMSPEC");
  CreaBatchAvvio(*a.stato, "D:\\Agg\\Rel5.txt");
  EXPECT_EQ(a.Leggi("MLXBatch.bat"), "cd \"" + a.cartella + "\"\r\n\"\" /c marlovex Rel5.txt\r\n");

  // The logon start is taken once: the value and the autostart entry go.
  std::string cartella, argomenti, errore;
  ASSERT_TRUE(PrendiAvvio(*a.stato, &cartella, &argomenti, &errore));
  EXPECT_EQ(cartella, a.cartella);
  EXPECT_EQ(argomenti, "Rel5.txt");
  EXPECT_FALSE(stdfs::exists(a.Percorso("config/autostart/marlovex-mlx.desktop")));
  EXPECT_FALSE(PrendiAvvio(*a.stato, &cartella, &argomenti, &errore));
}

// The registry of a system that runs RunOnce values itself, over the test's registry file.
class RegistroCheAvvia final : public registry::RegistryWrapper {
 public:
  using RegistryWrapper::RegistryWrapper;
  bool RunOnceAtLogon() const override { return true; }
};

TEST(ComandiProgrammi, BootSenzaVoceDiAvvioDoveIlSistemaEsegueRunOnce) {
  Ambiente a;
  a.sistema.ambiente["XDG_CONFIG_HOME"] = a.Percorso("config");
  RegistroCheAvvia registro(*a.registro);
  Platform piattaforma = a.stato->plat;
  piattaforma.registry = &registro;
  StatoProcesso stato(piattaforma);
  PredisponiAvvio(stato, "script.txt");
  EXPECT_EQ(LeggiValoreRegistro(*a.registro, "HKCU", kChiaveRunOnce, "MLX"),
            a.Percorso("MLXBatch.bat"));
  EXPECT_TRUE(stdfs::exists(a.Percorso("MLXBatch.bat")));
  EXPECT_FALSE(stdfs::exists(a.Percorso("config/autostart")));
}

// Without an absolute XDG_CONFIG_HOME or HOME there is no folder for the entry: the value and
// the batch file alone, and nothing written relative to the current folder.
TEST(ComandiProgrammi, BootSenzaCartellaDiCasa) {
  Ambiente a;
  a.sistema.ambiente["HOME"] = "casa-relativa";
  Esegui(a, {"BOOT"});
  EXPECT_TRUE(a.ui.dialoghi.empty());
  EXPECT_EQ(LeggiValoreRegistro(*a.registro, "HKCU", kChiaveRunOnce, "MLX"),
            a.Percorso("MLXBatch.bat"));
  EXPECT_FALSE(stdfs::exists("casa-relativa"));
}

TEST(ComandiProgrammi, ProvaASeccoNonAvviaNulla) {
  Ambiente a;
  a.sistema.ambiente["XDG_CONFIG_HOME"] = a.Percorso("config");
  a.Esegui({"EXEC," MLX_STAMPA_ARGOMENTI ",x,VERO," + a.cartella, "BOOT", "MSGN"},
           /*vero=*/false);
  EXPECT_FALSE(stdfs::exists(a.Percorso("argomenti.txt")));
  EXPECT_FALSE(stdfs::exists(a.Percorso("MLXBatch.bat")));
  EXPECT_FALSE(stdfs::exists(a.Percorso("config")));
}

}  // namespace
}  // namespace mlx
