// Folder operations behind the files family.
#pragma once

#include <string>

namespace mlx {

namespace fs {
class FileSystem;
}  // namespace fs

// Creates the folder, creating first every missing folder above it. False when any step fails:
// the folder exists already, a name is invalid, access is denied, or a file stands where a
// folder should be.
bool CreaCartella(fs::FileSystem& fs, const std::string& percorso);

}  // namespace mlx
