// The fixed file information of a Windows executable or library, read on any platform by
// following the file's own tables: the PE headers (PE32 and PE32+), the section table, the
// resource directory down to the version resource, and the VS_VERSIONINFO block that starts it.
#pragma once

#include <cstdint>

#include "platform/fs/version.h"

namespace mlx {

namespace fs {
class RandomAccessFile;
}  // namespace fs

using FixedFileInfo = fs::FixedFileInfo;

// Fills `info` and answers true when the file is a PE image whose version resource (type 16,
// name 1, its first language) begins with a well-formed VS_VERSIONINFO block holding a fixed
// block with the right signature. Anything else (another kind of file, a damaged or truncated
// image, offsets that point outside the file or its sections) answers false. Only the headers,
// the section table, the resource directory entries on the way and the first 92 bytes of the
// version resource are read, never a byte past the end of the file.
bool ReadFixedFileInfo(fs::RandomAccessFile& file, FixedFileInfo* info);

}  // namespace mlx
