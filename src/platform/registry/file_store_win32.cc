// The registry file's needs on Windows: the file's identity and times from the handle, a lock
// with LockFileEx on the whole lock file, folders made with the wide-character functions.
#include <io.h>

#include <cerrno>

#include "platform/registry/file_store.h"
#include "platform/text/wide.h"

namespace mlx::registry::store {

namespace {

std::int64_t Time(const FILETIME& t) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime);
}

bool Fill(HANDLE handle, Stamp* stamp) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  stamp->device = info.dwVolumeSerialNumber;
  stamp->file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  stamp->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  stamp->modified = Time(info.ftLastWriteTime);
  stamp->changed = Time(info.ftCreationTime);
  return true;
}

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return ENOENT;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return ENOTDIR;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return EACCES;
    default:
      return EIO;
  }
}

}  // namespace

int StampOfPath(const std::string& path, Stamp* stamp) {
  std::wstring wide;
  if (!text::ToWide(path, &wide)) return ENOENT;
  // Attributes only, sharing everything: a look never stands in the way of a writer.
  HANDLE handle = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return ErrnoOf(GetLastError());
  const bool ok = Fill(handle, stamp);
  const DWORD error = GetLastError();
  CloseHandle(handle);
  return ok ? 0 : ErrnoOf(error);
}

bool StampOfDescriptor(int fd, Stamp* stamp) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  return handle != INVALID_HANDLE_VALUE && Fill(handle, stamp);
}

int Lock(int fd, bool exclusive) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE) return EBADF;
  OVERLAPPED at = {};
  if (!LockFileEx(handle, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, MAXDWORD, MAXDWORD, &at)) {
    return ErrnoOf(GetLastError());
  }
  return 0;
}

std::string DirName(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  // The root of a drive or of the path keeps its separator.
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

bool MakeFolders(const std::string& dir) {
  std::wstring wide;
  if (!text::ToWide(dir, &wide)) {
    errno = EINVAL;
    return false;
  }
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
    errno = ENOTDIR;
    return false;
  }
  std::string parent = DirName(dir);
  if (parent != dir && !MakeFolders(parent)) return false;
  if (CreateDirectoryW(wide.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
    return true;
  }
  errno = ErrnoOf(GetLastError());
  return false;
}

// Symbolic links need rights to make on Windows and are not followed here: the file named is
// the file replaced.
std::string LinkTarget(const std::string& path) {
  return path;
}

}  // namespace mlx::registry::store
