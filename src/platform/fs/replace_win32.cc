// The atomic replacement on Windows: the new content goes to a sibling, FlushFileBuffers takes
// it to the disk, and MoveFileExW with MOVEFILE_WRITE_THROUGH gives it the file's name, the
// rename itself written through before the call returns (so no folder needs flushing).
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cerrno>

#include "platform/fs/native_win32.h"
#include "platform/fs/regular.h"
#include "platform/fs/replace.h"

namespace mlx::fs {

namespace {

// A sibling of `native` with a unique name, created empty. Returns the descriptor or -1 with
// errno set.
int CreateSibling(const std::string& native, unsigned mode, std::string* temp) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp = native + ".mlx-" + std::to_string(ProcessNumber()) + "-" + std::to_string(counter++);
    int error = 0;
    int fd = OpenRegularFile(*temp, O_RDWR | O_CREAT | O_EXCL, &error, mode);
    if (fd >= 0) return fd;
    errno = error;
    if (error != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

HANDLE HandleOf(int fd) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

}  // namespace

ssize_t FileCalls::Write(int fd, const void* data, std::size_t size) {
  const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
  DWORD written = 0;
  if (!::WriteFile(HandleOf(fd), data, chunk, &written, nullptr)) {
    errno = ErrnoFromWindows(GetLastError());
    return -1;
  }
  return static_cast<ssize_t>(written);
}

int FileCalls::Sync(int fd) {
  if (FlushFileBuffers(HandleOf(fd))) return 0;
  errno = ErrnoFromWindows(GetLastError());
  return -1;
}

int FileCalls::Rename(const std::string& from, const std::string& to, bool no_replace) {
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (no_replace ? 0 : MOVEFILE_REPLACE_EXISTING);
  const std::wstring target = WidePath(to);
  if (MoveFileExW(WidePath(from).c_str(), target.c_str(), flags)) return 0;
  DWORD error = GetLastError();
  // A target that another program holds open without sharing its deletion refuses to be
  // replaced with "access denied": it is in use, which is what the user has to hear.
  if (error == ERROR_ACCESS_DENIED) {
    HANDLE h = CreateFileW(target.c_str(), DELETE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
    } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
      error = ERROR_SHARING_VIOLATION;
    }
  }
  errno = ErrnoFromWindows(error);
  return -1;
}

// A rename written through needs no flush of its folder, and Windows offers none to ordinary
// users: the folder's flush is the rename's own.
void FlushFolderOf(const std::string&) {}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  return Calls().Rename(from, to, true) == 0;
}

int ReplaceFile(const std::string& native, const std::function<bool(int fd)>& fill,
                const ReplaceOptions& options) {
  const std::wstring wide = WidePath(native);
  const DWORD old_attributes = GetFileAttributesW(wide.c_str());
  const bool exists = old_attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && options.no_replace) return EEXIST;
  // A read-only file is not replaced, as it would not be written.
  if (exists && (old_attributes & FILE_ATTRIBUTE_READONLY) != 0) return EACCES;
  std::string temp;
  int fd = CreateSibling(native, options.new_mode, &temp);
  if (fd < 0) return errno;
  bool ok = fill(fd) && Calls().Sync(fd) == 0;
  // The sibling is renamed while still open (it was opened with delete sharing), so that a
  // kept descriptor goes on naming the file.
  ok = ok && Calls().Rename(temp, native, options.no_replace) == 0;
  if (!ok) {
    int error = errno != 0 ? errno : EIO;
    _close(fd);
    RemoveFile(temp);
    return error;
  }
  // The old file's attributes (hidden, system, archive) carry over to the new content.
  if (exists) {
    SetFileAttributesW(wide.c_str(), old_attributes & (FILE_ATTRIBUTE_HIDDEN |
                                                        FILE_ATTRIBUTE_SYSTEM |
                                                        FILE_ATTRIBUTE_ARCHIVE |
                                                        FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
  }
  if (options.kept_fd != nullptr) {
    *options.kept_fd = fd;
  } else if (_close(fd) != 0) {
    return errno;
  }
  return 0;
}

}  // namespace mlx::fs
