// What the whole process shares with every run of a script: the platform services, the
// options of the run, how the user is told about errors, and the one value that outlives a
// run (the derived database path). The start-up module makes it; engines, commands and the
// operations behind them reach it through the members named for what they need.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/avanzamento.h"
#include "platform/platform.h"

namespace mlx {

// What a rehearsal records of the run besides the work it does on its copies: each error
// reported to the user and each command that only described its work, with the script and
// line (from 1; 0 outside any script line) where it happened.
class Rendiconto {
 public:
  virtual ~Rendiconto() = default;
  virtual void Errore(const std::string& script, std::int32_t riga, const std::string& testo) = 0;
  // `crea` is the file or folder the command would have created ("" for none).
  virtual void SoloDescritto(const std::string& script, std::int32_t riga, const std::string& frase,
                             const std::string& crea) = 0;
  // A file test found `percorso` missing: the record notes it when a command that only
  // described its work would have created it, since the real run could take the other branch.
  virtual void FileMancante(const std::string& script, std::int32_t riga,
                            const std::string& percorso) = 0;
};

struct StatoProcesso {
  // The registry of the platform is reached through a watch that reports its failures (see
  // RegistroGuasto). Long operations report to the process's own Avanzamento unless the
  // platform names another place.
  explicit StatoProcesso(const Platform& piattaforma);
  ~StatoProcesso();
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
  // The database and registry services work on private copies (a rehearsal): in a dry run the
  // commands that change only those run for real.
  bool SuCopie = false;
  // Where the rehearsal's record goes; none outside a rehearsal.
  Rendiconto* rendiconto = nullptr;
  // The script and line being interpreted, kept by the engine for the record.
  const std::string* ScriptInCorso = nullptr;
  std::int32_t RigaInCorso = 0;
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

  // Set once the registry's file could not be read or written (a syntax error in it, no
  // permission, a full disk). The first such failure of the run is told on standard error
  // (StampaNota) with what the registry says of it (the file's path, and the line of a syntax
  // error); the run goes on, the registry's commands doing what they do when a key or value
  // is missing, but no script ends with the success message and the exit status says so.
  bool RegistroGuasto = false;

  // The program's own folder joined with a file name.
  std::string PercorsoApp(const std::string& file) const;
  // Shows a message box and returns the answer.
  int Messaggio(const std::string& testo, int stile, const std::string& titolo) const;
  // Shows an error in the "Attenzione" box with the information icon, and records it.
  void SegnalaErrore(const std::string& testo);

 private:
  std::unique_ptr<registry::Registry> registroSorvegliato_;
};

}  // namespace mlx
