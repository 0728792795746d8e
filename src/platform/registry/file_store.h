// What the registry file needs of the system beyond opening and replacing files: telling
// whether the file changed since it was read, locking between processes, making its folders
// and following a link to the file that is replaced. One implementation per platform.
#pragma once

#include <cstdint>
#include <string>

namespace mlx::registry::store {

// What tells one state of a file from another: the same file (device and number), size and
// times mean the same content.
struct Stamp {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  std::uint64_t size = 0;
  std::int64_t modified = 0;
  std::int64_t changed = 0;
  bool operator==(const Stamp&) const = default;
};

// 0, or the errno of the failure (ENOENT or ENOTDIR for a missing file).
int StampOfPath(const std::string& path, Stamp* stamp);
bool StampOfDescriptor(int fd, Stamp* stamp);

// Waits for a lock on the open file, shared or exclusive, released when the descriptor is
// closed (by the system too, when the process dies). 0 or the errno.
int Lock(int fd, bool exclusive);

// The folder of a path ("." for a bare name).
std::string DirName(const std::string& path);

// Makes the folder and every missing one above it, private to the user; false with errno set.
bool MakeFolders(const std::string& dir);

// The file a symbolic link points to, or the path itself when it is no link.
std::string LinkTarget(const std::string& path);

}  // namespace mlx::registry::store
