// The fixed part of a file's version resource as the system itself reads it, where the system
// has a reader of its own (Windows). Elsewhere the file's own tables are followed by a portable
// parser (conditions/risorsa_versione.h), which reads the same block.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace mlx::fs {

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
  bool operator==(const FixedFileInfo&) const = default;
};

// nullopt where the system has no reader of its own; otherwise whether the file at the native
// path has a version resource with a well-formed fixed block, which then fills `info`.
std::optional<bool> ReadSystemVersionInfo(const std::string& native, FixedFileInfo* info);

}  // namespace mlx::fs
