#include "engine/processo.h"

#include "engine/utilita.h"
#include "platform/fs/fs.h"
#include "platform/registry/registry.h"
#include "platform/ui/ui.h"

namespace mlx {

namespace {

// Passes every call on to the platform's registry and tells the process of the first failure
// of the registry's backing file.
class RegistroSorvegliato final : public registry::Registry {
 public:
  RegistroSorvegliato(registry::Registry& registro, StatoProcesso& stato)
      : registro_(registro), stato_(stato) {}

  long OpenKeyEx(registry::Handle root, const std::string& sub_key, std::uint32_t options,
                 std::uint32_t access, registry::Handle* result) override {
    return Esito(registro_.OpenKeyEx(root, sub_key, options, access, result));
  }
  long QueryValueEx(registry::Handle key, const std::string& name, std::uint32_t* type, char* data,
                    std::uint32_t* size) override {
    return Esito(registro_.QueryValueEx(key, name, type, data, size));
  }
  long CreateKey(registry::Handle root, const std::string& sub_key,
                 registry::Handle* result) override {
    return Esito(registro_.CreateKey(root, sub_key, result));
  }
  long SetValueEx(registry::Handle key, const std::string& name, std::uint32_t type,
                  const char* data, std::uint32_t size) override {
    return Esito(registro_.SetValueEx(key, name, type, data, size));
  }
  long DeleteValue(registry::Handle key, const std::string& name) override {
    return Esito(registro_.DeleteValue(key, name));
  }
  long DeleteKey(registry::Handle root, const std::string& sub_key) override {
    return Esito(registro_.DeleteKey(root, sub_key));
  }
  long CloseKey(registry::Handle key) override { return Esito(registro_.CloseKey(key)); }
  long EnumKey(registry::Handle key, std::uint32_t index, std::string* name) override {
    return Esito(registro_.EnumKey(key, index, name));
  }
  std::string LastError() const override { return registro_.LastError(); }
  bool RunOnceAtLogon() const override { return registro_.RunOnceAtLogon(); }

 private:
  long Esito(long codice) {
    const bool guasto = codice == registry::kBadDatabase || codice == registry::kCannotWrite;
    if (guasto && !stato_.RegistroGuasto) {
      stato_.RegistroGuasto = true;
      stato_.ErroreSegnalato = true;
      std::string descrizione = registro_.LastError();
      if (descrizione.empty()) descrizione = "errore " + std::to_string(codice);
      if (stato_.StampaNota) {
        stato_.StampaNota("marlovex: il registro non si può " +
                          std::string(codice == registry::kCannotWrite ? "scrivere" : "leggere") +
                          ": " + descrizione);
      }
    }
    return codice;
  }

  registry::Registry& registro_;
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
