#include "platform/fs/version.h"

namespace mlx::fs {

// POSIX has no reader of Windows version resources: the portable parser reads them.
std::optional<bool> ReadSystemVersionInfo(const std::string& /*native*/, FixedFileInfo* /*info*/) {
  return std::nullopt;
}

}  // namespace mlx::fs
