// The machine's registry on POSIX: the file in the user's configuration folder.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/registry/registry.h"

namespace mlx::registry {

std::unique_ptr<Registry> MakeSystemRegistry() {
  return MakeFileRegistry(DefaultRegistryPath());
}

std::string DefaultRegistryPath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
      const passwd* entry = getpwuid(getuid());
      home = entry != nullptr ? entry->pw_dir : "";
    }
    base = std::string(home) + "/.config";
  }
  return base + "/marlovex/registry.reg";
}

}  // namespace mlx::registry
