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

}  // namespace mlx
