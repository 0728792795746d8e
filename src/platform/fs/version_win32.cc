// File versions on Windows: GetFileVersionInfoSizeW, GetFileVersionInfoW and VerQueryValueW
// on the root block.
#include <cstring>
#include <vector>

#include "platform/fs/version.h"
#include "platform/text/wide.h"

namespace mlx::fs {

namespace {
constexpr std::uint32_t kSignature = 0xFEEF04BD;
}  // namespace

std::optional<bool> ReadSystemVersionInfo(const std::string& native, FixedFileInfo* info) {
  std::wstring path;
  if (native.empty() || !text::ToWide(native, &path)) return false;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return false;
  void* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", &fixed, &length) || fixed == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  static_assert(sizeof(VS_FIXEDFILEINFO) == sizeof(FixedFileInfo));
  FixedFileInfo read;
  std::memcpy(&read, fixed, sizeof(VS_FIXEDFILEINFO));
  if (read.signature != kSignature) return false;
  *info = read;
  return true;
}

}  // namespace mlx::fs
