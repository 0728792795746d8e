// The program's entry: reads the long options, builds the platform services and runs the
// command line's scripts.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include "launch/console.h"
#include "launch/mdlMarlovex.h"
#include "launch/opzioni.h"
#include "launch/prova.h"
#include "programs/avvio.h"
#include "platform/clock/clock.h"
#include "platform/db/db.h"
#include "platform/dynlib/dynlib.h"
#include "platform/fs/fs.h"
#include "platform/fs/regular.h"
#include "platform/process/process.h"
#include "platform/registry/registry.h"
#include "platform/sysinfo/sysinfo.h"
#include "platform/ui/terminal.h"
#include "platform/ui/ui.h"
#include "versione.h"

namespace {

std::string Ambiente(const std::string& nome) {
  const char* valore = std::getenv(nome.c_str());
  return valore != nullptr ? valore : "";
}

// Appends the rehearsal's JSON objects to the transcript in one write, as dialogs are.
void AggiungiATrascrizione(const std::string& percorso, const std::string& righe) {
  if (!mlx::fs::AppendAtOnce(percorso, righe)) std::cerr << "Nota: impossibile scrivere il rapporto della prova in " << percorso << "\n";
}

int ErroreUso(const std::string& messaggio) {
  std::cerr << "marlovex: " << messaggio << "\n"
            << "Usare 'marlovex --help' per l'elenco delle opzioni.\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace mlx;
  PreparaConsole();
  std::vector<std::string> argomenti = ArgomentiProgramma(argc, argv);
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
  opzioniUi.interactive = ui::terminal::IsConsoleInput(stdin);
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
  stato.RichiestaInterruzione = [] { return InterruzioneRichiesta(); };
  InstallaInterruzione();
  try {
    if (opzioni.unaTantum) {
      // The start prepared by BOOT: its folder and the argument text of the batch file, taken
      // once; nothing prepared is nothing to do.
      std::string cartella, argomentiAvvio, errore;
      if (!PrendiAvvio(stato, &cartella, &argomentiAvvio, &errore)) return 0;
      if (errore.empty() && !CambiaCartella(fileSystem->ToNative(cartella))) {
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
