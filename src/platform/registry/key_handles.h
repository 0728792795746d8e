// The open keys of a registry that names keys by path: each handle stands for a root's full name
// and the names below it. Shared by the file registry and the overlay.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"

namespace mlx::registry {

class KeyHandles {
 public:
  using Path = std::vector<std::string>;

  // The key path of a handle: a predefined root, or a key opened and not yet closed.
  bool Resolve(Handle key, Path* path) const {
    std::string_view root = regfile::RootName(key);
    if (!root.empty()) {
      path->assign(1, std::string(root));
      return true;
    }
    auto it = handles_.find(key);
    if (it == handles_.end()) return false;
    *path = it->second;
    return true;
  }

  Handle Open(Path path) {
    // Handles stay below the roots' values and are never 0 or one still open.
    do {
      next_ += 4;
      if (next_ >= 0x80000000u) next_ = 0x1000;
    } while (handles_.count(next_) != 0);
    handles_[next_] = std::move(path);
    return next_;
  }

  // As RegCloseKey: a root closes without effect, an unknown handle is refused.
  long Close(Handle key) {
    if (!regfile::RootName(key).empty()) return kSuccess;
    return handles_.erase(key) == 1 ? kSuccess : kInvalidHandle;
  }

 private:
  std::map<Handle, Path> handles_;
  Handle next_ = 0x1000;
};

}  // namespace mlx::registry
