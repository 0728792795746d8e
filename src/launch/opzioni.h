// The command line: long options first, then the argument text the script grammar reads.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mlx {

struct OpzioniAvvio {
  bool aiuto = false;
  bool versione = false;
  bool prova = false;      // --dry-run
  bool dettagli = false;   // --verbose (implied by --dry-run)
  bool maiAttendere = false;  // --yes
  bool unaTantum = false;     // --run-once: the start prepared by BOOT, at the next logon
  std::string cartellaProgramma;  // --app-dir / MLX_APP_DIR
  std::string registro;           // --registry / MLX_REGISTRY
  std::string risposte;           // --answers / MLX_ANSWERS
  std::string trascrizione;       // --transcript / MLX_TRANSCRIPT
  std::string cartellaProva;      // --keep-rehearsal: the rehearsal's folder, kept
  std::string argomenti;  // what follows the options, joined with single blanks
};

// Reads argv (without the program name). Options override the environment, read through
// `ambiente` (which answers "" for an unset variable). Returns "" or a usage error.
std::string LeggiRigaComando(const std::vector<std::string>& argv,
                             const std::function<std::string(const std::string&)>& ambiente,
                             OpzioniAvvio* opzioni);

// Whether the word is one of the options above ("--name" or "--name=value", or "-h").
bool OpzioneNota(std::string_view parola);

// The text of --help.
std::string TestoAiuto();

}  // namespace mlx
