#include "engine/contesto.h"

#include "platform/db/db.h"
#include "platform/registry/registry.h"
#include "variables/espansione.h"

namespace mlx {

ContestoEsecuzione::ContestoEsecuzione(StatoProcesso& stato) : processo(stato) {}

ContestoEsecuzione::~ContestoEsecuzione() = default;

void ContestoEsecuzione::GestisciErrore(const ErroreScript& e) {
  // An operation the user interrupted has undone its work and failed: nothing to report, the
  // database is closed and the run ends after this line.
  if (processo.Interrotto) {
    ChiudiDatabase();
    throw RigaInterrotta{};
  }
  if (ErroriSilenziosi) {
    ErroreRiga = true;
    return;
  }
  const std::string& descrizione = e.Descrizione();
  const bool manca = descrizione.find("non esiste.") != std::string::npos;
  if (manca || descrizione.find("gi\xC3\xA0 esistente") != std::string::npos ||
      descrizione.find("already exists") != std::string::npos) {
    // Passed over in silence. A missing object may be a misspelt name, so when the user asked
    // to see the run (--verbose, which --dry-run implies) a note names it and the line.
    if (manca && processo.Dettagli && processo.StampaNota) {
      processo.StampaNota("Nota: " + descrizione + " (riga " + std::to_string(LineaLavoro + 1) +
                          ")");
    }
    Azione.clear();
    return;
  }
  ChiudiDatabase();
  const std::string quarta = descrizione.find("Istruzione SQL non valida.") != std::string::npos
                                 ? "Impossibile accedere in modo esclusivo alla base dati."
                                 : descrizione;
  processo.SegnalaErrore("Database: " + DbCorrente + "\r\nTabella: " + TabellaCorrente +
                         "\r\nCampo: " + (Parti.size() > 1 ? Parti[1] : "") + "\r\n" + quarta);
  ScaricaAttesa(plat().ui);
  throw RigaInterrotta{};
}

const std::string& ContestoEsecuzione::Parte(std::size_t i) const {
  if (i >= Parti.size()) {
    Solleva(err::kSubscript, "Indice non compreso nell'intervallo: la riga non ha l'argomento " +
                                 std::to_string(i) + ".");
  }
  return Parti[i];
}

std::string ContestoEsecuzione::Espandi(std::string_view testo) const {
  std::string risultato;
  espansore.EspandiIn(ExecVars.get(), testo, plat(), &risultato);
  return risultato;
}

std::string_view ContestoEsecuzione::EspandiRiga(std::string_view testo) const {
  return espansore.Espandi(ExecVars.get(), testo, plat());
}

db::Connection& ContestoEsecuzione::ConnessioneAperta() {
  if (!Connessione || Connessione->State() == 0) {
    Solleva(err::kDatabase, "Nessun database aperto: la riga richiede un database.");
  }
  return *Connessione;
}

void ContestoEsecuzione::ChiudiDatabase() {
  if (RecordsetGet) {
    if (RecordsetGet->IsOpen()) RecordsetGet->Close();
    RecordsetGet.reset();
  }
  if (Connessione) {
    if (Connessione->State() != 0) Connessione->Close();
    Connessione.reset();
  }
}

registry::Registry& ContestoEsecuzione::Registro() const {
  if (plat().registry == nullptr) Solleva(err::kInvalidCall, "Registro non disponibile.");
  return *plat().registry;
}

}  // namespace mlx
