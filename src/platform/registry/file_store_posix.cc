#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/registry/file_store.h"

namespace mlx::registry::store {

namespace {

void Fill(const struct stat& st, Stamp* stamp) {
  stamp->device = st.st_dev;
  stamp->file = st.st_ino;
  stamp->size = static_cast<std::uint64_t>(st.st_size);
  stamp->modified = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
  stamp->changed = st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
}

}  // namespace

int StampOfPath(const std::string& path, Stamp* stamp) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return errno;
  Fill(st, stamp);
  return 0;
}

bool StampOfDescriptor(int fd, Stamp* stamp) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  Fill(st, stamp);
  return true;
}

int Lock(int fd, bool exclusive) {
  while (flock(fd, exclusive ? LOCK_EX : LOCK_SH) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

std::string DirName(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool MakeFolders(const std::string& dir) {
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::string parent = DirName(dir);
  if (parent != dir && !MakeFolders(parent)) return false;
  return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string LinkTarget(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = realpath(path.c_str(), nullptr)) {
      std::string target = real;
      std::free(real);
      return target;
    }
  }
  return path;
}

}  // namespace mlx::registry::store
