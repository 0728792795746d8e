// Per-application settings, kept under the current user's
// "Software\VB and VBA Program Settings\<application>\<section>" key.
#pragma once

#include <cstdint>
#include <string>

namespace mlx {

namespace registry { class Registry; }

extern const char* const kRadiceImpostazioni;  // "Software\VB and VBA Program Settings\"

// The string value `chiave` of the application's section; `predefinito` when the key or the
// value is missing (or when there is no registry).
std::string LeggiImpostazione(registry::Registry* reg, const std::string& applicazione,
                              const std::string& sezione, const std::string& chiave,
                              const std::string& predefinito);

// The host application's settings key that a run keeps open, and the name of its value that
// holds the host database path. Each run starts with the host's own key and "PathMDB"; a
// settings-key line of the script changes both.
struct ImpostazioniOspite {
  std::int64_t ChiaveImpostazioni = -1;  // the open key; -1 when none
  std::string NomeValoreDb = "PathMDB";

  // Opens the key kRadiceImpostazioni + `sottochiave` of the current user for reading. A key
  // that cannot be opened is not an error: the registry's answer goes to *esito and no key is
  // open afterwards.
  void Apri(registry::Registry& reg, const std::string& sottochiave, long* esito);
  // Closes the open key, if any, with the registry's answer in *esito.
  void Chiudi(registry::Registry* reg, long* esito);
  // The host database path: the value NomeValoreDb of the open key; "" when no key is open or
  // the value is missing.
  std::string PercorsoDatabase(registry::Registry* reg) const;
};

}  // namespace mlx
