// The program's entry: reads the long options, builds the platform services and runs the
// command line's scripts.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include "launch/mdlMarlovex.h"
#include "launch/opzioni.h"
#include "launch/prova.h"
#include "programs/avvio.h"
#include "platform/clock/clock.h"
#include "platform/db/db.h"
#include "platform/dynlib/dynlib.h"
#include "platform/fs/fs.h"
#include "platform/process/process.h"
#include "platform/registry/registry.h"
#include "platform/sysinfo/sysinfo.h"
#include "platform/ui/ui.h"
#include "versione.h"

namespace {

std::string Ambiente(const std::string& nome) {
  const char* valore = std::getenv(nome.c_str());
  return valore != nullptr ? valore : "";
}

// Set by Ctrl+C (or a request to terminate); the engine looks at it between two lines.
volatile std::sig_atomic_t interruzione = 0;

extern "C" void SuInterruzione(int) {
  interruzione = 1;
}

// The first Ctrl+C asks the run to stop after the line in progress, so that the database is
// closed with nothing half-written. The handler is reset once it has run, so a second Ctrl+C
// ends a program that is waiting on something else at once.
void InstallaInterruzione() {
  struct sigaction azione = {};
  azione.sa_handler = SuInterruzione;
  sigemptyset(&azione.sa_mask);
  azione.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &azione, nullptr);
  sigaction(SIGTERM, &azione, nullptr);
}

