// The fixed file information of a Windows executable or library, read on any platform by
// following the file's own tables: the PE headers (PE32 and PE32+), the section table, the
// resource directory down to the version resource, and the VS_VERSIONINFO block that starts it.
#pragma once

#include <cstdint>

namespace mlx {

namespace fs {
class RandomAccessFile;
}  // namespace fs

// The 52-byte VS_FIXEDFILEINFO block, its words in the order the file holds them.
struct FixedFileInfo {
  std::uint32_t signature = 0;
  std::uint32_t struc_version = 0;
  std::uint32_t file_version_ms = 0;
  std::uint32_t file_version_ls = 0;
  std::uint32_t product_version_ms = 0;
  std::uint32_t product_version_ls = 0;
  std::uint32_t file_flags_mask = 0;
  std::uint32_t file_flags = 0;
  std::uint32_t file_os = 0;
  std::uint32_t file_type = 0;
  std::uint32_t file_subtype = 0;
  std::uint32_t file_date_ms = 0;
  std::uint32_t file_date_ls = 0;
};

// Fills `info` and answers true when the file is a PE image whose version resource (type 16,
// name 1, its first language) begins with a well-formed VS_VERSIONINFO block holding a fixed
// block with the right signature. Anything else (another kind of file, a damaged or truncated
// image, offsets that point outside the file or its sections) answers false. Only the headers,
// the section table, the resource directory entries on the way and the first 92 bytes of the
// version resource are read, never a byte past the end of the file.
bool ReadFixedFileInfo(fs::RandomAccessFile& file, FixedFileInfo* info);

}  // namespace mlx
