// The engine: one loaded script and everything a run of it needs. It walks the lines from the
// first to the last, interprets each one (Riga), and tells its client after every line. The
// commands belong to their families (engine/tabella.cc lists them); they see the run context
// and their own family's state, never the engine.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/clsStack.h"
#include "engine/collezione.h"
#include "engine/comando.h"
#include "engine/contesto.h"
#include "engine/processo.h"
#include "engine/righe.h"

namespace mlx {

struct Famiglie;

class clsMarlovex {
 public:
  explicit clsMarlovex(StatoProcesso& stato);
  ~clsMarlovex();
  clsMarlovex(const clsMarlovex&) = delete;
  clsMarlovex& operator=(const clsMarlovex&) = delete;

  // Properties of the public interface: each stores or returns its value.
  const std::string& TxtFile() const { return contesto_.TxtFile; }
  void TxtFile(std::string valore) { contesto_.TxtFile = std::move(valore); }
  bool Debugging() const { return debugging_; }
  void Debugging(bool valore) { debugging_ = valore; }
  // Real execution; false in a dry run. The process holds the one flag (--dry-run).
  bool Vero() const { return contesto_.processo.Vero; }
  void Vero(bool valore) { contesto_.processo.Vero = valore; }
  const std::string& Azione() const { return contesto_.Azione; }
  void Azione(std::string valore) { contesto_.Azione = std::move(valore); }
  CollezioneTesti* ExecVars() const { return contesto_.ExecVars.get(); }
  void ExecVars(std::unique_ptr<CollezioneTesti> valore) { contesto_.ExecVars = std::move(valore); }
  std::int32_t CurrLinea() const { return currLinea_; }
  void CurrLinea(std::int32_t valore) { currLinea_ = valore; }
  bool IsRunning() const { return isRunning_; }
  void IsRunning(bool valore) { isRunning_ = valore; }
  // The script lines, as InitMLX took them.
  const RigheScript& Righe() const { return righe_; }

  // Raised after every interpreted line with its index.
  std::function<void(std::int32_t)> LineExecuted;

  // Public members, in the order of the interface.
  void Riga(std::int32_t lLinea);
  void Clear();
  // Takes the lines and indexes the labels. A label defined twice (without regard to case)
  // refuses the script: the result is false and `etichettaDoppia` names the label.
  bool InitMLX(RigheScript vMLX, std::string* etichettaDoppia = nullptr);
  bool InitMLX(const std::vector<std::string>& vMLX, std::string* etichettaDoppia = nullptr) {
    return InitMLX(RigheScript(vMLX), etichettaDoppia);
  }
  void InitVars(const std::string& szTxtFile);
  void Avanza();
  void SaltaCommenti();
  void Ciclo();
  void Interrompi();
  // Conditions: one single test, one pair of tests, a whole condition line. Each leaves its
  // description in Azione; an error of a test reaches the caller.
  bool EvalCondizione(const std::string& szExec);
  bool EvalBiCondizione(const std::string& szExec);
  bool EvalMultiCondizione(const std::string& szExec);
  // Registers the component (bRegister true) or unregisters it by its own entry point; true
  // when the entry point exists and reports success. What DLLREG runs.
  bool RegisterServer(const std::string& DllServerPath, bool bRegister);

  // What the run shares with the commands, and the labels, for a client that looks on.
  const ContestoEsecuzione& Contesto() const { return contesto_; }
  const Collezione<std::int32_t>& Etichette() const { return etichette_; }

 private:
  void RigaComando();
  // Looks up the code of the split line and runs its command.
  void EseguiComando();
  // The dry-run rule, in one place: whether a command's work and statement run.
  bool Esegue(InProva prova) const {
    return Vero() || prova == InProva::Esegue ||
           (prova == InProva::SuCopia && contesto_.processo.SuCopie);
  }
  void ScriviLog(const std::string& testo);

  ContestoEsecuzione contesto_;
  std::unique_ptr<Famiglie> famiglie_;
  RigheScript righe_;
  bool isRunning_ = false;
  std::int32_t currLinea_ = 0;
  bool debugging_ = false;
  bool AggiornamentoEseguito = false;  // some command line ran: the final message is due
  Collezione<std::int32_t> etichette_;
  clsStack Ritorni;
  bool inClear_ = false;
};

}  // namespace mlx
