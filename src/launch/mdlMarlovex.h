// The start-up module: process-wide state, the command-line grammar, and loading and running
// each script file in a fresh engine.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/collezione.h"
#include "engine/utilita.h"
#include "platform/platform.h"

namespace mlx {

// State shared by the start-up module, the engine and the commands for the life of the
// process.
struct StatoProcesso {
  explicit StatoProcesso(const Platform& piattaforma) : plat(piattaforma) {}

  Platform plat;

  // Name of the registry value that holds the host database path.
  std::string NomeValoreDb = "PathMDB";
  // A database path derived from the registered host database path.
  std::string DbAlternativo;
  // Message-box icon codes by symbol ("!", "i", "x", "?").
  Collezione<std::int32_t> IconeMessaggio;
  // The lines of the script being loaded; the last element is an empty slot.
  std::vector<std::string> RigheScript{""};
  // The chain of script files being loaded (to refuse circular includes).
  std::unique_ptr<CollezioneTesti> FileInCaricamento;

  // Options of this run.
  bool EsecuzioneReale = true;  // false with --dry-run: commands only describe their work
  bool Dettagli = false;        // --verbose: each sentence also on standard output
  std::function<void(const std::string&)> StampaDettaglio;  // where --verbose writes

  // Set whenever an error has been reported to the user; the exit status says so.
  bool ErroreSegnalato = false;

  // The program's own folder joined with a file name.
  std::string PercorsoApp(const std::string& file) const;
  // Shows a message box and returns the answer.
  int Messaggio(const std::string& testo, int stile, const std::string& titolo) const;
  // Shows an error in the "Attenzione" box with the information icon, and records it.
  void SegnalaErrore(const std::string& testo);
};

// Runs the program with the whole argument text (everything after the program's name).
void Main(StatoProcesso& stato, const std::string& argomenti);
void ElaboraRigaComando(StatoProcesso& stato, const std::string& argomenti);
void LeggiOpzioni(StatoProcesso& stato, const std::string& argomenti);
void EseguiScript(StatoProcesso& stato, const std::string& percorso);
bool CaricaScript(StatoProcesso& stato, const std::string& percorso);

}  // namespace mlx