// Appends the rehearsal's JSON objects to the transcript in one write, as dialogs are.
void AggiungiATrascrizione(const std::string& percorso, const std::string& righe) {
  int fd = open(percorso.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  bool scritto = fd >= 0 && write(fd, righe.data(), righe.size()) ==
                                static_cast<ssize_t>(righe.size());
  if (fd >= 0) scritto = close(fd) == 0 && scritto;
  if (!scritto) std::cerr << "Nota: impossibile scrivere il rapporto della prova in " << percorso << "\n";
}

int ErroreUso(const std::string& messaggio) {
  std::cerr << "marlovex: " << messaggio << "\n"
            << "Usare 'marlovex --help' per l'elenco delle opzioni.\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace mlx;
  std::vector<std::string> argomenti(argv + 1, argv + argc);
  OpzioniAvvio opzioni;
  if (std::string errore = LeggiRigaComando(argomenti, Ambiente, &opzioni); !errore.empty()) {
    return ErroreUso(errore);
  }
  if (opzioni.aiuto) {
    std::cout << TestoAiuto();
    return 0;
  }
  if (opzioni.versione) {
    std::cout << "marlovex " << kVersione << "\n";
    return 0;
  }

  std::optional<clock::DateTime> orarioFisso;
  if (std::string now = Ambiente("MLX_NOW"); !now.empty()) {
    orarioFisso = clock::ParseFixedTime(now);
    if (!orarioFisso) return ErroreUso("MLX_NOW non valido (atteso AAAA-MM-GG HH:MM:SS): " + now);
  }

  ui::TerminalUiOptions opzioniUi;
  for (const std::string& risposta : Dividi(opzioni.risposte, ",")) {
    if (TogliSpazi(risposta).empty()) continue;
    std::optional<int> codice = ui::ParseAnswer(TogliSpazi(risposta));
    if (!codice) return ErroreUso("risposta non valida in --answers: " + risposta);
    opzioniUi.answers.push_back(*codice);
  }
  opzioniUi.never_wait = opzioni.maiAttendere;
  opzioniUi.interactive = isatty(STDIN_FILENO) != 0;
  opzioniUi.transcript_path = opzioni.trascrizione;

  fs::FileSystemOptions opzioniFs;
  opzioniFs.program_directory = opzioni.cartellaProgramma;
  // Kept as a full path: the run-once value and the autostart entry name it for a later start
  // from another folder.
  if (!opzioni.cartellaProgramma.empty()) {
    std::error_code ignorato;
    opzioniFs.program_directory =
        std::filesystem::absolute(opzioni.cartellaProgramma, ignorato).string();
  }
  opzioniFs.drives = fs::ParseDriveMap(Ambiente("MLX_DRIVES"));

  std::unique_ptr<ui::Ui> interfaccia = ui::MakeTerminalUi(opzioniUi);
  std::unique_ptr<clock::Clock> orologio = clock::MakeSystemClock(orarioFisso);
  std::unique_ptr<fs::FileSystem> fileSystem = fs::MakeFileSystem(opzioniFs);
  std::unique_ptr<sysinfo::SysInfo> sistema = sysinfo::MakeSysInfo();
  const std::string fileRegistro =
      opzioni.registro.empty() ? registry::DefaultRegistryPath() : opzioni.registro;
  std::unique_ptr<registry::Registry> registro = registry::MakeRegistry(opzioni.registro);
  std::unique_ptr<db::Provider> database = db::MakeSqliteProvider(orologio.get());
  std::unique_ptr<process::Processes> processi = process::MakeProcesses();
  std::unique_ptr<dynlib::Loader> librerie = dynlib::MakeLoader();

  Platform plat;
  plat.ui = interfaccia.get();
  plat.clock = orologio.get();
  plat.fs = fileSystem.get();
  plat.sysinfo = sistema.get();
  plat.registry = registro.get();
  plat.db = database.get();
  plat.process = processi.get();
  plat.dynlib = librerie.get();

  // A dry run rehearses on copies: the run gets the rehearsal's services.
  std::unique_ptr<Prova> prova;
  if (opzioni.prova) {
    std::string errore;
    prova = Prova::Prepara(plat, fileRegistro, opzioni.cartellaProva, &errore);
    if (!prova) {
      std::cerr << "marlovex: " << errore << "\n";
      return 1;
    }
    plat = prova->Piattaforma();
  }

  StatoProcesso stato(plat);
  stato.SuCopie = prova != nullptr;
  stato.rendiconto = prova.get();
  // Long database statements report to the wait window and end when the user asks to stop.
  database->SetProgressSink(stato.plat.progress);
  // A later start runs in another folder: it gets the registry file as a full path.
  if (!opzioni.registro.empty()) {
    std::error_code ignorato;
    stato.FileRegistro = std::filesystem::absolute(opzioni.registro, ignorato).string();
  }
  stato.Vero = !opzioni.prova;
  stato.Dettagli = opzioni.dettagli;
  // Sentences and notes go where the wait window may be drawn: it makes room for them first.
  ui::Ui* finestra = interfaccia.get();
  stato.StampaDettaglio = [finestra](const std::string& frase) {
    finestra->MakeRoom();
    std::cout << frase << "\n" << std::flush;
  };
  stato.StampaNota = [finestra](const std::string& nota) {
    finestra->MakeRoom();
    std::cerr << nota << "\n" << std::flush;
  };
  stato.RichiestaInterruzione = [] { return interruzione != 0; };
  InstallaInterruzione();
  try {
    if (opzioni.unaTantum) {
      // The start prepared by BOOT: its folder and the argument text of the batch file, taken
      // once; nothing prepared is nothing to do.
      std::string cartella, argomentiAvvio, errore;
      if (!PrendiAvvio(stato, &cartella, &argomentiAvvio, &errore)) return 0;
      if (errore.empty() && chdir(fileSystem->ToNative(cartella).c_str()) != 0) {
        errore = "Impossibile trovare il percorso: " + cartella;
      }
      if (!errore.empty()) {
        stato.SegnalaErrore(errore);
        return 1;
      }
      Main(stato, argomentiAvvio);
    } else {
      Main(stato, opzioni.argomenti);
    }
  } catch (const ui::AnswerRefused& rifiuto) {
    std::cerr << "marlovex: " << rifiuto.what() << "\n";
    return 2;
  }
  if (prova) {
    const Rapporto rapporto = prova->Confronta();
    std::cout << TestoRapporto(rapporto) << std::flush;
    if (!opzioni.trascrizione.empty()) {
      AggiungiATrascrizione(opzioni.trascrizione, JsonRapporto(rapporto));
    }
  }
  if (stato.Interrotto) {
    std::cerr << "marlovex: esecuzione interrotta.\n";
    return 130;
  }
  return stato.ErroreSegnalato ? 1 : 0;
}
