#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/fs/replace.h"

namespace mlx::fs {

namespace {

// A sibling of `native` with a unique name, created empty. Returns the descriptor or -1 with
// errno set.
int CreateSibling(const std::string& native, unsigned mode, std::string* temp) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp = native + ".mlx-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    int fd = open(temp->c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

std::string Folder(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

ssize_t FileCalls::Write(int fd, const void* data, std::size_t size) {
  return write(fd, data, size);
}

int FileCalls::Sync(int fd) { return fsync(fd); }

int FileCalls::Rename(const std::string& from, const std::string& to, bool no_replace) {
  if (no_replace) return RenameNoReplace(from, to) ? 0 : -1;
  return rename(from.c_str(), to.c_str());
}

void FlushFolderOf(const std::string& native) {
  int dir = open(Folder(native).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    Calls().Sync(dir);
    close(dir);
  }
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without the flag: a hard link fails when the target exists.
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return true;
  }
  if (errno != EPERM && errno != ENOTSUP) return false;
  struct stat st {};
  if (lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return rename(from.c_str(), to.c_str()) == 0;
}

int ReplaceFile(const std::string& native, const std::function<bool(int fd)>& fill,
                const ReplaceOptions& options) {
  struct stat old {};
  const bool exists = stat(native.c_str(), &old) == 0;
  if (exists && options.no_replace) return EEXIST;
  std::string temp;
  int fd = CreateSibling(native, options.new_mode, &temp);
  if (fd < 0) return errno;
  if (exists) {
    // Not permitted for an ordinary user: the file becomes theirs, as any rewrite would make it.
    if (fchown(fd, old.st_uid, old.st_gid) != 0) {
    }
    // After the owner, which may clear the set-id bits.
    fchmod(fd, old.st_mode & 07777);
  }
  bool ok = fill(fd) && Calls().Sync(fd) == 0 &&
            Calls().Rename(temp, native, options.no_replace) == 0;
  if (!ok) {
    int error = errno != 0 ? errno : EIO;
    close(fd);
    unlink(temp.c_str());
    return error;
  }
  if (options.flush_folder) FlushFolderOf(native);
  if (options.kept_fd != nullptr) {
    *options.kept_fd = fd;
  } else if (close(fd) != 0) {
    return errno;
  }
  return 0;
}

}  // namespace mlx::fs
