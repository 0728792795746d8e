// The run context: what every command family shares while one script runs. It holds the line
// being interpreted and its parts, the sentence, the switches, the variables, the open
// database, the host settings key and the process's services, and the line's error trap.
// Anything else a family needs is kept in the family's own state (engine/tabella.h), and what
// a command needs only while it runs is a local of its handler.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/clsStack.h"
#include "engine/collezione.h"
#include "engine/errore.h"
#include "engine/processo.h"
#include "engine/righe.h"
#include "engine/utilita.h"
#include "system/impostazioni.h"
#include "variables/espansione.h"

namespace mlx {

namespace db {
class Connection;
class Recordset;
}  // namespace db
namespace registry {
class Registry;
}  // namespace registry

// Thrown by the error trap to end the line at once: the error has been reported.
struct RigaInterrotta {};

struct ContestoEsecuzione {
  explicit ContestoEsecuzione(StatoProcesso& stato);
  ~ContestoEsecuzione();
  ContestoEsecuzione(const ContestoEsecuzione&) = delete;
  ContestoEsecuzione& operator=(const ContestoEsecuzione&) = delete;

  StatoProcesso& processo;
  const Platform& plat() const { return processo.plat; }

  // The script file being run (the engine's TxtFile).
  std::string TxtFile;

  // The line being interpreted.
  std::int32_t LineaLavoro = 0;    // the working line number: the run goes on after it
  std::string_view RigaCorrente;   // the raw line, a view of the engine's script
  std::vector<std::string> Parti;  // the expanded command line split at ","
  std::string Campo;               // Parti(1), or "" when the line has no comma
  std::string Azione;              // the line's sentence; "" writes no log line
  std::string Crea;                // the file or folder the line's command creates, if any
  bool ErroreRiga = false;         // the line failed with errors silenced

  // Switches.
  bool LogAttivo = false;              // LOGY, LOGN; off after every Clear
  bool ErroriSilenziosi = false;       // ERRN, ERRY
  bool SegnalaAggiornamento = false;   // MSGY, MSGN: the message at the end of the run
  bool RichiediAggiornamento = false;  // ASKY, ASKN: the question before the first true condition

  // The variable store.
  std::unique_ptr<CollezioneTesti> ExecVars;

  // The open database, the recordset that reads from it, its path and the current table.
  std::unique_ptr<db::Connection> Connessione;
  std::unique_ptr<db::Recordset> RecordsetGet;
  std::string DbCorrente;
  std::string TabellaCorrente;
  // The database the connection was last opened on by a database test of a condition or by a
  // loop over databases; "" until one of them opens it.
  std::string DbCiclo;

  // The host application's settings key, and the result of the engine's last registry call.
  ImpostazioniOspite impostazioni;
  long UltimoEsitoRegistro = 0;

  // The engine's script, its labels and its return stack, through which the flow commands move
  // the working line number.
  const RigheScript* Righe = nullptr;
  const Collezione<std::int32_t>* Etichette = nullptr;
  clsStack* Ritorni = nullptr;

  // Expansion buffers, reused line after line.
  mutable Espansore espansore;

  // Stops the run, as the engine's Interrompi does.
  std::function<void()> Interrompi;
  // Registers (true) or unregisters a component through the engine's RegisterServer.
  std::function<bool(const std::string& DllServerPath, bool bRegister)> RegisterServer;

  // Runs one step of the line under the error trap. Returns false when the step failed and
  // the trap let the line go on (errors silenced, or an object that exists or is missing); a
  // reported error ends the line through RigaInterrotta.
  template <typename F>
  bool Passo(F&& passo) {
    try {
      passo();
      return true;
    } catch (const ErroreScript& e) {
      GestisciErrore(e);
      return false;
    }
  }
  void GestisciErrore(const ErroreScript& e);

  // Argument i of the command line; a missing one is a subscript error.
  const std::string& Parte(std::size_t i) const;
  // Arguments from index i to the end joined again with ",".
  std::string RestoDa(long i) const { return UnisciDa(Parti, ",", i); }
  // Argument i read as a flag; a missing one is false.
  bool Flag(std::size_t i) const { return i < Parti.size() && IsVero(Parti[i]); }
  // The text with its placeholders replaced from the variable store.
  std::string Espandi(std::string_view testo) const;
  // The same as a view: the text itself when it holds no placeholder, otherwise a text kept
  // until the next call. The command line is expanded this way, without a copy of its own.
  std::string_view EspandiRiga(std::string_view testo) const;
  // The open connection; none open is a script error.
  db::Connection& ConnessioneAperta();
  // Closes and releases the recordset and the connection.
  void ChiudiDatabase();
  registry::Registry& Registro() const;
};

}  // namespace mlx
