// Per-application settings, kept under the current user's
// "Software\VB and VBA Program Settings\<application>\<section>" key.
#pragma once

#include <string>

namespace mlx {

namespace registry { class Registry; }

extern const char* const kRadiceImpostazioni;  // "Software\VB and VBA Program Settings\"

// The string value `chiave` of the application's section; `predefinito` when the key or the
// value is missing (or when there is no registry).
std::string LeggiImpostazione(registry::Registry* reg, const std::string& applicazione,
                              const std::string& sezione, const std::string& chiave,
                              const std::string& predefinito);

}  // namespace mlx
