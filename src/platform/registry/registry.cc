#include "platform/registry/registry.h"

namespace mlx::registry {

namespace {

// Reads repeat while the value keeps growing between the size query and the read; another
// process would have to rewrite it this many times in a row to make the read give up.
constexpr int kMaxReads = 16;

}  // namespace

long ReadValue(Registry& reg, Handle key, const std::string& name, std::uint32_t* type,
               std::string* data) {
  std::uint32_t size = 0;
  long rc = reg.QueryValueEx(key, name, type, nullptr, &size);
  for (int reads = 0; rc == kSuccess || rc == kMoreData; ++reads) {
    if (reads == kMaxReads) return kMoreData;
    data->assign(size, '\0');
    std::uint32_t got = size;
    rc = reg.QueryValueEx(key, name, type, data->data(), &got);
    if (rc == kSuccess) {
      data->resize(got);
      return kSuccess;
    }
    size = got;
  }
  return rc;
}

}  // namespace mlx::registry
