#include "system/registro.h"

#include <cstdint>
#include <utility>

namespace mlx {
namespace {

std::string ReadString(registry::Registry& reg, registry::Handle key, const std::string& value_name,
                       long* result_code) {
  std::uint32_t type = 0;
  std::string data;
  const long rc = registry::ReadValue(reg, key, value_name, &type, &data);
  if (result_code != nullptr) *result_code = rc;
  // The text ends at its first zero; bytes without one are no text.
  const std::size_t end = data.find('\0');
  return rc == registry::kSuccess && end != std::string::npos ? data.substr(0, end) : "";
}

}  // namespace

registry::Handle RadiceRegistro(const std::string& name) {
  static const std::pair<const char*, registry::Handle> kRoots[] = {
      {"HKCR", registry::kClassesRoot},     {"HKCU", registry::kCurrentUser},
      {"HKLM", registry::kLocalMachine},    {"HKU", registry::kUsers},
      {"HKPD", registry::kPerformanceData}, {"HKCC", registry::kCurrentConfig},
      {"HKDD", registry::kDynData}};
  for (const auto& [short_name, handle] : kRoots) {
    if (name == short_name) return handle;
  }
  return 0;
}

std::string LeggiValoreRegistro(registry::Registry& reg, const std::string& root,
                                const std::string& key_path, const std::string& value_name,
                                long* result_code) {
  registry::Handle key = 0;
  long rc = reg.OpenKeyEx(RadiceRegistro(root), key_path, 0, registry::kKeyRead, &key);
  if (rc != registry::kSuccess) {
    if (result_code != nullptr) *result_code = rc;
    return value_name;
  }
  std::string text = ReadString(reg, key, value_name, result_code);
  reg.CloseKey(key);
  return text;
}

std::string LeggiStringaRegistro(registry::Registry& reg, registry::Handle key,
                                 const std::string& value_name) {
  return ReadString(reg, key, value_name, nullptr);
}

long ScriviValoreRegistro(registry::Registry& reg, const std::string& root,
                          const std::string& key_path, const std::string& value_name,
                          const std::string& data) {
  return ImpostaValoreRegistro(reg, RadiceRegistro(root), key_path, value_name, data);
}

long ImpostaValoreRegistro(registry::Registry& reg, registry::Handle root,
                           const std::string& key_path, const std::string& value_name,
                           const std::string& data) {
  registry::Handle key = 0;
  long rc = reg.CreateKey(root, key_path, &key);
  if (rc != registry::kSuccess) return rc;
  // The stored size counts the terminating zero, in bytes.
  std::string with_zero = data + '\0';
  rc = reg.SetValueEx(key, value_name, registry::kString, with_zero.data(),
                      static_cast<std::uint32_t>(with_zero.size()));
  reg.CloseKey(key);
  return rc;
}

long EliminaValoreRegistro(registry::Registry& reg, const std::string& root,
                           const std::string& path) {
  std::size_t slash = path.rfind('\\');
  std::string key_path = slash == std::string::npos ? "" : path.substr(0, slash);
  std::string value_name = slash == std::string::npos ? path : path.substr(slash + 1);
  registry::Handle key = 0;
  long rc = reg.CreateKey(RadiceRegistro(root), key_path, &key);
  if (rc != registry::kSuccess) return rc;
  rc = reg.DeleteValue(key, value_name);
  reg.CloseKey(key);
  return rc;
}

long EliminaChiaveRegistro(registry::Registry& reg, const std::string& root,
                           const std::string& key_path) {
  return reg.DeleteKey(RadiceRegistro(root), key_path);
}

}  // namespace mlx
