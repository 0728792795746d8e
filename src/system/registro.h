// The registry operations behind the script commands: reading, writing and deleting string
// values and deleting keys, with the root named by its short name ("HKCU", "HKLM", ...).
// None of them raises an error or shows anything: a failure leaves the registry as it was.
// The writing and deleting operations answer the registry's result code, which callers may
// ignore.
#pragma once

#include <string>

#include "platform/registry/registry.h"

namespace mlx {

// The root key for its short name, compared exactly: "HKCR", "HKCU", "HKLM", "HKU", "HKPD",
// "HKCC", "HKDD". Any other name gives 0, which every registry call refuses.
registry::Handle RadiceRegistro(const std::string& name);

// The text of a value. A key that cannot be opened gives the value name itself; a missing
// value gives "". *result_code, when given, receives the answer of the open, or, once the key
// is open, of the read.
std::string LeggiValoreRegistro(registry::Registry& reg, const std::string& root,
                                const std::string& key_path, const std::string& value_name,
                                long* result_code = nullptr);

// The text of a value of a key the caller keeps open: its bytes before the first zero byte,
// "" for a missing value or one without a zero byte. Values of any length are read whole.
std::string LeggiStringaRegistro(registry::Registry& reg, registry::Handle key,
                                 const std::string& value_name);

// Writes a string value, creating the key and every missing key above it.
long ScriviValoreRegistro(registry::Registry& reg, const std::string& root,
                          const std::string& key_path, const std::string& value_name,
                          const std::string& data);
long ImpostaValoreRegistro(registry::Registry& reg, registry::Handle root,
                           const std::string& key_path, const std::string& value_name,
                           const std::string& data);

// Deletes the value named after the last backslash of `path` from the key named before it.
// The key is opened by creating it, so a missing key is left behind, empty.
long EliminaValoreRegistro(registry::Registry& reg, const std::string& root,
                           const std::string& path);

// Deletes a key that has no keys below it.
long EliminaChiaveRegistro(registry::Registry& reg, const std::string& root,
                           const std::string& key_path);

}  // namespace mlx
