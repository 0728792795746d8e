// Placeholder until the Windows registry lands: every call answers that the registry cannot be
// read, with a clear message.
#include "platform/registry/registry.h"

namespace mlx::registry {
namespace {

class UnavailableRegistry : public Registry {
 public:
  long OpenKeyEx(Handle, const std::string&, std::uint32_t, std::uint32_t, Handle*) override {
    return kBadDatabase;
  }
  long QueryValueEx(Handle, const std::string&, std::uint32_t*, char*, std::uint32_t*) override {
    return kBadDatabase;
  }
  long CreateKey(Handle, const std::string&, Handle*) override { return kBadDatabase; }
  long SetValueEx(Handle, const std::string&, std::uint32_t, const char*,
                  std::uint32_t) override {
    return kBadDatabase;
  }
  long DeleteValue(Handle, const std::string&) override { return kBadDatabase; }
  long DeleteKey(Handle, const std::string&) override { return kBadDatabase; }
  long CloseKey(Handle) override { return kBadDatabase; }
  std::string LastError() const override {
    return "registro non disponibile in questa versione per Windows";
  }
};

}  // namespace

std::unique_ptr<Registry> MakeFileRegistry(const std::string&) {
  return std::make_unique<UnavailableRegistry>();
}

std::string DefaultRegistryPath() {
  return "";
}

}  // namespace mlx::registry
