// What the whole process shares with every run of a script: the platform services, the
// options of the run, how the user is told about errors, and the one value that outlives a
// run (the derived database path). The start-up module makes it; engines, commands and the
// operations behind them reach it through the members named for what they need.
#pragma once

#include <functional>
#include <string>

#include "engine/avanzamento.h"
#include "platform/platform.h"

namespace mlx {

struct StatoProcesso {
  // Long operations report to the process's own Avanzamento unless the platform names
  // another place.
  explicit StatoProcesso(const Platform& piattaforma) : plat(piattaforma), avanzamento(*this) {
    if (plat.progress == nullptr) plat.progress = &avanzamento;
  }
  StatoProcesso(const StatoProcesso&) = delete;
  StatoProcesso& operator=(const StatoProcesso&) = delete;

  Platform plat;
  Avanzamento avanzamento;

  // A database path derived from the registered host database path: set by the database line
  // and kept from one script to the next.
  std::string DbAlternativo;

  // The registry file of this run ("" for the default one), handed to a start at the next logon.
  std::string FileRegistro;

  // Options of this run.
  bool Vero = true;  // real execution; false with --dry-run (the engines' Vero)
  // --verbose (implied by --dry-run): each sentence also on standard output, and a note on
  // standard error for an object a command did not find.
  bool Dettagli = false;
  std::function<void(const std::string&)> StampaDettaglio;
  std::function<void(const std::string&)> StampaNota;

  // Answers whether the user asked to stop (Ctrl+C); absent, nobody can ask. Once it has
  // answered yes, Interrotto stays set: the run in progress ends and no other script starts.
  std::function<bool()> RichiestaInterruzione;
  bool Interrotto = false;
  bool InterruzioneRichiesta() {
    if (!Interrotto && RichiestaInterruzione && RichiestaInterruzione()) Interrotto = true;
    return Interrotto;
  }

  // Set whenever an error has been reported to the user; the exit status says so.
  bool ErroreSegnalato = false;

  // The program's own folder joined with a file name.
  std::string PercorsoApp(const std::string& file) const;
  // Shows a message box and returns the answer.
  int Messaggio(const std::string& testo, int stile, const std::string& titolo) const;
  // Shows an error in the "Attenzione" box with the information icon, and records it.
  void SegnalaErrore(const std::string& testo);
};

}  // namespace mlx
