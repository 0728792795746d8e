#include "engine/processo.h"

#include "engine/utilita.h"
#include "platform/fs/fs.h"
#include "platform/registry/registry.h"
#include "platform/ui/ui.h"

namespace mlx {

namespace {

// Passes every call on to the platform's registry and tells the process of the first failure
// of the registry's backing file.
class RegistroSorvegliato final : public registry::RegistryWrapper {
 public:
  RegistroSorvegliato(registry::Registry& registro, StatoProcesso& stato)
      : RegistryWrapper(registro), stato_(stato) {}

 private:
  long Answer(long codice) override {
    const bool guasto = codice == registry::kBadDatabase || codice == registry::kCannotWrite;
    if (guasto && !stato_.RegistroGuasto) {
      stato_.RegistroGuasto = true;
      stato_.ErroreSegnalato = true;
      std::string descrizione = LastError();
      if (descrizione.empty()) descrizione = "errore " + std::to_string(codice);
      if (stato_.StampaNota) {
        stato_.StampaNota("marlovex: il registro non si può " +
                          std::string(codice == registry::kCannotWrite ? "scrivere" : "leggere") +
                          ": " + descrizione);
      }
    }
    return codice;
  }

  StatoProcesso& stato_;
};

}  // namespace

StatoProcesso::StatoProcesso(const Platform& piattaforma) : plat(piattaforma), avanzamento(*this) {
  if (plat.progress == nullptr) plat.progress = &avanzamento;
  if (plat.registry != nullptr) {
    registroSorvegliato_ = std::make_unique<RegistroSorvegliato>(*plat.registry, *this);
    plat.registry = registroSorvegliato_.get();
  }
}

StatoProcesso::~StatoProcesso() = default;

std::string StatoProcesso::PercorsoApp(const std::string& file) const {
  return UnisciPercorso(plat.fs->ProgramDirectory(), file);
}

int StatoProcesso::Messaggio(const std::string& testo, int stile, const std::string& titolo) const {
  if (plat.ui == nullptr) return ui::DefaultAnswer(stile);
  return plat.ui->MessageBox(testo, titolo, stile);
}

void StatoProcesso::SegnalaErrore(const std::string& testo) {
  ErroreSegnalato = true;
  if (rendiconto != nullptr) {
    rendiconto->Errore(ScriptInCorso != nullptr ? *ScriptInCorso : std::string(), RigaInCorso,
                       testo);
  }
  Messaggio(testo, ui::kIconInformation, "Attenzione");
}

}  // namespace mlx
