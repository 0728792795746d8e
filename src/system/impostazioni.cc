#include "system/impostazioni.h"

#include <cstdint>

#include "platform/registry/registry.h"
#include "system/registro.h"

namespace mlx {

const char* const kRadiceImpostazioni = "Software\\VB and VBA Program Settings\\";

std::string LeggiImpostazione(registry::Registry* reg, const std::string& applicazione,
                              const std::string& sezione, const std::string& chiave,
                              const std::string& predefinito) {
  if (reg == nullptr) return predefinito;
  registry::Handle h = 0;
  std::string percorso = std::string(kRadiceImpostazioni) + applicazione + "\\" + sezione;
  if (reg->OpenKeyEx(registry::kCurrentUser, percorso, 0, registry::kKeyRead, &h) !=
      registry::kSuccess) {
    return predefinito;
  }
  // A setting that is missing takes the default; an empty one stays empty.
  std::uint32_t tipo = 0, dimensione = 0;
  long esito = reg->QueryValueEx(h, chiave, &tipo, nullptr, &dimensione);
  std::string valore = esito == registry::kSuccess ? LeggiStringaRegistro(*reg, h, chiave)
                                                    : predefinito;
  reg->CloseKey(h);
  return valore;
}

void ImpostazioniOspite::Apri(registry::Registry& reg, const std::string& sottochiave,
                              long* esito) {
  registry::Handle h = 0;
  *esito = reg.OpenKeyEx(registry::kCurrentUser, std::string(kRadiceImpostazioni) + sottochiave, 0,
                         registry::kKeyRead, &h);
  if (*esito == registry::kSuccess) ChiaveImpostazioni = h;
}

void ImpostazioniOspite::Chiudi(registry::Registry* reg, long* esito) {
  if (ChiaveImpostazioni == -1) return;
  if (reg != nullptr) *esito = reg->CloseKey(static_cast<registry::Handle>(ChiaveImpostazioni));
  ChiaveImpostazioni = -1;
}

std::string ImpostazioniOspite::PercorsoDatabase(registry::Registry* reg) const {
  if (ChiaveImpostazioni == -1 || reg == nullptr) return "";
  return LeggiStringaRegistro(*reg, static_cast<registry::Handle>(ChiaveImpostazioni),
                              NomeValoreDb);
}

}  // namespace mlx
