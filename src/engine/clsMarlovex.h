// The engine: one loaded script and everything a run of it needs. It walks the lines from the
// first to the last, interprets each one (Riga), and tells its client after every line.
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
#include "engine/utilita.h"

namespace mlx {

struct StatoProcesso;
namespace db {
class Connection;
class Recordset;
}  // namespace db
namespace registry {
class Registry;
}  // namespace registry

class clsMarlovex {
 public:
  explicit clsMarlovex(StatoProcesso& stato);
  ~clsMarlovex();
  clsMarlovex(const clsMarlovex&) = delete;
  clsMarlovex& operator=(const clsMarlovex&) = delete;

  // Fields, in declaration order. Properties of the public interface (TxtFile, Debugging,
  // Vero, Azione, ExecVars, CurrLinea, IsRunning) only store or return their field.
  std::vector<std::string> Righe;
  bool IsRunning = false;
  std::int32_t CurrLinea = 0;
  std::unique_ptr<CollezioneTesti> ExecVars;
  std::string Azione;
  bool Vero = true;
  bool Debugging = false;
  std::string TxtFile;
  std::unique_ptr<db::Connection> Connessione;
  std::unique_ptr<db::Recordset> RecordsetGet;
  std::string DbCorrente;
  std::string TabellaCorrente;
  std::string RigaCorrente;
  std::string SqlTesta, SqlAzione, SqlCoda;
  std::string Campo;
  std::string RestoRiga;
  std::vector<std::string> Parti;
  bool EsitoCondizione = false;
  std::int32_t TipoCampoTest = 0;
  std::string TestoAvviso;
  bool AggiornamentoEseguito = false;
  bool SegnalaAggiornamento = false;
  bool NuovoCampoTesto = false;
  bool RichiediAggiornamento = false;
  bool EseguiSql = false;
  bool Primario = false, Univoco = false, Nulli = false;
  bool AggiornaCascata = false, EliminaCascata = false;
  std::string DbCiclo;
  std::int32_t Contatore = 0;
  long UltimoEsitoRegistro = 0;
  std::string ArgomentoTest;
  bool CicloAttivo = false;
  std::int32_t IndiceCiclo = 0;
  Collezione<std::int32_t> Etichette;
  std::vector<std::string> ElencoCiclo;
  bool LogAttivo = false;
  bool ErroriSilenziosi = false;
  bool ErroreRiga = false;
  std::int64_t ChiaveImpostazioni = -1;  // open host-settings key; -1 when none
  std::string NomeValoreDb = "PathMDB";  // the value of that key that holds the database path
  clsStack Ritorni;

  // Raised after every interpreted line with its index.
  std::function<void(std::int32_t)> LineExecuted;

  // Public members, in the order of the interface.
  void Riga(std::int32_t lLinea);
  void Clear();
  // Takes the lines and indexes the labels. A label defined twice (without regard to case)
  // refuses the script: the result is false and `etichettaDoppia` names the label.
  bool InitMLX(std::vector<std::string> vMLX, std::string* etichettaDoppia = nullptr);
  void InitVars(const std::string& szTxtFile);
  void Avanza();
  void SaltaCommenti();
  void Ciclo();
  void Interrompi();

  // The command codes of the dispatch table, in the order of comparison.
  static std::vector<std::string> CodiciComandi();

 private:
  // A command handler. The table says, for each code, whether its command builds the SQL
  // statement executed at the end of the line.
  using Gestore = void (clsMarlovex::*)();
  struct VoceComando {
    std::string_view codice;
    Gestore gestore;  // nullptr: the command's family is not available in this build
    bool costruisceSql;
  };
  static const VoceComando* TrovaComando(std::string_view codice);
  static const std::vector<VoceComando>& TabellaComandi();

  // Thrown by the error trap to end the line at once.
  struct RigaInterrotta {};

  // Runs one step of a line under the error trap. Returns false when the step failed and the
  // trap let the line go on (errors silenced, or an object that exists or is missing).
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

  // Line kinds.
  void RigaComando();
  void RigaTabella();
  void RigaImpostazioni();

  // Argument i of the current command line; a missing one is a subscript error.
  const std::string& Parte(std::size_t i) const;
  // Arguments from index i to the end joined again with ",".
  std::string RestoDa(long i) const { return UnisciDa(Parti, ",", i); }
  std::string Espandi(std::string_view testo) const;
  void ScriviLog(const std::string& testo);
  db::Connection& ConnessioneAperta();
  void ChiudiDatabase();

  // Commands.
  void CmdAssegna();
  void CmdLogAttivo();
  void CmdLogDisattivo();
  void CmdErroriAttivi();
  void CmdErroriSilenziosi();
  void CmdMessaggioFinaleSi();
  void CmdMessaggioFinaleNo();
  void CmdRichiestaSi();
  void CmdRichiestaNo();
  void CmdFine();
  void CmdVariabileDaRegistro();
  void CmdEliminaChiave();
  void CmdEliminaValore();
  void CmdScriviValore();
  registry::Registry& Registro() const;

  // Database commands and operations.
  void RigaDatabase();
  void CmdAggiungiCampo();      // "+"
  void CmdEliminaCampo();       // "-"
  void CmdModificaTipo();       // "!"
  void CmdSvuotaCampo();        // "0"
  void CmdModificaValore();     // "M"
  void CmdDefaultCampo();       // "D"
  void CmdRinominaCampo();      // "$"
  void CmdEliminaTabella();     // "X"
  void CmdCreaTabella();        // ">"
  void CmdSvuotaTabella();      // "/"
  void CmdImportaDati();        // "<"
  void CmdCreaIndice();         // "#"
  void CmdEliminaIndice();      // "-#"
  void CmdCreaRelazione();      // "@"
  void CmdModificaRelazione();  // "M@"
  void CmdEliminaRelazione();   // "-@"
  void CmdSql();                // "SQL"
  void CmdGet();                // "GET"
  void CmdCompatta();           // "DBZ"
  void CmdCreaDatabase();       // "+DB"
  void CmdProgramma();          // "+TASK"
  void CmdAggiungiQuery();      // "+Q"
  void CmdEliminaQuery();       // "-Q"
  void CmdLunghezzaZero();      // "Z"
  void CmdRiallinea();          // "DBFC"
  void CmdRinominaTabella();    // "$T"
  void CmdImportaTabella();     // "<T"
  // Argument i read as a flag; a missing one is false.
  bool Flag(std::size_t i) const;
  void ImportaDati(db::Connection& conn, const std::string& tabella, const std::string& file,
                   const std::string& separatore, const std::string& colonne);
  bool RiallineaContatori(std::unique_ptr<db::Connection>& conn, const std::string& percorso);
  bool CompattaDatabase(std::unique_ptr<db::Connection>& conn, const std::string& percorso);
  void ProgrammaAggiornamento(const std::string& tabella, const std::string& data,
                              const std::string& script);

  StatoProcesso& stato_;
  std::int32_t lineaLavoro_ = 0;  // the working line number of the current Riga
  bool inClear_ = false;
};

}  // namespace mlx
