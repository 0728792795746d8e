#include "engine/clsMarlovex.h"

#include "conditions/condizioni.h"
#include "engine/tabella.h"
#include "platform/clock/clock.h"
#include "platform/db/db.h"
#include "platform/fs/fs.h"
#include "platform/registry/registry.h"
#include "platform/text/text.h"
#include "platform/ui/ui.h"
#include "programs/programmi.h"
#include "system/impostazioni.h"
#include "variables/espansione.h"

namespace mlx {

clsMarlovex::clsMarlovex(StatoProcesso& stato)
    : contesto_(stato),
      famiglie_(std::make_unique<Famiglie>()),
      Ritorni([&stato](const std::string& testo) { stato.SegnalaErrore(testo); }) {
  contesto_.Interrompi = [this] { Interrompi(); };
  contesto_.RegisterServer = [this](const std::string& DllServerPath, bool bRegister) {
    return RegisterServer(DllServerPath, bRegister);
  };
  contesto_.Righe = &righe_;
  contesto_.Etichette = &etichette_;
  contesto_.Ritorni = &Ritorni;
}

clsMarlovex::~clsMarlovex() {
  Ritorni.Purge();
  if (contesto_.processo.ScriptInCorso == &contesto_.TxtFile) {
    contesto_.processo.ScriptInCorso = nullptr;
    contesto_.processo.RigaInCorso = 0;
  }
}

void clsMarlovex::InitVars(const std::string& szTxtFile) {
  ContestoEsecuzione& c = contesto_;
  const Platform& plat = c.plat();
  c.RichiediAggiornamento = true;
  c.SegnalaAggiornamento = true;
  AggiornamentoEseguito = false;
  *famiglie_ = Famiglie{};
  contesto_.TxtFile = szTxtFile;
  c.ExecVars = std::make_unique<CollezioneTesti>();
  c.Connessione = plat.db != nullptr ? plat.db->NewConnection() : nullptr;
  c.RecordsetGet.reset();
  c.DbCiclo.clear();

  // The host application's settings: its key, and its value that holds the database path.
  c.impostazioni = ImpostazioniOspite{};
  if (plat.registry != nullptr) {
    c.impostazioni.Apri(*plat.registry, "Hollemar900\\Settings", &c.UltimoEsitoRegistro);
  } else {
    c.UltimoEsitoRegistro = registry::kInvalidHandle;
  }
  c.DbCorrente = LeggiImpostazione(plat.registry, "Hollemar900", "Settings", "PathMDB", "");
}

bool clsMarlovex::InitMLX(RigheScript vMLX, std::string* etichettaDoppia) {
  righe_ = std::move(vMLX);
  etichette_.Svuota();
  primaUtile_ = 0;
  while (primaUtile_ < righe_.size() && Commento(righe_[primaUtile_])) ++primaUtile_;
  for (const std::size_t i : righe_.Etichette()) {
    const std::string_view nome = righe_[i].substr(1);
    if (!etichette_.Aggiungi(nome, static_cast<std::int32_t>(i))) {
      if (etichettaDoppia != nullptr) *etichettaDoppia = std::string(nome);
      return false;
    }
  }
  return true;
}

void clsMarlovex::Ciclo() {
  Ritorni.Purge();
  currLinea_ = 0;
  do {
    Riga(currLinea_);
    if (LineExecuted) LineExecuted(currLinea_);
    // An interruption asked for by the user (Ctrl+C) ends the run between two lines: the line
    // in progress is complete, and Clear below closes the database.
    if (contesto_.processo.InterruzioneRichiesta()) break;
    Avanza();
  } while (isRunning_);
  Clear();
  if (AggiornamentoEseguito && contesto_.SegnalaAggiornamento && !contesto_.processo.Interrotto) {
    if (contesto_.processo.RegistroGuasto) {
      contesto_.processo.Messaggio(
          "Aggiornamento eseguito, ma il registro non si è potuto leggere o scrivere.",
          ui::kIconExclamation, "Aggiornamento");
    } else {
      contesto_.processo.Messaggio("Aggiornamento eseguito con successo.", ui::kIconInformation,
                                   "Aggiornamento");
    }
  }
  ScaricaAttesa(contesto_.plat().ui);
}

void clsMarlovex::Avanza() {
  if (currLinea_ >= static_cast<std::int32_t>(righe_.size()) - 1) {
    Interrompi();
  } else {
    ++currLinea_;
  }
}

void clsMarlovex::SaltaCommenti() {
  const std::int32_t ultima = static_cast<std::int32_t>(righe_.size()) - 1;
  if (currLinea_ >= ultima) {
    Interrompi();
    return;
  }
  // The lines before the first that is not a comment need no second look: clearing the engine
  // goes back to that line at once, however long the comments before it.
  if (currLinea_ + 1 < static_cast<std::int64_t>(primaUtile_)) {
    currLinea_ = static_cast<std::int32_t>(primaUtile_) - 1;
  }
  do {
    ++currLinea_;
    if (currLinea_ > ultima) {
      Interrompi();
      return;
    }
  } while (Commento(righe_[currLinea_]));
}

bool clsMarlovex::RegisterServer(const std::string& DllServerPath, bool bRegister) {
  return mlx::RegisterServer(contesto_.processo, DllServerPath, bRegister);
}

void clsMarlovex::Interrompi() {
  if (inClear_) {
    // Clear's repositioning ran off the end of a script that has nothing but comments: the
    // run is already stopping, and clearing again would never end.
    isRunning_ = false;
    return;
  }
  Clear();
  if (debugging_) {
    contesto_.processo.Messaggio("Esecuzione terminata.", ui::kIconInformation, "Attenzione");
  }
}

bool clsMarlovex::EvalCondizione(const std::string& szExec) {
  return mlx::EvalCondizione(contesto_, szExec);
}

bool clsMarlovex::EvalBiCondizione(const std::string& szExec) {
  return mlx::EvalBiCondizione(contesto_, szExec);
}

bool clsMarlovex::EvalMultiCondizione(const std::string& szExec) {
  return mlx::EvalMultiCondizione(contesto_, szExec);
}

void clsMarlovex::Clear() {
  ContestoEsecuzione& c = contesto_;
  inClear_ = true;
  c.LogAttivo = false;
  isRunning_ = false;
  SvuotaCollection(c.ExecVars);
  currLinea_ = -1;
  SaltaCommenti();
  c.impostazioni.Chiudi(c.plat().registry, &c.UltimoEsitoRegistro);
  c.ChiudiDatabase();
  if (ui::Ui* interfaccia = c.plat().ui; interfaccia != nullptr) {
    interfaccia->SetMousePointer(0);
    ScaricaAttesa(interfaccia);
  }
  inClear_ = false;
}

void clsMarlovex::Riga(std::int32_t lLinea) {
  if (!isRunning_) {
    Clear();
    InitVars(contesto_.TxtFile);
  }
  ContestoEsecuzione& c = contesto_;
  c.Azione.clear();
  c.Crea.clear();
  isRunning_ = true;
  if (lLinea < 0 || lLinea >= static_cast<std::int32_t>(righe_.size())) {
    // A line index outside the script (a return address of an empty stack, say) ends the
    // run instead of reading past the lines.
    Interrompi();
    return;
  }
  c.RigaCorrente = righe_[lLinea];
  c.LineaLavoro = lLinea;
  c.processo.ScriptInCorso = &c.TxtFile;
  c.processo.RigaInCorso = lLinea + 1;

  try {
    // The line's kind by its first character; a kind no family claims is a command line.
    const GestoreRiga* tipo = TrovaTipoRiga(text::FirstView(c.RigaCorrente));
    if (tipo == nullptr) {
      RigaComando();
    } else if (*tipo) {
      c.Passo([&] { (*tipo)(c, *famiglie_); });
    }
  } catch (const RigaInterrotta&) {
    // The error was reported: no log line, and the run goes on after this line.
    return;
  }

  if (!c.Azione.empty()) {
    if (c.LogAttivo) ScriviLog(c.Azione);
    if (c.processo.Dettagli && c.processo.StampaDettaglio) c.processo.StampaDettaglio(c.Azione);
  }
  currLinea_ = c.LineaLavoro;
}

void clsMarlovex::RigaComando() {
  ContestoEsecuzione& c = contesto_;
  c.ErroreRiga = false;
  bool espansa = true;
  try {
    // A line without placeholders is split as it is, into the parts' own texts.
    Dividi(c.EspandiRiga(c.RigaCorrente), ",", &c.Parti);
  } catch (const ErroreScript& e) {
    // A failed expansion is reported with this line's own field, read from the raw line,
    // rather than the previous line's.
    Dividi(c.RigaCorrente, ",", &c.Parti);
    espansa = false;
    c.GestisciErrore(e);
  }
  // With errors silenced a line that failed to expand is only marked failed: nothing of it may
  // run, and the arguments of the previous line must not be taken for this one's.
  if (!espansa) c.Parti.clear();
  if (c.Parti.size() > 1) {
    c.Campo.assign(c.Parti[1]);
  } else {
    c.Campo.clear();
  }
  if (espansa) EseguiComando();
  // A reported error has ended the line before this point.
  AggiornamentoEseguito = true;
}

void clsMarlovex::EseguiComando() {
  ContestoEsecuzione& c = contesto_;
  const Comando* comando = TrovaComando(c.Parti[0]);
  if (comando == nullptr) return;  // no such command (a label among them): nothing to do
  Lavoro lavoro;
  // A command that stopped before its work (an argument missing, errors silenced) does
  // nothing more, and in a dry run neither does one that honours it.
  if (!c.Passo([&] { lavoro = comando->gestore(c, *famiglie_); })) return;
  if (!Esegue(comando->prova)) {
    if (Rendiconto* r = c.processo.rendiconto; r != nullptr && !c.Azione.empty()) {
      r->SoloDescritto(c.TxtFile, c.processo.RigaInCorso, c.Azione, c.Crea);
    }
    return;
  }
  if (lavoro) c.Passo(lavoro);
  const bool EseguiSql = static_cast<bool>(comando->istruzione);
  if (EseguiSql) comando->istruzione(c, *famiglie_);
}

void clsMarlovex::ScriviLog(const std::string& testo) {
  const Platform& plat = contesto_.plat();
  if (plat.fs == nullptr || plat.clock == nullptr) return;
  // The log never fails a line: a log that cannot be written is passed over.
  ScriviSuFile(*plat.fs, contesto_.processo.PercorsoApp("mlxlog.txt"),
               clock::Format(plat.clock->Now(), "dd/mm/yy hh:nn:ss") + " " + testo, false);
}

}  // namespace mlx
